// Passing the lines an update keeps as they stand in blocks (see
// TextUpdatePassKeptLines in text_update.h).
#include <genreg/rc.h>

#include <cstring>

#include "genreg/text_update.h"
#include "genreg/textline.h"
#include "platform/oss.h"

namespace {

// Bytes at the start of block (length bytes, one more writable behind them)
// held by lines the update would copy unchanged as the reader returned them
// one by one: each ends at its line feed inside the block, is shorter than
// the line buffer, holds no NUL byte (the reader's text of such a line ends
// at it, and a backslash in front of it would be dropped), does not go on
// in the next line (with joining on), and certainly does not match key by
// the schema's own test on its text, which the reader would have handed
// the schema as the line's bytes, behind a byte-order mark. *unfinished
// tells that the bytes end inside a line that a fuller block could pass.
size_t keptLines(const TextUpdate* u, uint64_t selector, const void* key, char* block,
                 size_t length, bool* unfinished) {
    size_t passed = 0;
    *unfinished = false;
    while (passed < length) {
        char* start = block + passed;
        const size_t rest = length - passed;
        const size_t size = WholePlainLineAt(start, rest, u->join, unfinished);
        if (size == 0) break;
        if (std::memchr(start, '\0', size) != nullptr) break;
        const char* text = start;
        if (size >= sizeof kByteOrderMark &&
            std::memcmp(start, kByteOrderMark, sizeof kByteOrderMark) == 0)
            text += sizeof kByteOrderMark;
        // The schema's test reads a terminated line: the byte behind it is
        // lent for the terminator (the block has room for one more byte).
        const char behind = start[size];
        start[size] = '\0';
        const bool kept = u->shortcuts->mismatch(selector, text, key);
        start[size] = behind;
        if (!kept) break;
        passed += size;
    }
    return passed;
}

}  // namespace

bool TextUpdatePassKeptLines(TextUpdate* u, uint64_t selector, const void* key, bool* passed) {
    if (u->keptBlock == nullptr || u->abandoned) return true;
    if (u->linesBeforeTry > 0) {
        --u->linesBeforeTry;
        return true;
    }
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
        const size_t passed = keptLines(u, selector, key, block, length, &unfinished);
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
    // A try that passes nothing puts the next off for twice as many lines
    // read one by one, so that a file of lines that cannot be passed is not
    // read twice.
    if (passedAny) {
        if (passed != nullptr) *passed = true;
        u->linesAfterFruitlessTry = 0;
    } else {
        u->linesAfterFruitlessTry = u->linesAfterFruitlessTry ? 2 * u->linesAfterFruitlessTry : 1;
        u->linesBeforeTry = u->linesAfterFruitlessTry;
    }
    return true;
}
