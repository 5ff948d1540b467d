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

// True when the last failure of this thread was the open of a file that
// is deleted but still held open elsewhere: Windows reports it as "access
// denied", yet it passes as soon as the holder closes. Only the NT status
// tells it from a real lack of permission; where that cannot be read, the
// refusal counts as passing, as it always did.
bool lastFailureIsDeletePending() {
    typedef LONG(WINAPI * LastStatus)();
    static LastStatus lastStatus = reinterpret_cast<LastStatus>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetLastNtStatus")));
    const LONG kStatusDeletePending = (LONG)0xC0000056L;
    return lastStatus == nullptr || lastStatus() == kStatusDeletePending;
}

unsigned refuseSpecial(const char* path, const char* what) {
    ossLog(OSS_FID_FILE_OPEN, 4, OSS_RC_NOT_REGULAR_FILE, OSS_SEVERITY_ERROR, "%s is %s", path,
           what);
    return OSS_RC_NOT_REGULAR_FILE;
}

}  // namespace

// Permission bits have no meaning for a new Windows file: it inherits the
// directory's access control list. An existing file is opened first; a
// missing one is created with CREATE_NEW and without following reparse
// points, so a dangling link at the name never creates its target; when
// the creation finds the name taken, the name is opened again without
// following reparse points, which tells a link from a file created
// meanwhile. Only disk files that are not reparse points or directories
// are kept (a device name such as NUL is refused).
unsigned ossSysOpenFile(const char* path, uint32_t access, uint32_t options,
                        uint64_t /*permissions*/, intptr_t* handle) {
    DWORD rights = 0;
    if (access & OSS_ACCESS_READ) rights |= GENERIC_READ;
    if (access & (OSS_ACCESS_WRITE | OSS_ACCESS_APPEND)) rights |= GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD flags =
        FILE_ATTRIBUTE_NORMAL | ((options & OSS_OPEN_NO_LINK) ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE file = INVALID_HANDLE_VALUE;
    const bool injected = ossFaultHit(OSS_FAULT_OPEN);
    if (!injected) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            file = CreateFileA(path, rights, share, nullptr, OPEN_EXISTING, flags, nullptr);
            if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND ||
                (options & OSS_OPEN_EXISTING))
                break;
            file = CreateFileA(path, rights, share, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            DWORD error = GetLastError();
            if (file != INVALID_HANDLE_VALUE ||
                (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS))
                break;
            flags |= FILE_FLAG_OPEN_REPARSE_POINT;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        // The NT status is read before logging can replace it.
        DWORD error = GetLastError();
        bool passes = error == ERROR_SHARING_VIOLATION ||
                      (error == ERROR_ACCESS_DENIED && !injected && lastFailureIsDeletePending());
        // A directory cannot be opened as a file: Windows calls it "access
        // denied", but it is no lack of permission.
        if (error == ERROR_ACCESS_DENIED && !injected) {
            DWORD attributes = GetFileAttributesA(path);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return refuseSpecial(path, "a directory");
        }
        SetLastError(error);
        unsigned rc = ossSysFail(OSS_FID_FILE_OPEN, 3, "CreateFileA", path);
        return passes ? OSS_RC_BUSY : rc;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const char* special = nullptr;
    if (GetFileType(file) != FILE_TYPE_DISK)
        special = "a device";
    else if (!GetFileInformationByHandle(file, &info))
        special = "a file without information";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        special = "a reparse point (link)";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        special = "a directory";
    // A second name steers the file to wherever it was linked from, as a
    // reparse point would: where no link is accepted, none of either kind.
    else if ((options & OSS_OPEN_NO_LINK) && info.nNumberOfLinks > 1)
        special = "a file with a second hard link";
    if (special) {
        CloseHandle(file);
        return refuseSpecial(path, special);
    }
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
    if (ossFaultHit(OSS_FAULT_LOCK) || !UnlockFileEx((HANDLE)handle, 0, 1, 0, &range))
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
