// The profile record's callbacks: parsing, formatting with a layout
// template, comparison and validation.
#include <gtest/gtest.h>
#include <genreg/lines.h>
#include <genreg/rc.h>
#include <genreg/varval.h>

#include <cstring>
#include <string>

#include "schemas/varval_record.h"

namespace {

std::string text(const char* p) {
    return p ? p : "(null)";
}

struct ParseCase {
    const char* line;
    unsigned rc;
    uint8_t contains;
    const char* variable;  // nullptr: expected null
    const char* value;
    const char* comment;
};

TEST(VarValParse, SplitsVariableValueAndComment) {
    const ParseCase cases[] = {
        {"name=value\n", 0, 2, "name", "value", nullptr},
        {"name = value\n", 0, 2, "name", "value", nullptr},
        {"name  =   value\n", 0, 2, "name", "value", nullptr},
        {"\tname\t=\tvalue\t\n", 0, 2, "name", "value", nullptr},
        {"x = \"a b\" tail\n", 0, 2, "x", "\"a b\"", nullptr},
        {"x = \"a   b\"\n", 0, 2, "x", "\"a   b\"", nullptr},
        {"a = b # c\n", 0, 3, "a", "b", " c"},
        {"# only a comment\n", 0, 1, nullptr, nullptr, " only a comment"},
        {"\n", 0, 0, nullptr, nullptr, nullptr},
        {"   \t  \n", 0, 0, nullptr, nullptr, nullptr},
        {"= v\n", 0, 2, "", "v", nullptr},
        {"x =\n", 0, 2, "x", "", nullptr},
        {"url = a=b\n", 0, 2, "url", "a=b", nullptr},
        {"x = \"quoted # not a comment\"\n", 1 /* see below */, 3, nullptr, nullptr, nullptr},
        {"x = \"abc\n", GENREG_RC_UNTERMINATED_QUOTE, 2, nullptr, nullptr, nullptr},
        {"lonely\n", GENREG_RC_NO_EQUAL_SIGN, 2, nullptr, nullptr, nullptr},
        {"k = v\r\n", 0, 2, "k", "v", nullptr},
        {"k = v # note\r\n", 0, 3, "k", "v", " note"},
        {"k = v # bell\x07 here\n", 0, 3, "k", "v", " bell. here"},
        {"no newline = at end", 0, 2, "no newline", "at end", nullptr},
    };
    for (const ParseCase& c : cases) {
        VarValRecord r;
        std::memset(&r, 0x5a, sizeof r);
        unsigned rc = VarValUnpack(&r, c.line);
        if (c.rc == 1) {
            // A '#' inside quotes still starts a comment, which leaves the
            // quote open.
            EXPECT_EQ(GENREG_RC_UNTERMINATED_QUOTE, rc) << c.line;
            EXPECT_STREQ(" not a comment\"", r.Comment);
            continue;
        }
        EXPECT_EQ(c.rc, rc) << c.line;
        EXPECT_EQ(c.contains, r.Contains) << c.line;
        EXPECT_EQ(text(c.variable), text(r.Variable)) << c.line;
        EXPECT_EQ(text(c.value), text(r.Value)) << c.line;
        EXPECT_EQ(text(c.comment), text(r.Comment)) << c.line;
    }
}

TEST(VarValParse, FailedParseLeavesNoStalePointersThatCouldMatchAKey) {
    VarValRecord r;
    ASSERT_EQ(0u, VarValUnpack(&r, "port = 5000\n"));
    VarValRecord key = {};
    key.Contains = 2;
    key.Variable = const_cast<char*>("port");
    ASSERT_EQ(1, VarValCompare(GENREG_VARVAL_VARIABLE, &r, &key));
    // The same buffer, reused for lines that do not parse.
    for (const char* bad : {"port\n", "port = \"open\n"}) {
        EXPECT_NE(0u, VarValUnpack(&r, bad));
        EXPECT_EQ(nullptr, r.Variable) << bad;
        EXPECT_EQ(nullptr, r.Value) << bad;
        EXPECT_EQ(0, VarValCompare(GENREG_VARVAL_VARIABLE, &r, &key)) << bad;
    }
}

TEST(VarValParse, OverlongLineIsCutToTheRecordBuffer) {
    std::string line = "v = " + std::string(5000, 'x') + "\n";
    VarValRecord r;
    ASSERT_EQ(0u, VarValUnpack(&r, line.c_str()));
    EXPECT_EQ(GENREG_LINE_MAX - 1 - 4, (int)std::strlen(r.Value));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, VarValUnpack(nullptr, "a=b"));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, VarValUnpack(&r, nullptr));
}

VarValRecord entry(const char* variable, const char* value, const char* comment = nullptr) {
    VarValRecord r = {};
    r.Contains = GENREG_VARVAL_HAS_VARIABLE | (comment ? GENREG_VARVAL_HAS_COMMENT : 0);
    r.Variable = const_cast<char*>(variable);
    r.Value = const_cast<char*>(value);
    r.Comment = const_cast<char*>(comment);
    return r;
}

std::string pack(VarValRecord r, const std::string& layout, unsigned* rc) {
    char line[GENREG_LINE_MAX];
    std::snprintf(line, sizeof line, "%s", layout.c_str());
    *rc = VarValPack(&r, line);
    return line;
}

class VarValFormat : public testing::Test {
protected:
    void TearDown() override { bCompactFormattedLine = false; }
};

TEST_F(VarValFormat, NewLinesAndTemplates) {
    struct {
        VarValRecord record;
        const char* layout;
        bool compact;
        const char* expected;
    } cases[] = {
        {entry("NAME", "VALUE"), "", false, "NAME = VALUE\n"},
        {entry("NAME", "VALUE"), "", true, "NAME=VALUE\n"},
        {entry("NAME", "VALUE", "text"), "", false, "NAME = VALUE # text\n"},
        {entry("port", "6000"), "  port\t=  5000\n", false, "  port\t=  6000\n"},
        {entry("port", "6000"), "  port\t=  5000\n", true, "  port\t=  6000\n"},
        {entry("p", "2"), "p=1\n", false, "p=2\n"},
        {entry("longer", "2"), "\t p  =1 # old comment\n", false, "\t longer  =2\n"},
        {entry("k", "2"), "k = 1\r\n", false, "k = 2\r\n"},
        {entry("k", "2"), "k \\\n= 1\n", false, nullptr},  // "=" not where the layout says
        {entry("k", "2"), "no equals here\n", false, nullptr},
    };
    for (auto& c : cases) {
        bCompactFormattedLine = c.compact;
        unsigned rc = 0;
        std::string got = pack(c.record, c.layout, &rc);
        if (c.expected == nullptr) {
            EXPECT_EQ(GENREG_RC_NO_EQUAL_SIGN, rc) << c.layout;
            EXPECT_EQ(c.layout, got) << "buffer left unchanged";
        } else {
            EXPECT_EQ(0u, rc) << c.layout;
            EXPECT_EQ(c.expected, got) << c.layout;
        }
    }
}

TEST_F(VarValFormat, CommentOnlyAndBlankRecords) {
    VarValRecord comment = {};
    comment.Contains = GENREG_VARVAL_HAS_COMMENT;
    comment.Comment = const_cast<char*>("text");
    unsigned rc = 1;
    EXPECT_EQ("# text\n", pack(comment, "", &rc));
    EXPECT_EQ(0u, rc);
    VarValRecord blank = {};
    EXPECT_EQ("\n", pack(blank, "", &rc));
    EXPECT_EQ(0u, rc);
}

TEST_F(VarValFormat, EntryWithoutItsTextIsRefused) {
    unsigned rc = 0;
    EXPECT_EQ("", pack(entry(nullptr, "v"), "", &rc));
    EXPECT_EQ(GENREG_RC_VARIABLE_MISSING, rc);
    EXPECT_EQ("", pack(entry("n", nullptr), "", &rc));
    EXPECT_EQ(GENREG_RC_VALUE_MISSING, rc);
}

TEST_F(VarValFormat, LineOf2046CharactersFitsAnd2047IsTooLong) {
    // "v = " plus the value: 4 characters of layout.
    for (size_t length : {2046, 2047}) {
        std::string value(length - 4, 'x');
        unsigned rc = 0;
        std::string got = pack(entry("v", value.c_str()), "", &rc);
        if (length == 2046) {
            EXPECT_EQ(0u, rc);
            EXPECT_EQ(2047u, got.size());
            EXPECT_EQ('\n', got.back());
        } else {
            EXPECT_EQ(GENREG_RC_LINE_TOO_LONG, rc);
            EXPECT_EQ("", got);
        }
    }
}

TEST_F(VarValFormat, VariableValueAndCommentBeyondTheLineDoNotOverflow) {
    std::string big(3000, 'a');
    const char* layouts[] = {"", "   x   =   y  \n"};
    VarValRecord records[] = {entry(big.c_str(), "v"), entry("v", big.c_str()),
                              entry("v", "w", big.c_str()),
                              entry(big.c_str(), big.c_str(), big.c_str())};
    for (const char* layout : layouts) {
        for (const VarValRecord& r : records) {
            unsigned rc = 0;
            EXPECT_EQ(layout, pack(r, layout, &rc));
            EXPECT_EQ(GENREG_RC_LINE_TOO_LONG, rc);
        }
    }
}

TEST(VarValCompare, SelectorPicksTheFields) {
    VarValRecord stored = entry("name", "value");
    VarValRecord sameName = entry("name", "other");
    VarValRecord sameBoth = entry("name", "value");
    VarValRecord otherCase = entry("NAME", "value");
    EXPECT_EQ(1, VarValCompare(GENREG_VARVAL_VARIABLE, &stored, &sameName));
    EXPECT_EQ(0, VarValCompare(GENREG_VARVAL_VARIABLE | GENREG_VARVAL_VALUE, &stored, &sameName));
    EXPECT_EQ(1, VarValCompare(GENREG_SELECT_ALL, &stored, &sameBoth));
    EXPECT_EQ(0, VarValCompare(GENREG_VARVAL_VARIABLE, &stored, &otherCase));
    EXPECT_EQ(1, VarValCompare(GENREG_VARVAL_VALUE, &stored, &otherCase));
    // A comment line never matches, whatever the key.
    VarValRecord comment = {};
    comment.Contains = GENREG_VARVAL_HAS_COMMENT;
    EXPECT_EQ(0, VarValCompare(0, &comment, &stored));
    EXPECT_EQ(0, VarValCompare(GENREG_SELECT_ALL, &comment, &comment));
}

TEST(VarValValidate, ChecksInOrder) {
    VarValRecord empty = {};
    VarValRecord noVariable = entry(nullptr, "v");
    VarValRecord noValue = entry("n", nullptr);
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, VarValValidate(1, nullptr));
    EXPECT_EQ(GENREG_RC_EMPTY_RECORD, VarValValidate(1, &empty));
    EXPECT_EQ(GENREG_RC_VARIABLE_MISSING, VarValValidate(1, &noVariable));
    EXPECT_EQ(0u, VarValValidate(2, &noVariable));
    EXPECT_EQ(GENREG_RC_VALUE_MISSING, VarValValidate(3, &noValue));
    EXPECT_EQ(0u, VarValValidate(1, &noValue));
}

TEST(VarValPrint, DumpsTheSetFields) {
    VarValRecord r = entry("n", "v", " c");
    testing::internal::CaptureStdout();
    EXPECT_EQ(0u, GenRegVarVal::PrintRecord(&r));
    EXPECT_EQ(
        "Record Dump:\n   Variable = |n|\n   Value    = |v|\n   Contains = 3\n"
        "   Comment  = | c|\n",
        testing::internal::GetCapturedStdout());
}

}  // namespace
