// Text helpers shared by the registry backends: a growable byte buffer,
// UTF-8 and UTF-16 conversion, and the registry's case rules for key and
// value names (ASCII letters compare without case, every other byte as it
// is). Plain C-like code: nothing here may instantiate a standard-library
// template that the shared library would end up exporting.
#ifndef GENREG_PLATFORM_REGISTRY_TEXT_H
#define GENREG_PLATFORM_REGISTRY_TEXT_H

#include <cstddef>
#include <cstdint>

// Bytes owned by the buffer (malloc); zero-initialise, free with
// ossRegBufferFree. Appends return false once memory runs out.
struct OSSRegBuffer {
    char* data;
    size_t size;
    size_t capacity;
};
bool ossRegBufferAppend(OSSRegBuffer* buffer, const void* bytes, size_t n);
bool ossRegBufferPush(OSSRegBuffer* buffer, char c);
void ossRegBufferFree(OSSRegBuffer* buffer);

// Appends the UTF-8 form of n UTF-16 code units. 0; 1113 for an unpaired
// surrogate; 14 when out of memory.
uint32_t ossRegUtf16ToUtf8(const char16_t* text, size_t n, OSSRegBuffer* out);

// Appends the UTF-16 form (char16_t units) of n bytes of UTF-8. 0; 1113
// for bytes that are no UTF-8 (overlong forms, surrogates and values above
// U+10FFFF included); 14 when out of memory.
uint32_t ossRegUtf8ToUtf16(const char* text, size_t n, OSSRegBuffer* out);

// Orders names as the registry enumerates them: by their upper-cased
// bytes. Negative, zero or positive like strcmp.
int ossRegCompareNames(const char* a, size_t aLength, const char* b, size_t bLength);

#endif
