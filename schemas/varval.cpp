// The variable/value profile: construction and the typed getters.
#include <genreg/lines.h>
#include <genreg/rc.h>
#include <genreg/varval.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "genreg/trace.h"
#include "platform/oss.h"
#include "schemas/text_schema.h"
#include "schemas/varval_record.h"

namespace {

enum : uint32_t {
    FID_CONSTRUCT = GENREG_FID(0x0078),
    FID_DESTRUCT = GENREG_FID(0x0079),
    FID_GET_STRING = GENREG_FID(0x007A),
    FID_GET_BOOLEAN = GENREG_FID(0x007B),
    FID_GET_DOUBLE = GENREG_FID(0x007C),
    FID_GET_SINT = GENREG_FID(0x007D),
    FID_GET_UINT = GENREG_FID(0x007E),
};

// Reads the first line holding name into result and converts its value
// text with convert (false when it does not convert as a whole). *value is
// written only on success.
template <typename T, typename Convert>
bool getConverted(GenRegVarVal* profile, VarValRecord* result, const char* name, T* value,
                  Convert convert) {
    if (name == nullptr || value == nullptr) return false;
    VarValRecord key = {};
    key.Contains = GENREG_VARVAL_HAS_VARIABLE;
    key.Variable = const_cast<char*>(name);
    if (profile->Get(GENREG_VARVAL_VARIABLE, &key, result) != 0 || result->Value == nullptr)
        return false;
    T converted{};
    if (!convert(result->Value, &converted)) return false;
    *value = converted;
    return true;
}

bool wholeText(const char* end) {
    return end != nullptr && *end == '\0';
}

// A text denotes an integer of the type when it is a number the
// conversion uses whole, in the type's range: the conversions clamp an
// overflowing number (saying so in errno) and take a negative one for its
// unsigned complement.
template <typename T, typename Convert>
bool integerOf(const char* text, T* out, Convert convert) {
    char* end = nullptr;
    errno = 0;
    *out = convert(text, &end);
    if (errno == ERANGE || end == text || !wholeText(end)) return false;
    return true;
}

}  // namespace

GenRegVarVal::GenRegVarVal(const char* path, unsigned* rc) : getterResult_() {
    unsigned result = 0;
    GENREG_TRACE(FID_CONSTRUCT, &result);
    const TextSchemaSlots slots = {VarValCompare,    VarValValidate,      &PrintRecord,
                                   VarValRecordSize, VarValMaxRecordSize, VarValPack,
                                   VarValUnpack};
    result = InstallTextSchema(this, path, FID_CONSTRUCT, slots);
    if (result == 0) {
        // Several lines may hold one variable; every update is verified
        // before the file is replaced.
        setFeature(GENREG_FEATURE_VERIFY);
        setFeature(GENREG_FEATURE_DUPLICATES);
        bCompactFormattedLine = false;
    }
    if (rc) *rc = result;
}

GenRegVarVal::~GenRegVarVal() {
    GENREG_TRACE(FID_DESTRUCT, nullptr);
}

// The string getter hands out the text inside getterResult_, which lives
// until the next getter call on this handle.
bool GenRegVarVal::GetStringValue(const char* name, const char** value) {
    bool found = false;
    GENREG_TRACE(FID_GET_STRING, &found);
    found = getConverted(this, &getterResult_, name, value, [](const char* text, const char** out) {
        *out = text;
        return true;
    });
    return found;
}

bool GenRegVarVal::GetBooleanValue(const char* name, bool* value) {
    bool found = false;
    GENREG_TRACE(FID_GET_BOOLEAN, &found);
    found = getConverted(this, &getterResult_, name, value, [](const char* text, bool* out) {
        return ossStrToBoolean(text, out) == 0;
    });
    return found;
}

bool GenRegVarVal::GetDoubleValue(const char* name, double* value) {
    bool found = false;
    GENREG_TRACE(FID_GET_DOUBLE, &found);
    found = getConverted(this, &getterResult_, name, value, [](const char* text, double* out) {
        char* end = nullptr;
        *out = std::strtod(text, &end);
        return wholeText(end);
    });
    return found;
}

bool GenRegVarVal::GetSintValue(const char* name, int64_t* value) {
    bool found = false;
    GENREG_TRACE(FID_GET_SINT, &found);
    found = getConverted(this, &getterResult_, name, value, [](const char* text, int64_t* out) {
        return integerOf(text, out,
                         [](const char* t, char** end) { return ossStrToSint64(t, end, 10); });
    });
    return found;
}

bool GenRegVarVal::GetUintValue(const char* name, uint64_t* value) {
    bool found = false;
    GENREG_TRACE(FID_GET_UINT, &found);
    found = getConverted(this, &getterResult_, name, value, [](const char* text, uint64_t* out) {
        // "-0" is zero; any other negative number is no unsigned value.
        const bool negative = std::strchr(text, '-') != nullptr;
        return integerOf(text, out,
                         [](const char* t, char** end) { return ossStrToUint64(t, end, 10); }) &&
               (!negative || *out == 0);
    });
    return found;
}
