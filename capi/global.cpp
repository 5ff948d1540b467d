// The C interface of the global registry: its records, whose C form has
// the C++ record's layout (checked below, so a conversion is a copy), the
// file's path and the level upgrade.
#include <genreg/genreg_c.h>

#include <cstring>

#include "capi/capi.h"

namespace {

#define CAPI_SAME_OFFSET(CType, CField, CppType, CppField) \
    static_assert(offsetof(CType, CField) == offsetof(CppType, CppField), #CField " offset")

static_assert(sizeof(genreg_global_record_t) == sizeof(GlobalRegRecord), "record size");
CAPI_SAME_OFFSET(genreg_global_record_t, FieldMask, GlobalRegRecord, FieldMask);
CAPI_SAME_OFFSET(genreg_global_record_t, MissingFieldMask, GlobalRegRecord, MissingFieldMask);
CAPI_SAME_OFFSET(genreg_global_record_t, Fields, GlobalRegRecord, Instance);
CAPI_SAME_OFFSET(genreg_global_record_t, CheckSum, GlobalRegRecord, CheckSum);

static_assert(sizeof(genreg_global_instance_t) == sizeof(GlobalInstanceFields), "instance size");
CAPI_SAME_OFFSET(genreg_global_instance_t, VersionCode, GlobalInstanceFields, VersionCode);
CAPI_SAME_OFFSET(genreg_global_instance_t, InstanceName, GlobalInstanceFields, InstanceName);
CAPI_SAME_OFFSET(genreg_global_instance_t, InstancePath, GlobalInstanceFields, InstancePath);
CAPI_SAME_OFFSET(genreg_global_instance_t, Usage, GlobalInstanceFields, Usage);
CAPI_SAME_OFFSET(genreg_global_instance_t, StartAtBoot, GlobalInstanceFields, StartAtBoot);
CAPI_SAME_OFFSET(genreg_global_instance_t, Maintenance, GlobalInstanceFields, Maintenance);
CAPI_SAME_OFFSET(genreg_global_instance_t, InstanceText128, GlobalInstanceFields, InstanceText128);
CAPI_SAME_OFFSET(genreg_global_instance_t, InstanceText256, GlobalInstanceFields, InstanceText256);
CAPI_SAME_OFFSET(genreg_global_instance_t, Comment, GlobalInstanceFields, Comment);

static_assert(sizeof(genreg_global_service_t) == sizeof(GlobalServiceFields), "service size");
CAPI_SAME_OFFSET(genreg_global_service_t, VersionCode, GlobalServiceFields, VersionCode);
CAPI_SAME_OFFSET(genreg_global_service_t, ServiceText4, GlobalServiceFields, ServiceText4);
CAPI_SAME_OFFSET(genreg_global_service_t, ServiceText8, GlobalServiceFields, ServiceText8);
CAPI_SAME_OFFSET(genreg_global_service_t, ServiceText16, GlobalServiceFields, ServiceText16);
CAPI_SAME_OFFSET(genreg_global_service_t, Level, GlobalServiceFields, Level);
CAPI_SAME_OFFSET(genreg_global_service_t, ServiceInt64, GlobalServiceFields, ServiceInt64);
CAPI_SAME_OFFSET(genreg_global_service_t, ServiceFlag128, GlobalServiceFields, ServiceFlag128);
CAPI_SAME_OFFSET(genreg_global_service_t, ServiceInt256, GlobalServiceFields, ServiceInt256);
CAPI_SAME_OFFSET(genreg_global_service_t, ServiceInt512, GlobalServiceFields, ServiceInt512);

static_assert(sizeof(genreg_global_variable_t) == sizeof(GlobalVariableFields), "variable size");
CAPI_SAME_OFFSET(genreg_global_variable_t, Variable, GlobalVariableFields, Variable);
CAPI_SAME_OFFSET(genreg_global_variable_t, Value, GlobalVariableFields, Value);
CAPI_SAME_OFFSET(genreg_global_variable_t, VariableText8, GlobalVariableFields, VariableText8);
CAPI_SAME_OFFSET(genreg_global_variable_t, Comment, GlobalVariableFields, Comment);

#undef CAPI_SAME_OFFSET

struct GlobalTraits {
    using Store = GlobalReg;
    using Record = GlobalRegRecord;
    using CRecord = genreg_global_record_t;
    struct Scratch {};
    static const CapiKind kKind = CAPI_GLOBAL;

    static void toCpp(const CRecord& in, Scratch*, Record* out) {
        std::memcpy((void*)out, &in, sizeof *out);
    }
    static void toC(const Record& in, CRecord* out) {
        std::memcpy(out, (const void*)&in, sizeof *out);
    }
};

using Records = CapiRecords<GlobalTraits>;

}  // namespace

uint32_t genreg_global_get(genreg_handle_t* handle, uint64_t selector,
                           const genreg_global_record_t* key, genreg_global_record_t* result) {
    return Records::get(handle, selector, key, result, false);
}

uint32_t genreg_global_get_next(genreg_handle_t* handle, uint64_t selector,
                                const genreg_global_record_t* key, genreg_global_record_t* result) {
    return Records::get(handle, selector, key, result, true);
}

uint32_t genreg_global_add(genreg_handle_t* handle, uint64_t selector,
                           const genreg_global_record_t* record) {
    return Records::update(handle, selector, nullptr, record, GENREG_TXN_ADD);
}

uint32_t genreg_global_change(genreg_handle_t* handle, uint64_t selector,
                              const genreg_global_record_t* key,
                              const genreg_global_record_t* record) {
    return Records::update(handle, selector, key, record, GENREG_TXN_CHANGE);
}

uint32_t genreg_global_delete(genreg_handle_t* handle, uint64_t selector,
                              const genreg_global_record_t* key) {
    return Records::update(handle, selector, key, nullptr, GENREG_TXN_DELETE);
}

uint32_t genreg_global_print(const genreg_global_record_t* record) {
    return Records::print(record);
}

uint32_t genreg_global_path(char* buffer, uint16_t* length) {
    // The C++ function answers a null buffer or length with its own codes.
    return GetGlobalRegPathName(buffer, length);
}

uint32_t genreg_global_upgrade_levels(genreg_handle_t* handle, uint64_t* count) {
    GlobalReg* global = nullptr;
    uint32_t rc = CapiObject(handle, CAPI_GLOBAL, &global);
    return rc ? rc : UpgradeServiceLevels(global, count);
}
