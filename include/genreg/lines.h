// Logical text lines with continuations.
#ifndef GENREG_LINES_H
#define GENREG_LINES_H

#include <cstdint>
#include <cstdio>
#include <genreg/export.h>

// Process-wide: when true, a profile line formatted without a template has
// no spaces around "=". Every successful GenRegVarVal construction resets it
// to false. Not guarded: set it from one thread.
GENREG_API extern bool bCompactFormattedLine;

// Reads one logical line from stream. raw receives its physical lines
// exactly as read; line the processed text, with each backslash-newline
// continuation removed when join is true. Both buffers hold size
// characters. A logical line keeps its final newline. Returns raw, or null
// at end of input or on bad arguments; *rc (when rc is not null) receives
// 0, GENREG_RC_END_OF_INPUT or GENREG_RC_BAD_ARGUMENT. A read error looks
// like end of input: check ferror(stream).
GENREG_API char* GenRegReadLine(char* raw, char* line, uint64_t size, FILE* stream, unsigned* rc,
                                bool join);

// Writes text to stream, inserting a backslash and a newline so that no
// physical line is longer than width characters (the first holds width - 1
// characters of text, every later one width - 2). Adds no final newline.
// A text of any length is written whole. GENREG_RC_BAD_ARGUMENT for a null
// text or stream, or a width below 3 (nothing written); GENREG_RC_APPEND_FAILED
// when the stream refused the output.
GENREG_API unsigned GenRegWriteLine(const char* text, uint64_t width, FILE* stream);

// Marks the module as one of the product's libraries; always 0.
extern "C" GENREG_API const int32_t qvrThisIsAQVRLibrary;

#endif
