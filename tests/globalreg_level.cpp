// The running product level, as the installation library reports it.
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "globalrec_support.h"
#include "platform/inst.h"

namespace {

using globalrec_test::ScopedEnv;

TEST(GlobalRegLevel, BuiltInLevel) {
    ScopedEnv version("GENREG_LEVEL_VERSION", nullptr);
    ScopedEnv number("GENREG_LEVEL_NUMBER", nullptr);
    InstLevelInfo info;
    ASSERT_EQ(0u, instGetLevelInfo(INST_LEVEL_INFO_VERSION, &info));
    EXPECT_STREQ(INST_BUILT_IN_VERSION, info.versionText);
    EXPECT_EQ((uint64_t)INST_BUILT_IN_LEVEL, info.levelNumber);
    // Where a reader of the raw 152-byte record finds them.
    const unsigned char* raw = (const unsigned char*)&info;
    EXPECT_EQ(0, std::memcmp(raw + 25, INST_BUILT_IN_VERSION, sizeof INST_BUILT_IN_VERSION));
    uint64_t level = 0;
    std::memcpy(&level, raw + 120, sizeof level);
    EXPECT_EQ((uint64_t)INST_BUILT_IN_LEVEL, level);
}

TEST(GlobalRegLevel, EnvironmentOverrides) {
    struct Case {
        const char* version;
        const char* number;
        unsigned rc;
        const char* expectedVersion;
        uint64_t expectedLevel;
    } cases[] = {
        {"10.5.0.1", "12", 0, "10.5.0.1", 12},
        {nullptr, "18446744073709551615", 0, INST_BUILT_IN_VERSION, 18446744073709551615ULL},
        {"11.1", nullptr, 0, "11.1", INST_BUILT_IN_LEVEL},
        {nullptr, "18446744073709551616", GENREG_RC_LEVEL_QUERY_FAILED, "", 0},
        {nullptr, "-1", GENREG_RC_LEVEL_QUERY_FAILED, "", 0},
        {nullptr, "4 ", GENREG_RC_LEVEL_QUERY_FAILED, "", 0},
        {nullptr, "0x10", GENREG_RC_LEVEL_QUERY_FAILED, "", 0},
    };
    for (const Case& c : cases) {
        ScopedEnv version("GENREG_LEVEL_VERSION", c.version);
        ScopedEnv number("GENREG_LEVEL_NUMBER", c.number);
        InstLevelInfo info;
        EXPECT_EQ(c.rc, instGetLevelInfo(INST_LEVEL_INFO_VERSION, &info)) << c.number;
        EXPECT_STREQ(c.expectedVersion, info.versionText) << c.number;
        EXPECT_EQ(c.expectedLevel, info.levelNumber) << c.number;
    }
}

TEST(GlobalRegLevel, RefusedQueries) {
    InstLevelInfo info;
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, instGetLevelInfo(0x09070000, &info));
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, instGetLevelInfo(INST_LEVEL_INFO_VERSION, nullptr));
    const std::string longest(INST_LEVEL_TEXT_MAX - 1, '9');
    {
        ScopedEnv version("GENREG_LEVEL_VERSION", longest.c_str());
        EXPECT_EQ(0u, instGetLevelInfo(INST_LEVEL_INFO_VERSION, &info));
        EXPECT_EQ(longest, info.versionText);
    }
    const std::string tooLong(INST_LEVEL_TEXT_MAX, '9');
    ScopedEnv version("GENREG_LEVEL_VERSION", tooLong.c_str());
    EXPECT_EQ(GENREG_RC_LEVEL_QUERY_FAILED, instGetLevelInfo(INST_LEVEL_INFO_VERSION, &info));
    EXPECT_STREQ("", info.versionText);
}

}  // namespace
