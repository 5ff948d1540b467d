// Opening, reading and closing instance lists.
#include "oss/instance_list.h"

#include <genreg/rc.h>

#include <cstring>

#include "genreg/trace.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_LIST_OPEN = DIR_FID_INSTANCE_LIST_OPEN,
    FID_COPY_WALK = GENREG_FID(0x0131),
    FID_LIST_NEXT = DIR_FID_INSTANCE_LIST_NEXT,
    FID_LIST_CLOSE = GENREG_FID(0x0133),
    FID_OPEN_INSTANCE_LIST = GENREG_FID(0x0134),
    FID_GET_NEXT_INSTANCE = GENREG_FID(0x0135),
    FID_CLOSE_INSTANCE_LIST = GENREG_FID(0x0136),
    FID_START_MODE = GENREG_FID(0x0137),
};

// Room for the longest key name the registry holds, and its terminator.
const uint32_t kLongestKeyName = 256;

void releaseProfilesKey(DirInstanceList* list) {
    ossRegCloseKey(list->profilesKey);
    list->profilesKey = nullptr;
}

// Moves to the next copy that has the kind's profiles key: the remaining
// installed copies first, then the top-level copy. 0 with profilesKey open
// and instanceIndex 0; otherwise the Windows error, with no profiles key.
uint32_t copyWalk(DirInstanceList* list, bool view64) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_COPY_WALK, &rc);
    uint32_t access = DirAccessMask(view64);
    for (;;) {
        OSSRegKey copyKey = nullptr;
        if (list->copiesKey) {
            uint32_t chars = DIR_COPY_NAME_SIZE;
            rc = ossRegEnumKey(list->copiesKey, (uint32_t)list->copyIndex, list->copyName, &chars);
            if (rc == OSS_WINERR_NO_MORE_ITEMS) {
                ossRegCloseKey(list->copiesKey);
                list->copiesKey = nullptr;
            } else if (rc) {
                list->copyName[0] = '\0';
                releaseProfilesKey(list);
                return rc;
            } else {
                list->copyIndex += 1;
                rc = ossRegOpenKey(list->copiesKey, list->copyName, access, &copyKey);
                if (rc) {
                    releaseProfilesKey(list);
                    return rc;
                }
            }
        }
        if (!list->copiesKey && !copyKey) {
            list->copyIndex = -1;
            list->copyName[0] = '\0';
            rc = ossRegOpenKey(ossRegLocalMachine(), DIR_PRODUCT_KEY, access, &copyKey);
            if (rc) {
                ossLog(FID_COPY_WALK, 1, rc, OSS_SEVERITY_ERROR,
                       "product root key cannot be opened: error=%u key=%s", rc, DIR_PRODUCT_KEY);
                releaseProfilesKey(list);
                return rc;
            }
        }
        releaseProfilesKey(list);
        rc = ossRegOpenKey(copyKey, kDirKinds[list->kind].profilesSubkey, access,
                           &list->profilesKey);
        ossRegCloseKey(copyKey);
        if (!rc) {
            list->instanceIndex = 0;
            return rc;
        }
        if (list->copyIndex == -1) return rc;
        // A named copy without this kind's profiles: go on with the next one.
    }
}

// The subkey of the profiles key at the instance index into instanceName.
// A name too long for the field is cut to its first 63 characters when
// cutLongName is set, and fails with 234 otherwise.
uint32_t enumInstanceName(DirInstanceList* list, OSSInstanceInfo_t* info, bool cutLongName) {
    uint32_t chars = sizeof info->instanceName;
    uint32_t rc =
        ossRegEnumKey(list->profilesKey, (uint32_t)list->instanceIndex, info->instanceName, &chars);
    if (rc != OSS_WINERR_MORE_DATA || !cutLongName) return rc;
    // The short buffer's content is undefined: read the whole name, then cut.
    char whole[kLongestKeyName];
    chars = sizeof whole;
    rc = ossRegEnumKey(list->profilesKey, (uint32_t)list->instanceIndex, whole, &chars);
    if (!rc) {
        std::memcpy(info->instanceName, whole, sizeof info->instanceName - 1);
        info->instanceName[sizeof info->instanceName - 1] = '\0';
    }
    return rc;
}

// Flags 0x1 and 0x10 from the start type of the service named like the
// instance. Every failure here only leaves the flags clear.
void readStartMode(DirInstanceList* list, OSSInstanceInfo_t* info) {
    unsigned rc = 0;
    GENREG_TRACE(FID_START_MODE, &rc);
    if (!list->manager) return;
    OSSService service = ossSvcOpenService(list->manager, info->instanceName);
    if (!service) return;
    uint32_t startType = 0;
    if (!ossSvcQueryStartType(service, &startType)) {
        if (startType == OSS_SERVICE_AUTO_START) info->flags |= OSS_INSTANCE_AUTOSTART;
        if (startType == OSS_SERVICE_DISABLED) info->flags |= OSS_INSTANCE_DISABLED;
    }
    ossSvcClose(service);
}

// Appends a backslash and the instance name to the profile directory of
// an instance entry: 111 when the result would not fit the field.
uint32_t appendInstanceName(OSSInstanceInfo_t* info) {
    size_t pathLength = std::strlen(info->profilePath);
    size_t nameLength = std::strlen(info->instanceName);
    if (pathLength + nameLength + 2 > sizeof info->profilePath) return OSS_WINERR_BUFFER_OVERFLOW;
    info->profilePath[pathLength] = '\\';
    std::memcpy(info->profilePath + pathLength + 1, info->instanceName, nameLength + 1);
    return 0;
}

int kindOfListType(const char* type) {
    if (std::strcmp(type, "QVR") == 0) return DIR_KIND_INSTANCE;
    if (std::strcmp(type, "PLV") == 0) return DIR_KIND_ADMIN;
    return DIR_KIND_NONE;
}

}  // namespace

const DirKind kDirKinds[2] = {
    {"QVR", "PROFILES", "Tavrin\\QVR\\PROFILES", "QVRINSTPROF"},
    {"PLV", "PLV_PROFILES", "Tavrin\\QVR\\PLV_PROFILES", "QVRPLVPROF"},
};

uint32_t DirInstanceListOpen(int kind, bool view64, DirInstanceList** result) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_LIST_OPEN, &rc);
    DirInstanceList* list = nullptr;
    if (ossMemAlloc(&list, sizeof *list, "DirInstanceList")) {
        rc = GENREG_RC_NO_MEMORY;
        ossLog(FID_LIST_OPEN, 1, rc, OSS_SEVERITY_ERROR, "instance list handle");
        return rc;
    }
    std::memset(list, 0, sizeof *list);

    uint32_t error = ossRegOpenKey(ossRegLocalMachine(), DIR_COPIES_KEY, DirAccessMask(view64),
                                   &list->copiesKey);
    if (error && error != OSS_WINERR_FILE_NOT_FOUND) {
        // A missing copies key only means that the walk starts at the
        // top-level copy; any other failure ends the open.
        rc = ossErrorMapSystem(FID_LIST_OPEN, 2, 1, error, 0);
        ossLog(FID_LIST_OPEN, 2, rc, OSS_SEVERITY_ERROR, "error=%u key=%s", error, DIR_COPIES_KEY);
        ossMemFree(&list, "DirInstanceList");
        return rc;
    }
    list->copyIndex = 0;
    if (kind == DIR_KIND_NONE) {
        rc = GENREG_RC_LIST_OPEN_FAILED;
        ossLog(FID_LIST_OPEN, 3, rc, OSS_SEVERITY_ERROR, "unknown list type");
        DirInstanceListClose(list);
        return rc;
    }
    list->kind = kind;
    error = copyWalk(list, view64);
    if (error) {
        rc = error == OSS_WINERR_FILE_NOT_FOUND ? GENREG_RC_REGISTRY_KEY_NOT_FOUND
                                                : GENREG_RC_LIST_OPEN_FAILED;
        ossLog(FID_LIST_OPEN, 4, rc, OSS_SEVERITY_ERROR, "no copy has the %s key: error=%u",
               kDirKinds[kind].profilesSubkey, error);
        DirInstanceListClose(list);
        return rc;
    }
    list->manager = ossSvcOpenManager();
    *result = list;
    return rc;
}

uint32_t DirInstanceListNext(DirInstanceList* list, OSSInstanceInfo_t* info, bool view64) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_LIST_NEXT, &rc);
    const DirKind& kind = kDirKinds[list->kind];
    if (!list->profilesKey) return rc = GENREG_RC_NOT_FOUND;

    uint32_t error = enumInstanceName(list, info, true);
    while (error == OSS_WINERR_NO_MORE_ITEMS) {
        if (list->copyIndex == -1) return rc = GENREG_RC_NOT_FOUND;
        error = copyWalk(list, view64);
        if (error) {
            if (error == OSS_WINERR_FILE_NOT_FOUND && list->copyIndex == -1)
                return rc = GENREG_RC_NOT_FOUND;
            rc = GENREG_RC_NEXT_INSTANCE_FAILED;
            ossLog(FID_LIST_NEXT, 1, rc, OSS_SEVERITY_ERROR, "copy walk: error=%u copy=%s", error,
                   list->copyName);
            return rc;
        }
        error = enumInstanceName(list, info, false);
    }
    if (error) {
        rc = GENREG_RC_NEXT_INSTANCE_FAILED;
        ossLog(FID_LIST_NEXT, 2, rc, OSS_SEVERITY_ERROR, "instance %d of copy '%s': error=%u",
               list->instanceIndex, list->copyName, error);
        return rc;
    }

    rc = DirReadCopyVersion(list->copyName, &info->versionCode, view64);
    if (rc == GENREG_RC_NOT_FOUND) return rc;
    if (rc) {
        error = rc;
        rc = GENREG_RC_INSTANCE_INFO_FAILED;
        ossLog(FID_LIST_NEXT, 3, rc, OSS_SEVERITY_ERROR, "level of copy '%s': error=%u",
               list->copyName, error);
        return rc;
    }
    // Top-level registrations of level 9 and later are not listed.
    if (list->copyIndex == -1 && (info->versionCode >> 48) > 8) return rc = GENREG_RC_NOT_FOUND;

    std::strcpy(info->type, kind.type);
    std::strcpy(info->copyName, list->copyName);
    info->flags = 0;
    info->reserved1[0] = '\0';
    info->installPath[0] = '\0';
    info->remoteName[0] = '\0';
    info->reserved2[0] = '\0';
    // Cleared too: a remote or cluster failure must not leave the previous
    // entry's directory (or the caller's garbage) behind the instance name.
    info->profilePath[0] = '\0';

    rc = DirReadInstallPath(list->copyName, info->installPath, view64);
    if (rc == GENREG_RC_NOT_FOUND) return rc;
    if (rc) {
        error = rc;
        rc = GENREG_RC_INSTANCE_INFO_FAILED;
        ossLog(FID_LIST_NEXT, 4, rc, OSS_SEVERITY_ERROR, "path of copy '%s': error=%u",
               list->copyName, error);
        return rc;
    }

    OSSRegKey instanceKey = nullptr;
    error =
        ossRegOpenKey(list->profilesKey, info->instanceName, DirAccessMask(view64), &instanceKey);
    if (error) {
        rc = error == OSS_WINERR_FILE_NOT_FOUND ? GENREG_RC_REGISTRY_KEY_NOT_FOUND
                                                : ossErrorMapSystem(FID_LIST_NEXT, 5, 1, error, 0);
        ossLog(FID_LIST_NEXT, 5, rc, OSS_SEVERITY_ERROR, "instance key '%s': error=%u",
               info->instanceName, error);
        return rc;
    }

    readStartMode(list, info);

    bool keepPosition = false;
    rc = DirInstanceProfilePath(list, instanceKey, info, view64, &keepPosition);
    if (keepPosition) {
        ossRegCloseKey(instanceKey);
        return rc;
    }
    if (list->kind == DIR_KIND_INSTANCE && info->profilePath[0] != '\0') {
        uint32_t appended = appendInstanceName(info);
        if (appended) {
            rc = appended;
            ossLog(FID_LIST_NEXT, 6, rc, OSS_SEVERITY_ERROR,
                   "profile directory and instance name '%s' do not fit", info->instanceName);
        }
    }
    ossRegCloseKey(instanceKey);
    list->instanceIndex += 1;
    return rc;
}

void DirInstanceListClose(DirInstanceList* list) {
    unsigned rc = 0;
    GENREG_TRACE(FID_LIST_CLOSE, &rc);
    DirInstanceClusterRelease(list);
    ossSvcClose(list->manager);
    ossRegCloseKey(list->profilesKey);
    ossRegCloseKey(list->copiesKey);
    ossMemFree(&list, "DirInstanceList");
}

unsigned ossOpenInstanceList(const char* type, void** list, bool view64) {
    unsigned rc = 0;
    GENREG_TRACE(FID_OPEN_INSTANCE_LIST, &rc);
    if (!type) {
        rc = GENREG_RC_NULL_LIST_TYPE;
        ossLog(FID_OPEN_INSTANCE_LIST, 1, rc, OSS_SEVERITY_ERROR, "type=null");
        return rc;
    }
    if (!list) {
        rc = GENREG_RC_NULL_LIST_HANDLE;
        ossLog(FID_OPEN_INSTANCE_LIST, 2, rc, OSS_SEVERITY_ERROR, "no place for the handle");
        return rc;
    }
    DirInstanceList* opened = nullptr;
    rc = DirInstanceListOpen(kindOfListType(type), view64, &opened);
    if (rc) {
        ossLogRC(FID_OPEN_INSTANCE_LIST, 3, FID_LIST_OPEN, rc, rc, OSS_SEVERITY_ERROR, "type=%s",
                 type);
        return rc;
    }
    *list = opened;
    return rc;
}

unsigned ossOpenInstanceList(const char* type, void** list, bool /*unused*/, bool view64) {
    return ossOpenInstanceList(type, list, view64);
}

unsigned ossGetNextInstance(void* list, OSSInstanceInfo_t* info, bool view64) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_NEXT_INSTANCE, &rc);
    if (!list) {
        rc = GENREG_RC_NULL_LIST_HANDLE;
        ossLog(FID_GET_NEXT_INSTANCE, 1, rc, OSS_SEVERITY_ERROR, "list=null");
        return rc;
    }
    if (!info) {
        rc = GENREG_RC_NULL_INSTANCE_INFO;
        ossLog(FID_GET_NEXT_INSTANCE, 2, rc, OSS_SEVERITY_ERROR, "info=null");
        return rc;
    }
    uint32_t inner = DirInstanceListNext((DirInstanceList*)list, info, view64);
    if (inner == 0 || inner == GENREG_RC_NOT_FOUND) return rc = inner;
    rc = GENREG_RC_NEXT_INSTANCE_FAILED;
    ossLogRC(FID_GET_NEXT_INSTANCE, 3, FID_LIST_NEXT, inner, rc, OSS_SEVERITY_ERROR,
             "instance=%.63s", info->instanceName);
    return rc;
}

unsigned ossCloseInstanceList(void* list) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CLOSE_INSTANCE_LIST, &rc);
    if (!list) {
        rc = GENREG_RC_NULL_LIST_HANDLE;
        ossLog(FID_CLOSE_INSTANCE_LIST, 1, rc, OSS_SEVERITY_ERROR, "list=null");
        return rc;
    }
    DirInstanceListClose((DirInstanceList*)list);
    return rc;
}
