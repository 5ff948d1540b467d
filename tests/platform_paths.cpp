// Path helpers: table-driven, with the cases of each platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/oss.h"

namespace {

struct PathCase {
    const char* path;
    const char* directory;
    const char* base;
};

// Cases written with '/'; on Windows they are checked again with '\\'.
const PathCase kPortableCases[] = {
    {"a/b/c", "a/b", "c"},   {"a/b/c/", "a/b", "c"},
    {"a/b//c", "a/b", "c"},  {"a//b/c//", "a//b", "c"},
    {"name", ".", "name"},   {"name/", ".", "name"},
    {"", ".", "."},          {"./x", ".", "x"},
    {"../x/y", "../x", "y"}, {"a/.hidden", "a", ".hidden"},
};

const PathCase kPosixCases[] = {
    {"/", "/", "/"},
    {"//", "/", "/"},
    {"/a", "/", "a"},
    {"/a/", "/", "a"},
    {"/tmp/dir/global.reg", "/tmp/dir", "global.reg"},
    {"a\\b", ".", "a\\b"},  // a backslash is an ordinary character here
};

const PathCase kWindowsCases[] = {
    {"C:\\", "C:\\", "C:\\"},
    {"C:\\a", "C:\\", "a"},
    {"C:\\dir\\global.reg", "C:\\dir", "global.reg"},
    {"C:/dir/x", "C:/dir", "x"},
    {"C:x", "C:", "x"},
    {"C:", "C:", "C:"},
    {"a\\b/c", "a\\b", "c"},
    {"\\\\server\\share\\dir\\f", "\\\\server\\share\\dir", "f"},
    {"\\\\server\\share\\f", "\\\\server\\share\\", "f"},
    {"\\dir\\f", "\\dir", "f"},
};

std::string withBackslashes(const char* path) {
    std::string text = path;
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

void checkCase(const std::string& path, const std::string& directory, const std::string& base) {
    char out[260];
    EXPECT_EQ(0u, ossDirectoryName(path.c_str(), out, sizeof out)) << path;
    EXPECT_EQ(directory, out) << "directory of \"" << path << "\"";
    EXPECT_EQ(0u, ossBaseName(path.c_str(), out, sizeof out)) << path;
    EXPECT_EQ(base, out) << "base of \"" << path << "\"";
}

bool onWindows() {
    return ossPathSeparator() == '\\';
}

}  // namespace

TEST(PlatformPaths, PortableCases) {
    for (const PathCase& c : kPortableCases) {
        checkCase(c.path, c.directory, c.base);
        if (onWindows())
            checkCase(withBackslashes(c.path), withBackslashes(c.directory),
                      withBackslashes(c.base));
    }
}

TEST(PlatformPaths, PlatformCases) {
    if (onWindows()) {
        for (const PathCase& c : kWindowsCases)
            checkCase(c.path, c.directory, c.base);
    } else {
        for (const PathCase& c : kPosixCases)
            checkCase(c.path, c.directory, c.base);
    }
}

TEST(PlatformPaths, ResultThatDoesNotFitIsRefusedNotCut) {
    char out[4];
    EXPECT_EQ(OSS_RC_BUFFER_TOO_SMALL, ossDirectoryName("abcd/e", out, sizeof out));
    EXPECT_STREQ("", out);
    EXPECT_EQ(OSS_RC_BUFFER_TOO_SMALL, ossBaseName("x/abcd", out, sizeof out));
    EXPECT_STREQ("", out);
    EXPECT_EQ(0u, ossBaseName("x/abc", out, sizeof out));
    EXPECT_STREQ("abc", out);
}

TEST(PlatformPaths, NullArgumentsAreRefused) {
    char out[16];
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, ossDirectoryName(nullptr, out, sizeof out));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, ossBaseName("a", nullptr, sizeof out));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, ossBaseName("a", out, 0));
}
