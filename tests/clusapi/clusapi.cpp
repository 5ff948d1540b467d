// A stand-in for the system's cluster library, loaded by the tests in its
// place through the library's test hook (ossClusterUseLibraryForTest).
// The cluster registry is an ordinary registry key: the path below
// HKEY_CURRENT_USER named by GENREG_TEST_CLUSTER_ROOT when the local
// cluster is opened. Without that variable there is no cluster to open.
#include <windows.h>

namespace {

const wchar_t kRootEnv[] = L"GENREG_TEST_CLUSTER_ROOT";

struct Cluster {
    wchar_t root[512];
};

}  // namespace

extern "C" {

__declspec(dllexport) void* WINAPI OpenCluster(LPCWSTR name) {
    if (name) {
        SetLastError(ERROR_BAD_NETPATH);
        return nullptr;
    }
    Cluster* cluster = (Cluster*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Cluster));
    if (!cluster) {
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    DWORD length = GetEnvironmentVariableW(kRootEnv, cluster->root, 512);
    if (length == 0 || length >= 512) {
        HeapFree(GetProcessHeap(), 0, cluster);
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);  // no cluster service here
        return nullptr;
    }
    return cluster;
}

__declspec(dllexport) BOOL WINAPI CloseCluster(void* cluster) {
    if (!cluster) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HeapFree(GetProcessHeap(), 0, cluster);
    return TRUE;
}

__declspec(dllexport) HKEY WINAPI GetClusterKey(void* cluster, REGSAM access) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, ((Cluster*)cluster)->root, 0, access, &key);
    if (rc) {
        SetLastError((DWORD)rc);
        return nullptr;
    }
    return key;
}

__declspec(dllexport) LONG WINAPI
    ClusterRegOpenKey(HKEY key, LPCWSTR path, REGSAM access, PHKEY result) {
    return RegOpenKeyExW(key, path, 0, access, result);
}

__declspec(dllexport) LONG WINAPI ClusterRegCloseKey(HKEY key) {
    return RegCloseKey(key);
}

__declspec(dllexport) LONG WINAPI
    ClusterRegQueryValue(HKEY key, LPCWSTR name, LPDWORD type, LPBYTE data, LPDWORD size) {
    return RegQueryValueExW(key, name, nullptr, type, data, size);
}

}  // extern "C"
