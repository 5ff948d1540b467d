// The C interface of the variable/value profile: its records, converted
// between genreg_varval_record_t and VarValRecord, and its typed getters.
#include <genreg/genreg_c.h>

#include "capi/capi.h"

namespace {

struct VarValTraits {
    using Store = GenRegVarVal;
    using Record = VarValRecord;
    using CRecord = genreg_varval_record_t;
    // The caller's texts, terminated; the C++ record points into them.
    using Scratch = genreg_varval_record_t;
    static const CapiKind kKind = CAPI_VARVAL;

    static void toCpp(const CRecord& in, Scratch* scratch, Record* out) {
        CapiTerminatedCopy(scratch->Variable, in.Variable, sizeof in.Variable);
        CapiTerminatedCopy(scratch->Value, in.Value, sizeof in.Value);
        CapiTerminatedCopy(scratch->Comment, in.Comment, sizeof in.Comment);
        out->Contains = (uint8_t)in.Contains;
        out->Variable = (in.Present & GENREG_VARVAL_FIELD_VARIABLE) ? scratch->Variable : nullptr;
        out->Value = (in.Present & GENREG_VARVAL_FIELD_VALUE) ? scratch->Value : nullptr;
        out->Comment = (in.Present & GENREG_VARVAL_FIELD_COMMENT) ? scratch->Comment : nullptr;
    }

    static void toC(const Record& in, CRecord* out) {
        out->Contains = in.Contains;
        out->Present = (in.Variable ? GENREG_VARVAL_FIELD_VARIABLE : 0U) |
                       (in.Value ? GENREG_VARVAL_FIELD_VALUE : 0U) |
                       (in.Comment ? GENREG_VARVAL_FIELD_COMMENT : 0U);
        CapiCopyText(out->Variable, sizeof out->Variable, in.Variable);
        CapiCopyText(out->Value, sizeof out->Value, in.Value);
        CapiCopyText(out->Comment, sizeof out->Comment, in.Comment);
    }
};

using Records = CapiRecords<VarValTraits>;

// A getter's shared steps: the profile object, a name and an output.
uint32_t getterObject(genreg_handle_t* handle, const char* name, const void* value,
                      GenRegVarVal** profile) {
    uint32_t rc = CapiObject(handle, CAPI_VARVAL, profile);
    if (rc == 0 && (name == nullptr || value == nullptr)) rc = GENREG_RC_NULL_ARGUMENT;
    return rc;
}

uint32_t answer(bool found) {
    return found ? GENREG_RC_OK : GENREG_RC_NOT_FOUND;
}

}  // namespace

uint32_t genreg_varval_get(genreg_handle_t* handle, uint64_t selector,
                           const genreg_varval_record_t* key, genreg_varval_record_t* result) {
    return Records::get(handle, selector, key, result, false);
}

uint32_t genreg_varval_get_next(genreg_handle_t* handle, uint64_t selector,
                                const genreg_varval_record_t* key, genreg_varval_record_t* result) {
    return Records::get(handle, selector, key, result, true);
}

uint32_t genreg_varval_add(genreg_handle_t* handle, uint64_t selector,
                           const genreg_varval_record_t* record) {
    return Records::update(handle, selector, nullptr, record, GENREG_TXN_ADD);
}

uint32_t genreg_varval_change(genreg_handle_t* handle, uint64_t selector,
                              const genreg_varval_record_t* key,
                              const genreg_varval_record_t* record) {
    return Records::update(handle, selector, key, record, GENREG_TXN_CHANGE);
}

uint32_t genreg_varval_delete(genreg_handle_t* handle, uint64_t selector,
                              const genreg_varval_record_t* key) {
    return Records::update(handle, selector, key, nullptr, GENREG_TXN_DELETE);
}

uint32_t genreg_varval_print(const genreg_varval_record_t* record) {
    return Records::print(record);
}

uint32_t genreg_varval_get_string(genreg_handle_t* handle, const char* name, const char** value) {
    GenRegVarVal* profile = nullptr;
    uint32_t rc = getterObject(handle, name, value, &profile);
    return rc ? rc : answer(profile->GetStringValue(name, value));
}

uint32_t genreg_varval_get_boolean(genreg_handle_t* handle, const char* name, int32_t* value) {
    GenRegVarVal* profile = nullptr;
    uint32_t rc = getterObject(handle, name, value, &profile);
    if (rc != 0) return rc;
    bool converted = false;
    rc = answer(profile->GetBooleanValue(name, &converted));
    if (rc == 0) *value = converted ? 1 : 0;
    return rc;
}

uint32_t genreg_varval_get_double(genreg_handle_t* handle, const char* name, double* value) {
    GenRegVarVal* profile = nullptr;
    uint32_t rc = getterObject(handle, name, value, &profile);
    return rc ? rc : answer(profile->GetDoubleValue(name, value));
}

uint32_t genreg_varval_get_sint(genreg_handle_t* handle, const char* name, int64_t* value) {
    GenRegVarVal* profile = nullptr;
    uint32_t rc = getterObject(handle, name, value, &profile);
    return rc ? rc : answer(profile->GetSintValue(name, value));
}

uint32_t genreg_varval_get_uint(genreg_handle_t* handle, const char* name, uint64_t* value) {
    GenRegVarVal* profile = nullptr;
    uint32_t rc = getterObject(handle, name, value, &profile);
    return rc ? rc : answer(profile->GetUintValue(name, value));
}
