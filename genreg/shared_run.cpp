// Passing over the bytes two streams share (see shared_run.h).
#include "genreg/shared_run.h"

#include <cstring>

#include "platform/oss.h"

namespace {

// Bytes at the start of a and b (n of each) that both hold.
size_t sharedPrefix(const char* a, const char* b, size_t n) {
    const size_t kChunk = 256;
    size_t same = 0;
    while (same + kChunk <= n && std::memcmp(a + same, b + same, kChunk) == 0)
        same += kChunk;
    while (same < n && a[same] == b[same])
        ++same;
    return same;
}

}  // namespace

SharedRunResult PassSharedRun(SharedRun* run, FILE* first, FILE* second, SharedRunUnits units,
                              const void* context) {
    if (run->blocks == nullptr) return SHARED_RUN_OK;
    if (!BlockTryDue(&run->tries)) return SHARED_RUN_OK;
    int64_t firstAt = ossStreamTell(first);
    if (firstAt < 0) return SHARED_RUN_FIRST_FAILED;
    const int64_t secondAt = ossStreamTell(second);
    if (secondAt < 0) return SHARED_RUN_SECOND_FAILED;
    const int64_t secondFromFirst = secondAt - firstAt;
    char* a = run->blocks;
    char* b = run->blocks + kSharedRunBlock;
    size_t kept = 0;  // bytes of an unfinished record carried to the front of both blocks
    bool passedAny = false;
    for (;;) {
        const size_t room = kSharedRunBlock - kept;
        const size_t firstRead = ossStreamRead(a + kept, 1, room, first);
        const size_t secondRead = ossStreamRead(b + kept, 1, room, second);
        const size_t both = kept + (firstRead < secondRead ? firstRead : secondRead);
        const size_t same = kept + sharedPrefix(a + kept, b + kept, both - kept);
        bool unfinished = false;
        const size_t passed = units(context, a, same, &unfinished);
        firstAt += (int64_t)passed;
        passedAny = passedAny || passed > 0;
        // Two whole blocks alike, passed up to a record that goes on in the
        // next blocks (or to their end): both streams stand behind them.
        const bool whole = firstRead == room && secondRead == room && same == both;
        if (!whole || passed == 0 || !(unfinished || passed == both)) break;
        kept = both - passed;
        std::memmove(a, a + passed, kept);
        std::memmove(b, b + passed, kept);
    }
    if (ossStreamSeek(first, firstAt, SEEK_SET) != 0) return SHARED_RUN_FIRST_FAILED;
    if (ossStreamSeek(second, firstAt + secondFromFirst, SEEK_SET) != 0)
        return SHARED_RUN_SECOND_FAILED;
    BlockTryEnded(&run->tries, passedAny);
    return SHARED_RUN_OK;
}
