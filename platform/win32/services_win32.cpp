// The service control manager on Windows.
#include <windows.h>

#include <cstdlib>

#include "genreg/trace.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"

namespace {

// The first attempt's buffer: room for the configuration record and its
// texts in the usual case. A longer configuration is read again with the
// size the system asks for.
const DWORD kConfigBufferBytes = 568;
// The system never describes a service in more than 8 KiB.
const DWORD kConfigMaxBytes = 8192;

}  // namespace

OSSService ossSvcOpenManager() {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SVC_OPEN_MANAGER, &rc);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager) ossRegCount(OSS_REGCOUNT_SERVICES, 1);
    return (OSSService)manager;
}

OSSService ossSvcOpenService(OSSService manager, const char* name) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SVC_OPEN_SERVICE, &rc);
    if (!manager || !name) return nullptr;
    SC_HANDLE service = OpenServiceA((SC_HANDLE)manager, name, SERVICE_QUERY_CONFIG);
    if (service) ossRegCount(OSS_REGCOUNT_SERVICES, 1);
    return (OSSService)service;
}

uint32_t ossSvcQueryStartType(OSSService service, uint32_t* startType) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_SVC_QUERY_START, &rc);
    // 8-byte aligned storage for the configuration record.
    unsigned long long local[(kConfigBufferBytes + 7) / 8];
    QUERY_SERVICE_CONFIGA* config = (QUERY_SERVICE_CONFIGA*)local;
    DWORD needed = 0;
    if (QueryServiceConfigA((SC_HANDLE)service, config, kConfigBufferBytes, &needed)) {
        *startType = config->dwStartType;
        return rc;
    }
    rc = GetLastError();
    if (rc != ERROR_INSUFFICIENT_BUFFER || needed == 0 || needed > kConfigMaxBytes) return rc;
    QUERY_SERVICE_CONFIGA* large = (QUERY_SERVICE_CONFIGA*)std::malloc(needed);
    if (!large) return rc = ERROR_OUTOFMEMORY;
    if (QueryServiceConfigA((SC_HANDLE)service, large, needed, &needed)) {
        *startType = large->dwStartType;
        rc = 0;
    } else {
        rc = GetLastError();
    }
    std::free(large);
    return rc;
}

void ossSvcClose(OSSService handle) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_SVC_CLOSE, &rc);
    if (!handle) return;
    CloseServiceHandle((SC_HANDLE)handle);
    ossRegCount(OSS_REGCOUNT_SERVICES, -1);
}
