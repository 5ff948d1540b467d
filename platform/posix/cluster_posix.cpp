// The cluster library of the POSIX stand-in: the cluster registry is the
// export file named by GENREG_CLUSTER_REGISTRY_FILE, its keys written
// relative to the cluster root. The library "loads" when that variable is
// set at the first need of the process; the file is read at each
// openCluster. Names and texts cross the interface in UTF-16, as they do
// on Windows.
#include <cstdlib>
#include <cstring>
#include <new>

#include "genreg/trace.h"
#include "platform/oss.h"
#include "platform/posix/registry_posix.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"
#include "platform/registry_text.h"

struct OSSClusterT {
    OSSRegSharedTree* tree;
};

struct OSSClusterKeyT {
    OSSRegSharedTree* tree;  // one reference per key
    const OSSRegTreeNode* node;
};

namespace {

size_t length16(const char16_t* text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

// A UTF-16 name or path as the tree's terminated UTF-8; false for a broken
// text or no memory.
bool toUtf8(const char16_t* text, OSSRegBuffer* out) {
    return text && ossRegUtf16ToUtf8(text, length16(text), out) == 0 && ossRegBufferPush(out, '\0');
}

uint32_t newKey(OSSRegSharedTree* tree, const OSSRegTreeNode* node, OSSClusterKey* key) {
    OSSClusterKeyT* made = new (std::nothrow) OSSClusterKeyT{tree, node};
    if (!made) return OSS_WINERR_OUTOFMEMORY;
    ossRegSharedTreeRetain(tree);
    ossRegCount(OSS_REGCOUNT_CLUSTER_KEYS, 1);
    *key = made;
    return 0;
}

uint32_t openCluster(const char16_t* name, OSSCluster* cluster) {
    *cluster = nullptr;
    if (name) return OSS_WINERR_BAD_NETPATH;  // only the local cluster is known here
    const char* path = std::getenv(OSS_CLUSTER_REGISTRY_FILE_ENV);
    if (!path || !*path) return OSS_WINERR_FILE_NOT_FOUND;
    OSSRegTreeNode* root = nullptr;
    uint32_t rc = ossRegExportLoad(path, &root);
    if (rc) return rc;
    OSSRegSharedTree* tree = ossRegSharedTreeNew(root);
    OSSClusterT* made = tree ? new (std::nothrow) OSSClusterT{tree} : nullptr;
    if (!made) {
        ossRegSharedTreeRelease(tree);
        return OSS_WINERR_OUTOFMEMORY;
    }
    ossRegCount(OSS_REGCOUNT_CLUSTERS, 1);
    *cluster = made;
    return 0;
}

uint32_t closeCluster(OSSCluster cluster) {
    if (!cluster) return OSS_WINERR_INVALID_HANDLE;
    ossRegSharedTreeRelease(cluster->tree);
    delete cluster;
    ossRegCount(OSS_REGCOUNT_CLUSTERS, -1);
    return 0;
}

uint32_t getClusterKey(OSSCluster cluster, uint32_t /*access*/, OSSClusterKey* key) {
    *key = nullptr;
    if (!cluster) return OSS_WINERR_INVALID_HANDLE;
    return newKey(cluster->tree, cluster->tree->root, key);
}

uint32_t regOpenKey(OSSClusterKey parent, const char16_t* path, uint32_t /*access*/,
                    OSSClusterKey* key) {
    *key = nullptr;
    if (!parent) return OSS_WINERR_INVALID_HANDLE;
    OSSRegBuffer name = {nullptr, 0, 0};
    const OSSRegTreeNode* node =
        toUtf8(path, &name) ? ossRegTreeFind(parent->node, name.data) : nullptr;
    ossRegBufferFree(&name);
    if (!node) return OSS_WINERR_FILE_NOT_FOUND;
    return newKey(parent->tree, node, key);
}

uint32_t regCloseKey(OSSClusterKey key) {
    if (!key) return OSS_WINERR_INVALID_HANDLE;
    ossRegSharedTreeRelease(key->tree);
    delete key;
    ossRegCount(OSS_REGCOUNT_CLUSTER_KEYS, -1);
    return 0;
}

// Wide-character query: texts come back as UTF-16LE with their terminator.
uint32_t regQueryValue(OSSClusterKey key, const char16_t* name, uint32_t* type, void* data,
                       uint32_t* size) {
    if (!key || !size) return OSS_WINERR_INVALID_HANDLE;
    OSSRegBuffer valueName = {nullptr, 0, 0};
    const OSSRegTreeValue* value = toUtf8(name ? name : u"", &valueName)
                                       ? ossRegTreeFindValue(key->node, valueName.data)
                                       : nullptr;
    ossRegBufferFree(&valueName);
    if (!value) return OSS_WINERR_FILE_NOT_FOUND;
    OSSRegBuffer wide = {nullptr, 0, 0};
    const char* bytes = value->data;
    size_t length = value->size;
    if (value->type == OSS_REG_SZ || value->type == OSS_REG_EXPAND_SZ ||
        value->type == OSS_REG_MULTI_SZ) {
        uint32_t rc = ossRegUtf8ToUtf16(value->data, value->size, &wide);
        if (rc) {
            ossRegBufferFree(&wide);
            return rc;
        }
        bytes = wide.data;
        length = wide.size;
    }
    if (type) *type = value->type;
    uint32_t rc = 0;
    if (data && *size < length)
        rc = OSS_WINERR_MORE_DATA;
    else if (data && length)
        std::memcpy(data, bytes, length);
    *size = (uint32_t)length;
    ossRegBufferFree(&wide);
    return rc;
}

}  // namespace

void ossClusterLoadLibrary(OSSClusterApi* table) {
    const char* path = std::getenv(OSS_CLUSTER_REGISTRY_FILE_ENV);
    if (!path || !*path) {
        ossLog(OSS_FID_CLUSTER_LOAD, 1, OSS_RC_FILE_NOT_FOUND, OSS_SEVERITY_ERROR,
               "cluster library cannot be loaded: %s is not set", OSS_CLUSTER_REGISTRY_FILE_ENV);
        return;
    }
    table->openCluster = openCluster;
    table->closeCluster = closeCluster;
    table->getClusterKey = getClusterKey;
    table->regOpenKey = regOpenKey;
    table->regCloseKey = regCloseKey;
    table->regQueryValue = regQueryValue;
}
