// The operating-system services the library uses: files and their locks,
// paths, streams, memory, number conversion, the diagnostic log and the
// trace. One interface; the build chooses the POSIX or the Win32 backend.
// Nothing outside platform/ calls the operating system or stdio's file
// functions directly: every stream operation goes through the oss*Stream*
// wrappers below, so that the test build can inject a failure at any call.
// A stream this layer opens belongs to one thread at a time (the thread
// using the handle that holds it): where the runtime allows, it is not
// locked around each call.
//
// Return codes: 0 is success; failures are 0x9000xxxx codes. The two codes
// callers rely on are OSS_RC_LOCK_NOT_AVAILABLE and OSS_RC_FILE_NOT_FOUND;
// every other failure is OSS_RC_FAILED or a code made by ossErrorMapSystem.
#ifndef GENREG_PLATFORM_OSS_H
#define GENREG_PLATFORM_OSS_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <genreg/oss_file.h>
#include <genreg/platform_codes.h>

// The services' own codes, one per GENREG_PLATFORM_RC_LIST entry
// (genreg/platform_codes.h says when each is given): OSS_RC_FAILED for any
// failure without a code of its own (the log entry says which call
// failed), OSS_RC_LOCK_NOT_AVAILABLE for a lock that is taken, asked for in
// fail-at-once mode, OSS_RC_FILE_NOT_FOUND for ossFileDelete of a missing
// file, the others as ossErrorMapSystem maps the system's errors.
// Plain unsigned constants, as the codes were before the list: they meet
// 0 and other codes in conditional expressions.
#define OSS_RC_DEFINE_(name, value, meaning) constexpr unsigned name = value;
GENREG_PLATFORM_RC_LIST(OSS_RC_DEFINE_)
#undef OSS_RC_DEFINE_
// Memory could not be allocated; the same value as GENREG_RC_NO_MEMORY.
#define OSS_RC_NO_MEMORY 0x9000000dU

// ---- paths and files ------------------------------------------------------

// The last component of path ("c" of "a/b/c"), into out of size bytes.
unsigned ossBaseName(const char* path, char* out, size_t size);
// The directory part of path ("a/b" of "a/b/c"; "." for a bare name).
unsigned ossDirectoryName(const char* path, char* out, size_t size);
// The platform's path separator: '\\' on Windows, '/' on POSIX.
char ossPathSeparator();
// The name of a companion beside path's last component, into out of size
// bytes: path up to that component exactly as written, then prefix, the
// component and suffix ("d/.reg.lock" for "d/reg", ".", ".lock"). No
// separator is added, so a drive-relative "C:reg" keeps its companions in
// drive C's current directory and "\\reg" at the root of the current
// drive. OSS_RC_BAD_ARGUMENT for a path with no last component (empty, a
// root alone); OSS_RC_BUFFER_TOO_SMALL when the name does not fit.
unsigned ossSiblingPath(const char* path, const char* prefix, const char* suffix, char* out,
                        size_t size);
// 0 when the system can name path in every call: on Windows its absolute
// form (a relative path counts with the current directory) must fit in
// MAX_PATH, else OSS_RC_BUFFER_TOO_SMALL; POSIX has no such limit below
// the library's own.
unsigned ossCheckPathLength(const char* path);
// True when path exists as that kind (following links). False also when
// the system cannot tell: where "absent" and "could not tell" must differ,
// ask ossPathKindOf.
bool ossIsFile(const char* path);
bool ossIsDirectory(const char* path);

enum OSSPathKind : uint32_t {
    OSS_PATH_ABSENT,     // no such name (or a directory on the way is missing)
    OSS_PATH_FILE,       // a regular file
    OSS_PATH_DIRECTORY,  // a directory
    OSS_PATH_LINK,       // a symbolic link (Windows: a reparse point), dangling or not
    OSS_PATH_OTHER,      // a FIFO, device, socket
};
// What the name path itself is, never following a link at it. 0 and *kind
// (OSS_PATH_ABSENT when the name does not exist). When the system cannot
// tell (no right to search a directory on the way, an I/O error, a name too
// long) the mapped failure code, logged; *kind is then OSS_PATH_ABSENT and
// must not be taken for an answer.
unsigned ossPathKindOf(const char* path, OSSPathKind* kind);

struct OSSDirectoryCreateParam {
    uint32_t version;  // OSS_INTERFACE_VERSION
    const char* path;
    uint64_t permissions;  // octal 0700
    uint32_t option;       // 1 from BeginTransaction, 2 from AcquireUpdateLock
};
// 0 once the directory exists (missing parents are created too).
unsigned ossDirectoryCreate(const OSSDirectoryCreateParam* param);
// 0; OSS_RC_FILE_NOT_FOUND when the file does not exist.
unsigned ossFileDelete(const char* path);
// Renames, replacing an existing target.
unsigned ossFileRename(const char* from, const char* to);

struct OSSFileInfoRequest {
    uint32_t version;  // OSS_INTERFACE_VERSION
    const char* path;
};
struct OSSFileInfo {
    uint64_t size;         // bytes
    uint64_t permissions;  // permission bits (octal 0600 style)
};
unsigned ossFileGetInfoV9(const OSSFileInfoRequest* request, OSSFileInfo* info);
unsigned ossFileSetPermissions(const char* path, uint64_t permissions);

// Identity of a file (device and inode, or volume and file index): two
// names or handles refer to the same file when their identities are equal.
struct OSSFileIdentity {
    uint64_t volume;
    uint64_t index;
};
unsigned ossFileIdentityOfPath(const char* path, OSSFileIdentity* id);
unsigned ossFileIdentityOfHandle(intptr_t handle, OSSFileIdentity* id);

// Replaces target by source, keeping target present at every instant and
// keeping its previous content under backup for the moment of the swap:
// both backends hard-link target to backup and rename source over target
// (an atomic replace of the name), and leave backup for the caller to
// delete. Where hard links are impossible, Windows falls back to
// ReplaceFile (short bounded retry of sharing violations) and both fall
// back to copying target to backup. backup must not exist. When target
// does not exist, source is simply renamed to it. On failure target keeps
// its old content. *backupMade reports whether backup now holds the
// previous target.
unsigned ossFileReplace(const char* source, const char* target, const char* backup,
                        bool* backupMade);
// Makes a completed rename in the directory of path durable (POSIX fsync
// of the directory; on Windows the renames are already written through).
unsigned ossSyncDirectoryOf(const char* path);

// Creates path exclusively (fails when any file or link has that name) and
// opens a stream on it with mode ("wb", "w+b", "wt", ...): never writes
// through a link planted at the name. On POSIX the file starts with
// permissions 0600; the caller sets the final ones. Null on failure (errno
// says why; a file this call created is removed again).
FILE* ossStreamCreateExclusive(const char* path, const char* mode);
// fopen with mode; on Windows the file stays open to renaming and deletion
// by others, like every file of this layer. Null on failure (errno).
FILE* ossStreamOpen(const char* path, const char* mode);

// Gives the file behind to the owner and group of the file behind from
// (both open streams; the owner is read from the open file, never from a
// name). POSIX: fchown when they differ, which needs the right to give
// files away (an update run by an administrator on a service account's
// file); a refusal is a failure. Windows: 0 (files have no such owner and
// group to keep here).
unsigned ossStreamCopyOwner(FILE* from, FILE* to);
// Gives the file behind to the permission bits of the file behind from
// (both open streams; read from the open file, never from a name, so that
// a link planted at the registry file's name cannot choose them). POSIX:
// the mode bits 07777, set on the open copy (after ossStreamCopyOwner,
// whose change of owner may clear some of them). Windows: the read-only
// attribute.
unsigned ossStreamCopyPermissions(FILE* from, FILE* to);

// ---- the bridge from an OS file handle to a stream -------------------------

enum : int {
    OSS_FD_APPEND = 0x8,   // descriptor flag: append
    OSS_FD_TEXT = 0x4000,  // descriptor flag: text mode (Windows only)
};
// A runtime-library descriptor for an OS handle; -1 on failure. On success
// the descriptor owns the handle.
int ossOpenOsfHandle(intptr_t handle, int flags);
// A stream on a descriptor; null on failure (the descriptor stays open).
FILE* ossFdOpen(int fd, const char* mode);
// Closes a descriptor that no stream took, and with it the OS handle it
// owns; 0 on success.
int ossFdClose(int fd);
// 0 when path exists (mode 0), else -1.
int ossAccess(const char* path, int mode);
// Size of the file behind a stream; 0 on success.
int ossStreamFileSize(FILE* stream, int64_t* size);
// True where text-mode streams translate line ends (Windows): a "\n"
// written to one reaches the file as CR LF, and CR LF read comes back as
// "\n". False where carriage returns stay ordinary bytes (POSIX).
bool ossTextStreamsTranslateLineEnds();
// The byte at which this platform's text streams end their input although
// the file goes on (0x1A on Windows), or -1 when there is none (POSIX).
int ossTextStreamEndOfInputByte();

// ---- stream operations (fault-injection points) ---------------------------

size_t ossStreamRead(void* buffer, size_t size, size_t count, FILE* stream);
size_t ossStreamWrite(const void* buffer, size_t size, size_t count, FILE* stream);
char* ossStreamGets(char* buffer, int size, FILE* stream);
// Writes text; 0 on success, non-zero when the stream refused it.
int ossStreamPuts(const char* text, FILE* stream);
int ossStreamSeek(FILE* stream, int64_t offset, int whence);
int64_t ossStreamTell(FILE* stream);
// Flushes the stream and its file to stable storage (fflush + fsync, or
// FlushFileBuffers); 0 on success.
int ossStreamSync(FILE* stream);
// fclose; the stream is gone whatever the result.
int ossStreamClose(FILE* stream);
// Flushes the stream and cuts its file to size bytes (it must be open for
// writing); 0 on success. Takes back a failed append, whose first bytes
// may already be in the file.
int ossStreamTruncate(FILE* stream, int64_t size);

// ---- errors, conversion, memory -------------------------------------------

// Maps a system error number (errno, or a Windows error) to a return code
// for the log. category: 0 C runtime (errno), 1 Windows error number. The
// table is in platform/errors.cpp: not found, access denied, lock taken,
// already exists, disk full, no memory, too long, bad argument, and
// OSS_RC_FAILED for anything else. With tracing on, an ERROR record keeps
// the raw error under functionId and probe.
unsigned ossErrorMapSystem(uint32_t functionId, uint32_t probe, uint32_t category,
                           uint32_t systemError, uint32_t reserved);
// The last C runtime error (errno).
int ossLastErrno();
// 0 and *value for "true/false", "yes/no", "on/off", "1/0" (any case;
// blanks around the word are ignored). Anything else: OSS_RC_BAD_ARGUMENT
// and *value false.
unsigned ossStrToBoolean(const char* text, bool* value);
// strtoll/strtoull semantics: *end stops at the first character not used
// (null text: 0 and *end null).
int64_t ossStrToSint64(const char* text, char** end, int base);
uint64_t ossStrToUint64(const char* text, char** end, int base);

// 0 and a block of size bytes; unit and line name the caller for the log.
unsigned _ossMemAlloc(void** block, size_t size, const char* unit, int line);
// As _ossMemAlloc, with the block filled with zero bytes; for large blocks
// the allocator hands out pages it knows are zero instead of writing them.
unsigned _ossMemAllocZeroed(void** block, size_t size, const char* unit, int line);
// Frees *block and sets it to null; 0.
unsigned _ossMemFree(void** block, const char* unit, int line);
#define ossMemAlloc(block, size, unit) _ossMemAlloc((void**)(block), (size), (unit), __LINE__)
#define ossMemAllocZeroed(block, size, unit) \
    _ossMemAllocZeroed((void**)(block), (size), (unit), __LINE__)
#define ossMemFree(block, unit) _ossMemFree((void**)(block), (unit), __LINE__)

// True only on the Windows 95 family (never, on the platforms built here).
extern bool g_bIsPlatformID_Win32On95;

// ---- diagnostic log -------------------------------------------------------
//
// Each call writes one line (time, process and thread, function identifier,
// probe, return code with its name, severity, and the data items formatted
// from fmt) to the file named by GENREG_LOG_FILE; nothing when it is unset.
// Logging never fails the caller.
enum : unsigned { OSS_SEVERITY_ERROR = 3, OSS_SEVERITY_WARNING = 4 };
//
// A line reads, fields separated by blanks:
//   2024-05-01T12:34:56.789Z pid=4711 tid=4712 func=0x082a0011 probe=3
//   rc=0x900001c4(GENREG_RC_LOCKED) [called=0x082a0202 calledRc=0x90000014(...)]
//   sev=3 data: <fmt's output, line ends replaced by blanks>
// (one line in the file; the called part only from ossLogRC). fmt is
// checked like printf's.
// (clang, which builds the fuzz targets, knows the archetype as printf.)
#if defined(__clang__)
#define OSS_PRINTF_FORMAT(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define OSS_PRINTF_FORMAT(fmtIndex, firstArg) \
    __attribute__((format(gnu_printf, fmtIndex, firstArg)))
#endif
void ossLog(uint32_t functionId, uint32_t probe, unsigned rc, unsigned severity, const char* fmt,
            ...) OSS_PRINTF_FORMAT(5, 6);
// A called function failed: calledId returned calledRc; the caller reports rc.
void ossLogRC(uint32_t functionId, uint32_t probe, uint32_t calledId, unsigned calledRc,
              unsigned rc, unsigned severity, const char* fmt, ...) OSS_PRINTF_FORMAT(7, 8);

// In-process capture of log entries, for tests: every entry is also passed
// to the sink while one is installed.
struct OSSLogEntry {
    uint32_t functionId;
    uint32_t probe;
    uint32_t calledId;  // 0 for ossLog
    unsigned calledRc;  // 0 for ossLog
    unsigned rc;
    unsigned severity;
    const char* data;  // the formatted data items
};
typedef void (*OSSLogSink)(const OSSLogEntry* entry, void* context);
void ossLogSetSink(OSSLogSink sink, void* context);

// ---- trace ----------------------------------------------------------------
//
// Active when GENREG_TRACE_FILE names a trace file (read when the library
// is loaded) or genregSetTraceFile was called: g_pGTCB is then present with
// a non-zero active word. When tracing is off its cost is one pointer test.
// Trace identifiers are 0x082Axxxx. Each call writes one line (format in
// platform/trace.cpp); the exit record shows the result: resultAddress is
// the address of the caller's 32-bit return code, and the code found there
// is printed with its name.
struct GTCB {
    volatile uint32_t active;
};
extern GTCB* g_pGTCB;
uint64_t ossThreadID();
void _gtraceEntry(uint64_t threadId, uint32_t functionId, uint64_t reserved, uint64_t level);
void _gtraceExit(uint64_t threadId, uint32_t functionId, uint64_t resultAddress, uint64_t reserved);
// Trace type codes of _gtraceVar items.
enum : uint32_t { OSS_TRACE_TEXT = 1, OSS_TRACE_U64 = 2, OSS_TRACE_U32 = 3, OSS_TRACE_BYTES = 4 };
// count items, each given as (uint32_t type, uint64_t size, const void* address);
// pass exactly those types (cast sizes and addresses): they are read back
// as such. A text's size bounds it (0: up to its terminator).
void _gtraceVar(uint64_t threadId, uint32_t functionId, uint32_t probe, uint32_t count, ...);
void _gtraceErrorVar(uint64_t threadId, uint32_t functionId, uint32_t probe, unsigned rc,
                     uint32_t count, ...);

// ---- process helpers for tests and tools ----------------------------------

// Milliseconds to sleep (used by bounded retries).
void ossSleepMs(unsigned milliseconds);
// Milliseconds on a clock that never goes back, from an arbitrary start
// (used to bound waits; unaffected by changes of the time of day).
uint64_t ossMonotonicMs();

#endif
