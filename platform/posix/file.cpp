// The system side of OSSHFile on POSIX: a descriptor and a whole-file
// flock().
//
// flock() locks belong to the open file description, not to the process:
// a second open() of the same file in the same process gets its own
// description and is excluded like another process would be, and closing
// some other descriptor of the file does not drop the lock (as classic
// fcntl record locks would). The lock ends when the last descriptor of the
// description is closed, which is the stream's fclose once the handle was
// given to a stream. Descriptors are close-on-exec, so a spawned child
// never inherits (and so never prolongs) a lock.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

// Permission bits of a created file are subject to the process's umask.
unsigned ossSysOpenFile(const char* path, uint32_t access, uint64_t permissions, intptr_t* handle) {
    bool reads = access & OSS_ACCESS_READ;
    bool writes = access & (OSS_ACCESS_WRITE | OSS_ACCESS_APPEND);
    int flags = O_CREAT | O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
    if (access & OSS_ACCESS_APPEND) flags |= O_APPEND;
    int fd = -1;
    if (!ossFaultHit(OSS_FAULT_OPEN)) {
        do {
            fd = ::open(path, flags, (mode_t)(permissions & 07777));
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) return ossSysFail(OSS_FID_FILE_OPEN, 3, "open", path);
    *handle = fd;
    return 0;
}

// flock() converts a held lock itself (dropping it first, as documented).
unsigned ossSysLockFile(intptr_t handle, uint32_t kind, uint32_t waitMode, bool /*held*/) {
    int operation = kind == OSS_LOCK_EXCLUSIVE ? LOCK_EX : LOCK_SH;
    if (waitMode == OSS_LOCK_FAIL_AT_ONCE) operation |= LOCK_NB;
    int result = -1;
    if (!ossFaultHit(OSS_FAULT_LOCK)) {
        do {
            result = ::flock((int)handle, operation);
        } while (result != 0 && errno == EINTR);
    }
    if (result == 0) return 0;
    if (errno == EWOULDBLOCK && (operation & LOCK_NB)) return OSS_RC_LOCK_NOT_AVAILABLE;
    return ossSysFail(OSS_FID_FILE_LOCK, 3, "flock", nullptr);
}

unsigned ossSysUnlockFile(intptr_t handle) {
    if (::flock((int)handle, LOCK_UN) != 0)
        return ossSysFail(OSS_FID_FILE_UNLOCK, 2, "flock unlock", nullptr);
    return 0;
}

// close() ends the lock with the descriptor. EINTR still closed it on Linux.
unsigned ossSysCloseFile(intptr_t handle, bool /*locked*/) {
    bool injected = ossFaultHit(OSS_FAULT_CLOSE);
    int result = ::close((int)handle);
    if (injected || (result != 0 && errno != EINTR))
        return ossSysFail(OSS_FID_FILE_CLOSE, 1, "close", nullptr);
    return 0;
}
