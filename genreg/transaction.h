// The file transaction: the update lock, opening and recovery, commit,
// backup and release. Every store operation runs one transaction:
//
//   lookup:  BeginTransaction(READ) ... EndTransaction(READ)
//   update:  AcquireUpdateLock(options)
//            BeginTransaction(type) ... EndTransaction(type or READ)
//            [BeginTransaction(VERIFY) ... EndTransaction(VERIFY or READ)]
//            ReleaseUpdateLock
//
// The on-disk protocol and its invariants are documented in transaction.cpp.
#ifndef GENREG_TRANSACTION_H
#define GENREG_TRANSACTION_H

#include <cstdint>
#include <genreg/handle.h>

// Size of the checksum header of a binary file with GENREG_FEATURE_CHECKSUM;
// records start at this offset.
#define GENREG_CHECKSUM_HEADER_SIZE 32

unsigned AcquireUpdateLock(GenRegFile* handle, unsigned options);
unsigned ReleaseUpdateLock(GenRegFile* handle);
// The update lock of one Add, Change or Delete, taken with options and
// released by the update itself, unless the caller holds it through
// GenRegFile::LockForUpdate (GENREG_STATE_UPDATE_HOLD): the update then runs
// under that hold, and both do nothing and return 0 (update_hold.cpp).
unsigned AcquireStoreUpdateLock(GenRegFile* handle, unsigned options);
unsigned ReleaseStoreUpdateLock(GenRegFile* handle);
// On success stream holds the registry file positioned where the store
// reads its first record (for a checksummed binary file: offset 32), or at
// its end when appending in place; tempStream holds the copy where the type
// needs one.
unsigned BeginTransaction(GenRegFile* handle, unsigned type);
// type: the type begun, to commit; GENREG_TXN_READ to close without commit.
unsigned EndTransaction(GenRegFile* handle, unsigned type);
int32_t ComputeChecksum(const void* data, uint64_t length);

// Opens the registry file for a look at its content outside a transaction,
// as an Add that appends in place needs before it opens the file for
// appending (whose exclusive file lock would exclude this reader): an
// existing regular file only, never blocking, never created, binary mode,
// under a shared file lock that closing the stream ends. 0 with *stream
// null when there is no file; else the codes of GenRegOpenLockedStream
// (logged under functionId).
unsigned GenRegOpenForInspection(const GenRegFile* handle, FILE** stream, uint32_t functionId);

// What a store makes of endRc, the result of an EndTransaction that was to
// commit: 0 when the new content is in place, though the backup could not
// be removed afterwards (GENREG_RC_BACKUP_DELETE_FAILED). The update is
// then done and reported so, with a warning naming the backup left behind
// (logged under functionId and probe); the next commit deletes it. Every
// other result is returned as it is.
unsigned GenRegCommitOutcome(const GenRegFile* handle, unsigned endRc, uint32_t functionId,
                             uint32_t probe);

// True for the failures of a transaction that the stores hand to their
// caller as they are instead of wrapping them (in GENREG_RC_LOCK_FAILED,
// GENREG_RC_OPEN_FAILED): they name their cause, which a caller may act on
// (GENREG_RC_PERMISSION_DENIED, GENREG_RC_NOT_REGULAR_FILE).
bool GenRegIsTellingFailure(unsigned rc);

// True when the handle's file carries the 32-byte checksum header: a binary
// store with GENREG_FEATURE_CHECKSUM. A text store ignores the feature.
inline bool GenRegIsChecksummed(const GenRegFile* handle) {
    return handle->storeKind == GENREG_STORE_BINARY &&
           (handle->features & GENREG_FEATURE_CHECKSUM) != 0;
}

// True when an Add on this handle appends to the file in place (duplicates
// allowed, verification off): no temporary copy, no swap. A checksummed
// file never grows in place: its header covers every data byte, so an Add
// rewrites it through a copy like any other update.
inline bool GenRegAppendsInPlace(const GenRegFile* handle) {
    return (handle->features & GENREG_FEATURE_DUPLICATES) &&
           !(handle->features & GENREG_FEATURE_VERIFY) && !GenRegIsChecksummed(handle);
}

#endif
