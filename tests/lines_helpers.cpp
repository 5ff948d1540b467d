// The in-place helpers the text schemas parse lines with.
#include <gtest/gtest.h>
#include <genreg/rc.h>

#include <string>
#include <vector>

#include "genreg/textline.h"
#include "platform/fault.h"
#include "platform/oss.h"

namespace {

std::string normalized(const std::string& text, unsigned* rc = nullptr) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    unsigned result = NormalizeLine(buffer.data());
    if (rc) *rc = result;
    return buffer.data();
}

TEST(LinesNormalize, ShrinksSpacingOutsideQuotesOnly) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"\tname  =   \"a   b\"   # x", "name = \"a   b\" # x"},
        {"name=value", "name=value"},
        {"  \t \r\n", ""},
        {"", ""},
        {"a\t\tb\r\n", "a b"},
        {"x = \"tab\tinside\"", "x = \"tab inside\""},  // tabs become spaces, even in quotes
        {"x = \"never closed   ", "x = \"never closed"},
        {"x = \"open  quote  rest", "x = \"open  quote  rest"},
        {"\"a  b\"  \"c  d\"", "\"a  b\" \"c  d\""},
        {"trailing   ", "trailing"},
    };
    for (const auto& c : cases) {
        unsigned rc = 1;
        EXPECT_EQ(c.out, normalized(c.in, &rc)) << c.in;
        EXPECT_EQ(0u, rc) << c.in;
    }
}

TEST(LinesNormalize, NullTextIsRefused) {
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, NormalizeLine(nullptr));
}

#ifdef GENREG_FAULT_INJECTION
TEST(LinesNormalize, AllocationFailureLeavesTheTextUnchanged) {
    ossFaultReset();
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    unsigned rc = 0;
    EXPECT_EQ("  a   b  ", normalized("  a   b  ", &rc));
    ossFaultDisarm();
    EXPECT_EQ(GENREG_RC_GROW_ALLOC_FAILED, rc);
}
#endif

TEST(LinesPrintable, ReplacesControlAndHighBytesButKeepsTabs) {
    char text[] = "a\tb\x01\x7f\x80~ \xff";
    MakePrintable(text);
    EXPECT_STREQ("a\tb...~ .", text);
    MakePrintable(nullptr);  // ignored
}

std::vector<std::string> tokens(const std::string& text, unsigned* lastRc) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    std::vector<std::string> words;
    char* cursor = buffer.data();
    char* token = nullptr;
    for (int guard = 0; guard < 100; ++guard) {
        *lastRc = NextToken(&token, &cursor);
        if (*lastRc != 0) {
            EXPECT_EQ(nullptr, token);
            break;
        }
        words.push_back(token);
    }
    return words;
}

TEST(LinesTokens, SplitsOnSpacesAndTabsUntilEndOfInput) {
    struct {
        const char* text;
        std::vector<std::string> words;
    } cases[] = {
        {"  a\tb ", {"a", "b"}},        {"one", {"one"}}, {"", {}}, {" \t ", {}},
        {"x  y\t\tz", {"x", "y", "z"}},
    };
    for (const auto& c : cases) {
        unsigned rc = 0;
        EXPECT_EQ(c.words, tokens(c.text, &rc)) << c.text;
        EXPECT_EQ(GENREG_RC_END_OF_INPUT, rc) << c.text;
    }
}

TEST(LinesTokens, EndOfInputLeavesTheCursorWhereItWas) {
    char text[] = "   ";
    char* cursor = text;
    char* token = text;
    EXPECT_EQ(GENREG_RC_END_OF_INPUT, NextToken(&token, &cursor));
    EXPECT_EQ(text, cursor);
    EXPECT_EQ(nullptr, token);
    cursor = nullptr;
    token = text;
    EXPECT_EQ(GENREG_RC_END_OF_INPUT, NextToken(&token, &cursor));
    EXPECT_EQ(nullptr, token);
    EXPECT_EQ(GENREG_RC_END_OF_INPUT, NextToken(&token, nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, NextToken(nullptr, &cursor));
}

TEST(LinesCopyText, CutsAtTheLineEndAndBoundsTheCopy) {
    char out[GENREG_LINE_MAX];
    CopyLineText(out, "abc\r\ndef");
    EXPECT_STREQ("abc", out);
    CopyLineText(out, "abc\rdef\n");
    EXPECT_STREQ("abc\rdef", out);  // only a CR just before the LF is a line end
    std::string huge(GENREG_LINE_MAX * 2, 'h');
    CopyLineText(out, huge.c_str());
    EXPECT_EQ((size_t)GENREG_LINE_MAX - 1, std::string(out).size());
}

}  // namespace
