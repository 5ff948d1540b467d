// The Windows registry, the service control manager and the cluster
// registry, as the installed-copy directory needs them.
//
// Every function answers with a Windows error number, never a library
// return code: 0 is success and the callers test for the numbers below.
// The Win32 backend calls the real system; the POSIX backend reads a
// stand-in registry from Windows registry export files (see "POSIX
// stand-in" at the end) so that the same directory code and the same tests
// run on both.
//
// Ownership: every key, service handle and cluster handle an open, connect
// or get function hands out must be released with the matching close
// function; the predefined root from ossRegLocalMachine() is never closed.
// Open handles are counted (ossRegistryCounters) so that tests can prove
// that no path leaks one.
#ifndef GENREG_PLATFORM_REGISTRY_H
#define GENREG_PLATFORM_REGISTRY_H

#include <genreg/platform_codes.h>

#include <cstddef>
#include <cstdint>

// Windows error numbers the callers rely on, one per
// GENREG_WINDOWS_ERROR_LIST entry (genreg/platform_codes.h): 2 no such key,
// value or service, 53 the remote machine cannot be reached, 111 a text
// does not fit its field, 122 a conversion's output does not fit, 234 a
// value or name does not fit the buffer, 259 enumeration past the last
// subkey, 1009 the stand-in registry file is malformed, 0xFFFFFFFF a
// cluster entry point is missing.
#define OSS_WINERR_DEFINE_(name, value, meaning) name = value,
enum : uint32_t { GENREG_WINDOWS_ERROR_LIST(OSS_WINERR_DEFINE_) };
#undef OSS_WINERR_DEFINE_

// Access masks: KEY_READ, and KEY_READ with the 64-bit registry view.
enum : uint32_t {
    OSS_REG_KEY_READ = 0x20019,
    OSS_REG_KEY_READ_64 = 0x20119,
};

// Value types (REG_*).
enum : uint32_t {
    OSS_REG_NONE = 0,
    OSS_REG_SZ = 1,
    OSS_REG_EXPAND_SZ = 2,
    OSS_REG_BINARY = 3,
    OSS_REG_DWORD = 4,
    OSS_REG_MULTI_SZ = 7,
    OSS_REG_QWORD = 11,
};

// Service start types (SERVICE_*_START).
enum : uint32_t {
    OSS_SERVICE_AUTO_START = 2,
    OSS_SERVICE_DEMAND_START = 3,
    OSS_SERVICE_DISABLED = 4,
};

// ---- registry ---------------------------------------------------------------

typedef struct OSSRegKeyT* OSSRegKey;

// The local machine's root (HKEY_LOCAL_MACHINE); never closed.
OSSRegKey ossRegLocalMachine();

// Opens path below parent with the access mask (RegOpenKeyExA). 0 and *key;
// otherwise the error (2 when the key does not exist) and *key null.
uint32_t ossRegOpenKey(OSSRegKey parent, const char* path, uint32_t access, OSSRegKey* key);

// Reads a value (RegQueryValueExA). *size holds the buffer's size in bytes
// and receives the value's size (texts with their terminator). A null
// buffer asks for the size only. 2 when the value does not exist, 234 when
// it does not fit (the buffer's content is then undefined). type may be
// null.
uint32_t ossRegQueryValue(OSSRegKey key, const char* name, uint32_t* type, void* buffer,
                          uint32_t* size);

// The name of subkey number index in the registry's enumeration order
// (RegEnumKeyExA). *chars holds the buffer's size in characters, the
// terminator included, and receives the name's length without it. 259 past
// the last subkey; 234 when the name does not fit (the buffer's content is
// then undefined).
uint32_t ossRegEnumKey(OSSRegKey key, uint32_t index, char* name, uint32_t* chars);

// The number of direct subkeys (RegQueryInfoKeyA).
uint32_t ossRegQuerySubkeyCount(OSSRegKey key, uint32_t* count);

// Releases a key from ossRegOpenKey or ossRegConnect. Null is ignored.
void ossRegCloseKey(OSSRegKey key);

// The HKEY_LOCAL_MACHINE root of another machine (RegConnectRegistryA);
// 53 when the machine cannot be reached. Close the root with
// ossRegCloseKey.
uint32_t ossRegConnect(const char* machine, OSSRegKey* root);

// ---- service control manager -----------------------------------------------

typedef struct OSSServiceT* OSSService;

// The local service control manager with connect access; null on failure.
OSSService ossSvcOpenManager();
// A service by name with query-configuration access; null when it does not
// exist or cannot be opened.
OSSService ossSvcOpenService(OSSService manager, const char* name);
// The service's start type. 0 on success; otherwise the error. The whole
// configuration is read however long its texts are.
uint32_t ossSvcQueryStartType(OSSService service, uint32_t* startType);
// Releases a manager or service handle. Null is ignored.
void ossSvcClose(OSSService handle);

// ---- cluster registry --------------------------------------------------------

typedef struct OSSClusterT* OSSCluster;
typedef struct OSSClusterKeyT* OSSClusterKey;

// The six entry points of the cluster library. A slot is null when the
// library or that entry point could not be loaded. Each slot returns 0 or
// the system error number (for openCluster and getClusterKey, the error the
// system reported when they returned no handle).
struct OSSClusterApi {
    // Opens the cluster named by name, or the local one for null.
    uint32_t (*openCluster)(const char16_t* name, OSSCluster* cluster);
    uint32_t (*closeCluster)(OSSCluster cluster);
    // The root key of the cluster registry.
    uint32_t (*getClusterKey)(OSSCluster cluster, uint32_t access, OSSClusterKey* key);
    uint32_t (*regOpenKey)(OSSClusterKey parent, const char16_t* path, uint32_t access,
                           OSSClusterKey* key);
    uint32_t (*regCloseKey)(OSSClusterKey key);
    // *size in and out in bytes, as ossRegQueryValue; type may be null.
    uint32_t (*regQueryValue)(OSSClusterKey key, const char16_t* name, uint32_t* type, void* data,
                              uint32_t* size);
};

// The process-wide table. The library is loaded on the first call, exactly
// once per process even when two threads make the first call together, and
// never unloaded; a failed load leaves every slot null for good.
const OSSClusterApi* ossClusterApi();

// Test hook: forgets the table so that the next ossClusterApi() loads
// again. Not safe while another thread uses the table.
void ossClusterApiResetForTest();

#ifdef GENREG_FAULT_INJECTION
// Test hook (Windows): the next loads take the cluster library from path,
// an absolute file name, instead of the system directory; null or empty
// goes back to the system's. Not in builds without fault injection.
void ossClusterUseLibraryForTest(const char* path);
#endif

// ---- text in the cluster registry's encoding --------------------------------

// text (ANSI code page; UTF-8 on POSIX) to UTF-16 into out of outChars
// characters, terminator included. 0; 122 when it does not fit; 1113 for
// bytes that are no text. out is an empty text after any failure.
uint32_t ossAnsiToUtf16(const char* text, char16_t* out, size_t outChars);

// UTF-16 text of at most textChars characters (it ends earlier at a
// terminator) to the ANSI code page into out of outBytes bytes, always
// terminated. 0; 122 when it does not fit; 1113 for an unpaired surrogate.
// out is an empty text after any failure.
uint32_t ossUtf16ToAnsi(const char16_t* text, size_t textChars, char* out, size_t outBytes);

// ---- counters for tests -----------------------------------------------------

struct OSSRegistryCounters {
    int64_t openKeys;         // registry keys and remote roots not yet closed
    int64_t openServices;     // manager and service handles not yet closed
    int64_t openClusters;     // cluster handles not yet closed
    int64_t openClusterKeys;  // cluster registry keys not yet closed
    int64_t opensRead;        // key opens with OSS_REG_KEY_READ
    int64_t opensRead64;      // key opens with OSS_REG_KEY_READ_64
    int64_t opensOther;       // key opens with any other mask
    int64_t clusterLoads;     // attempts to load the cluster library
};
void ossRegistryCountersGet(OSSRegistryCounters* counters);

// ---- POSIX stand-in -----------------------------------------------------------
//
// GENREG_REGISTRY_FILE names a registry export file (regedit's
// "Windows Registry Editor Version 5.00" in UTF-16LE with a byte-order
// mark or in UTF-8, or "REGEDIT4"); its [HKEY_LOCAL_MACHINE\...] keys are
// the local machine. Unset: an empty registry (every open gives 2). The
// file is read again when it changes (size, time or identity).
//
// GENREG_REGISTRY_REMOTE_DIR holds one export file per remote machine,
// named <machine>.reg (the name as given, else upper-cased); a machine
// without a file, or the variable unset, gives 53.
//
// Services are the keys below
//   HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name>
// of the local file, their start type the DWORD value "Start".
//
// GENREG_CLUSTER_REGISTRY_FILE names an export file whose keys are written
// relative to the cluster root ([Tavrin\...]). When it is unset at the
// first need of the process, the cluster library "cannot be loaded".
//
// A malformed file is logged with its line and fails every open with 1009.
#define OSS_REGISTRY_FILE_ENV "GENREG_REGISTRY_FILE"
#define OSS_REGISTRY_REMOTE_DIR_ENV "GENREG_REGISTRY_REMOTE_DIR"
#define OSS_CLUSTER_REGISTRY_FILE_ENV "GENREG_CLUSTER_REGISTRY_FILE"

#endif
