// The cluster library of the POSIX stand-in: the cluster registry is the
// export file named by GENREG_CLUSTER_REGISTRY_FILE, its keys written
// relative to the cluster root. The library "loads" when that variable is
// set at the first need of the process; the file is read at each
// openCluster. Names and texts cross the interface in UTF-16, as they do
// on Windows.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

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

// A UTF-16 name or path as the tree's UTF-8; false for a broken text.
bool toUtf8(const char16_t* text, std::string* out) {
    return text && ossRegUtf16ToUtf8(text, length16(text), out);
}

uint32_t newKey(OSSRegSharedTree* tree, const OSSRegTreeNode* node, OSSClusterKey* key) {
    OSSClusterKeyT* made = new (std::nothrow) OSSClusterKeyT{tree, node};
    if (!made) return 14;  // ERROR_OUTOFMEMORY
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
    std::unique_ptr<OSSRegTreeNode> root;
    uint32_t rc = ossRegExportLoad(path, &root);
    if (rc) return rc;
    OSSRegSharedTree* tree = ossRegSharedTreeNew(std::move(root));
    OSSClusterT* made = tree ? new (std::nothrow) OSSClusterT{tree} : nullptr;
    if (!made) {
        ossRegSharedTreeRelease(tree);
        return 14;
    }
    ossRegCount(OSS_REGCOUNT_CLUSTERS, 1);
    *cluster = made;
    return 0;
}

uint32_t closeCluster(OSSCluster cluster) {
    if (!cluster) return 6;  // ERROR_INVALID_HANDLE
    ossRegSharedTreeRelease(cluster->tree);
    delete cluster;
    ossRegCount(OSS_REGCOUNT_CLUSTERS, -1);
    return 0;
}

uint32_t getClusterKey(OSSCluster cluster, uint32_t /*access*/, OSSClusterKey* key) {
    *key = nullptr;
    if (!cluster) return 6;
    return newKey(cluster->tree, cluster->tree->root.get(), key);
}

uint32_t regOpenKey(OSSClusterKey parent, const char16_t* path, uint32_t /*access*/,
                    OSSClusterKey* key) {
    *key = nullptr;
    if (!parent) return 6;
    std::string name;
    if (!toUtf8(path, &name)) return OSS_WINERR_FILE_NOT_FOUND;
    const OSSRegTreeNode* node = ossRegTreeFind(parent->node, name);
    if (!node) return OSS_WINERR_FILE_NOT_FOUND;
    return newKey(parent->tree, node, key);
}

uint32_t regCloseKey(OSSClusterKey key) {
    if (!key) return 6;
    ossRegSharedTreeRelease(key->tree);
    delete key;
    ossRegCount(OSS_REGCOUNT_CLUSTER_KEYS, -1);
    return 0;
}

// Wide-character query: texts come back as UTF-16LE with their terminator.
uint32_t regQueryValue(OSSClusterKey key, const char16_t* name, uint32_t* type, void* data,
                       uint32_t* size) {
    if (!key || !size) return 6;
    std::string valueName;
    if (!toUtf8(name ? name : u"", &valueName)) return OSS_WINERR_FILE_NOT_FOUND;
    const OSSRegTreeValue* value = ossRegTreeFindValue(key->node, valueName);
    if (!value) return OSS_WINERR_FILE_NOT_FOUND;
    std::string bytes = value->data;
    if (value->type == OSS_REG_SZ || value->type == OSS_REG_EXPAND_SZ ||
        value->type == OSS_REG_MULTI_SZ) {
        std::u16string wide;
        if (!ossRegUtf8ToUtf16(value->data.data(), value->data.size(), &wide))
            return OSS_WINERR_NO_UNICODE_TRANSLATION;
        bytes.clear();
        for (char16_t unit : wide) {
            bytes.push_back((char)(unit & 0xFF));
            bytes.push_back((char)(unit >> 8));
        }
    }
    if (type) *type = value->type;
    uint32_t needed = (uint32_t)bytes.size();
    uint32_t rc = 0;
    if (data && *size < needed)
        rc = OSS_WINERR_MORE_DATA;
    else if (data)
        std::memcpy(data, bytes.data(), needed);
    *size = needed;
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
