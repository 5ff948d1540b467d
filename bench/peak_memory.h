// Heap accounting of the benchmark process (bytes, as malloc_usable_size
// counts them).
#ifndef GENREG_BENCH_PEAK_MEMORY_H
#define GENREG_BENCH_PEAK_MEMORY_H

// Starts a new peak measurement at the current heap use.
void PeakMemoryReset();
// Bytes in use now.
long long PeakMemoryCurrent();
// Highest heap use since the reset, minus baseline (pass PeakMemoryCurrent()
// taken at the reset to get what the measured operation added).
long long PeakMemorySinceReset(long long baseline);

#endif
