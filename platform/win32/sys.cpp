// Win32 primitives behind the shared platform code, and the small services
// that are one system call each.
#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "platform/oss.h"
#include "platform/oss_sys.h"
#include "platform/win32/errno_map.h"

bool ossSysIsSeparator(char c) {
    return c == '\\' || c == '/';
}

// "C:" or "C:\\", "\\\\server\\share\\", or a single leading separator.
size_t ossSysRootLength(const char* path) {
    if (ossSysIsSeparator(path[0]) && ossSysIsSeparator(path[1])) {
        size_t i = 2;
        for (int part = 0; part < 2; ++part) {  // server, then share
            while (path[i] && !ossSysIsSeparator(path[i]))
                ++i;
            if (part == 0 && path[i]) ++i;
        }
        return path[i] ? i + 1 : i;
    }
    if (path[0] && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        return ossSysIsSeparator(path[2]) ? 3 : 2;
    }
    return ossSysIsSeparator(path[0]) ? 1 : 0;
}

char ossPathSeparator() {
    return '\\';
}

uint64_t ossSysProcessId() {
    return (uint64_t)GetCurrentProcessId();
}

uint64_t ossThreadID() {
    return (uint64_t)GetCurrentThreadId();
}

void ossSysUtcNow(OSSUtcTime* now) {
    SYSTEMTIME time;
    GetSystemTime(&time);
    now->year = time.wYear;
    now->month = time.wMonth;
    now->day = time.wDay;
    now->hour = time.wHour;
    now->minute = time.wMinute;
    now->second = time.wSecond;
    now->millisecond = time.wMilliseconds;
}

// FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of
// the file in one piece, whoever else appends.
intptr_t ossSysAppendOpen(const char* path) {
    HANDLE file =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? -1 : (intptr_t)file;
}

bool ossSysAppendWrite(intptr_t file, const char* data, size_t size) {
    DWORD written = 0;
    return WriteFile((HANDLE)file, data, (DWORD)size, &written, nullptr) && written == size;
}

void ossSysAppendClose(intptr_t file) {
    CloseHandle((HANDLE)file);
}

uint32_t ossSysLastError() {
    return (uint32_t)GetLastError();
}

uint32_t ossSysErrorCategory() {
    return 1;
}

void ossSysSetLastError(uint32_t error) {
    SetLastError((DWORD)error);
}

const char* ossSysGetEnv(const char* name) {
    return std::getenv(name);
}

void ossSleepMs(unsigned milliseconds) {
    Sleep(milliseconds);
}

uint64_t ossMonotonicMs() {
    return (uint64_t)GetTickCount64();
}

int ossWinErrnoOf(uint32_t windowsError) {
    switch (windowsError) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        default:
            return EIO;
    }
}
