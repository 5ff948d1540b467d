// What the registry backends share inside platform/: their log and trace
// identifiers and the handle counters behind ossRegistryCounters.
#ifndef GENREG_PLATFORM_REGISTRY_INTERNAL_H
#define GENREG_PLATFORM_REGISTRY_INTERNAL_H

#include <cstdint>

// Identifiers 0x082A02E0 to 0x082A02FF of the platform range.
enum : uint32_t {
    OSS_FID_REG_EXPORT_LOAD = 0x082A02E0U,
    OSS_FID_REG_OPEN_KEY = 0x082A02E1U,
    OSS_FID_REG_QUERY_VALUE = 0x082A02E2U,
    OSS_FID_REG_ENUM_KEY = 0x082A02E3U,
    OSS_FID_REG_SUBKEY_COUNT = 0x082A02E4U,
    OSS_FID_REG_CLOSE_KEY = 0x082A02E5U,
    OSS_FID_REG_CONNECT = 0x082A02E6U,
    OSS_FID_SVC_OPEN_MANAGER = 0x082A02E7U,
    OSS_FID_SVC_OPEN_SERVICE = 0x082A02E8U,
    OSS_FID_SVC_QUERY_START = 0x082A02E9U,
    OSS_FID_SVC_CLOSE = 0x082A02EAU,
    OSS_FID_CLUSTER_LOAD = 0x082A02EBU,
    OSS_FID_CLUSTER_OPEN = 0x082A02ECU,
    OSS_FID_ANSI_TO_UTF16 = 0x082A02EDU,
    OSS_FID_UTF16_TO_ANSI = 0x082A02EEU,
};

enum OSSRegCounter : int {
    OSS_REGCOUNT_KEYS,
    OSS_REGCOUNT_SERVICES,
    OSS_REGCOUNT_CLUSTERS,
    OSS_REGCOUNT_CLUSTER_KEYS,
    OSS_REGCOUNT_OPENS_READ,
    OSS_REGCOUNT_OPENS_READ64,
    OSS_REGCOUNT_OPENS_OTHER,
    OSS_REGCOUNT_CLUSTER_LOADS,
    OSS_REGCOUNT_COUNT
};

// Adds delta to a counter; safe from any thread.
void ossRegCount(OSSRegCounter counter, int delta);

// Records one key open (ossRegOpenKey) with access.
void ossRegCountOpenMask(uint32_t access);

struct OSSClusterApi;
// Backend: loads the cluster library and fills the slots it finds; leaves
// the table untouched (all null) when the library cannot be loaded. Called
// once per process by ossClusterApi, under its lock.
void ossClusterLoadLibrary(OSSClusterApi* table);

#endif
