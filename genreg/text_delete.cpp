// Delete: the lines matching a key removed, every other line kept as read.
#include <genreg/handle.h>
#include <genreg/rc.h>

#include "genreg/text_update.h"
#include "genreg/textline.h"

namespace {

void deleteBody(TextUpdate* u, uint64_t selector, void* key) {
    GenRegText* h = u->handle;
    const bool duplicatesAllowed = h->isFeatureSet(GENREG_FEATURE_DUPLICATES);
    unsigned removed = 0;
    if (!TextUpdateWholeFileReadable(u)) return;
    TextLine text;
    bool linesBefore = false;  // lines in front of the current one, read or passed
    bool markPending = false;  // the file's byte-order mark went with its first line
    // The lines in front of a removed first line wait for its byte-order
    // mark: they are not passed in blocks.
    while ((markPending || TextUpdatePassKeptLines(u, selector, key, &linesBefore)) &&
           TextUpdateNextLine(u, &text)) {
        bool match = false;
        if (!TextUpdateLineMatches(u, &text, selector, key, &match)) return;
        const bool firstLine = !linesBefore;
        linesBefore = true;
        if (match) {
            if (removed > 0 && !duplicatesAllowed)
                return TextUpdateFail(u, GENREG_RC_MULTIPLE_MATCHES, PROBE_MULTIPLE, 0,
                                      "second match");
            ++removed;
            if (firstLine) markPending = TextLineHasByteOrderMark(&text);
            continue;
        }
        if (markPending && !TextLineHasByteOrderMark(&text) &&
            !TextWriteBytes(h->tempStream, kByteOrderMark, sizeof kByteOrderMark))
            return TextUpdateFail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
        markPending = false;
        if (!TextWriteBytes(h->tempStream, text.raw, text.rawLength))
            return TextUpdateFail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
    }
    if (u->abandoned) return;
    if (removed == 0) TextUpdateFail(u, GENREG_RC_NO_MATCH, PROBE_NO_MATCH, 0, "no line matches");
}

}  // namespace

unsigned GenRegText::Delete(uint64_t selector, void* key) {
    unsigned rc = 0;
    GENREG_TRACE(FID_TEXT_DELETE, &rc);
    if ((rc = TextRefuseNull(FID_TEXT_DELETE, PROBE_NULL, key, key)) != 0) return rc;
    TextUpdate u = NewTextUpdate(this, GENREG_TXN_DELETE, FID_TEXT_DELETE);
    rc = TextUpdatePrepare(&u, selector, key);
    if (rc != 0) return rc;
    rc = TextUpdateBegin(&u);
    if (rc != 0) return rc;
    deleteBody(&u, selector, key);
    rc = TextUpdateFinish(&u, selector, nullptr, key);
    return rc;
}
