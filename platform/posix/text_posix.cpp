// Text conversions for the cluster registry on POSIX, where the "ANSI code
// page" is UTF-8.
#include <cstring>
#include <string>

#include "genreg/trace.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"
#include "platform/registry_text.h"

uint32_t ossAnsiToUtf16(const char* text, char16_t* out, size_t outChars) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_ANSI_TO_UTF16, &rc);
    if (!out || outChars == 0) return rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    out[0] = 0;
    std::u16string wide;
    if (!text || !ossRegUtf8ToUtf16(text, std::strlen(text), &wide))
        return rc = OSS_WINERR_NO_UNICODE_TRANSLATION;
    if (wide.size() + 1 > outChars) return rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return rc;
}

uint32_t ossUtf16ToAnsi(const char16_t* text, size_t textChars, char* out, size_t outBytes) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_UTF16_TO_ANSI, &rc);
    if (!out || outBytes == 0) return rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    out[0] = '\0';
    if (!text) return rc = OSS_WINERR_NO_UNICODE_TRANSLATION;
    size_t n = 0;
    while (n < textChars && text[n])
        ++n;
    std::string narrow;
    if (!ossRegUtf16ToUtf8(text, n, &narrow)) return rc = OSS_WINERR_NO_UNICODE_TRANSLATION;
    if (narrow.size() + 1 > outBytes) return rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    return rc;
}
