// Text conversions between the ANSI code page and UTF-16 on Windows.
#include <windows.h>

#include "genreg/trace.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"

uint32_t ossAnsiToUtf16(const char* text, char16_t* out, size_t outChars) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_ANSI_TO_UTF16, &rc);
    if (!out || outChars == 0) return rc = ERROR_INSUFFICIENT_BUFFER;
    out[0] = 0;
    if (!text) return rc = ERROR_NO_UNICODE_TRANSLATION;
    int room = outChars > 0x7fffffff ? 0x7fffffff : (int)outChars;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, (wchar_t*)out, room) == 0) {
        rc = GetLastError();
        out[0] = 0;
    }
    return rc;
}

uint32_t ossUtf16ToAnsi(const char16_t* text, size_t textChars, char* out, size_t outBytes) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_UTF16_TO_ANSI, &rc);
    if (!out || outBytes == 0) return rc = ERROR_INSUFFICIENT_BUFFER;
    out[0] = '\0';
    if (!text) return rc = ERROR_NO_UNICODE_TRANSLATION;
    // Convert only up to the first terminator inside the given length: the
    // text need not be terminated at all.
    size_t n = 0;
    while (n < textChars && text[n])
        ++n;
    if (n == 0) return rc;
    if (n > 0x7fffffff || outBytes - 1 > 0x7fffffff) return rc = ERROR_INSUFFICIENT_BUFFER;
    int written = WideCharToMultiByte(CP_ACP, 0, (const wchar_t*)text, (int)n, out,
                                      (int)(outBytes - 1), nullptr, nullptr);
    if (written <= 0) {
        rc = GetLastError();
        out[0] = '\0';
        return rc;
    }
    out[written] = '\0';
    return rc;
}
