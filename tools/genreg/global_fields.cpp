// The fields of the global registry's record types.
#include "global_fields.h"

#include <cstring>

#include "args.h"
#include "store.h"
#include "version_text.h"

namespace {

#define GENREG_FIELD_(type, bit, name, json, header, kind, member)              \
    {                                                                           \
        type, bit, name, json, header, kind, offsetof(GlobalRegRecord, member), \
            sizeof(static_cast<GlobalRegRecord*>(nullptr)->member)              \
    }

const GlobalField kFields[] = {
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_SERVICE, "service", "service", "SERVICE",
                  kFieldText, Instance.Service),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_VERSION_CODE, "version", "version", "VERSION",
                  kFieldVersion, Instance.VersionCode),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_NAME, "name", "name", "NAME", kFieldText,
                  Instance.InstanceName),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_PATH, "path", "path", "PATH", kFieldText,
                  Instance.InstancePath),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_USAGE, "usage", "usage", "USAGE", kFieldText,
                  Instance.Usage),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_START_AT_BOOT, "start-at-boot", "startAtBoot",
                  "BOOT", kFieldFlag, Instance.StartAtBoot),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_MAINTENANCE, "maintenance", "maintenance",
                  "MAINT", kFieldFlag, Instance.Maintenance),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_TEXT128, "text128", "text128", "TEXT128",
                  kFieldText, Instance.InstanceText128),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_TEXT256, "text256", "text256", "TEXT256",
                  kFieldText, Instance.InstanceText256),
    GENREG_FIELD_(GENREG_GLOBAL_INSTANCE, GENREG_INST_COMMENT, "comment", "comment", "COMMENT",
                  kFieldText, Instance.Comment),

    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_SERVICE, "kind", "kind", "KIND", kFieldText,
                  Service.Service),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_VERSION_CODE, "version", "version", "VERSION",
                  kFieldVersion, Service.VersionCode),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_TEXT4, "text4", "text4", "TEXT4", kFieldText,
                  Service.ServiceText4),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_TEXT8, "text8", "text8", "TEXT8", kFieldText,
                  Service.ServiceText8),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_TEXT16, "text16", "text16", "TEXT16",
                  kFieldText, Service.ServiceText16),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_LEVEL, "level", "level", "LEVEL", kFieldUint32,
                  Service.Level),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_INT64, "int64", "int64", "INT64", kFieldUint32,
                  Service.ServiceInt64),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_FLAG128, "flag128", "flag128", "FLAG128",
                  kFieldUint8, Service.ServiceFlag128),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_INT256, "int256", "int256", "INT256",
                  kFieldUint32, Service.ServiceInt256),
    GENREG_FIELD_(GENREG_GLOBAL_SERVICE, GENREG_SVC_INT512, "int512", "int512", "INT512",
                  kFieldUint32, Service.ServiceInt512),

    GENREG_FIELD_(GENREG_GLOBAL_VARIABLE, GENREG_VAR_SERVICE, "service", "service", "SERVICE",
                  kFieldText, Variable.Service),
    GENREG_FIELD_(GENREG_GLOBAL_VARIABLE, GENREG_VAR_VARIABLE, "name", "name", "NAME", kFieldText,
                  Variable.Variable),
    GENREG_FIELD_(GENREG_GLOBAL_VARIABLE, GENREG_VAR_VALUE, "value", "value", "VALUE", kFieldText,
                  Variable.Value),
    GENREG_FIELD_(GENREG_GLOBAL_VARIABLE, GENREG_VAR_TEXT8, "text8", "text8", "TEXT8", kFieldText,
                  Variable.VariableText8),
    GENREG_FIELD_(GENREG_GLOBAL_VARIABLE, GENREG_VAR_COMMENT, "comment", "comment", "COMMENT",
                  kFieldText, Variable.Comment),
};

#undef GENREG_FIELD_

unsigned char* fieldAddress(GlobalRegRecord* record, const GlobalField& field) {
    return reinterpret_cast<unsigned char*>(record) + field.offset;
}

const unsigned char* fieldAddress(const GlobalRegRecord& record, const GlobalField& field) {
    return reinterpret_cast<const unsigned char*>(&record) + field.offset;
}

uint32_t readUint32(const GlobalRegRecord& record, const GlobalField& field) {
    uint32_t value = 0;
    std::memcpy(&value, fieldAddress(record, field), sizeof value);
    return value;
}

uint64_t readUint64(const GlobalRegRecord& record, const GlobalField& field) {
    uint64_t value = 0;
    std::memcpy(&value, fieldAddress(record, field), sizeof value);
    return value;
}

}  // namespace

std::vector<const GlobalField*> globalFieldsOf(uint32_t type) {
    std::vector<const GlobalField*> fields;
    for (const GlobalField& field : kFields)
        if (field.type == type) fields.push_back(&field);
    return fields;
}

const GlobalField* globalFieldNamed(uint32_t type, const char* name) {
    for (const GlobalField& field : kFields)
        if (field.type == type && std::strcmp(field.name, name) == 0) return &field;
    return nullptr;
}

const GlobalField* globalFieldTable(size_t* count) {
    *count = sizeof kFields / sizeof kFields[0];
    return kFields;
}

uint32_t globalTypeNamed(const std::string& word) {
    if (word == "instance") return GENREG_GLOBAL_INSTANCE;
    if (word == "service") return GENREG_GLOBAL_SERVICE;
    if (word == "variable") return GENREG_GLOBAL_VARIABLE;
    return 0;
}

const char* globalTypeName(uint32_t type) {
    switch (type) {
        case GENREG_GLOBAL_INSTANCE:
            return "instance";
        case GENREG_GLOBAL_SERVICE:
            return "service";
        case GENREG_GLOBAL_VARIABLE:
            return "variable";
        default:
            return "record";
    }
}

uint64_t globalKeyFields(uint32_t type) {
    switch (type) {
        case GENREG_GLOBAL_INSTANCE:
            return GENREG_INST_SERVICE | GENREG_INST_NAME;
        case GENREG_GLOBAL_SERVICE:
            return GENREG_SVC_SERVICE | GENREG_SVC_VERSION_CODE;
        default:
            return GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;
    }
}

bool setGlobalField(GlobalRegRecord* record, const GlobalField& field, const std::string& text,
                    std::string* error) {
    unsigned char* at = fieldAddress(record, field);
    std::string what = std::string("the ") + field.name;
    switch (field.kind) {
        case kFieldText:
            if (text.empty() || text.size() >= field.size || !isPlainText(text)) {
                *error =
                    what + " is a text of 1 to " + std::to_string(field.size - 1) + " characters";
                return false;
            }
            std::memset(at, 0, field.size);
            std::memcpy(at, text.data(), text.size());
            break;
        case kFieldVersion: {
            uint64_t code = 0;
            if (parseVersionArgument(text, &code) != 0) {
                *error = what + " is a version such as 9.7.4.0";
                return false;
            }
            std::memcpy(at, &code, sizeof code);
            break;
        }
        case kFieldUint32:
        case kFieldFlag:
        case kFieldUint8: {
            uint32_t value = 0;
            uint32_t limit = field.kind == kFieldFlag    ? 1
                             : field.kind == kFieldUint8 ? 255
                                                         : 0xFFFFFFFFu;
            if (!parseUint32(text.c_str(), &value) || value > limit) {
                *error = what + " is a number from 0 to " + std::to_string(limit);
                return false;
            }
            if (field.kind == kFieldUint8) {
                *at = static_cast<unsigned char>(value);
            } else {
                std::memcpy(at, &value, sizeof value);
            }
            break;
        }
    }
    record->FieldMask |= field.bit;
    return true;
}

std::string globalFieldText(const GlobalRegRecord& record, const GlobalField& field) {
    if (!(record.FieldMask & field.bit)) return "-";
    const unsigned char* at = fieldAddress(record, field);
    switch (field.kind) {
        case kFieldText: {
            const char* text = reinterpret_cast<const char*>(at);
            return cellText(std::string(text, strnlen(text, field.size)).c_str());
        }
        case kFieldVersion:
            return versionText(readUint64(record, field));
        case kFieldUint8:
            return std::to_string(*at);
        default:
            return std::to_string(readUint32(record, field));
    }
}

void writeGlobalFieldJson(JsonWriter* json, const GlobalRegRecord& record,
                          const GlobalField& field) {
    const unsigned char* at = fieldAddress(record, field);
    switch (field.kind) {
        case kFieldText: {
            const char* text = reinterpret_cast<const char*>(at);
            json->string(std::string(text, strnlen(text, field.size)));
            break;
        }
        case kFieldVersion:
            json->string(versionText(readUint64(record, field)));
            break;
        case kFieldUint8:
            json->number(*at);
            break;
        default:
            json->number(readUint32(record, field));
            break;
    }
}
