// Text conversions for the cluster registry on POSIX, where the "ANSI code
// page" is UTF-8.
#include <cstring>

#include "genreg/trace.h"
#include "platform/registry.h"
#include "platform/registry_internal.h"
#include "platform/registry_text.h"

uint32_t ossAnsiToUtf16(const char* text, char16_t* out, size_t outChars) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_ANSI_TO_UTF16, &rc);
    if (!out || outChars == 0) return rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    out[0] = 0;
    if (!text) return rc = OSS_WINERR_NO_UNICODE_TRANSLATION;
    OSSRegBuffer wide = {nullptr, 0, 0};
    rc = ossRegUtf8ToUtf16(text, std::strlen(text), &wide);
    size_t units = wide.size / sizeof(char16_t);
    if (!rc && units + 1 > outChars) rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    if (!rc) {
        if (units) std::memcpy(out, wide.data, wide.size);
        out[units] = 0;
    }
    ossRegBufferFree(&wide);
    return rc;
}

uint32_t ossUtf16ToAnsi(const char16_t* text, size_t textChars, char* out, size_t outBytes) {
    uint32_t rc = 0;
    GENREG_TRACE(OSS_FID_UTF16_TO_ANSI, &rc);
    if (!out || outBytes == 0) return rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    out[0] = '\0';
    if (!text) return rc = OSS_WINERR_NO_UNICODE_TRANSLATION;
    // The text ends at its terminator or at textChars, whichever is first.
    size_t n = 0;
    while (n < textChars && text[n])
        ++n;
    OSSRegBuffer narrow = {nullptr, 0, 0};
    rc = ossRegUtf16ToUtf8(text, n, &narrow);
    if (!rc && narrow.size + 1 > outBytes) rc = OSS_WINERR_INSUFFICIENT_BUFFER;
    if (!rc) {
        if (narrow.size) std::memcpy(out, narrow.data, narrow.size);
        out[narrow.size] = '\0';
    }
    ossRegBufferFree(&narrow);
    return rc;
}
