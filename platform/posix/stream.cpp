// Streams on POSIX: opening, the bridge from a descriptor, 64-bit
// positioning and durable flushing. POSIX streams have no text mode: a
// "t" in a mode is dropped and carriage returns stay ordinary bytes.
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "genreg/trace.h"
#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

// mode without 't', plus extra (e.g. "e" for close-on-exec); false when it
// does not fit.
bool posixMode(const char* mode, const char* extra, char* out, size_t size) {
    size_t used = 0;
    for (const char* p = mode; *p; ++p) {
        if (*p == 't') continue;
        if (used + 1 >= size) return false;
        out[used++] = *p;
    }
    for (const char* p = extra; *p; ++p) {
        if (used + 1 >= size) return false;
        out[used++] = *p;
    }
    out[used] = '\0';
    return true;
}

// A stream of this layer belongs to the handle that opened it, which one
// thread uses at a time: the runtime's lock around every call on it (two
// atomic operations per line read) protects nothing, and is turned off.
FILE* ownedByCaller(FILE* stream) {
    if (stream != nullptr) ::__fsetlocking(stream, FSETLOCKING_BYCALLER);
    return stream;
}

}  // namespace

// Created with 0600: the caller gives the file its final permission bits
// (ossFileSetPermissions) once it holds what it should.
FILE* ossStreamCreateExclusive(const char* path, const char* mode) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_STREAM_CREATE, &rc);
    char cleanMode[16];
    if (!path || !mode || !posixMode(mode, "", cleanMode, sizeof cleanMode)) {
        rc = OSS_RC_BAD_ARGUMENT;
        errno = EINVAL;
        return nullptr;
    }
    int access = std::strchr(cleanMode, '+') ? O_RDWR : O_WRONLY;
    if (cleanMode[0] == 'a') access |= O_APPEND;
    // O_NOFOLLOW with O_EXCL: a link planted at the name makes this fail
    // instead of creating or writing the link's target.
    int fd = -1;
    if (!ossFaultHit(OSS_FAULT_OPEN)) {
        do {
            fd = ::open(path, access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        rc = ossSysFail(OSS_FID_STREAM_CREATE, 1, "exclusive create", path);
        return nullptr;
    }
    FILE* stream = ownedByCaller(::fdopen(fd, cleanMode));
    if (!stream) {
        rc = ossSysFail(OSS_FID_STREAM_CREATE, 2, "fdopen", path);
        int saved = errno;
        ::close(fd);
        ::unlink(path);  // created just now by this call: nobody else has it
        errno = saved;
        return nullptr;
    }
    ossResourceAdjust(OSS_RESOURCE_STREAM, 1);
    return stream;
}

FILE* ossStreamOpen(const char* path, const char* mode) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_STREAM_OPEN, &rc);
    char cleanMode[16];
    if (!path || !mode || !posixMode(mode, "e", cleanMode, sizeof cleanMode)) {
        rc = OSS_RC_BAD_ARGUMENT;
        errno = EINVAL;
        return nullptr;
    }
    FILE* stream =
        ossFaultHit(OSS_FAULT_OPEN) ? nullptr : ownedByCaller(std::fopen(path, cleanMode));
    if (!stream) {
        rc = ossSysFail(OSS_FID_STREAM_OPEN, 1, "fopen", path);
        return nullptr;
    }
    ossResourceAdjust(OSS_RESOURCE_STREAM, 1);
    return stream;
}

// chown() clears the set-user and set-group bits; the caller sets the
// copy's permission bits afterwards.
unsigned ossStreamCopyOwner(FILE* from, FILE* to) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_STREAM_OWNER, &rc);
    if (!from || !to) return rc = OSS_RC_BAD_ARGUMENT;
    struct stat source, target;
    if (ossFaultHit(OSS_FAULT_PERMISSIONS) || ::fstat(::fileno(from), &source) != 0 ||
        ::fstat(::fileno(to), &target) != 0)
        return rc = ossSysFail(OSS_FID_STREAM_OWNER, 1, "fstat", nullptr);
    if (source.st_uid == target.st_uid && source.st_gid == target.st_gid) return rc;
    if (::fchown(::fileno(to), source.st_uid, source.st_gid) != 0) {
        rc = ossSysFail(OSS_FID_STREAM_OWNER, 2, "fchown", nullptr);
        ossLog(OSS_FID_STREAM_OWNER, 3, rc, OSS_SEVERITY_ERROR, "owner %lu group %lu",
               (unsigned long)source.st_uid, (unsigned long)source.st_gid);
    }
    return rc;
}

unsigned ossStreamCopyPermissions(FILE* from, FILE* to) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_STREAM_PERMISSIONS, &rc);
    if (!from || !to) return rc = OSS_RC_BAD_ARGUMENT;
    struct stat source;
    if (ossFaultHit(OSS_FAULT_PERMISSIONS) || ::fstat(::fileno(from), &source) != 0)
        return rc = ossSysFail(OSS_FID_STREAM_PERMISSIONS, 1, "fstat", nullptr);
    const mode_t mode = source.st_mode & 07777;
    if (::fchmod(::fileno(to), mode) != 0) {
        rc = ossSysFail(OSS_FID_STREAM_PERMISSIONS, 2, "fchmod", nullptr);
        ossLog(OSS_FID_STREAM_PERMISSIONS, 3, rc, OSS_SEVERITY_ERROR, "permissions 0%lo",
               (unsigned long)mode);
    }
    return rc;
}

// The descriptor is the handle itself; OSS_FD_TEXT means nothing here.
int ossOpenOsfHandle(intptr_t handle, int flags) {
    if (ossFaultHit(OSS_FAULT_OPEN)) {
        ossSysFail(OSS_FID_FD_BRIDGE, 3, "descriptor", nullptr);
        return -1;
    }
    if (handle < 0 || handle > 0x7fffffff) {
        errno = EBADF;
        return -1;
    }
    int fd = (int)handle;
    if (flags & OSS_FD_APPEND) {
        int current = ::fcntl(fd, F_GETFL);
        if (current < 0 || ::fcntl(fd, F_SETFL, current | O_APPEND) != 0) {
            ossSysFail(OSS_FID_FD_BRIDGE, 1, "fcntl O_APPEND", nullptr);
            return -1;
        }
    }
    return fd;
}

FILE* ossFdOpen(int fd, const char* mode) {
    char cleanMode[16];
    if (fd < 0 || !mode || !posixMode(mode, "", cleanMode, sizeof cleanMode)) {
        errno = EINVAL;
        return nullptr;
    }
    FILE* stream = ossFaultHit(OSS_FAULT_OPEN) ? nullptr : ownedByCaller(::fdopen(fd, cleanMode));
    if (!stream) {
        ossSysFail(OSS_FID_FD_BRIDGE, 2, "fdopen", nullptr);
        return nullptr;
    }
    ossResourceAdjust(OSS_RESOURCE_STREAM, 1);
    return stream;
}

// The descriptor is the handle: closing one closes the other.
int ossFdClose(int fd) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    return ::close(fd) == 0 ? 0 : -1;
}

int ossAccess(const char* path, int mode) {
    if (!path) return -1;
    return ::access(path, mode) == 0 ? 0 : -1;
}

// The size on disk: data still buffered in the stream is not counted.
int ossStreamFileSize(FILE* stream, int64_t* size) {
    if (!stream || !size) return -1;
    struct stat status;
    if (ossFaultHit(OSS_FAULT_INFO) || ::fstat(::fileno(stream), &status) != 0) return -1;
    *size = (int64_t)status.st_size;
    return 0;
}

int ossStreamSeek(FILE* stream, int64_t offset, int whence) {
    if (ossFaultHit(OSS_FAULT_SEEK)) return -1;
    return ::fseeko(stream, (off_t)offset, whence);
}

int64_t ossStreamTell(FILE* stream) {
    if (ossFaultHit(OSS_FAULT_SEEK)) return -1;
    return (int64_t)::ftello(stream);
}

int ossStreamTruncate(FILE* stream, int64_t size) {
    if (!stream || size < 0 || ossFaultHit(OSS_FAULT_SEEK)) return -1;
    // A failed write may leave bytes in the buffer: drop them with the
    // rest of the append (a flush failure is expected here).
    std::fflush(stream);
    int result;
    do {
        result = ::ftruncate(::fileno(stream), (off_t)size);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : -1;
}

int ossStreamSync(FILE* stream) {
    if (!stream) return -1;
    if (ossFaultHit(OSS_FAULT_SYNC)) return -1;
    if (std::fflush(stream) != 0) return -1;
    int result;
    do {
        result = ::fsync(::fileno(stream));
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : -1;
}
