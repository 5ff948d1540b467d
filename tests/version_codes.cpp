// Version codes: the product version number, the version code and the
// dotted text, converted in every direction.
#include <genreg/rc.h>
#include <genreg/version.h>
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

uint64_t code(uint64_t v, uint64_t r, uint64_t m, uint64_t s) {
    return v << 48 | r << 32 | m << 16 | s;
}

// The product version number the way it is defined: the groups formatted
// as "%2d%02d%02d%02d\n" and read back by a decimal conversion, which here
// saturates at the largest signed 32-bit value.
int32_t numberByText(uint64_t versionCode) {
    char text[64];
    std::snprintf(text, sizeof text, "%2d%02d%02d%02d\n", (int)(versionCode >> 48 & 0xFFFF),
                  (int)(versionCode >> 32 & 0xFFFF), (int)(versionCode >> 16 & 0xFFFF),
                  (int)(versionCode & 0xFFFF));
    const unsigned long long value = std::strtoull(text, nullptr, 10);
    return value > 0x7FFFFFFFULL ? 0x7FFFFFFF : (int32_t)value;
}

TEST(VersionCodes, NumberToCodeExamples) {
    struct Case {
        uint32_t number;
        uint64_t expected;
    } cases[] = {
        {9070400, 0x0009000700040000ULL},
        {123456789, code(23, 45, 67, 89)},  // digits above the eighth are dropped
        {5, code(0, 0, 0, 5)},
        {0, 0},
        {10010000, code(10, 1, 0, 0)},
        {99999999, code(99, 99, 99, 99)},
        {0xFFFFFFFFu, code(94, 96, 72, 95)},  // 4294967295: its low eight digits
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ossVersionCodeQVRToService(c.number)) << c.number;
}

TEST(VersionCodes, CodeToNumberExamples) {
    struct Case {
        uint64_t versionCode;
        int32_t expected;
    } cases[] = {
        {code(9, 7, 4, 0), 9070400},
        {code(10, 1, 0, 0), 10010000},
        {code(9, 7, 400, 0), 90740000},  // a group above 99 keeps all its digits
        {code(0, 0, 0, 5), 5},
        {code(0, 7, 4, 0), 70400},
        {code(0, 0, 0, 0), 0},
        {code(2147, 48, 36, 47), 2147483647},  // the largest that fits
        {code(2147, 48, 36, 48), 0x7FFFFFFF},  // 2147483648 saturates
        {code(65535, 65535, 65535, 65535), 0x7FFFFFFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ossVersionCodeServiceToQVR(c.versionCode))
            << std::hex << c.versionCode;
}

// The arithmetic conversion gives what the text formatting gives, on codes
// with small, two-digit, long and overflowing groups.
TEST(VersionCodes, CodeToNumberMatchesTextFormattingOnSamples) {
    const uint64_t groups[] = {0, 1, 9, 10, 42, 99, 100, 101, 999, 1000, 4096, 9999, 21474, 65535};
    for (uint64_t v : groups)
        for (uint64_t r : groups)
            for (uint64_t m : groups)
                for (uint64_t s : groups) {
                    const uint64_t c = code(v, r, m, s);
                    ASSERT_EQ(numberByText(c), ossVersionCodeServiceToQVR(c)) << std::hex << c;
                }
}

// Every product version number survives the trip to a code and back.
TEST(VersionCodes, EveryProductNumberRoundTrips) {
    uint32_t mismatches = 0;
    uint32_t first = 0;
    for (uint32_t n = 0; n <= 99999999u; ++n) {
        if ((uint32_t)ossVersionCodeServiceToQVR(ossVersionCodeQVRToService(n)) != n) {
            if (mismatches++ == 0) first = n;
        }
    }
    EXPECT_EQ(0u, mismatches) << "first mismatch at " << first;
}

TEST(VersionCodes, TextToCode) {
    struct Case {
        const char* text;
        unsigned rc;
        uint64_t expected;
    } cases[] = {
        {"9.7.4.0", 0, 0x0009000700040000ULL},
        {"9", 0, code(9, 0, 0, 0)},
        {"", 0, 0},
        {"9..4", 0, code(9, 0, 4, 0)},
        {".7", 0, code(0, 7, 0, 0)},
        {"...", 0, 0},
        {"70000", 0, code(4464, 0, 0, 0)},  // only the low 16 bits remain
        {"65535.65535.65535.65535", 0, code(65535, 65535, 65535, 65535)},
        {"9.7.4.0.1", GENREG_RC_VERSION_SYNTAX, 0},
        {"9.7.4.0.", GENREG_RC_VERSION_SYNTAX, 0},
        {"9.7a", GENREG_RC_VERSION_SYNTAX, 0},
        {"-9.7", GENREG_RC_VERSION_SYNTAX, 0},
        {" 9.7", GENREG_RC_VERSION_SYNTAX, 0},
        {"9 .7", GENREG_RC_VERSION_SYNTAX, 0},
        {"+9", GENREG_RC_VERSION_SYNTAX, 0},
    };
    for (const Case& c : cases) {
        const uint64_t untouched = 0xDEADBEEFCAFEF00DULL;
        uint64_t out = untouched;
        EXPECT_EQ(c.rc, ossVersionStringToCode(c.text, &out)) << c.text;
        EXPECT_EQ(c.rc == 0 ? c.expected : untouched, out) << c.text;
    }
}

// A group of more digits than any integer holds keeps the low 16 bits of
// its decimal value: 10^23 - 1 modulo 2^16.
TEST(VersionCodes, TextGroupOfManyDigitsKeepsLowBits) {
    uint64_t low = 0;
    for (int i = 0; i < 23; ++i)
        low = (low * 10 + 9) % 65536;
    uint64_t out = 0;
    EXPECT_EQ(0u, ossVersionStringToCode("99999999999999999999999", &out));
    EXPECT_EQ(code(low, 0, 0, 0), out);
}

// Only the first 23 characters are looked at: what follows a valid prefix
// of that length, even a syntax error, is never seen.
TEST(VersionCodes, TextBeyondTwentyThreeCharactersIsIgnored) {
    const std::string prefix = "65535.65535.65535.65535";
    ASSERT_EQ(23u, prefix.size());
    uint64_t out = 0;
    EXPECT_EQ(0u, ossVersionStringToCode((prefix + ".x-garbage").c_str(), &out));
    EXPECT_EQ(code(65535, 65535, 65535, 65535), out);
    EXPECT_EQ(0u, ossVersionStringToCode("1.2.3.0000000000000000004", &out));
    EXPECT_EQ(code(1, 2, 3, 0), out);
}

TEST(VersionCodes, NullText) {
    uint64_t out = 7;
    EXPECT_EQ(GENREG_RC_VERSION_NULL_STRING, ossVersionStringToCode(nullptr, &out));
    EXPECT_EQ(7u, out);
    char buffer[32];
    EXPECT_EQ(GENREG_RC_VERSION_NULL_STRING, ossVersionCodeToString(1, nullptr, sizeof buffer));
}

TEST(VersionCodes, CodeToText) {
    struct Case {
        uint64_t versionCode;
        const char* text;
    } cases[] = {
        {0, "0.0.0.0"},
        {0x0009000700040000ULL, "9.7.4.0"},
        {code(65535, 65535, 65535, 65535), "65535.65535.65535.65535"},
        {code(10, 1, 0, 0), "10.1.0.0"},
    };
    for (const Case& c : cases) {
        char buffer[40];
        std::memset(buffer, 'x', sizeof buffer);
        ASSERT_EQ(0u, ossVersionCodeToString(c.versionCode, buffer, sizeof buffer));
        EXPECT_STREQ(c.text, buffer);
        // The rest of the buffer is cleared.
        for (size_t i = std::strlen(c.text); i < sizeof buffer; ++i)
            ASSERT_EQ(0, buffer[i]) << i;
    }
}

TEST(VersionCodes, CodeToTextBufferSizeBoundary) {
    const char text[] = "9.7.4.0";
    char buffer[sizeof text + 4];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GENREG_RC_VERSION_BUFFER_TOO_SMALL,
              ossVersionCodeToString(0x0009000700040000ULL, buffer, sizeof text - 1));
    EXPECT_EQ('x', buffer[0]);  // not touched
    EXPECT_EQ(GENREG_RC_VERSION_BUFFER_TOO_SMALL,
              ossVersionCodeToString(0x0009000700040000ULL, buffer, 0));
    ASSERT_EQ(0u, ossVersionCodeToString(0x0009000700040000ULL, buffer, sizeof text));
    EXPECT_STREQ(text, buffer);
    EXPECT_EQ('x', buffer[sizeof text]);  // nothing written past the size
}

TEST(VersionCodes, TextAndCodeRoundTrip) {
    const uint64_t codes[] = {0, 1, 0x0009000700040000ULL, code(65535, 0, 65535, 0),
                              code(1, 22, 333, 4444)};
    for (uint64_t c : codes) {
        char text[32];
        ASSERT_EQ(0u, ossVersionCodeToString(c, text, sizeof text));
        uint64_t back = 0;
        ASSERT_EQ(0u, ossVersionStringToCode(text, &back)) << text;
        EXPECT_EQ(c, back) << text;
    }
}

}  // namespace
