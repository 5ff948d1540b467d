// The lines a schema's own test rules out, found in a block of bytes read
// from a text file (see TextLinesRuledOut in text_store.h).
#include <cstring>

#include "genreg/text_store.h"
#include "genreg/textline.h"

size_t TextLinesRuledOut(const TextLineShortcuts* shortcuts, uint64_t selector, const void* key,
                         bool join, char* block, size_t length, bool* unfinished) {
    size_t passed = 0;
    *unfinished = false;
    while (passed < length) {
        char* start = block + passed;
        const size_t size = WholePlainLineAt(start, length - passed, join, unfinished);
        if (size == 0) break;
        // The reader's text of a line with a NUL byte ends at it, and a
        // backslash in front of it would be dropped.
        if (std::memchr(start, '\0', size) != nullptr) break;
        const char* text = start;
        if (size >= sizeof kByteOrderMark &&
            std::memcmp(start, kByteOrderMark, sizeof kByteOrderMark) == 0)
            text += sizeof kByteOrderMark;
        // The schema's test reads a terminated line: the byte behind it is
        // lent for the terminator.
        const char behind = start[size];
        start[size] = '\0';
        const bool ruledOut = shortcuts->mismatch(selector, text, key);
        start[size] = behind;
        if (!ruledOut) break;
        passed += size;
    }
    return passed;
}
