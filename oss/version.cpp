// Conversions between the three forms of a product level: the version code
// (four 16-bit groups), its dotted text and the product version number
// whose decimal digits read VVRRMMSS. Stateless; nothing is logged.
#include <genreg/rc.h>
#include <genreg/version.h>

#include <cstdio>
#include <cstring>

#include "genreg/trace.h"

namespace {

enum : uint32_t {
    FID_QVR_TO_SERVICE = GENREG_FID(0x0100),
    FID_SERVICE_TO_QVR = GENREG_FID(0x0101),
    FID_CODE_TO_STRING = GENREG_FID(0x0102),
    FID_STRING_TO_CODE = GENREG_FID(0x0103),
};

enum : unsigned { kGroups = 4, kGroupBits = 16 };

// The group's index counts from the version (0) down to the service level (3).
uint64_t groupOf(uint64_t code, unsigned index) {
    return (code >> (kGroupBits * (kGroups - 1 - index))) & 0xFFFF;
}

uint64_t codeOf(const uint64_t groups[kGroups]) {
    uint64_t code = 0;
    for (unsigned i = 0; i < kGroups; ++i)
        code = (code << kGroupBits) | (groups[i] & 0xFFFF);
    return code;
}

// Appends a group's decimal digits, at least minDigits of them, to the
// number built so far; false once the number leaves the signed 32-bit range.
bool appendDigits(uint64_t* number, uint64_t group, unsigned minDigits) {
    const uint64_t kLimit = 0x7FFFFFFF;
    uint64_t scale = 1;
    unsigned digits = 0;
    while (digits < minDigits || scale <= group) {
        scale *= 10;
        ++digits;
    }
    if (*number > kLimit / scale) return false;
    *number = *number * scale + group;
    return *number <= kLimit;
}

}  // namespace

uint64_t ossVersionCodeQVRToService(uint32_t productNumber) {
    uint64_t code = 0;
    GENREG_TRACE(FID_QVR_TO_SERVICE, &code);
    // VVRRMMSS: digits above the eighth are dropped.
    const uint64_t groups[kGroups] = {
        productNumber / 1000000 % 100,
        productNumber / 10000 % 100,
        productNumber / 100 % 100,
        productNumber % 100,
    };
    code = codeOf(groups);
    return code;
}

int32_t ossVersionCodeServiceToQVR(uint64_t versionCode) {
    int32_t number = 0;
    GENREG_TRACE(FID_SERVICE_TO_QVR, &number);
    // The decimal concatenation of the groups: the version as it is, the
    // other three with at least two digits each (a group above 99 keeps
    // all its digits). A concatenation beyond the signed 32-bit range
    // saturates at its largest value, as a saturating decimal conversion of
    // the same digits would.
    uint64_t value = groupOf(versionCode, 0);
    bool fits = true;
    for (unsigned i = 1; i < kGroups && fits; ++i)
        fits = appendDigits(&value, groupOf(versionCode, i), 2);
    number = fits ? (int32_t)value : 0x7FFFFFFF;
    return number;
}

unsigned ossVersionCodeToString(uint64_t versionCode, char* buffer, uint64_t size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CODE_TO_STRING, &rc);
    if (buffer == nullptr) {
        rc = GENREG_RC_VERSION_NULL_STRING;
        return rc;
    }
    // The longest text, 65535.65535.65535.65535, has 23 characters.
    char text[32];
    int length = std::snprintf(text, sizeof text, "%u.%u.%u.%u", (unsigned)groupOf(versionCode, 0),
                               (unsigned)groupOf(versionCode, 1), (unsigned)groupOf(versionCode, 2),
                               (unsigned)groupOf(versionCode, 3));
    if (length < 0) {
        rc = GENREG_RC_VERSION_FORMAT_FAILED;
        return rc;
    }
    if (size < (uint64_t)length + 1) {
        rc = GENREG_RC_VERSION_BUFFER_TOO_SMALL;
        return rc;
    }
    // The text, then zeros up to the buffer's size.
    std::memcpy(buffer, text, (size_t)length);
    std::memset(buffer + length, 0, (size_t)(size - (uint64_t)length));
    return rc;
}

unsigned ossVersionStringToCode(const char* text, uint64_t* versionCode) {
    unsigned rc = 0;
    GENREG_TRACE(FID_STRING_TO_CODE, &rc);
    if (text == nullptr) {
        rc = GENREG_RC_VERSION_NULL_STRING;
        return rc;
    }
    // Only the first 23 characters are ever looked at: the longest version
    // text there is.
    const size_t kLongestText = 23;
    uint64_t groups[kGroups] = {0, 0, 0, 0};
    unsigned group = 0;
    for (size_t i = 0; i < kLongestText && text[i] != '\0'; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            // Only the low 16 bits of a group remain; keeping the running
            // value modulo 2^16 gives exactly those bits of any length of digits.
            groups[group] = (groups[group] * 10 + (uint64_t)(c - '0')) & 0xFFFF;
        } else if (c == '.' && group + 1 < kGroups) {
            ++group;
        } else {
            rc = GENREG_RC_VERSION_SYNTAX;
            return rc;
        }
    }
    *versionCode = codeOf(groups);
    return rc;
}
