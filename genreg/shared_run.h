// Passing over the bytes two streams share, in blocks: the text store's
// verification pass reads the registry file and its copy side by side, and
// a stretch of lines both hold byte for byte agrees pair by pair, so it
// need not be read one line at a time.
//
// The caller's units function says how many bytes at the start of a block
// are whole records that its own reader would return one by one exactly as
// they stand; only those are passed, so the records behind them pair up as
// they would have. Both streams must stand at the start of a record, every
// pair before it accounted for.
#ifndef GENREG_SHARED_RUN_H
#define GENREG_SHARED_RUN_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "genreg/block_tries.h"

// Bytes of each of the two blocks a run reads into.
const size_t kSharedRunBlock = 16384;

// Bytes at the start of bytes (length of them) held by whole records;
// *unfinished tells that the bytes end inside a record that more bytes
// could complete (it fits a block), rather than at one that is never
// passed.
typedef size_t (*SharedRunUnits)(const void* context, const char* bytes, size_t length,
                                 bool* unfinished);

struct SharedRun {
    char* blocks;      // 2 * kSharedRunBlock bytes, or null: nothing is passed
    BlockTries tries;  // counted in pairs read the usual way
};

// What a try ended in: SHARED_RUN_OK (the streams stand behind the records
// passed, perhaps none), or the stream whose position could not be asked
// or set. A block read that fails passes nothing more; the reads that
// follow find the failure (the error indicator stays).
enum SharedRunResult { SHARED_RUN_OK, SHARED_RUN_FIRST_FAILED, SHARED_RUN_SECOND_FAILED };
SharedRunResult PassSharedRun(SharedRun* run, FILE* first, FILE* second, SharedRunUnits units,
                              const void* context);

// A pair was found to differ and dealt with: the records behind it may be
// the same again, so the next try is not put off.
inline void SharedRunAfterChange(SharedRun* run) {
    run->tries.waiting = 0;
}

#endif
