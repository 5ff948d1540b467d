// The scan cursor: a registry file kept open, shared-locked, between calls.
//
// States (GENREG_STATE_SCAN_OPEN, GENREG_STATE_SCAN_AT_END):
//   closed --OpenScan--> open --GetNext at end--> open, at end
//   open, at end --Rewind--> open;   any open state --CloseScan--> closed
// While open, stream belongs to the scan and BeginTransaction and
// EndTransaction refuse (GENREG_RC_SCAN_OPEN). A position is the stream's
// 64-bit byte offset; callers treat it as opaque.
#include <genreg/rc.h>

#include "genreg/transaction.h"
#include "genreg/transaction_internal.h"
#include "platform/oss.h"

namespace {

// Position operations need an open scan and a position to work on.
unsigned checkPositionCall(const GenRegFile* handle, const int64_t* position, uint32_t fid) {
    if (!(handle->state & GENREG_STATE_SCAN_OPEN)) {
        ossLog(fid, 1, GENREG_RC_NO_SCAN, OSS_SEVERITY_ERROR, "file=%s", handle->filePath);
        return GENREG_RC_NO_SCAN;
    }
    if (position == nullptr) {
        ossLog(fid, 2, GENREG_RC_NULL_POINTER, OSS_SEVERITY_ERROR, "position=(null)");
        return GENREG_RC_NULL_POINTER;
    }
    return 0;
}

}  // namespace

unsigned GenRegFile::OpenScan() {
    unsigned rc = 0;
    GENREG_TRACE(FID_OPEN_SCAN, &rc);
    if (!(state & GENREG_STATE_PATHS_SET)) {
        rc = GENREG_RC_NOT_INITIALIZED;
        ossLog(FID_OPEN_SCAN, 1, rc, OSS_SEVERITY_ERROR, "paths not set");
        return rc;
    }
    if ((state & GENREG_STATE_SCAN_OPEN) || stream != nullptr) {
        // A second scan, or a transaction's stream, would be lost.
        rc = GENREG_RC_SCAN_OPEN;
        ossLog(FID_OPEN_SCAN, 2, rc, OSS_SEVERITY_ERROR, "file=%s", filePath);
        return rc;
    }
    const bool text = storeKind == GENREG_STORE_TEXT;
    GenRegStreamRequest request = {};
    request.path = filePath;
    request.access = OSS_ACCESS_READ;
    request.lockKind = OSS_LOCK_SHARED;
    request.fdFlags = text ? OSS_FD_TEXT : 0;
    request.mode = text ? "rt" : "rb";
    request.permissions = fileMode ? fileMode : kGenRegDefaultFileMode;
    // Reading never creates the file.
    request.options = OSS_OPEN_EXISTING;
    FILE* opened = nullptr;
    rc = GenRegOpenLockedStream(&request, &opened, FID_OPEN_SCAN);
    if (rc == GENREG_RC_FILE_NOT_FOUND)
        ossLog(FID_OPEN_SCAN, 3, rc, OSS_SEVERITY_ERROR, "file=%s", filePath);
    if (rc != 0) return rc;
    rc = GenRegSeekFirstRecord(this, opened, GENREG_RC_FILE_OPEN_FAILED, FID_OPEN_SCAN);
    if (rc != 0) {
        ossStreamClose(opened);
        return rc;
    }
    stream = opened;
    state = (state & ~GENREG_STATE_SCAN_AT_END) | GENREG_STATE_SCAN_OPEN;
    return rc;
}

unsigned GenRegFile::CloseScan() {
    unsigned rc = 0;
    GENREG_TRACE(FID_CLOSE_SCAN, &rc);
    // Without a scan, stream (if any) belongs to a transaction.
    if ((state & GENREG_STATE_SCAN_OPEN) && stream != nullptr) {
        if (ossStreamClose(stream) != 0) {
            int error = ossLastErrno();
            rc = GENREG_RC_FILE_CLOSE_FAILED;
            ossLog(FID_CLOSE_SCAN, 1, rc, OSS_SEVERITY_ERROR, "errno=%d file=%s", error, filePath);
        }
        stream = nullptr;
    }
    state &= ~(GENREG_STATE_SCAN_OPEN | GENREG_STATE_SCAN_AT_END);
    return rc;
}

unsigned GenRegFile::Rewind() {
    unsigned rc = 0;
    GENREG_TRACE(FID_REWIND, &rc);
    if (!(state & GENREG_STATE_SCAN_OPEN)) {
        rc = GENREG_RC_NO_SCAN;
        ossLog(FID_REWIND, 1, rc, OSS_SEVERITY_ERROR, "file=%s", filePath);
        return rc;
    }
    rc = GenRegSeekFirstRecord(this, stream, GENREG_RC_REWIND_FAILED, FID_REWIND);
    if (rc == 0) state &= ~GENREG_STATE_SCAN_AT_END;
    return rc;
}

unsigned GenRegFile::getRegFilePosition(int64_t* position) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_POSITION, &rc);
    rc = checkPositionCall(this, position, FID_GET_POSITION);
    if (rc != 0) return rc;
    int64_t offset = ossStreamTell(stream);
    if (offset < 0) {
        rc = GENREG_RC_GET_POSITION_FAILED;
        ossLog(FID_GET_POSITION, 3, rc, OSS_SEVERITY_ERROR, "errno=%d file=%s", ossLastErrno(),
               filePath);
        return rc;
    }
    *position = offset;
    return rc;
}

unsigned GenRegFile::setRegFilePosition(const int64_t* position) {
    unsigned rc = 0;
    GENREG_TRACE(FID_SET_POSITION, &rc);
    rc = checkPositionCall(this, position, FID_SET_POSITION);
    if (rc != 0) return rc;
    // The end state stays: a restored position does not undo an exhausted
    // scan; only Rewind does.
    if (*position < 0 || ossStreamSeek(stream, *position, SEEK_SET) != 0) {
        rc = GENREG_RC_SET_POSITION_FAILED;
        ossLog(FID_SET_POSITION, 3, rc, OSS_SEVERITY_ERROR, "errno=%d position=%lld file=%s",
               ossLastErrno(), (long long)*position, filePath);
    }
    return rc;
}
