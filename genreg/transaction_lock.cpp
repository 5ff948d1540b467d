// The update lock: an exclusive OS lock on the dot-named lock file beside
// the registry file, held by one updater for a whole update (invariant I1
// in transaction.cpp).
//
// The lock file is created on demand and deleted at release, so a waiter
// can be granted the lock on a file that has lost its name in the meantime
// (the holder released and deleted it) while a newcomer created and locked
// a fresh file under the same name. After every grant the locked file's
// identity is therefore compared with the file the name refers to now; on
// a difference the file is closed and the whole open-and-lock is repeated.
// The holder deletes the name before it unlocks, so once the check passes
// no one but this handle can remove the name.
#include <genreg/rc.h>

#include "genreg/transaction.h"
#include "genreg/transaction_internal.h"
#include "platform/oss.h"

namespace {

// On Windows the name can be refused for a moment while a deleted lock
// file is still open elsewhere, or while another program holds it without
// sharing (OSS_RC_BUSY): both end as soon as the other processes move on,
// so they are retried with a short pause. Bounded, so that a lock file that
// can never be opened still ends in GENREG_RC_LOCK_OPEN_FAILED. A lack of
// permission never passes by itself and fails at once.
const unsigned kOpenRetries = 100;
const unsigned kOpenRetryPauseMs = 10;
// Each lost identity check means another process completed an update, so
// the bound only guards against a file system that never reports stable
// identities.
const unsigned kIdentityRetries = 100000;

struct LockRequest {
    uint32_t kind;      // OSS_LOCK_EXCLUSIVE or OSS_LOCK_SHARED
    uint32_t access;    // OSS_ACCESS_WRITE or OSS_ACCESS_READ
    uint32_t waitMode;  // OSS_LOCK_WAIT or OSS_LOCK_FAIL_AT_ONCE
};

unsigned decodeOptions(unsigned options, LockRequest* request) {
    if (options & GENREG_LOCK_EXCLUSIVE) {
        request->kind = OSS_LOCK_EXCLUSIVE;
        request->access = OSS_ACCESS_WRITE;
    } else if (options & GENREG_LOCK_SHARED) {
        request->kind = OSS_LOCK_SHARED;
        request->access = OSS_ACCESS_READ;
    } else {
        ossLog(FID_ACQUIRE_UPDATE_LOCK, 1, GENREG_RC_BAD_ARGUMENT, OSS_SEVERITY_ERROR,
               "options=0x%x (no lock kind)", options);
        return GENREG_RC_BAD_ARGUMENT;
    }
    if (options & GENREG_LOCK_NOWAIT) {
        request->waitMode = OSS_LOCK_FAIL_AT_ONCE;
    } else if (options & GENREG_LOCK_WAIT) {
        request->waitMode = OSS_LOCK_WAIT;
    } else {
        ossLog(FID_ACQUIRE_UPDATE_LOCK, 2, GENREG_RC_BAD_ARGUMENT, OSS_SEVERITY_ERROR,
               "options=0x%x (no wait mode)", options);
        return GENREG_RC_BAD_ARGUMENT;
    }
    return 0;
}

// Opens the lock file, retrying the short-lived refusals described above.
// The lock file is never opened through a link and must be a regular file:
// a link planted at its name would have an update (often run by an
// administrator) create or lock whatever the link points to, the registry
// file itself included, on which the update would then wait for ever.
unsigned openLockFile(GenRegFile* handle) {
    unsigned ossRc = 0;
    GENREG_TRACE(FID_OPEN_LOCK_FILE, &ossRc);
    for (unsigned attempt = 0; attempt <= kOpenRetries; ++attempt) {
        if (attempt > 0) ossSleepMs(kOpenRetryPauseMs);
        ossRc = handle->lockFile.open(&handle->lockOpenParam);
        if (ossRc != OSS_RC_BUSY) break;
    }
    if (ossRc != 0) {
        unsigned rc = GenRegRefusalCode(ossRc, GENREG_RC_LOCK_OPEN_FAILED);
        ossLogRC(FID_ACQUIRE_UPDATE_LOCK, 7, 0, ossRc, rc, OSS_SEVERITY_ERROR, "%s lock=%s",
                 rc == GENREG_RC_PERMISSION_DENIED  ? "permission denied:"
                 : rc == GENREG_RC_NOT_REGULAR_FILE ? "not a regular file:"
                                                    : "cannot open",
                 handle->lockPath);
        return rc;
    }
    return 0;
}

// True when the open lock file is the file lockPath names now.
bool lockFileStillNamed(const GenRegFile* handle) {
    GENREG_TRACE(FID_LOCK_FILE_STILL_NAMED, nullptr);
    OSSFileIdentity held;
    OSSFileIdentity named;
    if (ossFileIdentityOfHandle(handle->lockFile.getFileHandle(), &held) != 0) return false;
    if (ossFileIdentityOfPath(handle->lockPath, &named) != 0) return false;
    return held.volume == named.volume && held.index == named.index;
}

enum class NameRemoval { kRemoved, kMissing, kInUse, kFailed };

// Removes the lock file's name while this handle still holds the lock
// (I1); *deleteRc is the deletion's result. A name that no longer refers to
// the held file was removed by someone else and is left alone. A shared
// lock may have co-holders: only a holder that can turn it into an
// exclusive one is alone and may remove the name, else the last one does.
// (Turning it gives the shared lock up first, so a refusal leaves no lock,
// which the release is about to drop anyway.)
NameRemoval removeLockName(GenRegFile* handle, unsigned* deleteRc) {
    GENREG_TRACE(FID_REMOVE_LOCK_NAME, deleteRc);
    *deleteRc = 0;
    if (handle->lockOpenParam.access != OSS_ACCESS_WRITE) {
        OSSFileLockParam alone = {OSS_INTERFACE_VERSION, OSS_LOCK_EXCLUSIVE, OSS_LOCK_FAIL_AT_ONCE};
        if (handle->lockFile.lock(&alone) != 0) return NameRemoval::kInUse;
    }
    if (!lockFileStillNamed(handle)) return NameRemoval::kMissing;
    *deleteRc = ossFileDelete(handle->lockPath);
    if (*deleteRc == 0) return NameRemoval::kRemoved;
    return *deleteRc == OSS_RC_FILE_NOT_FOUND ? NameRemoval::kMissing : NameRemoval::kFailed;
}

}  // namespace

unsigned AcquireUpdateLock(GenRegFile* handle, unsigned options) {
    unsigned rc = 0;
    GENREG_TRACE(FID_ACQUIRE_UPDATE_LOCK, &rc);
    LockRequest request;
    rc = decodeOptions(options, &request);
    if (rc != 0) return rc;
    if (!(handle->state & GENREG_STATE_PATHS_SET)) {
        rc = GENREG_RC_NOT_INITIALIZED;
        ossLog(FID_ACQUIRE_UPDATE_LOCK, 3, rc, OSS_SEVERITY_ERROR, "paths not set");
        return rc;
    }
    if (handle->state & GENREG_STATE_LOCK_HELD) {
        rc = GENREG_RC_LOCK_ALREADY_HELD;
        ossLog(FID_ACQUIRE_UPDATE_LOCK, 4, rc, OSS_SEVERITY_ERROR, "lock=%s", handle->lockPath);
        return rc;
    }
    if (options & GENREG_LOCK_CREATE_DIR) {
        rc = GenRegCreateFileDirectory(handle, 2, FID_ACQUIRE_UPDATE_LOCK);
        if (rc != 0) return rc;
    }
    handle->lockOpenParam.version = OSS_INTERFACE_VERSION;
    handle->lockOpenParam.path = handle->lockPath;
    handle->lockOpenParam.disposition = 2;
    handle->lockOpenParam.access = request.access;
    handle->lockOpenParam.options = OSS_OPEN_NO_LINK;
    handle->lockOpenParam.permissions =
        handle->lockFileMode ? handle->lockFileMode : kGenRegDefaultFileMode;
    OSSFileLockParam lock = {OSS_INTERFACE_VERSION, request.kind, request.waitMode};
    for (unsigned attempt = 0;; ++attempt) {
        rc = openLockFile(handle);
        if (rc != 0) return rc;
        unsigned ossRc = handle->lockFile.lock(&lock);
        if (ossRc != 0) {
            handle->lockFile.close();
            if (request.waitMode == OSS_LOCK_FAIL_AT_ONCE && ossRc == OSS_RC_LOCK_NOT_AVAILABLE) {
                rc = GENREG_RC_LOCKED;
                ossLogRC(FID_ACQUIRE_UPDATE_LOCK, 8, 0, ossRc, rc, OSS_SEVERITY_ERROR, "lock=%s",
                         handle->lockPath);
            } else {
                rc = ossRc;
                ossLogRC(FID_ACQUIRE_UPDATE_LOCK, 9, 0, ossRc, rc, OSS_SEVERITY_ERROR,
                         "lock=%s kind=%u wait=%u", handle->lockPath, request.kind,
                         request.waitMode);
            }
            return rc;
        }
        if (lockFileStillNamed(handle)) break;
        // Granted on a file that lost its name (I1): start over.
        handle->lockFile.close();
        if (attempt == kIdentityRetries) {
            rc = GENREG_RC_LOCK_OPEN_FAILED;
            ossLog(FID_ACQUIRE_UPDATE_LOCK, 10, rc, OSS_SEVERITY_ERROR,
                   "lock=%s identity never settled", handle->lockPath);
            return rc;
        }
    }
    handle->state |= GENREG_STATE_LOCK_HELD;
    return rc;
}

unsigned ReleaseUpdateLock(GenRegFile* handle) {
    unsigned rc = 0;
    GENREG_TRACE(FID_RELEASE_UPDATE_LOCK, &rc);
    if (!(handle->state & GENREG_STATE_LOCK_HELD)) {
        // Without the lock, the lock file belongs to someone else: deleting
        // it would let a third process in beside its holder.
        rc = GENREG_RC_UNLOCK_FILE_FAILED;
        ossLog(FID_RELEASE_UPDATE_LOCK, 1, rc, OSS_SEVERITY_ERROR, "lock not held: %s",
               handle->lockPath);
        return rc;
    }
    unsigned deleteRc = 0;
    NameRemoval removal = removeLockName(handle, &deleteRc);
    unsigned ossRc = handle->lockFile.unlock();
    if (ossRc != 0) {
        // Closing the lock file ends its lock too: the handle never keeps
        // a lock that its holder failed to give up.
        rc = GENREG_RC_UNLOCK_FILE_FAILED;
        ossLogRC(FID_RELEASE_UPDATE_LOCK, 2, 0, ossRc, rc, OSS_SEVERITY_ERROR, "lock=%s",
                 handle->lockPath);
        handle->lockFile.close();
        handle->state &= ~GENREG_STATE_LOCK_HELD;
        return rc;
    }
    handle->state &= ~GENREG_STATE_LOCK_HELD;
    ossRc = handle->lockFile.close();
    if (ossRc != 0) {
        rc = GENREG_RC_LOCK_CLOSE_FAILED;
        ossLogRC(FID_RELEASE_UPDATE_LOCK, 3, 0, ossRc, rc, OSS_SEVERITY_ERROR, "lock=%s",
                 handle->lockPath);
        return rc;
    }
    switch (removal) {
        case NameRemoval::kRemoved:
        case NameRemoval::kInUse:
            break;
        case NameRemoval::kMissing:
            ossLog(FID_RELEASE_UPDATE_LOCK, 4, GENREG_RC_LOCK_FILE_MISSING, OSS_SEVERITY_ERROR,
                   "lock=%s", handle->lockPath);
            break;
        case NameRemoval::kFailed:
            rc = GENREG_RC_LOCK_DELETE_FAILED;
            ossLogRC(FID_RELEASE_UPDATE_LOCK, 5, 0, deleteRc, rc, OSS_SEVERITY_ERROR, "lock=%s",
                     handle->lockPath);
            break;
    }
    return rc;
}
