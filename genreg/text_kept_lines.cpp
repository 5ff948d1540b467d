// Passing the lines an update keeps as they stand in blocks (see
// TextUpdatePassKeptLines in text_update.h).
#include <genreg/rc.h>

#include <cstring>

#include "genreg/text_store.h"
#include "genreg/text_update.h"
#include "genreg/textline.h"
#include "platform/oss.h"

bool TextUpdatePassKeptLines(TextUpdate* u, uint64_t selector, const void* key, bool* passed) {
    if (u->keptBlock == nullptr || u->abandoned) return true;
    if (!BlockTryDue(&u->keptTries)) return true;
    GenRegText* h = u->handle;
    int64_t at = ossStreamTell(h->stream);
    if (at < 0) {
        TextUpdateFail(u, GENREG_RC_READ_FAILED, PROBE_SEEK, 0, "position");
        return false;
    }
    char* block = u->keptBlock;
    size_t carried = 0;  // bytes of an unfinished line moved to the block's front
    bool passedAny = false;
    for (;;) {
        const size_t room = kTextKeptBlock - carried;
        const size_t got = ossStreamRead(block + carried, 1, room, h->stream);
        const size_t length = carried + got;
        bool unfinished = false;
        // The lines kept are those the schema rules out as matches.
        const size_t passed =
            TextLinesRuledOut(u->shortcuts, selector, key, u->join, block, length, &unfinished);
        if (!TextWriteBytes(h->tempStream, block, passed)) {
            TextUpdateFail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
            return false;
        }
        at += (int64_t)passed;
        passedAny = passedAny || passed > 0;
        // A short read (the end, or a failure that the line reader then
        // finds) or a line that cannot be passed ends the run.
        if (got < room || passed == 0 || !(unfinished || passed == length)) break;
        carried = length - passed;
        std::memmove(block, block + passed, carried);
    }
    // The stream goes on at the first line not passed, for the line reader.
    if (ossStreamSeek(h->stream, at, SEEK_SET) != 0) {
        TextUpdateFail(u, GENREG_RC_READ_FAILED, PROBE_SEEK, 0, "seek");
        return false;
    }
    if (passedAny && passed != nullptr) *passed = true;
    BlockTryEnded(&u->keptTries, passedAny);
    return true;
}
