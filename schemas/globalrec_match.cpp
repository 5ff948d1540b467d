// Matching a key against a stored global registry record before it is
// unpacked. A lookup reads every record up to the first match; unpacking
// each one into a 2,608-byte GlobalRegRecord (allocate, clear, copy, free)
// only to find that its key fields differ is most of a lookup's work. The
// test below decides on the stored bytes alone, and says "no match" only
// where the unpack would succeed and GlobalRecCompare would then give 0;
// whatever it cannot decide (a damaged record included) it leaves to the
// unpack and the compare, so results, return codes and logs stay theirs.
#include <cstring>

#include "genreg/bin_store.h"
#include "schemas/globalrec.h"
#include "schemas/globalrec_bytes.h"

namespace {

// The unpacked slot of a field holds its entry's bytes (a text and its
// terminator, then zeros) or its number, or zeros for an absent field;
// GlobalRecCompare compares texts with strncmp over the slot's width and
// numbers byte for byte.
bool entryEqualsKey(const GlobalFieldInfo& field, const unsigned char* entry, uint64_t length,
                    const GlobalRegRecord* key) {
    const unsigned char* wanted = (const unsigned char*)key + field.offset;
    // The entry holds exactly one terminator, its last byte: strncmp stops there.
    if (field.kind == GLOBAL_TEXT) return std::memcmp(entry, wanted, (size_t)length) == 0;
    unsigned char slot[sizeof(uint64_t)] = {0};
    GlobalRecDecodeNumber(field, entry, slot);
    return std::memcmp(slot, wanted, field.width) == 0;
}

bool absentEqualsKey(const GlobalFieldInfo& field, const GlobalRegRecord* key) {
    const unsigned char* wanted = (const unsigned char*)key + field.offset;
    if (field.kind == GLOBAL_TEXT) return wanted[0] == '\0';
    static const unsigned char kZeros[sizeof(uint64_t)] = {0};
    return std::memcmp(kZeros, wanted, field.width) == 0;
}

}  // namespace

bool GlobalRecStoredMismatch(uint64_t selector, const void* stored, uint64_t length,
                             const void* keyRecord) {
    const unsigned char* packed = (const unsigned char*)stored;
    const GlobalRegRecord* key = (const GlobalRegRecord*)keyRecord;
    if (length < kGlobalRecHeaderSize + kGlobalRecChecksumSize) return false;
    const uint32_t recordType = (uint32_t)globalGetLE(packed, 4);
    const GlobalTypeInfo* type = GlobalRecType(recordType);
    if (type == nullptr) return false;  // the unpack refuses the type

    // A key of type 0 matches every type; with selector 0 no field counts.
    bool differs = key->RecordType != 0 && key->RecordType != recordType;
    const uint64_t compared = differs ? 0 : selector;
    // The unpack's walk, with its checks: every entry inside the record,
    // every known field's entry fit for its slot, the entries ending where
    // the checksum begins. A record failing any of them is left to it.
    const uint64_t mask = globalGetLE(packed + 4, 8);
    const uint64_t entriesEnd = length - kGlobalRecChecksumSize;
    uint64_t offset = kGlobalRecHeaderSize;
    for (uint64_t pending = (mask | type->known) & kGlobalRecInRange; pending != 0;
         pending &= pending - 1) {
        const uint64_t bit = pending & (~pending + 1);
        const GlobalFieldInfo* field = GlobalRecField(type, bit);
        if ((mask & bit) == 0) {
            if (field && (compared & bit) && !absentEqualsKey(*field, key)) differs = true;
            continue;
        }
        if (entriesEnd - offset < kGlobalRecEntryPrefixSize) return false;
        const uint64_t entryLength = globalGetLE(packed + offset, kGlobalRecEntryPrefixSize);
        if (entriesEnd - offset - kGlobalRecEntryPrefixSize < entryLength) return false;
        const unsigned char* entry = packed + offset + kGlobalRecEntryPrefixSize;
        offset += kGlobalRecEntryPrefixSize + entryLength;
        if (field == nullptr) continue;
        if (GlobalRecCheckEntry(*field, entry, entryLength) != 0) return false;
        if ((compared & bit) && !entryEqualsKey(*field, entry, entryLength, key)) differs = true;
    }
    return offset == entriesEnd && differs;
}

BinStoredMismatchFn BinStoredMismatchOf(const GenRegBin* handle) {
    // Only the schema's own callbacks: a caller who put its own unpack or
    // compare in the handle keeps exactly what those decide.
    if (handle->UnpackStoredRecord == GlobalRecUnpackSized &&
        handle->CompareRecord == GlobalRecCompare)
        return GlobalRecStoredMismatch;
    return nullptr;
}
