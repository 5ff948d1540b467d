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

// Reads records from the handle's stream into *work until one matches key.
// A match copies max bytes into result. At end of file result gets max
// zero bytes and the result is endRc. zeroOnUnpackFailure: GetNext also
// zeroes result when a record cannot be unpacked.
unsigned scanForMatch(GenRegBin* handle, uint32_t functionId, uint64_t selector, const void* key,
                      void* result, uint64_t max, void** work, unsigned endRc,
                      bool zeroOnUnpackFailure) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_SCAN, &rc);
    const bool packed = (handle->features & GENREG_FEATURE_PACKED) != 0;
    // Records that certainly do not match are passed over unpacked.
    const BinStoredShortcuts* shortcuts = packed ? BinStoredShortcutsOf(handle) : nullptr;
    for (;;) {
        uint64_t length = 0;
        // max is GetMaxRecordSize, asked once for the whole scan.
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
        if (shortcuts != nullptr && shortcuts->mismatch(selector, *work, length, key)) continue;
        if (packed) {
            if (handle->UnpackRecord == nullptr) {
                rc = GENREG_RC_NO_UNPACK_SLOT;
                ossLog(functionId, 2, rc, OSS_SEVERITY_ERROR, "slot=UnpackRecord");
            } else {
                unsigned unpackRc = BinUnpackStored(handle, work, length);
                if (unpackRc != 0) {
                    rc = GENREG_RC_UNPACK_FAILED;
                    ossLog(functionId, 3, rc, OSS_SEVERITY_ERROR, "unpack=0x%x length=%llu",
                           unpackRc, (unsigned long long)length);
                }
            }
            if (rc != 0) {
                if (zeroOnUnpackFailure) std::memset(result, 0, max);
                return rc;
            }
        }
        if (handle->CompareRecord == nullptr) {
            rc = GENREG_RC_NO_COMPARE_SLOT;
            ossLog(functionId, 4, rc, OSS_SEVERITY_ERROR, "slot=CompareRecord");
            return rc;
        }
        if (handle->CompareRecord(selector, *work, key) == 1) {
            // The result buffer must be able to hold a record of this store.
            const uint64_t kSmallestResult = 8;
            if (max < kSmallestResult) {
                rc = GENREG_RC_RECORD_TOO_LARGE;
                ossLog(functionId, 5, rc, OSS_SEVERITY_ERROR, "max=%llu need=%llu",
                       (unsigned long long)max, (unsigned long long)kSmallestResult);
                return rc;
            }
            std::memcpy(result, *work, max);
            return rc;
        }
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
                                   GENREG_RC_NO_MATCH, false);

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
                      GENREG_RC_NOT_FOUND, true);
    if (rc == GENREG_RC_NOT_FOUND) state |= GENREG_STATE_SCAN_AT_END;

    unsigned memRc = ossMemFree(&work, GENREG_BIN_UNIT);
    if (memRc != 0) {
        ossLogRC(FID_BIN_GET_NEXT, 11, 0, memRc, GENREG_RC_FREE_FAILED, OSS_SEVERITY_ERROR,
                 "buffer=work");
        if (rc == 0) rc = GENREG_RC_FREE_FAILED;
    }
    return rc;
}
