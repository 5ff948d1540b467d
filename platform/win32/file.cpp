// The system side of OSSHFile on Windows: a HANDLE and a LockFileEx lock.
//
// The file is opened with full sharing (read, write and delete), so the
// registry file and the lock file can be renamed, replaced or deleted while
// another process has them open. The lock covers one byte far beyond any
// data (kLockOffsetHigh): lockers exclude each other exactly as with a
// whole-file lock, while reads and writes of the content through other
// handles are never refused, the same advisory behaviour as the POSIX
// backend. Locks of two handles of one process exclude each other. Handles
// are not inheritable, so a child process never prolongs a lock.
#include <windows.h>

#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

// Offset 2^62: far past any registry file, and well inside the range every
// file system and emulation accepts for lock offsets.
constexpr DWORD kLockOffsetHigh = 0x40000000;

OVERLAPPED lockRange() {
    OVERLAPPED range = {};
    range.Offset = 0;
    range.OffsetHigh = kLockOffsetHigh;
    return range;
}

}  // namespace

// Permission bits have no meaning for a new Windows file: it inherits the
// directory's access control list.
unsigned ossSysOpenFile(const char* path, uint32_t access, uint64_t /*permissions*/,
                        intptr_t* handle) {
    DWORD rights = 0;
    if (access & OSS_ACCESS_READ) rights |= GENERIC_READ;
    if (access & (OSS_ACCESS_WRITE | OSS_ACCESS_APPEND)) rights |= GENERIC_WRITE;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!ossFaultHit(OSS_FAULT_OPEN)) {
        file = CreateFileA(path, rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) return ossSysFail(OSS_FID_FILE_OPEN, 3, "CreateFileA", path);
    *handle = (intptr_t)file;
    return 0;
}

// A second LockFileEx on a range this handle holds would conflict with
// itself: the held lock is given up first.
unsigned ossSysLockFile(intptr_t handle, uint32_t kind, uint32_t waitMode, bool held) {
    if (held) {
        unsigned rc = ossSysUnlockFile(handle);
        if (rc != 0) return rc;
    }
    DWORD flags = kind == OSS_LOCK_EXCLUSIVE ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (waitMode == OSS_LOCK_FAIL_AT_ONCE) flags |= LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED range = lockRange();
    if (!ossFaultHit(OSS_FAULT_LOCK) && LockFileEx((HANDLE)handle, flags, 0, 1, 0, &range))
        return 0;
    DWORD error = GetLastError();
    if ((error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) &&
        (flags & LOCKFILE_FAIL_IMMEDIATELY))
        return OSS_RC_LOCK_NOT_AVAILABLE;
    return ossSysFail(OSS_FID_FILE_LOCK, 3, "LockFileEx", nullptr);
}

unsigned ossSysUnlockFile(intptr_t handle) {
    OVERLAPPED range = lockRange();
    if (!UnlockFileEx((HANDLE)handle, 0, 1, 0, &range))
        return ossSysFail(OSS_FID_FILE_UNLOCK, 2, "UnlockFileEx", nullptr);
    return 0;
}

// The lock is given up explicitly before the handle is closed: Windows
// frees the locks of a closed handle only eventually, and the next locker
// must not find it still taken.
unsigned ossSysCloseFile(intptr_t handle, bool locked) {
    if (locked) {
        OVERLAPPED range = lockRange();
        UnlockFileEx((HANDLE)handle, 0, 1, 0, &range);
    }
    bool injected = ossFaultHit(OSS_FAULT_CLOSE);
    BOOL closed = CloseHandle((HANDLE)handle);
    if (injected || !closed) return ossSysFail(OSS_FID_FILE_CLOSE, 1, "CloseHandle", nullptr);
    return 0;
}
