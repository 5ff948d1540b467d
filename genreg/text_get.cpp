// Lookup in a text registry file: Get (one file transaction, or a search of
// an open scan) and GetNext (the next line of an open scan).
#include <genreg/handle.h>
#include <genreg/rc.h>

#include <cstring>

#include "genreg/block_tries.h"
#include "genreg/text_store.h"
#include "genreg/trace.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_GET = GENREG_FID(0x0050),
    FID_GET_NEXT = GENREG_FID(0x0051),
    FID_FIND_MATCH = GENREG_FID(0x0059),
};

// How a search of the stream ended.
enum class Search { Found, Exhausted, Failed };

// A line too long for the line buffer, whose first part the search just
// read: no part of it may pass for a record or hand out a cut value. The
// rest of the line is passed over, and the line is logged with its number
// and length. When its first part (which holds the key fields) matches the
// key, or the search takes every line, the line is the search's result:
// true, *rc = GENREG_RC_LINE_TOO_LONG. Otherwise the search goes on behind
// it.
bool overLongLineMatches(GenRegText* handle, uint64_t selector, const void* key, bool matchEvery,
                         void* record, const TextLine* text, uint32_t functionId, unsigned* rc) {
    const bool join = handle->isFeatureSet(GENREG_FEATURE_JOIN_LINES);
    const OverLongLine where = MeasureOverLongLine(handle->stream, text, join);
    bool match = matchEvery;
    if (!match && handle->CompareRecord != nullptr && handle->UnpackRecord(record, text->line) == 0)
        match = handle->CompareRecord(selector, record, key) == 1;
    if (match) *rc = GENREG_RC_LINE_TOO_LONG;
    ossLog(functionId, 15, GENREG_RC_LINE_TOO_LONG,
           match ? OSS_SEVERITY_ERROR : OSS_SEVERITY_WARNING,
           "line=%llu length=%llu buffer=%d file=%s", (unsigned long long)where.number,
           (unsigned long long)where.length, GENREG_LINE_MAX, handle->filePath);
    return match;
}

// The lines of a search that certainly do not match, passed in pieces of
// the file instead of one by one.
struct RuledOutPass {
    bool enabled;
    BlockTries tries;
    // Bytes the stream was read ahead of the line last handed out: it is
    // set back before it is read again (a Get that found its line never
    // needs it).
    size_t ahead;
};

// Bytes of each read of a pass: less than the stream's own buffer holds, so
// that the pass makes no more read calls of the system than the line
// reader would.
const size_t kRuledOutPiece = 2048;

// Sets the stream back to the line behind the one last handed out. False
// when it cannot (*rc GENREG_RC_READ_FAILED, logged).
bool settle(GenRegText* handle, RuledOutPass* pass, uint32_t functionId, unsigned* rc) {
    if (pass->ahead == 0) return true;
    if (ossStreamSeek(handle->stream, -(int64_t)pass->ahead, SEEK_CUR) != 0) {
        *rc = GENREG_RC_READ_FAILED;
        ossLog(functionId, 17, *rc, OSS_SEVERITY_ERROR, "errno=%d back=%llu file=%s",
               ossLastErrno(), (unsigned long long)pass->ahead, handle->filePath);
        return false;
    }
    pass->ahead = 0;
    return true;
}

// Passes the lines from the stream's position on that TextLinesRuledOut
// rules out. The first line it does not pass is handed out in *text when
// the line reader would have returned it as it stands (*handedOut), and
// the stream is left ahead of it; any other is left to the line reader,
// the stream set back to it. A read that fails passes nothing more: the
// line reader reads the bytes again or finds the failure. False when the
// stream cannot be set back (*rc).
bool passRuledOutLines(GenRegText* handle, const TextLineShortcuts* shortcuts, uint64_t selector,
                       const void* key, bool join, RuledOutPass* pass, TextLine* text,
                       bool* handedOut, uint32_t functionId, unsigned* rc) {
    *handedOut = false;
    if (!BlockTryDue(&pass->tries)) return true;
    // An unfinished line is shorter than the line buffer: a piece always
    // fits behind it, with the byte TextLinesRuledOut borrows.
    char block[GENREG_LINE_MAX + kRuledOutPiece + 1];
    size_t carried = 0;  // bytes read and not passed, behind those passed
    size_t passed = 0;   // bytes passed at the block's front
    bool passedAny = false;
    for (;;) {
        std::memmove(block, block + passed, carried);
        const size_t got = ossStreamRead(block + carried, 1, kRuledOutPiece, handle->stream);
        const size_t length = carried + got;
        bool unfinished = false;
        passed = TextLinesRuledOut(shortcuts, selector, key, join, block, length, &unfinished);
        passedAny = passedAny || passed > 0;
        carried = length - passed;
        if (got < kRuledOutPiece || (carried > 0 && !unfinished)) break;
    }
    BlockTryEnded(&pass->tries, passedAny);
    if (carried == 0) return true;
    const char* first = block + passed;
    bool unfinished = false;
    const size_t size = WholePlainLineAt(first, carried, join, &unfinished);
    if (size > 0 && std::memchr(first, '\0', size) == nullptr) {
        TextLineTakeRaw(text, first, size);
        pass->ahead = carried - size;
        *handedOut = true;
        return true;
    }
    pass->ahead = carried;
    return settle(handle, pass, functionId, rc);
}

// findMatch's search, with its pass.
Search searchLines(GenRegText* handle, uint64_t selector, const void* key, bool matchEvery,
                   const TextLineShortcuts* shortcuts, RuledOutPass* pass, void* record,
                   uint64_t max, void* result, uint32_t functionId, unsigned* rc) {
    const bool join = handle->isFeatureSet(GENREG_FEATURE_JOIN_LINES);
    TextLine text;
    for (;;) {
        bool handedOut = false;
        if (pass->enabled && (!settle(handle, pass, functionId, rc) ||
                              !passRuledOutLines(handle, shortcuts, selector, key, join, pass,
                                                 &text, &handedOut, functionId, rc)))
            return Search::Failed;
        if (!handedOut && !ReadTextLine(&text, handle->stream, join)) {
            if (TextStreamFailed(handle->stream)) {
                *rc = GENREG_RC_READ_FAILED;
                ossLog(functionId, 10, *rc, OSS_SEVERITY_ERROR, "error=%d file=%s",
                       std::ferror(handle->stream), handle->filePath);
                return Search::Failed;
            }
            return Search::Exhausted;
        }
        if (handle->UnpackRecord == nullptr) {
            *rc = GENREG_RC_NO_LINE_UNPACK_SLOT;
            ossLog(functionId, 11, *rc, OSS_SEVERITY_ERROR, "slot=UnpackRecord");
            return Search::Failed;
        }
        if (text.cut) {
            if (overLongLineMatches(handle, selector, key, matchEvery, record, &text, functionId,
                                    rc))
                return Search::Failed;
            continue;
        }
        // A line handed out by the pass is one its test did not rule out.
        if (shortcuts != nullptr && !handedOut && shortcuts->mismatch(selector, text.line, key))
            continue;
        // A line that does not parse is still compared as far as it was
        // filled: whether it can match is the schema's decision.
        UnpackTextLine(handle, record, &text, functionId);
        if (!matchEvery) {
            if (handle->CompareRecord == nullptr) {
                *rc = GENREG_RC_NO_COMPARE_SLOT;
                ossLog(functionId, 12, *rc, OSS_SEVERITY_ERROR, "slot=CompareRecord");
                return Search::Failed;
            }
            if (handle->CompareRecord(selector, record, key) != 1) continue;
        }
        // The copy is handed out only after a second parse into the result
        // buffer itself, since a record may point into its own storage.
        const uint64_t kSmallestCopy = 8;
        if (max < kSmallestCopy) {
            *rc = GENREG_RC_RECORD_TOO_LARGE;
            ossLog(functionId, 13, *rc, OSS_SEVERITY_ERROR, "max=%llu needed=%llu",
                   (unsigned long long)max, (unsigned long long)kSmallestCopy);
            return Search::Failed;
        }
        std::memcpy(result, record, max);
        handle->UnpackRecord(result, text.line);
        return Search::Found;
    }
}

// Reads logical lines from the handle's stream until one matches key on the
// fields of selector (every line when matchEvery), and copies it into
// result. On Failed, *rc holds the code. The stream stands behind the line
// found when keepPosition asks for it, behind the last line read otherwise.
Search findMatch(GenRegText* handle, uint64_t selector, const void* key, bool matchEvery,
                 void* record, uint64_t max, void* result, bool keepPosition, uint32_t functionId,
                 unsigned* rc) {
    GENREG_TRACE(FID_FIND_MATCH, rc);
    // Lines that certainly do not match are passed over unparsed; in
    // pieces of the file where a stream's position is a count of bytes
    // (its line ends are not translated).
    const TextLineShortcuts* shortcuts = matchEvery ? nullptr : TextLineShortcutsOf(handle);
    RuledOutPass pass = {shortcuts != nullptr && !ossTextStreamsTranslateLineEnds(), {0, 0}, 0};
    Search found = searchLines(handle, selector, key, matchEvery, shortcuts, &pass, record, max,
                               result, functionId, rc);
    if (found == Search::Found && !keepPosition) return found;
    unsigned settleRc = 0;
    if (!settle(handle, &pass, functionId, &settleRc) && found != Search::Failed) {
        *rc = settleRc;
        return Search::Failed;
    }
    return found;
}

// Validates the caller's key; the slot's absence and a refusal are logged.
unsigned validateKey(GenRegText* handle, uint64_t selector, void* key, uint32_t functionId) {
    if (handle->ValidateRecord == nullptr) {
        ossLog(functionId, 1, GENREG_RC_NO_VALIDATE_SLOT, OSS_SEVERITY_ERROR,
               "slot=ValidateRecord");
        return GENREG_RC_NO_VALIDATE_SLOT;
    }
    unsigned cbRc = handle->ValidateRecord(selector, key);
    if (cbRc != 0) {
        ossLogRC(functionId, 2, 0, cbRc, GENREG_RC_INVALID_RECORD, OSS_SEVERITY_ERROR,
                 "selector=0x%llx", (unsigned long long)selector);
        return GENREG_RC_INVALID_RECORD;
    }
    return 0;
}

unsigned allocRecord(void** record, uint64_t max, uint32_t functionId) {
    unsigned memRc = ossMemAlloc(record, (size_t)max, kTextStoreUnit);
    if (memRc != 0) {
        ossLogRC(functionId, 3, 0, memRc, GENREG_RC_ALLOC_FAILED, OSS_SEVERITY_ERROR, "size=%llu",
                 (unsigned long long)max);
        return GENREG_RC_ALLOC_FAILED;
    }
    return 0;
}

}  // namespace

unsigned GenRegText::Get(uint64_t selector, void* key, void* result) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET, &rc);
    if ((rc = TextRefuseNull(FID_GET, 16, key, result)) != 0) return rc;
    rc = validateKey(this, selector, key, FID_GET);
    if (rc != 0) return rc;
    uint64_t max = 0;
    rc = TextMaxRecordSize(this, &max, FID_GET);
    if (rc != 0) return rc;
    void* record = nullptr;
    rc = allocRecord(&record, max, FID_GET);
    if (rc != 0) return rc;
    LineNormalizerScope normalizer;
    BeginLineNormalizer(&normalizer);

    unsigned secondary = 0;
    const bool inScan =
        (state & GENREG_STATE_SCAN_OPEN) && isFeatureSet(GENREG_FEATURE_GET_IN_SCAN);
    int64_t savedPosition = 0;
    bool searched = false;
    if (inScan) {
        // The caller's scan is searched from its start and left where it was.
        getRegFilePosition(&savedPosition);
        Rewind();
        searched = true;
    } else {
        unsigned beginRc = BeginTransaction(this, GENREG_TXN_READ);
        if (beginRc != 0) {
            rc = GenRegIsTellingFailure(beginRc) ? beginRc : (unsigned)GENREG_RC_OPEN_FAILED;
            ossLogRC(FID_GET, 7, 0, beginRc, rc, OSS_SEVERITY_ERROR, "file=%s", filePath);
        } else {
            searched = true;
        }
    }
    if (searched) {
        switch (findMatch(this, selector, key, false, record, max, result, false, FID_GET, &rc)) {
            case Search::Found:
                break;
            case Search::Exhausted:
                std::memset(result, 0, (size_t)max);
                rc = GENREG_RC_NO_MATCH;
                break;
            case Search::Failed:
                break;
        }
    }
    if (inScan) {
        setRegFilePosition(&savedPosition);
    } else {
        unsigned endRc = EndTextTransaction(this, GENREG_TXN_READ);
        if (endRc != 0) {
            secondary = GENREG_RC_CLOSE_FAILED;
            ossLogRC(FID_GET, 8, 0, endRc, secondary, OSS_SEVERITY_ERROR, "file=%s", filePath);
        }
    }
    EndLineNormalizer(&normalizer);
    unsigned memRc = ossMemFree(&record, kTextStoreUnit);
    if (memRc != 0)
        ossLogRC(FID_GET, 9, 0, memRc, GENREG_RC_FREE_FAILED, OSS_SEVERITY_ERROR, "record");
    if (rc == 0) rc = secondary;
    return rc;
}

unsigned GenRegText::GetNext(uint64_t selector, void* key, void* result) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_NEXT, &rc);
    // Selector 0 lists every line and never looks at the key.
    if ((rc = TextRefuseNull(FID_GET_NEXT, 16, selector == 0 ? result : key, result)) != 0)
        return rc;
    if (!(state & GENREG_STATE_SCAN_OPEN)) {
        rc = GENREG_RC_NO_SCAN;
        ossLog(FID_GET_NEXT, 14, rc, OSS_SEVERITY_ERROR, "file=%s", filePath);
        return rc;
    }
    if (ValidateRecord == nullptr) {
        rc = GENREG_RC_NO_VALIDATE_SLOT;
        ossLog(FID_GET_NEXT, 1, rc, OSS_SEVERITY_ERROR, "slot=ValidateRecord");
        return rc;
    }
    // Selector 0 lists every line: there is no key to check.
    if (selector != 0) {
        rc = validateKey(this, selector, key, FID_GET_NEXT);
        if (rc != 0) return rc;
    }
    if (state & GENREG_STATE_SCAN_AT_END) {
        rc = GENREG_RC_NOT_FOUND;
        return rc;
    }
    uint64_t max = 0;
    rc = TextMaxRecordSize(this, &max, FID_GET_NEXT);
    if (rc != 0) return rc;
    void* record = nullptr;
    rc = allocRecord(&record, max, FID_GET_NEXT);
    if (rc != 0) return rc;
    // A search may parse many lines; a listing step (selector 0) parses
    // one, whose normaliser takes a buffer of that line's size.
    LineNormalizerScope normalizer;
    if (selector != 0) BeginLineNormalizer(&normalizer);

    switch (findMatch(this, selector, key, selector == 0, record, max, result, true, FID_GET_NEXT,
                      &rc)) {
        case Search::Found:
            break;
        case Search::Exhausted:
            state |= GENREG_STATE_SCAN_AT_END;
            std::memset(result, 0, (size_t)max);
            rc = GENREG_RC_NOT_FOUND;
            break;
        case Search::Failed:
            break;
    }
    if (selector != 0) EndLineNormalizer(&normalizer);
    unsigned memRc = ossMemFree(&record, kTextStoreUnit);
    if (memRc != 0) {
        ossLogRC(FID_GET_NEXT, 9, 0, memRc, GENREG_RC_FREE_FAILED, OSS_SEVERITY_ERROR, "record");
        if (rc == 0) rc = GENREG_RC_FREE_FAILED;
    }
    return rc;
}
