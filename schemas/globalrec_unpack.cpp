// Reading the global registry's stored form: the size walk and the
// conversion of a stored record into GlobalRegRecord.
//
// A stored record comes from a file that another program, an older or
// newer version, or damage may have written. Every read is bounded by the
// record's stored length: the walk over the entries checks each length
// prefix against the bytes left before the checksum before it moves on,
// and a record is converted only when its entries end exactly where its
// checksum begins. Each field is then checked against its slot before a
// byte is copied, so a stored entry can neither overflow a field nor be
// cut short (a shortened field would be written back shortened by the
// next unrelated update of the file).
#include <genreg/rc.h>

#include <cstring>

#include "genreg/binfile.h"
#include "genreg/trace.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"
#include "schemas/globalrec_bytes.h"

namespace {

enum : uint32_t {
    FID_MEASURE = GENREG_FID(0x00D0),
    FID_UNPACK_STORED = GENREG_FID(0x00D1),
    FID_UNPACK = GENREG_FID(0x00D2),
    FID_PACKED_SIZE = GENREG_FID(0x00D3),
    FID_UNPACK_SIZED = GENREG_FID(0x00D4),
};

const char kUnit[] = "GlobalRegRecord";

// Stores the field's value, decoded from its entry, in the record; the
// entry passed GlobalRecCheckEntry.
void readField(const GlobalFieldInfo& field, const unsigned char* entry, uint64_t length,
               GlobalRegRecord* out) {
    unsigned char* slot = (unsigned char*)out + field.offset;
    if (field.kind == GLOBAL_TEXT) {
        std::memcpy(slot, entry, (size_t)length);
        return;
    }
    GlobalRecDecodeNumber(field, entry, slot);
}

}  // namespace

unsigned GlobalRecCheckEntry(const GlobalFieldInfo& field, const unsigned char* entry,
                             uint64_t length) {
    if (field.kind == GLOBAL_TEXT) {
        if (length > field.width) return GENREG_RC_STORED_ENTRY_TOO_LONG;
        // One text and its terminator, nothing else: a text cut at an inner
        // terminator would be written back shorter than it was stored.
        if (length == 0 || entry[length - 1] != '\0' ||
            std::memchr(entry, '\0', (size_t)length - 1) != nullptr)
            return GENREG_RC_STORED_TEXT_MALFORMED;
        return 0;
    }
    return length == field.width ? 0U : (unsigned)GENREG_RC_STORED_NUMBER_LENGTH;
}

void GlobalRecDecodeNumber(const GlobalFieldInfo& field, const unsigned char* entry,
                           unsigned char* slot) {
    const uint64_t value = globalGetLE(entry, field.width);
    if (field.kind == GLOBAL_U64) {
        std::memcpy(slot, &value, sizeof(uint64_t));
    } else if (field.kind == GLOBAL_U32) {
        const uint32_t narrow = (uint32_t)value;
        std::memcpy(slot, &narrow, sizeof narrow);
    } else {
        *slot = (unsigned char)value;
    }
}

unsigned GlobalRecMeasure(const unsigned char* packed, uint64_t available, uint64_t* size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_MEASURE, &rc);
    const uint64_t kEmpty = kGlobalRecHeaderSize + kGlobalRecChecksumSize;
    if (available < kEmpty) {
        rc = GENREG_RC_STORED_ENTRY_PAST_END;
        ossLog(FID_MEASURE, 1, rc, OSS_SEVERITY_ERROR, "available=%llu",
               (unsigned long long)available);
        return rc;
    }
    const GlobalTypeInfo* type = GlobalRecType((uint32_t)globalGetLE(packed, 4));
    if (type == nullptr) {
        // A type this version does not know has no entries to walk.
        *size = kEmpty;
        return rc;
    }
    const uint64_t mask = globalGetLE(packed + 4, 8);
    const uint64_t entriesEnd = available - kGlobalRecChecksumSize;
    uint64_t offset = kGlobalRecHeaderSize;
    // The entries' bits in ascending order, the order of the stored entries.
    for (uint64_t pending = mask & kGlobalRecInRange; pending != 0; pending &= pending - 1) {
        const uint64_t bit = pending & (~pending + 1);
        uint64_t length = 0;
        if (entriesEnd - offset >= kGlobalRecEntryPrefixSize) {
            length = globalGetLE(packed + offset, kGlobalRecEntryPrefixSize);
            if (entriesEnd - offset - kGlobalRecEntryPrefixSize >= length) {
                offset += kGlobalRecEntryPrefixSize + length;
                continue;
            }
        }
        rc = GENREG_RC_STORED_ENTRY_PAST_END;
        ossLog(FID_MEASURE, 2, rc, OSS_SEVERITY_ERROR,
               "bit=0x%llx offset=%llu entryLength=%llu available=%llu", (unsigned long long)bit,
               (unsigned long long)offset, (unsigned long long)length,
               (unsigned long long)available);
        return rc;
    }
    *size = offset + kGlobalRecChecksumSize;
    return rc;
}

unsigned GlobalRecUnpackStored(const unsigned char* packed, uint64_t length, GlobalRegRecord* out) {
    unsigned rc = 0;
    GENREG_TRACE(FID_UNPACK_STORED, &rc);
    if (length < kGlobalRecHeaderSize + kGlobalRecChecksumSize) {
        rc = GENREG_RC_STORED_ENTRY_PAST_END;
        ossLog(FID_UNPACK_STORED, 1, rc, OSS_SEVERITY_ERROR, "length=%llu",
               (unsigned long long)length);
        return rc;
    }
    const uint32_t recordType = (uint32_t)globalGetLE(packed, 4);
    const GlobalTypeInfo* type = GlobalRecType(recordType);
    if (type == nullptr) {
        rc = GENREG_RC_BAD_STORED_TYPE;
        ossLog(FID_UNPACK_STORED, 2, rc, OSS_SEVERITY_ERROR, "type=%u", (unsigned)recordType);
        return rc;
    }
    uint64_t measured = 0;
    unsigned measureRc = GlobalRecMeasure(packed, length, &measured);
    if (measureRc != 0) {
        rc = measureRc;
        ossLogRC(FID_UNPACK_STORED, 3, FID_MEASURE, measureRc, rc, OSS_SEVERITY_ERROR,
                 "length=%llu", (unsigned long long)length);
        return rc;
    }
    if (measured != length) {
        rc = GENREG_RC_STORED_LENGTH_MISMATCH;
        ossLog(FID_UNPACK_STORED, 4, rc, OSS_SEVERITY_ERROR, "length=%llu entriesGive=%llu",
               (unsigned long long)length, (unsigned long long)measured);
        return rc;
    }

    std::memset(out, 0, sizeof *out);
    out->RecordType = recordType;
    out->FieldMask = globalGetLE(packed + 4, 8);
    out->MissingFieldMask = globalGetLE(packed + 12, 8);
    // The walk above proved that every entry lies inside the record.
    uint64_t offset = kGlobalRecHeaderSize;
    // Only bits the record carries or the type knows can need work; they
    // are visited in ascending order, the order of the stored entries.
    for (uint64_t pending = (out->FieldMask | type->known) & kGlobalRecInRange; pending != 0;
         pending &= pending - 1) {
        const uint64_t bit = pending & (~pending + 1);
        const GlobalFieldInfo* field = GlobalRecField(type, bit);
        if ((out->FieldMask & bit) == 0) {
            if (field) out->MissingFieldMask |= bit;
            continue;
        }
        const uint64_t entryLength = globalGetLE(packed + offset, kGlobalRecEntryPrefixSize);
        const unsigned char* entry = packed + offset + kGlobalRecEntryPrefixSize;
        offset += kGlobalRecEntryPrefixSize + entryLength;
        if (field == nullptr) continue;  // unknown here: kept in FieldMask, skipped
        unsigned fieldRc = GlobalRecCheckEntry(*field, entry, entryLength);
        if (fieldRc != 0) {
            rc = fieldRc;
            ossLog(FID_UNPACK_STORED, 5, rc, OSS_SEVERITY_ERROR,
                   "type=%u field=%s bit=0x%llx entryLength=%llu slot=%u", (unsigned)recordType,
                   field->name, (unsigned long long)bit, (unsigned long long)entryLength,
                   (unsigned)field->width);
            return rc;
        }
        readField(*field, entry, entryLength, out);
    }
    out->CheckSum = (int32_t)(uint32_t)globalGetLE(packed + offset, kGlobalRecChecksumSize);
    return rc;
}

unsigned GlobalRecUnpackSized(void** record, uint64_t length) {
    unsigned rc = 0;
    GENREG_TRACE(FID_UNPACK_SIZED, &rc);
    if (record == nullptr || *record == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_UNPACK_SIZED, 1, rc, OSS_SEVERITY_ERROR, "record=null");
        return rc;
    }
    // The record is converted into a work block, and the caller's buffer
    // (which holds the stored bytes being read) is overwritten only once
    // the whole conversion succeeded.
    GlobalRegRecord* work = nullptr;
    unsigned memRc = ossMemAlloc(&work, sizeof *work, kUnit);
    if (memRc != 0) {
        rc = GENREG_RC_UNPACK_NO_MEMORY;
        ossLogRC(FID_UNPACK_SIZED, 2, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%zu", sizeof *work);
        return rc;
    }
    unsigned convertRc = GlobalRecUnpackStored((const unsigned char*)*record, length, work);
    if (convertRc != 0) {
        rc = convertRc;
        ossLogRC(FID_UNPACK_SIZED, 3, FID_UNPACK_STORED, convertRc, rc, OSS_SEVERITY_ERROR,
                 "length=%llu", (unsigned long long)length);
    } else {
        std::memcpy(*record, work, sizeof *work);
    }
    memRc = ossMemFree(&work, kUnit);
    if (memRc != 0) {
        // Reported although the buffer may already hold the record.
        rc = GENREG_RC_UNPACK_FREE_FAILED;
        ossLogRC(FID_UNPACK_SIZED, 4, 0, memRc, rc, OSS_SEVERITY_ERROR, "work block");
    }
    return rc;
}

unsigned GlobalRecUnpack(void** record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_UNPACK, &rc);
    if (record == nullptr || *record == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_UNPACK, 1, rc, OSS_SEVERITY_ERROR, "record=null");
        return rc;
    }
    // A record this schema packed, in one of the store's pack buffers of
    // GENREG_PACK_BUFFER_SIZE bytes: its own entries say where it ends.
    // Records read from a file come through GlobalRecUnpackSized with the
    // length the file gave them.
    uint64_t length = 0;
    unsigned measureRc =
        GlobalRecMeasure((const unsigned char*)*record, GENREG_PACK_BUFFER_SIZE, &length);
    if (measureRc != 0) {
        rc = measureRc;
        ossLogRC(FID_UNPACK, 2, FID_MEASURE, measureRc, rc, OSS_SEVERITY_ERROR, "unsized");
        return rc;
    }
    rc = GlobalRecUnpackSized(record, length);
    return rc;
}

unsigned GlobalRecPackedSize(const void* packed, uint64_t* size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PACKED_SIZE, &rc);
    uint64_t measured = 0;
    // Asked for records this schema packed, in buffers of
    // GENREG_PACK_BUFFER_SIZE bytes: a walk that would leave such a buffer
    // reports a size the writer refuses.
    if (GlobalRecMeasure((const unsigned char*)packed, GENREG_PACK_BUFFER_SIZE, &measured) != 0)
        measured = (uint64_t)GENREG_RECORD_MAX + 1;
    *size = measured;
    return rc;
}
