// Handle and access-mask counters of the registry backends, read by tests
// to prove that every path closes what it opened.
#include <atomic>

#include "platform/registry.h"
#include "platform/registry_internal.h"

namespace {

std::atomic<int64_t> g_counters[OSS_REGCOUNT_COUNT];

}  // namespace

void ossRegCount(OSSRegCounter counter, int delta) {
    g_counters[counter].fetch_add(delta, std::memory_order_relaxed);
}

void ossRegCountOpenMask(uint32_t access) {
    if (access == OSS_REG_KEY_READ)
        ossRegCount(OSS_REGCOUNT_OPENS_READ, 1);
    else if (access == OSS_REG_KEY_READ_64)
        ossRegCount(OSS_REGCOUNT_OPENS_READ64, 1);
    else
        ossRegCount(OSS_REGCOUNT_OPENS_OTHER, 1);
}

void ossRegistryCountersGet(OSSRegistryCounters* counters) {
    counters->openKeys = g_counters[OSS_REGCOUNT_KEYS].load();
    counters->openServices = g_counters[OSS_REGCOUNT_SERVICES].load();
    counters->openClusters = g_counters[OSS_REGCOUNT_CLUSTERS].load();
    counters->openClusterKeys = g_counters[OSS_REGCOUNT_CLUSTER_KEYS].load();
    counters->opensRead = g_counters[OSS_REGCOUNT_OPENS_READ].load();
    counters->opensRead64 = g_counters[OSS_REGCOUNT_OPENS_READ64].load();
    counters->opensOther = g_counters[OSS_REGCOUNT_OPENS_OTHER].load();
    counters->clusterLoads = g_counters[OSS_REGCOUNT_CLUSTER_LOADS].load();
}
