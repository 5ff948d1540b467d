// The in-place helpers the text schemas parse lines with.
#include <gtest/gtest.h>
#include <genreg/rc.h>

#include <string>
#include <vector>

#include "genreg/textline.h"
#include "platform/fault.h"
#include "platform/oss.h"
#include "store_invariants.h"

namespace {

std::string normalized(const std::string& text, unsigned* rc = nullptr) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    unsigned result = NormalizeLine(buffer.data());
    if (rc) *rc = result;
    return buffer.data();
}

struct NormalizeCase {
    const char* in;
    const char* out;
};
const NormalizeCase kNormalizeCases[] = {
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
    {"a b = \"c d\" # e", "a b = \"c d\" # e"},  // already normal
    {"x=\"y", "x=\"y"},
    {"x = \"a \"", "x = \"a \""},
    {"x = \"a  b", "x = \"a  b"},
};

TEST(LinesNormalize, ShrinksSpacingOutsideQuotesOnly) {
    for (const auto& c : kNormalizeCases) {
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

#ifdef GENREG_FAULT_INJECTION
// One buffer for every line of an operation: the texts come out as before,
// no line allocates, and a buffer that could not be had leaves every text
// of the scope as it stands, logged once.
TEST(LinesNormalize, ScopeNormalisesEveryTextInOneBuffer) {
    LineNormalizerScope scope;
    ossFaultReset();
    BeginLineNormalizer(&scope);
    const uint64_t allocations = ossFaultCalls(OSS_FAULT_ALLOC);
    unsigned rc = 1;
    for (const auto& c : kNormalizeCases) {
        EXPECT_EQ(c.out, normalized(c.in, &rc)) << c.in;
        EXPECT_EQ(0u, rc) << c.in;
    }
    // The longest text a line buffer holds, GENREG_LINE_MAX - 1 characters.
    EXPECT_EQ(std::string(GENREG_LINE_MAX - 3, 'x'),
              normalized(" " + std::string(GENREG_LINE_MAX - 3, 'x') + " ", &rc));
    EXPECT_EQ(allocations, ossFaultCalls(OSS_FAULT_ALLOC));
    // Longer than the scope's buffer: its own, as outside a scope.
    EXPECT_EQ(std::string(GENREG_LINE_MAX, 'y'), normalized(std::string(GENREG_LINE_MAX, 'y')));
    EXPECT_EQ(allocations + 1, ossFaultCalls(OSS_FAULT_ALLOC));
    EndLineNormalizer(&scope);
    ossFaultDisarm();
}

TEST(LinesNormalize, ScopeWithoutItsBufferLeavesEveryTextAndLogsOnce) {
    store_test::ResourceBalance balance;
    store_test::LogCapture log;
    LineNormalizerScope outer, inner;
    BeginLineNormalizer(&outer);
    ossFaultReset();
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    BeginLineNormalizer(&inner);
    ossFaultDisarm();
    EXPECT_EQ(1u, log.Count(GENREG_RC_GROW_ALLOC_FAILED));
    for (const char* text : {"  a   b  ", "\tx\t=\t1"}) {
        unsigned rc = 0;
        EXPECT_EQ(text, normalized(text, &rc));
        EXPECT_EQ(GENREG_RC_GROW_ALLOC_FAILED, rc);
    }
    EXPECT_EQ(1u, log.Count(GENREG_RC_GROW_ALLOC_FAILED));
    EndLineNormalizer(&inner);
    // The outer scope has its buffer again.
    unsigned rc = 1;
    EXPECT_EQ("a b", normalized("  a   b  ", &rc));
    EXPECT_EQ(0u, rc);
    EndLineNormalizer(&outer);
    EXPECT_TRUE(balance.Unchanged());
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
