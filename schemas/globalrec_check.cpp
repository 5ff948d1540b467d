// Matching and checking global registry records: CompareRecord,
// ValidateRecord, and the small callbacks (sizes, update hook). None of
// them allocates.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/trace.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"

namespace {

enum : uint32_t {
    FID_COMPARE = GENREG_FID(0x00D7),
    FID_VALIDATE = GENREG_FID(0x00D8),
    FID_NOTIFY = GENREG_FID(0x00D9),
    FID_RECORD_SIZE = GENREG_FID(0x00DA),
    FID_MAX_RECORD_SIZE = GENREG_FID(0x00DB),
};

const unsigned char* slotOf(const void* record, const GlobalFieldInfo& field) {
    return (const unsigned char*)record + field.offset;
}

// Texts compare as texts (up to the terminator, bounded by the field);
// numbers at their own width.
bool fieldsEqual(const void* a, const void* b, const GlobalFieldInfo& field) {
    if (field.kind == GLOBAL_TEXT)
        return std::strncmp((const char*)slotOf(a, field), (const char*)slotOf(b, field),
                            field.width) == 0;
    return std::memcmp(slotOf(a, field), slotOf(b, field), field.width) == 0;
}

// The value check of a present field: true when it passes.
bool valueOk(const void* record, const GlobalFieldInfo& field) {
    const unsigned char* slot = slotOf(record, field);
    if (field.kind == GLOBAL_TEXT) return slot[0] != '\0';
    uint32_t value = 0;
    std::memcpy(&value, slot, sizeof value);
    return value == 0 || value == 1;
}

}  // namespace

int GlobalRecCompare(uint64_t selector, const void* stored, const void* key) {
    int match = 0;
    GENREG_TRACE(FID_COMPARE, &match);
    const GlobalRegRecord* record = (const GlobalRegRecord*)stored;
    const GlobalRegRecord* wanted = (const GlobalRegRecord*)key;
    // A key of type 0 matches every type.
    if (wanted->RecordType != 0 && wanted->RecordType != record->RecordType) return match;
    const GlobalTypeInfo* type = GlobalRecType(record->RecordType);
    if (selector != 0 && type != nullptr) {
        // The field masks are not consulted: an absent field compares as
        // its zero value. Selected bits the type does not know are ignored.
        for (size_t i = 0; i < type->count; ++i) {
            const GlobalFieldInfo& field = type->fields[i];
            if ((selector & field.bit) && !fieldsEqual(record, wanted, field)) return match;
        }
    }
    match = 1;
    return match;
}

unsigned GlobalRecValidate(uint64_t selector, void* recordBuffer) {
    unsigned rc = 0;
    GENREG_TRACE(FID_VALIDATE, &rc);
    // Selector 0 asks for no field: the record is neither examined nor changed.
    if (selector == 0) return rc;
    GlobalRegRecord* record = (GlobalRegRecord*)recordBuffer;
    if (record->RecordType == 0 || record->RecordType > GENREG_GLOBAL_VARIABLE) {
        rc = GENREG_RC_BAD_RECORD_TYPE;
        ossLog(FID_VALIDATE, 1, rc, OSS_SEVERITY_ERROR, "type=%u", (unsigned)record->RecordType);
        return rc;
    }
    if (record->FieldMask == 0) {
        rc = GENREG_RC_EMPTY_FIELD_MASK;
        ossLog(FID_VALIDATE, 2, rc, OSS_SEVERITY_ERROR, "type=%u", (unsigned)record->RecordType);
        return rc;
    }
    record->MissingFieldMask = 0;
    const GlobalTypeInfo* type = GlobalRecType(record->RecordType);
    if (type == nullptr) return rc;  // type 3 has no checks
    // First the values of present fields, then the key fields, each in the
    // order of the type's fields.
    for (size_t i = 0; i < type->count; ++i) {
        const GlobalFieldInfo& field = type->fields[i];
        if (field.valueRc && (record->FieldMask & field.bit) && !valueOk(record, field)) {
            rc = field.valueRc;
            ossLog(FID_VALIDATE, 3, rc, OSS_SEVERITY_ERROR, "type=%u field=%s",
                   (unsigned)record->RecordType, field.name);
            return rc;
        }
    }
    for (size_t i = 0; i < type->count; ++i) {
        const GlobalFieldInfo& field = type->fields[i];
        if (field.requiredRc && (selector & field.bit) && !(record->FieldMask & field.bit)) {
            rc = field.requiredRc;
            ossLog(FID_VALIDATE, 4, rc, OSS_SEVERITY_ERROR,
                   "type=%u field=%s selector=0x%llx mask=0x%llx", (unsigned)record->RecordType,
                   field.name, (unsigned long long)selector, (unsigned long long)record->FieldMask);
            return rc;
        }
    }
    return rc;
}

unsigned GlobalRecNotify(GenRegBase*, uint64_t, const void*, const void*) {
    unsigned rc = 0;
    GENREG_TRACE(FID_NOTIFY, &rc);
    return rc;
}

unsigned GlobalRecRecordSize(const void*, uint64_t* size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_RECORD_SIZE, &rc);
    *size = sizeof(GlobalRegRecord);
    return rc;
}

unsigned GlobalRecMaxRecordSize(uint64_t* size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_MAX_RECORD_SIZE, &rc);
    *size = sizeof(GlobalRegRecord);
    return rc;
}
