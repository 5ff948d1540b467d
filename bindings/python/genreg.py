"""The genreg library from Python, through its C interface and ctypes.

A small module, and the proof that a program of another toolchain can use
the library: it loads the shared library (libQVRGENREG_ZAVOVOV364.so or
QVRGENREG_ZAVOVOV364.dll; the environment variable GENREG_LIBRARY may name
the file), declares the C records as ctypes structures and wraps a few
functions of each area. Every failure raises GenRegError with the library's
return code, its name and its meaning.

    with genreg.Profile("/opt/qvr/profile.env") as profile:
        port = profile.get_uint("port")
"""

import ctypes
import os
import sys

LINE_MAX = 2048
SELECT_ALL = 0xFFFFFFFFFFFFFFFF

VARVAL_VARIABLE = 0x1
VARVAL_HAS_COMMENT, VARVAL_HAS_VARIABLE = 1, 2
VARVAL_FIELD_VARIABLE, VARVAL_FIELD_VALUE, VARVAL_FIELD_COMMENT = 1, 2, 4
BINVARVAL_VARIABLE = 0x1
GLOBAL_VARIABLE = 4
VAR_SERVICE, VAR_VARIABLE, VAR_VALUE = 0x1, 0x2, 0x4


def _library_path():
    if os.environ.get("GENREG_LIBRARY"):
        return os.environ["GENREG_LIBRARY"]
    if sys.platform == "win32":
        return "QVRGENREG_ZAVOVOV364.dll"
    return "libQVRGENREG_ZAVOVOV364.so"


_lib = ctypes.CDLL(_library_path())


class VarValRecord(ctypes.Structure):
    _fields_ = [("Contains", ctypes.c_uint32), ("Present", ctypes.c_uint32),
                ("Variable", ctypes.c_char * LINE_MAX), ("Value", ctypes.c_char * LINE_MAX),
                ("Comment", ctypes.c_char * LINE_MAX)]


class BinVarValRecord(ctypes.Structure):
    _fields_ = [("Variable", ctypes.c_char * 16), ("Value", ctypes.c_int32),
                ("Comment", ctypes.c_char * 16)]


class GlobalVariable(ctypes.Structure):
    _fields_ = [("Service", ctypes.c_char * 64), ("Variable", ctypes.c_char * 256),
                ("Value", ctypes.c_char * 256), ("VariableText8", ctypes.c_char * 1024),
                ("Comment", ctypes.c_char * 976)]


class GlobalRecord(ctypes.Structure):
    # The union's largest member is 2576 bytes; only variables are used here.
    class _Fields(ctypes.Union):
        _fields_ = [("Variable", GlobalVariable), ("_size", ctypes.c_char * 2576)]

    _fields_ = [("RecordType", ctypes.c_uint32), ("FieldMask", ctypes.c_uint64),
                ("MissingFieldMask", ctypes.c_uint64), ("Fields", _Fields),
                ("CheckSum", ctypes.c_int32)]


class InstanceInfo(ctypes.Structure):
    _fields_ = [("flags", ctypes.c_uint64), ("versionCode", ctypes.c_uint64),
                ("instanceName", ctypes.c_char * 64), ("type", ctypes.c_char * 64),
                ("profilePath", ctypes.c_char * 1024), ("reserved1", ctypes.c_char * 64),
                ("installPath", ctypes.c_char * 1024), ("remoteName", ctypes.c_char * 64),
                ("reserved2", ctypes.c_char * 256), ("copyName", ctypes.c_char * 129)]


_p = ctypes.POINTER
_handle = ctypes.c_void_p
_u32, _u64, _i32, _i64 = ctypes.c_uint32, ctypes.c_uint64, ctypes.c_int32, ctypes.c_int64
_text, _out_text = ctypes.c_char_p, _p(ctypes.c_char_p)

_signatures = {
    "genreg_rc_name": [_u32, _out_text],
    "genreg_rc_meaning": [_u32, _out_text],
    "genreg_rc_from_name": [_text, _p(_u32)],
    "genreg_version_to_string": [_u64, ctypes.c_char_p, _u64],
    "genreg_version_from_string": [_text, _p(_u64)],
    "genreg_version_from_number": [_u32, _p(_u64)],
    "genreg_version_to_number": [_u64, _p(_i32)],
    "genreg_varval_open": [_text, _p(_handle)],
    "genreg_binvarval_open": [_text, _p(_handle)],
    "genreg_global_open": [_p(_handle)],
    "genreg_close": [_handle],
    "genreg_open_scan": [_handle],
    "genreg_close_scan": [_handle],
    "genreg_varval_get_string": [_handle, _text, _out_text],
    "genreg_varval_get_sint": [_handle, _text, _p(_i64)],
    "genreg_varval_get_uint": [_handle, _text, _p(_u64)],
    "genreg_varval_get_double": [_handle, _text, _p(ctypes.c_double)],
    "genreg_varval_get_boolean": [_handle, _text, _p(_i32)],
    "genreg_varval_get": [_handle, _u64, _p(VarValRecord), _p(VarValRecord)],
    "genreg_varval_get_next": [_handle, _u64, _p(VarValRecord), _p(VarValRecord)],
    "genreg_varval_add": [_handle, _u64, _p(VarValRecord)],
    "genreg_varval_change": [_handle, _u64, _p(VarValRecord), _p(VarValRecord)],
    "genreg_varval_delete": [_handle, _u64, _p(VarValRecord)],
    "genreg_binvarval_get": [_handle, _u64, _p(BinVarValRecord), _p(BinVarValRecord)],
    "genreg_binvarval_get_next": [_handle, _u64, _p(BinVarValRecord), _p(BinVarValRecord)],
    "genreg_binvarval_add": [_handle, _u64, _p(BinVarValRecord)],
    "genreg_binvarval_delete": [_handle, _u64, _p(BinVarValRecord)],
    "genreg_global_get": [_handle, _u64, _p(GlobalRecord), _p(GlobalRecord)],
    "genreg_global_add": [_handle, _u64, _p(GlobalRecord)],
    "genreg_global_change": [_handle, _u64, _p(GlobalRecord), _p(GlobalRecord)],
    "genreg_global_path": [ctypes.c_char_p, _p(ctypes.c_uint16)],
    "genreg_instance_list_open": [_text, _i32, _p(_handle)],
    "genreg_instance_list_next": [_handle, _p(InstanceInfo), _i32],
    "genreg_instance_list_close": [_handle],
}
for _name, _arguments in _signatures.items():
    _function = getattr(_lib, _name)
    _function.argtypes = _arguments
    _function.restype = _u32



def rc_from_name(name):
    """The value of a return-code constant, from the library's own list."""
    value = _u32()
    _check(_lib.genreg_rc_from_name(_bytes(name), ctypes.byref(value)), "genreg_rc_from_name")
    return value.value


def rc_name(rc):
    """The constant name of a library code, or None."""
    name = ctypes.c_char_p()
    return _text(name.value) if _lib.genreg_rc_name(rc, ctypes.byref(name)) == 0 else None


def rc_meaning(rc):
    """One line saying when the library produces the code, or None."""
    text = ctypes.c_char_p()
    return _text(text.value) if _lib.genreg_rc_meaning(rc, ctypes.byref(text)) == 0 else None


class GenRegError(Exception):
    def __init__(self, rc, call):
        self.rc = rc
        self.name = rc_name(rc)
        super().__init__("%s: 0x%08x %s (%s)" % (call, rc, self.name, rc_meaning(rc)))


def _check(rc, call):
    if rc != 0:
        raise GenRegError(rc, call)


# Files and registries may hold bytes that are not UTF-8 (a Latin-1 value
# written by another program). They come back as surrogate escapes rather
# than failing the whole read, and such a text is written back as the same
# bytes.
def _bytes(text):
    return text.encode("utf-8", "surrogateescape") if isinstance(text, str) else text


def _text(raw):
    return raw.decode("utf-8", "surrogateescape")


RC_NOT_FOUND = rc_from_name("GENREG_RC_NOT_FOUND")
RC_NO_MATCH = rc_from_name("GENREG_RC_NO_MATCH")
RC_FILE_NOT_FOUND = rc_from_name("GENREG_RC_FILE_NOT_FOUND")


def version_to_string(code):
    buffer = ctypes.create_string_buffer(32)
    _check(_lib.genreg_version_to_string(code, buffer, len(buffer)), "genreg_version_to_string")
    return _text(buffer.value)


def version_from_string(text):
    code = _u64()
    _check(_lib.genreg_version_from_string(_bytes(text), ctypes.byref(code)),
           "genreg_version_from_string")
    return code.value


def version_from_number(number):
    code = _u64()
    _check(_lib.genreg_version_from_number(number, ctypes.byref(code)), "genreg_version_from_number")
    return code.value


class _Handle:
    """An open handle, closed by close() or at the end of a with block."""

    def __init__(self, opener, *arguments):
        self._h = _handle()
        _check(opener(*arguments, ctypes.byref(self._h)), opener.__name__)

    def close(self):
        if self._h:
            _lib.genreg_close(self._h)
            self._h = _handle()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _scan(self, next_function, record_type):
        """Every record of the file, through a scan with selector 0."""
        _check(_lib.genreg_open_scan(self._h), "genreg_open_scan")
        try:
            key, found = record_type(), record_type()
            while True:
                rc = next_function(self._h, 0, ctypes.byref(key), ctypes.byref(found))
                if rc == RC_NOT_FOUND:
                    return
                _check(rc, next_function.__name__)
                yield found
                found = record_type()
        finally:
            _lib.genreg_close_scan(self._h)


def _varval_record(variable, value=None, comment=None):
    r = VarValRecord()
    r.Contains = VARVAL_HAS_VARIABLE
    r.Present = VARVAL_FIELD_VARIABLE
    r.Variable = _bytes(variable)
    if value is not None:
        r.Present |= VARVAL_FIELD_VALUE
        r.Value = _bytes(value)
    if comment is not None:
        r.Contains |= VARVAL_HAS_COMMENT
        r.Present |= VARVAL_FIELD_COMMENT
        r.Comment = _bytes(comment)
    return r


class Profile(_Handle):
    """A text profile of "variable = value  # comment" lines."""

    def __init__(self, path):
        super().__init__(_lib.genreg_varval_open, _bytes(path))

    def _typed(self, function, value, name):
        rc = function(self._h, _bytes(name), ctypes.byref(value))
        if rc == RC_NOT_FOUND:
            return None
        _check(rc, function.__name__)
        return value.value

    def get_string(self, name):
        text = self._typed(_lib.genreg_varval_get_string, ctypes.c_char_p(), name)
        return None if text is None else _text(text)

    def get_sint(self, name):
        return self._typed(_lib.genreg_varval_get_sint, _i64(), name)

    def get_uint(self, name):
        return self._typed(_lib.genreg_varval_get_uint, _u64(), name)

    def get_double(self, name):
        return self._typed(_lib.genreg_varval_get_double, ctypes.c_double(), name)

    def get_boolean(self, name):
        value = self._typed(_lib.genreg_varval_get_boolean, _i32(), name)
        return None if value is None else bool(value)

    def add(self, variable, value, comment=None):
        _check(_lib.genreg_varval_add(self._h, VARVAL_VARIABLE,
                                      _varval_record(variable, value, comment)),
               "genreg_varval_add")

    def change(self, variable, value):
        _check(_lib.genreg_varval_change(self._h, VARVAL_VARIABLE, _varval_record(variable),
                                         _varval_record(variable, value)),
               "genreg_varval_change")

    def delete(self, variable):
        _check(_lib.genreg_varval_delete(self._h, VARVAL_VARIABLE, _varval_record(variable)),
               "genreg_varval_delete")

    def variables(self):
        """(variable, value) of every line that holds a variable."""
        return [(_text(r.Variable), _text(r.Value))
                for r in self._scan(_lib.genreg_varval_get_next, VarValRecord)
                if r.Present & VARVAL_FIELD_VARIABLE]


class BinaryProfile(_Handle):
    """A binary file of 36-byte variable/value records."""

    def __init__(self, path):
        super().__init__(_lib.genreg_binvarval_open, _bytes(path))

    def add(self, variable, value, comment=""):
        record = BinVarValRecord(_bytes(variable), value, _bytes(comment))
        _check(_lib.genreg_binvarval_add(self._h, BINVARVAL_VARIABLE, record),
               "genreg_binvarval_add")

    def get(self, variable):
        found = BinVarValRecord()
        rc = _lib.genreg_binvarval_get(self._h, BINVARVAL_VARIABLE,
                                       BinVarValRecord(_bytes(variable)), found)
        if rc == RC_NO_MATCH:
            return None
        _check(rc, "genreg_binvarval_get")
        return found.Value

    def delete(self, variable):
        _check(_lib.genreg_binvarval_delete(self._h, BINVARVAL_VARIABLE,
                                            BinVarValRecord(_bytes(variable))),
               "genreg_binvarval_delete")

    def records(self):
        return [(_text(r.Variable), r.Value)
                for r in self._scan(_lib.genreg_binvarval_get_next, BinVarValRecord)]


def _global_variable(service, variable, value=None):
    r = GlobalRecord()
    r.RecordType = GLOBAL_VARIABLE
    r.FieldMask = VAR_SERVICE | VAR_VARIABLE | (VAR_VALUE if value is not None else 0)
    r.Fields.Variable.Service = _bytes(service)
    r.Fields.Variable.Variable = _bytes(variable)
    if value is not None:
        r.Fields.Variable.Value = _bytes(value)
    return r


class GlobalRegistry(_Handle):
    """The global registry file, where QVR_GLOBAL_REG_PATHNAME names it."""

    _KEY = VAR_SERVICE | VAR_VARIABLE

    def __init__(self):
        super().__init__(_lib.genreg_global_open)

    @staticmethod
    def path():
        buffer = ctypes.create_string_buffer(512)
        length = ctypes.c_uint16(len(buffer))
        _check(_lib.genreg_global_path(buffer, ctypes.byref(length)), "genreg_global_path")
        return _text(buffer.value)

    def set_variable(self, service, variable, value):
        """Changes the variable's record, or adds it when there is none."""
        record = _global_variable(service, variable, value)
        if self.get_variable(service, variable) is None:
            _check(_lib.genreg_global_add(self._h, self._KEY, record), "genreg_global_add")
        else:
            key = _global_variable(service, variable)
            _check(_lib.genreg_global_change(self._h, self._KEY, key, record),
                   "genreg_global_change")

    def get_variable(self, service, variable):
        found = GlobalRecord()
        rc = _lib.genreg_global_get(self._h, self._KEY, _global_variable(service, variable),
                                    found)
        if rc in (RC_NO_MATCH, RC_FILE_NOT_FOUND):
            return None
        _check(rc, "genreg_global_get")
        return _text(found.Fields.Variable.Value)


def instances(kind="QVR", view64=True):
    """(instance name, copy name, version text) of every listed instance."""
    listing = _handle()
    _check(_lib.genreg_instance_list_open(_bytes(kind), int(view64), ctypes.byref(listing)),
           "genreg_instance_list_open")
    found = []
    try:
        info = InstanceInfo()
        while True:
            rc = _lib.genreg_instance_list_next(listing, ctypes.byref(info), int(view64))
            if rc == RC_NOT_FOUND:
                return found
            _check(rc, "genreg_instance_list_next")
            found.append((_text(info.instanceName), _text(info.copyName),
                          version_to_string(info.versionCode)))
    finally:
        _lib.genreg_instance_list_close(listing)
