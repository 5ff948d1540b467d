// Work and record buffers of the library: malloc and free behind a
// fault-injection point and an allocation counter.
#include <cstdlib>

#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

bool g_bIsPlatformID_Win32On95 = false;

// A size of 0 still yields a distinct block of one byte, so that every
// successful call is matched by exactly one free.
unsigned _ossMemAlloc(void** block, size_t size, const char* unit, int line) {
    if (!block) {
        ossLog(OSS_FID_MEM_ALLOC, 1, OSS_RC_BAD_ARGUMENT, OSS_SEVERITY_ERROR,
               "null block pointer from %s:%d", unit ? unit : "-", line);
        return OSS_RC_BAD_ARGUMENT;
    }
    *block = ossFaultHit(OSS_FAULT_ALLOC) ? nullptr : std::malloc(size ? size : 1);
    if (!*block) {
        ossLog(OSS_FID_MEM_ALLOC, 2, OSS_RC_NO_MEMORY, OSS_SEVERITY_ERROR, "%zu bytes for %s:%d",
               size, unit ? unit : "-", line);
        return OSS_RC_NO_MEMORY;
    }
    ossResourceAdjust(OSS_RESOURCE_ALLOCATION, 1);
    return 0;
}

// Freeing a null *block is a harmless no-op.
unsigned _ossMemFree(void** block, const char* unit, int line) {
    if (!block) {
        ossLog(OSS_FID_MEM_FREE, 1, OSS_RC_BAD_ARGUMENT, OSS_SEVERITY_ERROR,
               "null block pointer from %s:%d", unit ? unit : "-", line);
        return OSS_RC_BAD_ARGUMENT;
    }
    if (*block) {
        std::free(*block);
        *block = nullptr;
        ossResourceAdjust(OSS_RESOURCE_ALLOCATION, -1);
    }
    return 0;
}
