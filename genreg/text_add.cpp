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
    if (ossStreamSeek(target, 0, SEEK_END) != 0)
        return TextUpdateFail(u, GENREG_RC_SEEK_FAILED, PROBE_SEEK, 0, "seek to end");
    // A file written in place must end in a line end before the new line,
    // or the new line would join its last line.
    if (inPlace && lastLineOpen) {
        const char* lineEnd = TextCrLf();
        if (!TextWriteBytes(target, lineEnd, std::strlen(lineEnd)))
            return TextUpdateFail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write line end");
    }
    char line[GENREG_LINE_MAX];
    line[0] = '\0';
    unsigned packRc = h->PackRecord(newRecord, line);
    if (packRc != 0)
        return TextUpdateFail(u, GENREG_RC_LINE_PACK_FAILED, PROBE_PACK, packRc, "format");
    line[sizeof line - 1] = '\0';
    if (!TextWriteWithLineEnd(target, line, std::strlen(line)))
        return TextUpdateFail(u, GENREG_RC_APPEND_FAILED, PROBE_APPEND, 0, "write new line");
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
    char last = '\n';
    bool lastLineOpen =
        GenRegAppendsInPlace(this) && lastByteOfFile(filePath, &last) && last != '\n';
    rc = TextUpdateBegin(&u);
    if (rc != 0) return rc;
    addBody(&u, selector, record, lastLineOpen);
    rc = TextUpdateFinish(&u, selector, record, nullptr);
    return rc;
}
