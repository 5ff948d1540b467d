// Construction, teardown and the feature word of the registry handle, and
// the derivation of a registry file's companion file names.
#include <genreg/handle.h>
#include <genreg/rc.h>

#include <cstdio>
#include <cstring>

#include "genreg/handle_internal.h"
#include "genreg/trace.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_IS_FEATURE_SET = GENREG_FID(0x0001),
    FID_SET_FEATURE = GENREG_FID(0x0002),
    FID_UNSET_FEATURE = GENREG_FID(0x0003),
    FID_CHECK_PATH = GENREG_FID(0x0004),
    FID_DERIVE_PATHS = GENREG_FID(0x0005),
    FID_TEARDOWN = GENREG_FID(0x0006),
    FID_QUERY_MAX_RECORD_SIZE = GENREG_FID(0x0007),
};

// The feature word's public range: the nine defined bits.
const uint64_t kFeatureMax = 256;

bool featureInRange(uint64_t feature) {
    return feature >= 1 && feature <= kFeatureMax;
}

void clearPaths(GenRegFile* handle) {
    handle->filePath[0] = '\0';
    handle->backupPath[0] = '\0';
    handle->tempPath[0] = '\0';
    handle->corruptPath[0] = '\0';
    handle->lockPath[0] = '\0';
}

// snprintf into a path field; false when the text does not fit.
bool formatPath(char* field, const char* format, const char* a, const char* b = nullptr,
                char separator = '\0') {
    int n;
    if (separator)
        n = std::snprintf(field, GENREG_PATH_MAX, format, a, separator, b);
    else if (b)
        n = std::snprintf(field, GENREG_PATH_MAX, format, a, b);
    else
        n = std::snprintf(field, GENREG_PATH_MAX, format, a);
    return n >= 0 && n < GENREG_PATH_MAX;
}

}  // namespace

GenRegBase::GenRegBase()
    : CompareRecord(nullptr),
      ValidateRecord(nullptr),
      PrintRecord(nullptr),
      NotifyUpdate(nullptr),
      PostUpdate(nullptr),
      state(GENREG_STATE_INITIAL),
      features(0),
      storeKind(0),
      updateOriginator(0),
      GetRecordSize(nullptr),
      GetMaxRecordSize(nullptr) {}

bool GenRegBase::isFeatureSet(uint64_t feature) const {
    bool result = (features & feature) != 0;
    GENREG_TRACE(FID_IS_FEATURE_SET, &result);
    return result;
}

unsigned GenRegBase::setFeature(uint64_t feature) {
    unsigned rc = 0;
    GENREG_TRACE(FID_SET_FEATURE, &rc);
    if (!featureInRange(feature)) {
        rc = GENREG_RC_BAD_FEATURE;
        ossLog(FID_SET_FEATURE, 1, rc, OSS_SEVERITY_ERROR, "feature=0x%llx",
               (unsigned long long)feature);
        return rc;
    }
    features |= feature;
    return rc;
}

unsigned GenRegBase::unsetFeature(uint64_t feature) {
    unsigned rc = 0;
    GENREG_TRACE(FID_UNSET_FEATURE, &rc);
    if (!featureInRange(feature)) {
        rc = GENREG_RC_BAD_FEATURE;
        ossLog(FID_UNSET_FEATURE, 1, rc, OSS_SEVERITY_ERROR, "feature=0x%llx",
               (unsigned long long)feature);
        return rc;
    }
    if ((features & feature) == 0) {
        rc = GENREG_RC_FEATURE_NOT_SET;
        ossLog(FID_UNSET_FEATURE, 2, rc, OSS_SEVERITY_ERROR, "feature=0x%llx features=0x%llx",
               (unsigned long long)feature, (unsigned long long)features);
        return rc;
    }
    features &= ~feature;
    return rc;
}

GenRegFile::GenRegFile()
    : stream(nullptr), tempStream(nullptr), fileMode(0), lockFileMode(0), headerPending(1) {
    std::memset(&lockOpenParam, 0, sizeof lockOpenParam);
    lockOpenParam.version = OSS_INTERFACE_VERSION;
    clearPaths(this);
    state = GENREG_STATE_INITIAL;
}

GenRegFile::~GenRegFile() {
    GenRegTeardown(this);
}

GenRegText::GenRegText() : PackRecord(nullptr), UnpackRecord(nullptr) {
    storeKind = GENREG_STORE_TEXT;
}

GenRegText::~GenRegText() {
    GenRegTeardown(this);
}

GenRegBin::GenRegBin()
    : PackRecord(nullptr),
      UnpackRecord(nullptr),
      GetPackedSize(nullptr),
      UnpackStoredRecord(nullptr) {
    storeKind = GENREG_STORE_BINARY;
}

GenRegBin::~GenRegBin() {
    GenRegTeardown(this);
}

void GenRegTeardown(GenRegFile* handle) {
    GENREG_TRACE(FID_TEARDOWN, nullptr);
    // A hold the caller never gave up ends as UnlockForUpdate would end it,
    // lock file removed; if that fails, the close below still ends the lock.
    if (handle->state & GENREG_STATE_UPDATE_HOLD) handle->UnlockForUpdate();
    if (handle->state & GENREG_STATE_LOCK_HELD) {
        unsigned closeRc = handle->lockFile.close();
        if (closeRc != 0)
            ossLogRC(FID_TEARDOWN, 1, 0, closeRc, GENREG_RC_LOCK_CLOSE_FAILED, OSS_SEVERITY_ERROR,
                     "lock=%s", handle->lockPath);
    }
    if (handle->stream) {
        if (ossStreamClose(handle->stream) != 0)
            ossLog(FID_TEARDOWN, 2, GENREG_RC_FILE_CLOSE_FAILED, OSS_SEVERITY_ERROR,
                   "errno=%d file=%s", ossLastErrno(), handle->filePath);
        handle->stream = nullptr;
    }
    if (handle->tempStream) {
        if (ossStreamClose(handle->tempStream) != 0)
            ossLog(FID_TEARDOWN, 3, GENREG_RC_TEMP_CLOSE_FAILED, OSS_SEVERITY_ERROR,
                   "errno=%d temp=%s", ossLastErrno(), handle->tempPath);
        handle->tempStream = nullptr;
    }
    handle->state = GENREG_STATE_INITIAL;
}

unsigned GenRegCheckPath(const char* path, uint32_t functionId) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CHECK_PATH, &rc);
    if (path == nullptr || path[0] == '\0') {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(functionId, 1, rc, OSS_SEVERITY_ERROR, "path=%s", path ? "(empty)" : "(null)");
        return rc;
    }
    // Leaves room for the ".tmp" and ".cor" companions in a 260-byte field.
    const size_t kPathLimit = 254;
    size_t length = std::strlen(path);
    if (length >= kPathLimit) {
        rc = GENREG_RC_PATH_TOO_LONG;
        ossLog(functionId, 2, rc, OSS_SEVERITY_ERROR, "length=%zu", length);
    }
    return rc;
}

unsigned GenRegDerivePaths(GenRegFile* handle, const char* path, uint32_t functionId) {
    unsigned rc = 0;
    GENREG_TRACE(FID_DERIVE_PATHS, &rc);
    char base[GENREG_PATH_MAX + 1];
    char dir[GENREG_PATH_MAX + 1];
    unsigned ossRc = ossBaseName(path, base, sizeof base);
    if (ossRc != 0) {
        rc = GENREG_RC_BASENAME_FAILED;
        ossLogRC(functionId, 3, 0, ossRc, rc, OSS_SEVERITY_ERROR, "path=%s", path);
        return rc;
    }
    ossRc = ossDirectoryName(path, dir, sizeof dir);
    if (ossRc != 0) {
        rc = GENREG_RC_DIRNAME_FAILED;
        ossLogRC(functionId, 4, 0, ossRc, rc, OSS_SEVERITY_ERROR, "path=%s", path);
        return rc;
    }
    // The dotted companions sit beside the file, in the directory part as
    // the caller wrote it: a separator added after a drive-relative "C:"
    // or a lone leading one would move them to a drive root or make a
    // network name of them. A file in the current directory ("reg",
    // "./reg") has bare companion names.
    const char* beside = std::strcmp(dir, ".") == 0 ? base : path;
    ossRc = ossSiblingPath(beside, ".", ".lock", handle->lockPath, GENREG_PATH_MAX);
    if (ossRc == 0)
        ossRc = ossSiblingPath(beside, ".", ".bkp", handle->backupPath, GENREG_PATH_MAX);
    if (ossRc != 0 && ossRc != OSS_RC_BUFFER_TOO_SMALL) {
        // A path without a last component (a root alone) names no file.
        clearPaths(handle);
        rc = GENREG_RC_BASENAME_FAILED;
        ossLogRC(functionId, 3, 0, ossRc, rc, OSS_SEVERITY_ERROR, "path=%s", path);
        return rc;
    }
    bool fits = ossRc == 0 && formatPath(handle->filePath, "%s", path) &&
                formatPath(handle->tempPath, "%s.tmp", path) &&
                formatPath(handle->corruptPath, "%s.cor", path);
    // Every name must also be one the system can use in full, or the
    // update would fail half-way, at its commit.
    const char* const names[] = {handle->filePath, handle->tempPath, handle->corruptPath,
                                 handle->lockPath, handle->backupPath};
    for (size_t i = 0; fits && i < sizeof names / sizeof names[0]; ++i)
        fits = ossCheckPathLength(names[i]) == 0;
    if (!fits) {
        // A companion name cut short would name some other file.
        clearPaths(handle);
        rc = GENREG_RC_PATH_TOO_LONG;
        ossLog(functionId, 5, rc, OSS_SEVERITY_ERROR, "path=%s", path);
        return rc;
    }
    handle->state |= GENREG_STATE_PATHS_SET;
    return rc;
}

unsigned GenRegQueryMaxRecordSize(const GenRegBase* handle, uint32_t functionId,
                                  uint32_t firstProbe, uint64_t* max) {
    unsigned rc = 0;
    GENREG_TRACE(FID_QUERY_MAX_RECORD_SIZE, &rc);
    *max = 0;
    if (handle->GetMaxRecordSize == nullptr) {
        rc = GENREG_RC_NO_MAX_SIZE_SLOT;
        ossLog(functionId, firstProbe, rc, OSS_SEVERITY_ERROR, "slot=GetMaxRecordSize");
        return rc;
    }
    handle->GetMaxRecordSize(max);
    if (*max < GENREG_RECORD_MIN)
        rc = GENREG_RC_RECORD_TOO_SMALL;
    else if (*max > GENREG_RECORD_MAX)
        rc = GENREG_RC_RECORD_TOO_LARGE;
    if (rc != 0)
        ossLog(functionId, firstProbe + 1, rc, OSS_SEVERITY_ERROR, "max=%llu",
               (unsigned long long)*max);
    return rc;
}
