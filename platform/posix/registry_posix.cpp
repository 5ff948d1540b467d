// The registry functions of the POSIX stand-in: keys are positions in a
// parsed registry export file (see "POSIX stand-in" in platform/registry.h).
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

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
const OSSRegTreeNode g_emptyNode;

// The local file as last read, with what identified it then.
struct LocalCache {
    std::mutex mutex;
    bool valid = false;
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    uint32_t error = 0;  // the load's failure, or 0 with tree set
    OSSRegSharedTree* tree = nullptr;
};
LocalCache g_local;

bool sameFile(const LocalCache& c, const std::string& path, bool exists, const struct stat& st) {
    if (!c.valid || c.path != path || c.exists != exists) return false;
    if (!exists) return true;
    long long mtime = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    return c.device == st.st_dev && c.inode == st.st_ino && c.size == st.st_size &&
           c.mtimeNs == mtime;
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

bool validMachineName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (char c : name)
        if (!std::isalnum((unsigned char)c) && c != '-' && c != '_' && c != '.') return false;
    return true;
}

}  // namespace

OSSRegSharedTree* ossRegSharedTreeNew(std::unique_ptr<OSSRegTreeNode> root) {
    OSSRegSharedTree* tree = new (std::nothrow) OSSRegSharedTree();
    if (!tree) return nullptr;
    tree->refs.store(1);
    tree->root = std::move(root);
    return tree;
}

void ossRegSharedTreeRetain(OSSRegSharedTree* tree) {
    tree->refs.fetch_add(1);
}

void ossRegSharedTreeRelease(OSSRegSharedTree* tree) {
    if (tree && tree->refs.fetch_sub(1) == 1) delete tree;
}

const OSSRegTreeNode* ossRegMachineNode(const OSSRegTreeNode* root) {
    const OSSRegTreeNode* node = ossRegTreeFind(root, "HKEY_LOCAL_MACHINE");
    if (!node) node = ossRegTreeFind(root, "HKLM");
    return node ? node : &g_emptyNode;
}

uint32_t ossRegLocalMachineTree(OSSRegSharedTree** tree, const OSSRegTreeNode** machine) {
    *tree = nullptr;
    *machine = nullptr;
    const char* env = std::getenv(OSS_REGISTRY_FILE_ENV);
    std::string path = env ? env : "";
    struct stat st;
    std::memset(&st, 0, sizeof st);
    bool exists = !path.empty() && ::stat(path.c_str(), &st) == 0;

    std::lock_guard<std::mutex> guard(g_local.mutex);
    if (!sameFile(g_local, path, exists, st)) {
        ossRegSharedTreeRelease(g_local.tree);
        g_local.tree = nullptr;
        g_local.error = 0;
        std::unique_ptr<OSSRegTreeNode> root;
        if (path.empty())
            root.reset(new (std::nothrow) OSSRegTreeNode());  // no file: an empty registry
        else
            g_local.error = ossRegExportLoad(path.c_str(), &root);
        if (!g_local.error) {
            g_local.tree = root ? ossRegSharedTreeNew(std::move(root)) : nullptr;
            if (!g_local.tree) g_local.error = 14;  // ERROR_OUTOFMEMORY
        }
        g_local.valid = g_local.error != 14;
        g_local.path = path;
        g_local.exists = exists;
        g_local.device = st.st_dev;
        g_local.inode = st.st_ino;
        g_local.size = st.st_size;
        g_local.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    }
    if (g_local.error) return g_local.error;
    ossRegSharedTreeRetain(g_local.tree);
    *tree = g_local.tree;
    *machine = ossRegMachineNode(g_local.tree->root.get());
    return 0;
}

OSSRegKey ossRegLocalMachine() {
    return &g_localMachine;
}

uint32_t ossRegOpenKey(OSSRegKey parent, const char* path, uint32_t access, OSSRegKey* key) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_OPEN_KEY, &rc);
    *key = nullptr;
    if (!parent) return rc = 6;  // ERROR_INVALID_HANDLE
    ossRegCountOpenMask(access);
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(parent, &tree, &node);
    if (rc) return rc;
    node = ossRegTreeFind(node, path ? path : "");
    if (!node) {
        ossRegSharedTreeRelease(tree);
        return rc = OSS_WINERR_FILE_NOT_FOUND;
    }
    OSSRegKeyT* opened = new (std::nothrow) OSSRegKeyT{tree, node};
    if (!opened) {
        ossRegSharedTreeRelease(tree);
        return rc = 14;  // ERROR_OUTOFMEMORY
    }
    ossRegCount(OSS_REGCOUNT_KEYS, 1);
    *key = opened;
    return rc;
}

uint32_t ossRegQueryValue(OSSRegKey key, const char* name, uint32_t* type, void* buffer,
                          uint32_t* size) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_QUERY_VALUE, &rc);
    if (!key || !size) return rc = 6;
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(key, &tree, &node);
    if (rc) return rc;
    const OSSRegTreeValue* value = ossRegTreeFindValue(node, name ? name : "");
    if (!value) {
        rc = OSS_WINERR_FILE_NOT_FOUND;
    } else {
        uint32_t needed = (uint32_t)value->data.size();
        if (type) *type = value->type;
        if (buffer && *size < needed)
            rc = OSS_WINERR_MORE_DATA;
        else if (buffer)
            std::memcpy(buffer, value->data.data(), needed);
        *size = needed;
    }
    ossRegSharedTreeRelease(tree);
    return rc;
}

uint32_t ossRegEnumKey(OSSRegKey key, uint32_t index, char* name, uint32_t* chars) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_ENUM_KEY, &rc);
    if (!key || !name || !chars) return rc = 6;
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(key, &tree, &node);
    if (rc) return rc;
    if (index >= node->children.size()) {
        rc = OSS_WINERR_NO_MORE_ITEMS;
    } else {
        const std::string& child = node->children[index]->name;
        if (child.size() + 1 > *chars) {
            rc = OSS_WINERR_MORE_DATA;
        } else {
            std::memcpy(name, child.c_str(), child.size() + 1);
            *chars = (uint32_t)child.size();
        }
    }
    ossRegSharedTreeRelease(tree);
    return rc;
}

uint32_t ossRegQuerySubkeyCount(OSSRegKey key, uint32_t* count) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_SUBKEY_COUNT, &rc);
    if (!key || !count) return rc = 6;
    OSSRegSharedTree* tree;
    const OSSRegTreeNode* node;
    rc = resolve(key, &tree, &node);
    if (rc) return rc;
    *count = (uint32_t)node->children.size();
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
    if (!machine || !*machine) {
        // The local machine itself, as the system does for an empty name.
        OSSRegSharedTree* tree;
        const OSSRegTreeNode* node;
        rc = ossRegLocalMachineTree(&tree, &node);
        if (rc) return rc;
        OSSRegKeyT* key = new (std::nothrow) OSSRegKeyT{tree, node};
        if (!key) {
            ossRegSharedTreeRelease(tree);
            return rc = 14;
        }
        ossRegCount(OSS_REGCOUNT_KEYS, 1);
        *root = key;
        return rc;
    }
    std::string name = machine;
    if (name.compare(0, 2, "\\\\") == 0) name.erase(0, 2);
    const char* dir = std::getenv(OSS_REGISTRY_REMOTE_DIR_ENV);
    // Only plain host names reach the file system: no separators, no "..".
    if (!dir || !*dir || !validMachineName(name)) return rc = OSS_WINERR_BAD_NETPATH;
    std::string path = std::string(dir) + "/" + name + ".reg";
    if (!ossIsFile(path.c_str())) {
        std::string upper = name;
        for (char& c : upper)
            c = (char)std::toupper((unsigned char)c);
        path = std::string(dir) + "/" + upper + ".reg";
        if (!ossIsFile(path.c_str())) return rc = OSS_WINERR_BAD_NETPATH;
    }
    std::unique_ptr<OSSRegTreeNode> parsed;
    rc = ossRegExportLoad(path.c_str(), &parsed);
    if (rc) return rc;
    OSSRegSharedTree* tree = ossRegSharedTreeNew(std::move(parsed));
    OSSRegKeyT* key = tree ? new (std::nothrow) OSSRegKeyT{tree, nullptr} : nullptr;
    if (!key) {
        ossRegSharedTreeRelease(tree);
        return rc = 14;
    }
    key->node = ossRegMachineNode(tree->root.get());
    ossRegCount(OSS_REGCOUNT_KEYS, 1);
    *root = key;
    return rc;
}
