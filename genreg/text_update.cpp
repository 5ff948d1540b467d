// Updates of a text registry file: Add, Change and Delete.
//
// Each call is one update under the update lock: the file is copied line by
// line into its temporary copy while the change is applied, the transaction
// ends (swapping the copy in unless the handle verifies), the verification
// pass runs when GENREG_FEATURE_VERIFY is set, and the lock is released.
//
// Lines the change does not touch are copied from the reader's verbatim
// buffer, so comments, blank lines, continuations and spacing survive. The
// line ends each operation writes:
//   Delete  every kept line exactly as read.
//   Add     kept lines exactly as read, except that a last line without a
//           line end first gets CR LF; the new line gets "\n" unless its
//           formatted text holds one.
//   Change  every line, kept or new, gets "\n" when it holds no line end.
// A piece of a physical line too long for the line buffer would be written
// as a line of its own: every update refuses such a file with
// GENREG_RC_BUFFER_TOO_SMALL and leaves it unchanged. Likewise a file that
// holds the byte at which the platform's text streams end their input is
// refused with GENREG_RC_READ_FAILED, since the lines behind it would be
// lost.
#include <genreg/handle.h>
#include <genreg/rc.h>

#include <cstring>

#include "genreg/text_store.h"
#include "genreg/trace.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_ADD = GENREG_FID(0x0052),
    FID_CHANGE = GENREG_FID(0x0053),
    FID_DELETE = GENREG_FID(0x0054),
    FID_PREPARE = GENREG_FID(0x005A),
    FID_FINISH = GENREG_FID(0x005B),
    FID_LAST_BYTE = GENREG_FID(0x005C),
    FID_END_BYTE = GENREG_FID(0x005E),
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
};

const char kDuplicateText[] = "Match found; duplicate record";
const char kNewlineText[] = "Added a newline";

// One update in progress: what it took and how it stands.
struct TextUpdate {
    GenRegText* handle;
    unsigned type;  // GENREG_TXN_ADD, _CHANGE or _DELETE
    uint32_t fid;
    void* record;  // work buffer of max bytes
    uint64_t max;
    bool join;
    bool abandoned;      // end the transaction without committing
    unsigned result;     // the first failure of the update itself
    unsigned secondary;  // the latest failure of the clean-up
};

void fail(TextUpdate* u, unsigned code, uint32_t probe, unsigned cause, const char* what) {
    // A real failure outranks the note that a Change found its record in place.
    if (u->result == 0 || u->result == GENREG_RC_UNCHANGED) u->result = code;
    u->abandoned = true;
    if (cause != 0)
        ossLogRC(u->fid, probe, 0, cause, code, OSS_SEVERITY_ERROR, "%s file=%s", what,
                 u->handle->filePath);
    else
        ossLog(u->fid, probe, code, OSS_SEVERITY_ERROR, "%s file=%s", what, u->handle->filePath);
}

bool writeBytes(FILE* stream, const char* bytes, size_t length) {
    return length == 0 || ossStreamWrite(bytes, 1, length, stream) == length;
}

// What to write to a text stream so that the file receives CR LF.
const char* crLfForTextStream() {
    return ossTextStreamsTranslateLineEnds() ? "\n" : "\r\n";
}

// Writes a line, adding "\n" when it holds no line end at all.
bool writeWithLineEnd(FILE* stream, const char* text, size_t length) {
    bool ok = writeBytes(stream, text, length);
    if (ok && std::memchr(text, '\n', length) == nullptr) ok = writeBytes(stream, "\n", 1);
    return ok;
}

// Validates the caller's record or key and takes what every update needs:
// the record buffer, the update lock and the transaction. On failure
// everything taken is given back and the code is returned.
unsigned prepare(TextUpdate* u, uint64_t selector, void* validated) {
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
    unsigned options = GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_WAIT;
    if (u->type == GENREG_TXN_ADD) options |= GENREG_LOCK_CREATE_DIR;
    unsigned lockRc = AcquireUpdateLock(h, options);
    if (lockRc != 0) {
        rc = GENREG_RC_LOCK_FAILED;
        ossLogRC(u->fid, PROBE_LOCK, 0, lockRc, rc, OSS_SEVERITY_ERROR, "lock=%s", h->lockPath);
        ossMemFree(&u->record, kTextStoreUnit);
        return rc;
    }
    return rc;
}

// Opens the update's transaction; on failure closes what it opened and
// gives back the lock and the buffer.
unsigned begin(TextUpdate* u) {
    GenRegText* h = u->handle;
    unsigned beginRc = BeginTransaction(h, u->type);
    if (beginRc == 0) return 0;
    ossLogRC(u->fid, PROBE_OPEN, 0, beginRc, GENREG_RC_OPEN_FAILED, OSS_SEVERITY_ERROR, "file=%s",
             h->filePath);
    EndTextTransaction(h, GENREG_TXN_READ);
    ReleaseUpdateLock(h);
    ossMemFree(&u->record, kTextStoreUnit);
    return GENREG_RC_OPEN_FAILED;
}

// Ends the update after its body, whatever the body's outcome: ends the
// transaction (committing unless abandoned), verifies, removes a copy that
// will not be committed, releases the lock, frees the buffer and calls
// PostUpdate. Returns the update's result.
unsigned finish(TextUpdate* u, uint64_t selector, void* record, void* key) {
    unsigned rc = 0;
    GENREG_TRACE(FID_FINISH, &rc);
    GenRegText* h = u->handle;
    unsigned endRc = EndTextTransaction(h, u->abandoned ? GENREG_TXN_READ : u->type);
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
            unsigned verifyRc = VerifyTextUpdate(h, u->type, selector, record, key);
            if (verifyRc != 0) {
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
    unsigned unlockRc = ReleaseUpdateLock(h);
    if (unlockRc != 0) {
        u->secondary = GENREG_RC_UNLOCK_FAILED;
        ossLogRC(u->fid, PROBE_UNLOCK, 0, unlockRc, u->secondary, OSS_SEVERITY_ERROR, "lock=%s",
                 h->lockPath);
    }
    unsigned memRc = ossMemFree(&u->record, kTextStoreUnit);
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

// Reads the next line of the registry file for an update. False at the end
// of the file, and on a read error or a line too long for the buffer, which
// abandon the update.
bool nextLine(TextUpdate* u, TextLine* text) {
    GenRegText* h = u->handle;
    if (!ReadTextLine(text, h->stream, u->join)) {
        if (TextStreamFailed(h->stream)) fail(u, GENREG_RC_READ_FAILED, PROBE_READ, 0, "read");
        return false;
    }
    if (TextLineIsPiece(text)) {
        fail(u, GENREG_RC_BUFFER_TOO_SMALL, PROBE_TOO_LONG, 0, "line longer than the buffer");
        return false;
    }
    return true;
}

// Parses a line for comparison; false when the slot is empty (the update
// is abandoned) or the line does not parse (it is kept and never matches).
bool parseLine(TextUpdate* u, const TextLine* text, bool* parsed) {
    *parsed = false;
    if (u->handle->UnpackRecord == nullptr) {
        fail(u, GENREG_RC_NO_LINE_UNPACK_SLOT, PROBE_NO_SLOT, 0, "slot=UnpackRecord");
        return false;
    }
    *parsed = UnpackTextLine(u->handle, u->record, text, u->fid) == 0;
    return true;
}

// CompareRecord of the parsed line against key; -1 when the slot is empty
// (the update is abandoned).
int compareLine(TextUpdate* u, uint64_t selector, const void* key) {
    if (u->handle->CompareRecord == nullptr) {
        fail(u, GENREG_RC_NO_COMPARE_SLOT, PROBE_NO_SLOT, 0, "slot=CompareRecord");
        return -1;
    }
    return u->handle->CompareRecord(selector, u->record, key);
}

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

// Refuses an update whose copy would stop short of the file's end.
bool wholeFileReadable(TextUpdate* u) {
    if (!holdsEndOfInputByte(u->handle->filePath)) return true;
    fail(u, GENREG_RC_READ_FAILED, PROBE_READ, 0, "end-of-input byte inside the file");
    return false;
}

// Reads the last byte of the file at path; false when it has none.
bool lastByteOfFile(const char* path, char* last) {
    bool found = false;
    GENREG_TRACE(FID_LAST_BYTE, &found);
    FILE* stream = ossStreamOpen(path, "rb");
    if (stream == nullptr) return found;
    found = ossStreamSeek(stream, -1, SEEK_END) == 0 && ossStreamRead(last, 1, 1, stream) == 1;
    ossStreamClose(stream);
    return found;
}

void addBody(TextUpdate* u, uint64_t selector, void* newRecord, bool lastLineOpen) {
    GenRegText* h = u->handle;
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, h->filePath};
    OSSFileInfo info = {};
    unsigned infoRc = ossFileGetInfoV9(&request, &info);
    if (infoRc != 0) return fail(u, GENREG_RC_FILE_INFO_FAILED, PROBE_INFO, infoRc, "file info");

    const bool inPlace = GenRegAppendsInPlace(h);
    const bool duplicatesAllowed = h->isFeatureSet(GENREG_FEATURE_DUPLICATES);
    if (!inPlace && info.size > 0) {
        if (!wholeFileReadable(u)) return;
        TextLine text;
        while (nextLine(u, &text)) {
            bool parsed = false;
            if (!parseLine(u, &text, &parsed)) return;
            if (parsed && !duplicatesAllowed) {
                int match = compareLine(u, selector, newRecord);
                if (match < 0) return;
                if (match == 1) {
                    if (genregTracing())
                        _gtraceErrorVar(ossThreadID(), u->fid, PROBE_DUPLICATE, GENREG_RC_DUPLICATE,
                                        1, OSS_TRACE_TEXT, (uint64_t)sizeof kDuplicateText,
                                        kDuplicateText);
                    return fail(u, GENREG_RC_DUPLICATE, PROBE_DUPLICATE, 0, "duplicate");
                }
            }
            if (!TextLineEndsWithNewline(&text)) {
                const char* lineEnd = crLfForTextStream();
                size_t endLength = std::strlen(lineEnd);
                if (text.rawLength + endLength + 1 > sizeof text.raw)
                    return fail(u, GENREG_RC_BUFFER_TOO_SMALL, PROBE_TOO_LONG, 0,
                                "no room for a line end");
                std::memcpy(text.raw + text.rawLength, lineEnd, endLength + 1);
                text.rawLength += endLength;
                if (genregTracing())
                    _gtraceVar(ossThreadID(), u->fid, PROBE_COPY, 1, OSS_TRACE_TEXT,
                               (uint64_t)sizeof kNewlineText, kNewlineText);
            }
            if (!writeBytes(h->tempStream, text.raw, text.rawLength))
                return fail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
        }
        if (u->abandoned) return;
    }

    FILE* target = inPlace ? h->stream : h->tempStream;
    if (ossStreamSeek(target, 0, SEEK_END) != 0)
        return fail(u, GENREG_RC_SEEK_FAILED, PROBE_SEEK, 0, "seek to end");
    // A file written in place must end in a line end before the new line,
    // or the new line would join its last line.
    if (inPlace && lastLineOpen) {
        const char* lineEnd = crLfForTextStream();
        if (!writeBytes(target, lineEnd, std::strlen(lineEnd)))
            return fail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write line end");
    }
    char line[GENREG_LINE_MAX];
    line[0] = '\0';
    unsigned packRc = h->PackRecord(newRecord, line);
    if (packRc != 0) return fail(u, GENREG_RC_LINE_PACK_FAILED, PROBE_PACK, packRc, "format");
    line[sizeof line - 1] = '\0';
    if (!writeWithLineEnd(target, line, std::strlen(line)))
        return fail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write new line");
}

void changeBody(TextUpdate* u, uint64_t selector, void* key, void* newRecord) {
    GenRegText* h = u->handle;
    const bool duplicatesAllowed = h->isFeatureSet(GENREG_FEATURE_DUPLICATES);
    unsigned replaced = 0;
    if (!wholeFileReadable(u)) return;
    TextLine text;
    while (nextLine(u, &text)) {
        bool parsed = false;
        if (!parseLine(u, &text, &parsed)) return;
        int match = parsed ? compareLine(u, selector, key) : 0;
        if (match < 0) return;
        if (match == 1) {
            if (h->CompareRecord(GENREG_SELECT_ALL, u->record, newRecord) != 0) {
                // The line already holds the new record: it is kept.
                u->result = GENREG_RC_UNCHANGED;
            } else {
                if (replaced > 0 && !duplicatesAllowed)
                    return fail(u, GENREG_RC_MULTIPLE_MATCHES, PROBE_MULTIPLE, 0, "second match");
                if (h->PackRecord == nullptr)
                    return fail(u, GENREG_RC_NO_LINE_PACK_SLOT, PROBE_NO_SLOT, 0,
                                "slot=PackRecord");
                // The old line in the buffer is the new line's layout template.
                text.raw[text.rawLength] = '\0';
                unsigned packRc = h->PackRecord(newRecord, text.raw);
                if (packRc != 0)
                    return fail(u, GENREG_RC_LINE_PACK_FAILED, PROBE_PACK, packRc, "format");
                text.raw[sizeof text.raw - 1] = '\0';
                text.rawLength = std::strlen(text.raw);
                ++replaced;
            }
        }
        if (!writeWithLineEnd(h->tempStream, text.raw, text.rawLength))
            return fail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
    }
    if (u->abandoned) return;
    if (u->result == 0 && replaced == 0)
        fail(u, GENREG_RC_NO_MATCH, PROBE_NO_MATCH, 0, "no line matches");
}

void deleteBody(TextUpdate* u, uint64_t selector, void* key) {
    GenRegText* h = u->handle;
    const bool duplicatesAllowed = h->isFeatureSet(GENREG_FEATURE_DUPLICATES);
    unsigned removed = 0;
    if (!wholeFileReadable(u)) return;
    TextLine text;
    while (nextLine(u, &text)) {
        bool parsed = false;
        if (!parseLine(u, &text, &parsed)) return;
        int match = parsed ? compareLine(u, selector, key) : 0;
        if (match < 0) return;
        if (match == 1) {
            if (removed > 0 && !duplicatesAllowed)
                return fail(u, GENREG_RC_MULTIPLE_MATCHES, PROBE_MULTIPLE, 0, "second match");
            ++removed;
            continue;
        }
        if (!writeBytes(h->tempStream, text.raw, text.rawLength))
            return fail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
    }
    if (u->abandoned) return;
    if (removed == 0) fail(u, GENREG_RC_NO_MATCH, PROBE_NO_MATCH, 0, "no line matches");
}

TextUpdate newUpdate(GenRegText* handle, unsigned type, uint32_t fid) {
    TextUpdate u = {};
    u.handle = handle;
    u.type = type;
    u.fid = fid;
    u.join = handle->isFeatureSet(GENREG_FEATURE_JOIN_LINES);
    return u;
}

}  // namespace

unsigned GenRegText::Add(uint64_t selector, void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_ADD, &rc);
    TextUpdate u = newUpdate(this, GENREG_TXN_ADD, FID_ADD);
    rc = prepare(&u, selector, record);
    if (rc != 0) return rc;
    // Appending in place opens the file for appending only, and its lock
    // may keep other handles from reading it: the last byte is read first,
    // under the update lock that every writer takes.
    char last = '\n';
    bool lastLineOpen =
        GenRegAppendsInPlace(this) && lastByteOfFile(filePath, &last) && last != '\n';
    rc = begin(&u);
    if (rc != 0) return rc;
    addBody(&u, selector, record, lastLineOpen);
    rc = finish(&u, selector, record, nullptr);
    return rc;
}

unsigned GenRegText::Change(uint64_t selector, void* key, void* newRecord) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CHANGE, &rc);
    TextUpdate u = newUpdate(this, GENREG_TXN_CHANGE, FID_CHANGE);
    rc = prepare(&u, selector, newRecord);
    if (rc != 0) return rc;
    rc = begin(&u);
    if (rc != 0) return rc;
    changeBody(&u, selector, key, newRecord);
    rc = finish(&u, selector, newRecord, key);
    return rc;
}

unsigned GenRegText::Delete(uint64_t selector, void* key) {
    unsigned rc = 0;
    GENREG_TRACE(FID_DELETE, &rc);
    TextUpdate u = newUpdate(this, GENREG_TXN_DELETE, FID_DELETE);
    rc = prepare(&u, selector, key);
    if (rc != 0) return rc;
    rc = begin(&u);
    if (rc != 0) return rc;
    deleteBody(&u, selector, key);
    rc = finish(&u, selector, nullptr, key);
    return rc;
}
