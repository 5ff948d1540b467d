// Byte buffers, UTF-8/UTF-16 conversion and name ordering for the registry
// backends.
#include "platform/registry_text.h"

#include <cstdlib>
#include <cstring>

#include "platform/registry.h"

namespace {

unsigned char upperAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? (unsigned char)(c - 'a' + 'A') : c;
}

bool appendUtf8(uint32_t cp, OSSRegBuffer* out) {
    char bytes[4];
    size_t n;
    if (cp < 0x80) {
        bytes[0] = (char)cp;
        n = 1;
    } else if (cp < 0x800) {
        bytes[0] = (char)(0xC0 | (cp >> 6));
        bytes[1] = (char)(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        bytes[0] = (char)(0xE0 | (cp >> 12));
        bytes[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = (char)(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        bytes[0] = (char)(0xF0 | (cp >> 18));
        bytes[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = (char)(0x80 | (cp & 0x3F));
        n = 4;
    }
    return ossRegBufferAppend(out, bytes, n);
}

bool appendUnit(char16_t unit, OSSRegBuffer* out) {
    return ossRegBufferAppend(out, &unit, sizeof unit);
}

}  // namespace

bool ossRegBufferAppend(OSSRegBuffer* buffer, const void* bytes, size_t n) {
    if (n > buffer->capacity - buffer->size) {
        size_t capacity = buffer->capacity ? buffer->capacity : 64;
        while (capacity - buffer->size < n) {
            if (capacity > (size_t)-1 / 2) return false;
            capacity *= 2;
        }
        char* grown = (char*)std::realloc(buffer->data, capacity);
        if (!grown) return false;
        buffer->data = grown;
        buffer->capacity = capacity;
    }
    if (n) std::memcpy(buffer->data + buffer->size, bytes, n);
    buffer->size += n;
    return true;
}

bool ossRegBufferPush(OSSRegBuffer* buffer, char c) {
    return ossRegBufferAppend(buffer, &c, 1);
}

void ossRegBufferFree(OSSRegBuffer* buffer) {
    std::free(buffer->data);
    buffer->data = nullptr;
    buffer->size = 0;
    buffer->capacity = 0;
}

uint32_t ossRegUtf16ToUtf8(const char16_t* text, size_t n, OSSRegBuffer* out) {
    for (size_t i = 0; i < n; ++i) {
        uint32_t unit = text[i];
        uint32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return OSS_WINERR_NO_UNICODE_TRANSLATION;
            cp = 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00u);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return OSS_WINERR_NO_UNICODE_TRANSLATION;
        }
        if (!appendUtf8(cp, out)) return OSS_WINERR_OUTOFMEMORY;
    }
    return 0;
}

uint32_t ossRegUtf8ToUtf16(const char* text, size_t n, OSSRegBuffer* out) {
    const unsigned char* s = (const unsigned char*)text;
    size_t i = 0;
    while (i < n) {
        uint32_t c = s[i];
        size_t extra;
        uint32_t cp, least;
        if (c < 0x80) {
            extra = 0, cp = c, least = 0;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, least = 0x10000;
        } else {
            return OSS_WINERR_NO_UNICODE_TRANSLATION;
        }
        if (n - i - 1 < extra) return OSS_WINERR_NO_UNICODE_TRANSLATION;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return OSS_WINERR_NO_UNICODE_TRANSLATION;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return OSS_WINERR_NO_UNICODE_TRANSLATION;
        bool ok;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            ok = appendUnit((char16_t)(0xD800 + (cp >> 10)), out) &&
                 appendUnit((char16_t)(0xDC00 + (cp & 0x3FF)), out);
        } else {
            ok = appendUnit((char16_t)cp, out);
        }
        if (!ok) return OSS_WINERR_OUTOFMEMORY;
        i += extra + 1;
    }
    return 0;
}

int ossRegCompareNames(const char* a, size_t aLength, const char* b, size_t bLength) {
    size_t n = aLength < bLength ? aLength : bLength;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = upperAscii((unsigned char)a[i]);
        unsigned char y = upperAscii((unsigned char)b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (aLength == bLength) return 0;
    return aLength < bLength ? -1 : 1;
}
