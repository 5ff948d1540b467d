// Writing the global registry's stored form: a record's present fields,
// each as a length-prefixed entry, plus the entries of fields this version
// does not know, carried over from the record's previous stored form so
// that a file written by a newer version survives an update by this one.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/binfile.h"
#include "genreg/trace.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"
#include "schemas/globalrec_bytes.h"

namespace {

enum : uint32_t {
    FID_PACK_STORED = GENREG_FID(0x00D5),
    FID_PACK = GENREG_FID(0x00D6),
};

const char kUnit[] = "GlobalRegRecord";

// An entry of the previous stored form: where its bytes start (after the
// length prefix) and how many there are, for each bit it carries.
struct PreviousEntries {
    uint64_t mask;  // bits of entries the previous form carries; 0 if none
    const unsigned char* entry[64];
    uint64_t length[64];
};

// The index of a single bit, 0 to 63.
unsigned bitIndex(uint64_t bit) {
    return (unsigned)__builtin_ctzll(bit);
}

// The lowest bit of a non-zero mask.
uint64_t lowestBit(uint64_t mask) {
    return mask & (~mask + 1);
}

// Locates the entries of the previous form. Only a previous record of the
// same type is a previous form of this record: a record replaced by one of
// another type keeps nothing of it.
unsigned indexPrevious(const unsigned char* previous, uint64_t previousLength, uint32_t type,
                       PreviousEntries* out) {
    out->mask = 0;
    if (previous == nullptr) return 0;
    uint64_t size = 0;
    unsigned rc = GlobalRecMeasure(previous, previousLength, &size);
    if (rc != 0) return rc;
    const uint32_t previousType = (uint32_t)globalGetLE(previous, 4);
    if (previousType != type || GlobalRecType(previousType) == nullptr) return 0;
    const uint64_t mask = globalGetLE(previous + 4, 8);
    uint64_t offset = kGlobalRecHeaderSize;
    for (uint64_t pending = mask & kGlobalRecInRange; pending != 0; pending &= pending - 1) {
        const unsigned index = bitIndex(lowestBit(pending));
        out->length[index] = globalGetLE(previous + offset, kGlobalRecEntryPrefixSize);
        out->entry[index] = previous + offset + kGlobalRecEntryPrefixSize;
        offset += kGlobalRecEntryPrefixSize + out->length[index];
    }
    out->mask = mask & kGlobalRecInRange;
    return 0;
}

// The length of a known field's entry; false for a text that fills its
// field without a terminator (its length is unknowable).
bool entryLength(const GlobalRegRecord* record, const GlobalFieldInfo& field, uint64_t* length) {
    const char* slot = (const char*)record + field.offset;
    if (field.kind != GLOBAL_TEXT) {
        *length = field.width;
        return true;
    }
    const void* end = std::memchr(slot, '\0', field.width);
    if (end == nullptr) return false;
    *length = (uint64_t)((const char*)end - slot) + 1;
    return true;
}

void writeField(const GlobalRegRecord* record, const GlobalFieldInfo& field, uint64_t length,
                unsigned char* out) {
    const unsigned char* slot = (const unsigned char*)record + field.offset;
    if (field.kind == GLOBAL_TEXT) {
        std::memcpy(out, slot, (size_t)length);
        return;
    }
    uint64_t value = 0;
    if (field.kind == GLOBAL_U64) {
        std::memcpy(&value, slot, sizeof value);
    } else if (field.kind == GLOBAL_U32) {
        uint32_t narrow = 0;
        std::memcpy(&narrow, slot, sizeof narrow);
        value = narrow;
    } else {
        value = *slot;
    }
    globalPutLE(out, value, field.width);
}

}  // namespace

unsigned GlobalRecPackStored(const GlobalRegRecord* record, const unsigned char* previous,
                             uint64_t previousLength, unsigned char** packed, uint64_t* size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PACK_STORED, &rc);
    const GlobalTypeInfo* type = GlobalRecType(record->RecordType);
    PreviousEntries carried;
    carried.mask = 0;
    if (type != nullptr) {
        unsigned previousRc = indexPrevious(previous, previousLength, record->RecordType, &carried);
        if (previousRc != 0) {
            rc = previousRc;
            ossLogRC(FID_PACK_STORED, 1, 0, previousRc, rc, OSS_SEVERITY_ERROR,
                     "previous form length=%llu", (unsigned long long)previousLength);
            return rc;
        }
        carried.mask &= ~type->known;
        // An unknown bit of the record's own mask announces an entry that
        // only the previous form can supply.
        const uint64_t announced = record->FieldMask & ~type->known & kGlobalRecInRange;
        if ((announced & ~carried.mask) != 0) {
            rc = GENREG_RC_PACK_UNKNOWN_FIELDS;
            ossLog(FID_PACK_STORED, 2, rc, OSS_SEVERITY_ERROR,
                   "type=%u unknown=0x%llx previousCarries=0x%llx", (unsigned)record->RecordType,
                   (unsigned long long)announced, (unsigned long long)carried.mask);
            return rc;
        }
    }

    // 1. The size of the stored form.
    // Only the type's fields and the carried bits can have entries; both
    // loops visit them in ascending bit order, the order of the entries.
    const uint64_t entryBits =
        type != nullptr ? (type->known | carried.mask) & kGlobalRecInRange : 0;
    uint64_t expected = kGlobalRecHeaderSize + kGlobalRecChecksumSize;
    for (uint64_t pending = entryBits; pending != 0; pending &= pending - 1) {
        const uint64_t bit = lowestBit(pending);
        const GlobalFieldInfo* field = GlobalRecField(type, bit);
        uint64_t length = 0;
        if (field && (record->FieldMask & bit)) {
            if (!entryLength(record, *field, &length)) {
                rc = GENREG_RC_PACK_TEXT_UNTERMINATED;
                ossLog(FID_PACK_STORED, 3, rc, OSS_SEVERITY_ERROR, "type=%u field=%s",
                       (unsigned)record->RecordType, field->name);
                return rc;
            }
        } else if (field == nullptr && (carried.mask & bit)) {
            length = carried.length[bitIndex(bit)];
        } else {
            continue;
        }
        expected += kGlobalRecEntryPrefixSize + length;
    }
    if (expected > GENREG_PACK_BUFFER_SIZE) {
        rc = GENREG_RC_PACK_TOO_LARGE;
        ossLog(FID_PACK_STORED, 4, rc, OSS_SEVERITY_ERROR, "size=%llu limit=%llu",
               (unsigned long long)expected, (unsigned long long)GENREG_PACK_BUFFER_SIZE);
        return rc;
    }

    // 2. The entries, in ascending bit order.
    unsigned char* out = nullptr;
    unsigned memRc = ossMemAlloc(&out, (size_t)expected, kUnit);
    if (memRc != 0) {
        rc = GENREG_RC_PACK_NO_MEMORY;
        ossLogRC(FID_PACK_STORED, 5, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%llu",
                 (unsigned long long)expected);
        return rc;
    }
    const uint64_t outMask = record->FieldMask | carried.mask;
    globalPutLE(out, record->RecordType, 4);
    globalPutLE(out + 4, outMask, 8);
    globalPutLE(out + 12, record->MissingFieldMask, 8);
    uint64_t offset = kGlobalRecHeaderSize;
    for (uint64_t pending = entryBits; pending != 0; pending &= pending - 1) {
        const uint64_t bit = lowestBit(pending);
        const GlobalFieldInfo* field = GlobalRecField(type, bit);
        if (field && (record->FieldMask & bit)) {
            uint64_t length = 0;
            entryLength(record, *field, &length);
            globalPutLE(out + offset, length, kGlobalRecEntryPrefixSize);
            writeField(record, *field, length, out + offset + kGlobalRecEntryPrefixSize);
            offset += kGlobalRecEntryPrefixSize + length;
        } else if (field == nullptr && (carried.mask & bit)) {
            // Length and bytes exactly as the previous form stored them.
            const unsigned index = bitIndex(bit);
            const uint64_t length = carried.length[index];
            globalPutLE(out + offset, length, kGlobalRecEntryPrefixSize);
            std::memcpy(out + offset + kGlobalRecEntryPrefixSize, carried.entry[index],
                        (size_t)length);
            offset += kGlobalRecEntryPrefixSize + length;
        }
    }
    globalPutLE(out + offset, (uint32_t)record->CheckSum, kGlobalRecChecksumSize);
    offset += kGlobalRecChecksumSize;
    if (offset != expected) {
        rc = GENREG_RC_PACK_SIZE_MISMATCH;
        ossLog(FID_PACK_STORED, 6, rc, OSS_SEVERITY_ERROR, "written=%llu expected=%llu",
               (unsigned long long)offset, (unsigned long long)expected);
        ossMemFree(&out, kUnit);
        return rc;
    }
    *packed = out;
    *size = expected;
    return rc;
}

unsigned GlobalRecPack(void** record, const void* storedImage) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PACK, &rc);
    if (record == nullptr || *record == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_PACK, 1, rc, OSS_SEVERITY_ERROR, "record=null");
        return rc;
    }
    // The stored image is a record the store read and unpacked before it
    // asks for the repack, so its entries were found to lie inside it.
    uint64_t previousLength = 0;
    const unsigned char* previous = (const unsigned char*)storedImage;
    if (previous != nullptr) {
        unsigned measureRc = GlobalRecMeasure(previous, GENREG_RECORD_MAX, &previousLength);
        if (measureRc != 0) {
            rc = GENREG_RC_PACK_SIZE_MISMATCH;
            ossLogRC(FID_PACK, 2, 0, measureRc, rc, OSS_SEVERITY_ERROR, "previous form");
            return rc;
        }
    }
    unsigned char* packed = nullptr;
    uint64_t size = 0;
    unsigned packRc = GlobalRecPackStored((const GlobalRegRecord*)*record, previous, previousLength,
                                          &packed, &size);
    if (packRc != 0) {
        rc = packRc;
        ossLogRC(FID_PACK, 3, FID_PACK_STORED, packRc, rc, OSS_SEVERITY_ERROR, "type=%u",
                 (unsigned)((const GlobalRegRecord*)*record)->RecordType);
        return rc;
    }
    // The store's pack buffers hold GENREG_PACK_BUFFER_SIZE bytes, and
    // GlobalRecPackStored refused anything larger.
    std::memcpy(*record, packed, (size_t)size);
    unsigned memRc = ossMemFree(&packed, kUnit);
    if (memRc != 0) {
        rc = GENREG_RC_PACK_FREE_FAILED;
        ossLogRC(FID_PACK, 4, 0, memRc, rc, OSS_SEVERITY_ERROR, "packing buffer");
    }
    return rc;
}
