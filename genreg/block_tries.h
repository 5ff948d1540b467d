// When a pass in blocks is tried. A pass reads records or lines in blocks
// and leaves the first it cannot pass to the one-by-one reader; it is tried
// again before the next one. A try that passes nothing makes the next wait
// for twice as many read one by one, so that a file of records the pass
// cannot take is not read twice.
#ifndef GENREG_BLOCK_TRIES_H
#define GENREG_BLOCK_TRIES_H

#include <cstdint>

// Zero-initialised, the first try is due at once.
struct BlockTries {
    uint64_t waiting;   // records or lines to read one by one before the next try
    uint64_t lastWait;  // the wait the last fruitless try set; 0 after one that passed
};

// True when a try is due; otherwise counts off one read one by one.
inline bool BlockTryDue(BlockTries* tries) {
    if (tries->waiting == 0) return true;
    --tries->waiting;
    return false;
}

// Sets the wait before the next try from what this one passed.
inline void BlockTryEnded(BlockTries* tries, bool passedAny) {
    tries->lastWait = passedAny ? 0 : tries->lastWait ? 2 * tries->lastWait : 1;
    tries->waiting = tries->lastWait;
}

#endif
