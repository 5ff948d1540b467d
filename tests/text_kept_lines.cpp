// A Change or Delete of a profile passes the lines it keeps in blocks; a
// handle whose unpack callback is the caller's own reads them one by one.
// Both must give the same code, the same file bytes and the same log, for
// files whose lines the blocks cannot pass (NUL bytes, continuations, byte-
// order marks, lines too long, lines across a block's end) and keys
// anywhere among them.
#include "schemas/varval_record.h"
#include "text_fixture.h"

namespace {

// The schema's own parse, behind another address: no shortcut applies.
unsigned unpackOneByOne(void* record, const char* line) {
    return VarValUnpack(record, line);
}

struct Outcome {
    unsigned rc;
    std::string bytes;
    std::vector<std::string> log;  // function, probe, codes of each entry
};

Outcome run(const std::string& file, bool blocks, bool del, bool join, bool duplicates) {
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    EXPECT_TRUE(store_test::WriteFileBytes(path, file));
    unsigned rc = 1;
    GenRegVarVal handle(path.c_str(), &rc);
    EXPECT_EQ(0u, rc);
    if (!blocks) handle.UnpackRecord = unpackOneByOne;
    if (join) handle.setFeature(GENREG_FEATURE_JOIN_LINES);
    if (!duplicates) handle.unsetFeature(GENREG_FEATURE_DUPLICATES);
    text_test::Key key("key");
    text_test::Entry replacement("key", "new");
    Outcome out;
    store_test::LogCapture log;
    out.rc = del ? handle.Delete(GENREG_VARVAL_VARIABLE, key.get())
                 : handle.Change(GENREG_VARVAL_VARIABLE, key.get(), replacement.get());
    for (const auto& e : log.entries())
        out.log.push_back(std::to_string(e.functionId) + "/" + std::to_string(e.probe) + "/" +
                          std::to_string(e.calledRc) + "/" + std::to_string(e.rc));
    out.bytes = store_test::ReadFileBytes(path);
    return out;
}

// More than two blocks of plain lines, with the lines blocks cannot pass
// among them; "key = old" goes in at the given line numbers.
std::string profile(const std::vector<int>& keyAt, const std::string& first = "") {
    const std::string awkward[] = {std::string("nul = a\0b\n", 10),
                                   "cont = a\\\nb = c\n",
                                   "a = 1\\\nkey = joined\n",
                                   "path = C:\\dir\\\n",
                                   "\xEF\xBB\xBFmark = 1\n",
                                   "quoted = \"a  b\"\n",
                                   std::string(2046, 'p') + "\n",
                                   "\xEF\xBB\xBFkey = marked\n",
                                   "# " + std::string(3000, 'r') + "\n",
                                   "crlf = 1\r\n"};
    std::string text = first;
    for (int k = 0; k < 2400; ++k) {
        for (int at : keyAt)
            if (at == k) text += "key = old\n";
        text += "line" + std::to_string(k) + " = " + std::to_string(k * 7) + "\n";
        if (k % 200 == 150) text += awkward[(k / 200) % 10];
    }
    return text;
}

TEST(TextKeptLines, BlocksGiveWhatLineByLineGives) {
    // Line 893 straddles the first block's end; 2399 is the last.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"key first", profile({0})},
        {"key across a block end", profile({893})},
        {"key last", profile({2399})},
        {"key twice", profile({10, 2000})},
        {"no key", profile({})},
        {"key behind a mark", profile({}, "\xEF\xBB\xBFkey = old\n")},
        {"key in a last line without its end", profile({}) + "key = old"},
        {"line too long at the end", profile({5}) + std::string(5000, 'x') + "\n"},
    };
    for (const auto& f : files)
        for (bool del : {false, true})
            for (bool join : {false, true})
                for (bool duplicates : {false, true}) {
                    const Outcome blocks = run(f.second, true, del, join, duplicates);
                    const Outcome oneByOne = run(f.second, false, del, join, duplicates);
                    const std::string what = f.first + (del ? " delete" : " change") +
                                             (join ? " join" : "") + (duplicates ? " dup" : "");
                    EXPECT_EQ(oneByOne.rc, blocks.rc) << what;
                    EXPECT_TRUE(oneByOne.bytes == blocks.bytes) << what;
                    EXPECT_EQ(oneByOne.log, blocks.log) << what;
                }
}

}  // namespace
