// The profile schema's test on a line before it is parsed must never pass
// over a line that parsing would log about or that would match: for every
// line it calls a mismatch, VarValUnpack returns 0 without logging and
// VarValCompare gives 0. Checked over the seed lines of the fuzz targets
// and lines made to sit at its edges (blanks, tabs, quotes, comments, CR
// LF), against keys taken from the lines themselves and variants of them,
// under every selector, with the line normaliser's buffer and without it.
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "genreg/textline.h"
#include "platform/fault.h"
#include "schemas/varval_record.h"
#include "store_invariants.h"

namespace {

std::vector<std::string> corpusLines() {
    std::vector<std::string> lines = {"",
                                      "\n",
                                      "\r\n",
                                      "\r",
                                      "#",
                                      "# only\n",
                                      "  # indented comment\n",
                                      "\t\n",
                                      "   \n",
                                      "a=1",
                                      "a = 1\n",
                                      "a = 1\r\n",
                                      "\ta\t=\t1\n",
                                      "  a   =   1  # c\n",
                                      "a\r= 1\n",
                                      "a b = 1\n",
                                      "ab = 1\n",
                                      "xa = 1\n",
                                      "a= \"q\"\n",
                                      "a = \"open\n",
                                      "\"a\" = 1\n",
                                      "a = 1 \"# x\"\n",
                                      "a # = 1\n",
                                      "=1\n",
                                      " =1\n",
                                      "a\n",
                                      "a = \n",
                                      "a==1\n",
                                      "aa = 1\n",
                                      "a\ta = 1\n",
                                      "a  a = 1\n",
                                      "A = 1\n",
                                      "a.b = 1\n",
                                      "#a = 1\n",
                                      "a = 1#b = 2\n",
                                      "\ta = 1 # a = 2\n",
                                      "\xEF\xBB\xBF"
                                      "a = 1\n",
                                      "a\\\n",
                                      "a = 1\\\n"};
    for (const char* dir : {"profile_line", "text_lookup", "text_update"}) {
        for (const char* name : {"basic", "example_profile", "odd", "continued", "crlf_bom",
                                 "long_comment", "long_value", "plain", "bom", "join_trailing",
                                 "open_backslash", "plain0", "plain1", "plain2", "last_2047"}) {
            std::ifstream in(std::string(GENREG_FUZZ_CORPUS_DIR) + "/" + dir + "/" + name,
                             std::ios::binary);
            if (!in) continue;
            std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
            size_t start = 0;
            while (start < bytes.size()) {
                size_t end = bytes.find('\n', start);
                end = end == std::string::npos ? bytes.size() : end + 1;
                // The processed line ends at its first NUL and fits the buffer.
                std::string line = bytes.substr(start, end - start).c_str();
                if (line.size() < GENREG_LINE_MAX) lines.push_back(line);
                start = end;
            }
        }
    }
    return lines;
}

// Variables of the lines as parsed, with variants: cut short, one more
// character, leading and inner blanks or tabs, and texts no line holds.
std::set<std::string> keysFor(const std::vector<std::string>& lines) {
    std::set<std::string> keys = {"",   "a",   "A", "b", "aa",    "a b",        "a\tb",
                                  " a", "\ta", "#", "=", "\"a\"", "never-there"};
    for (const std::string& line : lines) {
        VarValRecord r;
        std::memset(&r, 0, sizeof r);
        if (VarValUnpack(&r, line.c_str()) != 0 || r.Variable == nullptr) continue;
        const std::string v = r.Variable;
        keys.insert(v);
        keys.insert(v + "x");
        keys.insert("\t" + v);
        if (!v.empty()) keys.insert(v.substr(0, v.size() - 1));
        if (v.size() > 1) keys.insert(v.substr(1));
    }
    return keys;
}

void expectAgreement(const std::vector<std::string>& lines, const std::set<std::string>& keys,
                     const char* normaliser) {
    const uint64_t selectors[] = {0, GENREG_VARVAL_VARIABLE, GENREG_VARVAL_VALUE,
                                  GENREG_VARVAL_VARIABLE | GENREG_VARVAL_VALUE, GENREG_SELECT_ALL};
    size_t passedOver = 0;
    for (const std::string& line : lines) {
        for (const std::string& variable : keys) {
            for (const char* value : {"1", "", "value"}) {
                std::string v = variable, val = value;
                VarValRecord key = {};
                key.Contains = GENREG_VARVAL_HAS_VARIABLE;
                key.Variable = &v[0];
                key.Value = &val[0];
                for (uint64_t selector : selectors) {
                    if (!VarValLineMismatch(selector, line.c_str(), &key)) continue;
                    ++passedOver;
                    VarValRecord parsed;
                    std::memset(&parsed, 0, sizeof parsed);
                    store_test::LogCapture log;
                    EXPECT_EQ(0u, VarValUnpack(&parsed, line.c_str()))
                        << normaliser << " [" << line << "] key [" << variable << "]";
                    EXPECT_TRUE(log.entries().empty()) << normaliser << " [" << line << "]";
                    EXPECT_EQ(0, VarValCompare(selector, &parsed, &key))
                        << normaliser << " [" << line << "] key [" << variable << "] selector "
                        << selector;
                }
            }
        }
    }
    // The test decides for most pairs, or it would save nothing.
    EXPECT_GT(passedOver, lines.size() * keys.size());
}

TEST(VarValLineMismatch, PassesOverOnlyLinesThatParseQuietlyAndDoNotMatch) {
    const std::vector<std::string> lines = corpusLines();
    ASSERT_GT(lines.size(), 60u);
    const std::set<std::string> keys = keysFor(lines);
    LineNormalizerScope scope;
    BeginLineNormalizer(&scope);
    ASSERT_NE(nullptr, scope.work);
    expectAgreement(lines, keys, "normalised");
    EndLineNormalizer(&scope);
}

#ifdef GENREG_FAULT_INJECTION
TEST(VarValLineMismatch, HoldsWhenTheNormaliserHasNoBuffer) {
    const std::vector<std::string> lines = corpusLines();
    const std::set<std::string> keys = keysFor(lines);
    LineNormalizerScope scope;
    ossFaultReset();
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    BeginLineNormalizer(&scope);
    ossFaultDisarm();
    ASSERT_EQ(nullptr, scope.work);
    expectAgreement(lines, keys, "as it stands");
    EndLineNormalizer(&scope);
}
#endif

TEST(VarValLineMismatch, CannotTellForKeysWithBlanksOrOtherSelectors) {
    std::string v = "a b";
    VarValRecord key = {};
    key.Contains = GENREG_VARVAL_HAS_VARIABLE;
    key.Variable = &v[0];
    EXPECT_FALSE(VarValLineMismatch(GENREG_VARVAL_VARIABLE, "x = 1\n", &key));
    EXPECT_FALSE(VarValLineMismatch(GENREG_VARVAL_VALUE, "x = 1\n", &key));
    key.Variable = nullptr;
    EXPECT_FALSE(VarValLineMismatch(GENREG_VARVAL_VARIABLE, "x = 1\n", &key));
    // A blank or comment line holds no variable for any key.
    EXPECT_TRUE(VarValLineMismatch(GENREG_VARVAL_VALUE, "# c\n", &key));
    EXPECT_TRUE(VarValLineMismatch(0, "\r\n", &key));
}

}  // namespace
