// The update hold (GenRegFile::LockForUpdate, UnlockForUpdate): the update
// lock kept for the caller across several operations of one handle, and
// the two calls through which the stores' updates take and release the
// lock so that they run under such a hold instead of taking it again.
#include <genreg/handle.h>
#include <genreg/rc.h>

#include "genreg/trace.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_LOCK_FOR_UPDATE = GENREG_FID(0x0038),
    FID_UNLOCK_FOR_UPDATE = GENREG_FID(0x0039),
};

// A bounded wait asks again and again without waiting, pausing in between:
// short pauses first, so that a lock given up at once is taken at once,
// then longer ones, so that a long wait costs little.
const unsigned kFirstPauseMs = 2;
const unsigned kLongestPauseMs = 50;

// The update lock as every store update takes it, plus the creation of the
// directory that Add would do, since the lock file lives there.
const unsigned kHoldOptions = GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_CREATE_DIR;

unsigned acquireWithin(GenRegFile* handle, uint32_t waitMilliseconds) {
    const uint64_t start = ossMonotonicMs();
    unsigned pause = kFirstPauseMs;
    for (;;) {
        unsigned rc = AcquireUpdateLock(handle, kHoldOptions | GENREG_LOCK_NOWAIT);
        if (rc != GENREG_RC_LOCKED) return rc;
        const uint64_t waited = ossMonotonicMs() - start;
        if (waited >= waitMilliseconds) return rc;
        const uint64_t left = waitMilliseconds - waited;
        ossSleepMs(left < pause ? (unsigned)left : pause);
        pause = pause * 2 < kLongestPauseMs ? pause * 2 : kLongestPauseMs;
    }
}

}  // namespace

unsigned GenRegFile::LockForUpdate(uint32_t waitMilliseconds) {
    unsigned rc = 0;
    GENREG_TRACE(FID_LOCK_FOR_UPDATE, &rc);
    if (waitMilliseconds == GENREG_WAIT_FOREVER)
        rc = AcquireUpdateLock(this, kHoldOptions | GENREG_LOCK_WAIT);
    else if (waitMilliseconds == GENREG_WAIT_NONE)
        rc = AcquireUpdateLock(this, kHoldOptions | GENREG_LOCK_NOWAIT);
    else
        rc = acquireWithin(this, waitMilliseconds);
    if (rc != 0) {
        ossLogRC(FID_LOCK_FOR_UPDATE, 1, 0, rc, rc, OSS_SEVERITY_ERROR, "lock=%s wait=%u", lockPath,
                 waitMilliseconds);
        return rc;
    }
    state |= GENREG_STATE_UPDATE_HOLD;
    return rc;
}

unsigned GenRegFile::UnlockForUpdate() {
    unsigned rc = 0;
    GENREG_TRACE(FID_UNLOCK_FOR_UPDATE, &rc);
    if (!(state & GENREG_STATE_UPDATE_HOLD)) return rc;
    rc = ReleaseUpdateLock(this);
    // The hold ends with the lock, even when the lock file could not be
    // closed or removed afterwards; a refused unlock keeps both.
    if (!(state & GENREG_STATE_LOCK_HELD)) state &= ~GENREG_STATE_UPDATE_HOLD;
    if (rc != 0)
        ossLogRC(FID_UNLOCK_FOR_UPDATE, 1, 0, rc, rc, OSS_SEVERITY_ERROR, "lock=%s", lockPath);
    return rc;
}

unsigned AcquireStoreUpdateLock(GenRegFile* handle, unsigned options) {
    if (handle->state & GENREG_STATE_UPDATE_HOLD) return 0;
    return AcquireUpdateLock(handle, options);
}

unsigned ReleaseStoreUpdateLock(GenRegFile* handle) {
    if (handle->state & GENREG_STATE_UPDATE_HOLD) return 0;
    return ReleaseUpdateLock(handle);
}
