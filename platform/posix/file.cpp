// OSSHFile on POSIX: a descriptor and a whole-file flock().
//
// flock() locks belong to the open file description, not to the process:
// a second open() of the same file in the same process gets its own
// description and is excluded like another process would be, and closing
// some other descriptor of the file does not drop the lock (as classic
// fcntl record locks would). The lock ends when the last descriptor of
// the description is closed, which is the stream's fclose once the handle
// was given to a stream. Descriptors are close-on-exec, so a spawned child
// never inherits (and so never prolongs) a lock.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

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
    if (!param || param->version != OSS_INTERFACE_VERSION || !param->path ||
        param->disposition != 2 || param->access == 0 ||
        (param->access & ~(uint32_t)(OSS_ACCESS_READ | OSS_ACCESS_WRITE | OSS_ACCESS_APPEND))) {
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
    bool reads = param->access & OSS_ACCESS_READ;
    bool writes = param->access & (OSS_ACCESS_WRITE | OSS_ACCESS_APPEND);
    int flags = O_CREAT | O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
    if (param->access & OSS_ACCESS_APPEND) flags |= O_APPEND;
    int fd = -1;
    if (!ossFaultHit(OSS_FAULT_OPEN)) {
        do {
            fd = ::open(param->path, flags, (mode_t)(param->permissions & 07777));
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        rc = ossSysFail(OSS_FID_FILE_OPEN, 3, "open", param->path);
        return rc;
    }
    handle_ = fd;
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
    int operation = param->kind == OSS_LOCK_EXCLUSIVE ? LOCK_EX : LOCK_SH;
    if (param->waitMode == OSS_LOCK_FAIL_AT_ONCE) operation |= LOCK_NB;
    int result = -1;
    if (!ossFaultHit(OSS_FAULT_LOCK)) {
        do {
            result = ::flock((int)handle_, operation);
        } while (result != 0 && errno == EINTR);
    }
    if (result != 0) {
        if (errno == EWOULDBLOCK && (operation & LOCK_NB)) {
            // Expected in fail-at-once mode: the caller decides what it means.
            rc = OSS_RC_LOCK_NOT_AVAILABLE;
            ossLog(OSS_FID_FILE_LOCK, 2, rc, OSS_SEVERITY_WARNING, "lock is taken");
            return rc;
        }
        rc = ossSysFail(OSS_FID_FILE_LOCK, 3, "flock", nullptr);
        return rc;
    }
    if (lockKind_ == 0) ossResourceAdjust(OSS_RESOURCE_LOCK, 1);
    lockKind_ = param->kind;
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
    if (::flock((int)handle_, LOCK_UN) != 0) {
        rc = ossSysFail(OSS_FID_FILE_UNLOCK, 2, "flock unlock", nullptr);
        return rc;
    }
    lockKind_ = 0;
    ossResourceAdjust(OSS_RESOURCE_LOCK, -1);
    return rc;
}

// Closing ends the lock with the descriptor. The descriptor is gone even
// when close() reports an error, so the handle is forgotten either way.
unsigned OSSHFile::close() {
    unsigned rc = 0;
    if (handle_ == -1) return rc;
    GENREG_TRACE(OSS_FID_FILE_CLOSE, &rc);
    bool injected = ossFaultHit(OSS_FAULT_CLOSE);
    int result = ::close((int)handle_);
    handle_ = -1;
    ossResourceAdjust(OSS_RESOURCE_HANDLE, -1);
    if (lockKind_ != 0) ossResourceAdjust(OSS_RESOURCE_LOCK, -1);
    lockKind_ = 0;
    if (injected || (result != 0 && errno != EINTR)) {
        rc = ossSysFail(OSS_FID_FILE_CLOSE, 1, "close", nullptr);
    }
    return rc;
}

intptr_t OSSHFile::getFileHandle() const {
    return handle_;
}

bool OSSHFile::isOpen() const {
    return handle_ != -1;
}

// The stream that now owns the descriptor also owns the lock: it ends with
// the stream's fclose.
void OSSHFile::release() {
    if (handle_ == -1) return;
    ossResourceAdjust(OSS_RESOURCE_HANDLE, -1);
    if (lockKind_ != 0) ossResourceAdjust(OSS_RESOURCE_LOCK, -1);
    handle_ = -1;
    lockKind_ = 0;
}
