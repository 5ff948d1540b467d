// The profile directory of an instance entry: read from the machine that
// holds its profile registry, from the cluster registry, or locally.
#include <genreg/rc.h>

#include <cstdio>
#include <cstring>

#include "genreg/trace.h"
#include "oss/instance_list.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_PROFILE_PATH = GENREG_FID(0x0140),
    FID_REMOTE_PROFILE = GENREG_FID(0x0141),
    FID_CLUSTER_CONNECT = GENREG_FID(0x0142),
    FID_CLUSTER_PROFILE = GENREG_FID(0x0143),
    FID_CLUSTER_RELEASE = GENREG_FID(0x0144),
};

// Machine and cluster names are at most 15 characters.
const uint32_t kNameValueLimit = 16;
// A directory read from another machine or the cluster, terminator included.
const uint32_t kProfilePathLimit = 260;
// Cluster registry names and values, in UTF-16 characters.
const size_t kClusterTextChars = 257;
const size_t kClusterPathChars = 514;

// The directory from the instance's key on the machine named machine.
uint32_t remoteProfilePath(const DirInstanceList* list, const char* machine,
                           OSSInstanceInfo_t* info) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_REMOTE_PROFILE, &rc);
    OSSRegKey remoteRoot = nullptr;
    rc = ossRegConnect(machine, &remoteRoot);
    if (rc) return rc;
    // There is no profiles level in this path on the profile machine.
    char path[DIR_KEY_PATH_SIZE];
    OSSRegKey key = nullptr;
    rc = DirFormatKey(path, "%s\\%s\\%s", DIR_COPIES_KEY, list->copyName, info->instanceName)
             ? ossRegOpenKey(remoteRoot, path, OSS_REG_KEY_READ, &key)
             : OSS_WINERR_BUFFER_OVERFLOW;
    if (!rc) {
        rc = DirQueryText(key, kDirKinds[DIR_KIND_INSTANCE].profileValue, info->profilePath,
                          kProfilePathLimit);
        ossRegCloseKey(key);
    }
    ossRegCloseKey(remoteRoot);
    return rc;
}

// Makes the list's cluster connection when it has none. 0 with or without
// a connection (a cluster that cannot be reached is tried again for the
// next clustered instance); GENREG_RC_NO_MEMORY.
uint32_t connectCluster(DirInstanceList* list) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_CLUSTER_CONNECT, &rc);
    if (list->cluster) return rc;
    DirClusterConnection* connection = nullptr;
    if (ossMemAlloc(&connection, sizeof *connection, "DirClusterConnection")) {
        rc = GENREG_RC_NO_MEMORY;
        ossLog(FID_CLUSTER_CONNECT, 1, rc, OSS_SEVERITY_ERROR, "cluster connection");
        return rc;
    }
    const OSSClusterApi* api = ossClusterApi();
    OSSCluster cluster = nullptr;
    OSSClusterKey root = nullptr;
    uint32_t error = OSS_WINERR_PROC_NOT_FOUND;
    if (api->openCluster) error = api->openCluster(nullptr, &cluster);
    if (cluster && api->getClusterKey) error = api->getClusterKey(cluster, OSS_REG_KEY_READ, &root);
    if (cluster && root) {
        connection->cluster = cluster;
        connection->root = root;
        list->cluster = connection;
        return rc;
    }
    ossLog(FID_CLUSTER_CONNECT, 2, GENREG_RC_NOT_FOUND, OSS_SEVERITY_ERROR,
           "no cluster connection: error=%u", error);
    if (root && api->regCloseKey) api->regCloseKey(root);
    if (cluster && api->closeCluster) api->closeCluster(cluster);
    ossMemFree(&connection, "DirClusterConnection");
    return rc;
}

// The directory from the cluster registry: <prefix>\<instance>, value of
// the kind's profile directory name.
uint32_t clusterProfilePath(DirInstanceList* list, OSSInstanceInfo_t* info) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_CLUSTER_PROFILE, &rc);
    const OSSClusterApi* api = ossClusterApi();
    const DirKind& kind = kDirKinds[list->kind];
    if (!api->regOpenKey || !api->regQueryValue) return rc = OSS_WINERR_PROC_NOT_FOUND;

    char path[DIR_KEY_PATH_SIZE];
    char16_t widePath[kClusterPathChars];
    if (!DirFormatKey(path, "%s\\%s", kind.clusterPrefix, info->instanceName))
        return rc = OSS_WINERR_BUFFER_OVERFLOW;
    rc = ossAnsiToUtf16(path, widePath, kClusterPathChars);
    if (rc) return rc;
    OSSClusterKey key = nullptr;
    rc = api->regOpenKey(list->cluster->root, widePath, OSS_REG_KEY_READ, &key);
    if (rc) return rc;

    char16_t valueName[kClusterPathChars];
    rc = ossAnsiToUtf16(kind.profileValue, valueName, kClusterPathChars);
    if (!rc) {
        // The value need not end in a terminator: its length bounds the text.
        char16_t value[kClusterTextChars];
        uint32_t size = sizeof value;
        rc = api->regQueryValue(key, valueName, nullptr, value, &size);
        if (!rc)
            rc = ossUtf16ToAnsi(value, size / sizeof(char16_t), info->profilePath,
                                kProfilePathLimit);
    }
    if (api->regCloseKey) api->regCloseKey(key);
    return rc;
}

}  // namespace

uint32_t DirInstanceProfilePath(DirInstanceList* list, OSSRegKey instanceKey,
                                OSSInstanceInfo_t* info, bool view64, bool* keepPosition) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_PROFILE_PATH, &rc);
    *keepPosition = false;
    char name[kNameValueLimit];

    if (DirQueryText(instanceKey, "QVRREMOTEPREG", name, kNameValueLimit) == 0 &&
        list->kind == DIR_KIND_INSTANCE) {
        info->flags |= OSS_INSTANCE_REMOTE;
        std::strcpy(info->remoteName, name);
        rc = remoteProfilePath(list, name, info);
        if (rc)
            ossLog(FID_PROFILE_PATH, 1, rc, OSS_SEVERITY_ERROR,
                   "profile directory of '%s' on %s: error=%u", info->instanceName, name, rc);
        return rc;
    }

    if (DirQueryText(instanceKey, "QVRCLUSTER", name, kNameValueLimit) == 0) {
        info->flags |= OSS_INSTANCE_CLUSTERED;
        std::strcpy(info->remoteName, name);
        rc = connectCluster(list);
        if (rc) {
            *keepPosition = true;
            return rc;
        }
        info->profilePath[0] = '\0';
        if (!list->cluster) return rc;
        rc = clusterProfilePath(list, info);
        if (rc)
            ossLog(FID_PROFILE_PATH, 2, rc, OSS_SEVERITY_ERROR,
                   "cluster profile directory of '%s': error=%u", info->instanceName, rc);
        return rc;
    }

    const DirKind& kind = kDirKinds[list->kind];
    if (DirQueryText(instanceKey, kind.profileValue, info->profilePath, sizeof info->profilePath) ==
        0)
        return rc;
    // No directory of its own: the copy's installation path stands in.
    rc = DirReadInstallPath(list->copyName, info->profilePath, view64);
    if (rc && rc != GENREG_RC_NOT_FOUND) {
        uint32_t error = rc;
        rc = GENREG_RC_INSTANCE_INFO_FAILED;
        ossLog(FID_PROFILE_PATH, 3, rc, OSS_SEVERITY_ERROR,
               "installation path of copy '%s' for '%s': error=%u", list->copyName,
               info->instanceName, error);
    }
    *keepPosition = rc != 0;
    return rc;
}

void DirInstanceClusterRelease(DirInstanceList* list) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CLUSTER_RELEASE, &rc);
    if (!list->cluster) return;
    const OSSClusterApi* api = ossClusterApi();
    // Both handles are released whatever the first close says: keeping the
    // cluster open because its root key would not close only leaks it.
    if (api->regCloseKey) api->regCloseKey(list->cluster->root);
    if (api->closeCluster) api->closeCluster(list->cluster->cluster);
    ossMemFree(&list->cluster, "DirClusterConnection");
}
