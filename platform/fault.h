// Fault injection and resource accounting for tests of the OS services.
//
// Compiled only when GENREG_FAULT_INJECTION is defined. A test arms one
// kind of call ("the 3rd write from now") with a system error; that call
// then fails as if the operating system had refused it (errno or the
// Windows last-error value is set to the error), and every caller sees the
// same failure path as in real life. While nothing is armed the cost at
// each call site is one test of a global.
//
// The resource counters follow what the layer hands out: OS file handles
// held by OSSHFile, streams opened through the layer, locks held by
// OSSHFile, and blocks of _ossMemAlloc. A test reads them before and after
// an operation to prove that nothing leaked on any path.
//
// Without GENREG_FAULT_INJECTION the hooks below are empty inline functions
// and the test interface does not exist.
#ifndef GENREG_PLATFORM_FAULT_H
#define GENREG_PLATFORM_FAULT_H

#include <cstdint>

enum OSSFaultKind : uint32_t {
    OSS_FAULT_OPEN,         // OSSHFile::open, stream open, exclusive create, fd bridge
    OSS_FAULT_LOCK,         // OSSHFile::lock, OSSHFile::unlock
    OSS_FAULT_READ,         // ossStreamRead, ossStreamGets
    OSS_FAULT_WRITE,        // ossStreamWrite, ossStreamPuts
    OSS_FAULT_SYNC,         // ossStreamSync, ossSyncDirectoryOf
    OSS_FAULT_RENAME,       // ossFileRename
    OSS_FAULT_REPLACE,      // ossFileReplace (the link or replace step)
    OSS_FAULT_DELETE,       // ossFileDelete
    OSS_FAULT_MKDIR,        // ossDirectoryCreate
    OSS_FAULT_INFO,         // ossFileGetInfoV9, identity queries, stream size
    OSS_FAULT_PERMISSIONS,  // ossFileSetPermissions, ossStreamCopyOwner
    OSS_FAULT_ALLOC,        // _ossMemAlloc
    OSS_FAULT_CLOSE,        // ossStreamClose, OSSHFile::close
    OSS_FAULT_QUERY,        // ossPathKindOf (existence and type of a name)
    OSS_FAULT_SEEK,         // ossStreamSeek, ossStreamTell, ossStreamTruncate
    OSS_FAULT_KIND_COUNT
};

enum OSSResourceKind : uint32_t {
    OSS_RESOURCE_HANDLE,      // OS handles held by an OSSHFile
    OSS_RESOURCE_STREAM,      // streams opened through the layer
    OSS_RESOURCE_LOCK,        // locks held by an OSSHFile
    OSS_RESOURCE_ALLOCATION,  // blocks from _ossMemAlloc not yet freed
    OSS_RESOURCE_KIND_COUNT
};

#ifdef GENREG_FAULT_INJECTION

// ---- hooks used by the backends --------------------------------------------

// Counts a call of kind and reports whether it must fail; when it must,
// the system error has already been set (errno / SetLastError).
bool ossFaultHitSlow(OSSFaultKind kind);
extern volatile bool g_ossFaultCounting;
inline bool ossFaultHit(OSSFaultKind kind) {
    return g_ossFaultCounting && ossFaultHitSlow(kind);
}
void ossResourceAdjust(OSSResourceKind kind, int delta);

// ---- interface for tests ---------------------------------------------------

// Starts counting calls (all counters back to zero) and disarms.
void ossFaultReset();
// The nth call of kind from now (1 = the next one) fails with
// systemError (0: a realistic default for the kind and the platform).
// Counting is switched on if it was off.
void ossFaultArm(OSSFaultKind kind, uint32_t nth, uint32_t systemError);
// Disarms and stops counting.
void ossFaultDisarm();
// Calls of kind counted since the last ossFaultReset.
uint64_t ossFaultCalls(OSSFaultKind kind);
// True once the armed failure was delivered.
bool ossFaultFired();
// Current value of a resource counter (never reset: it is a balance).
int64_t ossResourceCount(OSSResourceKind kind);
// The realistic system error a kind fails with by default (backend).
uint32_t ossFaultDefaultError(OSSFaultKind kind);
// Sets the thread's system error to systemError, a native error of the
// platform (backend: errno; or SetLastError and the matching errno).
void ossFaultSetSystemError(uint32_t systemError);

#else

inline bool ossFaultHit(OSSFaultKind) {
    return false;
}
inline void ossResourceAdjust(OSSResourceKind, int) {}

#endif

#endif
