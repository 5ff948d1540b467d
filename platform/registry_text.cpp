// UTF-8/UTF-16 conversion and name ordering for the registry backends.
#include "platform/registry_text.h"

#include <cstdint>

namespace {

unsigned char upperAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? (unsigned char)(c - 'a' + 'A') : c;
}

void appendUtf8(uint32_t cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back((char)cp);
    } else if (cp < 0x800) {
        out->push_back((char)(0xC0 | (cp >> 6)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back((char)(0xE0 | (cp >> 12)));
        out->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    } else {
        out->push_back((char)(0xF0 | (cp >> 18)));
        out->push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool ossRegUtf16ToUtf8(const char16_t* text, size_t n, std::string* out) {
    for (size_t i = 0; i < n; ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            uint32_t low = text[++i];
            appendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        } else {
            appendUtf8(unit, out);
        }
    }
    return true;
}

bool ossRegUtf8ToUtf16(const char* text, size_t n, std::u16string* out) {
    const unsigned char* s = (const unsigned char*)text;
    size_t i = 0;
    while (i < n) {
        uint32_t c = s[i];
        size_t extra;
        uint32_t cp, least;
        if (c < 0x80) {
            out->push_back((char16_t)c);
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (n - i - 1 < extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back((char16_t)(0xD800 + (cp >> 10)));
            out->push_back((char16_t)(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back((char16_t)cp);
        }
        i += extra + 1;
    }
    return true;
}

int ossRegCompareNames(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = upperAscii((unsigned char)a[i]);
        unsigned char y = upperAscii((unsigned char)b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}
