// The errors an injected failure reports on POSIX: what the system really
// returns when such a call fails for lack of room, rights or hardware.
#include "platform/fault.h"

#ifdef GENREG_FAULT_INJECTION

#include <cerrno>

uint32_t ossFaultDefaultError(OSSFaultKind kind) {
    switch (kind) {
        case OSS_FAULT_OPEN:
            return EACCES;
        case OSS_FAULT_LOCK:
            return ENOLCK;
        case OSS_FAULT_WRITE:
            return ENOSPC;
        case OSS_FAULT_SYNC:
            return EIO;
        case OSS_FAULT_RENAME:
            return EACCES;
        case OSS_FAULT_REPLACE:
            return EACCES;
        case OSS_FAULT_DELETE:
            return EACCES;
        case OSS_FAULT_MKDIR:
            return EACCES;
        case OSS_FAULT_PERMISSIONS:
            return EPERM;
        case OSS_FAULT_ALLOC:
            return ENOMEM;
        default:
            return EIO;
    }
}

void ossFaultSetSystemError(uint32_t systemError) {
    errno = (int)systemError;
}

#endif
