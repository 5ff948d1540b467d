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

// GlobalRecCheckEntry of a text entry, and whether it equals the key's
// slot at wanted, in one pass over its bytes: the texts a lookup compares
// are short, and two library calls per entry cost more than the bytes.
// False when the check refuses the entry; *equal as entryEqualsKey.
bool textEntryFitsAndEquals(const GlobalFieldInfo& field, const unsigned char* entry,
                            uint64_t length, const unsigned char* wanted, bool* equal) {
    if (length == 0 || length > field.width || entry[length - 1] != '\0') return false;
    bool same = wanted[length - 1] == '\0';
    for (uint64_t i = 0; i + 1 < length; ++i) {
        if (entry[i] == '\0') return false;
        same = same && entry[i] == wanted[i];
    }
    *equal = same;
    return true;
}

bool absentEqualsKey(const GlobalFieldInfo& field, const GlobalRegRecord* key) {
    const unsigned char* wanted = (const unsigned char*)key + field.offset;
    if (field.kind == GLOBAL_TEXT) return wanted[0] == '\0';
    static const unsigned char kZeros[sizeof(uint64_t)] = {0};
    return std::memcmp(kZeros, wanted, field.width) == 0;
}

}  // namespace

namespace {

// The unpack's walk over a stored record, with its checks: a known type,
// every entry inside the record, every known field's entry fit for its
// slot, the entries ending where the checksum begins. False for a record
// failing any of them. *differs: whether a field that selector names
// (known to the type) differs from key's, absent fields counting as zeros.
bool walkStored(const unsigned char* packed, uint64_t length, uint64_t selector,
                const GlobalRegRecord* key, bool* differs) {
    *differs = false;
    if (length < kGlobalRecHeaderSize + kGlobalRecChecksumSize) return false;
    const GlobalTypeInfo* type = GlobalRecType((uint32_t)globalGetLE(packed, 4));
    if (type == nullptr) return false;  // the unpack refuses the type
    const uint64_t mask = globalGetLE(packed + 4, 8);
    const uint64_t entriesEnd = length - kGlobalRecChecksumSize;
    uint64_t offset = kGlobalRecHeaderSize;
    // Entries stand in the order of their bits; an absent field takes part
    // only when selector names it (as zeros against the key's slot).
    for (uint64_t pending = (mask | (type->known & selector)) & kGlobalRecInRange; pending != 0;
         pending &= pending - 1) {
        const uint64_t bit = pending & (~pending + 1);
        // GlobalRecField without the call: the tables hold bit 2^i at index
        // i (GlobalRecMatch.TypeTablesHoldTheKnownBitsInOrder).
        const GlobalFieldInfo* field =
            (type->known & bit) ? &type->fields[__builtin_ctzll(bit)] : nullptr;
        if ((mask & bit) == 0) {
            if (field && (selector & bit) && !absentEqualsKey(*field, key)) *differs = true;
            continue;
        }
        if (entriesEnd - offset < kGlobalRecEntryPrefixSize) return false;
        const uint64_t entryLength = globalGetLE(packed + offset, kGlobalRecEntryPrefixSize);
        if (entriesEnd - offset - kGlobalRecEntryPrefixSize < entryLength) return false;
        const unsigned char* entry = packed + offset + kGlobalRecEntryPrefixSize;
        offset += kGlobalRecEntryPrefixSize + entryLength;
        if (field == nullptr) continue;
        // Once a selected field differs, the rest only has to pass the checks.
        const bool compared = (selector & bit) && !*differs;
        if (compared && field->kind == GLOBAL_TEXT) {
            bool equal = false;
            if (!textEntryFitsAndEquals(*field, entry, entryLength,
                                        (const unsigned char*)key + field->offset, &equal))
                return false;
            *differs = !equal;
            continue;
        }
        if (GlobalRecCheckEntry(*field, entry, entryLength) != 0) return false;
        if (compared && !entryEqualsKey(*field, entry, entryLength, key)) *differs = true;
    }
    return offset == entriesEnd;
}

bool storedMismatch(uint64_t selector, const void* stored, uint64_t length, const void* key) {
    return GlobalRecStoredMismatch(selector, stored, length, key);
}

bool storedKeptAsStored(uint64_t selector, const void* stored, uint64_t length, const void* key) {
    return GlobalRecStoredKeptAsStored(selector, stored, length, key);
}

const BinStoredShortcuts kShortcuts = {storedMismatch, storedKeptAsStored};

// The unpack adds the type's absent fields to MissingFieldMask; every other
// part of a stored form that walkStored accepted, unknown entries included,
// packs back as it was stored.
bool missingMaskComplete(const unsigned char* packed) {
    const GlobalTypeInfo* type = GlobalRecType((uint32_t)globalGetLE(packed, 4));
    const uint64_t fieldMask = globalGetLE(packed + 4, 8);
    const uint64_t missingMask = globalGetLE(packed + 12, 8);
    return (type->known & ~fieldMask & ~missingMask) == 0;
}

// walkStored against key (null: no key): true when the record would
// unpack; *noMatch then tells whether GlobalRecCompare(selector, the
// unpacked record, key) would give 0. Whether a record unpacks does not
// depend on the selector, so one walk answers both.
bool walkAgainstKey(uint64_t selector, const unsigned char* packed, uint64_t length,
                    const GlobalRegRecord* key, bool* noMatch) {
    *noMatch = false;
    if (length < kGlobalRecHeaderSize + kGlobalRecChecksumSize) return false;
    // A key of type 0 matches every type; with selector 0 no field counts.
    const uint32_t recordType = (uint32_t)globalGetLE(packed, 4);
    const bool otherType = key != nullptr && key->RecordType != 0 && key->RecordType != recordType;
    bool differs = false;
    if (!walkStored(packed, length, key == nullptr || otherType ? 0 : selector, key, &differs))
        return false;
    *noMatch = key != nullptr && (otherType || differs);
    return true;
}

}  // namespace

bool GlobalRecStoredMismatch(uint64_t selector, const void* stored, uint64_t length,
                             const void* key) {
    bool noMatch = false;
    return walkAgainstKey(selector, (const unsigned char*)stored, length,
                          (const GlobalRegRecord*)key, &noMatch) &&
           noMatch;
}

bool GlobalRecStoredRepacksToItself(const void* stored, uint64_t length) {
    const unsigned char* packed = (const unsigned char*)stored;
    bool noMatch = false;
    return walkAgainstKey(0, packed, length, nullptr, &noMatch) && missingMaskComplete(packed);
}

bool GlobalRecStoredKeptAsStored(uint64_t selector, const void* stored, uint64_t length,
                                 const void* key) {
    const unsigned char* packed = (const unsigned char*)stored;
    bool noMatch = false;
    return walkAgainstKey(selector, packed, length, (const GlobalRegRecord*)key, &noMatch) &&
           missingMaskComplete(packed) && (key == nullptr || noMatch);
}

const BinStoredShortcuts* BinStoredShortcutsOf(const GenRegBin* handle) {
    // Only the schema's own callbacks: a caller who put its own unpack,
    // pack or compare in the handle, or emptied a slot, keeps exactly what
    // those decide and report.
    if (handle->UnpackStoredRecord == GlobalRecUnpackSized &&
        handle->UnpackRecord == GlobalRecUnpack && handle->PackRecord == GlobalRecPack &&
        handle->PackStoredRecord == GlobalRecPackInto && handle->CompareRecord == GlobalRecCompare)
        return &kShortcuts;
    return nullptr;
}
