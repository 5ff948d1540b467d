// Lookup in a binary record file: Get (first match, one read transaction or
// a borrowed scan) and GetNext (next match of the caller's open scan). Both
// only read; the schema's CompareRecord decides what matches.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/bin_store.h"
#include "genreg/binfile.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

// Bytes read at once while a lookup reads records in blocks; on the stack,
// so kept small.
const size_t kScanBlockSize = 4096;

// One scan for a record matching key: its arguments and the buffers the
// records are examined in.
struct Scan {
    GenRegBin* handle;
    uint32_t functionId;
    uint64_t selector;
    const void* key;
    void* result;
    uint64_t max;  // GetMaxRecordSize, asked once for the whole scan
    void** work;
    bool zeroOnUnpackFailure;
    bool packed;
    // The schema's test on stored bytes: records that certainly do not
    // match are passed over unpacked. Null when the handle has none.
    const BinStoredShortcuts* shortcuts;
};

// Examines the record of length bytes in *work: 1 when it matches key (the
// result holds it), 0 to go on with the next record, -1 on a failure (*rc,
// logged).
int examineRecord(const Scan* s, uint64_t length, unsigned* rc) {
    GenRegBin* handle = s->handle;
    const uint32_t functionId = s->functionId;
    if (s->shortcuts != nullptr && s->shortcuts->mismatch(s->selector, *s->work, length, s->key))
        return 0;
    if (s->packed) {
        if (handle->UnpackRecord == nullptr) {
            *rc = GENREG_RC_NO_UNPACK_SLOT;
            ossLog(functionId, 2, *rc, OSS_SEVERITY_ERROR, "slot=UnpackRecord");
        } else {
            unsigned unpackRc = BinUnpackStored(handle, s->work, length);
            if (unpackRc != 0) {
                *rc = GENREG_RC_UNPACK_FAILED;
                ossLog(functionId, 3, *rc, OSS_SEVERITY_ERROR, "unpack=0x%x length=%llu", unpackRc,
                       (unsigned long long)length);
            }
        }
        if (*rc != 0) {
            if (s->zeroOnUnpackFailure) std::memset(s->result, 0, s->max);
            return -1;
        }
    }
    if (handle->CompareRecord == nullptr) {
        *rc = GENREG_RC_NO_COMPARE_SLOT;
        ossLog(functionId, 4, *rc, OSS_SEVERITY_ERROR, "slot=CompareRecord");
        return -1;
    }
    if (handle->CompareRecord(s->selector, *s->work, s->key) != 1) return 0;
    // The result buffer must be able to hold a record of this store.
    const uint64_t kSmallestResult = 8;
    if (s->max < kSmallestResult) {
        *rc = GENREG_RC_RECORD_TOO_LARGE;
        ossLog(functionId, 5, *rc, OSS_SEVERITY_ERROR, "max=%llu need=%llu",
               (unsigned long long)s->max, (unsigned long long)kSmallestResult);
        return -1;
    }
    std::memcpy(s->result, *s->work, s->max);
    return 1;
}

// The records from the stream's position, read in blocks of bytes instead
// of one by one, for as long as they are whole records that the record
// reads would read at once (a length from 1 to max, the body complete):
// each is examined from a copy in *work, as a record read would leave it.
// The first record that is not - the file's end, a damaged or a long
// record - is left to the record reads: the stream is put back at its
// start. A block read that fails reads nothing more; the record read finds
// the failure (its error indicator stays). The stream's position after a
// match is of no use to a lookup (it closes the file or puts back a
// borrowed scan), so it is left where the blocks ended. As examineRecord,
// and -1 with GENREG_RC_READ_FAILED (logged) when the stream cannot be put
// back.
int examineInBlocks(const Scan* s, unsigned* rc) {
    FILE* stream = s->handle->stream;
    unsigned char block[kScanBlockSize];
    size_t kept = 0;  // bytes of an unfinished record carried to the front of the block
    for (;;) {
        const size_t room = kScanBlockSize - kept;
        const size_t got = ossStreamRead(block + kept, 1, room, stream);
        const size_t held = kept + got;
        size_t offset = 0;
        uint64_t length = 0;
        for (size_t size; (size = WholeRecordAt(s->handle, block + offset, held - offset, s->max,
                                                &length)) != 0;) {
            std::memcpy(*s->work, block + offset + size - length, (size_t)length);
            offset += size;
            const int verdict = examineRecord(s, length, rc);
            if (verdict != 0) return verdict;
        }
        kept = held - offset;
        if (got != room || offset == 0) break;
        std::memmove(block, block + offset, kept);
    }
    const int64_t end = ossStreamTell(stream);
    if (end < 0 || ossStreamSeek(stream, end - (int64_t)kept, SEEK_SET) != 0) {
        *rc = GENREG_RC_READ_FAILED;
        ossLog(s->functionId, 12, *rc, OSS_SEVERITY_ERROR, "position=%lld file=%s", (long long)end,
               s->handle->filePath);
        return -1;
    }
    return 0;
}

// Reads records from the handle's stream into *work until one matches key.
// A match copies max bytes into result. At end of file result gets max
// zero bytes and the result is endRc. zeroOnUnpackFailure: GetNext also
// zeroes result when a record cannot be unpacked. inBlocks: a store with a
// test on stored bytes reads the records in blocks first (Get; a GetNext
// returns after a record or a few, too soon for a block to pay).
unsigned scanForMatch(GenRegBin* handle, uint32_t functionId, uint64_t selector, const void* key,
                      void* result, uint64_t max, void** work, unsigned endRc,
                      bool zeroOnUnpackFailure, bool inBlocks) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_SCAN, &rc);
    Scan s = {handle,
              functionId,
              selector,
              key,
              result,
              max,
              work,
              zeroOnUnpackFailure,
              (handle->features & GENREG_FEATURE_PACKED) != 0,
              nullptr};
    if (s.packed) s.shortcuts = BinStoredShortcutsOf(handle);
    if (inBlocks && s.shortcuts != nullptr) {
        const int verdict = examineInBlocks(&s, &rc);
        if (verdict != 0) return rc;
    }
    for (;;) {
        uint64_t length = 0;
        unsigned readRc = ReadRecordInto(handle, handle->stream, work, max, &length);
        if (readRc == GENREG_RC_NOT_FOUND) {
            std::memset(result, 0, max);
            return rc = endRc;
        }
        if (readRc != 0) {
            rc = GENREG_RC_READ_FAILED;
            ossLogRC(functionId, 1, FID_READ_RECORD, readRc, rc, OSS_SEVERITY_ERROR, "file=%s",
                     handle->filePath);
            return rc;
        }
        if (examineRecord(&s, length, &rc) != 0) return rc;
    }
}

// The caller's pointers: a null one is refused before anything else.
unsigned checkArguments(uint32_t functionId, const void* key, const void* result) {
    if (key != nullptr && result != nullptr) return 0;
    ossLog(functionId, 6, GENREG_RC_NULL_ARGUMENT, OSS_SEVERITY_ERROR, "key=%p result=%p", key,
           result);
    return GENREG_RC_NULL_ARGUMENT;
}

}  // namespace

unsigned GenRegBin::Get(uint64_t selector, void* key, void* result) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_GET, &rc);
    if ((rc = checkArguments(FID_BIN_GET, key, result)) != 0) return rc;
    if ((rc = BinValidate(this, FID_BIN_GET, selector, key)) != 0) return rc;
    uint64_t max = 0;
    if ((rc = BinMaxRecordSize(this, FID_BIN_GET, &max)) != 0) return rc;
    void* work = nullptr;
    if ((rc = BinAllocZeroed(&work, max, FID_BIN_GET, 0)) != 0) return rc;

    // Borrowing the caller's scan: search from its start, then put the
    // cursor back where the caller left it.
    const bool borrowScan =
        (state & GENREG_STATE_SCAN_OPEN) && (features & GENREG_FEATURE_GET_IN_SCAN);
    int64_t savedPosition = 0;
    if (borrowScan) {
        getRegFilePosition(&savedPosition);
        Rewind();
    } else {
        unsigned openRc = BeginTransaction(this, GENREG_TXN_READ);
        if (openRc != 0) {
            rc = openRc == GENREG_RC_FILE_NOT_FOUND || GenRegIsTellingFailure(openRc)
                     ? openRc
                     : GENREG_RC_OPEN_FAILED;
            ossLogRC(FID_BIN_GET, 7, FID_TXN_BEGIN, openRc, rc, OSS_SEVERITY_ERROR, "file=%s",
                     filePath);
            BinCloseLeftovers(this);
            ossMemFree(&work, GENREG_BIN_UNIT);
            return rc;
        }
    }

    unsigned scanRc = scanForMatch(this, FID_BIN_GET, selector, key, result, max, &work,
                                   GENREG_RC_NO_MATCH, false, true);

    unsigned closeRc = 0;
    if (borrowScan) {
        setRegFilePosition(&savedPosition);
    } else {
        unsigned endRc = EndTransaction(this, GENREG_TXN_READ);
        if (endRc != 0) {
            closeRc = GENREG_RC_CLOSE_FAILED;
            ossLogRC(FID_BIN_GET, 8, FID_TXN_END, endRc, closeRc, OSS_SEVERITY_ERROR, "file=%s",
                     filePath);
            BinCloseLeftovers(this);
        }
    }
    unsigned freeRc = 0;
    unsigned memRc = ossMemFree(&work, GENREG_BIN_UNIT);
    if (memRc != 0) {
        freeRc = GENREG_RC_FREE_FAILED;
        ossLogRC(FID_BIN_GET, 9, 0, memRc, freeRc, OSS_SEVERITY_ERROR, "buffer=work");
    }
    rc = scanRc != 0 ? scanRc : freeRc != 0 ? freeRc : closeRc;
    return rc;
}

unsigned GenRegBin::GetNext(uint64_t selector, void* key, void* result) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_GET_NEXT, &rc);
    if ((rc = checkArguments(FID_BIN_GET_NEXT, key, result)) != 0) return rc;
    if (!(state & GENREG_STATE_SCAN_OPEN)) {
        rc = GENREG_RC_NO_SCAN;
        ossLog(FID_BIN_GET_NEXT, 10, rc, OSS_SEVERITY_ERROR, "file=%s", filePath);
        return rc;
    }
    if ((rc = BinValidate(this, FID_BIN_GET_NEXT, selector, key)) != 0) return rc;
    // The end of a scan is sticky until Rewind or CloseScan.
    if (state & GENREG_STATE_SCAN_AT_END) return rc = GENREG_RC_NOT_FOUND;
    uint64_t max = 0;
    if ((rc = BinMaxRecordSize(this, FID_BIN_GET_NEXT, &max)) != 0) return rc;
    void* work = nullptr;
    if ((rc = BinAllocZeroed(&work, max, FID_BIN_GET_NEXT, 0)) != 0) return rc;

    rc = scanForMatch(this, FID_BIN_GET_NEXT, selector, key, result, max, &work,
                      GENREG_RC_NOT_FOUND, true, false);
    if (rc == GENREG_RC_NOT_FOUND) state |= GENREG_STATE_SCAN_AT_END;

    unsigned memRc = ossMemFree(&work, GENREG_BIN_UNIT);
    if (memRc != 0) {
        ossLogRC(FID_BIN_GET_NEXT, 11, 0, memRc, GENREG_RC_FREE_FAILED, OSS_SEVERITY_ERROR,
                 "buffer=work");
        if (rc == 0) rc = GENREG_RC_FREE_FAILED;
    }
    return rc;
}
