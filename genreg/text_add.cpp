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

// How the file ends, as far as an append after its last line cares.
struct FileEnd {
    bool open;       // the last line has no line end yet
    bool continued;  // with joining on, a line written next would join the
                     // last one: it ends in a continuation (once ended)
    bool noRoom;     // the last line could not be read back with a line end
    bool backslash;  // the last line is open and ends in a backslash
};

// The line end an Add gives an open last line. A backslash that ends the
// file is dropped by the line reader, so such a line means the text before
// the backslash, and a line end behind it would change that. With joining
// on, "\n" makes the backslash a continuation, which the Add then ends with
// one more line end (the line joins an empty one and keeps its meaning); a
// CR LF would leave the backslash in the text. With joining off, every line
// end leaves it in the text, so the Add refuses such a file (backslash is
// then never asked for here).
const char* openLineEnd(bool backslash) {
    return backslash ? "\n" : TextCrLf();
}

// The line end an Add gives an open last line, as the line reader sees it
// when the file is read back: text streams that translate line ends read
// the CR LF written as "\n".
size_t addedLineEndAsRead() {
    return ossTextStreamsTranslateLineEnds() ? 1 : 2;
}

bool endsInContinuation(const char* text, size_t length) {
    return length >= 2 && text[length - 1] == '\n' && text[length - 2] == '\\';
}

// How the registry file ends (nothing to care about for a missing or empty
// file). Appending after an open last line must first end it, so a file
// that cannot be read is a failure, never a guess: guessing "ends in a
// newline" would join the new line to the last one. The file is opened as
// every protocol file is, never blocking and regular files only, so that a
// FIFO at its name cannot hold the update lock for ever.
// GENREG_RC_READ_FAILED (or the open's telling code) when it cannot be
// read; the caller logs it.
unsigned describeFileEnd(GenRegText* handle, bool join, FileEnd* end) {
    unsigned rc = 0;
    GENREG_TRACE(FID_LAST_BYTE, &rc);
    *end = FileEnd{};
    FILE* stream = nullptr;
    unsigned openRc = GenRegOpenForInspection(handle, &stream, FID_LAST_BYTE);
    if (openRc != 0)
        return rc = GenRegIsTellingFailure(openRc) ? openRc : (unsigned)GENREG_RC_READ_FAILED;
    if (stream == nullptr) return rc;
    int64_t size = -1;
    // The last line that still fits the line buffer, and a byte more, so
    // that a line too long to end shows as one without a line feed.
    char tail[GENREG_LINE_MAX + 1];
    size_t count = 0;
    bool read = ossStreamSeek(stream, 0, SEEK_END) == 0 && (size = ossStreamTell(stream)) >= 0;
    if (read && size > 0) {
        count = size < (int64_t)sizeof tail ? (size_t)size : sizeof tail;
        read = ossStreamSeek(stream, -(int64_t)count, SEEK_END) == 0 &&
               ossStreamRead(tail, 1, count, stream) == count;
    }
    ossStreamClose(stream);
    if (!read) return rc = GENREG_RC_READ_FAILED;
    if (count == 0) return rc;
    size_t asRead = count;  // the tail's length as the line reader sees it
    if (ossTextStreamsTranslateLineEnds() && asRead >= 2 && tail[asRead - 1] == '\n' &&
        tail[asRead - 2] == '\r') {
        tail[asRead - 2] = '\n';
        --asRead;
    }
    end->open = tail[asRead - 1] != '\n';
    if (end->open) {
        size_t openLength = 0;
        while (openLength < asRead && tail[asRead - 1 - openLength] != '\n')
            ++openLength;
        // A line the reader takes whole now but would not once ended; one
        // that is too long already gets no longer by its line end.
        end->noRoom = openLength + 1 <= GENREG_LINE_MAX &&
                      openLength + addedLineEndAsRead() + 1 > GENREG_LINE_MAX;
        // Ended with a line end a translating stream reads as "\n", a last
        // backslash starts a continuation.
        end->backslash = tail[asRead - 1] == '\\';
        end->continued = join && end->backslash;
    } else {
        end->continued = join && endsInContinuation(tail, asRead);
    }
    return rc;
}

// Ends a continuation at the end of target with one more line end, so that
// the line written next starts a logical line of its own.
bool endContinuation(TextUpdate* u, FILE* target) {
    if (TextWriteBytes(target, "\n", 1)) return true;
    TextUpdateFail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write line end");
    return false;
}

// Writes the new line to target, after ending the file's last line where
// it is open (lastLineOpen) or continued.
bool appendLine(TextUpdate* u, FILE* target, void* newRecord, bool lastLineOpen, bool continued) {
    GenRegText* h = u->handle;
    if (lastLineOpen) {
        const char* lineEnd = openLineEnd(continued);
        if (!TextWriteBytes(target, lineEnd, std::strlen(lineEnd))) {
            TextUpdateFail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write line end");
            return false;
        }
    }
    if (continued && !endContinuation(u, target)) return false;
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

void addBody(TextUpdate* u, uint64_t selector, void* newRecord, const FileEnd& fileEnd) {
    GenRegText* h = u->handle;
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, h->filePath};
    OSSFileInfo info = {};
    unsigned infoRc = ossFileGetInfoV9(&request, &info);
    if (infoRc != 0)
        return TextUpdateFail(u, GENREG_RC_FILE_INFO_FAILED, PROBE_INFO, infoRc, "file info");

    const bool inPlace = GenRegAppendsInPlace(h);
    const bool duplicatesAllowed = h->isFeatureSet(GENREG_FEATURE_DUPLICATES);
    bool continued = inPlace && fileEnd.continued;
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
                const bool backslash = text.rawLength > 0 && text.raw[text.rawLength - 1] == '\\';
                if (backslash && !u->join)
                    return TextUpdateFail(u, GENREG_RC_OPEN_LINE_BACKSLASH, PROBE_TOO_LONG, 0,
                                          "last line without line end ends in a backslash");
                const char* lineEnd = openLineEnd(backslash);
                size_t endLength = std::strlen(lineEnd);
                if (text.rawLength + endLength + 1 > sizeof text.raw)
                    return TextUpdateFail(u, GENREG_RC_BUFFER_TOO_SMALL, PROBE_TOO_LONG, 0,
                                          "no room for a line end");
                TextLineRawWritten(&text);
                std::memcpy(text.raw + text.rawLength, lineEnd, endLength + 1);
                text.rawLength += endLength;
                if (genregTracing())
                    _gtraceVar(ossThreadID(), u->fid, PROBE_COPY, 1, OSS_TRACE_TEXT,
                               (uint64_t)sizeof kNewlineText, kNewlineText);
            }
            if (!TextWriteBytes(h->tempStream, text.raw, text.rawLength))
                return TextUpdateFail(u, GENREG_RC_COPY_FAILED, PROBE_COPY, 0, "write copy");
            // Only the last line can end in a continuation that nothing
            // follows (a cut line was refused).
            continued = u->join && endsInContinuation(text.raw, text.rawLength);
        }
        if (u->abandoned) return;
    }
    if (inPlace && fileEnd.noRoom)
        return TextUpdateFail(u, GENREG_RC_BUFFER_TOO_SMALL, PROBE_TOO_LONG, 0,
                              "no room for a line end");
    if (inPlace && fileEnd.backslash && !u->join)
        return TextUpdateFail(u, GENREG_RC_OPEN_LINE_BACKSLASH, PROBE_TOO_LONG, 0,
                              "last line without line end ends in a backslash");

    FILE* target = inPlace ? h->stream : h->tempStream;
    int64_t oldEnd = -1;
    if (ossStreamSeek(target, 0, SEEK_END) != 0 || (oldEnd = ossStreamTell(target)) < 0)
        return TextUpdateFail(u, GENREG_RC_SEEK_FAILED, PROBE_SEEK, 0, "seek to end");
    // A file written in place must end in a line end before the new line,
    // or the new line would join its last line; and with joining on, a
    // last line that ends in a continuation would swallow it.
    if (appendLine(u, target, newRecord, inPlace && fileEnd.open, continued) || !inPlace) return;
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
    if ((rc = TextRefuseNull(FID_TEXT_ADD, PROBE_NULL, record, record)) != 0) return rc;
    TextUpdate u = NewTextUpdate(this, GENREG_TXN_ADD, FID_TEXT_ADD);
    rc = TextUpdatePrepare(&u, selector, record);
    if (rc != 0) return rc;
    // Appending in place opens the file for appending only, and its lock
    // may keep other handles from reading it: how it ends is read first,
    // under the update lock that every writer takes.
    FileEnd fileEnd = {};
    if (GenRegAppendsInPlace(this)) {
        rc = describeFileEnd(this, u.join, &fileEnd);
        if (rc != 0) {
            TextUpdateFail(&u, rc, PROBE_READ, 0, "read last byte");
            return TextUpdateFinish(&u, selector, record, nullptr);
        }
    }
    rc = TextUpdateBegin(&u);
    if (rc != 0) return rc;
    addBody(&u, selector, record, fileEnd);
    rc = TextUpdateFinish(&u, selector, record, nullptr);
    return rc;
}
