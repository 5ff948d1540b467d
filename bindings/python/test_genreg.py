"""Tests of the Python module over the C interface, against the built library
(GENREG_LIBRARY names it). No network, nothing installed."""

import os
import tempfile
import unittest

import genreg


class ScratchDir(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)


class ReturnCodes(unittest.TestCase):
    def test_names_and_meanings_come_from_the_library(self):
        self.assertEqual("GENREG_RC_OK", genreg.rc_name(0))
        self.assertEqual("GENREG_RC_NOT_FOUND", genreg.rc_name(genreg.RC_NOT_FOUND))
        self.assertEqual("GENREG_RC_NO_MATCH", genreg.rc_name(genreg.RC_NO_MATCH))
        self.assertEqual(0x900001C4, genreg.rc_from_name("GENREG_RC_LOCKED"))
        self.assertIn("no record matches", genreg.rc_meaning(genreg.RC_NO_MATCH))
        self.assertIsNone(genreg.rc_name(0x12345))

    def test_versions(self):
        code = genreg.version_from_number(9070400)
        self.assertEqual(0x0009000700040000, code)
        self.assertEqual("9.7.4.0", genreg.version_to_string(code))
        self.assertEqual(code, genreg.version_from_string("9.7.4.0"))
        with self.assertRaises(genreg.GenRegError) as raised:
            genreg.version_from_string("9.x")
        self.assertEqual("GENREG_RC_VERSION_SYNTAX", raised.exception.name)


class ProfileTests(ScratchDir):
    def test_typed_getters_and_updates(self):
        path = self.path("profile.env")
        with open(path, "w") as f:
            f.write("port = 5000  # listener\nratio = 0.25\nname = \"quoted\"\nlog = off\n")
        with genreg.Profile(path) as profile:
            self.assertEqual(5000, profile.get_uint("port"))
            self.assertEqual(5000, profile.get_sint("port"))
            self.assertEqual(0.25, profile.get_double("ratio"))
            self.assertEqual('"quoted"', profile.get_string("name"))
            self.assertIs(False, profile.get_boolean("log"))
            self.assertIsNone(profile.get_uint("ratio"))
            self.assertIsNone(profile.get_string("missing"))
            profile.add("extra", "1", "added")
            profile.change("port", "6000")
            profile.delete("ratio")
            self.assertEqual([("port", "6000"), ("name", '"quoted"'), ("log", "off"),
                              ("extra", "1")], profile.variables())
        with open(path) as f:
            # The changed line is the new record: its comment went with the old.
            self.assertEqual("port = 6000\nname = \"quoted\"\nlog = off\n"
                             "extra = 1 # added\n", f.read())

    def test_bytes_that_are_not_utf8_are_read_and_written_back_as_they_were(self):
        path = self.path("latin1.env")
        with open(path, "wb") as f:
            f.write(b"name = caf\xe9\nk = 1\n")
        with genreg.Profile(path) as profile:
            name = profile.get_string("name")
            self.assertEqual([("name", name), ("k", "1")], profile.variables())
            profile.add("copy", name)
        with genreg.BinaryProfile(self.path("latin1.bin")) as store:
            store.add(b"n\xe9", 1)
            self.assertEqual([("n\udce9", 1)], store.records())
        with open(path, "rb") as f:
            self.assertEqual(b"name = caf\xe9\nk = 1\ncopy = caf\xe9\n", f.read())

    def test_failures_raise_with_the_code(self):
        with self.assertRaises(genreg.GenRegError) as raised:
            genreg.Profile("p" * 300)
        self.assertEqual("GENREG_RC_PATH_TOO_LONG", raised.exception.name)
        with genreg.Profile(self.path("absent.env")) as profile:
            with self.assertRaises(genreg.GenRegError) as raised:
                profile.change("nothing", "here")
            self.assertNotEqual(0, raised.exception.rc)


class BinaryProfileTests(ScratchDir):
    def test_records(self):
        with genreg.BinaryProfile(self.path("values.bin")) as store:
            store.add("alpha", 1)
            store.add("beta", -2, "second")
            self.assertEqual(-2, store.get("beta"))
            self.assertIsNone(store.get("gamma"))
            store.add("alpha", 3)  # the file allows several records of a name
            self.assertEqual([("alpha", 1), ("beta", -2), ("alpha", 3)], store.records())
            store.delete("alpha")
            self.assertEqual([("beta", -2)], store.records())
            with self.assertRaises(genreg.GenRegError) as raised:
                store.delete("alpha")
            self.assertEqual("GENREG_RC_NO_MATCH", raised.exception.name)
        # One record of 36 bytes behind its 4-byte length.
        self.assertEqual(40, os.path.getsize(self.path("values.bin")))


class GlobalRegistryTests(ScratchDir):
    def test_variables_in_the_file_the_environment_names(self):
        path = self.path("global.reg")
        os.environ["QVR_GLOBAL_REG_PATHNAME"] = path
        try:
            self.assertEqual(path, genreg.GlobalRegistry.path())
            with genreg.GlobalRegistry() as registry:
                self.assertIsNone(registry.get_variable("QVR", "QVRPATH"))
                registry.set_variable("QVR", "QVRPATH", "/opt/qvr")
                registry.set_variable("QVR", "QVRPATH", "/opt/qvr2")
                self.assertEqual("/opt/qvr2", registry.get_variable("QVR", "QVRPATH"))
            self.assertTrue(os.path.exists(path))
        finally:
            del os.environ["QVR_GLOBAL_REG_PATHNAME"]


class InstanceTests(ScratchDir):
    def test_lists_the_instances_of_an_installed_copy(self):
        # The Linux build reads the product's registry from an export file.
        copy = r"HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\QVR\INSTALLEDCOPIES\A"
        lines = ["REGEDIT4", "", r"[HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\QVR]", "",
                 "[%s]" % copy, r'"QVR Path Name"="C:\\A"', "",
                 r"[%s\CurrentVersion]" % copy, '"Version"="9"', '"Release"="7"',
                 '"Modification"="4"', '"Service Level"="0"', "",
                 r"[%s\PROFILES\QVRINST1]" % copy, ""]
        path = self.path("local.reg")
        with open(path, "w", newline="\r\n") as f:
            f.write("\n".join(lines))
        os.environ["GENREG_REGISTRY_FILE"] = path
        try:
            self.assertEqual([("QVRINST1", "A", "9.7.4.0")], genreg.instances("QVR"))
            # No administration server: that list does not open at all.
            with self.assertRaises(genreg.GenRegError):
                genreg.instances("PLV")
        finally:
            del os.environ["GENREG_REGISTRY_FILE"]


if __name__ == "__main__":
    unittest.main()
