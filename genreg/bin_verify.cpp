// The verification pass of a binary update: the registry file (old) and the
// update's copy are read side by side, one record of each per step, and the
// copy is committed only when the two differ by exactly the requested
// change. Every other outcome ends the transaction without commit, so the
// file stays as it was and the copy is removed.
//
// Pairs are equal when the schema's CompareRecord with GENREG_SELECT_ALL
// says so; for an unpacked store, whose stored bytes are the record, they
// must also have the same length and bytes, since the update copies kept
// records byte for byte. A pair whose stored bytes are identical is equal
// without being unpacked or compared: the unpack is a function of the
// bytes, and the update's copy pass already unpacked the old file's record
// (an update refuses a record that does not unpack), so only the pairs
// that differ - the records the update wrote - go through the schema.
// Runs of such pairs are passed in blocks of bytes (genreg/shared_run.h):
// the whole records in the bytes both sides share from where both stand
// are exactly the identical pairs the record reads would find there.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/bin_store.h"
#include "genreg/binfile.h"
#include "genreg/shared_run.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

struct Verify {
    GenRegBin* handle;
    uint64_t type;
    uint64_t selector;
    const void* newRecord;  // Add, Change: memory form
    const void* key;        // Change, Delete
    bool packed;
    uint64_t max;  // GetMaxRecordSize, the capacity of old and copy
    void* old;     // current record of the registry file
    uint64_t oldLength;
    unsigned oldRc;  // 0, GENREG_RC_NOT_FOUND at its end, or a reader failure
    void* copy;      // current record of the copy
    uint64_t copyLength;
    unsigned copyRc;
    unsigned changes;  // records found added, replaced or left out
    SharedRun run;     // identical pairs, passed in blocks
};

unsigned failed(uint32_t probe, unsigned rc, const Verify* v) {
    ossLog(FID_BIN_VERIFY, probe, rc, OSS_SEVERITY_ERROR, "type=%llu changes=%u file=%s",
           (unsigned long long)v->type, v->changes, v->handle->filePath);
    return rc;
}

void readOld(Verify* v) {
    v->oldRc = ReadRecordInto(v->handle, v->handle->stream, &v->old, v->max, &v->oldLength);
}

void readCopy(Verify* v) {
    v->copyRc = ReadRecordInto(v->handle, v->handle->tempStream, &v->copy, v->max, &v->copyLength);
}

// The units of a shared run: the whole records at the start of bytes that
// a record read would read at once (WholeRecordsIn); the bytes behind them
// are unfinished when more bytes could complete such a record within a
// block, rather than being one that is never passed (length 0, longer
// than the records, or than a block).
size_t wholeRecords(const void* context, const char* bytes, size_t length, bool* unfinished) {
    const Verify* v = (const Verify*)context;
    const unsigned char* at = (const unsigned char*)bytes;
    const size_t whole = WholeRecordsIn(v->handle, at, length, v->max);
    const size_t rest = length - whole;
    const uint64_t next = rest < kRecordPrefixSize ? 0 : RecordLengthAt(v->handle, at + whole);
    *unfinished = rest < kRecordPrefixSize ||
                  (next != 0 && next <= v->max && kRecordPrefixSize + next <= kSharedRunBlock);
    return whole;
}

// Identical pairs from where both streams stand, passed in blocks. 0, or
// the code of a position or seek that failed (logged).
unsigned passSharedRecords(Verify* v) {
    GenRegBin* h = v->handle;
    switch (PassSharedRun(&v->run, h->stream, h->tempStream, wholeRecords, v)) {
        case SHARED_RUN_FIRST_FAILED:
            return failed(14, GENREG_RC_READ_FAILED, v);
        case SHARED_RUN_SECOND_FAILED:
            return failed(15, GENREG_RC_VERIFY_READ_COPY_FAILED, v);
        default:
            return 0;
    }
}

// The next pair: identical pairs passed in blocks, then one record of each.
unsigned readPair(Verify* v) {
    unsigned rc = passSharedRecords(v);
    if (rc != 0) return rc;
    readOld(v);
    readCopy(v);
    return 0;
}

unsigned unpack(Verify* v, void** record, uint64_t length, uint32_t probe) {
    if (!v->packed) return 0;
    unsigned callbackRc = BinUnpackStored(v->handle, record, length);
    if (callbackRc == 0) return 0;
    ossLogRC(FID_BIN_VERIFY, probe, 0, callbackRc, GENREG_RC_UNPACK_FAILED, OSS_SEVERITY_ERROR,
             "file=%s", v->handle->filePath);
    return GENREG_RC_UNPACK_FAILED;
}

// The pair just read has the same stored bytes.
bool identicalPair(const Verify* v) {
    return v->oldLength == v->copyLength && std::memcmp(v->old, v->copy, (size_t)v->oldLength) == 0;
}

bool sameBytes(const Verify* v, const void* a, uint64_t aLength, const void* b, uint64_t bLength) {
    return v->packed || (aLength == bLength && std::memcmp(a, b, aLength) == 0);
}

bool pairEqual(const Verify* v, const void* a, uint64_t aLength, const void* b, uint64_t bLength) {
    return v->handle->CompareRecord(GENREG_SELECT_ALL, a, b) != 0 &&
           sameBytes(v, a, aLength, b, bLength);
}

// The copy's current record is the caller's new record.
bool copyIsNewRecord(const Verify* v) {
    uint64_t newLength = v->copyLength;
    if (!v->packed && v->handle->GetRecordSize != nullptr)
        v->handle->GetRecordSize(v->newRecord, &newLength);
    return pairEqual(v, v->copy, v->copyLength, v->newRecord, newLength);
}

bool oldMatchesKey(const Verify* v) {
    return v->handle->CompareRecord(v->selector, v->old, v->key) != 0;
}

// Delete: the old file runs ahead of the copy over the records left out.
unsigned skipDeletedRecords(Verify* v) {
    do {
        if (!oldMatchesKey(v)) return failed(10, GENREG_RC_VERIFY_DELETE_MISMATCH, v);
        ++v->changes;
        readOld(v);
        if (v->oldRc == GENREG_RC_NOT_FOUND) return failed(11, GENREG_RC_VERIFY_EXTRA_RECORD, v);
        if (v->oldRc != 0) return failed(12, GENREG_RC_READ_FAILED, v);
        unsigned rc = unpack(v, &v->old, v->oldLength, 13);
        if (rc != 0) return rc;
    } while (!pairEqual(v, v->copy, v->copyLength, v->old, v->oldLength));
    return 0;
}

unsigned comparePairs(Verify* v) {
    while (v->oldRc == 0 && v->copyRc == 0) {
        unsigned rc = 0;
        if (identicalPair(v)) {
            if ((rc = readPair(v)) != 0) return rc;
            continue;
        }
        rc = unpack(v, &v->old, v->oldLength, 20);
        if (rc == 0) rc = unpack(v, &v->copy, v->copyLength, 21);
        if (rc != 0) return rc;
        if (!pairEqual(v, v->old, v->oldLength, v->copy, v->copyLength)) {
            if (v->type == GENREG_TXN_CHANGE) {
                if (!oldMatchesKey(v)) return failed(22, GENREG_RC_VERIFY_KEY_MISMATCH, v);
                if (!copyIsNewRecord(v)) return failed(23, GENREG_RC_VERIFY_WRONG_RECORD, v);
                ++v->changes;
            } else if (v->type == GENREG_TXN_DELETE) {
                if ((rc = skipDeletedRecords(v)) != 0) return rc;
            } else {
                return failed(24, GENREG_RC_VERIFY_UNEXPECTED_CHANGE, v);
            }
            SharedRunAfterChange(&v->run);
        }
        if ((rc = readPair(v)) != 0) return rc;
    }
    return 0;
}

// After the pairs: each file is at its end, or the old file still holds
// the unpaired record just read, or the copy holds records the old file
// lacks.
unsigned checkTails(Verify* v) {
    if (v->oldRc != 0 && v->oldRc != GENREG_RC_NOT_FOUND) {
        ossLogRC(FID_BIN_VERIFY, 30, FID_READ_RECORD, v->oldRc, GENREG_RC_READ_FAILED,
                 OSS_SEVERITY_ERROR, "file=%s", v->handle->filePath);
        return GENREG_RC_READ_FAILED;
    }
    if (v->copyRc != 0 && v->copyRc != GENREG_RC_NOT_FOUND) {
        ossLogRC(FID_BIN_VERIFY, 31, FID_READ_RECORD, v->copyRc, GENREG_RC_VERIFY_READ_COPY_FAILED,
                 OSS_SEVERITY_ERROR, "copy=%s", v->handle->tempPath);
        return GENREG_RC_VERIFY_READ_COPY_FAILED;
    }
    const bool oldAtEnd = v->oldRc == GENREG_RC_NOT_FOUND;
    const bool copyAtEnd = v->copyRc == GENREG_RC_NOT_FOUND;
    unsigned rc = 0;
    switch (v->type) {
        case GENREG_TXN_CHANGE:
            if (!oldAtEnd) return failed(32, GENREG_RC_VERIFY_COPY_SHORT, v);
            // A Change never lengthens the file.
            if (!copyAtEnd) return failed(33, GENREG_RC_VERIFY_EXTRA_RECORD, v);
            return 0;
        case GENREG_TXN_DELETE:
            // Whatever was counted before, a record the old file lacks is
            // never part of a Delete.
            if (oldAtEnd) return copyAtEnd ? 0 : failed(34, GENREG_RC_VERIFY_EXTRA_RECORD, v);
            for (; v->oldRc == 0; readOld(v)) {
                if ((rc = unpack(v, &v->old, v->oldLength, 35)) != 0) return rc;
                if (!oldMatchesKey(v)) return failed(36, GENREG_RC_VERIFY_WRONG_RECORD, v);
                ++v->changes;
            }
            return v->oldRc == GENREG_RC_NOT_FOUND ? 0 : failed(37, GENREG_RC_READ_FAILED, v);
        case GENREG_TXN_ADD:
            if (!oldAtEnd || copyAtEnd) return failed(38, GENREG_RC_VERIFY_NO_ADDED_RECORD, v);
            if ((rc = unpack(v, &v->copy, v->copyLength, 39)) != 0) return rc;
            if (!copyIsNewRecord(v)) return failed(40, GENREG_RC_VERIFY_ADDED_MISMATCH, v);
            ++v->changes;
            readCopy(v);
            if (v->copyRc != GENREG_RC_NOT_FOUND)
                return failed(41, GENREG_RC_VERIFY_TOO_MANY_ADDED, v);
            return 0;
        default:
            return 0;
    }
}

unsigned checkChangeCount(const Verify* v) {
    if (v->changes > 1 && !(v->handle->features & GENREG_FEATURE_DUPLICATES))
        return failed(50, GENREG_RC_VERIFY_DUPLICATES, v);
    if (v->changes == 0) return failed(51, GENREG_RC_VERIFY_NOTHING_CHANGED, v);
    return 0;
}

unsigned freeBuffer(void** buffer, unsigned failRc, uint32_t probe) {
    unsigned memRc = ossMemFree(buffer, GENREG_BIN_UNIT);
    if (memRc == 0) return 0;
    ossLogRC(FID_BIN_VERIFY, probe, 0, memRc, failRc, OSS_SEVERITY_ERROR, "verify buffer");
    return failRc;
}

}  // namespace

unsigned VerifyBinUpdate(GenRegBin* handle, uint64_t type, uint64_t selector, const void* newRecord,
                         const void* key, bool* committed) {
    unsigned rc = 0;
    if (committed != nullptr) *committed = false;
    GENREG_TRACE(FID_BIN_VERIFY, &rc);
    unsigned slotsRc = CheckBinSlots(handle);
    if (slotsRc == 0 && handle->CompareRecord == nullptr) slotsRc = GENREG_RC_NO_COMPARE_SLOT;
    if (slotsRc != 0) {
        rc = GENREG_RC_SLOTS_INCOMPLETE;
        ossLogRC(FID_BIN_VERIFY, 1, FID_CHECK_BIN_SLOTS, slotsRc, rc, OSS_SEVERITY_ERROR, "file=%s",
                 handle->filePath);
        return rc;
    }
    uint64_t max = 0;
    if ((rc = BinMaxRecordSize(handle, FID_BIN_VERIFY, &max)) != 0) return rc;

    Verify v;
    std::memset(&v, 0, sizeof v);
    v.handle = handle;
    v.type = type;
    v.selector = selector;
    v.newRecord = newRecord;
    v.key = key;
    v.packed = (handle->features & GENREG_FEATURE_PACKED) != 0;
    v.max = max;
    if ((rc = BinAllocZeroed(&v.old, max, FID_BIN_VERIFY, GENREG_RC_VERIFY_ALLOC_OLD)) != 0)
        return rc;
    if ((rc = BinAllocZeroed(&v.copy, max, FID_BIN_VERIFY, GENREG_RC_VERIFY_ALLOC_COPY)) != 0) {
        ossMemFree(&v.old, GENREG_BIN_UNIT);
        return rc;
    }
    // The blocks identical pairs are passed in. Like every buffer of the
    // pass, a failed allocation refuses the update.
    void* blocks = nullptr;
    if ((rc = BinAllocRecordBuffer(&blocks, 2 * kSharedRunBlock, 0, FID_BIN_VERIFY)) != 0) {
        ossMemFree(&v.copy, GENREG_BIN_UNIT);
        ossMemFree(&v.old, GENREG_BIN_UNIT);
        return rc;
    }
    v.run.blocks = (char*)blocks;

    unsigned openRc = BeginTransaction(handle, GENREG_TXN_VERIFY);
    if (openRc != 0) {
        rc = GENREG_RC_OPEN_FAILED;
        ossLogRC(FID_BIN_VERIFY, 2, FID_TXN_BEGIN, openRc, rc, OSS_SEVERITY_ERROR, "file=%s",
                 handle->filePath);
        BinCloseLeftovers(handle);
        ossMemFree(&v.run.blocks, GENREG_BIN_UNIT);
        ossMemFree(&v.copy, GENREG_BIN_UNIT);
        ossMemFree(&v.old, GENREG_BIN_UNIT);
        return rc;
    }

    unsigned result = readPair(&v);
    if (result == 0) result = comparePairs(&v);
    if (result == 0) result = checkTails(&v);
    if (result == 0) result = checkChangeCount(&v);

    // Only a copy that passed every check is committed.
    unsigned secondary = 0;
    unsigned endRc = EndTransaction(handle, result == 0 ? GENREG_TXN_VERIFY : GENREG_TXN_READ);
    if (result == 0) endRc = GenRegCommitOutcome(handle, endRc, FID_BIN_VERIFY, 6);
    if (result == 0 && endRc == 0 && committed != nullptr) *committed = true;
    if (endRc != 0) {
        secondary = GENREG_RC_CLOSE_FAILED;
        ossLogRC(FID_BIN_VERIFY, 3, FID_TXN_END, endRc, secondary, OSS_SEVERITY_ERROR, "file=%s",
                 handle->filePath);
        BinCloseLeftovers(handle);
    }
    unsigned freeRc = freeBuffer((void**)&v.run.blocks, GENREG_RC_FREE_FAILED, 8);
    if (freeRc != 0) secondary = freeRc;
    freeRc = freeBuffer(&v.copy, GENREG_RC_VERIFY_FREE_COPY, 4);
    if (freeRc != 0) secondary = freeRc;
    freeRc = freeBuffer(&v.old, GENREG_RC_VERIFY_FREE_OLD, 5);
    if (freeRc != 0) secondary = freeRc;
    return rc = result != 0 ? result : secondary;
}
