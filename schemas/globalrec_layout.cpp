// The field layout of the three global registry record types: where each
// field lives in GlobalRegRecord, how it is stored and which checks
// ValidateRecord makes on it. Pack, unpack, compare and validate all walk
// these tables, so a field is described once.
#include <genreg/rc.h>

#include <cstddef>

#include "schemas/globalrec.h"

static_assert(sizeof(GlobalRegRecord) == 2608, "the in-memory record is 2608 bytes");

namespace {

#define GLOBAL_FIELD(part, member, bit, kind, valueRc, requiredRc)                                \
    {                                                                                             \
        bit, #member,                                                                             \
            (uint32_t)(offsetof(GlobalRegRecord, part) + offsetof(Global##part##Fields, member)), \
            (uint16_t)sizeof(Global##part##Fields::member), kind, valueRc, requiredRc             \
    }

const GlobalFieldInfo kInstanceFields[] = {
    GLOBAL_FIELD(Instance, Service, GENREG_INST_SERVICE, GLOBAL_TEXT, GENREG_RC_INST_SERVICE_EMPTY,
                 GENREG_RC_INST_SERVICE_REQUIRED),
    GLOBAL_FIELD(Instance, VersionCode, GENREG_INST_VERSION_CODE, GLOBAL_U64, 0,
                 GENREG_RC_INST_VERSION_REQUIRED),
    GLOBAL_FIELD(Instance, InstanceName, GENREG_INST_NAME, GLOBAL_TEXT, GENREG_RC_INST_NAME_EMPTY,
                 GENREG_RC_INST_NAME_REQUIRED),
    GLOBAL_FIELD(Instance, InstancePath, GENREG_INST_PATH, GLOBAL_TEXT, GENREG_RC_INST_PATH_EMPTY,
                 GENREG_RC_INST_PATH_REQUIRED),
    GLOBAL_FIELD(Instance, Usage, GENREG_INST_USAGE, GLOBAL_TEXT, GENREG_RC_INST_USAGE_EMPTY,
                 GENREG_RC_INST_USAGE_REQUIRED),
    GLOBAL_FIELD(Instance, StartAtBoot, GENREG_INST_START_AT_BOOT, GLOBAL_U32,
                 GENREG_RC_INST_START_AT_BOOT_INVALID, GENREG_RC_INST_START_AT_BOOT_REQUIRED),
    GLOBAL_FIELD(Instance, Maintenance, GENREG_INST_MAINTENANCE, GLOBAL_U32,
                 GENREG_RC_INST_MAINTENANCE_INVALID, GENREG_RC_INST_MAINTENANCE_REQUIRED),
    GLOBAL_FIELD(Instance, InstanceText128, GENREG_INST_TEXT128, GLOBAL_TEXT,
                 GENREG_RC_INST_TEXT128_EMPTY, GENREG_RC_INST_TEXT128_REQUIRED),
    GLOBAL_FIELD(Instance, InstanceText256, GENREG_INST_TEXT256, GLOBAL_TEXT,
                 GENREG_RC_INST_TEXT256_EMPTY, GENREG_RC_INST_TEXT256_REQUIRED),
    GLOBAL_FIELD(Instance, Comment, GENREG_INST_COMMENT, GLOBAL_TEXT, GENREG_RC_INST_COMMENT_EMPTY,
                 GENREG_RC_INST_COMMENT_REQUIRED),
};

// The numbers of a service record carry no value check; Level is no key.
const GlobalFieldInfo kServiceFields[] = {
    GLOBAL_FIELD(Service, Service, GENREG_SVC_SERVICE, GLOBAL_TEXT, GENREG_RC_SVC_SERVICE_EMPTY,
                 GENREG_RC_SVC_SERVICE_REQUIRED),
    GLOBAL_FIELD(Service, VersionCode, GENREG_SVC_VERSION_CODE, GLOBAL_U64, 0,
                 GENREG_RC_SVC_VERSION_REQUIRED),
    GLOBAL_FIELD(Service, ServiceText4, GENREG_SVC_TEXT4, GLOBAL_TEXT, GENREG_RC_SVC_TEXT4_EMPTY,
                 GENREG_RC_SVC_TEXT4_REQUIRED),
    GLOBAL_FIELD(Service, ServiceText8, GENREG_SVC_TEXT8, GLOBAL_TEXT, GENREG_RC_SVC_TEXT8_EMPTY,
                 GENREG_RC_SVC_TEXT8_REQUIRED),
    GLOBAL_FIELD(Service, ServiceText16, GENREG_SVC_TEXT16, GLOBAL_TEXT, GENREG_RC_SVC_TEXT16_EMPTY,
                 GENREG_RC_SVC_TEXT16_REQUIRED),
    GLOBAL_FIELD(Service, Level, GENREG_SVC_LEVEL, GLOBAL_U32, 0, 0),
    GLOBAL_FIELD(Service, ServiceInt64, GENREG_SVC_INT64, GLOBAL_U32, 0,
                 GENREG_RC_SVC_INT64_REQUIRED),
    GLOBAL_FIELD(Service, ServiceFlag128, GENREG_SVC_FLAG128, GLOBAL_U8, 0,
                 GENREG_RC_SVC_FLAG128_REQUIRED),
    GLOBAL_FIELD(Service, ServiceInt256, GENREG_SVC_INT256, GLOBAL_U32, 0,
                 GENREG_RC_SVC_INT256_REQUIRED),
    GLOBAL_FIELD(Service, ServiceInt512, GENREG_SVC_INT512, GLOBAL_U32, 0,
                 GENREG_RC_SVC_INT512_REQUIRED),
};

// VariableText8 is no key.
const GlobalFieldInfo kVariableFields[] = {
    GLOBAL_FIELD(Variable, Service, GENREG_VAR_SERVICE, GLOBAL_TEXT, GENREG_RC_VAR_SERVICE_EMPTY,
                 GENREG_RC_VAR_SERVICE_REQUIRED),
    GLOBAL_FIELD(Variable, Variable, GENREG_VAR_VARIABLE, GLOBAL_TEXT, GENREG_RC_VAR_VARIABLE_EMPTY,
                 GENREG_RC_VAR_VARIABLE_REQUIRED),
    GLOBAL_FIELD(Variable, Value, GENREG_VAR_VALUE, GLOBAL_TEXT, GENREG_RC_VAR_VALUE_EMPTY,
                 GENREG_RC_VAR_VALUE_REQUIRED),
    GLOBAL_FIELD(Variable, VariableText8, GENREG_VAR_TEXT8, GLOBAL_TEXT, GENREG_RC_VAR_TEXT8_EMPTY,
                 0),
    GLOBAL_FIELD(Variable, Comment, GENREG_VAR_COMMENT, GLOBAL_TEXT, GENREG_RC_VAR_COMMENT_EMPTY,
                 GENREG_RC_VAR_COMMENT_REQUIRED),
};

#undef GLOBAL_FIELD

#define GLOBAL_COUNT(table) (sizeof(table) / sizeof((table)[0]))

const GlobalTypeInfo kTypes[] = {
    {GENREG_GLOBAL_INSTANCE, GENREG_INST_KNOWN, kInstanceFields, GLOBAL_COUNT(kInstanceFields)},
    {GENREG_GLOBAL_SERVICE, GENREG_SVC_KNOWN, kServiceFields, GLOBAL_COUNT(kServiceFields)},
    {GENREG_GLOBAL_VARIABLE, GENREG_VAR_KNOWN, kVariableFields, GLOBAL_COUNT(kVariableFields)},
};

}  // namespace

const GlobalTypeInfo* GlobalRecType(uint32_t type) {
    for (const GlobalTypeInfo& info : kTypes)
        if (info.type == type) return &info;
    return nullptr;
}

const GlobalFieldInfo* GlobalRecField(const GlobalTypeInfo* type, uint64_t bit) {
    if (type == nullptr || (type->known & bit) == 0) return nullptr;
    // The tables hold bit 2^i at index i; the search below is for a table
    // that would not.
    const size_t index = (size_t)__builtin_ctzll(bit);  // bit is not 0: known has it
    if (index < type->count && type->fields[index].bit == bit) return &type->fields[index];
    for (size_t i = 0; i < type->count; ++i)
        if (type->fields[i].bit == bit) return &type->fields[i];
    return nullptr;
}
