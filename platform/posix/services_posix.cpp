// The service control manager of the POSIX stand-in: a service is the key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> of the local
// registry file, its start type the DWORD value "Start".
#include <cstdio>
#include <cstring>
#include <new>

#include "genreg/trace.h"
#include "platform/posix/registry_posix.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"

struct OSSServiceT {
    bool manager;
    char name[257];  // services only; service names have at most 256 characters
};

namespace {

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

// The service's key in the current local file; null when it does not
// exist. *tree receives a reference that the caller releases.
const OSSRegTreeNode* findService(const char* name, OSSRegSharedTree** tree) {
    char path[sizeof kServicesKey + 257];
    std::snprintf(path, sizeof path, "%s%s", kServicesKey, name);
    const OSSRegTreeNode* machine;
    if (ossRegLocalMachineTree(tree, &machine)) return nullptr;
    return ossRegTreeFind(machine, path);
}

}  // namespace

OSSService ossSvcOpenManager() {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SVC_OPEN_MANAGER, &rc);
    OSSServiceT* manager = new (std::nothrow) OSSServiceT();
    if (!manager) return nullptr;
    manager->manager = true;
    ossRegCount(OSS_REGCOUNT_SERVICES, 1);
    return manager;
}

OSSService ossSvcOpenService(OSSService manager, const char* name) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SVC_OPEN_SERVICE, &rc);
    // A service name never holds a separator; one that does names no service.
    if (!manager || !manager->manager || !name || !*name || std::strlen(name) > 256 ||
        std::strchr(name, '\\') || std::strchr(name, '/'))
        return nullptr;
    OSSRegSharedTree* tree = nullptr;
    bool exists = findService(name, &tree) != nullptr;
    ossRegSharedTreeRelease(tree);
    if (!exists) return nullptr;
    OSSServiceT* service = new (std::nothrow) OSSServiceT();
    if (!service) return nullptr;
    service->manager = false;
    std::snprintf(service->name, sizeof service->name, "%s", name);
    ossRegCount(OSS_REGCOUNT_SERVICES, 1);
    return service;
}

uint32_t ossSvcQueryStartType(OSSService service, uint32_t* startType) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_SVC_QUERY_START, &rc);
    if (!service || service->manager || !startType) return rc = OSS_WINERR_INVALID_HANDLE;
    OSSRegSharedTree* tree = nullptr;
    const OSSRegTreeNode* node = findService(service->name, &tree);
    const OSSRegTreeValue* start = node ? ossRegTreeFindValue(node, "Start") : nullptr;
    if (!start) {
        rc = OSS_WINERR_FILE_NOT_FOUND;
    } else if (start->type != OSS_REG_DWORD || start->size != 4) {
        rc = OSS_WINERR_INVALID_DATA;
    } else {
        const unsigned char* b = (const unsigned char*)start->data;
        *startType =
            (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
    }
    ossRegSharedTreeRelease(tree);
    return rc;
}

void ossSvcClose(OSSService handle) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SVC_CLOSE, &rc);
    if (!handle) return;
    delete handle;
    ossRegCount(OSS_REGCOUNT_SERVICES, -1);
}
