// The file transaction: how a registry file is read and replaced safely,
// and the helpers its units share with the scan cursor.
//
// ON-DISK PROTOCOL
//
// Names, for a registry file F (companion paths derived in handle.cpp):
//   F        the registry file (filePath)
//   F.tmp    the copy an update writes (tempPath)
//   F.cor    the corruption marker: the copy of the latest update that never
//            committed (corruptPath)
//   .F.bkp   the backup: the previous F, kept for the moment of the swap
//            (backupPath, in F's directory)
//   .F.lock  the lock file (lockPath, in F's directory); only its existence
//            and the OS lock on it count, its content is never read
//
// Two OS locks:
//   the update lock  exclusive lock on .F.lock, held by one updater for a
//                    whole update: AcquireUpdateLock .. ReleaseUpdateLock
//                    (transaction_lock.cpp)
//   the file lock    lock on F itself, held while a transaction's or a
//                    scan's stream on F is open: shared for reading,
//                    exclusive for appending in place
//
// Invariants. Code and tests refer to them by number.
//
// I1  One updater. At most one process holds the update lock at any instant.
//     A process that is granted the lock on an open .F.lock is the holder
//     only if the name .F.lock still refers to the file it locked; otherwise
//     it closes the file and tries again. The name is removed only by the
//     holder, and before it unlocks, so a file that a waiter is granted
//     after the holder's release no longer carries the name. (Shared update
//     locks, which no store takes, remove the name only when the releasing
//     holder is the last one.)
// I2  F never disappears. Once F exists, a file named F exists at every
//     instant of an update. The swap replaces F by one atomic rename of
//     F.tmp over F; F is never renamed away or deleted.
// I3  F is always whole. At every instant F holds either the complete
//     content before the update or the complete content after it, except
//     while an Add appends in place (I7). A reader that opens F during an
//     update reads one of the two completely: a rename replaces the name,
//     never the content of a file a reader has open.
// I4  The copy is fresh and durable. F.tmp is written only by the holder of
//     the update lock. It is created exclusively, after any left-over copy
//     has been set aside as F.cor (I6), so it never holds a left-over's
//     bytes and is never written through a link planted at its name. It is
//     flushed to stable storage before it is renamed over F, and F's
//     directory is flushed after the rename.
// I5  The backup holds the previous F. .F.bkp exists only between the
//     moment the swap makes it and its deletion right after the swap, or
//     after a failed swap or deletion. It is made as a second name of F
//     (hard link) or by the system's replace call, never by writing through
//     a name, and a stale .F.bkp is deleted before the swap.
// I6  The marker is the copy of the latest interrupted update. An update
//     begins by deleting F.cor and renaming whatever holds the name F.tmp
//     (a file, or a link, dangling or not: the name itself is looked at) to
//     F.cor. When the left-over cannot be set aside, the update fails
//     (GENREG_RC_TEMP_OPEN_FAILED) and leaves F and the left-over untouched.
//     An update that is refused or fails removes its own copy
//     (EndTransaction of a copy it will not commit), so a copy is left only
//     by an update that was killed or could not remove it. A lookup never
//     touches F.tmp or F.cor; nothing reads F.cor back.
// I9  Only regular files are opened, never blocking: a FIFO, device or
//     directory at F or .F.lock is refused (GENREG_RC_NOT_REGULAR_FILE).
//     .F.lock is never opened through a link, nor while it has a second
//     name (a hard link); a missing file is never created through a link
//     at its name; only an Add creates F, lookups open existing files only.
//     F.tmp takes F's owner and group, then its permission bits, all read
//     from the open F and set on the open F.tmp.
// I7  Appending in place (an Add with duplicates allowed, verification off,
//     no checksum) holds the exclusive file lock on F, only writes past F's
//     old end, and flushes F to stable storage before it unlocks: the old
//     content is never touched, and no copy or swap is involved.
// I8  Checksummed binary files (GENREG_FEATURE_CHECKSUM) are either empty or
//     a GENREG_CHECKSUM_HEADER_SIZE-byte header ("%d" of ComputeChecksum of
//     the data, NUL, zeros) followed by the data. An update writes records
//     only into F.tmp; EndTransaction of the update rewrites F.tmp into that
//     form before the copy is closed, flushed and swapped. Every reader
//     starts at the first record (offset 32 of a non-empty file).
//
// An update through a copy, instant by instant (Change shown; Add and
// Delete are alike; with GENREG_FEATURE_VERIFY the swap happens at the end
// of the verification pass instead, with the copy already closed and
// flushed). "old" and "new" are F's complete contents before and after.
//
//   step                          F     F.tmp          .F.bkp F.cor  .F.lock
//   start                         old   left-over?     -      any    -
//   AcquireUpdateLock             old   left-over?     -      any    held
//   Begin: delete F.cor           old   left-over?     -      -      held
//   Begin: F.tmp -> F.cor         old   -              -      l-o?   held
//   Begin: create F.tmp           old   empty          -      l-o?   held
//   the store writes the copy     old   partial        -      l-o?   held
//   End: header (I8), flush       old   new, durable   -      l-o?   held
//   End: stale .F.bkp deleted     old   new            -      l-o?   held
//   End: F linked to .F.bkp       old   new            old    l-o?   held
//   End: F.tmp renamed over F     new   -              old    l-o?   held
//   End: directory flushed        new   -              old    l-o?   held
//   End: .F.bkp deleted           new   -              -      l-o?   held
//   ReleaseUpdateLock             new   -              -      l-o?   -
//
// Why no content is lost: in every row F holds old or new whole (I2, I3),
// and new reaches F only after it is durable (I4). A crash before the
// rename leaves old in F and the copy in F.tmp, which the next update sets
// aside as F.cor (I6); a crash after it leaves new in F and perhaps
// .F.bkp, which the next commit deletes (I5). A failed update leaves F
// untouched. An update abandoned before its commit (EndTransaction with
// GENREG_TXN_READ) removes its copy (I6).
#include <genreg/rc.h>

#include "genreg/transaction.h"
#include "genreg/transaction_internal.h"
#include "platform/oss.h"

unsigned GenRegOpenLockedStream(const GenRegStreamRequest* request, FILE** stream,
                                uint32_t functionId) {
    unsigned rc = 0;
    GENREG_TRACE(FID_OPEN_LOCKED_STREAM, &rc);
    OSSHFile file;
    OSSFileOpenParam open = {};
    open.version = OSS_INTERFACE_VERSION;
    open.path = request->path;
    open.disposition = 2;
    open.access = request->access;
    open.options = request->options;
    open.permissions = request->permissions;
    unsigned ossRc = file.open(&open);
    if (ossRc != 0) {
        rc = ossRc == OSS_RC_FILE_NOT_FOUND && (request->options & OSS_OPEN_EXISTING)
                 ? GENREG_RC_FILE_NOT_FOUND
                 : GenRegRefusalCode(ossRc, GENREG_RC_FILE_OPEN_FAILED);
        ossLogRC(functionId, 101, 0, ossRc, rc, OSS_SEVERITY_ERROR, "file=%s access=%u",
                 request->path, request->access);
        return rc;
    }
    OSSFileLockParam lock = {OSS_INTERFACE_VERSION, request->lockKind, OSS_LOCK_WAIT};
    ossRc = file.lock(&lock);
    if (ossRc != 0) {
        file.close();
        rc = GENREG_RC_FILE_LOCK_FAILED;
        ossLogRC(functionId, 102, 0, ossRc, rc, OSS_SEVERITY_ERROR, "file=%s kind=%u",
                 request->path, request->lockKind);
        return rc;
    }
    int fd = ossOpenOsfHandle(file.getFileHandle(), request->fdFlags);
    if (fd < 0) {
        int error = ossLastErrno();
        file.close();
        rc = GENREG_RC_FILE_OPEN_FAILED;
        ossLog(functionId, 103, rc, OSS_SEVERITY_ERROR, "errno=%d file=%s flags=0x%x", error,
               request->path, request->fdFlags);
        return rc;
    }
    FILE* opened = ossFdOpen(fd, request->mode);
    if (opened == nullptr) {
        // The descriptor owns the handle now: closing it closes both (on
        // Windows the descriptor is a slot of its own that would otherwise
        // stay taken). The lock is given up first, as a close would.
        int error = ossLastErrno();
        file.unlock();
        file.release();
        ossFdClose(fd);
        rc = GENREG_RC_FILE_OPEN_FAILED;
        ossLog(functionId, 104, rc, OSS_SEVERITY_ERROR, "errno=%d file=%s mode=%s", error,
               request->path, request->mode);
        return rc;
    }
    // The stream owns the OS handle and its lock from here on.
    file.release();
    *stream = opened;
    return rc;
}

unsigned GenRegOpenForInspection(const GenRegFile* handle, FILE** stream, uint32_t functionId) {
    *stream = nullptr;
    // Asked first, so that the usual case of a first Add logs nothing; a
    // query that cannot tell fails, never counts as "no file".
    OSSPathKind kind = OSS_PATH_ABSENT;
    unsigned ossRc = ossPathKindOf(handle->filePath, &kind);
    if (ossRc != 0) {
        unsigned rc = GenRegRefusalCode(ossRc, GENREG_RC_FILE_OPEN_FAILED);
        ossLogRC(functionId, 105, 0, ossRc, rc, OSS_SEVERITY_ERROR,
                 "cannot tell whether file=%s exists", handle->filePath);
        return rc;
    }
    if (kind == OSS_PATH_ABSENT) return 0;
    GenRegStreamRequest request = {};
    request.path = handle->filePath;
    request.access = OSS_ACCESS_READ;
    request.lockKind = OSS_LOCK_SHARED;
    request.fdFlags = 0;
    request.mode = "rb";
    request.permissions = kGenRegDefaultFileMode;
    request.options = OSS_OPEN_EXISTING;
    unsigned rc = GenRegOpenLockedStream(&request, stream, functionId);
    return rc == GENREG_RC_FILE_NOT_FOUND ? 0 : rc;
}

unsigned GenRegRefusalCode(unsigned ossRc, unsigned otherwise) {
    if (ossRc == OSS_RC_ACCESS_DENIED) return GENREG_RC_PERMISSION_DENIED;
    if (ossRc == OSS_RC_NOT_REGULAR_FILE) return GENREG_RC_NOT_REGULAR_FILE;
    return otherwise;
}

bool GenRegIsTellingFailure(unsigned rc) {
    return rc == GENREG_RC_PERMISSION_DENIED || rc == GENREG_RC_NOT_REGULAR_FILE;
}

unsigned GenRegCreateFileDirectory(const GenRegFile* handle, uint32_t option, uint32_t functionId) {
    char directory[GENREG_PATH_MAX];
    unsigned rc = ossDirectoryName(handle->filePath, directory, sizeof directory);
    if (rc != 0) {
        ossLogRC(functionId, 121, 0, rc, rc, OSS_SEVERITY_ERROR, "file=%s", handle->filePath);
        return rc;
    }
    // A link may well lead to the directory; whatever it leads to, the open
    // that follows tells.
    OSSPathKind kind = OSS_PATH_ABSENT;
    unsigned queryRc = ossPathKindOf(directory, &kind);
    if (queryRc != 0) {
        rc = GENREG_RC_DIR_CREATE_FAILED;
        ossLogRC(functionId, 123, 0, queryRc, rc, OSS_SEVERITY_ERROR,
                 "cannot tell whether directory=%s exists", directory);
        return rc;
    }
    if (kind == OSS_PATH_DIRECTORY || kind == OSS_PATH_LINK) return rc;
    OSSDirectoryCreateParam create = {OSS_INTERFACE_VERSION, directory, kGenRegDirectoryMode,
                                      option};
    unsigned ossRc = ossDirectoryCreate(&create);
    if (ossRc != 0) {
        rc = GENREG_RC_DIR_CREATE_FAILED;
        ossLogRC(functionId, 122, 0, ossRc, rc, OSS_SEVERITY_ERROR, "directory=%s", directory);
    }
    return rc;
}

unsigned GenRegSeekFirstRecord(const GenRegFile* handle, FILE* stream, unsigned seekFailedRc,
                               uint32_t functionId) {
    unsigned rc = 0;
    GENREG_TRACE(FID_SEEK_FIRST_RECORD, &rc);
    int64_t size = 0;
    if (GenRegIsChecksummed(handle)) {
        if (ossStreamSeek(stream, 0, SEEK_END) != 0 || (size = ossStreamTell(stream)) < 0) {
            rc = seekFailedRc;
            ossLog(functionId, 111, rc, OSS_SEVERITY_ERROR, "errno=%d file=%s", ossLastErrno(),
                   handle->filePath);
            return rc;
        }
        if (size > 0 && size < GENREG_CHECKSUM_HEADER_SIZE) {
            rc = GENREG_RC_READ_FAILED;
            ossLog(functionId, 112, rc, OSS_SEVERITY_ERROR, "size=%lld file=%s", (long long)size,
                   handle->filePath);
            return rc;
        }
    }
    int64_t first = size > 0 ? GENREG_CHECKSUM_HEADER_SIZE : 0;
    if (ossStreamSeek(stream, first, SEEK_SET) != 0) {
        rc = seekFailedRc;
        ossLog(functionId, 113, rc, OSS_SEVERITY_ERROR, "errno=%d offset=%lld file=%s",
               ossLastErrno(), (long long)first, handle->filePath);
    }
    return rc;
}
