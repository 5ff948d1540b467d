// The cluster library on Windows: "CLUSAPI.DLL" of the system directory,
// loaded at run time so that machines without failover clustering can
// still load this library. The
// slots of the table are small wrappers that count handles and turn the
// library's "no handle" results into the system's error number.
#include <windows.h>

#include "genreg/trace.h"
#include "platform/oss.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"

namespace {

typedef void* HCLUSTER_;
typedef HCLUSTER_(WINAPI* OpenClusterFn)(LPCWSTR);
typedef BOOL(WINAPI* CloseClusterFn)(HCLUSTER_);
typedef HKEY(WINAPI* GetClusterKeyFn)(HCLUSTER_, REGSAM);
typedef LONG(WINAPI* ClusterRegOpenKeyFn)(HKEY, LPCWSTR, REGSAM, PHKEY);
typedef LONG(WINAPI* ClusterRegCloseKeyFn)(HKEY);
typedef LONG(WINAPI* ClusterRegQueryValueFn)(HKEY, LPCWSTR, LPDWORD, LPBYTE, LPDWORD);

// The entry points as found; written once under ossClusterApi's lock.
OpenClusterFn g_openCluster;
CloseClusterFn g_closeCluster;
GetClusterKeyFn g_getClusterKey;
ClusterRegOpenKeyFn g_regOpenKey;
ClusterRegCloseKeyFn g_regCloseKey;
ClusterRegQueryValueFn g_regQueryValue;

uint32_t openCluster(const char16_t* name, OSSCluster* cluster) {
    HCLUSTER_ handle = g_openCluster((LPCWSTR)name);
    *cluster = (OSSCluster)handle;
    if (!handle) {
        DWORD error = GetLastError();
        return error ? error : ERROR_GEN_FAILURE;
    }
    ossRegCount(OSS_REGCOUNT_CLUSTERS, 1);
    return 0;
}

uint32_t closeCluster(OSSCluster cluster) {
    if (!g_closeCluster((HCLUSTER_)cluster)) {
        DWORD error = GetLastError();
        return error ? error : ERROR_GEN_FAILURE;
    }
    ossRegCount(OSS_REGCOUNT_CLUSTERS, -1);
    return 0;
}

uint32_t getClusterKey(OSSCluster cluster, uint32_t access, OSSClusterKey* key) {
    HKEY root = g_getClusterKey((HCLUSTER_)cluster, (REGSAM)access);
    *key = (OSSClusterKey)root;
    if (!root) {
        DWORD error = GetLastError();
        return error ? error : ERROR_GEN_FAILURE;
    }
    ossRegCount(OSS_REGCOUNT_CLUSTER_KEYS, 1);
    return 0;
}

uint32_t regOpenKey(OSSClusterKey parent, const char16_t* path, uint32_t access,
                    OSSClusterKey* key) {
    HKEY opened = nullptr;
    LONG rc = g_regOpenKey((HKEY)parent, (LPCWSTR)path, (REGSAM)access, &opened);
    *key = rc ? nullptr : (OSSClusterKey)opened;
    if (!rc) ossRegCount(OSS_REGCOUNT_CLUSTER_KEYS, 1);
    return (uint32_t)rc;
}

uint32_t regCloseKey(OSSClusterKey key) {
    LONG rc = g_regCloseKey((HKEY)key);
    if (!rc) ossRegCount(OSS_REGCOUNT_CLUSTER_KEYS, -1);
    return (uint32_t)rc;
}

uint32_t regQueryValue(OSSClusterKey key, const char16_t* name, uint32_t* type, void* data,
                       uint32_t* size) {
    DWORD valueType = 0;
    DWORD bytes = *size;
    LONG rc = g_regQueryValue((HKEY)key, (LPCWSTR)name, &valueType, (LPBYTE)data, &bytes);
    if (type) *type = valueType;
    *size = bytes;
    return (uint32_t)rc;
}

template <typename Fn>
Fn entryPoint(HMODULE module, const char* name) {
    return (Fn)(void*)GetProcAddress(module, name);
}

const char kClusterLibrary[] = "CLUSAPI.DLL";

#ifdef GENREG_FAULT_INJECTION
// The library the tests load instead; empty for the system's.
char g_testLibrary[MAX_PATH];
#endif

// The absolute name of the system directory's copy, so that the search
// order never comes into play: a CLUSAPI.DLL planted in the program's
// directory (a download folder) or the current directory is never loaded,
// above all into an installer running elevated. Its own imports are then
// looked up beside it first.
bool clusterLibraryPath(char (&path)[MAX_PATH]) {
#ifdef GENREG_FAULT_INJECTION
    if (g_testLibrary[0]) {
        lstrcpynA(path, g_testLibrary, MAX_PATH);
        return true;
    }
#endif
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + sizeof kClusterLibrary > MAX_PATH) {
        if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    path[length] = '\\';
    lstrcpynA(path + length + 1, kClusterLibrary, MAX_PATH - length - 1);
    return true;
}

}  // namespace

#ifdef GENREG_FAULT_INJECTION
void ossClusterUseLibraryForTest(const char* path) {
    lstrcpynA(g_testLibrary, path ? path : "", MAX_PATH);
}
#endif

void ossClusterLoadLibrary(OSSClusterApi* table) {
    char path[MAX_PATH];
    HMODULE module = nullptr;
    if (clusterLibraryPath(path))
        module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    else
        path[0] = '\0';
    if (!module) {
        ossLog(OSS_FID_CLUSTER_LOAD, 1,
               ossErrorMapSystem(OSS_FID_CLUSTER_LOAD, 1, 1, GetLastError(), 0), OSS_SEVERITY_ERROR,
               "cluster library %s cannot be loaded", path[0] ? path : kClusterLibrary);
        return;
    }
    // Never unloaded: the table's slots point into it for the process's life.
    g_openCluster = entryPoint<OpenClusterFn>(module, "OpenCluster");
    g_closeCluster = entryPoint<CloseClusterFn>(module, "CloseCluster");
    g_getClusterKey = entryPoint<GetClusterKeyFn>(module, "GetClusterKey");
    g_regOpenKey = entryPoint<ClusterRegOpenKeyFn>(module, "ClusterRegOpenKey");
    g_regCloseKey = entryPoint<ClusterRegCloseKeyFn>(module, "ClusterRegCloseKey");
    g_regQueryValue = entryPoint<ClusterRegQueryValueFn>(module, "ClusterRegQueryValue");
    table->openCluster = g_openCluster ? openCluster : nullptr;
    table->closeCluster = g_closeCluster ? closeCluster : nullptr;
    table->getClusterKey = g_getClusterKey ? getClusterKey : nullptr;
    table->regOpenKey = g_regOpenKey ? regOpenKey : nullptr;
    table->regCloseKey = g_regCloseKey ? regCloseKey : nullptr;
    table->regQueryValue = g_regQueryValue ? regQueryValue : nullptr;
}
