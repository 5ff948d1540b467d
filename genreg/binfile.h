// The binary record file format: length-prefixed records, read and written
// only through these routines.
//
// The routines read and write at the stream's current position. With
// GENREG_FEATURE_CHECKSUM the 32-byte header in front of the records is the
// transaction's alone: a reader's stream already stands at offset 32 of a
// non-empty file, and an update's copy holds records only until the
// transaction's end writes the header in front of them.
#ifndef GENREG_BINFILE_H
#define GENREG_BINFILE_H

#include <cstdint>
#include <cstdio>
#include <genreg/handle.h>

// Capacity of every buffer the binary store hands to PackRecord: a record's
// packed form may be larger than its in-memory form, but never larger than
// the largest record the writer accepts. PackRecord refuses a packed form
// larger than this.
#define GENREG_PACK_BUFFER_SIZE GENREG_RECORD_MAX
// Bytes of the length prefix in front of every record.
#define GENREG_RECORD_PREFIX_SIZE 4

// One record at the stream's position into *buffer (at least
// GetMaxRecordSize bytes; replaced by a larger one for a longer record, so
// the caller owns and frees whatever *buffer holds afterwards). *length
// receives the record's length. GENREG_RC_NOT_FOUND at end of file.
unsigned ReadRecord(GenRegBin* handle, FILE* stream, void** buffer, uint64_t* length);
// ReadRecord into a buffer of a known capacity (bytes): the buffer is
// replaced by one of exactly the record's length only when the record is
// longer than capacity. 0 means GetMaxRecordSize, as for ReadRecord. The
// update paths of a packed store read into GENREG_PACK_BUFFER_SIZE buffers
// this way, so that PackRecord always gets at least that much room.
unsigned ReadRecordInto(GenRegBin* handle, FILE* stream, void** buffer, uint64_t capacity,
                        uint64_t* length);
// One record at the stream's position: GetPackedSize (packed) or
// GetRecordSize bytes of record behind their length. The size must lie in
// GENREG_RECORD_MIN..GENREG_RECORD_MAX; a partial write fails too.
unsigned WriteRecord(GenRegBin* handle, FILE* stream, const void* record);
// WriteRecord of a record whose size the caller knows (a packed form whose
// size its packing reported).
unsigned WriteRecordOfSize(GenRegBin* handle, FILE* stream, const void* record, uint64_t size);
// Whole records (length prefixes and bodies) exactly as they were read,
// size bytes at bytes, in one write: the bytes WriteRecordOfSize of each
// would write. A short write fails (GENREG_RC_WRITE_BODY_FAILED, logged as
// a record whose body came up short).
unsigned WriteRecordRun(FILE* stream, const void* bytes, size_t size);
// Bytes of the length in front of every record.
const size_t kRecordPrefixSize = 4;
// The length a record's 4-byte prefix at bytes announces.
uint32_t RecordLengthAt(const GenRegBin* handle, const unsigned char* bytes);
// The size (length prefix and body) of the record at the start of the size
// bytes at bytes when ReadRecordInto with this capacity (0:
// GetMaxRecordSize) would read it at once and it is whole there: a length
// from 1 to capacity followed by its body; *length receives the body's
// length, the body being the last *length of those bytes. 0 otherwise.
size_t WholeRecordAt(const GenRegBin* handle, const unsigned char* bytes, size_t size,
                     uint64_t capacity, uint64_t* length);
// The bytes, from the start of the size bytes at bytes, of the whole
// records there that ReadRecordInto with this capacity (0: GetMaxRecordSize)
// reads at once: each a length from 1 to capacity followed by its body.
// Stops at the first record that is not whole in those bytes or that
// ReadRecordInto would treat otherwise (length 0, or longer than capacity).
size_t WholeRecordsIn(const GenRegBin* handle, const unsigned char* bytes, size_t size,
                      uint64_t capacity);
unsigned GetBigEndian32(const unsigned char* bytes, int32_t* value);
unsigned PutBigEndian32(unsigned char* bytes, uint32_t value);
unsigned CheckBinSlots(GenRegBin* handle);

#endif
