// Change: the lines matching a key replaced by a new record, each in its
// place and formatted on the old line's layout.
#include <genreg/handle.h>
#include <genreg/rc.h>

#include <cstring>

#include "genreg/text_update.h"

namespace {

void changeBody(TextUpdate* u, uint64_t selector, void* key, void* newRecord) {
    GenRegText* h = u->handle;
    const bool duplicatesAllowed = h->isFeatureSet(GENREG_FEATURE_DUPLICATES);
    unsigned replaced = 0;
    if (!TextUpdateWholeFileReadable(u)) return;
    TextLine text;
    while (TextUpdatePassKeptLines(u, selector, key, nullptr) && TextUpdateNextLine(u, &text)) {
        bool match = false;
        if (!TextUpdateLineMatches(u, &text, selector, key, &match)) return;
        if (match) {
            if (h->CompareRecord(GENREG_SELECT_ALL, u->record, newRecord) != 0) {
                // The line already holds the new record: it is kept.
                u->result = GENREG_RC_UNCHANGED;
            } else {
                if (replaced > 0 && !duplicatesAllowed)
                    return TextUpdateFail(u, GENREG_RC_MULTIPLE_MATCHES, PROBE_MULTIPLE, 0,
                                          "second match");
                if (h->PackRecord == nullptr)
                    return TextUpdateFail(u, GENREG_RC_NO_LINE_PACK_SLOT, PROBE_NO_SLOT, 0,
                                          "slot=PackRecord");
                // The old line in the buffer is the new line's layout
                // template; a byte-order mark in front of it is no part of
                // the layout and goes in front of the new line.
                const bool mark = TextLineHasByteOrderMark(&text);
                TextLineRawWritten(&text);
                if (mark) {
                    text.rawLength -= sizeof kByteOrderMark;
                    std::memmove(text.raw, text.raw + sizeof kByteOrderMark, text.rawLength);
                }
                text.raw[text.rawLength] = '\0';
                unsigned packRc = h->PackRecord(newRecord, text.raw);
                if (packRc != 0)
                    return TextUpdateFail(u, GENREG_RC_LINE_PACK_FAILED, PROBE_PACK, packRc,
                                          "format");
                text.raw[sizeof text.raw - 1] = '\0';
                text.rawLength = std::strlen(text.raw);
                if (mark && !TextWriteBytes(h->tempStream, kByteOrderMark, sizeof kByteOrderMark))
                    return TextUpdateFail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
                ++replaced;
            }
        }
        if (!TextWriteWithLineEnd(h->tempStream, text.raw, text.rawLength))
            return TextUpdateFail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
    }
    if (u->abandoned) return;
    if (u->result == 0 && replaced == 0)
        TextUpdateFail(u, GENREG_RC_NO_MATCH, PROBE_NO_MATCH, 0, "no line matches");
}

}  // namespace

unsigned GenRegText::Change(uint64_t selector, void* key, void* newRecord) {
    unsigned rc = 0;
    GENREG_TRACE(FID_TEXT_CHANGE, &rc);
    if ((rc = TextRefuseNull(FID_TEXT_CHANGE, PROBE_NULL, key, newRecord)) != 0) return rc;
    TextUpdate u = NewTextUpdate(this, GENREG_TXN_CHANGE, FID_TEXT_CHANGE);
    rc = TextUpdatePrepare(&u, selector, newRecord);
    if (rc != 0) return rc;
    rc = TextUpdateBegin(&u);
    if (rc != 0) return rc;
    changeBody(&u, selector, key, newRecord);
    rc = TextUpdateFinish(&u, selector, newRecord, key);
    return rc;
}
