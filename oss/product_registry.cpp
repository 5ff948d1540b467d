// Readers of a product copy's level and installation path.
#include "oss/product_registry.h"

#include <genreg/rc.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "genreg/trace.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_QUERY_TEXT = GENREG_FID(0x0110),
    FID_READ_COPY_VERSION = GENREG_FID(0x0111),
    FID_READ_INSTALL_PATH = GENREG_FID(0x0112),
};

// The level values of a CurrentVersion key, from the high group down.
const char* const kLevelValues[4] = {"Version", "Release", "Modification", "Service Level"};

// Queries a value into out (limit bytes) and terminates it: a text stored
// without its terminator is terminated when there is room, and does not
// fit (234) when it fills the whole buffer.
uint32_t queryTerminated(OSSRegKey key, const char* name, char* out, uint32_t limit,
                         uint32_t* type) {
    uint32_t size = limit;
    uint32_t rc = ossRegQueryValue(key, name, type, out, &size);
    if (!rc && size > 0 && out[size - 1] != '\0') {
        if (size < limit)
            out[size] = '\0';
        else
            rc = OSS_WINERR_MORE_DATA;
    } else if (!rc && size == 0) {
        out[0] = '\0';
    }
    if (rc) out[0] = '\0';
    return rc;
}

// One level number: a decimal text (or a DWORD, which a decimal text
// conversion would misread), cut to its low 16 bits.
uint32_t readLevelNumber(OSSRegKey key, const char* name, uint64_t* number) {
    char text[DIR_LEVEL_VALUE_LIMIT];
    uint32_t type = OSS_REG_NONE;
    uint32_t rc = queryTerminated(key, name, text, sizeof text, &type);
    if (rc) return rc;
    if (type == OSS_REG_DWORD) {
        // A DWORD is always 4 bytes: the low 16 bits are its first two.
        const unsigned char* b = (const unsigned char*)text;
        *number = (b[0] | (uint32_t)b[1] << 8) & 0xFFFF;
    } else {
        *number = (uint64_t)ossStrToSint64(text, nullptr, 10) & 0xFFFF;
    }
    return 0;
}

}  // namespace

const char* const kDirEditionNames[DIR_EDITION_COUNT] = {
    "QVR_BASIC", "QVR_STANDARD", "QVR_PLUS",    "QVR_TEAM", "QVR_SITE",   "QVR_CAMPUS",
    "QVR_LAB",   "QVR_TRIAL",    "QVR_COMPACT", "QVR_NODE", "QVR_STUDIO", "QVR_SUITE",
};

bool DirFormatKey(char* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out, DIR_KEY_PATH_SIZE, format, args);
    va_end(args);
    return n >= 0 && n < (int)DIR_KEY_PATH_SIZE;
}

uint32_t DirQueryText(OSSRegKey key, const char* name, char* out, uint32_t limit) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_QUERY_TEXT, &rc);
    return rc = queryTerminated(key, name, out, limit, nullptr);
}

uint32_t DirReadCopyVersion(const char* copyName, uint64_t* versionCode, bool view64) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_READ_COPY_VERSION, &rc);
    bool topLevel = !copyName || !*copyName;
    char path[DIR_KEY_PATH_SIZE];
    bool fits = topLevel ? DirFormatKey(path, "%s\\CurrentVersion", DIR_PRODUCT_KEY)
                         : DirFormatKey(path, "%s\\%s\\CurrentVersion", DIR_COPIES_KEY, copyName);
    OSSRegKey key = nullptr;
    rc = fits ? ossRegOpenKey(ossRegLocalMachine(), path, DirAccessMask(view64), &key)
              : OSS_WINERR_BUFFER_OVERFLOW;
    for (size_t i = 0; rc && i < DIR_EDITION_COUNT; ++i) {
        DirFormatKey(path, "%s\\%s\\CurrentVersion", DIR_PRODUCT_KEY, kDirEditionNames[i]);
        rc = ossRegOpenKey(ossRegLocalMachine(), path, DirAccessMask(view64), &key);
    }

    uint64_t groups[4] = {0, 0, 0, 0};
    if (!rc) {
        for (int i = 0; i < 4 && !rc; ++i)
            rc = readLevelNumber(key, kLevelValues[i], &groups[i]);
        ossRegCloseKey(key);
    }
    if (!rc) {
        *versionCode = groups[0] << 48 | groups[1] << 32 | groups[2] << 16 | groups[3];
        return rc;
    }
    if (topLevel) {
        uint32_t error = rc;
        rc = GENREG_RC_NOT_FOUND;
        ossLog(FID_READ_COPY_VERSION, 1, rc, OSS_SEVERITY_ERROR,
               "top-level copy level unreadable: error=%u key=%s levels read=%llu.%llu.%llu.%llu",
               error, path, (unsigned long long)groups[0], (unsigned long long)groups[1],
               (unsigned long long)groups[2], (unsigned long long)groups[3]);
    }
    return rc;
}

uint32_t DirReadInstallPath(const char* copyName, char* out, bool view64) {
    uint32_t rc = 0;
    GENREG_TRACE(FID_READ_INSTALL_PATH, &rc);
    bool topLevel = !copyName || !*copyName;
    char path[DIR_KEY_PATH_SIZE];
    bool fits = topLevel ? DirFormatKey(path, "%s", DIR_PRODUCT_KEY)
                         : DirFormatKey(path, "%s\\%s", DIR_COPIES_KEY, copyName);
    OSSRegKey key = nullptr;
    rc = fits ? ossRegOpenKey(ossRegLocalMachine(), path, DirAccessMask(view64), &key)
              : OSS_WINERR_BUFFER_OVERFLOW;
    if (rc) {
        ossLog(FID_READ_INSTALL_PATH, 1, topLevel ? GENREG_RC_NOT_FOUND : rc, OSS_SEVERITY_ERROR,
               "copy key cannot be opened: error=%u key=%s topLevel=%d", rc, fits ? path : copyName,
               (int)topLevel);
    } else {
        rc = DirQueryText(key, "QVR Path Name", out, DIR_INSTALL_PATH_LIMIT);
        size_t length = std::strlen(out);
        if (!rc && length > 0 && out[length - 1] == '\\') out[length - 1] = '\0';
        ossRegCloseKey(key);
    }
    if (rc && topLevel) rc = GENREG_RC_NOT_FOUND;
    return rc;
}
