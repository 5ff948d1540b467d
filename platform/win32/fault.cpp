// The errors an injected failure reports on Windows: what the system really
// returns when such a call fails for lack of room, rights or hardware. The
// matching errno is set too, for failures seen through a stream.
#include <windows.h>

#include "platform/fault.h"
#include "platform/win32/errno_map.h"

#ifdef GENREG_FAULT_INJECTION

#include <cerrno>

uint32_t ossFaultDefaultError(OSSFaultKind kind) {
    switch (kind) {
        case OSS_FAULT_OPEN:
            return ERROR_ACCESS_DENIED;
        case OSS_FAULT_LOCK:
            return ERROR_NOT_ENOUGH_QUOTA;
        case OSS_FAULT_WRITE:
            return ERROR_DISK_FULL;
        case OSS_FAULT_RENAME:
            return ERROR_ACCESS_DENIED;
        case OSS_FAULT_REPLACE:
            return ERROR_UNABLE_TO_REMOVE_REPLACED;
        case OSS_FAULT_DELETE:
            return ERROR_ACCESS_DENIED;
        case OSS_FAULT_MKDIR:
            return ERROR_ACCESS_DENIED;
        case OSS_FAULT_PERMISSIONS:
            return ERROR_ACCESS_DENIED;
        case OSS_FAULT_ALLOC:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_IO_DEVICE;
    }
}

void ossFaultSetSystemError(uint32_t systemError) {
    SetLastError(systemError);
    errno = ossWinErrnoOf(systemError);
}

#endif
