// Internal helpers for text lines: the counted line reader the text store
// uses, and the in-place text helpers the text schemas parse lines with.
#ifndef GENREG_TEXTLINE_H
#define GENREG_TEXTLINE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <genreg/handle.h>

// GenRegReadLine that also reports how many bytes raw holds. A physical
// line may contain NUL bytes; raw keeps them and *rawLength counts them, so
// that a store can copy the line byte for byte. The processed line ends at
// the first NUL, as the exported reader's does.
char* GenRegReadLineCounted(char* raw, char* line, uint64_t size, FILE* stream, unsigned* rc,
                            bool join, size_t* rawLength);

// One logical line as the text store reads it.
struct TextLine {
    char raw[GENREG_LINE_MAX];        // the physical lines exactly as read
    char processed[GENREG_LINE_MAX];  // the processed line, when it is not raw's own text
    // The processed line, continuations joined, behind a byte-order mark:
    // it points into raw when the line holds no backslash (its text is then
    // raw's up to the first NUL, so the line is not copied), else into
    // processed. Valid until raw or processed change.
    const char* line;
    size_t rawLength;  // bytes in raw, embedded NUL bytes included
    // raw holds only the reader's filler from this byte on, so that the
    // next read fills only the bytes in front of it; 0 when that is not
    // known (nothing read into raw yet, or raw written by its user, who
    // says so with TextLineRawWritten).
    size_t fillerFrom = 0;
    // raw holds only the first part of a logical line too long for the
    // buffer: a physical line that goes on behind it, or a continuation
    // that had no room left for the physical line it joins.
    bool cut;
};

// The UTF-8 byte-order mark an editor may put in front of a file's text.
extern const char kByteOrderMark[3];

// Reads the next logical line of stream into *text. False at the end of the
// input and on a read error (tell them apart with TextStreamFailed).
//
// Unlike GenRegReadLine, which hands out the pieces of an over-long line
// as lines of their own, this reader marks a piece (text->cut), so that no
// store takes the text inside a long line for a record of its own. A line
// that starts with the byte-order mark keeps it in raw, so that a rewrite
// copies it, while line, which the schemas parse, starts behind it.
bool ReadTextLine(TextLine* text, FILE* stream, bool join);

// Tells the reader that raw was written to by other code than the reader:
// its next read fills the whole buffer again.
void TextLineRawWritten(TextLine* text);

// Makes *text the line ReadTextLine would have returned for the size bytes
// at bytes: a line WholePlainLineAt accepts, holding no NUL byte, whose
// processed text is its raw text (behind a byte-order mark).
void TextLineTakeRaw(TextLine* text, const char* bytes, size_t size);

// Where and how long the over-long line is whose first part ReadTextLine
// just returned as *text (text->cut): the stream is moved behind the whole
// logical line, and the count of the lines in front of it is taken from the
// start of the stream. number is the line's own number, counting physical
// lines from 1, or 0 when the stream could not tell; length counts its
// characters, continuations included and the final line end not.
struct OverLongLine {
    uint64_t number;
    uint64_t length;
};
OverLongLine MeasureOverLongLine(FILE* stream, const TextLine* text, bool join);

// True when a read that returned no line stopped on an error rather than at
// the end of the file (a wrapper that fails a read may set neither flag).
bool TextStreamFailed(FILE* stream);

// Bytes of the physical line at the start of bytes (length of them) when
// the reader would return it whole, exactly as it stands: it ends at its
// line feed inside the bytes, is shorter than the line buffer and, with
// joining on, does not go on in the next line. 0 otherwise; *unfinished
// then tells that more bytes could make it such a line.
size_t WholePlainLineAt(const char* bytes, size_t length, bool join, bool* unfinished);

// True when raw ends in a line feed.
bool TextLineEndsWithNewline(const TextLine* text);

// True when raw is only the first part of a logical line too long for the
// buffer (see TextLine::cut). Updates refuse such lines, since writing a
// piece as a line of its own would split the line, and lookups refuse
// them, since a piece parsed as a line could be taken for a record.
bool TextLineIsPiece(const TextLine* text);

// Normalises text in place: tabs, carriage returns and line feeds become
// spaces, leading and trailing spaces go, and runs of spaces outside double
// quotes shrink to one (a quote never closed quotes the rest).
// GENREG_RC_NULL_ARGUMENT, GENREG_RC_GROW_ALLOC_FAILED (text unchanged) or
// GENREG_RC_GROW_FREE_FAILED (text normalised).
//
// Inside a LineNormalizerScope a text shorter than the scope's buffer is
// normalised in that buffer; when the scope could not allocate it, the
// result is GENREG_RC_GROW_ALLOC_FAILED (text unchanged) for every such
// text, and the failure was logged once, when the scope began. Outside a
// scope each call allocates and frees its own buffer.
unsigned NormalizeLine(char* text);

// The normaliser's work buffer, taken once for a whole operation (every
// line of a lookup, or of an update's copy and verification passes)
// instead of once per line. Scopes nest; each belongs to the thread that
// began it, and ends on it in the reverse order.
struct LineNormalizerScope {
    char* work;                  // kLineNormalizerWorkSize bytes, or null
    LineNormalizerScope* outer;  // the scope this one interrupts
};
const size_t kLineNormalizerWorkSize = GENREG_LINE_MAX;
// Allocates the buffer (a failure is logged as GENREG_RC_GROW_ALLOC_FAILED
// and leaves the scope without one) and makes the scope the thread's
// current one. Always pair with EndLineNormalizer.
void BeginLineNormalizer(LineNormalizerScope* scope);
// Frees the buffer (a failure is logged as GENREG_RC_GROW_FREE_FAILED; the
// normalised texts stand) and gives the thread its outer scope back.
void EndLineNormalizer(LineNormalizerScope* scope);

// Replaces every character that is neither a tab nor in 0x20..0x7E by '.'.
// A null text is ignored.
void MakePrintable(char* text);

// Splits the next word off *cursor: skips spaces and tabs, sets *token to
// the word and terminates it, and advances *cursor behind the separator
// (null when the text ended). GENREG_RC_END_OF_INPUT, with *token null and
// *cursor unchanged, when no word is left.
unsigned NextToken(char** token, char** cursor);

// Copies at most GENREG_LINE_MAX - 1 characters of line into out (a
// buffer of GENREG_LINE_MAX), terminates it and cuts it at its line end
// (CutAtLineEnd): the text a schema parses a line from.
void CopyLineText(char* out, const char* line);

// Cuts text at its first line feed, and drops a carriage return just before
// it (the end of a CRLF line read from a file on a platform that does not
// translate line ends). Returns true when a line feed was found.
bool CutAtLineEnd(char* text);

#endif
