// Text helpers shared by the registry backends: UTF-8 and UTF-16
// conversion, and the registry's case rules for key and value names
// (ASCII letters compare without case, every other byte as it is).
#ifndef GENREG_PLATFORM_REGISTRY_TEXT_H
#define GENREG_PLATFORM_REGISTRY_TEXT_H

#include <cstddef>
#include <string>

// Appends the UTF-8 form of n UTF-16 code units. False for an unpaired
// surrogate (out then holds what was converted before it).
bool ossRegUtf16ToUtf8(const char16_t* text, size_t n, std::string* out);

// Appends the UTF-16 form of n bytes of UTF-8. False for bytes that are no
// UTF-8 (overlong forms, surrogates and values above U+10FFFF included).
bool ossRegUtf8ToUtf16(const char* text, size_t n, std::u16string* out);

// Orders names as the registry enumerates them: by their upper-cased bytes.
// Negative, zero or positive like strcmp.
int ossRegCompareNames(const std::string& a, const std::string& b);

#endif
