// POSIX primitives behind the shared platform code, and the small services
// that are one system call each.
#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/oss.h"
#include "platform/oss_sys.h"

bool ossSysIsSeparator(char c) {
    return c == '/';
}

size_t ossSysRootLength(const char* path) {
    return path[0] == '/' ? 1 : 0;
}

char ossPathSeparator() {
    return '/';
}

uint64_t ossSysProcessId() {
    return (uint64_t)getpid();
}

uint64_t ossThreadID() {
    // The kernel's thread id, as tools such as ps and /proc show it.
    return (uint64_t)syscall(SYS_gettid);
}

void ossSysUtcNow(OSSUtcTime* now) {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm parts;
    gmtime_r(&ts.tv_sec, &parts);
    now->year = parts.tm_year + 1900;
    now->month = parts.tm_mon + 1;
    now->day = parts.tm_mday;
    now->hour = parts.tm_hour;
    now->minute = parts.tm_min;
    now->second = parts.tm_sec;
    now->millisecond = (int)(ts.tv_nsec / 1000000);
}

// The open does not wait: a named pipe nobody reads would block it for
// ever (every later logged failure, or the library's load with
// GENREG_TRACE_FILE set), so it fails at once (ENXIO) instead. A pipe with
// a reader opens and is written to blocking, as a file is.
intptr_t ossSysAppendOpen(const char* path) {
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return -1;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return (intptr_t)fd;
}

// O_APPEND makes each write land at the end of the file in one piece.
bool ossSysAppendWrite(intptr_t file, const char* data, size_t size) {
    ssize_t written;
    do {
        written = ::write((int)file, data, size);
    } while (written < 0 && errno == EINTR);
    return written == (ssize_t)size;
}

void ossSysAppendClose(intptr_t file) {
    ::close((int)file);
}

uint32_t ossSysLastError() {
    return (uint32_t)errno;
}

uint32_t ossSysErrorCategory() {
    return 0;
}

void ossSysSetLastError(uint32_t error) {
    errno = (int)error;
}

const char* ossSysGetEnv(const char* name) {
    return std::getenv(name);
}

uint64_t ossMonotonicMs() {
    struct timespec now = {0, 0};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u;
}

void ossSleepMs(unsigned milliseconds) {
    struct timespec left = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// The kernel resolves a relative name against the current directory
// itself, whatever its length; the library's 260-byte fields are the only
// limit, and they are checked where the names are made.
unsigned ossCheckPathLength(const char* path) {
    return path ? 0 : OSS_RC_BAD_ARGUMENT;
}
