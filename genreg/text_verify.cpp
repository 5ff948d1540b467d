// The verification pass of a text update: before the temporary copy
// replaces the registry file, both are read side by side and must differ by
// exactly the requested change. Pairs of lines agree when their bytes are
// equal, when only the line end that the update gave a last line differs,
// or when they parse to equal records; every other pair must be the change
// itself. Only when every check passes does the pass end its transaction
// with the swap; otherwise the file keeps its old content.
#include <genreg/handle.h>
#include <genreg/rc.h>

#include <cstring>

#include "genreg/shared_run.h"
#include "genreg/text_store.h"
#include "genreg/trace.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_VERIFY = GENREG_FID(0x0056),
    FID_VERIFY_PAIRS = GENREG_FID(0x005D),
};

// The state of one pass.
struct VerifyPass {
    GenRegText* handle;
    unsigned type;
    uint64_t selector;
    const void* record;  // added or new record
    const void* key;
    void* old;   // record buffer for the file's lines
    void* copy;  // record buffer for the copy's lines
    bool join;
    TextLine fileLine;
    TextLine copyLine;
    bool filePending;  // fileLine holds a line not yet accounted for
    bool copyPending;
    unsigned changes;  // lines changed, removed or added
    SharedRun run;     // lines both hold, passed in blocks (passSharedLines)
    char runBlocks[2 * kSharedRunBlock];
};

unsigned failed(unsigned code, uint32_t probe, const char* what, const GenRegText* h) {
    ossLog(FID_VERIFY_PAIRS, probe, code, OSS_SEVERITY_ERROR, "%s file=%s", what, h->filePath);
    return code;
}

bool readFileLine(VerifyPass* v) {
    v->filePending = ReadTextLine(&v->fileLine, v->handle->stream, v->join);
    return v->filePending;
}

bool readCopyLine(VerifyPass* v) {
    v->copyPending = ReadTextLine(&v->copyLine, v->handle->tempStream, v->join);
    return v->copyPending;
}

// True when the copy's line is the file's last line with the line ends an
// update adds to it: a last line without one gets "\n", or CR LF from Add;
// with joining on, Add ends a last line that ends in a continuation with
// one more "\n".
bool onlyLineEndAdded(const VerifyPass* v) {
    const TextLine& file = v->fileLine;
    const TextLine& copy = v->copyLine;
    if (!std::feof(v->handle->stream) || !TextLineEndsWithNewline(&copy)) return false;
    size_t length = copy.rawLength - 1;
    if (v->join && length >= 2 && copy.raw[length - 1] == '\n' && copy.raw[length - 2] == '\\') {
        if (length == file.rawLength && std::memcmp(copy.raw, file.raw, length) == 0) return true;
        --length;  // the line end given to a last line that ended in a backslash
    } else if (TextLineEndsWithNewline(&file)) {
        return false;
    }
    if (length != file.rawLength && length > 0 && copy.raw[length - 1] == '\r') --length;
    return length == file.rawLength && std::memcmp(copy.raw, file.raw, length) == 0;
}

bool pairAgrees(VerifyPass* v) {
    if (SameRawText(&v->fileLine, &v->copyLine) || onlyLineEndAdded(v)) return true;
    UnpackTextLine(v->handle, v->old, &v->fileLine, FID_VERIFY_PAIRS);
    UnpackTextLine(v->handle, v->copy, &v->copyLine, FID_VERIFY_PAIRS);
    return v->handle->CompareRecord(GENREG_SELECT_ALL, v->old, v->copy) != 0;
}

// Bytes of the lines at the start of text (length bytes) that the reader
// returns one by one exactly as they stand, each ending at its line feed:
// shorter than the line buffer and, with joining on (*context), not going
// on in the next line. (A NUL byte inside a line ends its processed text,
// not the physical line the reader returns.)
size_t plainLines(const void* context, const char* text, size_t length, bool* unfinished) {
    const bool join = *(const bool*)context;
    size_t passed = 0;
    *unfinished = false;
    while (passed < length) {
        const size_t size = WholePlainLineAt(text + passed, length - passed, join, unfinished);
        if (size == 0) break;
        passed += size;
    }
    return passed;
}

// Lines that file and copy hold byte for byte from here on agree
// (pairAgrees): they are passed in blocks (genreg/shared_run.h). Where text
// streams translate line ends, a stream position is no byte count and
// nothing is passed. 0, or the code of a position or seek that failed.
unsigned passSharedLines(VerifyPass* v) {
    if (ossTextStreamsTranslateLineEnds()) return 0;
    GenRegText* h = v->handle;
    switch (PassSharedRun(&v->run, h->stream, h->tempStream, plainLines, &v->join)) {
        case SHARED_RUN_FIRST_FAILED:
            return failed(GENREG_RC_READ_FAILED, 21, "position", h);
        case SHARED_RUN_SECOND_FAILED:
            return failed(GENREG_RC_VERIFY_READ_COPY_FAILED, 22, "copy position", h);
        default:
            return 0;
    }
}

// The file's lines from the differing one on were removed by a Delete, up
// to the one that equals the copy's line.
unsigned skipRemovedLines(VerifyPass* v) {
    GenRegText* h = v->handle;
    for (;;) {
        if (h->CompareRecord(v->selector, v->old, v->key) == 0)
            return failed(GENREG_RC_VERIFY_DELETE_MISMATCH, 1, "removed line not matching", h);
        ++v->changes;
        if (!readFileLine(v)) {
            if (TextStreamFailed(h->stream)) return failed(GENREG_RC_READ_FAILED, 2, "read", h);
            return failed(GENREG_RC_VERIFY_EXTRA_RECORD, 3, "copy line not in file", h);
        }
        if (SameRawText(&v->fileLine, &v->copyLine)) return 0;
        UnpackTextLine(h, v->old, &v->fileLine, FID_VERIFY_PAIRS);
        if (h->CompareRecord(GENREG_SELECT_ALL, v->copy, v->old) != 0) return 0;
    }
}

unsigned checkDifferingPair(VerifyPass* v) {
    GenRegText* h = v->handle;
    switch (v->type) {
        case GENREG_TXN_CHANGE:
            if (h->CompareRecord(v->selector, v->old, v->key) == 0)
                return failed(GENREG_RC_VERIFY_KEY_MISMATCH, 4, "changed line not matching", h);
            if (h->CompareRecord(GENREG_SELECT_ALL, v->copy, v->record) == 0)
                return failed(GENREG_RC_VERIFY_WRONG_RECORD, 5, "not the new record", h);
            ++v->changes;
            return 0;
        case GENREG_TXN_DELETE:
            return skipRemovedLines(v);
        default:
            return failed(GENREG_RC_VERIFY_UNEXPECTED_CHANGE, 6, "line changed", h);
    }
}

// The lines left over when one side has ended.
unsigned checkTail(VerifyPass* v) {
    GenRegText* h = v->handle;
    if (!v->filePending && TextStreamFailed(h->stream))
        return failed(GENREG_RC_READ_FAILED, 7, "read", h);
    if (!v->copyPending && TextStreamFailed(h->tempStream))
        return failed(GENREG_RC_VERIFY_READ_COPY_FAILED, 8, "read copy", h);
    switch (v->type) {
        case GENREG_TXN_CHANGE:
            if (v->filePending || v->copyPending)
                return failed(GENREG_RC_VERIFY_COPY_SHORT, 9, "lengths differ", h);
            return 0;
        case GENREG_TXN_DELETE:
            if (v->copyPending)
                return failed(GENREG_RC_VERIFY_EXTRA_RECORD, 10, "copy line not in file", h);
            // Lines removed at the end of the file.
            while (v->filePending) {
                UnpackTextLine(h, v->old, &v->fileLine, FID_VERIFY_PAIRS);
                if (h->CompareRecord(v->selector, v->old, v->key) == 0)
                    return failed(GENREG_RC_VERIFY_WRONG_RECORD, 11, "trailing line kept", h);
                ++v->changes;
                if (!readFileLine(v) && TextStreamFailed(h->stream))
                    return failed(GENREG_RC_READ_FAILED, 12, "read", h);
            }
            return 0;
        case GENREG_TXN_ADD: {
            if (v->filePending || !v->copyPending)
                return failed(GENREG_RC_VERIFY_NO_ADDED_RECORD, 13, "no added line", h);
            unsigned unpackRc = UnpackTextLine(h, v->copy, &v->copyLine, FID_VERIFY_PAIRS);
            if (unpackRc != 0) {
                // The added line must be readable as the record it stands
                // for; one the schema cannot parse is not committed.
                ossLogRC(FID_VERIFY_PAIRS, 14, 0, unpackRc, GENREG_RC_VERIFY_ADDED_MISMATCH,
                         OSS_SEVERITY_ERROR, "added line does not parse file=%s", h->filePath);
                return GENREG_RC_VERIFY_ADDED_MISMATCH;
            }
            if (h->CompareRecord(GENREG_SELECT_ALL, v->copy, v->record) == 0)
                return failed(GENREG_RC_VERIFY_ADDED_MISMATCH, 15, "not the added record", h);
            ++v->changes;
            if (readCopyLine(v))
                return failed(GENREG_RC_VERIFY_TOO_MANY_ADDED, 16, "lines after added", h);
            if (TextStreamFailed(h->tempStream))
                return failed(GENREG_RC_VERIFY_READ_COPY_FAILED, 17, "read copy", h);
            return 0;
        }
        default:
            return failed(GENREG_RC_VERIFY_UNEXPECTED_CHANGE, 18, "operation", h);
    }
}

unsigned comparePass(VerifyPass* v) {
    unsigned rc = 0;
    GENREG_TRACE(FID_VERIFY_PAIRS, &rc);
    if ((rc = passSharedLines(v)) != 0) return rc;
    readFileLine(v);
    readCopyLine(v);
    while (v->filePending && v->copyPending) {
        if (!pairAgrees(v)) {
            rc = checkDifferingPair(v);
            if (rc != 0) return rc;
            SharedRunAfterChange(&v->run);
        }
        if ((rc = passSharedLines(v)) != 0) return rc;
        readFileLine(v);
        readCopyLine(v);
    }
    rc = checkTail(v);
    if (rc != 0) return rc;
    if (v->changes > 1 && !v->handle->isFeatureSet(GENREG_FEATURE_DUPLICATES))
        rc = failed(GENREG_RC_VERIFY_DUPLICATES, 19, "several lines changed", v->handle);
    else if (v->changes == 0)
        rc = failed(GENREG_RC_VERIFY_NOTHING_CHANGED, 20, "nothing changed", v->handle);
    return rc;
}

}  // namespace

unsigned VerifyTextUpdate(GenRegText* handle, unsigned type, uint64_t selector, void* record,
                          void* key, bool* committed) {
    unsigned rc = 0;
    if (committed != nullptr) *committed = false;
    GENREG_TRACE(FID_VERIFY, &rc);
    rc = CheckTextSlots(handle);
    if (rc != 0) return rc;
    uint64_t max = 0;
    rc = TextMaxRecordSize(handle, &max, FID_VERIFY);
    if (rc != 0) return rc;
    void* old = nullptr;
    void* copy = nullptr;
    unsigned memRc = ossMemAlloc(&old, (size_t)max, kTextStoreUnit);
    if (memRc != 0) {
        rc = GENREG_RC_VERIFY_ALLOC_OLD;
        ossLogRC(FID_VERIFY, 1, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%llu",
                 (unsigned long long)max);
        return rc;
    }
    memRc = ossMemAlloc(&copy, (size_t)max, kTextStoreUnit);
    if (memRc != 0) {
        rc = GENREG_RC_VERIFY_ALLOC_COPY;
        ossLogRC(FID_VERIFY, 2, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%llu",
                 (unsigned long long)max);
        ossMemFree(&old, kTextStoreUnit);
        return rc;
    }

    unsigned secondary = 0;
    unsigned beginRc = BeginTransaction(handle, GENREG_TXN_VERIFY);
    if (beginRc != 0) {
        rc = GENREG_RC_OPEN_FAILED;
        ossLogRC(FID_VERIFY, 3, 0, beginRc, rc, OSS_SEVERITY_ERROR, "file=%s temp=%s",
                 handle->filePath, handle->tempPath);
    } else {
        // Two pairs of line buffers: too large for some thread stacks.
        VerifyPass* v = nullptr;
        memRc = ossMemAlloc(&v, sizeof(VerifyPass), kTextStoreUnit);
        if (memRc != 0) {
            rc = GENREG_RC_VERIFY_ALLOC_COPY;
            ossLogRC(FID_VERIFY, 4, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%zu",
                     sizeof(VerifyPass));
        } else {
            std::memset((void*)v, 0, sizeof *v);
            v->handle = handle;
            v->type = type;
            v->selector = selector;
            v->record = record;
            v->key = key;
            v->old = old;
            v->copy = copy;
            v->join = handle->isFeatureSet(GENREG_FEATURE_JOIN_LINES);
            v->run.blocks = v->runBlocks;
            rc = comparePass(v);
            ossMemFree(&v, kTextStoreUnit);
        }
    }
    unsigned endRc = EndTextTransaction(handle, rc == 0 ? GENREG_TXN_VERIFY : GENREG_TXN_READ);
    if (rc == 0) endRc = GenRegCommitOutcome(handle, endRc, FID_VERIFY, 8);
    if (rc == 0 && endRc == 0 && committed != nullptr) *committed = true;
    if (endRc != 0) {
        secondary = GENREG_RC_CLOSE_FAILED;
        ossLogRC(FID_VERIFY, 5, 0, endRc, secondary, OSS_SEVERITY_ERROR, "file=%s",
                 handle->filePath);
    }
    memRc = ossMemFree(&copy, kTextStoreUnit);
    if (memRc != 0) {
        secondary = GENREG_RC_VERIFY_FREE_COPY;
        ossLogRC(FID_VERIFY, 6, 0, memRc, secondary, OSS_SEVERITY_ERROR, "copy");
    }
    memRc = ossMemFree(&old, kTextStoreUnit);
    if (memRc != 0) {
        secondary = GENREG_RC_VERIFY_FREE_OLD;
        ossLogRC(FID_VERIFY, 7, 0, memRc, secondary, OSS_SEVERITY_ERROR, "old");
    }
    if (rc == 0) rc = secondary;
    return rc;
}
