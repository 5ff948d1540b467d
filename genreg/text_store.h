// Internal pieces of the text store shared by lookup, update and the
// verification of an update.
#ifndef GENREG_TEXT_STORE_H
#define GENREG_TEXT_STORE_H

#include <cstdint>
#include <genreg/handle.h>

#include "genreg/textline.h"

// Unit name under which the text store's buffers are allocated.
extern const char kTextStoreUnit[];

// The first empty slot among ValidateRecord, GetMaxRecordSize, UnpackRecord,
// CompareRecord and PackRecord is logged with its own code; the result is
// then GENREG_RC_SLOTS_INCOMPLETE, else 0.
unsigned CheckTextSlots(GenRegText* handle);

// Asks the schema for its largest record size: GENREG_RC_NO_MAX_SIZE_SLOT,
// GENREG_RC_RECORD_TOO_SMALL (below 3), GENREG_RC_RECORD_TOO_LARGE (above
// 1 MiB), each logged under functionId.
unsigned TextMaxRecordSize(GenRegText* handle, uint64_t* max, uint32_t functionId);

// Parses text->line into record with the schema's UnpackRecord (the slot is
// set). A failure is logged as GENREG_RC_LINE_UNPACK_FAILED under
// functionId and returned as the callback's code.
unsigned UnpackTextLine(GenRegText* handle, void* record, const TextLine* text,
                        uint32_t functionId);

// The verification pass of an update with GENREG_FEATURE_VERIFY: reads the
// registry file and its temporary copy side by side and swaps them in only
// when they differ by exactly the requested change. type is
// GENREG_TXN_CHANGE, _ADD or _DELETE; record is the added or new record
// (null for Delete), key the key of Change and Delete (null for Add).
// *committed (when not null) tells whether the copy was swapped in: a
// non-zero result with *committed true is a failure of the pass's clean-up
// after its commit (the new content is in place); with *committed false
// the file kept its old content.
unsigned VerifyTextUpdate(GenRegText* handle, unsigned type, uint64_t selector, void* record,
                          void* key, bool* committed = nullptr);

// EndTransaction that leaves nothing open: when ending fails part-way (a
// stream that would not close), the streams still open are closed without
// committing. Returns EndTransaction's first result.
unsigned EndTextTransaction(GenRegText* handle, unsigned type);

// The caller's key and record pointers: a null one among the count given
// is refused with GENREG_RC_NULL_ARGUMENT (logged under functionId and
// probe) before anything else, as the binary store refuses them.
unsigned TextRefuseNull(uint32_t functionId, uint32_t probe, const void* first, const void* second);

// A test a text schema can make on a processed line before it is parsed,
// so that a search parses and compares only the lines it must:
//   mismatch  true only when UnpackRecord of line would succeed without
//             logging anything and CompareRecord(selector, parsed, key)
//             would then not be 1, whether or not the operation's line
//             normaliser has its buffer.
// It answers false when it cannot tell; the line then takes the usual way,
// with its results, codes and logs.
struct TextLineShortcuts {
    bool (*mismatch)(uint64_t selector, const char* line, const void* key);
};
// The shortcuts of the handle's schema, or null: they apply only while the
// handle holds that schema's own unpack and compare callbacks. The schemas
// provide them.
const TextLineShortcuts* TextLineShortcutsOf(const GenRegText* handle);

// Bytes at the start of block (length bytes, one more writable behind them)
// held by lines that a search reading them one by one would pass over
// unparsed: each ends at its line feed inside the block, is shorter than
// the line buffer, holds no NUL byte, does not go on in the next line (with
// joining on), and shortcuts->mismatch rules it out as a match of key on
// the text the line reader would have returned for it (behind a byte-order
// mark). *unfinished tells that the bytes end inside a line that more bytes
// could make such a line.
size_t TextLinesRuledOut(const TextLineShortcuts* shortcuts, uint64_t selector, const void* key,
                         bool join, char* block, size_t length, bool* unfinished);

// True when two logical lines hold the same bytes.
bool SameRawText(const TextLine* a, const TextLine* b);

#endif
