// Creating a directory together with its missing parents.
#include <cstring>

#include "genreg/trace.h"
#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

constexpr size_t kPathMax = 4096;

}  // namespace

// Both options (1 from a transaction, 2 from the update lock) create the
// whole chain of missing directories with the same permission bits.
unsigned ossDirectoryCreate(const OSSDirectoryCreateParam* param) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_DIRECTORY_CREATE, &rc);
    if (!param || param->version != OSS_INTERFACE_VERSION || !param->path || !param->path[0]) {
        rc = OSS_RC_BAD_ARGUMENT;
        ossLog(OSS_FID_DIRECTORY_CREATE, 1, rc, OSS_SEVERITY_ERROR, "bad directory block");
        return rc;
    }
    size_t length = std::strlen(param->path);
    if (length >= kPathMax) {
        rc = OSS_RC_BUFFER_TOO_SMALL;
        ossLog(OSS_FID_DIRECTORY_CREATE, 2, rc, OSS_SEVERITY_ERROR, "path too long: %s",
               param->path);
        return rc;
    }
    char partial[kPathMax];
    std::memcpy(partial, param->path, length + 1);
    // Every prefix that ends before a separator, then the whole path; the
    // root ("/", "C:\\", "\\\\server\\share\\") exists and is never created.
    for (size_t i = ossSysRootLength(partial) + 1; i <= length; ++i) {
        if (i < length && !ossSysIsSeparator(partial[i])) continue;
        if (ossSysIsSeparator(partial[i - 1])) continue;  // "a//b", "a/b/"
        char saved = partial[i];
        partial[i] = '\0';
        if (!ossSysMakeDirectory(partial, param->permissions)) {
            rc = ossSysFail(OSS_FID_DIRECTORY_CREATE, 3, "make directory", partial);
            return rc;
        }
        partial[i] = saved;
    }
    return rc;
}
