// The machinery the text store's updates share: one update in progress,
// its preparation (validation, record buffer, update lock, transaction), the
// reading and writing of lines, and its ending (commit or abandon,
// verification, release, PostUpdate).
//
// Lines the change does not touch are copied from the reader's verbatim
// buffer, so comments, blank lines, continuations and spacing survive. The
// line ends each operation writes:
//   Delete  every kept line exactly as read.
//   Add     kept lines exactly as read, except that a last line without a
//           line end first gets CR LF; the new line gets "\n" unless its
//           formatted text holds one.
//   Change  every line, kept or new, gets "\n" when it holds no line end,
//           unless it fills the line buffer already (only a last line can).
// A byte-order mark in front of a line stays in front of it when Change
// replaces the line; when Delete removes the first line, the file's mark
// goes in front of the next line kept.
// A piece of a logical line too long for the line buffer would be written
// as a line of its own: every update refuses such a file with
// GENREG_RC_BUFFER_TOO_SMALL, logging the line's number and length, and
// leaves it unchanged. A last line of exactly the buffer's capacity and no
// line end is whole; only Add refuses it, as it cannot end it. Likewise a file that
// holds the byte at which the platform's text streams end their input is
// refused with GENREG_RC_READ_FAILED, since the lines behind it would be
// lost.
#ifndef GENREG_TEXT_UPDATE_H
#define GENREG_TEXT_UPDATE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <genreg/handle.h>

#include "genreg/block_tries.h"
#include "genreg/text_store.h"
#include "genreg/trace.h"

enum : uint32_t {
    FID_TEXT_ADD = GENREG_FID(0x0052),
    FID_TEXT_CHANGE = GENREG_FID(0x0053),
    FID_TEXT_DELETE = GENREG_FID(0x0054),
};

// Probe numbers shared by the three operations (each logs under its own
// function identifier).
enum : uint32_t {
    PROBE_NO_SLOT = 1,
    PROBE_INVALID = 2,
    PROBE_ALLOC = 3,
    PROBE_LOCK = 7,
    PROBE_OPEN = 8,
    PROBE_INFO = 9,
    PROBE_DUPLICATE = 10,
    PROBE_TOO_LONG = 11,
    PROBE_COPY = 12,
    PROBE_READ = 13,
    PROBE_SEEK = 14,
    PROBE_PACK = 15,
    PROBE_APPEND = 16,
    PROBE_MULTIPLE = 17,
    PROBE_NO_MATCH = 18,
    PROBE_CLOSE = 19,
    PROBE_VERIFY = 20,
    PROBE_TEMP_DELETE = 21,
    PROBE_UNLOCK = 22,
    PROBE_FREE = 23,
    PROBE_POST_UPDATE = 24,
    PROBE_NULL = 25,
};

// One update in progress: what it took and how it stands.
struct TextUpdate {
    GenRegText* handle;
    unsigned type;  // GENREG_TXN_ADD, _CHANGE or _DELETE
    uint32_t fid;
    void* record;  // work buffer of max bytes
    uint64_t max;
    bool join;
    const TextLineShortcuts* shortcuts;  // the schema's, or null
    LineNormalizerScope normalizer;      // from the update lock on to the end
    // The block lines are passed in (TextUpdatePassKeptLines), of
    // kTextKeptBlock + 1 bytes, or null where they are read one by one.
    char* keptBlock;
    BlockTries keptTries;  // when the next pass of kept lines is tried
    bool abandoned;        // end the transaction without committing
    unsigned result;       // the first failure of the update itself
    unsigned secondary;    // the latest failure of the clean-up
};

TextUpdate NewTextUpdate(GenRegText* handle, unsigned type, uint32_t fid);

// Records a failure of the update's body (logged with cause when not 0)
// and marks the update abandoned.
void TextUpdateFail(TextUpdate* u, unsigned code, uint32_t probe, unsigned cause, const char* what);

// Validates the caller's record or key and takes the record buffer and the
// update lock. On failure everything taken is given back and the code is
// returned.
unsigned TextUpdatePrepare(TextUpdate* u, uint64_t selector, void* validated);
// Opens the update's transaction; on failure closes what it opened and
// gives back the lock and the buffer.
unsigned TextUpdateBegin(TextUpdate* u);
// Ends the update after its body, whatever the body's outcome: ends the
// transaction (committing unless abandoned), verifies, removes a copy that
// will not be committed, releases the lock, frees the buffer and calls
// PostUpdate. Returns the update's result.
unsigned TextUpdateFinish(TextUpdate* u, uint64_t selector, void* record, void* key);

// Reads the next line of the registry file. False at the end of the file,
// and on a read error or a line too long for the buffer, which abandon the
// update.
bool TextUpdateNextLine(TextUpdate* u, TextLine* text);
// Parses a line and compares it with key on the fields of selector: *match
// is true for a line that parsed and matches (a line that does not parse is
// kept and never matches). False when a slot is empty: the update is
// abandoned.
bool TextUpdateLineMatches(TextUpdate* u, const TextLine* text, uint64_t selector, const void* key,
                           bool* match);
// Bytes of the blocks TextUpdatePassKeptLines reads the registry file in.
const size_t kTextKeptBlock = 16384;
// Copies the lines from the registry file's position on that the update
// keeps unchanged and that its reader would return one by one exactly as
// they stand, up to the first that the schema's test cannot rule out as a
// match for key: they are read and written in blocks, and the file's
// stream is left at the first line not passed, for TextUpdateNextLine. A
// Change or Delete calls it before each line it reads. Nothing is passed
// where text streams translate line ends (a stream position is no byte
// count there) or without the schema's test. False, with the update
// abandoned, when the stream's position could not be asked or set, or the
// copy could not be written. *passed (when not null) is set when lines were
// passed, and left as it was otherwise.
bool TextUpdatePassKeptLines(TextUpdate* u, uint64_t selector, const void* key, bool* passed);
// False, with the update abandoned, when the copy would stop short of the
// file's end (see above).
bool TextUpdateWholeFileReadable(TextUpdate* u);

bool TextWriteBytes(FILE* stream, const char* bytes, size_t length);
// True when raw starts with the byte-order mark.
bool TextLineHasByteOrderMark(const TextLine* text);
// Writes a line, adding "\n" when it holds no line end at all and there is
// room for one in the line buffer.
bool TextWriteWithLineEnd(FILE* stream, const char* text, size_t length);
// What to write to a text stream so that the file receives CR LF.
const char* TextCrLf();

#endif
