// The service list: one "QVR" entry per installed copy, then at most one
// entry for the top-level copy, with one "PLV" entry placed just before
// the "QVR" entry of the first copy that holds administration-server
// profiles.
//
// Only the copies key stays open between calls (after the last copy the
// product root key takes its place); every other key is opened and closed
// within one call. The list keeps no copy name: each call reads the name
// at the copy index again, into the caller's record.
#include <genreg/directory.h>
#include <genreg/rc.h>

#include <cstring>

#include "genreg/trace.h"
#include "oss/product_registry.h"
#include "platform/oss.h"
#include "platform/registry.h"

namespace {

enum : uint32_t {
    FID_SERVICE_LIST_OPEN = GENREG_FID(0x0150),
    FID_SERVICE_LIST_NEXT = GENREG_FID(0x0151),
    FID_HAS_ADMIN_PROFILES = GENREG_FID(0x0152),
    FID_OPEN_SERVICE_LIST = GENREG_FID(0x0153),
    FID_GET_NEXT_SERVICE = GENREG_FID(0x0154),
    FID_CLOSE_SERVICE_LIST = GENREG_FID(0x0155),
    FID_GET_SERVICE_INFO = GENREG_FID(0x0156),
    FID_SET_SERVICE_INFO = GENREG_FID(0x0157),
    FID_REMOVE_SERVICE_INFO = GENREG_FID(0x0158),
};

struct DirServiceList {
    int32_t copyIndex;       // next subkey of copiesKey
    OSSRegKey copiesKey;     // INSTALLEDCOPIES, then the product root key
    uint32_t adminReported;  // set once a "PLV" entry was returned, never cleared
    uint8_t topLevel;        // the walk has moved to the top-level copy
};

uint32_t openList(bool view64, DirServiceList** result) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_SERVICE_LIST_OPEN, &rc);
    DirServiceList* list = nullptr;
    if (ossMemAlloc(&list, sizeof *list, "DirServiceList")) {
        rc = GENREG_RC_NO_MEMORY;
        ossLog(FID_SERVICE_LIST_OPEN, 1, rc, OSS_SEVERITY_ERROR, "service list handle");
        return rc;
    }
    std::memset(list, 0, sizeof *list);
    uint32_t error = ossRegOpenKey(ossRegLocalMachine(), DIR_COPIES_KEY, DirAccessMask(view64),
                                   &list->copiesKey);
    if (error) {
        // Unlike the instance list, a machine without installed copies has
        // no service list at all.
        rc = error == OSS_WINERR_FILE_NOT_FOUND
                 ? GENREG_RC_REGISTRY_KEY_NOT_FOUND
                 : ossErrorMapSystem(FID_SERVICE_LIST_OPEN, 2, 1, error, 0);
        ossLog(FID_SERVICE_LIST_OPEN, 2, rc, OSS_SEVERITY_ERROR, "error=%u key=%s", error,
               DIR_COPIES_KEY);
        ossMemFree(&list, "DirServiceList");
        return rc;
    }
    list->adminReported = 0;
    *result = list;
    return rc;
}

void closeList(DirServiceList* list) {
    ossRegCloseKey(list->copiesKey);
    ossMemFree(&list, "DirServiceList");
}

// Whether the copy's PLV_PROFILES key exists and has a subkey (a count
// that cannot be read counts as none).
bool hasAdminProfiles(const char* copyName, bool view64) {
    bool result = false;
    GENREG_TRACE(FID_HAS_ADMIN_PROFILES, &result);
    char path[DIR_KEY_PATH_SIZE];
    bool fits = *copyName ? DirFormatKey(path, "%s\\%s\\PLV_PROFILES", DIR_COPIES_KEY, copyName)
                          : DirFormatKey(path, "%s\\PLV_PROFILES", DIR_PRODUCT_KEY);
    OSSRegKey key = nullptr;
    if (!fits || ossRegOpenKey(ossRegLocalMachine(), path, DirAccessMask(view64), &key))
        return result;
    uint32_t count = 0;
    if (ossRegQuerySubkeyCount(key, &count)) count = 0;
    ossRegCloseKey(key);
    return result = count > 0;
}

uint32_t nextEntry(DirServiceList* list, OSSServiceInfo_t* info, bool view64) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_SERVICE_LIST_NEXT, &rc);
    if (list->topLevel) return rc = GENREG_RC_NOT_FOUND;

    uint32_t chars = sizeof info->copyName;
    uint32_t error =
        ossRegEnumKey(list->copiesKey, (uint32_t)list->copyIndex, info->copyName, &chars);
    if (error == OSS_WINERR_NO_MORE_ITEMS) {
        ossRegCloseKey(list->copiesKey);
        list->copiesKey = nullptr;
        list->topLevel = 1;
        info->copyName[0] = '\0';
        rc = ossRegOpenKey(ossRegLocalMachine(), DIR_PRODUCT_KEY, DirAccessMask(view64),
                           &list->copiesKey);
        if (rc) {
            ossLog(FID_SERVICE_LIST_NEXT, 1, rc, OSS_SEVERITY_ERROR, "error=%u key=%s", rc,
                   DIR_PRODUCT_KEY);
            return rc;
        }
    } else if (error) {
        // The index stays: every further call fails the same way.
        info->copyName[0] = '\0';
        rc = GENREG_RC_NEXT_SERVICE_FAILED;
        ossLog(FID_SERVICE_LIST_NEXT, 2, rc, OSS_SEVERITY_ERROR, "copy %d: error=%u",
               list->copyIndex, error);
        return rc;
    }

    // The position moves before anything is read, so a failed entry is not
    // met again.
    if (!list->adminReported && hasAdminProfiles(info->copyName, view64)) {
        list->adminReported = 1;
        std::strcpy(info->type, "PLV");  // the same copy follows as "QVR"
    } else {
        list->copyIndex += 1;
        std::strcpy(info->type, "QVR");
    }

    rc = DirReadCopyVersion(info->copyName, &info->versionCode, view64);
    if (rc == GENREG_RC_NOT_FOUND) return rc;
    if (rc) {
        error = rc;
        rc = GENREG_RC_NEXT_SERVICE_FAILED;
        ossLog(FID_SERVICE_LIST_NEXT, 3, rc, OSS_SEVERITY_ERROR, "level of copy '%s': error=%u",
               info->copyName, error);
        return rc;
    }
    // Top-level registrations of level 9 and later are not listed.
    if (list->topLevel && (info->versionCode >> 48) > 8) return rc = GENREG_RC_NOT_FOUND;

    rc = DirReadInstallPath(info->copyName, info->installPath, view64);
    if (rc == GENREG_RC_NOT_FOUND) return rc;
    if (rc) {
        error = rc;
        rc = GENREG_RC_SERVICE_INFO_FAILED;
        ossLog(FID_SERVICE_LIST_NEXT, 4, rc, OSS_SEVERITY_ERROR, "path of copy '%s': error=%u",
               info->copyName, error);
        return rc;
    }
    info->reserved1[0] = '\0';
    info->reserved2[0] = '\0';
    info->flags = 0;
    info->modification = (uint32_t)((info->versionCode >> 16) & 0xFFFF);
    info->reserved3 = 0;
    info->reserved4 = 0;
    info->reserved5 = 0;
    info->reserved6 = 0;
    return rc;
}

bool textMatches(const char* wanted, const char* stored) {
    return !wanted || std::strcmp(wanted, stored) == 0;
}

}  // namespace

unsigned ossOpenServiceList(void** list, bool view64) {
    unsigned rc = 0;
    GENREG_TRACE(FID_OPEN_SERVICE_LIST, &rc);
    if (!list) {
        rc = GENREG_RC_LIST_OPEN_FAILED;
        ossLog(FID_OPEN_SERVICE_LIST, 1, rc, OSS_SEVERITY_ERROR, "no place for the handle");
        return rc;
    }
    DirServiceList* opened = nullptr;
    uint32_t inner = openList(view64, &opened);
    if (inner) {
        rc = GENREG_RC_LIST_OPEN_FAILED;
        ossLogRC(FID_OPEN_SERVICE_LIST, 2, FID_SERVICE_LIST_OPEN, inner, rc, OSS_SEVERITY_ERROR,
                 "service list");
        return rc;
    }
    *list = opened;
    return rc;
}

unsigned ossGetNextService(void* list, OSSServiceInfo_t* info, bool view64) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_NEXT_SERVICE, &rc);
    if (!list) {
        rc = GENREG_RC_NULL_LIST_HANDLE;
        ossLog(FID_GET_NEXT_SERVICE, 1, rc, OSS_SEVERITY_ERROR, "list=null");
        return rc;
    }
    if (!info) {
        rc = GENREG_RC_NULL_SERVICE_INFO;
        ossLog(FID_GET_NEXT_SERVICE, 2, rc, OSS_SEVERITY_ERROR, "info=null");
        return rc;
    }
    uint32_t inner = nextEntry((DirServiceList*)list, info, view64);
    if (inner == 0 || inner == GENREG_RC_NOT_FOUND) return rc = inner;
    rc = GENREG_RC_NEXT_SERVICE_FAILED;
    ossLogRC(FID_GET_NEXT_SERVICE, 3, FID_SERVICE_LIST_NEXT, inner, rc, OSS_SEVERITY_ERROR,
             "copy=%.128s", info->copyName);
    return rc;
}

unsigned ossCloseServiceList(void* list) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CLOSE_SERVICE_LIST, &rc);
    if (!list) {
        rc = GENREG_RC_NULL_LIST_HANDLE;
        ossLog(FID_CLOSE_SERVICE_LIST, 1, rc, OSS_SEVERITY_ERROR, "list=null");
        return rc;
    }
    closeList((DirServiceList*)list);
    return rc;
}

unsigned ossGetServiceInfo(const char* type, uint64_t versionCode, const char* installPath,
                           const char* copyName, OSSServiceInfo_t* info, bool view64) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_SERVICE_INFO, &rc);
    if (!info) {
        rc = GENREG_RC_NULL_SERVICE_INFO;
        ossLog(FID_GET_SERVICE_INFO, 1, rc, OSS_SEVERITY_ERROR, "info=null");
        return rc;
    }
    DirServiceList* list = nullptr;
    uint32_t inner = openList(view64, &list);
    if (inner) {
        rc = GENREG_RC_SERVICE_INFO_FAILED;
        ossLogRC(FID_GET_SERVICE_INFO, 2, FID_SERVICE_LIST_OPEN, inner, rc, OSS_SEVERITY_ERROR,
                 "service lookup");
        return rc;
    }
    // Exact byte-for-byte comparisons: no case folding anywhere.
    while ((inner = nextEntry(list, info, view64)) == 0) {
        if (textMatches(type, info->type) && textMatches(installPath, info->installPath) &&
            textMatches(copyName, info->copyName) &&
            (versionCode == 0 || versionCode == info->versionCode))
            break;
    }
    closeList(list);
    if (inner == 0) return rc;
    rc = GENREG_RC_SERVICE_INFO_FAILED;
    if (inner != GENREG_RC_NOT_FOUND)
        ossLogRC(FID_GET_SERVICE_INFO, 3, FID_SERVICE_LIST_NEXT, inner, rc, OSS_SEVERITY_ERROR,
                 "type=%s", type ? type : "-");
    return rc;
}

unsigned ossGetServiceInfo(const char* type, uint64_t versionCode, const char* installPath,
                           OSSServiceInfo_t* info, bool view64) {
    return ossGetServiceInfo(type, versionCode, installPath, nullptr, info, view64);
}

unsigned ossSetServiceInfo(OSSServiceInfo_t* info) {
    unsigned rc = 0;
    GENREG_TRACE(FID_SET_SERVICE_INFO, &rc);
    if (!info) {
        rc = GENREG_RC_NULL_SERVICE_INFO;
        ossLog(FID_SET_SERVICE_INFO, 1, rc, OSS_SEVERITY_ERROR, "info=null");
        return rc;
    }
    return rc = GENREG_RC_NOT_SUPPORTED;
}

unsigned ossRemoveServiceInfo(const char*, uint64_t) {
    unsigned rc = GENREG_RC_NOT_SUPPORTED;
    GENREG_TRACE(FID_REMOVE_SERVICE_INFO, &rc);
    return rc;
}
