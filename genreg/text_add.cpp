// Add: a new line at the end of a text registry file.
#include <genreg/handle.h>
#include <genreg/rc.h>

#include <cstring>

#include "genreg/text_update.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

enum : uint32_t { FID_LAST_BYTE = GENREG_FID(0x005C) };

const char kDuplicateText[] = "Match found; duplicate record";
const char kNewlineText[] = "Added a newline";

// Whether the file at path ends in a line that has no line end yet (false
// for a missing or empty file). Appending after such a line must first end
// it, so a file that cannot be read is a failure, never a guess: guessing
// "ends in a newline" would join the new line to the last one.
// GENREG_RC_READ_FAILED when it cannot be read; the caller logs it.
unsigned lastLineIsOpen(const char* path, bool* open) {
    unsigned rc = 0;
    GENREG_TRACE(FID_LAST_BYTE, &rc);
    *open = false;
    OSSPathKind kind = OSS_PATH_ABSENT;
    if (ossPathKindOf(path, &kind) != 0) return rc = GENREG_RC_READ_FAILED;
    if (kind == OSS_PATH_ABSENT) return rc;
    FILE* stream = ossStreamOpen(path, "rb");
    int64_t size = -1;
    char last = '\n';
    bool read = stream != nullptr && ossStreamSeek(stream, 0, SEEK_END) == 0 &&
                (size = ossStreamTell(stream)) >= 0 &&
                (size == 0 || (ossStreamSeek(stream, -1, SEEK_END) == 0 &&
                               ossStreamRead(&last, 1, 1, stream) == 1));
    if (stream != nullptr) ossStreamClose(stream);
    if (!read) return rc = GENREG_RC_READ_FAILED;
    *open = last != '\n';
    return rc;
}

// Writes the new line (after a line end for an open last line) to target.
bool appendLine(TextUpdate* u, FILE* target, void* newRecord, bool lastLineOpen) {
    GenRegText* h = u->handle;
    if (lastLineOpen) {
        const char* lineEnd = TextCrLf();
        if (!TextWriteBytes(target, lineEnd, std::strlen(lineEnd))) {
            TextUpdateFail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write line end");
            return false;
        }
    }
    char line[GENREG_LINE_MAX];
    line[0] = '\0';
    unsigned packRc = h->PackRecord(newRecord, line);
    if (packRc != 0) {
        TextUpdateFail(u, GENREG_RC_LINE_PACK_FAILED, PROBE_PACK, packRc, "format");
        return false;
    }
    line[sizeof line - 1] = '\0';
    if (!TextWriteWithLineEnd(target, line, std::strlen(line))) {
        TextUpdateFail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write new line");
        return false;
    }
    return true;
}

void addBody(TextUpdate* u, uint64_t selector, void* newRecord, bool lastLineOpen) {
    GenRegText* h = u->handle;
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, h->filePath};
    OSSFileInfo info = {};
    unsigned infoRc = ossFileGetInfoV9(&request, &info);
    if (infoRc != 0)
        return TextUpdateFail(u, GENREG_RC_FILE_INFO_FAILED, PROBE_INFO, infoRc, "file info");

    const bool inPlace = GenRegAppendsInPlace(h);
    const bool duplicatesAllowed = h->isFeatureSet(GENREG_FEATURE_DUPLICATES);
    if (!inPlace && info.size > 0) {
        if (!TextUpdateWholeFileReadable(u)) return;
        TextLine text;
        while (TextUpdateNextLine(u, &text)) {
            // Only a file that may not hold the key twice is searched for it.
            bool match = false;
            if (!duplicatesAllowed && !TextUpdateLineMatches(u, &text, selector, newRecord, &match))
                return;
            if (match) {
                if (genregTracing())
                    _gtraceErrorVar(ossThreadID(), u->fid, PROBE_DUPLICATE, GENREG_RC_DUPLICATE, 1,
                                    OSS_TRACE_TEXT, (uint64_t)sizeof kDuplicateText,
                                    kDuplicateText);
                return TextUpdateFail(u, GENREG_RC_DUPLICATE, PROBE_DUPLICATE, 0, "duplicate");
            }
            if (!TextLineEndsWithNewline(&text)) {
                const char* lineEnd = TextCrLf();
                size_t endLength = std::strlen(lineEnd);
                if (text.rawLength + endLength + 1 > sizeof text.raw)
                    return TextUpdateFail(u, GENREG_RC_BUFFER_TOO_SMALL, PROBE_TOO_LONG, 0,
                                          "no room for a line end");
                std::memcpy(text.raw + text.rawLength, lineEnd, endLength + 1);
                text.rawLength += endLength;
                if (genregTracing())
                    _gtraceVar(ossThreadID(), u->fid, PROBE_COPY, 1, OSS_TRACE_TEXT,
                               (uint64_t)sizeof kNewlineText, kNewlineText);
            }
            if (!TextWriteBytes(h->tempStream, text.raw, text.rawLength))
                return TextUpdateFail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
        }
        if (u->abandoned) return;
    }

    FILE* target = inPlace ? h->stream : h->tempStream;
    int64_t oldEnd = -1;
    if (ossStreamSeek(target, 0, SEEK_END) != 0 || (oldEnd = ossStreamTell(target)) < 0)
        return TextUpdateFail(u, GENREG_RC_SEEK_FAILED, PROBE_SEEK, 0, "seek to end");
    // A file written in place must end in a line end before the new line,
    // or the new line would join its last line.
    if (appendLine(u, target, newRecord, inPlace && lastLineOpen) || !inPlace) return;
    // Appending in place writes the file itself: what a failed append
    // wrote is cut off again, so the file keeps its old content (I7).
    if (ossStreamTruncate(target, oldEnd) != 0)
        ossLog(u->fid, PROBE_APPEND, GENREG_RC_APPEND_FAILED, OSS_SEVERITY_ERROR,
               "errno=%d size=%lld file=%s: partial line left", ossLastErrno(), (long long)oldEnd,
               h->filePath);
}

}  // namespace

unsigned GenRegText::Add(uint64_t selector, void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_TEXT_ADD, &rc);
    TextUpdate u = NewTextUpdate(this, GENREG_TXN_ADD, FID_TEXT_ADD);
    rc = TextUpdatePrepare(&u, selector, record);
    if (rc != 0) return rc;
    // Appending in place opens the file for appending only, and its lock
    // may keep other handles from reading it: the last byte is read first,
    // under the update lock that every writer takes.
    bool lastLineOpen = false;
    if (GenRegAppendsInPlace(this)) {
        rc = lastLineIsOpen(filePath, &lastLineOpen);
        if (rc != 0) {
            TextUpdateFail(&u, rc, PROBE_READ, 0, "read last byte");
            return TextUpdateFinish(&u, selector, record, nullptr);
        }
    }
    rc = TextUpdateBegin(&u);
    if (rc != 0) return rc;
    addBody(&u, selector, record, lastLineOpen);
    rc = TextUpdateFinish(&u, selector, record, nullptr);
    return rc;
}
