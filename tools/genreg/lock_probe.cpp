// Trying a registry file's update lock without taking it for long and
// without creating or removing the lock file (see lock_probe.h). The
// library locks the lock file with flock on POSIX and LockFileEx on
// Windows; the trial uses the same kind of lock, so it sees the same
// holder.
#include "lock_probe.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>

LockState probeUpdateLock(const std::string& lockPath) {
#ifdef _WIN32
    HANDLE file = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kLockAbsent
                                                                              : kLockUnknown;
    }
    OVERLAPPED at = {};
    LockState state = kLockStale;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        UnlockFileEx(file, 0, 1, 0, &at);
    } else {
        state = GetLastError() == ERROR_LOCK_VIOLATION ? kLockHeld : kLockUnknown;
    }
    CloseHandle(file);
    return state;
#else
    int fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? kLockAbsent : kLockUnknown;
    LockState state = kLockStale;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
    } else {
        state = errno == EWOULDBLOCK ? kLockHeld : kLockUnknown;
    }
    ::close(fd);
    return state;
#endif
}
