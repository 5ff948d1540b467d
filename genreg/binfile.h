// The binary record file format: length-prefixed records, read and written
// only through these routines.
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

// One record at the stream's position into *buffer (at least
// GetMaxRecordSize bytes; replaced by a larger one for a longer record, so
// the caller owns and frees whatever *buffer holds afterwards). *length
// receives the record's length. GENREG_RC_NOT_FOUND at end of file.
unsigned ReadRecord(GenRegBin* handle, FILE* stream, void** buffer, uint64_t* length);
unsigned WriteRecord(GenRegBin* handle, FILE* stream, const void* record);
unsigned GetBigEndian32(const unsigned char* bytes, int32_t* value);
unsigned PutBigEndian32(unsigned char* bytes, uint32_t value);
unsigned CheckBinSlots(GenRegBin* handle);

#endif
