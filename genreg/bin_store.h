// Pieces of the binary store shared by lookup (bin_get.cpp), update
// (bin_update.cpp) and the verification of an update (bin_verify.cpp).
#ifndef GENREG_BIN_STORE_H
#define GENREG_BIN_STORE_H

#include <cstdint>
#include <genreg/handle.h>

#include "genreg/trace.h"

// Trace and log identifiers of the binary format and the binary store.
enum : uint32_t {
    FID_READ_RECORD = GENREG_FID(0x0090),
    FID_WRITE_RECORD = GENREG_FID(0x0091),
    FID_GET_BIG_ENDIAN32 = GENREG_FID(0x0092),
    FID_PUT_BIG_ENDIAN32 = GENREG_FID(0x0093),
    FID_CHECK_BIN_SLOTS = GENREG_FID(0x0094),
    FID_BIN_GET = GENREG_FID(0x00A0),
    FID_BIN_GET_NEXT = GENREG_FID(0x00A1),
    FID_BIN_ADD = GENREG_FID(0x00A2),
    FID_BIN_CHANGE = GENREG_FID(0x00A3),
    FID_BIN_DELETE = GENREG_FID(0x00A4),
    FID_BIN_VERIFY = GENREG_FID(0x00A5),
    FID_BIN_VALIDATE = GENREG_FID(0x00A6),
    FID_BIN_MAX_SIZE = GENREG_FID(0x00A7),
    FID_BIN_SCAN = GENREG_FID(0x00A8),
};

// The transaction's functions, named as the cause of a failure in the log.
enum : uint32_t {
    FID_TXN_ACQUIRE_LOCK = GENREG_FID(0x0010),
    FID_TXN_RELEASE_LOCK = GENREG_FID(0x0011),
    FID_TXN_BEGIN = GENREG_FID(0x0012),
    FID_TXN_END = GENREG_FID(0x0013),
};

// The source unit named in the allocator's records.
#define GENREG_BIN_UNIT "GenRegBin"

// UnpackRecord of a packed record read from the file, of length bytes as
// stored: through the schema's UnpackStoredRecord when it has one, so that
// a damaged record whose contents run past its stored bytes is refused
// instead of read past them.
inline unsigned BinUnpackStored(GenRegBin* handle, void** record, uint64_t length) {
    return handle->UnpackStoredRecord ? handle->UnpackStoredRecord(record, length)
                                      : handle->UnpackRecord(record);
}

// Tests a packed store's schema can make on a record's stored bytes (length
// of them) before it is unpacked, so that an operation unpacks, compares
// and repacks only the records it must:
//   mismatch         true only when the record would unpack and
//                    CompareRecord(selector, unpacked, key) would then be 0;
//   keptAsStored     true only when the record would unpack, PackRecord
//                    of it against its stored bytes would give back
//                    exactly those bytes, and - when key is not null -
//                    mismatch(selector, stored, length, key) holds: one
//                    pass over the stored bytes answers all three.
// Both answer false when they cannot tell (a damaged record included); the
// record then takes the usual way, with its results, codes and logs.
struct BinStoredShortcuts {
    bool (*mismatch)(uint64_t selector, const void* stored, uint64_t length, const void* key);
    bool (*keptAsStored)(uint64_t selector, const void* stored, uint64_t length, const void* key);
};
// The shortcuts of the handle's schema, or null: they apply only while the
// handle holds that schema's own unpack, pack and compare callbacks. The
// schemas provide them.
const BinStoredShortcuts* BinStoredShortcutsOf(const GenRegBin* handle);

// ValidateRecord on (selector, record): GENREG_RC_NO_VALIDATE_SLOT when the
// slot is empty, GENREG_RC_INVALID_RECORD when it refuses; logged under
// functionId.
unsigned BinValidate(GenRegBin* handle, uint32_t functionId, uint64_t selector, void* record);

// *max from GetMaxRecordSize: GENREG_RC_NO_MAX_SIZE_SLOT when the slot is
// empty, GENREG_RC_RECORD_TOO_SMALL / _TOO_LARGE outside
// GENREG_RECORD_MIN..GENREG_RECORD_MAX; logged under functionId.
unsigned BinMaxRecordSize(GenRegBin* handle, uint32_t functionId, uint64_t* max);

// A zeroed buffer of size bytes from the platform allocator, so that the
// tail behind a short record never shows uninitialised memory.
// GENREG_RC_ALLOC_FAILED (or failRc when non-zero), logged.
unsigned BinAllocZeroed(void** buffer, uint64_t size, uint32_t functionId, unsigned failRc);
// BinAllocZeroed (GENREG_RC_ALLOC_FAILED) of an update's record buffer:
// only its first recordSize bytes (GetMaxRecordSize, the in-memory record)
// are zeroed. A packed store's buffers are GENREG_PACK_BUFFER_SIZE bytes so
// that any packed form fits, but every byte behind the in-memory record is
// written (by a record read or a packing) before it is read; zeroing the
// whole megabyte made the allocator clear and fault in every page of it on
// every update.
unsigned BinAllocRecordBuffer(void** buffer, uint64_t size, uint64_t recordSize,
                              uint32_t functionId);

// After a BeginTransaction or EndTransaction that failed part-way: closes
// whatever streams it left open (EndTransaction with GENREG_TXN_READ, which
// commits nothing), so that a failed operation leaves no transaction open.
// A scan the caller holds open is left alone.
void BinCloseLeftovers(GenRegBin* handle);

// The verification pass of an update made with GENREG_FEATURE_VERIFY: reads
// the registry file and the update's copy side by side and commits the copy
// (EndTransaction with GENREG_TXN_VERIFY) only when it differs from the file
// by exactly the requested change:
//   GENREG_TXN_ADD     one record equal to newRecord appended at the end;
//   GENREG_TXN_CHANGE  records matching key replaced in place by newRecord;
//   GENREG_TXN_DELETE  records matching key left out.
// newRecord is in memory form. Called with the update lock held and the
// update's own transaction ended; leaves the lock held. A copy that fails
// the checks is removed and the file stays as it was. *committed (when not
// null) tells whether the copy was swapped in: a non-zero result with
// *committed true is a failure of the pass's clean-up after its commit
// (the new content is in place).
unsigned VerifyBinUpdate(GenRegBin* handle, uint64_t type, uint64_t selector, const void* newRecord,
                         const void* key, bool* committed = nullptr);

#endif
