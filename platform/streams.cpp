// The stream operations that are the same on every platform: the runtime
// library does the work; the wrappers add the fault-injection points and
// the count of open streams.
#include <cerrno>
#include <cstdio>

#include "platform/fault.h"
#include "platform/oss.h"

size_t ossStreamRead(void* buffer, size_t size, size_t count, FILE* stream) {
    if (ossFaultHit(OSS_FAULT_READ)) return 0;
    return std::fread(buffer, size, count, stream);
}

size_t ossStreamWrite(const void* buffer, size_t size, size_t count, FILE* stream) {
    if (ossFaultHit(OSS_FAULT_WRITE)) return 0;
    return std::fwrite(buffer, size, count, stream);
}

char* ossStreamGets(char* buffer, int size, FILE* stream) {
    if (ossFaultHit(OSS_FAULT_READ)) return nullptr;
    return std::fgets(buffer, size, stream);
}

int ossStreamPuts(const char* text, FILE* stream) {
    if (ossFaultHit(OSS_FAULT_WRITE)) return EOF;
    return std::fputs(text, stream) < 0 ? EOF : 0;
}

// An injected failure still closes the stream: callers rely on the stream
// being gone whatever the result.
int ossStreamClose(FILE* stream) {
    if (!stream) return EOF;
    bool injected = ossFaultHit(OSS_FAULT_CLOSE);
    int saved = errno;
    int result = std::fclose(stream);
    ossResourceAdjust(OSS_RESOURCE_STREAM, -1);
    if (injected) {
        errno = saved;
        return EOF;
    }
    return result;
}
