// Peak heap use of the benchmark process, by interposing malloc and free:
// the bench binary's definitions win over the C library's, for the library
// under test as much as for the benchmark itself.
#include "bench/peak_memory.h"

#include <malloc.h>

#include <atomic>
#include <cstddef>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void __libc_free(void* block);

namespace {

std::atomic<long long> g_current{0};
std::atomic<long long> g_peak{0};

void grow(void* block) {
    if (!block) return;
    long long now = g_current.fetch_add((long long)malloc_usable_size(block)) +
                    (long long)malloc_usable_size(block);
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void shrink(void* block) {
    if (block) g_current.fetch_sub((long long)malloc_usable_size(block));
}

}  // namespace

extern "C" void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    grow(block);
    return block;
}

extern "C" void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    grow(block);
    return block;
}

extern "C" void* realloc(void* block, size_t size) {
    long long old = block ? (long long)malloc_usable_size(block) : 0;
    void* moved = __libc_realloc(block, size);
    // A failed realloc leaves the old block in place and in use.
    if (moved || size == 0) {
        g_current.fetch_sub(old);
        grow(moved);
    }
    return moved;
}

extern "C" void free(void* block) {
    shrink(block);
    __libc_free(block);
}

void PeakMemoryReset() {
    g_peak.store(g_current.load());
}

long long PeakMemorySinceReset(long long baseline) {
    return g_peak.load() - baseline;
}

long long PeakMemoryCurrent() {
    return g_current.load();
}
