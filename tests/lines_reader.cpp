// The line reader and writer: logical lines, continuations, buffer limits.
#include <genreg/lines.h>
#include <genreg/rc.h>

#include <string>

#include "text_support.h"

namespace {

using text_test::readAll;
using text_test::ScratchDir;

struct ReaderCase {
    const char* name;
    std::string bytes;
    bool join;
    // raw and processed text of each line, in order.
    std::vector<std::pair<std::string, std::string>> lines;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

class LinesReader : public testing::TestWithParam<ReaderCase> {};

TEST_P(LinesReader, ReturnsEachLogicalLineVerbatimAndProcessed) {
    ScratchDir dir;
    const ReaderCase& c = GetParam();
    auto got = readAll(dir, c.bytes, c.join);
    ASSERT_EQ(c.lines.size() + 1, got.size());
    for (size_t k = 0; k < c.lines.size(); ++k) {
        EXPECT_EQ(c.lines[k].first, got[k].raw) << "line " << k;
        EXPECT_EQ(c.lines[k].second, got[k].line) << "line " << k;
    }
    EXPECT_EQ(GENREG_RC_END_OF_INPUT, got.back().rc);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinesReader,
    testing::Values(
        ReaderCase{"LastLineWithoutNewline", "a\nb", false, {{"a\n", "a\n"}, {"b", "b"}}},
        ReaderCase{
            "EmptyLineIsANewline", "\n\nx\n", false, {{"\n", "\n"}, {"\n", "\n"}, {"x\n", "x\n"}}},
        ReaderCase{"JoinedContinuation", "a\\\nb\n", true, {{"a\\\nb\n", "ab\n"}}},
        ReaderCase{
            "ContinuationNotJoined", "a\\\nb\n", false, {{"a\\\n", "a\\\n"}, {"b\n", "b\n"}}},
        ReaderCase{"ThreePhysicalLinesJoined",
                   "a\\\nb\\\nc\nd\n",
                   true,
                   {{"a\\\nb\\\nc\n", "abc\n"}, {"d\n", "d\n"}}},
        ReaderCase{"BackslashAtEndOfFileDropped", "ab\\", false, {{"ab\\", "ab"}}},
        ReaderCase{
            "DoubleBackslashThenContinuation", "a\\\\\nb\n", true, {{"a\\\\\nb\n", "a\\b\n"}}},
        ReaderCase{"BackslashBeforeOtherCharacterKept", "a\\tb\n", true, {{"a\\tb\n", "a\\tb\n"}}},
        ReaderCase{"ContinuationAtEndOfFile", "a\\\n", true, {{"a\\\n", "a"}}},
        ReaderCase{"CarriageReturnsAreOrdinary",
                   "a\r\nb\r\n",
                   false,
                   {{"a\r\n", "a\r\n"}, {"b\r\n", "b\r\n"}}},
        ReaderCase{"EmptyFile", "", false, {}}),
    [](const testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

TEST(LinesReaderLimits, LineLongerThanBufferComesInPieces) {
    ScratchDir dir;
    std::string longLine(20, 'x');
    auto got = readAll(dir, longLine + "\nz\n", false, 8);
    ASSERT_EQ(5u, got.size());
    EXPECT_EQ("xxxxxxx", got[0].raw);
    EXPECT_EQ("xxxxxxx", got[1].raw);
    EXPECT_EQ("xxxxxx\n", got[2].raw);
    EXPECT_EQ("z\n", got[3].raw);
}

TEST(LinesReaderLimits, ContinuationStopsWhenTheBufferIsFull) {
    ScratchDir dir;
    // 8-byte buffers: "abcd\\\n" leaves room for one more character only.
    auto got = readAll(dir, "abcd\\\nefgh\n", true, 8);
    std::string rawJoined;
    for (size_t k = 0; k + 1 < got.size(); ++k)
        rawJoined += got[k].raw;
    EXPECT_EQ("abcd\\\nefgh\n", rawJoined);  // no byte is lost or repeated
    EXPECT_EQ("abcde", got[0].line);
}

TEST(LinesReaderLimits, BadArgumentsGiveNullAndTheirCode) {
    ScratchDir dir;
    text_test::ByteStream stream(dir, "a\n");
    char raw[16], line[16];
    unsigned rc = 0;
    EXPECT_EQ(nullptr, GenRegReadLine(nullptr, line, 16, stream.get(), &rc, false));
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, rc);
    rc = 0;
    EXPECT_EQ(nullptr, GenRegReadLine(raw, nullptr, 16, stream.get(), &rc, false));
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, rc);
    rc = 0;
    EXPECT_EQ(nullptr, GenRegReadLine(raw, line, 16, nullptr, &rc, false));
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, rc);
    rc = 0;
    EXPECT_EQ(nullptr, GenRegReadLine(raw, line, 0, stream.get(), &rc, false));
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, rc);
    // Without an rc pointer the call still works.
    EXPECT_EQ(raw, GenRegReadLine(raw, line, 16, stream.get(), nullptr, false));
    EXPECT_STREQ("a\n", line);
}

TEST(LinesReaderLimits, EmbeddedNulEndsTheProcessedLineButRawKeepsEveryByte) {
    ScratchDir dir;
    const std::string bytes("ab\0cd\nef\n", 9);
    text_test::ByteStream stream(dir, bytes);
    TextLine text;
    ASSERT_TRUE(ReadTextLine(&text, stream.get(), false));
    EXPECT_EQ(std::string("ab\0cd\n", 6), std::string(text.raw, text.rawLength));
    EXPECT_STREQ("ab", text.line);
    ASSERT_TRUE(ReadTextLine(&text, stream.get(), false));
    EXPECT_EQ("ef\n", std::string(text.raw, text.rawLength));
    EXPECT_FALSE(ReadTextLine(&text, stream.get(), false));
    EXPECT_FALSE(TextStreamFailed(stream.get()));
}

TEST(LinesReaderLimits, PieceOfAnOverlongLineIsRecognised) {
    ScratchDir dir;
    std::string bytes(GENREG_LINE_MAX + 10, 'q');
    bytes += "\nshort\n";
    text_test::ByteStream stream(dir, bytes);
    TextLine text;
    ASSERT_TRUE(ReadTextLine(&text, stream.get(), false));
    EXPECT_TRUE(TextLineIsPiece(&text));
    ASSERT_TRUE(ReadTextLine(&text, stream.get(), false));
    EXPECT_FALSE(TextLineIsPiece(&text));  // the tail ends in its newline
    ASSERT_TRUE(ReadTextLine(&text, stream.get(), false));
    EXPECT_STREQ("short\n", text.raw);
    EXPECT_FALSE(TextLineIsPiece(&text));
}

// ---- writer ----------------------------------------------------------------

std::string writeToString(const ScratchDir& dir, const std::string& text, uint64_t width,
                          unsigned* rc) {
    std::string path = dir.file("written");
    FILE* out = std::fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, out);
    *rc = GenRegWriteLine(text.c_str(), width, out);
    std::fclose(out);
    return text_test::readFile(path);
}

TEST(LinesWriter, InsertsBreaksSoNoPhysicalLineIsWiderThanWidth) {
    ScratchDir dir;
    struct {
        const char* text;
        uint64_t width;
        const char* expected;
    } cases[] = {
        {"abcdefgh", 4, "abc\\\nde\\\nfg\\\nh"}, {"abc", 4, "abc"}, {"abcd", 4, "abc\\\nd"},
        {"abcdef", 3, "ab\\\nc\\\nd\\\ne\\\nf"}, {"", 5, ""},       {"line\n", 80, "line\n"},
    };
    for (const auto& c : cases) {
        unsigned rc = 1;
        EXPECT_EQ(c.expected, writeToString(dir, c.text, c.width, &rc)) << c.text << " " << c.width;
        EXPECT_EQ(0u, rc);
    }
}

TEST(LinesWriter, WidthOneOrTwoIsRefusedInsteadOfLoopingForever) {
    ScratchDir dir;
    for (uint64_t width : {0, 1, 2}) {
        unsigned rc = 0;
        EXPECT_EQ("", writeToString(dir, "abc", width, &rc)) << width;
        EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, rc) << width;
    }
    unsigned rc = 0;
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, GenRegWriteLine(nullptr, 10, stdout));
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, GenRegWriteLine("x", 10, nullptr));
    (void)rc;
}

TEST(LinesWriter, OutputLongerThanItsBufferIsWrittenWholeInPieces) {
    ScratchDir dir;
    std::string text;
    for (int k = 0; k < 5000; ++k)
        text += (char)('a' + k % 26);
    unsigned rc = 1;
    std::string written = writeToString(dir, text, 10, &rc);
    EXPECT_EQ(0u, rc);
    // Reading it back with joining gives the text again.
    auto lines = readAll(dir, written + "\n", true, 16384);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(text + "\n", lines[0].line);
    // And the breaks sit where the width puts them: 9 characters, then 8.
    EXPECT_EQ(text.substr(0, 9) + "\\\n" + text.substr(9, 8) + "\\\n", written.substr(0, 21));
    EXPECT_GT(written.size(), (size_t)GENREG_LINE_MAX);
}

}  // namespace
