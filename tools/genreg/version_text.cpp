// Version codes on the command line.
#include "version_text.h"

#include <genreg/rc.h>
#include <genreg/version.h>

#include <cinttypes>
#include <cstdio>

#include "args.h"

unsigned parseVersionArgument(const std::string& text, uint64_t* code) {
    if (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0)
        return parseUint64(text.c_str(), code) ? 0u : unsigned{GENREG_RC_VERSION_SYNTAX};
    bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (digitsOnly) {
        uint32_t number = 0;
        if (!parseUint32(text.c_str(), &number)) return GENREG_RC_VERSION_SYNTAX;
        *code = ossVersionCodeQVRToService(number);
        return 0;
    }
    return ossVersionStringToCode(text.c_str(), code);
}

std::string versionText(uint64_t code) {
    char text[32] = "";
    if (ossVersionCodeToString(code, text, sizeof text) != 0) return versionCodeHex(code);
    return text;
}

std::string versionCodeHex(uint64_t code) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, code);
    return text;
}
