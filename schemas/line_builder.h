// A line formatted piece by piece into a fixed buffer, for the text
// schemas' PackRecord callbacks. Appending past the limit sets a flag
// instead of writing, so a formatter checks once at the end.
#ifndef GENREG_SCHEMAS_LINE_BUILDER_H
#define GENREG_SCHEMAS_LINE_BUILDER_H

#include <cstddef>
#include <cstring>
#include <genreg/handle.h>

struct LineBuilder {
    // Characters of text a formatted line may have before its line feed:
    // text, line feed and terminator fill GENREG_LINE_MAX at the most.
    static const size_t kLimit = GENREG_LINE_MAX - 2;

    char text[GENREG_LINE_MAX] = {};
    size_t length = 0;
    bool tooLong = false;

    void append(const char* piece, size_t count) {
        if (tooLong || count > kLimit - length) {
            tooLong = true;
            return;
        }
        std::memcpy(text + length, piece, count);
        length += count;
        text[length] = '\0';
    }
    void append(const char* piece) { append(piece, std::strlen(piece)); }
    // Copies the run of spaces and tabs at *cursor and moves past it.
    void appendBlanks(const char** cursor) {
        const char* start = *cursor;
        while (**cursor == ' ' || **cursor == '\t')
            ++*cursor;
        append(start, (size_t)(*cursor - start));
    }
    // Ends the line with a line feed (kept out of the limit) and copies it
    // into out, a buffer of GENREG_LINE_MAX characters.
    void finishInto(char* out) {
        text[length] = '\n';
        text[length + 1] = '\0';
        std::memcpy(out, text, length + 2);
    }
};

#endif
