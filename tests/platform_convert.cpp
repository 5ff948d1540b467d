// Number and boolean conversion, error mapping and memory blocks.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

#include "platform/oss.h"

TEST(PlatformConvert, BooleanWords) {
    struct Case {
        const char* text;
        unsigned rc;
        bool value;
    };
    const Case cases[] = {
        {"true", 0, true},
        {"TRUE", 0, true},
        {"False", 0, false},
        {"yes", 0, true},
        {"NO", 0, false},
        {"On", 0, true},
        {"off", 0, false},
        {"1", 0, true},
        {"0", 0, false},
        {" yes\t", 0, true},
        {"", OSS_RC_BAD_ARGUMENT, false},
        {"y", OSS_RC_BAD_ARGUMENT, false},
        {"truex", OSS_RC_BAD_ARGUMENT, false},
        {"2", OSS_RC_BAD_ARGUMENT, false},
        {"o n", OSS_RC_BAD_ARGUMENT, false},
    };
    for (const Case& c : cases) {
        bool value = !c.value;
        EXPECT_EQ(c.rc, ossStrToBoolean(c.text, &value)) << '"' << c.text << '"';
        EXPECT_EQ(c.value, value) << '"' << c.text << '"';
    }
    bool value = true;
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, ossStrToBoolean(nullptr, &value));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, ossStrToBoolean("true", nullptr));
}

TEST(PlatformConvert, IntegersUseTheFullSixtyFourBits) {
    struct Case {
        const char* text;
        int64_t value;
        size_t used;
    };
    const Case signedCases[] = {
        {"42", 42, 2},
        {"-9223372036854775808", INT64_MIN, 20},
        {"9223372036854775807x", INT64_MAX, 19},
        {"  -17 rest", -17, 5},
        {"abc", 0, 0},
    };
    for (const Case& c : signedCases) {
        char* end = nullptr;
        EXPECT_EQ(c.value, ossStrToSint64(c.text, &end, 10)) << c.text;
        EXPECT_EQ(c.used, (size_t)(end - c.text)) << c.text;
    }
    char* end = nullptr;
    EXPECT_EQ(UINT64_MAX, ossStrToUint64("18446744073709551615", &end, 10));
    EXPECT_EQ('\0', *end);
    errno = 0;
    EXPECT_EQ(UINT64_MAX, ossStrToUint64("18446744073709551616", &end, 10));
    EXPECT_EQ(ERANGE, errno);
    EXPECT_EQ(0, ossStrToSint64(nullptr, &end, 10));
    EXPECT_EQ(nullptr, end);
}

TEST(PlatformConvert, SystemErrorsMapToTheServicesCodes) {
    struct Case {
        uint32_t category;
        uint32_t error;
        unsigned rc;
    };
    const Case cases[] = {
        {0, ENOENT, OSS_RC_FILE_NOT_FOUND},
        {0, EACCES, OSS_RC_ACCESS_DENIED},
        {0, EPERM, OSS_RC_ACCESS_DENIED},
        {0, ENOSPC, OSS_RC_DISK_FULL},
        {0, EEXIST, OSS_RC_ALREADY_EXISTS},
        {0, 0, OSS_RC_FAILED},
        {0, EIO, OSS_RC_FAILED},
        {1, 2, OSS_RC_FILE_NOT_FOUND},
        {1, 3, OSS_RC_FILE_NOT_FOUND},
        {1, 5, OSS_RC_ACCESS_DENIED},
        {1, 32, OSS_RC_ACCESS_DENIED},
        {1, 33, OSS_RC_LOCK_NOT_AVAILABLE},
        {1, 112, OSS_RC_DISK_FULL},
        {1, 31, OSS_RC_FAILED},
        {7, ENOENT, OSS_RC_FAILED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.rc, ossErrorMapSystem(0x082A0001, 1, c.category, c.error, 0))
            << "category " << c.category << " error " << c.error;
    }
}

TEST(PlatformMemory, BlocksAreAllocatedAndFreedOnce) {
    void* block = nullptr;
    ASSERT_EQ(0u, ossMemAlloc(&block, 100, "test"));
    ASSERT_NE(nullptr, block);
    static_cast<char*>(block)[99] = 'x';
    EXPECT_EQ(0u, ossMemFree(&block, "test"));
    EXPECT_EQ(nullptr, block);
    EXPECT_EQ(0u, ossMemFree(&block, "test")) << "freeing null is harmless";
    ASSERT_EQ(0u, ossMemAlloc(&block, 0, "test"));
    EXPECT_NE(nullptr, block);
    EXPECT_EQ(0u, ossMemFree(&block, "test"));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, _ossMemAlloc(nullptr, 1, "test", __LINE__));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, _ossMemFree(nullptr, "test", __LINE__));
    EXPECT_FALSE(g_bIsPlatformID_Win32On95);
}
