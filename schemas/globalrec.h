// The global registry's records: the field layout of each record type and
// the callbacks GlobalReg places in its handle.
//
// Stored form of one record (little-endian, no padding):
//   0   4  RecordType
//   4   8  FieldMask
//   12  8  MissingFieldMask
//   20     one entry per bit set in FieldMask, from 0x1 up to 2^62: a 16-bit
//          length L, then L bytes (text: the characters and the terminator;
//          numbers: 8, 4 or 1 bytes); bit 2^63 is never examined
//   end 4  CheckSum
// Entries of bits a record type does not know keep the same shape; readers
// skip them and a rewrite carries them over from the previous stored form.
#ifndef GENREG_SCHEMAS_GLOBALREC_H
#define GENREG_SCHEMAS_GLOBALREC_H

#include <genreg/globalreg.h>

#include <cstddef>
#include <cstdint>

// Bytes of the stored header and of the trailing checksum; a record with
// no entries is kGlobalRecHeaderSize + kGlobalRecChecksumSize bytes.
enum : uint64_t {
    kGlobalRecHeaderSize = 20,
    kGlobalRecChecksumSize = 4,
    kGlobalRecEntryPrefixSize = 2,
};
// The highest field bit a stored record may use, and all bits up to it.
const uint64_t kGlobalRecLastBit = 0x4000000000000000ULL;
const uint64_t kGlobalRecInRange = kGlobalRecLastBit | (kGlobalRecLastBit - 1);

enum GlobalFieldKind : uint8_t { GLOBAL_TEXT, GLOBAL_U64, GLOBAL_U32, GLOBAL_U8 };

struct GlobalFieldInfo {
    uint64_t bit;
    const char* name;
    uint32_t offset;  // from the start of GlobalRegRecord
    uint16_t width;   // bytes of the slot; a text's terminator included
    GlobalFieldKind kind;
    // Value check of a present field, 0 for none: a text must not be
    // empty, a 32-bit number must be 0 or 1.
    unsigned valueRc;
    // Key check, 0 for none: a bit of the selector must be present.
    unsigned requiredRc;
};

struct GlobalTypeInfo {
    uint32_t type;
    uint64_t known;                 // the field bits of this type
    const GlobalFieldInfo* fields;  // in ascending bit order
    size_t count;
};

// The layout of record type 1, 2 or 4; null for any other type.
const GlobalTypeInfo* GlobalRecType(uint32_t type);
// The field of bit in the type's layout, or null when the type does not know it.
const GlobalFieldInfo* GlobalRecField(const GlobalTypeInfo* type, uint64_t bit);

// ---- stored form, with explicit lengths ------------------------------------

// The size of the stored record at packed, found by walking its entries,
// reading nothing at or past available bytes. A type other than 1, 2 and 4
// has no entries (24 bytes). GENREG_RC_STORED_ENTRY_PAST_END when the
// header, an entry or the checksum would reach past available.
unsigned GlobalRecMeasure(const unsigned char* packed, uint64_t available, uint64_t* size);

// The check a stored entry of a known field must pass before its bytes go
// into the field's slot: 0, or GENREG_RC_STORED_ENTRY_TOO_LONG /
// _TEXT_MALFORMED (a text is one terminated text that fits its slot) or
// GENREG_RC_STORED_NUMBER_LENGTH (a number has its width).
unsigned GlobalRecCheckEntry(const GlobalFieldInfo& field, const unsigned char* entry,
                             uint64_t length);
// The slot bytes (field.width of them) of a numeric entry that passed the
// check: the little-endian stored value in the host's order.
void GlobalRecDecodeNumber(const GlobalFieldInfo& field, const unsigned char* entry,
                           unsigned char* slot);

// Converts the stored record of exactly length bytes at packed into *out.
// Reads nothing outside those bytes, and rejects a record whose entries do
// not fill exactly that length, a text entry longer than its field or not
// one terminated text, and a numeric entry of the wrong length. On failure
// *out holds nothing of use (the callers convert into a work block).
unsigned GlobalRecUnpackStored(const unsigned char* packed, uint64_t length, GlobalRegRecord* out);

// The stored form of record into a new block from ossMemAlloc (*packed,
// *size; the caller frees it). previous, of previousLength bytes, is the
// record's previous stored form, or null: entries of bits unknown to the
// record's type are carried over from it when it is a record of the same
// type. A record that announces unknown bits which previous does not carry
// is refused (GENREG_RC_PACK_UNKNOWN_FIELDS), so is a stored form larger
// than GENREG_RECORD_MAX (GENREG_RC_PACK_TOO_LARGE) and a text that fills
// its field without a terminator (GENREG_RC_PACK_TEXT_UNTERMINATED).
unsigned GlobalRecPackStored(const GlobalRegRecord* record, const unsigned char* previous,
                             uint64_t previousLength, unsigned char** packed, uint64_t* size);

// True only when the stored record of exactly length bytes at stored would
// unpack (GlobalRecUnpackStored gives 0) and GlobalRecCompare(selector, the
// unpacked record, key) would then give 0: the record certainly does not
// match. False when it may match or would not unpack. Reads nothing
// outside the length bytes; allocates nothing, logs nothing.
bool GlobalRecStoredMismatch(uint64_t selector, const void* stored, uint64_t length,
                             const void* key);
// True only when the stored record of exactly length bytes at stored would
// unpack, and GlobalRecPack of the unpacked record against these bytes as
// its previous form would give back exactly these bytes.
bool GlobalRecStoredRepacksToItself(const void* stored, uint64_t length);
// GlobalRecStoredRepacksToItself(stored, length) and, when key is not null,
// GlobalRecStoredMismatch(selector, stored, length, key), from one walk
// over the entries instead of two.
bool GlobalRecStoredKeptAsStored(uint64_t selector, const void* stored, uint64_t length,
                                 const void* key);

// ---- the callbacks of the handle --------------------------------------------

int GlobalRecCompare(uint64_t selector, const void* stored, const void* key);
unsigned GlobalRecValidate(uint64_t selector, void* record);
unsigned GlobalRecPrint(const void* record);
unsigned GlobalRecNotify(GenRegBase* handle, uint64_t operation, const void* first,
                         const void* second);
unsigned GlobalRecRecordSize(const void* record, uint64_t* size);
unsigned GlobalRecMaxRecordSize(uint64_t* size);
// The PackRecord slot: *record is a caller's buffer of a record's size
// (sizeof(GlobalRegRecord), GetMaxRecordSize) holding a record; on success
// it holds the record's stored form. A stored form larger than the buffer
// (a full instance record packs to 2620 bytes) is refused with
// GENREG_RC_PACK_TOO_LARGE and the buffer left as it was; storedImage is
// read within a record's size too.
unsigned GlobalRecPack(void** record, const void* storedImage);
// The PackStoredRecord slot the store packs through: *record is a buffer of
// capacity bytes; on success it holds the stored form and *size its size.
// storedImage, of storedLength bytes, is the previous stored form or null.
// A stored form larger than capacity: GENREG_RC_PACK_TOO_LARGE, buffer
// unchanged.
unsigned GlobalRecPackInto(void** record, uint64_t capacity, const void* storedImage,
                           uint64_t storedLength, uint64_t* size);
// *record holds a stored record of exactly length bytes, read from a file;
// on success it holds the record. Reads nothing past length.
unsigned GlobalRecUnpackSized(void** record, uint64_t length);
// The UnpackRecord slot: *record holds a record packed into a caller's
// buffer of a record's size; on success it holds the record. Reads
// nothing past that size (a form whose entries would reach past it is
// refused).
unsigned GlobalRecUnpack(void** record);
// The GetPackedSize slot, for a packed form in a buffer of a record's size;
// a form whose entries would reach past it is given a size the writer
// refuses (GENREG_RECORD_MAX + 1).
unsigned GlobalRecPackedSize(const void* packed, uint64_t* size);

#endif
