// Fault injection and resource counters (test builds only; see fault.h).
#include "platform/fault.h"

#ifdef GENREG_FAULT_INJECTION

#include <atomic>

volatile bool g_ossFaultCounting = false;

namespace {

std::atomic<uint64_t> g_calls[OSS_FAULT_KIND_COUNT];
std::atomic<int64_t> g_resources[OSS_RESOURCE_KIND_COUNT];

// The armed failure: the call of g_armedKind whose count reaches g_armedAt.
std::atomic<bool> g_armed{false};
std::atomic<bool> g_fired{false};
OSSFaultKind g_armedKind = OSS_FAULT_OPEN;
uint64_t g_armedAt = 0;
uint32_t g_armedError = 0;

}  // namespace

bool ossFaultHitSlow(OSSFaultKind kind) {
    if (kind >= OSS_FAULT_KIND_COUNT) return false;
    uint64_t count = ++g_calls[kind];
    if (!g_armed.load() || kind != g_armedKind || count != g_armedAt) return false;
    g_armed = false;
    g_fired = true;
    ossFaultSetSystemError(g_armedError);
    return true;
}

void ossResourceAdjust(OSSResourceKind kind, int delta) {
    if (kind < OSS_RESOURCE_KIND_COUNT) g_resources[kind] += delta;
}

void ossFaultReset() {
    g_armed = false;
    g_fired = false;
    for (std::atomic<uint64_t>& calls : g_calls)
        calls = 0;
    g_ossFaultCounting = true;
}

void ossFaultArm(OSSFaultKind kind, uint32_t nth, uint32_t systemError) {
    if (kind >= OSS_FAULT_KIND_COUNT || nth == 0) return;
    g_armed = false;
    g_fired = false;
    g_armedKind = kind;
    g_armedAt = g_calls[kind].load() + nth;
    g_armedError = systemError ? systemError : ossFaultDefaultError(kind);
    g_ossFaultCounting = true;
    g_armed = true;
}

void ossFaultDisarm() {
    g_armed = false;
    g_ossFaultCounting = false;
}

uint64_t ossFaultCalls(OSSFaultKind kind) {
    return kind < OSS_FAULT_KIND_COUNT ? g_calls[kind].load() : 0;
}

bool ossFaultFired() {
    return g_fired.load();
}

int64_t ossResourceCount(OSSResourceKind kind) {
    return kind < OSS_RESOURCE_KIND_COUNT ? g_resources[kind].load() : 0;
}

#endif
