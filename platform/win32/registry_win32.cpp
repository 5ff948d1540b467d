// The registry functions on Windows: the system's own, with the open
// handles and access masks counted for the tests.
#include <windows.h>

#include "genreg/trace.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"

namespace {

HKEY toHkey(OSSRegKey key) {
    return (HKEY)key;
}

}  // namespace

OSSRegKey ossRegLocalMachine() {
    return (OSSRegKey)HKEY_LOCAL_MACHINE;
}

uint32_t ossRegOpenKey(OSSRegKey parent, const char* path, uint32_t access, OSSRegKey* key) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_OPEN_KEY, &rc);
    ossRegCountOpenMask(access);
    HKEY opened = nullptr;
    rc = (uint32_t)RegOpenKeyExA(toHkey(parent), path, 0, (REGSAM)access, &opened);
    *key = rc ? nullptr : (OSSRegKey)opened;
    if (!rc) ossRegCount(OSS_REGCOUNT_KEYS, 1);
    return rc;
}

uint32_t ossRegQueryValue(OSSRegKey key, const char* name, uint32_t* type, void* buffer,
                          uint32_t* size) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_QUERY_VALUE, &rc);
    DWORD valueType = 0;
    DWORD bytes = *size;
    rc = (uint32_t)RegQueryValueExA(toHkey(key), name, nullptr, &valueType, (BYTE*)buffer, &bytes);
    if (type) *type = valueType;
    *size = bytes;
    return rc;
}

uint32_t ossRegEnumKey(OSSRegKey key, uint32_t index, char* name, uint32_t* chars) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_ENUM_KEY, &rc);
    DWORD length = *chars;
    rc = (uint32_t)RegEnumKeyExA(toHkey(key), index, name, &length, nullptr, nullptr, nullptr,
                                 nullptr);
    if (!rc) *chars = length;
    return rc;
}

uint32_t ossRegQuerySubkeyCount(OSSRegKey key, uint32_t* count) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_SUBKEY_COUNT, &rc);
    DWORD subkeys = 0;
    rc = (uint32_t)RegQueryInfoKeyA(toHkey(key), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!rc) *count = subkeys;
    return rc;
}

void ossRegCloseKey(OSSRegKey key) {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_REG_CLOSE_KEY, &rc);
    if (!key || key == ossRegLocalMachine()) return;
    RegCloseKey(toHkey(key));
    ossRegCount(OSS_REGCOUNT_KEYS, -1);
}

uint32_t ossRegConnect(const char* machine, OSSRegKey* root) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_REG_CONNECT, &rc);
    HKEY remote = nullptr;
    rc = (uint32_t)RegConnectRegistryA(machine, HKEY_LOCAL_MACHINE, &remote);
    *root = rc ? nullptr : (OSSRegKey)remote;
    // For the local machine the system may hand back the predefined root
    // itself, which ossRegCloseKey leaves alone: count only real handles.
    if (!rc && *root != ossRegLocalMachine()) ossRegCount(OSS_REGCOUNT_KEYS, 1);
    return rc;
}
