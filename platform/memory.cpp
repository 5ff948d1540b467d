// Work and record buffers of the library: malloc and free behind a
// fault-injection point and an allocation counter.
#include <cstdlib>

#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

bool g_bIsPlatformID_Win32On95 = false;

// A size of 0 still yields a distinct block of one byte, so that every
// successful call is matched by exactly one free.
namespace {

// The one allocation path of both entry points: the same fault point, log
// and resource count whether or not the block is zeroed.
unsigned allocate(void** block, size_t size, bool zeroed, const char* unit, int line) {
    if (!block) {
        ossLog(OSS_FID_MEM_ALLOC, 1, OSS_RC_BAD_ARGUMENT, OSS_SEVERITY_ERROR,
               "null block pointer from %s:%d", unit ? unit : "-", line);
        return OSS_RC_BAD_ARGUMENT;
    }
    const size_t bytes = size ? size : 1;
    *block = ossFaultHit(OSS_FAULT_ALLOC) ? nullptr
             : zeroed                     ? std::calloc(1, bytes)
                                          : std::malloc(bytes);
    if (!*block) {
        ossLog(OSS_FID_MEM_ALLOC, 2, OSS_RC_NO_MEMORY, OSS_SEVERITY_ERROR, "%zu bytes for %s:%d",
               size, unit ? unit : "-", line);
        return OSS_RC_NO_MEMORY;
    }
    ossResourceAdjust(OSS_RESOURCE_ALLOCATION, 1);
    return 0;
}

}  // namespace

unsigned _ossMemAlloc(void** block, size_t size, const char* unit, int line) {
    return allocate(block, size, false, unit, line);
}

unsigned _ossMemAllocZeroed(void** block, size_t size, const char* unit, int line) {
    return allocate(block, size, true, unit, line);
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
