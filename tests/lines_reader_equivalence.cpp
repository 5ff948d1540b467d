// The text store's reader (ReadTextLine) leaves a line without backslashes
// in its raw buffer instead of copying it, and refills only the part of the
// buffer the last read wrote: every line must still come out as the
// exported reader gives it (the byte-order mark aside, which the store's
// processed line starts behind). Over the fuzz seeds and lines at the
// reader's edges: exactly the buffer's size, CR LF, byte-order marks,
// continuations, embedded NUL bytes behind longer lines.
#include <genreg/lines.h>
#include <genreg/rc.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "text_support.h"

namespace {

using text_test::ScratchDir;

std::string corpusFile(const std::string& name) {
    std::ifstream in(std::string(GENREG_FUZZ_CORPUS_DIR) + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> inputs() {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string full(GENREG_LINE_MAX - 2, 'f');  // with its "\n", the buffer's capacity
    std::vector<std::string> all = {
        "a = 1\nb = 2\n",
        bom + "a = 1\r\nb = 2\r\n",
        bom + "a = \\\n 1\n",
        bom + "\n",
        full + "\nab" + std::string(1, '\0') + "cd",
        full + "x\n" + "s\n" + full.substr(0, 100) + "\\\nz\n",
        std::string(3000, 'q') + "\nab" + std::string(1, '\0') + "cd\nlast",
        "x\\\n\\\n\\\ny\n",
        "tail without line end\\",
        std::string("\0\n\0\0x\n", 6) + "done",
        full.substr(0, 1000) + "\n" + std::string("a\0b\n", 4) + "c = 3",
        "a\\tb\nc\\\\\nd\n",
    };
    for (const char* name :
         {"text_lookup/continued", "text_lookup/crlf_bom", "text_lookup/last_2047",
          "text_lookup/long_value", "text_update/bom", "text_update/join_trailing",
          "text_update/open_backslash", "text_update/last_2047", "profile_line/basic"})
        all.push_back(corpusFile(name));
    return all;
}

TEST(LinesReaderEquivalence, StoreReaderGivesTheExportedReadersLines) {
    ScratchDir dir;
    const std::vector<std::string> all = inputs();
    for (size_t n = 0; n < all.size(); ++n) {
        for (bool join : {false, true}) {
            text_test::ByteStream exported(dir, all[n]), store(dir, all[n]);
            std::vector<char> raw(GENREG_LINE_MAX), line(GENREG_LINE_MAX);
            TextLine text;
            for (int k = 0; k < 100; ++k) {
                size_t length = 0;
                const bool expected =
                    GenRegReadLineCounted(raw.data(), line.data(), GENREG_LINE_MAX, exported.get(),
                                          nullptr, join, &length) != nullptr;
                ASSERT_EQ(expected, ReadTextLine(&text, store.get(), join))
                    << "input " << n << " line " << k << " join " << join;
                if (!expected) break;
                ASSERT_EQ(std::string(raw.data(), length), std::string(text.raw, text.rawLength))
                    << "input " << n << " line " << k << " join " << join;
                const size_t mark = length >= 3 && std::memcmp(raw.data(), "\xEF\xBB\xBF", 3) == 0;
                EXPECT_STREQ(line.data() + 3 * mark, text.line)
                    << "input " << n << " line " << k << " join " << join;
                EXPECT_EQ(0, std::memcmp(text.raw, raw.data(), length + 1));
                // A piece of a longer line: the rest is read as its own lines.
                if (TextLineIsPiece(&text)) continue;
            }
        }
    }
}

TEST(LinesReaderEquivalence, RawWrittenByItsUserIsRefilledBeforeTheNextRead) {
    ScratchDir dir;
    const std::string bytes = std::string(1500, 'w') + "\n" + std::string("ab\0cd", 5);
    text_test::ByteStream stream(dir, bytes);
    TextLine text;
    ASSERT_TRUE(ReadTextLine(&text, stream.get(), false));
    // As Change does: a new line formatted into raw, NUL bytes behind it.
    std::memset(text.raw, '\0', sizeof text.raw);
    std::memcpy(text.raw, "formatted = 1\n", 14);
    TextLineRawWritten(&text);
    ASSERT_TRUE(ReadTextLine(&text, stream.get(), false));
    EXPECT_EQ(std::string("ab\0cd", 5), std::string(text.raw, text.rawLength));
    EXPECT_STREQ("ab", text.line);
    EXPECT_FALSE(ReadTextLine(&text, stream.get(), false));
}

}  // namespace
