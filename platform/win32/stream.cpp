// Streams on Windows: opening with full sharing, the bridge from a HANDLE
// to a runtime-library descriptor and stream, 64-bit positioning and
// durable flushing. Text-mode streams ("t", or no "b") translate CR LF.
//
// Streams are opened through CreateFileA rather than fopen so that, like
// every file of the layer, they allow others to read, write, rename and
// delete the file while it is open.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "genreg/trace.h"
#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"
#include "platform/win32/errno_map.h"

namespace {

// What a stdio mode string asks of CreateFileA and _open_osfhandle.
struct ModeRequest {
    DWORD access;
    DWORD creation;
    int descriptorFlags;
};

bool parseMode(const char* mode, bool exclusive, ModeRequest* request) {
    if (!mode) return false;
    bool plus = std::strchr(mode, '+') != nullptr;
    bool binary = std::strchr(mode, 'b') != nullptr;
    request->descriptorFlags = binary ? _O_BINARY : _O_TEXT;
    switch (mode[0]) {
        case 'r':
            request->access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
            request->creation = OPEN_EXISTING;
            if (!plus) request->descriptorFlags |= _O_RDONLY;
            break;
        case 'w':
            request->access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
            request->creation = CREATE_ALWAYS;
            break;
        case 'a':
            request->access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
            request->creation = OPEN_ALWAYS;
            request->descriptorFlags |= _O_APPEND;
            break;
        default:
            return false;
    }
    // CREATE_NEW fails when anything, a link included, has the name.
    if (exclusive) request->creation = CREATE_NEW;
    return true;
}

// Opens path as a stream; on failure nothing is left open (a file that this
// call created exclusively is deleted again).
FILE* openStream(uint32_t functionId, const char* path, const char* mode, bool exclusive) {
    ModeRequest request;
    if (!path || !parseMode(mode, exclusive, &request)) {
        errno = EINVAL;
        return nullptr;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    // An exclusive creation must never act on whatever a link planted at the
    // name points to; an ordinary open follows links like fopen does.
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (exclusive ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    if (!ossFaultHit(OSS_FAULT_OPEN)) {
        file = CreateFileA(path, request.access,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           request.creation, flags, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        ossSysFail(functionId, 1, "CreateFileA", path);
        errno = ossWinErrnoOf(GetLastError());
        return nullptr;
    }
    int fd = _open_osfhandle((intptr_t)file, request.descriptorFlags);
    FILE* stream = fd == -1 ? nullptr : _fdopen(fd, mode);
    if (!stream) {
        int saved = errno;
        ossSysFailWith(functionId, 2, 0, (uint32_t)saved, "_fdopen", path);
        if (fd != -1)
            _close(fd);  // closes the handle too
        else
            CloseHandle(file);
        if (exclusive) DeleteFileA(path);  // created just now by this call
        errno = saved;
        return nullptr;
    }
    ossResourceAdjust(OSS_RESOURCE_STREAM, 1);
    return stream;
}

// In text mode the runtime's ftell assumes that every line end still in the
// read buffer was CR LF on disk, and counts one byte too few for each bare
// LF: a position taken in a file with LF line ends (written on POSIX, say)
// would not lead back to the same place. For a text stream with buffered
// input the position is computed here instead: the disk position of the
// handle less the length on disk of the buffered bytes, found by matching
// them against the raw bytes just before that position. This reads the
// runtime's FILE fields (_ptr, _cnt, _flag) of the msvcrt layout.
bool isTextMode(int fd) {
    int previous = _setmode(fd, _O_BINARY);
    if (previous == -1) return false;
    _setmode(fd, previous);
    return (previous & _O_TEXT) != 0;
}

// Reads size raw bytes at offset through handle, leaving its file pointer
// where it was.
bool readRawAt(HANDLE file, int64_t offset, char* buffer, DWORD size) {
    LARGE_INTEGER saved, zero, target;
    zero.QuadPart = 0;
    target.QuadPart = offset;
    if (!SetFilePointerEx(file, zero, &saved, FILE_CURRENT)) return false;
    DWORD got = 0;
    bool ok = SetFilePointerEx(file, target, nullptr, FILE_BEGIN) &&
              ReadFile(file, buffer, size, &got, nullptr) && got == size;
    SetFilePointerEx(file, saved, nullptr, FILE_BEGIN);
    return ok;
}

// True and *position when stream is a text stream with buffered input.
bool textReadPosition(FILE* stream, int64_t* position) {
    if (!stream || (stream->_flag & _IOWRT) || stream->_cnt <= 0) return false;
    int fd = _fileno(stream);
    if (!isTextMode(fd)) return false;
    HANDLE file = (HANDLE)_get_osfhandle(fd);
    LARGE_INTEGER zero, end;
    zero.QuadPart = 0;
    if (file == INVALID_HANDLE_VALUE || !SetFilePointerEx(file, zero, &end, FILE_CURRENT))
        return false;
    const char* tail = stream->_ptr;
    int64_t count = stream->_cnt;
    int64_t lineEnds = 0;
    for (int64_t i = 0; i < count; ++i)
        lineEnds += tail[i] == '\n';
    if (lineEnds == 0) {
        *position = end.QuadPart - count;
        return true;
    }
    // On disk the tail is at most one CR longer per line end.
    int64_t rawSize = count + lineEnds;
    if (rawSize > end.QuadPart) rawSize = end.QuadPart;
    char* raw = (char*)std::malloc((size_t)rawSize);
    bool ok = raw && readRawAt(file, end.QuadPart - rawSize, raw, (DWORD)rawSize);
    int64_t j = rawSize;  // raw bytes not yet matched, from the start
    for (int64_t i = count - 1; ok && i >= 0; --i) {
        if (j == 0) {
            ok = false;
        } else if (tail[i] == '\n' && raw[j - 1] == '\n' && j >= 2 && raw[j - 2] == '\r') {
            j -= 2;
        } else {
            j -= 1;
        }
    }
    std::free(raw);
    if (ok) *position = end.QuadPart - (rawSize - j);
    return ok;
}

}  // namespace

FILE* ossStreamCreateExclusive(const char* path, const char* mode) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_STREAM_CREATE, &rc);
    FILE* stream = openStream(OSS_FID_STREAM_CREATE, path, mode, true);
    if (!stream) rc = OSS_RC_FAILED;
    return stream;
}

FILE* ossStreamOpen(const char* path, const char* mode) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_STREAM_OPEN, &rc);
    FILE* stream = openStream(OSS_FID_STREAM_OPEN, path, mode, false);
    if (!stream) rc = OSS_RC_FAILED;
    return stream;
}

// Windows files carry an owner and access list in their security
// descriptor, not a POSIX owner and group: nothing to carry here.
unsigned ossStreamCopyOwner(FILE* from, FILE* to) {
    if (!from || !to) return OSS_RC_BAD_ARGUMENT;
    if (ossFaultHit(OSS_FAULT_PERMISSIONS)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return ossSysFail(OSS_FID_STREAM_OWNER, 1, "owner", nullptr);
    }
    return 0;
}

// Only the read-only attribute stands for permission bits here (see
// ossFileGetInfoV9); it is read from the registry file's handle and set
// through the copy's, which its writer opened with the right to.
unsigned ossStreamCopyPermissions(FILE* from, FILE* to) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_STREAM_PERMISSIONS, &rc);
    if (!from || !to) return rc = OSS_RC_BAD_ARGUMENT;
    HANDLE source = (HANDLE)_get_osfhandle(_fileno(from));
    HANDLE target = (HANDLE)_get_osfhandle(_fileno(to));
    BY_HANDLE_FILE_INFORMATION sourceInfo, targetInfo;
    if (ossFaultHit(OSS_FAULT_PERMISSIONS) || source == INVALID_HANDLE_VALUE ||
        target == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(source, &sourceInfo) ||
        !GetFileInformationByHandle(target, &targetInfo)) {
        if (GetLastError() == 0) SetLastError(ERROR_INVALID_HANDLE);
        return rc =
                   ossSysFail(OSS_FID_STREAM_PERMISSIONS, 1, "GetFileInformationByHandle", nullptr);
    }
    const DWORD readOnly = FILE_ATTRIBUTE_READONLY;
    DWORD wanted =
        (targetInfo.dwFileAttributes & ~readOnly) | (sourceInfo.dwFileAttributes & readOnly);
    if (wanted == targetInfo.dwFileAttributes) return rc;
    FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
    basic.FileAttributes = wanted ? wanted : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(target, FileBasicInfo, &basic, sizeof basic))
        rc = ossSysFail(OSS_FID_STREAM_PERMISSIONS, 2, "SetFileInformationByHandle", nullptr);
    return rc;
}

int ossOpenOsfHandle(intptr_t handle, int flags) {
    if (ossFaultHit(OSS_FAULT_OPEN)) {
        ossSysFail(OSS_FID_FD_BRIDGE, 3, "descriptor", nullptr);
        return -1;
    }
    if (handle == -1) {
        errno = EBADF;
        return -1;
    }
    int fd = _open_osfhandle(handle, flags);
    if (fd == -1)
        ossSysFailWith(OSS_FID_FD_BRIDGE, 1, 0, (uint32_t)errno, "_open_osfhandle", nullptr);
    return fd;
}

FILE* ossFdOpen(int fd, const char* mode) {
    if (fd < 0 || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    FILE* stream = ossFaultHit(OSS_FAULT_OPEN) ? nullptr : _fdopen(fd, mode);
    if (!stream) {
        ossSysFailWith(OSS_FID_FD_BRIDGE, 2, 0, (uint32_t)errno, "_fdopen", nullptr);
        return nullptr;
    }
    ossResourceAdjust(OSS_RESOURCE_STREAM, 1);
    return stream;
}

// The runtime's descriptor table is a separate object on Windows: closing
// only the handle would leave the slot taken for the process's life.
int ossFdClose(int fd) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    return _close(fd) == 0 ? 0 : -1;
}

int ossAccess(const char* path, int mode) {
    if (!path) return -1;
    return _access(path, mode) == 0 ? 0 : -1;
}

// The size on disk: data still buffered in the stream is not counted.
int ossStreamFileSize(FILE* stream, int64_t* size) {
    if (!stream || !size) return -1;
    struct _stat64 status;
    if (ossFaultHit(OSS_FAULT_INFO) || _fstat64(_fileno(stream), &status) != 0) return -1;
    *size = (int64_t)status.st_size;
    return 0;
}

int ossStreamSeek(FILE* stream, int64_t offset, int whence) {
    if (ossFaultHit(OSS_FAULT_SEEK)) return -1;
    if (whence == SEEK_CUR) {
        // The runtime would compute the current position with its own,
        // inexact text-mode arithmetic.
        int64_t current = ossStreamTell(stream);
        if (current < 0) return -1;
        offset += current;
        whence = SEEK_SET;
    }
    if (_fseeki64(stream, offset, whence) != 0) return -1;
    // A seek ends the end of file, as fseek does. Some runtimes' _fseeki64
    // leaves the flag set, and the next read that comes back empty would
    // then pass for the file's end instead of a failed read. An error flag
    // stays: callers judge it before the end of file.
    if (std::feof(stream) && !std::ferror(stream)) std::clearerr(stream);
    return 0;
}

int64_t ossStreamTell(FILE* stream) {
    if (ossFaultHit(OSS_FAULT_SEEK)) return -1;
    int64_t position = -1;
    if (textReadPosition(stream, &position)) return position;
    return _ftelli64(stream);
}

int ossStreamTruncate(FILE* stream, int64_t size) {
    if (!stream || size < 0 || ossFaultHit(OSS_FAULT_SEEK)) return -1;
    // A failed write may leave bytes in the buffer: drop them with the
    // rest of the append (a flush failure is expected here).
    std::fflush(stream);
    return _chsize_s(_fileno(stream), size) == 0 ? 0 : -1;
}

int ossStreamSync(FILE* stream) {
    if (!stream) return -1;
    if (ossFaultHit(OSS_FAULT_SYNC)) return -1;
    if (std::fflush(stream) != 0) return -1;
    HANDLE file = (HANDLE)_get_osfhandle(_fileno(stream));
    if (file == INVALID_HANDLE_VALUE) return -1;
    if (!FlushFileBuffers(file)) {
        errno = EIO;
        return -1;
    }
    return 0;
}
