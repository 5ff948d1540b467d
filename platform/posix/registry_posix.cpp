// The registry functions of the POSIX stand-in: keys are positions in a
// parsed registry export file (see "POSIX stand-in" in platform/registry.h).
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <new>

#include "genreg/trace.h"
#include "platform/oss.h"
#include "platform/posix/registry_posix.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"

// A key: a node of a shared tree, which the key keeps alive. The local
// machine's predefined root has no tree of its own: every open below it
// takes the current version of the local file.
struct OSSRegKeyT {
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
};

namespace {

OSSRegKeyT g_localMachine = {nullptr, nullptr};
const OSSRegTreeNode g_emptyNode = {nullptr, nullptr, 0, 0, nullptr, 0, 0, nullptr, 0};

// Longest file name the stand-in takes from the environment.
const size_t kPathMax = 4096;

// The local file as last read, with what identified it then.
struct LocalCache {
    std::mutex mutex;
    bool valid = false;
    char path[kPathMax] = "";
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    uint32_t error = 0;  // the load's failure, or 0 with tree set
    OSSRegSharedTree* tree = nullptr;
};
LocalCache g_local;

long long mtimeOf(const struct stat& st) {
    return (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

bool sameFile(const LocalCache& c, const char* path, bool exists, const struct stat& st) {
    if (!c.valid || std::strcmp(c.path, path) != 0 || c.exists != exists) return false;
    if (!exists) return true;
    return c.device == st.st_dev && c.inode == st.st_ino && c.size == st.st_size &&
           c.mtimeNs == mtimeOf(st);
}

// Takes a reference on the tree behind key (the local file's current tree
// for the predefined root) and the node key stands for.
uint32_t resolve(OSSRegKey key, OSSRegSharedTree** tree, const OSSRegTreeNode** node) {
    if (key == &g_localMachine) return ossRegLocalMachineTree(tree, node);
    ossRegSharedTreeRetain(key->tree);
    *tree = key->tree;
    *node = key->node;
    return 0;
}

// Only plain host names reach the file system: no separators, no "..".
bool validMachineName(const char* name) {
    size_t n = std::strlen(name);
    if (n == 0 || n > 255 || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)name[i];
        if (!std::isalnum(c) && c != '-' && c != '_' && c != '.') return false;
    }
    return true;
}

uint32_t newKey(OSSRegSharedTree* tree, const OSSRegTreeNode* node, OSSRegKey* key) {
    OSSRegKeyT* made = new (std::nothrow) OSSRegKeyT{tree, node};
    if (!made) {
        ossRegSharedTreeRelease(tree);
        return OSS_WINERR_OUTOFMEMORY;
    }
    ossRegCount(OSS_REGCOUNT_KEYS, 1);
    *key = made;
    return 0;
}

}  // namespace

OSSRegSharedTree* ossRegSharedTreeNew(OSSRegTreeNode* root) {
    OSSRegSharedTree* tree = new (std::nothrow) OSSRegSharedTree();
    if (!tree) {
        ossRegTreeFree(root);
        return nullptr;
    }
    tree->refs.store(1);
    tree->root = root;
    return tree;
}

void ossRegSharedTreeRetain(OSSRegSharedTree* tree) {
    tree->refs.fetch_add(1);
}

void ossRegSharedTreeRelease(OSSRegSharedTree* tree) {
    if (tree && tree->refs.fetch_sub(1) == 1) {
        ossRegTreeFree(tree->root);
        delete tree;
    }
}

const OSSRegTreeNode* ossRegMachineNode(const OSSRegTreeNode* root) {
    const OSSRegTreeNode* node = ossRegTreeFind(root, "HKEY_LOCAL_MACHINE");
    if (!node) node = ossRegTreeFind(root, "HKLM");
    return node ? node : &g_emptyNode;
}

uint32_t ossRegLocalMachineTree(OSSRegSharedTree** tree, const OSSRegTreeNode** machine) {
    *tree = nullptr;
    *machine = nullptr;
    const char* path = std::getenv(OSS_REGISTRY_FILE_ENV);
    if (!path) path = "";
    struct stat st;
    std::memset(&st, 0, sizeof st);
    bool exists = *path && ::stat(path, &st) == 0;

    std::lock_guard<std::mutex> guard(g_local.mutex);
    if (!sameFile(g_local, path, exists, st)) {
        ossRegSharedTreeRelease(g_local.tree);
        g_local.tree = nullptr;
        OSSRegTreeNode* root = nullptr;
        if (std::strlen(path) >= kPathMax) {
            g_local.error = OSS_WINERR_FILE_NOT_FOUND;
            ossLog(OSS_FID_REG_EXPORT_LOAD, 4, OSS_RC_FILE_NOT_FOUND, OSS_SEVERITY_ERROR,
                   "%s names a file longer than %zu bytes", OSS_REGISTRY_FILE_ENV, kPathMax);
        } else if (!*path) {
            // No file: an empty registry.
            root = (OSSRegTreeNode*)std::calloc(1, sizeof(OSSRegTreeNode));
            g_local.error = root ? 0u : (uint32_t)OSS_WINERR_OUTOFMEMORY;
        } else {
            g_local.error = ossRegExportLoad(path, &root);
        }
        if (!g_local.error) {
            g_local.tree = ossRegSharedTreeNew(root);
            if (!g_local.tree) g_local.error = OSS_WINERR_OUTOFMEMORY;
        }
        // A failed allocation is tried again; anything else waits for a change.
        g_local.valid = g_local.error != OSS_WINERR_OUTOFMEMORY && std::strlen(path) < kPathMax;
        std::snprintf(g_local.path, sizeof g_local.path, "%s", path);
        g_local.exists = exists;
        g_local.device = st.st_dev;
        g_local.inode = st.st_ino;
        g_local.size = st.st_size;
        g_local.mtimeNs = mtimeOf(st);
    }
    if (g_local.error) return g_local.error;
    ossRegSharedTreeRetain(g_local.tree);
    *tree = g_local.tree;
    *machine = ossRegMachineNode(g_local.tree->root);
    return 0;
}

OSSRegKey ossRegLocalMachine() {
    return &g_localMachine;
}

uint32_t ossRegOpenKey(OSSRegKey parent, const char* path, uint32_t access, OSSRegKey* key) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_OPEN_KEY, &rc);
    *key = nullptr;
    if (!parent) return rc = OSS_WINERR_INVALID_HANDLE;
    ossRegCountOpenMask(access);
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(parent, &tree, &node);
    if (rc) return rc;
    node = ossRegTreeFind(node, path);
    if (!node) {
        ossRegSharedTreeRelease(tree);
        return rc = OSS_WINERR_FILE_NOT_FOUND;
    }
    return rc = newKey(tree, node, key);
}

uint32_t ossRegQueryValue(OSSRegKey key, const char* name, uint32_t* type, void* buffer,
                          uint32_t* size) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_QUERY_VALUE, &rc);
    if (!key || !size) return rc = OSS_WINERR_INVALID_HANDLE;
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(key, &tree, &node);
    if (rc) return rc;
    const OSSRegTreeValue* value = ossRegTreeFindValue(node, name);
    if (!value) {
        rc = OSS_WINERR_FILE_NOT_FOUND;
    } else {
        uint32_t needed = (uint32_t)value->size;
        if (type) *type = value->type;
        if (buffer && *size < needed)
            rc = OSS_WINERR_MORE_DATA;
        else if (buffer && needed)
            std::memcpy(buffer, value->data, needed);
        *size = needed;
    }
    ossRegSharedTreeRelease(tree);
    return rc;
}

uint32_t ossRegEnumKey(OSSRegKey key, uint32_t index, char* name, uint32_t* chars) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_ENUM_KEY, &rc);
    if (!key || !name || !chars) return rc = OSS_WINERR_INVALID_HANDLE;
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(key, &tree, &node);
    if (rc) return rc;
    if (index >= node->childCount) {
        rc = OSS_WINERR_NO_MORE_ITEMS;
    } else {
        const char* child = node->children[index]->name;
        size_t length = std::strlen(child);
        if (length + 1 > *chars) {
            rc = OSS_WINERR_MORE_DATA;
        } else {
            std::memcpy(name, child, length + 1);
            *chars = (uint32_t)length;
        }
    }
    ossRegSharedTreeRelease(tree);
    return rc;
}

uint32_t ossRegQuerySubkeyCount(OSSRegKey key, uint32_t* count) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_SUBKEY_COUNT, &rc);
    if (!key || !count) return rc = OSS_WINERR_INVALID_HANDLE;
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(key, &tree, &node);
    if (rc) return rc;
    *count = (uint32_t)node->childCount;
    ossRegSharedTreeRelease(tree);
    return rc;
}

void ossRegCloseKey(OSSRegKey key) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_REG_CLOSE_KEY, &rc);
    if (!key || key == &g_localMachine) return;
    ossRegSharedTreeRelease(key->tree);
    delete key;
    ossRegCount(OSS_REGCOUNT_KEYS, -1);
}

uint32_t ossRegConnect(const char* machine, OSSRegKey* root) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_CONNECT, &rc);
    *root = nullptr;
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    if (!machine || !*machine) {
        // The local machine itself, as the system does for an empty name.
        rc = ossRegLocalMachineTree(&tree, &node);
        return rc ? rc : (rc = newKey(tree, node, root));
    }
    if (machine[0] == '\\' && machine[1] == '\\') machine += 2;
    const char* dir = std::getenv(OSS_REGISTRY_REMOTE_DIR_ENV);
    if (!dir || !*dir || !validMachineName(machine)) return rc = OSS_WINERR_BAD_NETPATH;
    char path[kPathMax + 300];
    int n = std::snprintf(path, sizeof path, "%s/%s.reg", dir, machine);
    if (n < 0 || (size_t)n >= sizeof path) return rc = OSS_WINERR_BAD_NETPATH;
    if (!ossIsFile(path)) {
        // The machine's name in upper case, as host names are usually written.
        for (char* c = path + std::strlen(dir) + 1; *c && std::strcmp(c, ".reg") != 0; ++c)
            *c = (char)std::toupper((unsigned char)*c);
        if (!ossIsFile(path)) return rc = OSS_WINERR_BAD_NETPATH;
    }
    OSSRegTreeNode* parsed = nullptr;
    rc = ossRegExportLoad(path, &parsed);
    if (rc) return rc;
    tree = ossRegSharedTreeNew(parsed);
    if (!tree) return rc = OSS_WINERR_OUTOFMEMORY;
    return rc = newKey(tree, ossRegMachineNode(tree->root), root);
}
