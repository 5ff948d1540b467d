// The process-wide cluster interface table: loaded on first need, once per
// process, by whichever thread gets there first; the others wait for it.
#include <mutex>

#include "genreg/trace.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"

namespace {

// A mutex rather than std::call_once so that tests can reset the state.
std::mutex g_clusterMutex;
bool g_clusterLoadPending = true;
OSSClusterApi g_clusterApi;

}  // namespace

const OSSClusterApi* ossClusterApi() {
    unsigned rc = 0;
    GENREG_TRACE(OSS_FID_CLUSTER_LOAD, &rc);
    std::lock_guard<std::mutex> guard(g_clusterMutex);
    if (g_clusterLoadPending) {
        ossRegCount(OSS_REGCOUNT_CLUSTER_LOADS, 1);
        ossClusterLoadLibrary(&g_clusterApi);
        g_clusterLoadPending = false;  // cleared whether or not the load worked
    }
    return &g_clusterApi;
}

void ossClusterApiResetForTest() {
    std::lock_guard<std::mutex> guard(g_clusterMutex);
    g_clusterApi = OSSClusterApi();
    g_clusterLoadPending = true;
}
