// BeginTransaction: opens the registry file for one transaction, sets aside
// the copy of an interrupted update and creates the fresh copy an update
// writes (invariants I4, I6 and I8 in transaction.cpp).
#include <genreg/rc.h>

#include "genreg/transaction.h"
#include "genreg/transaction_internal.h"
#include "platform/oss.h"

namespace {

bool isKnownType(unsigned type) {
    return type == GENREG_TXN_READ || type == GENREG_TXN_CHANGE || type == GENREG_TXN_ADD ||
           type == GENREG_TXN_DELETE || type == GENREG_TXN_VERIFY;
}

// Deletes the old marker and renames a left-over copy to the marker (I6).
// A copy that cannot be renamed is only logged here: it keeps its name, so
// the exclusive creation of the new copy refuses it and fails the update.
unsigned recoverLeftOver(const GenRegFile* handle) {
    unsigned rc = 0;
    GENREG_TRACE(FID_RECOVER_LEFT_OVER, &rc);
    unsigned ossRc = ossFileDelete(handle->corruptPath);
    if (ossRc != 0 && ossRc != OSS_RC_FILE_NOT_FOUND) {
        rc = GENREG_RC_MARKER_DELETE_FAILED;
        ossLogRC(FID_BEGIN_TRANSACTION, 7, 0, ossRc, rc, OSS_SEVERITY_ERROR, "marker=%s",
                 handle->corruptPath);
        return rc;
    }
    // The name itself counts, whatever it is: a dangling link there is a
    // left-over too, and only setting it aside frees the name for the
    // exclusive creation of the copy.
    OSSPathKind kind = OSS_PATH_ABSENT;
    ossRc = ossPathKindOf(handle->tempPath, &kind);
    if (ossRc != 0) {
        rc = GENREG_RC_MARKER_RENAME_FAILED;
        ossLogRC(FID_BEGIN_TRANSACTION, 12, 0, ossRc, rc, OSS_SEVERITY_ERROR,
                 "cannot tell whether temp=%s exists", handle->tempPath);
        return rc;
    }
    if (kind == OSS_PATH_ABSENT) return rc;
    ossRc = ossFileRename(handle->tempPath, handle->corruptPath);
    if (ossRc != 0)
        ossLogRC(FID_BEGIN_TRANSACTION, 8, 0, ossRc, GENREG_RC_MARKER_RENAME_FAILED,
                 OSS_SEVERITY_ERROR, "temp=%s marker=%s", handle->tempPath, handle->corruptPath);
    return rc;
}

// Opens the copy: created exclusively for an update (I4), the existing
// copy for the verification pass. A new copy gets the registry file's
// owner, group and permissions, read from the open file.
unsigned openCopy(GenRegFile* handle, unsigned type) {
    unsigned rc = 0;
    GENREG_TRACE(FID_OPEN_COPY, &rc);
    const bool text = handle->storeKind == GENREG_STORE_TEXT;
    const char* mode;
    if (type == GENREG_TXN_VERIFY) {
        mode = text ? "rt" : "rb";
        handle->tempStream = ossStreamOpen(handle->tempPath, mode);
    } else {
        // A checksummed copy is read back at the commit to checksum it (I8).
        mode = GenRegIsChecksummed(handle) ? "w+b" : (text ? "wt" : "wb");
        handle->tempStream = ossStreamCreateExclusive(handle->tempPath, mode);
    }
    if (handle->tempStream == nullptr) {
        int error = ossLastErrno();
        rc = GENREG_RC_TEMP_OPEN_FAILED;
        ossLogRC(FID_BEGIN_TRANSACTION, 10, 0,
                 ossErrorMapSystem(FID_BEGIN_TRANSACTION, 10, 0, (uint32_t)error, 0), rc,
                 OSS_SEVERITY_ERROR, "errno=%d temp=%s mode=%s", error, handle->tempPath, mode);
        return rc;
    }
    // A new copy belongs to whoever runs the update; it gets the owner and
    // group of the open registry file, then its permission bits (which a
    // change of owner may clear), or the update is refused. Both are read
    // from the open file, so a name changed meanwhile cannot choose them.
    // The copy the verification pass reopens already has them.
    if (type != GENREG_TXN_VERIFY) {
        unsigned ossRc = ossStreamCopyOwner(handle->stream, handle->tempStream);
        if (ossRc != 0) {
            rc = GENREG_RC_TEMP_MODE_FAILED;
            ossLogRC(FID_BEGIN_TRANSACTION, 13, 0, ossRc, rc, OSS_SEVERITY_ERROR,
                     "owner of file=%s not given to temp=%s", handle->filePath, handle->tempPath);
            return rc;
        }
        ossRc = ossStreamCopyPermissions(handle->stream, handle->tempStream);
        if (ossRc != 0) {
            rc = GENREG_RC_TEMP_MODE_FAILED;
            ossLogRC(FID_BEGIN_TRANSACTION, 11, 0, ossRc, rc, OSS_SEVERITY_ERROR,
                     "permissions of file=%s not given to temp=%s", handle->filePath,
                     handle->tempPath);
            return rc;
        }
    }
    if (type == GENREG_TXN_VERIFY)
        rc = GenRegSeekFirstRecord(handle, handle->tempStream, GENREG_RC_READ_FAILED,
                                   FID_BEGIN_TRANSACTION);
    return rc;
}

}  // namespace

unsigned BeginTransaction(GenRegFile* handle, unsigned type) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BEGIN_TRANSACTION, &rc);
    if (handle->state & GENREG_STATE_SCAN_OPEN) {
        rc = GENREG_RC_SCAN_OPEN;
        ossLog(FID_BEGIN_TRANSACTION, 1, rc, OSS_SEVERITY_ERROR, "type=%u file=%s", type,
               handle->filePath);
        return rc;
    }
    if (!(handle->state & GENREG_STATE_PATHS_SET)) {
        rc = GENREG_RC_NOT_INITIALIZED;
        ossLog(FID_BEGIN_TRANSACTION, 2, rc, OSS_SEVERITY_ERROR, "type=%u paths not set", type);
        return rc;
    }
    if (!isKnownType(type) || handle->stream || handle->tempStream) {
        // An open transaction's streams would be lost by a second begin.
        rc = GENREG_RC_BAD_ARGUMENT;
        ossLog(FID_BEGIN_TRANSACTION, 3, rc, OSS_SEVERITY_ERROR, "type=%u open=%d,%d file=%s", type,
               handle->stream != nullptr, handle->tempStream != nullptr, handle->filePath);
        return rc;
    }
    const bool text = handle->storeKind == GENREG_STORE_TEXT;
    GenRegStreamRequest request = {};
    request.path = handle->filePath;
    request.access = OSS_ACCESS_READ;
    request.lockKind = g_bIsPlatformID_Win32On95 ? OSS_LOCK_EXCLUSIVE : OSS_LOCK_SHARED;
    request.fdFlags = text ? OSS_FD_TEXT : 0;
    request.mode = text ? "rt" : "rb";
    request.permissions = handle->fileMode ? handle->fileMode : kGenRegDefaultFileMode;
    // Only an Add creates the file; every other open takes an existing
    // file, so a file removed meanwhile is never recreated by a lookup.
    request.options = OSS_OPEN_EXISTING;
    bool appendInPlace = false;
    if (type == GENREG_TXN_ADD) {
        appendInPlace = GenRegAppendsInPlace(handle);
        OSSPathKind kind = OSS_PATH_ABSENT;
        unsigned ossRc = ossPathKindOf(handle->filePath, &kind);
        if (ossRc != 0) {
            rc = GenRegRefusalCode(ossRc, GENREG_RC_FILE_OPEN_FAILED);
            ossLogRC(FID_BEGIN_TRANSACTION, 14, 0, ossRc, rc, OSS_SEVERITY_ERROR,
                     "cannot tell whether file=%s exists", handle->filePath);
            return rc;
        }
        if (kind == OSS_PATH_ABSENT || appendInPlace) {
            request.lockKind = OSS_LOCK_EXCLUSIVE;
            request.access = OSS_ACCESS_APPEND;
            request.mode = text ? "at" : "ab";
            request.fdFlags |= OSS_FD_APPEND;
            request.options = 0;
        }
        rc = GenRegCreateFileDirectory(handle, 1, FID_BEGIN_TRANSACTION);
        if (rc != 0) return rc;
    }
    rc = GenRegOpenLockedStream(&request, &handle->stream, FID_BEGIN_TRANSACTION);
    if (rc == GENREG_RC_FILE_NOT_FOUND)
        ossLog(FID_BEGIN_TRANSACTION, 4, rc, OSS_SEVERITY_ERROR, "type=%u file=%s", type,
               handle->filePath);
    if (rc != 0) return rc;
    if (GenRegIsChecksummed(handle)) {
        if (handle->headerPending == 0)
            rc = GenRegVerifyChecksumHeader(handle);
        else
            rc = GenRegSeekFirstRecord(handle, handle->stream, GENREG_RC_READ_FAILED,
                                       FID_BEGIN_TRANSACTION);
        if (rc != 0) return rc;
    }
    if (type == GENREG_TXN_READ || appendInPlace) return rc;
    if (type != GENREG_TXN_VERIFY) {
        rc = recoverLeftOver(handle);
        if (rc != 0) return rc;
    }
    rc = openCopy(handle, type);
    return rc;
}
