// The operating-system file handle and its parameter blocks.
//
// A registry handle keeps its update-lock file open in an OSSHFile, so the
// type is part of the handle's layout; its operations are internal to the
// library (see platform/oss.h).
#ifndef GENREG_OSS_FILE_H
#define GENREG_OSS_FILE_H

#include <cstdint>

// Version word at the head of every parameter block.
#define OSS_INTERFACE_VERSION 0x09070000U

// OSSFileOpenParam.access
enum : uint32_t { OSS_ACCESS_READ = 1, OSS_ACCESS_WRITE = 2, OSS_ACCESS_APPEND = 4 };
// OSSFileLockParam.kind and .waitMode
enum : uint32_t { OSS_LOCK_EXCLUSIVE = 1, OSS_LOCK_SHARED = 2 };
enum : uint32_t { OSS_LOCK_WAIT = 1, OSS_LOCK_FAIL_AT_ONCE = 2 };
// OSSFileOpenParam.options (0: open the file, creating it when missing).
enum : uint32_t {
    // Never create: a missing file is OSS_RC_FILE_NOT_FOUND.
    OSS_OPEN_EXISTING = 0x1,
    // Refuse a symbolic link (Windows: a reparse point) at the name even
    // when it leads to a regular file, and a file that has a second name
    // (a hard link) anywhere.
    OSS_OPEN_NO_LINK = 0x2,
};

struct OSSFileOpenParam {
    uint32_t version;      // OSS_INTERFACE_VERSION
    const char* path;      // file to open; created when missing
    uint32_t disposition;  // always 2: open, creating the file when missing
    uint32_t access;       // OSS_ACCESS_*
    uint32_t options;      // OSS_OPEN_* (the slot was reserved, always 0, before)
    uint64_t permissions;  // permission bits of a created file (octal 0600 style)
};

struct OSSFileLockParam {
    uint32_t version;   // OSS_INTERFACE_VERSION
    uint32_t kind;      // OSS_LOCK_EXCLUSIVE or OSS_LOCK_SHARED
    uint32_t waitMode;  // OSS_LOCK_WAIT or OSS_LOCK_FAIL_AT_ONCE
};

// An open operating-system file and the whole-file lock held on it. Only a
// regular file is ever opened: a FIFO, device or directory at the name is
// refused without blocking (OSS_RC_NOT_REGULAR_FILE), and a file created
// because it was missing is never created through a link planted at the
// name (a dangling link there is refused the same way). The
// lock excludes other processes and other handles of the same process, and
// lasts until unlock() or close(), also after the handle was given to a
// stream. Not copyable; closing twice is harmless.
class OSSHFile {
public:
    OSSHFile();
    ~OSSHFile();
    OSSHFile(const OSSHFile&) = delete;
    OSSHFile& operator=(const OSSHFile&) = delete;

    unsigned open(const OSSFileOpenParam* param);
    unsigned lock(const OSSFileLockParam* param);
    unsigned unlock();
    unsigned close();
    // The operating-system handle (a descriptor on POSIX, a HANDLE on
    // Windows), or -1 when closed.
    intptr_t getFileHandle() const;
    bool isOpen() const;
    // Forgets the handle without closing it: a stream now owns it.
    void release();

private:
    intptr_t handle_;
    uint32_t lockKind_;  // 0 when not locked
};

#endif
