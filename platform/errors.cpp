// Mapping of system error numbers to the services' return codes.
//
//   category 0 (C runtime errno)      category 1 (Windows error)   result
//   ENOENT, ENOTDIR                   2, 3, 15, 53, 67, 161        OSS_RC_FILE_NOT_FOUND
//   EACCES, EPERM, EROFS, EBUSY       5, 19, 32, 1920              OSS_RC_ACCESS_DENIED
//   EWOULDBLOCK, EAGAIN               33                           OSS_RC_LOCK_NOT_AVAILABLE
//   EEXIST                            80, 183                      OSS_RC_ALREADY_EXISTS
//   ENOSPC, EDQUOT, EFBIG             39, 112                      OSS_RC_DISK_FULL
//   ENOMEM                            8, 14                        OSS_RC_NO_MEMORY
//   ENAMETOOLONG, ERANGE              111, 122, 206                OSS_RC_BUFFER_TOO_SMALL
//   EINVAL, EBADF                     6, 87                        OSS_RC_BAD_ARGUMENT
//   0 and anything else, any other category                        OSS_RC_FAILED
#include <cerrno>
#include <cstdarg>

#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

struct ErrorMapping {
    uint32_t systemError;
    unsigned rc;
};

const ErrorMapping kErrnoMap[] = {
    {ENOENT, OSS_RC_FILE_NOT_FOUND},
    {ENOTDIR, OSS_RC_FILE_NOT_FOUND},
    {EACCES, OSS_RC_ACCESS_DENIED},
    {EPERM, OSS_RC_ACCESS_DENIED},
    {EROFS, OSS_RC_ACCESS_DENIED},
    {EBUSY, OSS_RC_ACCESS_DENIED},
    {EWOULDBLOCK, OSS_RC_LOCK_NOT_AVAILABLE},
    {EAGAIN, OSS_RC_LOCK_NOT_AVAILABLE},
    {EEXIST, OSS_RC_ALREADY_EXISTS},
    {ENOSPC, OSS_RC_DISK_FULL},
#ifdef EDQUOT
    {EDQUOT, OSS_RC_DISK_FULL},
#endif
    {EFBIG, OSS_RC_DISK_FULL},
    {ENOMEM, OSS_RC_NO_MEMORY},
    {ENAMETOOLONG, OSS_RC_BUFFER_TOO_SMALL},
    {ERANGE, OSS_RC_BUFFER_TOO_SMALL},
    {EINVAL, OSS_RC_BAD_ARGUMENT},
    {EBADF, OSS_RC_BAD_ARGUMENT},
};

const ErrorMapping kWindowsMap[] = {
    {2, OSS_RC_FILE_NOT_FOUND},       // ERROR_FILE_NOT_FOUND
    {3, OSS_RC_FILE_NOT_FOUND},       // ERROR_PATH_NOT_FOUND
    {15, OSS_RC_FILE_NOT_FOUND},      // ERROR_INVALID_DRIVE
    {53, OSS_RC_FILE_NOT_FOUND},      // ERROR_BAD_NETPATH
    {67, OSS_RC_FILE_NOT_FOUND},      // ERROR_BAD_NET_NAME
    {161, OSS_RC_FILE_NOT_FOUND},     // ERROR_BAD_PATHNAME
    {5, OSS_RC_ACCESS_DENIED},        // ERROR_ACCESS_DENIED
    {19, OSS_RC_ACCESS_DENIED},       // ERROR_WRITE_PROTECT
    {32, OSS_RC_ACCESS_DENIED},       // ERROR_SHARING_VIOLATION
    {1920, OSS_RC_ACCESS_DENIED},     // ERROR_CANT_ACCESS_FILE
    {33, OSS_RC_LOCK_NOT_AVAILABLE},  // ERROR_LOCK_VIOLATION
    {80, OSS_RC_ALREADY_EXISTS},      // ERROR_FILE_EXISTS
    {183, OSS_RC_ALREADY_EXISTS},     // ERROR_ALREADY_EXISTS
    {39, OSS_RC_DISK_FULL},           // ERROR_HANDLE_DISK_FULL
    {112, OSS_RC_DISK_FULL},          // ERROR_DISK_FULL
    {8, OSS_RC_NO_MEMORY},            // ERROR_NOT_ENOUGH_MEMORY
    {14, OSS_RC_NO_MEMORY},           // ERROR_OUTOFMEMORY
    {111, OSS_RC_BUFFER_TOO_SMALL},   // ERROR_BUFFER_OVERFLOW
    {122, OSS_RC_BUFFER_TOO_SMALL},   // ERROR_INSUFFICIENT_BUFFER
    {206, OSS_RC_BUFFER_TOO_SMALL},   // ERROR_FILENAME_EXCED_RANGE
    {6, OSS_RC_BAD_ARGUMENT},         // ERROR_INVALID_HANDLE
    {87, OSS_RC_BAD_ARGUMENT},        // ERROR_INVALID_PARAMETER
};

template <size_t N>
unsigned lookUp(const ErrorMapping (&table)[N], uint32_t systemError) {
    for (const ErrorMapping& entry : table)
        if (entry.systemError == systemError) return entry.rc;
    return OSS_RC_FAILED;
}

}  // namespace

unsigned ossErrorMapSystem(uint32_t functionId, uint32_t probe, uint32_t category,
                           uint32_t systemError, uint32_t /*reserved*/) {
    unsigned rc = OSS_RC_FAILED;
    if (category == 0 && systemError != 0) rc = lookUp(kErrnoMap, systemError);
    if (category == 1 && systemError != 0) rc = lookUp(kWindowsMap, systemError);
    // The trace keeps the raw system error beside the reporter's probe, so
    // a failure can be traced to the exact system call that produced it.
    if (g_pGTCB && g_pGTCB->active) {
        _gtraceErrorVar(ossThreadID(), functionId, probe, rc, 2, (uint32_t)OSS_TRACE_U32,
                        (uint64_t)sizeof category, (const void*)&category, (uint32_t)OSS_TRACE_U32,
                        (uint64_t)sizeof systemError, (const void*)&systemError);
    }
    return rc;
}

int ossLastErrno() {
    return errno;
}

unsigned ossSysFailWith(uint32_t functionId, uint32_t probe, uint32_t category,
                        uint32_t systemError, const char* what, const char* path) {
    uint32_t saved = ossSysLastError();
    unsigned rc = ossErrorMapSystem(functionId, probe, category, systemError, 0);
    ossLog(functionId, probe, rc, OSS_SEVERITY_ERROR,
           "%s failed: system error %u (category %u) path=%s", what, systemError, category,
           path ? path : "-");
    ossSysSetLastError(saved);
    return rc;
}

unsigned ossSysFail(uint32_t functionId, uint32_t probe, const char* what, const char* path) {
    return ossSysFailWith(functionId, probe, ossSysErrorCategory(), ossSysLastError(), what, path);
}
