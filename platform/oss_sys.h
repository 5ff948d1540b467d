// The few primitives that the shared platform code (paths, log, trace,
// error mapping) needs from a backend. Each backend implements all of them
// in platform/posix/ or platform/win32/; nothing outside platform/ uses them.
#ifndef GENREG_PLATFORM_OSS_SYS_H
#define GENREG_PLATFORM_OSS_SYS_H

#include <cstddef>
#include <cstdint>

// True for a character that separates path components ('/' on POSIX;
// '\\' and '/' on Windows).
bool ossSysIsSeparator(char c);
// Length of the root prefix of path that is never removed by the path
// helpers: "/" on POSIX; "C:", "C:\\" or "\\\\server\\share\\" on Windows.
// 0 for a relative path.
size_t ossSysRootLength(const char* path);

// Identifier of the running process.
uint64_t ossSysProcessId();

// Wall-clock time in UTC with milliseconds.
struct OSSUtcTime {
    int year;
    int month;  // 1..12
    int day;    // 1..31
    int hour;
    int minute;
    int second;
    int millisecond;
};
void ossSysUtcNow(OSSUtcTime* now);

// A file opened for appending whole lines: every ossSysAppendWrite is one
// system write at the current end of the file, so lines written by several
// processes never interleave within a line. -1 when it cannot be opened.
intptr_t ossSysAppendOpen(const char* path);
bool ossSysAppendWrite(intptr_t file, const char* data, size_t size);
void ossSysAppendClose(intptr_t file);

// The error of the last failed system call of this thread (errno on POSIX,
// GetLastError on Windows) and the ossErrorMapSystem category it belongs to.
uint32_t ossSysLastError();
uint32_t ossSysErrorCategory();
// Restores a value returned by ossSysLastError.
void ossSysSetLastError(uint32_t error);

// ---- files (the system side of OSSHFile) ----------------------------------
//
// Each logs its own failure and returns the mapped code.

// Opens the regular file path for access (OSS_ACCESS_* bits), creating it
// with permissions when missing unless options holds OSS_OPEN_EXISTING (see
// OSSHFile in genreg/oss_file.h for the rules on links and special files);
// the handle is not inherited by child processes. OSS_RC_NOT_REGULAR_FILE
// for anything but a regular file, OSS_RC_BUSY for a refusal that passes by
// itself, OSS_RC_ACCESS_DENIED for a lack of permission.
unsigned ossSysOpenFile(const char* path, uint32_t access, uint32_t options, uint64_t permissions,
                        intptr_t* handle);
// Takes the whole-file lock of kind; held tells that this handle already
// holds one, which is given up first (so after a failure none is held).
// OSS_RC_LOCK_NOT_AVAILABLE in fail-at-once mode when another handle holds
// a conflicting lock (not logged here).
unsigned ossSysLockFile(intptr_t handle, uint32_t kind, uint32_t waitMode, bool held);
unsigned ossSysUnlockFile(intptr_t handle);
// Closes the handle (giving up its lock first when locked).
unsigned ossSysCloseFile(intptr_t handle, bool locked);
// Creates one directory; true also when it already exists as a directory.
// On false the system error is set.
bool ossSysMakeDirectory(const char* path, uint64_t permissions);

// Value of an environment variable, or null.
const char* ossSysGetEnv(const char* name);

// Name of a return code for diagnostics: the library's own names, then the
// services' OSS_RC_* names; null for a foreign code.
const char* ossSysRcName(unsigned rc);
// Writes "2024-05-01T12:34:56.789Z pid=4711 tid=4712 " into out (always
// terminated); returns the length written.
size_t ossSysLinePrefix(char* out, size_t size, uint64_t threadId);

// Log and trace identifiers of the services themselves (the platform's
// range 0x0200 of the library's identifiers).
enum : uint32_t {
    OSS_FID_FILE_OPEN = 0x082A0201U,
    OSS_FID_FILE_LOCK = 0x082A0202U,
    OSS_FID_FILE_UNLOCK = 0x082A0203U,
    OSS_FID_FILE_CLOSE = 0x082A0204U,
    OSS_FID_DIRECTORY_CREATE = 0x082A0205U,
    OSS_FID_FILE_DELETE = 0x082A0206U,
    OSS_FID_FILE_RENAME = 0x082A0207U,
    OSS_FID_FILE_INFO = 0x082A0208U,
    OSS_FID_SET_PERMISSIONS = 0x082A0209U,
    OSS_FID_FILE_IDENTITY = 0x082A020AU,
    OSS_FID_FILE_REPLACE = 0x082A020BU,
    OSS_FID_SYNC_DIRECTORY = 0x082A020CU,
    OSS_FID_STREAM_CREATE = 0x082A020DU,
    OSS_FID_STREAM_OPEN = 0x082A020EU,
    OSS_FID_STREAM_SYNC = 0x082A020FU,
    OSS_FID_MEM_ALLOC = 0x082A0210U,
    OSS_FID_MEM_FREE = 0x082A0211U,
    OSS_FID_PROCESS = 0x082A0212U,
    OSS_FID_FD_BRIDGE = 0x082A0213U,
    OSS_FID_PATH_KIND = 0x082A0214U,
    OSS_FID_STREAM_OWNER = 0x082A0215U,
    OSS_FID_STREAM_PERMISSIONS = 0x082A0216U,
};

// Logs the failure of a system call just made (what names it, path the
// file it concerned or null) with the thread's last system error, and
// returns that error mapped by ossErrorMapSystem. The system error is
// preserved across the logging.
unsigned ossSysFail(uint32_t functionId, uint32_t probe, const char* what, const char* path);
// The same for an error number the caller already holds.
unsigned ossSysFailWith(uint32_t functionId, uint32_t probe, uint32_t category,
                        uint32_t systemError, const char* what, const char* path);

#endif
