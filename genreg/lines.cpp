// Logical text lines: the line reader and writer, and the in-place helpers
// the text schemas parse lines with.
#include <genreg/lines.h>
#include <genreg/rc.h>

#include <climits>
#include <cstring>

#include "genreg/textline.h"
#include "genreg/trace.h"
#include "platform/oss.h"

bool bCompactFormattedLine = false;

namespace {

enum : uint32_t {
    FID_READ_LINE = GENREG_FID(0x0040),
    FID_WRITE_LINE = GENREG_FID(0x0041),
    FID_NORMALIZE_LINE = GENREG_FID(0x0042),
    FID_MAKE_PRINTABLE = GENREG_FID(0x0043),
    FID_NEXT_TOKEN = GENREG_FID(0x0044),
    FID_READ_TEXT_LINE = GENREG_FID(0x0045),
    FID_MEASURE_LINE = GENREG_FID(0x0046),
    FID_NORMALIZER_SCOPE = GENREG_FID(0x0047),
};

const char kUnit[] = "GenRegLines";

// Any byte that is not NUL: the reader fills the free part of raw with it
// before each read, so that the last NUL found afterwards is the one the
// read wrote behind its data, whatever NUL bytes the data itself holds.
const char kFiller = '\n';

// Reads one physical line into raw + j (at most size - j bytes, terminator
// included) and returns the number of bytes read, 0 when nothing could be.
// raw must hold only filler from *fillEnd on (size when nothing is known):
// only the bytes in front of it are filled. *fillEnd is then where the
// filler starts again. *backslash tells whether the text up to the first
// NUL holds a backslash.
size_t readPhysicalLine(char* raw, size_t j, size_t size, size_t* fillEnd, FILE* stream,
                        bool* backslash) {
    size_t room = size - j;
    if (room > INT_MAX) room = INT_MAX;
    const size_t fillTo = *fillEnd < j + room ? *fillEnd : j + room;
    if (fillTo > j) std::memset(raw + j, kFiller, fillTo - j);
    *backslash = false;
    if (ossStreamGets(raw + j, (int)room, stream) == nullptr) {
        // A failed read may have left anything in the buffer.
        *fillEnd = size;
        raw[j] = '\0';
        return 0;
    }
    // A read ends behind its first line feed, so a first NUL right behind a
    // line feed is the one the read wrote. Otherwise (an embedded NUL, or a
    // last line without a line feed) the terminator is the last NUL before
    // the filler, found backward.
    size_t first = j + std::strlen(raw + j);
    *backslash = std::memchr(raw + j, '\\', first - j) != nullptr;
    size_t end = first;
    if (first == j || raw[first - 1] != '\n') {
        end = j + room - 1;
        while (end > j && raw[end] != '\0')
            --end;
    }
    // The read wrote its bytes and their terminator, nothing behind them.
    *fillEnd = end + 1;
    return end - j;
}

void setRc(unsigned* rc, unsigned value) {
    if (rc) *rc = value;
}

// Walks the characters of one physical line that a read put into
// raw[k..end), appending the processed text to line at *i (terminated).
// The walk ends at the first NUL, which is the end of the data unless the
// line itself holds a NUL byte. True when the next physical line goes on
// the same logical line (a continuation with room left).
bool walkPhysicalLine(const char* raw, size_t k, size_t end, size_t size, char* line, size_t* i,
                      bool join) {
    bool readMore = false;
    size_t n = *i;
    while (k < end && raw[k] != '\0') {
        char c = raw[k];
        if (c != '\\') {
            line[n++] = c;
            ++k;
            continue;
        }
        char next = raw[k + 1];
        if (next == '\0') {  // a backslash as the last character read is dropped
            ++k;
            break;
        }
        if (next == '\n' && join) {
            // A continuation: the next physical line goes on in raw and
            // line, while there is room for at least one more character.
            k += 2;
            readMore = k == end && end + 1 < size;
            break;
        }
        if (next == '\n') {
            line[n++] = '\\';
            line[n++] = '\n';
            k += 2;
            break;
        }
        line[n++] = '\\';
        ++k;
    }
    line[n] = '\0';
    *i = n;
    return readMore;
}

// The loop behind both readers; returns the bytes read into raw. With
// lineOnDemand, a logical line whose first physical line holds no
// backslash in front of its first NUL is left in raw alone and *lineInRaw
// is set: the walk would have copied raw up to that NUL, unchanged, and no
// continuation can follow. *ended is set when a read found nothing.
size_t readLogicalLine(char* raw, char* line, size_t size, size_t* fillEnd, FILE* stream, bool join,
                       bool lineOnDemand, bool* lineInRaw, bool* ended) {
    *lineInRaw = false;
    *ended = false;
    raw[0] = '\0';
    line[0] = '\0';
    size_t j = 0;  // fill position in raw
    size_t i = 0;  // fill position in line
    // A buffer of one byte holds only the terminator: nothing can be read.
    bool readMore = size > 1;
    while (readMore) {
        bool backslash = false;
        size_t count = readPhysicalLine(raw, j, size, fillEnd, stream, &backslash);
        if (count == 0) {
            *ended = true;
            break;
        }
        if (lineOnDemand && j == 0 && !backslash) {
            *lineInRaw = true;
            return count;
        }
        const size_t start = j;
        j += count;
        readMore = walkPhysicalLine(raw, start, j, size, line, &i, join);
    }
    return j;
}

}  // namespace

char* GenRegReadLineCounted(char* raw, char* line, uint64_t size, FILE* stream, unsigned* rc,
                            bool join, size_t* rawLength) {
    unsigned traceRc = 0;
    GENREG_TRACE(FID_READ_LINE, &traceRc);
    if (rawLength) *rawLength = 0;
    if (raw == nullptr || line == nullptr || stream == nullptr || size == 0) {
        traceRc = GENREG_RC_BAD_ARGUMENT;
        setRc(rc, traceRc);
        return nullptr;
    }
    bool lineInRaw = false;
    bool ended = false;
    size_t fillEnd = (size_t)size;  // a caller's buffer may hold anything
    size_t j =
        readLogicalLine(raw, line, (size_t)size, &fillEnd, stream, join, false, &lineInRaw, &ended);
    if (ended) traceRc = GENREG_RC_END_OF_INPUT;
    setRc(rc, traceRc);
    if (rawLength) *rawLength = j;
    return j > 0 ? raw : nullptr;
}

char* GenRegReadLine(char* raw, char* line, uint64_t size, FILE* stream, unsigned* rc, bool join) {
    return GenRegReadLineCounted(raw, line, size, stream, rc, join, nullptr);
}

const char kByteOrderMark[3] = {'\xEF', '\xBB', '\xBF'};

namespace {

// What follows a line that filled the buffer.
enum class Beyond { EndOfFile, MoreText, Failed };

// Looks at the byte behind the stream's position and puts it back.
Beyond peekBeyond(FILE* stream) {
    unsigned char next = 0;
    if (ossStreamRead(&next, 1, 1, stream) == 1) {
        std::ungetc(next, stream);
        return Beyond::MoreText;
    }
    return std::feof(stream) && !std::ferror(stream) ? Beyond::EndOfFile : Beyond::Failed;
}

bool endsWithContinuation(const TextLine* text) {
    return text->rawLength >= 2 && text->raw[text->rawLength - 1] == '\n' &&
           text->raw[text->rawLength - 2] == '\\';
}

}  // namespace

bool ReadTextLine(TextLine* text, FILE* stream, bool join) {
    bool found = false;
    GENREG_TRACE(FID_READ_TEXT_LINE, &found);
    text->cut = false;
    text->line = text->processed;
    bool lineInRaw = false;
    bool ended = false;
    size_t fillEnd = text->fillerFrom > 0 ? text->fillerFrom : sizeof text->raw;
    text->rawLength = readLogicalLine(text->raw, text->processed, sizeof text->raw, &fillEnd,
                                      stream, join, true, &lineInRaw, &ended);
    text->fillerFrom = fillEnd < sizeof text->raw ? fillEnd : 0;
    found = text->rawLength > 0;
    if (!found) return found;
    // Only a line that fills the buffer can be the first part of a longer
    // one: it goes on when it has no line end yet, or ends in a
    // continuation that found no room, and the file does not end there. A
    // last line of exactly the buffer's capacity is whole.
    if (text->rawLength + 1 >= sizeof text->raw &&
        (!TextLineEndsWithNewline(text) || (join && endsWithContinuation(text)))) {
        Beyond beyond = peekBeyond(stream);
        if (beyond == Beyond::Failed) return found = false;
        text->cut = beyond == Beyond::MoreText;
    }
    const char* processed = lineInRaw ? text->raw : text->processed;
    // The mark's bytes, none a backslash, begin the processed line too.
    if (text->rawLength >= sizeof kByteOrderMark &&
        std::memcmp(text->raw, kByteOrderMark, sizeof kByteOrderMark) == 0)
        processed += sizeof kByteOrderMark;
    text->line = processed;
    return found;
}

OverLongLine MeasureOverLongLine(FILE* stream, const TextLine* text, bool join) {
    OverLongLine result = {0, text->rawLength};
    GENREG_TRACE(FID_MEASURE_LINE, &result.length);
    const int64_t pieceEnd = ossStreamTell(stream);
    // Physical lines, or pieces of one, read with the counted reader so
    // that NUL bytes inside them are counted too.
    TextLine piece;
    auto readPiece = [&]() {
        return GenRegReadLineCounted(piece.raw, piece.processed, sizeof piece.raw, stream, nullptr,
                                     false, &piece.rawLength) != nullptr;
    };
    // The rest of the line, up to its line end: the next physical line
    // goes on with it while a physical line ends in a continuation.
    bool more = true;
    size_t lineEnd = 0;  // characters of the line end behind the last piece
    while (more && readPiece()) {
        const size_t length = piece.rawLength;
        result.length += length;
        lineEnd = 0;
        more = !TextLineEndsWithNewline(&piece);
        if (!more) {
            lineEnd = length >= 2 && piece.raw[length - 2] == '\r' ? 2 : 1;
            more = join && endsWithContinuation(&piece);
        }
    }
    result.length -= lineEnd;
    const int64_t lineEndPosition = ossStreamTell(stream);
    if (pieceEnd < 0 || lineEndPosition < 0) return result;
    // Every line feed in front of the piece's end ends a line before this
    // one, except those inside the line's own first part.
    uint64_t lineFeeds = 0;
    bool counted = ossStreamSeek(stream, 0, SEEK_SET) == 0;
    for (int64_t position = 0; counted && position < pieceEnd;) {
        if (!readPiece()) {
            counted = false;
            break;
        }
        position = ossStreamTell(stream);
        if (position < 0) counted = false;
        if (counted && position <= pieceEnd && TextLineEndsWithNewline(&piece)) ++lineFeeds;
    }
    for (size_t k = 0; k < text->rawLength && lineFeeds > 0; ++k)
        if (text->raw[k] == '\n') --lineFeeds;
    // The stream goes on behind the line whatever the count came to.
    if (ossStreamSeek(stream, lineEndPosition, SEEK_SET) == 0 && counted)
        result.number = lineFeeds + 1;
    return result;
}

size_t WholePlainLineAt(const char* bytes, size_t length, bool join, bool* unfinished) {
    const char* lineFeed = (const char*)std::memchr(bytes, '\n', length);
    const size_t size = lineFeed ? (size_t)(lineFeed - bytes) + 1 : length;
    *unfinished = false;
    if (size + 1 >= GENREG_LINE_MAX) return 0;
    if (lineFeed == nullptr) {
        *unfinished = true;
        return 0;
    }
    if (join && size >= 2 && lineFeed[-1] == '\\') return 0;
    return size;
}

void TextLineRawWritten(TextLine* text) {
    text->fillerFrom = 0;
}

void TextLineTakeRaw(TextLine* text, const char* bytes, size_t size) {
    std::memcpy(text->raw, bytes, size);
    text->raw[size] = '\0';
    text->rawLength = size;
    text->cut = false;
    TextLineRawWritten(text);
    text->line = text->raw;
    if (size >= sizeof kByteOrderMark &&
        std::memcmp(text->raw, kByteOrderMark, sizeof kByteOrderMark) == 0)
        text->line += sizeof kByteOrderMark;
}

bool TextStreamFailed(FILE* stream) {
    return std::ferror(stream) || !std::feof(stream);
}

bool TextLineEndsWithNewline(const TextLine* text) {
    return text->rawLength > 0 && text->raw[text->rawLength - 1] == '\n';
}

bool TextLineIsPiece(const TextLine* text) {
    return text->cut;
}

unsigned GenRegWriteLine(const char* text, uint64_t width, FILE* stream) {
    unsigned rc = 0;
    GENREG_TRACE(FID_WRITE_LINE, &rc);
    // With a width of 1 or 2 every inserted break would call for another.
    if (text == nullptr || stream == nullptr || width < 3) {
        rc = GENREG_RC_BAD_ARGUMENT;
        ossLog(FID_WRITE_LINE, 1, rc, OSS_SEVERITY_ERROR, "text=%p stream=%p width=%llu",
               (const void*)text, (void*)stream, (unsigned long long)width);
        return rc;
    }
    // The output is built in a buffer and written whenever the buffer is
    // full, so a text of any length is written with its breaks where an
    // unbounded buffer would have put them.
    char buffer[GENREG_LINE_MAX];
    size_t used = 0;
    uint64_t position = 0;  // output position, inserted characters included
    bool writeFailed = false;
    auto put = [&](char c) {
        buffer[used++] = c;
        ++position;
        if (used == sizeof buffer) {
            if (ossStreamWrite(buffer, 1, used, stream) != used) writeFailed = true;
            used = 0;
        }
    };
    for (const char* p = text; *p != '\0'; ++p) {
        if ((position + 1) % width == 0) {
            put('\\');
            put('\n');
        }
        put(*p);
    }
    if (used > 0 && ossStreamWrite(buffer, 1, used, stream) != used) writeFailed = true;
    if (writeFailed) {
        rc = GENREG_RC_APPEND_FAILED;
        ossLog(FID_WRITE_LINE, 2, rc, OSS_SEVERITY_ERROR, "written=%llu",
               (unsigned long long)position);
    }
    return rc;
}

namespace {

// The scope of the operation running on this thread, or null. Handles may
// serve different threads at once, so each thread has its own.
thread_local LineNormalizerScope* tCurrentScope = nullptr;

// True when normalising text (length characters) would leave it as it is:
// no tab, carriage return or line feed, no space in front or behind, and no
// two spaces in a row (inside quotes they would stay, but the test does not
// look for quotes), so that no space goes.
bool alreadyNormal(const char* text, size_t length) {
    if (length == 0) return true;
    if (text[0] == ' ' || text[length - 1] == ' ') return false;
    for (size_t k = 0; k < length; ++k) {
        const char c = text[k];
        if (c == '\t' || c == '\n' || c == '\r' || (c == ' ' && text[k + 1] == ' ')) return false;
    }
    return true;
}

// Normalises text of length characters through work (length + 1 bytes).
void normalizeThrough(char* text, size_t length, char* work) {
    for (size_t k = 0; k < length; ++k)
        if (text[k] == '\t' || text[k] == '\n' || text[k] == '\r') text[k] = ' ';

    const char* from = text;
    while (*from == ' ')
        ++from;
    size_t n = 0;
    bool lastWasSpace = false;  // the last character copied was a space outside quotes
    while (*from != '\0') {
        if (*from == '"') {
            // A quoted run is copied as it stands, up to its closing quote
            // or, when it is never closed, to the end of the text.
            work[n++] = *from++;
            while (*from != '\0' && *from != '"')
                work[n++] = *from++;
            if (*from == '"') work[n++] = *from++;
            lastWasSpace = false;
        } else if (*from == ' ') {
            if (!lastWasSpace) work[n++] = ' ';
            lastWasSpace = true;
            ++from;
        } else {
            work[n++] = *from++;
            lastWasSpace = false;
        }
    }
    while (n > 0 && work[n - 1] == ' ')
        --n;
    work[n] = '\0';
    std::memcpy(text, work, n + 1);
}

}  // namespace

void BeginLineNormalizer(LineNormalizerScope* scope) {
    GENREG_TRACE(FID_NORMALIZER_SCOPE, nullptr);
    scope->work = nullptr;
    scope->outer = tCurrentScope;
    unsigned memRc = ossMemAlloc(&scope->work, kLineNormalizerWorkSize, kUnit);
    if (memRc != 0) {
        scope->work = nullptr;
        ossLogRC(FID_NORMALIZE_LINE, 2, 0, memRc, GENREG_RC_GROW_ALLOC_FAILED, OSS_SEVERITY_ERROR,
                 "size=%zu", kLineNormalizerWorkSize);
    }
    tCurrentScope = scope;
}

void EndLineNormalizer(LineNormalizerScope* scope) {
    GENREG_TRACE(FID_NORMALIZER_SCOPE, nullptr);
    tCurrentScope = scope->outer;
    if (scope->work == nullptr) return;
    unsigned memRc = ossMemFree(&scope->work, kUnit);
    if (memRc != 0)
        ossLogRC(FID_NORMALIZE_LINE, 3, 0, memRc, GENREG_RC_GROW_FREE_FAILED, OSS_SEVERITY_ERROR,
                 "size=%zu", kLineNormalizerWorkSize);
}

unsigned NormalizeLine(char* text) {
    unsigned rc = 0;
    GENREG_TRACE(FID_NORMALIZE_LINE, &rc);
    if (text == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_NORMALIZE_LINE, 1, rc, OSS_SEVERITY_ERROR, "text=null");
        return rc;
    }
    size_t length = std::strlen(text);
    LineNormalizerScope* scope = tCurrentScope;
    if (scope != nullptr && length < kLineNormalizerWorkSize) {
        // The operation's buffer; when it could not be had, every line of
        // the operation is left as it stands (logged once, when it failed).
        if (scope->work == nullptr) return rc = GENREG_RC_GROW_ALLOC_FAILED;
        if (!alreadyNormal(text, length)) normalizeThrough(text, length, scope->work);
        return rc;
    }
    char* work = nullptr;
    unsigned memRc = ossMemAlloc(&work, length + 1, kUnit);
    if (memRc != 0) {
        rc = GENREG_RC_GROW_ALLOC_FAILED;
        ossLogRC(FID_NORMALIZE_LINE, 2, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%zu", length + 1);
        return rc;
    }
    normalizeThrough(text, length, work);
    memRc = ossMemFree(&work, kUnit);
    if (memRc != 0) {
        rc = GENREG_RC_GROW_FREE_FAILED;
        ossLogRC(FID_NORMALIZE_LINE, 3, 0, memRc, rc, OSS_SEVERITY_ERROR, "size=%zu", length + 1);
    }
    return rc;
}

void MakePrintable(char* text) {
    GENREG_TRACE(FID_MAKE_PRINTABLE, nullptr);
    if (text == nullptr) return;
    for (unsigned char* p = (unsigned char*)text; *p != '\0'; ++p)
        if (*p != '\t' && (*p < 0x20 || *p > 0x7E)) *p = '.';
}

unsigned NextToken(char** token, char** cursor) {
    unsigned rc = 0;
    GENREG_TRACE(FID_NEXT_TOKEN, &rc);
    if (token == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_NEXT_TOKEN, 1, rc, OSS_SEVERITY_ERROR, "token=null");
        return rc;
    }
    if (cursor == nullptr || *cursor == nullptr) {
        *token = nullptr;
        rc = GENREG_RC_END_OF_INPUT;
        return rc;
    }
    char* p = *cursor;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '\0') {
        *token = nullptr;
        rc = GENREG_RC_END_OF_INPUT;
        return rc;
    }
    *token = p;
    while (*p != '\0' && *p != ' ' && *p != '\t')
        ++p;
    if (*p == '\0') {
        *cursor = nullptr;
    } else {
        *p = '\0';
        *cursor = p + 1;
    }
    return rc;
}

bool CutAtLineEnd(char* text) {
    char* newline = std::strchr(text, '\n');
    if (newline == nullptr) return false;
    if (newline > text && newline[-1] == '\r') --newline;
    *newline = '\0';
    return true;
}

void CopyLineText(char* out, const char* line) {
    size_t length = 0;
    while (length < GENREG_LINE_MAX - 1 && line[length] != '\0')
        ++length;
    std::memcpy(out, line, length);
    out[length] = '\0';
    CutAtLineEnd(out);
}
