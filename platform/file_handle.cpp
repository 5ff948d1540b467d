// OSSHFile: checks of the parameter blocks, the bookkeeping of the handle
// and its lock, and the trace; the backend's ossSys*File primitives do the
// system calls.
#include "genreg/trace.h"
#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

OSSHFile::OSSHFile() : handle_(-1), lockKind_(0) {}

OSSHFile::~OSSHFile() {
    close();
}

unsigned OSSHFile::open(const OSSFileOpenParam* param) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_OPEN, &rc);
    const uint32_t knownAccess = OSS_ACCESS_READ | OSS_ACCESS_WRITE | OSS_ACCESS_APPEND;
    const uint32_t knownOptions = OSS_OPEN_EXISTING | OSS_OPEN_NO_LINK;
    if (!param || param->version != OSS_INTERFACE_VERSION || !param->path ||
        param->disposition != 2 || param->access == 0 || (param->access & ~knownAccess) ||
        (param->options & ~knownOptions)) {
        rc = OSS_RC_BAD_ARGUMENT;
        ossLog(OSS_FID_FILE_OPEN, 1, rc, OSS_SEVERITY_ERROR, "bad open block (path %s)",
               param && param->path ? param->path : "-");
        return rc;
    }
    if (handle_ != -1) {
        rc = OSS_RC_BAD_ARGUMENT;
        ossLog(OSS_FID_FILE_OPEN, 2, rc, OSS_SEVERITY_ERROR, "already open; path %s", param->path);
        return rc;
    }
    intptr_t handle = -1;
    rc = ossSysOpenFile(param->path, param->access, param->options, param->permissions, &handle);
    if (rc != 0) return rc;
    handle_ = handle;
    ossResourceAdjust(OSS_RESOURCE_HANDLE, 1);
    return rc;
}

unsigned OSSHFile::lock(const OSSFileLockParam* param) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_LOCK, &rc);
    if (!param || param->version != OSS_INTERFACE_VERSION ||
        (param->kind != OSS_LOCK_EXCLUSIVE && param->kind != OSS_LOCK_SHARED) ||
        (param->waitMode != OSS_LOCK_WAIT && param->waitMode != OSS_LOCK_FAIL_AT_ONCE) ||
        handle_ == -1) {
        rc = OSS_RC_BAD_ARGUMENT;
        ossLog(OSS_FID_FILE_LOCK, 1, rc, OSS_SEVERITY_ERROR, "bad lock block or file not open");
        return rc;
    }
    // Changing the kind of a held lock gives the old one up first: after a
    // refusal this handle holds no lock at all.
    bool wasLocked = lockKind_ != 0;
    rc = ossSysLockFile(handle_, param->kind, param->waitMode, wasLocked);
    if (rc == OSS_RC_LOCK_NOT_AVAILABLE) {
        // Expected in fail-at-once mode: the caller decides what it means.
        ossLog(OSS_FID_FILE_LOCK, 2, rc, OSS_SEVERITY_WARNING, "lock is taken");
    }
    if (rc == 0 && !wasLocked) ossResourceAdjust(OSS_RESOURCE_LOCK, 1);
    if (rc != 0 && wasLocked) ossResourceAdjust(OSS_RESOURCE_LOCK, -1);
    lockKind_ = rc == 0 ? param->kind : 0;
    return rc;
}

unsigned OSSHFile::unlock() {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_UNLOCK, &rc);
    if (handle_ == -1) {
        rc = OSS_RC_BAD_ARGUMENT;
        ossLog(OSS_FID_FILE_UNLOCK, 1, rc, OSS_SEVERITY_ERROR, "file not open");
        return rc;
    }
    if (lockKind_ == 0) return rc;
    rc = ossSysUnlockFile(handle_);
    if (rc != 0) return rc;
    lockKind_ = 0;
    ossResourceAdjust(OSS_RESOURCE_LOCK, -1);
    return rc;
}

// The handle is gone even when closing reports an error, so it is
// forgotten either way; closing ends the lock with it.
unsigned OSSHFile::close() {
    unsigned rc = 0;
    if (handle_ == -1) return rc;
    GENREG_TRACE(OSS_FID_FILE_CLOSE, &rc);
    rc = ossSysCloseFile(handle_, lockKind_ != 0);
    handle_ = -1;
    ossResourceAdjust(OSS_RESOURCE_HANDLE, -1);
    if (lockKind_ != 0) ossResourceAdjust(OSS_RESOURCE_LOCK, -1);
    lockKind_ = 0;
    return rc;
}

intptr_t OSSHFile::getFileHandle() const {
    return handle_;
}

bool OSSHFile::isOpen() const {
    return handle_ != -1;
}

// The stream that now owns the handle also owns the lock: it ends with the
// stream's fclose.
void OSSHFile::release() {
    if (handle_ == -1) return;
    ossResourceAdjust(OSS_RESOURCE_HANDLE, -1);
    if (lockKind_ != 0) ossResourceAdjust(OSS_RESOURCE_LOCK, -1);
    handle_ = -1;
    lockKind_ = 0;
}
