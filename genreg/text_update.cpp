// The machinery the text store's updates share (see text_update.h).
#include "genreg/text_update.h"

#include <genreg/rc.h>

#include <cstdio>
#include <cstring>

#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_PREPARE = GENREG_FID(0x005A),
    FID_FINISH = GENREG_FID(0x005B),
    FID_END_BYTE = GENREG_FID(0x005E),
};

// True when the file at path holds the byte at which this platform's text
// streams end their input: the lines behind it could not be read, and a
// copy made of the lines before it would lose them.
bool holdsEndOfInputByte(const char* path) {
    bool found = false;
    GENREG_TRACE(FID_END_BYTE, &found);
    const int endByte = ossTextStreamEndOfInputByte();
    if (endByte < 0) return found;
    FILE* stream = ossStreamOpen(path, "rb");
    if (stream == nullptr) return found;
    char buffer[4096];
    size_t count;
    while (!found && (count = ossStreamRead(buffer, 1, sizeof buffer, stream)) > 0)
        found = std::memchr(buffer, endByte, count) != nullptr;
    ossStreamClose(stream);
    return found;
}

// Frees the record buffer and the block of kept lines; the first failure's
// code, or 0.
unsigned freeBuffers(TextUpdate* u) {
    unsigned memRc = ossMemFree(&u->record, kTextStoreUnit);
    if (u->keptBlock != nullptr) {
        const unsigned blockRc = ossMemFree(&u->keptBlock, kTextStoreUnit);
        if (memRc == 0) memRc = blockRc;
    }
    return memRc;
}

}  // namespace

TextUpdate NewTextUpdate(GenRegText* handle, unsigned type, uint32_t fid) {
    TextUpdate u = {};
    u.handle = handle;
    u.type = type;
    u.fid = fid;
    u.join = handle->isFeatureSet(GENREG_FEATURE_JOIN_LINES);
    u.shortcuts = TextLineShortcutsOf(handle);
    return u;
}

void TextUpdateFail(TextUpdate* u, unsigned code, uint32_t probe, unsigned cause,
                    const char* what) {
    // A real failure outranks the note that a Change found its record in place.
    if (u->result == 0 || u->result == GENREG_RC_UNCHANGED) u->result = code;
    u->abandoned = true;
    if (cause != 0)
        ossLogRC(u->fid, probe, 0, cause, code, OSS_SEVERITY_ERROR, "%s file=%s", what,
                 u->handle->filePath);
    else
        ossLog(u->fid, probe, code, OSS_SEVERITY_ERROR, "%s file=%s", what, u->handle->filePath);
}

bool TextWriteBytes(FILE* stream, const char* bytes, size_t length) {
    return length == 0 || ossStreamWrite(bytes, 1, length, stream) == length;
}

bool TextLineHasByteOrderMark(const TextLine* text) {
    return text->rawLength >= sizeof kByteOrderMark &&
           std::memcmp(text->raw, kByteOrderMark, sizeof kByteOrderMark) == 0;
}

const char* TextCrLf() {
    return ossTextStreamsTranslateLineEnds() ? "\n" : "\r\n";
}

bool TextWriteWithLineEnd(FILE* stream, const char* text, size_t length) {
    bool ok = TextWriteBytes(stream, text, length);
    // A line that fills the line buffer would not be read back whole with
    // a line end behind it; only the file's last line can lack one, and it
    // stays the last, so it is written as it stands.
    const bool room = length + 2 <= GENREG_LINE_MAX;
    const bool endsInLineFeed = length > 0 && text[length - 1] == '\n';
    if (ok && room && !endsInLineFeed && std::memchr(text, '\n', length) == nullptr)
        ok = TextWriteBytes(stream, "\n", 1);
    return ok;
}

unsigned TextUpdatePrepare(TextUpdate* u, uint64_t selector, void* validated) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PREPARE, &rc);
    GenRegText* h = u->handle;
    if (u->type == GENREG_TXN_ADD) {
        rc = CheckTextSlots(h);
        if (rc != 0) return rc;
    } else if (h->ValidateRecord == nullptr) {
        rc = GENREG_RC_NO_VALIDATE_SLOT;
        ossLog(u->fid, PROBE_NO_SLOT, rc, OSS_SEVERITY_ERROR, "slot=ValidateRecord");
        return rc;
    }
    unsigned cbRc = h->ValidateRecord(selector, validated);
    if (cbRc != 0) {
        rc = GENREG_RC_INVALID_RECORD;
        ossLogRC(u->fid, PROBE_INVALID, 0, cbRc, rc, OSS_SEVERITY_ERROR, "selector=0x%llx",
                 (unsigned long long)selector);
        return rc;
    }
    rc = TextMaxRecordSize(h, &u->max, u->fid);
    if (rc != 0) return rc;
    unsigned memRc = ossMemAlloc(&u->record, (size_t)u->max, kTextStoreUnit);
    if (memRc != 0) {
        rc = GENREG_RC_ALLOC_FAILED;
        ossLogRC(u->fid, PROBE_ALLOC, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%llu",
                 (unsigned long long)u->max);
        return rc;
    }
    // Change and Delete pass the lines they keep in blocks, where the
    // schema can rule lines out and stream positions count bytes.
    const bool passKept =
        u->type != GENREG_TXN_ADD && u->shortcuts != nullptr && !ossTextStreamsTranslateLineEnds();
    if (passKept && (memRc = ossMemAlloc(&u->keptBlock, kTextKeptBlock + 1, kTextStoreUnit)) != 0) {
        u->keptBlock = nullptr;
        rc = GENREG_RC_ALLOC_FAILED;
        ossLogRC(u->fid, PROBE_ALLOC, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%zu",
                 kTextKeptBlock + 1);
        ossMemFree(&u->record, kTextStoreUnit);
        return rc;
    }
    unsigned options = GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_WAIT;
    if (u->type == GENREG_TXN_ADD) options |= GENREG_LOCK_CREATE_DIR;
    unsigned lockRc = AcquireStoreUpdateLock(h, options);
    if (lockRc != 0) {
        rc = GenRegIsTellingFailure(lockRc) ? lockRc : (unsigned)GENREG_RC_LOCK_FAILED;
        ossLogRC(u->fid, PROBE_LOCK, 0, lockRc, rc, OSS_SEVERITY_ERROR, "lock=%s", h->lockPath);
        freeBuffers(u);
        return rc;
    }
    BeginLineNormalizer(&u->normalizer);
    return rc;
}

unsigned TextUpdateBegin(TextUpdate* u) {
    GenRegText* h = u->handle;
    unsigned beginRc = BeginTransaction(h, u->type);
    if (beginRc == 0) return 0;
    const unsigned rc = GenRegIsTellingFailure(beginRc) ? beginRc : (unsigned)GENREG_RC_OPEN_FAILED;
    ossLogRC(u->fid, PROBE_OPEN, 0, beginRc, rc, OSS_SEVERITY_ERROR, "file=%s", h->filePath);
    EndTextTransaction(h, GENREG_TXN_READ);
    ReleaseStoreUpdateLock(h);
    EndLineNormalizer(&u->normalizer);
    freeBuffers(u);
    return rc;
}

unsigned TextUpdateFinish(TextUpdate* u, uint64_t selector, void* record, void* key) {
    unsigned rc = 0;
    GENREG_TRACE(FID_FINISH, &rc);
    GenRegText* h = u->handle;
    unsigned endRc = EndTextTransaction(h, u->abandoned ? GENREG_TXN_READ : u->type);
    if (!u->abandoned) endRc = GenRegCommitOutcome(h, endRc, u->fid, PROBE_CLOSE);
    bool endFailed = endRc != 0;
    if (endFailed) {
        u->secondary = GENREG_RC_CLOSE_FAILED;
        ossLogRC(u->fid, PROBE_CLOSE, 0, endRc, u->secondary, OSS_SEVERITY_ERROR, "file=%s",
                 h->filePath);
    }
    // A failed end of an Add leaves its copy in an unknown state: it is not
    // verified, and the next update sets it aside as the corruption marker.
    bool verifyStep =
        h->isFeatureSet(GENREG_FEATURE_VERIFY) && !(endFailed && u->type == GENREG_TXN_ADD);
    if (verifyStep) {
        if (!u->abandoned && u->result == 0) {
            bool committed = false;
            unsigned verifyRc = VerifyTextUpdate(h, u->type, selector, record, key, &committed);
            if (verifyRc != 0 && committed) {
                // The pass's clean-up failed after its commit: the new
                // content is in place, and the pass's code says what failed.
                u->secondary = verifyRc;
            } else if (verifyRc != 0) {
                u->result = GENREG_RC_VERIFY_FAILED;
                ossLogRC(u->fid, PROBE_VERIFY, 0, verifyRc, u->result, OSS_SEVERITY_ERROR,
                         "file=%s", h->filePath);
            }
        } else if (u->type != GENREG_TXN_ADD) {
            // An abandoned Change or Delete, or a Change that found the new
            // record already in place, commits nothing: its copy goes.
            unsigned deleteRc = ossFileDelete(h->tempPath);
            if (deleteRc != 0 && deleteRc != OSS_RC_FILE_NOT_FOUND) {
                if (u->result == 0) u->result = GENREG_RC_TEMP_DELETE_FAILED;
                ossLogRC(u->fid, PROBE_TEMP_DELETE, 0, deleteRc, GENREG_RC_TEMP_DELETE_FAILED,
                         OSS_SEVERITY_ERROR, "temp=%s", h->tempPath);
            }
        }
    }
    unsigned unlockRc = ReleaseStoreUpdateLock(h);
    if (unlockRc != 0) {
        u->secondary = GENREG_RC_UNLOCK_FAILED;
        ossLogRC(u->fid, PROBE_UNLOCK, 0, unlockRc, u->secondary, OSS_SEVERITY_ERROR, "lock=%s",
                 h->lockPath);
    }
    EndLineNormalizer(&u->normalizer);
    unsigned memRc = freeBuffers(u);
    if (memRc != 0) {
        u->secondary = GENREG_RC_FREE_FAILED;
        ossLogRC(u->fid, PROBE_FREE, 0, memRc, u->secondary, OSS_SEVERITY_ERROR, "record");
    }
    if (u->result != 0) {
        rc = u->result;
        return rc;
    }
    if (u->secondary != 0) {
        rc = u->secondary;
        return rc;
    }
    if (h->isFeatureSet(GENREG_FEATURE_POST_UPDATE)) {
        if (h->PostUpdate == nullptr) {
            rc = GENREG_RC_NO_POST_UPDATE_SLOT;
            ossLog(u->fid, PROBE_POST_UPDATE, rc, OSS_SEVERITY_ERROR, "slot=PostUpdate");
            return rc;
        }
        unsigned postRc = h->PostUpdate();
        if (postRc != 0)
            ossLogRC(u->fid, PROBE_POST_UPDATE, 0, postRc, postRc, OSS_SEVERITY_ERROR,
                     "PostUpdate file=%s", h->filePath);
    }
    return rc;
}

bool TextUpdateNextLine(TextUpdate* u, TextLine* text) {
    GenRegText* h = u->handle;
    if (!ReadTextLine(text, h->stream, u->join)) {
        if (TextStreamFailed(h->stream))
            TextUpdateFail(u, GENREG_RC_READ_FAILED, PROBE_READ, 0, "read");
        return false;
    }
    if (TextLineIsPiece(text)) {
        OverLongLine where = MeasureOverLongLine(h->stream, text, u->join);
        char what[96];
        std::snprintf(what, sizeof what, "line longer than the buffer: line=%llu length=%llu",
                      (unsigned long long)where.number, (unsigned long long)where.length);
        TextUpdateFail(u, GENREG_RC_BUFFER_TOO_SMALL, PROBE_TOO_LONG, 0, what);
        return false;
    }
    return true;
}

bool TextUpdateLineMatches(TextUpdate* u, const TextLine* text, uint64_t selector, const void* key,
                           bool* match) {
    *match = false;
    GenRegText* h = u->handle;
    if (h->UnpackRecord == nullptr) {
        TextUpdateFail(u, GENREG_RC_NO_LINE_UNPACK_SLOT, PROBE_NO_SLOT, 0, "slot=UnpackRecord");
        return false;
    }
    // A line that certainly does not match is kept unparsed.
    if (u->shortcuts != nullptr && u->shortcuts->mismatch(selector, text->line, key)) return true;
    if (UnpackTextLine(h, u->record, text, u->fid) != 0) return true;
    if (h->CompareRecord == nullptr) {
        TextUpdateFail(u, GENREG_RC_NO_COMPARE_SLOT, PROBE_NO_SLOT, 0, "slot=CompareRecord");
        return false;
    }
    *match = h->CompareRecord(selector, u->record, key) == 1;
    return true;
}

bool TextUpdateWholeFileReadable(TextUpdate* u) {
    if (!holdsEndOfInputByte(u->handle->filePath)) return true;
    TextUpdateFail(u, GENREG_RC_READ_FAILED, PROBE_READ, 0, "end-of-input byte inside the file");
    return false;
}
