// The level query of the installation library: the built-in running level
// and its environment overrides.
#include "platform/inst.h"

#include <genreg/rc.h>

#include <cstdlib>
#include <cstring>

#include "genreg/trace.h"
#include "platform/oss.h"

namespace {

enum : uint32_t { FID_GET_LEVEL_INFO = GENREG_FID(0x0230) };

// An unsigned decimal number, digits only, that fits 64 bits.
bool parseLevel(const char* text, uint64_t* value) {
    if (text[0] == '\0') return false;
    uint64_t result = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        const uint64_t digit = (uint64_t)(*p - '0');
        if (result > (UINT64_MAX - digit) / 10) return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

}  // namespace

unsigned instGetLevelInfo(uint32_t structVersion, InstLevelInfo* info) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_LEVEL_INFO, &rc);
    if (info == nullptr || structVersion != INST_LEVEL_INFO_VERSION) {
        rc = GENREG_RC_BAD_ARGUMENT;
        ossLog(FID_GET_LEVEL_INFO, 1, rc, OSS_SEVERITY_ERROR, "version=0x%x info=%s",
               (unsigned)structVersion, info ? "set" : "null");
        return rc;
    }
    std::memset(info, 0, sizeof *info);
    info->version = INST_LEVEL_INFO_VERSION;
    std::memcpy(info->product, "QVR", 4);

    const char* text = std::getenv("GENREG_LEVEL_VERSION");
    if (text == nullptr) text = INST_BUILT_IN_VERSION;
    if (std::strlen(text) >= sizeof info->versionText) {
        rc = GENREG_RC_LEVEL_QUERY_FAILED;
        ossLog(FID_GET_LEVEL_INFO, 2, rc, OSS_SEVERITY_ERROR, "GENREG_LEVEL_VERSION length=%zu",
               std::strlen(text));
        return rc;
    }
    std::memcpy(info->versionText, text, std::strlen(text) + 1);

    const char* number = std::getenv("GENREG_LEVEL_NUMBER");
    uint64_t level = INST_BUILT_IN_LEVEL;
    if (number != nullptr && !parseLevel(number, &level)) {
        rc = GENREG_RC_LEVEL_QUERY_FAILED;
        ossLog(FID_GET_LEVEL_INFO, 3, rc, OSS_SEVERITY_ERROR, "GENREG_LEVEL_NUMBER=%s", number);
        std::memset(info->versionText, 0, sizeof info->versionText);
        return rc;
    }
    info->levelNumber = level;
    return rc;
}
