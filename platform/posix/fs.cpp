// Files and directories on POSIX: existence, creation, deletion, renaming,
// information, permissions, identity and the safe replacement of a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "genreg/trace.h"
#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

// Longest path the services handle; longer ones are refused, not cut.
constexpr size_t kPathMax = 4096;

bool statPath(const char* path, struct stat* info) {
    return path && ::stat(path, info) == 0;
}

// Copies the content and permission bits of from into a new file to (which
// must not exist) and makes it durable. Used when a hard link cannot be
// made, so that the old content is still kept under the backup name.
bool copyFile(const char* from, const char* to) {
    int in = ::open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat info;
    if (::fstat(in, &info) != 0) {
        ::close(in);
        return false;
    }
    int out =
        ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, info.st_mode & 07777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            ssize_t put = ::write(out, buffer + done, (size_t)(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0)
                ok = false;
            else
                done += put;
        }
        if (!ok) break;
    }
    if (ok && ::fsync(out) != 0) ok = false;
    int saved = errno;
    ::close(out);
    ::close(in);
    if (!ok) ::unlink(to);
    errno = saved;
    return ok;
}

}  // namespace

bool ossIsFile(const char* path) {
    struct stat info;
    return statPath(path, &info) && S_ISREG(info.st_mode);
}

bool ossIsDirectory(const char* path) {
    struct stat info;
    return statPath(path, &info) && S_ISDIR(info.st_mode);
}

unsigned ossPathKindOf(const char* path, OSSPathKind* kind) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_PATH_KIND, &rc);
    if (!path || !kind) return rc = OSS_RC_BAD_ARGUMENT;
    *kind = OSS_PATH_ABSENT;
    struct stat info;
    if (ossFaultHit(OSS_FAULT_QUERY) || ::lstat(path, &info) != 0) {
        // A missing name, or a missing directory on the way, is an answer.
        if (errno == ENOENT || errno == ENOTDIR) return rc;
        return rc = ossSysFail(OSS_FID_PATH_KIND, 1, "lstat", path);
    }
    *kind = S_ISREG(info.st_mode)   ? OSS_PATH_FILE
            : S_ISDIR(info.st_mode) ? OSS_PATH_DIRECTORY
            : S_ISLNK(info.st_mode) ? OSS_PATH_LINK
                                    : OSS_PATH_OTHER;
    return rc;
}

bool ossSysMakeDirectory(const char* path, uint64_t permissions) {
    if (ossFaultHit(OSS_FAULT_MKDIR)) return false;
    if (::mkdir(path, (mode_t)(permissions & 07777)) == 0) return true;
    int error = errno;
    if (error == EEXIST && ossIsDirectory(path)) return true;
    errno = error;
    return false;
}

unsigned ossFileDelete(const char* path) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_DELETE, &rc);
    if (!path) return rc = OSS_RC_BAD_ARGUMENT;
    if (ossFaultHit(OSS_FAULT_DELETE) || ::unlink(path) != 0) {
        if (errno == ENOENT) return rc = OSS_RC_FILE_NOT_FOUND;  // callers expect it
        rc = ossSysFail(OSS_FID_FILE_DELETE, 1, "unlink", path);
    }
    return rc;
}

unsigned ossFileRename(const char* from, const char* to) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_RENAME, &rc);
    if (!from || !to) return rc = OSS_RC_BAD_ARGUMENT;
    if (ossFaultHit(OSS_FAULT_RENAME) || ::rename(from, to) != 0) {
        rc = ossSysFail(OSS_FID_FILE_RENAME, 1, "rename", from);
        ossLog(OSS_FID_FILE_RENAME, 2, rc, OSS_SEVERITY_ERROR, "rename target %s", to);
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
    struct stat status;
    if (ossFaultHit(OSS_FAULT_INFO) || ::stat(request->path, &status) != 0) {
        rc = ossSysFail(OSS_FID_FILE_INFO, 2, "stat", request->path);
        return rc;
    }
    info->size = (uint64_t)status.st_size;
    info->permissions = (uint64_t)(status.st_mode & 07777);
    return rc;
}

unsigned ossFileSetPermissions(const char* path, uint64_t permissions) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SET_PERMISSIONS, &rc);
    if (!path) return rc = OSS_RC_BAD_ARGUMENT;
    if (ossFaultHit(OSS_FAULT_PERMISSIONS) || ::chmod(path, (mode_t)(permissions & 07777)) != 0) {
        rc = ossSysFail(OSS_FID_SET_PERMISSIONS, 1, "chmod", path);
    }
    return rc;
}

unsigned ossFileIdentityOfPath(const char* path, OSSFileIdentity* id) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_IDENTITY, &rc);
    if (!path || !id) return rc = OSS_RC_BAD_ARGUMENT;
    struct stat status;
    if (ossFaultHit(OSS_FAULT_INFO) || ::stat(path, &status) != 0) {
        rc = ossSysFail(OSS_FID_FILE_IDENTITY, 1, "stat", path);
        return rc;
    }
    id->volume = (uint64_t)status.st_dev;
    id->index = (uint64_t)status.st_ino;
    return rc;
}

unsigned ossFileIdentityOfHandle(intptr_t handle, OSSFileIdentity* id) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_IDENTITY, &rc);
    if (handle < 0 || !id) return rc = OSS_RC_BAD_ARGUMENT;
    struct stat status;
    if (ossFaultHit(OSS_FAULT_INFO) || ::fstat((int)handle, &status) != 0) {
        rc = ossSysFail(OSS_FID_FILE_IDENTITY, 2, "fstat", nullptr);
        return rc;
    }
    id->volume = (uint64_t)status.st_dev;
    id->index = (uint64_t)status.st_ino;
    return rc;
}

// The target stays present at every instant: the old file gets a second
// name (backup) first, then rename() atomically puts source in its place.
// When the file system cannot hard-link, the backup is a durable copy.
unsigned ossFileReplace(const char* source, const char* target, const char* backup,
                        bool* backupMade) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_FILE_REPLACE, &rc);
    if (backupMade) *backupMade = false;
    if (!source || !target || !backup || !backupMade) return rc = OSS_RC_BAD_ARGUMENT;
    bool linked = !ossFaultHit(OSS_FAULT_REPLACE) && ::link(target, backup) == 0;
    if (!linked && errno != ENOENT) {
        int linkError = errno;
        bool copyMayHelp = linkError == EPERM || linkError == EXDEV || linkError == EMLINK ||
                           linkError == ENOSYS || linkError == EOPNOTSUPP;
        if (!copyMayHelp || !copyFile(target, backup)) {
            rc = ossSysFailWith(OSS_FID_FILE_REPLACE, 1, 0, (uint32_t)linkError, "link", target);
            return rc;
        }
        linked = true;
    }
    if (linked) *backupMade = true;
    if (ossFaultHit(OSS_FAULT_RENAME) || ::rename(source, target) != 0) {
        rc = ossSysFail(OSS_FID_FILE_REPLACE, 2, "rename", source);
        if (linked) {
            // The target still holds the old content: the second name is
            // no longer needed.
            int saved = errno;
            ::unlink(backup);
            errno = saved;
            *backupMade = false;
        }
    }
    return rc;
}

unsigned ossSyncDirectoryOf(const char* path) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SYNC_DIRECTORY, &rc);
    char directory[kPathMax];
    rc = ossDirectoryName(path, directory, sizeof directory);
    if (rc != 0) return rc;
    int fd = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return rc = ossSysFail(OSS_FID_SYNC_DIRECTORY, 1, "open directory", directory);
    // Some file systems cannot sync a directory (EINVAL): nothing to make durable there.
    if (ossFaultHit(OSS_FAULT_SYNC) || (::fsync(fd) != 0 && errno != EINVAL)) {
        rc = ossSysFail(OSS_FID_SYNC_DIRECTORY, 2, "fsync directory", directory);
    }
    ::close(fd);
    return rc;
}
