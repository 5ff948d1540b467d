// EndTransaction: closes a transaction's streams and, for an update that is
// ready, swaps the copy in with a backup kept for the moment of the swap
// (invariants I2 to I5, I7 and I8 in transaction.cpp).
#include <genreg/rc.h>

#include "genreg/transaction.h"
#include "genreg/transaction_internal.h"
#include "platform/oss.h"

namespace {

bool writesCopy(unsigned type) {
    return type == GENREG_TXN_CHANGE || type == GENREG_TXN_ADD || type == GENREG_TXN_DELETE;
}

// Whether ending a transaction of this type commits its copy.
bool commitsCopy(const GenRegFile* handle, unsigned type) {
    if (handle->features & GENREG_FEATURE_VERIFY) return type == GENREG_TXN_VERIFY;
    if (type == GENREG_TXN_ADD) return !GenRegAppendsInPlace(handle);
    return type == GENREG_TXN_CHANGE || type == GENREG_TXN_DELETE;
}

unsigned closeFileStream(GenRegFile* handle, unsigned type) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CLOSE_FILE_STREAM, &rc);
    // Appended records must be on stable storage before the file lock ends
    // (I7).
    bool synced = true;
    int error = 0;
    if (type == GENREG_TXN_ADD && GenRegAppendsInPlace(handle) &&
        ossStreamSync(handle->stream) != 0) {
        synced = false;
        error = ossLastErrno();
    }
    if (ossStreamClose(handle->stream) != 0 && synced) {
        synced = false;
        error = ossLastErrno();
    }
    handle->stream = nullptr;
    if (!synced) {
        rc = GENREG_RC_FILE_CLOSE_FAILED;
        ossLogRC(FID_END_TRANSACTION, 2, 0,
                 ossErrorMapSystem(FID_END_TRANSACTION, 2, 0, (uint32_t)error, 0), rc,
                 OSS_SEVERITY_ERROR, "errno=%d file=%s", error, handle->filePath);
    }
    return rc;
}

unsigned closeCopy(GenRegFile* handle, unsigned type) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CLOSE_COPY, &rc);
    if (GenRegIsChecksummed(handle) && writesCopy(type)) {
        bool wroteHeader = false;
        rc = GenRegWriteChecksumHeader(handle, &wroteHeader);
        // tempStream stays open for teardown or the caller's abandon.
        if (rc != 0) return rc;
    }
    // A copy that will replace the file must be durable first (I4).
    bool closed = true;
    int error = 0;
    if (writesCopy(type) && ossStreamSync(handle->tempStream) != 0) {
        closed = false;
        error = ossLastErrno();
    }
    if (ossStreamClose(handle->tempStream) != 0 && closed) {
        closed = false;
        error = ossLastErrno();
    }
    handle->tempStream = nullptr;
    if (!closed) {
        rc = GENREG_RC_TEMP_CLOSE_FAILED;
        ossLogRC(FID_END_TRANSACTION, 3, 0,
                 ossErrorMapSystem(FID_END_TRANSACTION, 3, 0, (uint32_t)error, 0), rc,
                 OSS_SEVERITY_ERROR, "errno=%d temp=%s", error, handle->tempPath);
    }
    return rc;
}

// Replaces the registry file by the copy; the file keeps its name at every
// instant (I2) and the previous content is kept as the backup until the
// copy is in place (I5).
unsigned swapInCopy(GenRegFile* handle) {
    unsigned rc = 0;
    GENREG_TRACE(FID_SWAP_IN_COPY, &rc);
    // A stale backup would make the new one fail; its loss is harmless,
    // since the file itself is whole (I3).
    ossFileDelete(handle->backupPath);
    bool backupMade = false;
    unsigned ossRc =
        ossFileReplace(handle->tempPath, handle->filePath, handle->backupPath, &backupMade);
    if (ossRc != 0) {
        int error = ossLastErrno();
        // Either way the file still holds its old content (I2). A failed
        // move removes the backup it made, so both steps leave the same
        // traces; the step is told by its likely cause: a copy that is gone
        // cannot be moved in, anything else counts against the backup (its
        // name blocked, the link refused). The platform's own log entry
        // names the call that failed.
        OSSPathKind copy = OSS_PATH_FILE;
        ossPathKindOf(handle->tempPath, &copy);
        rc = backupMade || copy == OSS_PATH_ABSENT ? GENREG_RC_TEMP_RENAME_FAILED
                                                   : GENREG_RC_BACKUP_RENAME_FAILED;
        ossLogRC(FID_END_TRANSACTION, 4, 0, ossRc, rc, OSS_SEVERITY_ERROR,
                 "errno=%d temp=%s file=%s backup=%s", error, handle->tempPath, handle->filePath,
                 handle->backupPath);
        return rc;
    }
    // The rename stands either way; a failed flush only weakens what a
    // power loss keeps, so it is logged and the commit reported done.
    ossRc = ossSyncDirectoryOf(handle->filePath);
    if (ossRc != 0)
        ossLogRC(FID_END_TRANSACTION, 5, 0, ossRc, ossRc, OSS_SEVERITY_ERROR, "file=%s",
                 handle->filePath);
    if (GenRegIsChecksummed(handle)) handle->headerPending = 0;
    ossRc = ossFileDelete(handle->backupPath);
    if (ossRc != 0 && ossRc != OSS_RC_FILE_NOT_FOUND) {
        rc = GENREG_RC_BACKUP_DELETE_FAILED;
        ossLogRC(FID_END_TRANSACTION, 6, 0, ossRc, rc, OSS_SEVERITY_ERROR, "backup=%s",
                 handle->backupPath);
    }
    return rc;
}

// Whether ending a transaction of this type leaves the copy for the
// verification pass that follows.
bool keepsCopyForVerification(const GenRegFile* handle, unsigned type) {
    return (handle->features & GENREG_FEATURE_VERIFY) && writesCopy(type);
}

// Removes the copy of an update that will not commit it: a refused or
// failed update leaves nothing behind, so a marker only ever records an
// update that was really interrupted (killed, or unable to remove its copy
// as here).
void discardCopy(const GenRegFile* handle) {
    GENREG_TRACE(FID_DISCARD_COPY, nullptr);
    unsigned ossRc = ossFileDelete(handle->tempPath);
    if (ossRc != 0 && ossRc != OSS_RC_FILE_NOT_FOUND)
        ossLogRC(FID_END_TRANSACTION, 7, 0, ossRc, GENREG_RC_TEMP_DELETE_FAILED, OSS_SEVERITY_ERROR,
                 "temp=%s", handle->tempPath);
}

}  // namespace

unsigned EndTransaction(GenRegFile* handle, unsigned type) {
    unsigned rc = 0;
    GENREG_TRACE(FID_END_TRANSACTION, &rc);
    if (handle->state & GENREG_STATE_SCAN_OPEN) {
        rc = GENREG_RC_SCAN_OPEN;
        ossLog(FID_END_TRANSACTION, 1, rc, OSS_SEVERITY_ERROR, "type=%u file=%s", type,
               handle->filePath);
        return rc;
    }
    // Only a copy this transaction holds can be committed: a begin that
    // failed before its copy existed must not swap in whatever lies there.
    const bool holdsCopy = handle->tempStream != nullptr;
    if (handle->stream) {
        rc = closeFileStream(handle, type);
        if (rc != 0) return rc;
    }
    if (handle->tempStream) {
        rc = closeCopy(handle, type);
        if (rc != 0) {
            // A copy that was closed but not made durable is no good for a
            // commit; one still open is the caller's to abandon.
            if (handle->tempStream == nullptr) discardCopy(handle);
            return rc;
        }
    }
    if (!holdsCopy) return rc;
    if (commitsCopy(handle, type)) {
        rc = swapInCopy(handle);
        // A swap that failed left the file as it was (I2).
        if (rc == GENREG_RC_TEMP_RENAME_FAILED || rc == GENREG_RC_BACKUP_RENAME_FAILED)
            discardCopy(handle);
    } else if (!keepsCopyForVerification(handle, type)) {
        discardCopy(handle);
    }
    return rc;
}

unsigned GenRegCommitOutcome(const GenRegFile* handle, unsigned endRc, uint32_t functionId,
                             uint32_t probe) {
    if (endRc != GENREG_RC_BACKUP_DELETE_FAILED) return endRc;
    // Reporting a failure here would tell the caller that nothing was
    // committed while the new content is in place; a caller who then
    // repeats an Add would add its record twice.
    ossLog(functionId, probe, endRc, OSS_SEVERITY_WARNING,
           "update committed; backup left behind backup=%s file=%s", handle->backupPath,
           handle->filePath);
    return 0;
}
