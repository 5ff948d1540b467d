// Files and directories on Windows: existence, creation, deletion, renaming,
// information, permissions, identity and the safe replacement of a file.
//
// Permission bits: Windows keeps only the read-only attribute. A file
// reports 0666, or 0444 when read-only (0777/0555 for a directory); setting
// bits without the owner's write bit (0200) makes the file read-only, and
// with it clears that attribute.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "genreg/trace.h"
#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"
#include "platform/win32/file_state.h"

namespace {

bool attributesOf(const char* path, DWORD* attributes) {
    if (!path) return false;
    *attributes = GetFileAttributesA(path);
    return *attributes != INVALID_FILE_ATTRIBUTES;
}

// MoveFileExA replacing the target. A rename cannot replace a file that is
// open (a reader between two lines, a scanner or indexer): such refusals
// are retried within the budget of file_state.h; a permanent one (a
// directory or read-only file in the way, an access control list) fails
// at once. *attempts tells how many calls were made.
BOOL moveReplacing(const char* from, const char* to, int* attempts) {
    for (int attempt = 1;; ++attempt) {
        *attempts = attempt;
        if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return TRUE;
        DWORD error = GetLastError();
        if (attempt >= kOssWinShareRetries || !ossWinRefusalIsTransient(from, to, error)) {
            SetLastError(error);
            return FALSE;
        }
        ossSleepMs(ossWinShareRetryDelayMs(attempt - 1));
    }
}

// The absolute form of path in a MAX_PATH buffer; false when it does not fit.
bool fullPath(const char* path, char (&out)[MAX_PATH]) {
    DWORD length = GetFullPathNameA(path, MAX_PATH, out, nullptr);
    if (length >= MAX_PATH) SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return length > 0 && length < MAX_PATH;
}

unsigned identityOf(HANDLE file, OSSFileIdentity* id, const char* path) {
    BY_HANDLE_FILE_INFORMATION info;
    if (ossFaultHit(OSS_FAULT_INFO) || !GetFileInformationByHandle(file, &info))
        return ossSysFail(OSS_FID_FILE_IDENTITY, 1, "GetFileInformationByHandle", path);
    id->volume = info.dwVolumeSerialNumber;
    id->index = ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
    return 0;
}

}  // namespace

bool ossIsFile(const char* path) {
    DWORD attributes;
    return attributesOf(path, &attributes) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ossIsDirectory(const char* path) {
    DWORD attributes;
    return attributesOf(path, &attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

unsigned ossPathKindOf(const char* path, OSSPathKind* kind) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_PATH_KIND, &rc);
    if (!path || !kind) return rc = OSS_RC_BAD_ARGUMENT;
    *kind = OSS_PATH_ABSENT;
    // GetFileAttributesA describes a reparse point itself, not its target.
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (!ossFaultHit(OSS_FAULT_QUERY)) attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return rc;
        return rc = ossSysFail(OSS_FID_PATH_KIND, 1, "GetFileAttributesA", path);
    }
    *kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? OSS_PATH_LINK
            : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? OSS_PATH_DIRECTORY
            : (attributes & FILE_ATTRIBUTE_DEVICE)      ? OSS_PATH_OTHER
                                                        : OSS_PATH_FILE;
    return rc;
}

// Permission bits are not applied: a new directory inherits its parent's ACL.
bool ossSysMakeDirectory(const char* path, uint64_t /*permissions*/) {
    if (ossFaultHit(OSS_FAULT_MKDIR)) return false;
    if (CreateDirectoryA(path, nullptr)) return true;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && ossIsDirectory(path)) return true;
    SetLastError(error);
    return false;
}

// A file that another process holds open (with delete sharing) is only
// marked for deletion by DeleteFileA: its name stays, and cannot even be
// opened, until the last handle closes. Moving the file to a private name
// first frees the name at once, as on POSIX, so that a new file (a new lock
// file, say) can take it while the old one is still held.
unsigned ossFileDelete(const char* path) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_DELETE, &rc);
    if (!path) return rc = OSS_RC_BAD_ARGUMENT;
    if (ossFaultHit(OSS_FAULT_DELETE))
        return rc = ossSysFail(OSS_FID_FILE_DELETE, 1, "DeleteFileA", path);
    static volatile LONG counter = 0;
    char aside[MAX_PATH];
    int length = std::snprintf(aside, sizeof aside, "%s.~deleted-%lu-%ld", path,
                               GetCurrentProcessId(), InterlockedIncrement(&counter));
    bool movedAside = length > 0 && (size_t)length < sizeof aside && MoveFileExA(path, aside, 0);
    if (movedAside) {
        if (ossWinDeleteName(aside)) return rc;
        DWORD error = GetLastError();
        MoveFileExA(aside, path, 0);  // could not delete: the file keeps its name
        SetLastError(error);
    } else {
        if (ossWinDeleteName(path)) return rc;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return rc = OSS_RC_FILE_NOT_FOUND;  // callers expect it
    }
    return rc = ossSysFail(OSS_FID_FILE_DELETE, 2, "DeleteFileA", path);
}

unsigned ossFileRename(const char* from, const char* to) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_RENAME, &rc);
    if (!from || !to) return rc = OSS_RC_BAD_ARGUMENT;
    int attempts = 0;
    if (ossFaultHit(OSS_FAULT_RENAME) || !moveReplacing(from, to, &attempts)) {
        rc = ossSysFail(OSS_FID_FILE_RENAME, 1, "MoveFileExA", from);
        ossLog(OSS_FID_FILE_RENAME, 2, rc, OSS_SEVERITY_ERROR, "rename target %s attempts=%d", to,
               attempts);
    }
    return rc;
}

unsigned ossFileGetInfoV9(const OSSFileInfoRequest* request, OSSFileInfo* info) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_INFO, &rc);
    if (!request || request->version != OSS_INTERFACE_VERSION || !request->path || !info) {
        rc = OSS_RC_BAD_ARGUMENT;
        ossLog(OSS_FID_FILE_INFO, 1, rc, OSS_SEVERITY_ERROR, "bad information request");
        return rc;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (ossFaultHit(OSS_FAULT_INFO) ||
        !GetFileAttributesExA(request->path, GetFileExInfoStandard, &data)) {
        rc = ossSysFail(OSS_FID_FILE_INFO, 2, "GetFileAttributesExA", request->path);
        return rc;
    }
    info->size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    bool directory = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    bool readOnly = data.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    info->permissions = (readOnly ? 0444 : 0666) | (directory ? 0111 : 0);
    return rc;
}

unsigned ossFileSetPermissions(const char* path, uint64_t permissions) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SET_PERMISSIONS, &rc);
    if (!path) return rc = OSS_RC_BAD_ARGUMENT;
    DWORD attributes = 0;
    bool ok = !ossFaultHit(OSS_FAULT_PERMISSIONS) && attributesOf(path, &attributes);
    if (ok) {
        DWORD wanted = (permissions & 0200) ? (attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY)
                                            : (attributes | FILE_ATTRIBUTE_READONLY);
        if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
        ok = wanted == attributes || SetFileAttributesA(path, wanted);
    }
    if (!ok) rc = ossSysFail(OSS_FID_SET_PERMISSIONS, 1, "SetFileAttributesA", path);
    return rc;
}

// Every A call of the system, and the swap's absolute names, need the
// absolute form of a name within MAX_PATH; a longer one would fail only at
// the commit, after the copy was written.
unsigned ossCheckPathLength(const char* path) {
    if (!path) return OSS_RC_BAD_ARGUMENT;
    char full[MAX_PATH];
    if (fullPath(path, full)) return 0;
    if (GetLastError() != ERROR_FILENAME_EXCED_RANGE && std::strlen(path) < MAX_PATH)
        return ossSysFail(OSS_FID_FILE_INFO, 3, "GetFullPathNameA", path);
    return OSS_RC_BUFFER_TOO_SMALL;
}

unsigned ossFileIdentityOfPath(const char* path, OSSFileIdentity* id) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_IDENTITY, &rc);
    if (!path || !id) return rc = OSS_RC_BAD_ARGUMENT;
    // No access rights are needed to read the identity; backup semantics
    // lets the same call describe a directory.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        rc = ossSysFail(OSS_FID_FILE_IDENTITY, 2, "CreateFileA", path);
        return rc;
    }
    rc = identityOf(file, id, path);
    CloseHandle(file);
    return rc;
}

unsigned ossFileIdentityOfHandle(intptr_t handle, OSSFileIdentity* id) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_IDENTITY, &rc);
    if (handle == -1 || !id) return rc = OSS_RC_BAD_ARGUMENT;
    rc = identityOf((HANDLE)handle, id, nullptr);
    return rc;
}

namespace {

// Errors of CreateHardLinkA that mean "this volume cannot do it" rather
// than a problem with these files.
bool linksUnsupported(DWORD error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_NOT_SAME_DEVICE || error == ERROR_TOO_MANY_LINKS ||
           error == ERROR_ACCESS_DENIED;
}

// ReplaceFileA, retrying short sharing violations. On false the last error
// is set; target still holds the old content.
bool replaceWithReplaceFile(const char* source, const char* target, const char* backup) {
    for (int attempt = 0; attempt < kOssWinShareRetries; ++attempt) {
        if (attempt) ossSleepMs(ossWinShareRetryDelayMs(attempt - 1));
        if (ReplaceFileA(target, source, backup, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
            return true;
        DWORD error = GetLastError();
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            // target already carries the backup name and source could not
            // take its place: give the old content its name back.
            MoveFileExA(backup, target, MOVEFILE_WRITE_THROUGH);
        }
        if (!ossWinRefusalIsTransient(source, target, error) &&
            error != ERROR_UNABLE_TO_REMOVE_REPLACED &&
            error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            SetLastError(error);
            return false;
        }
        SetLastError(error);
    }
    return false;
}

// Makes backup hold target's content: a second hard link, or where the
// volume cannot link, ReplaceFileA (which also does the move: *moved) or a
// copy. On failure nothing is left at backup.
unsigned makeBackup(const char* source, const char* target, const char* backup, bool* moved) {
    *moved = false;
    if (CreateHardLinkA(backup, target, nullptr)) return 0;
    DWORD error = GetLastError();
    if (!linksUnsupported(error))
        return ossSysFailWith(OSS_FID_FILE_REPLACE, 5, 1, error, "CreateHardLinkA", backup);
    if (replaceWithReplaceFile(source, target, backup)) {
        *moved = true;
        return 0;
    }
    ossLog(OSS_FID_FILE_REPLACE, 6,
           ossErrorMapSystem(OSS_FID_FILE_REPLACE, 6, 1, GetLastError(), 0), OSS_SEVERITY_WARNING,
           "no hard link (%lu) nor ReplaceFileA (%lu); copying %s", error, GetLastError(), target);
    if (!CopyFileA(target, backup, TRUE))
        return ossSysFail(OSS_FID_FILE_REPLACE, 7, "CopyFileA", backup);
    return 0;
}

}  // namespace

// The old file gets the backup name as a second hard link, then MoveFileExA
// puts source over target in one rename of the file system (replace if
// exists), so that each step leaves a complete file under target's name.
// Before either step, source is given what target carries (hidden and
// system attributes, owner, group and DACL, file_state.h): the one open of
// target that reads them also asks for the right to delete it, so a program
// holding target in a way that blocks the rename is found before a backup
// exists. A read-only target would refuse the rename: its attribute is
// lifted for the swap (source already carries it, the backup, which is the
// old file, goes without it) and put back if the swap fails.
// ReplaceFileA is only the fallback for volumes without hard links: it
// renames target away before source takes its place, so for a moment no
// file has that name (concurrent readers then fail with error 2). The last
// resort copies target to backup before the move. All paths are made
// absolute, which ReplaceFileA needs on some systems.
unsigned ossFileReplace(const char* source, const char* target, const char* backup,
                        bool* backupMade) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_REPLACE, &rc);
    if (backupMade) *backupMade = false;
    if (!source || !target || !backup || !backupMade) return rc = OSS_RC_BAD_ARGUMENT;
    if (ossFaultHit(OSS_FAULT_REPLACE))
        return rc = ossSysFail(OSS_FID_FILE_REPLACE, 1, "CreateHardLinkA", target);
    char fullSource[MAX_PATH], fullTarget[MAX_PATH], fullBackup[MAX_PATH];
    if (!fullPath(source, fullSource) || !fullPath(target, fullTarget) ||
        !fullPath(backup, fullBackup)) {
        return rc = ossSysFail(OSS_FID_FILE_REPLACE, 2, "GetFullPathNameA", target);
    }
    int attempts = 0;
    if (!ossIsFile(fullTarget)) {
        // Nothing to keep: the source simply takes the name.
        if (!moveReplacing(fullSource, fullTarget, &attempts))
            rc = ossSysFail(OSS_FID_FILE_REPLACE, 3, "MoveFileExA", source);
        return rc;
    }
    if (!ossIsFile(fullSource)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return rc = ossSysFail(OSS_FID_FILE_REPLACE, 4, "replace", source);
    }
    OSSWinFileState state;
    rc = ossWinReadFileState(fullTarget, &state, OSS_FID_FILE_REPLACE, 10);
    if (rc == 0) rc = ossWinCarryFileState(fullSource, &state, OSS_FID_FILE_REPLACE, 12);
    ossWinFreeFileState(&state);
    if (rc != 0) return rc;
    const bool readOnly = state.attributes & FILE_ATTRIBUTE_READONLY;
    if (readOnly && !SetFileAttributesA(fullTarget, state.attributes & ~FILE_ATTRIBUTE_READONLY))
        return rc = ossSysFail(OSS_FID_FILE_REPLACE, 9, "SetFileAttributesA", target);
    bool moved = false;
    rc = makeBackup(fullSource, fullTarget, fullBackup, &moved);
    if (rc == 0 && !moved && !moveReplacing(fullSource, fullTarget, &attempts)) {
        rc = ossSysFail(OSS_FID_FILE_REPLACE, 8, "MoveFileExA", source);
        ossLog(OSS_FID_FILE_REPLACE, 8, rc, OSS_SEVERITY_ERROR, "target %s attempts=%d", target,
               attempts);
        // target still holds the old content; the backup is its second
        // name (or a copy) and goes again.
        ossWinDeleteName(fullBackup);
    } else if (rc == 0) {
        *backupMade = true;
    }
    if (rc != 0 && readOnly) SetFileAttributesA(fullTarget, state.attributes);
    return rc;
}

// Renames on Windows are made durable by MOVEFILE_WRITE_THROUGH (and
// REPLACEFILE_WRITE_THROUGH); directories cannot be flushed.
// The call still counts as a sync for fault injection, so that tests of the
// commit protocol run the same on both platforms.
unsigned ossSyncDirectoryOf(const char* path) {
    if (!path) return OSS_RC_BAD_ARGUMENT;
    if (ossFaultHit(OSS_FAULT_SYNC)) return ossSysFail(OSS_FID_SYNC_DIRECTORY, 1, "sync", path);
    return 0;
}
