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
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

const char* kindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a regular file";
}

unsigned refuseSpecial(const char* path, const char* what) {
    ossLog(OSS_FID_FILE_OPEN, 4, OSS_RC_NOT_REGULAR_FILE, OSS_SEVERITY_ERROR, "%s is %s", path,
           what);
    return OSS_RC_NOT_REGULAR_FILE;
}

int openRetryingInterrupts(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

// The open never blocks: O_NONBLOCK keeps a FIFO at the name from waiting
// for a peer (and a lock holder from waiting with it), and is cleared once
// the descriptor is known to be a regular file. A missing file is created
// with O_EXCL | O_NOFOLLOW, so that a dangling link at the name is never
// followed to create its target; when the exclusive create finds the name
// taken, the name is looked at again without following links, which tells
// a file created meanwhile by someone else from a link. Permission bits of
// a created file are subject to the process's umask.
unsigned ossSysOpenFile(const char* path, uint32_t access, uint32_t options, uint64_t permissions,
                        intptr_t* handle) {
    bool reads = access & OSS_ACCESS_READ;
    bool writes = access & (OSS_ACCESS_WRITE | OSS_ACCESS_APPEND);
    int flags = O_CLOEXEC | O_NONBLOCK | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
    if (access & OSS_ACCESS_APPEND) flags |= O_APPEND;
    if (options & OSS_OPEN_NO_LINK) flags |= O_NOFOLLOW;
    const mode_t mode = (mode_t)(permissions & 07777);
    int fd = -1;
    if (!ossFaultHit(OSS_FAULT_OPEN)) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            fd = openRetryingInterrupts(path, flags, 0);
            if (fd >= 0 || errno != ENOENT || (options & OSS_OPEN_EXISTING)) break;
            fd = openRetryingInterrupts(path, flags | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
            if (fd >= 0 || errno != EEXIST) break;
            flags |= O_NOFOLLOW;
        }
    }
    if (fd < 0) {
        int error = errno;
        // ELOOP: a link where none is followed; ENXIO: a FIFO without a
        // reader, opened for writing; EISDIR: a directory, for writing.
        if (error == ELOOP) return refuseSpecial(path, "a symbolic link");
        if (error == ENXIO) return refuseSpecial(path, "a FIFO or device");
        if (error == EISDIR) return refuseSpecial(path, "a directory");
        return ossSysFail(OSS_FID_FILE_OPEN, 3, "open", path);
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        unsigned rc = ossSysFail(OSS_FID_FILE_OPEN, 5, "fstat", path);
        ::close(fd);
        return rc;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuseSpecial(path, kindOfMode(info.st_mode));
    }
    // A second name steers the file to wherever it was linked from, as a
    // symbolic link would: where no link is accepted, none of either kind.
    if ((options & OSS_OPEN_NO_LINK) && info.st_nlink > 1) {
        ::close(fd);
        return refuseSpecial(path, "a file with a second hard link");
    }
    // F_SETFL takes only the status flags (here O_APPEND) from its argument:
    // the flags the open was given, without O_NONBLOCK, need no F_GETFL.
    if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        unsigned rc = ossSysFail(OSS_FID_FILE_OPEN, 6, "fcntl", path);
        ::close(fd);
        return rc;
    }
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
    if (ossFaultHit(OSS_FAULT_LOCK) || ::flock((int)handle, LOCK_UN) != 0)
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
