// A Change or Delete of a profile passes the lines it keeps in blocks, and a
// lookup the lines that cannot match; a handle whose unpack callback is the
// caller's own reads them one by one. Both must give the same code, the
// same file bytes (or records found) and the same log, for files whose
// lines the blocks cannot pass (NUL bytes, continuations, byte-order marks,
// lines too long, lines across a block's end) and keys anywhere among them.
#include "platform/fault.h"
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

// Function, probe and codes of each entry.
std::vector<std::string> entriesOf(const store_test::LogCapture& log) {
    std::vector<std::string> entries;
    for (const auto& e : log.entries())
        entries.push_back(std::to_string(e.functionId) + "/" + std::to_string(e.probe) + "/" +
                          std::to_string(e.calledRc) + "/" + std::to_string(e.rc));
    return entries;
}

enum Op { CHANGE, DELETE, LOOK_UP };

// A Get of "key" and a scan for every "key": what they found.
unsigned lookUp(GenRegVarVal* handle, std::string* found) {
    text_test::Key key("key");
    VarValRecord result = {};
    const unsigned rc = handle->Get(GENREG_VARVAL_VARIABLE, key.get(), &result);
    if (rc == 0) *found = result.Value;
    EXPECT_EQ(0u, handle->OpenScan());
    unsigned next = 0;
    while ((next = handle->GetNext(GENREG_VARVAL_VARIABLE, key.get(), &result)) == 0)
        *found += std::string("|") + result.Value;
    *found += "|" + std::to_string(next);
    handle->CloseScan();
    return rc;
}

Outcome run(const std::string& file, bool blocks, Op op, bool join, bool duplicates) {
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
    if (op == LOOK_UP) {
        out.rc = lookUp(&handle, &out.bytes);
    } else {
        out.rc = op == DELETE ? handle.Delete(GENREG_VARVAL_VARIABLE, key.get())
                              : handle.Change(GENREG_VARVAL_VARIABLE, key.get(), replacement.get());
        out.bytes = store_test::ReadFileBytes(path);
    }
    out.log = entriesOf(log);
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
                    const Op op = del ? DELETE : CHANGE;
                    const Outcome blocks = run(f.second, true, op, join, duplicates);
                    const Outcome oneByOne = run(f.second, false, op, join, duplicates);
                    const std::string what = f.first + (del ? " delete" : " change") +
                                             (join ? " join" : "") + (duplicates ? " dup" : "");
                    EXPECT_EQ(oneByOne.rc, blocks.rc) << what;
                    EXPECT_TRUE(oneByOne.bytes == blocks.bytes) << what;
                    EXPECT_EQ(oneByOne.log, blocks.log) << what;
                }
}

TEST(TextPassedLines, LookupsGiveWhatLineByLineGives) {
    // A lookup reads 2 KiB pieces: line 250 lies across the first piece's
    // end, 2399 is the last.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"key first", profile({0})},
        {"key across a piece end", profile({116})},
        {"key late", profile({2000})},
        {"key last", profile({2399})},
        {"key twice", profile({10, 1500})},
        {"no key", profile({})},
        {"key behind a mark", profile({}, "\xEF\xBB\xBFkey = old\n")},
        {"key in a last line without its end", profile({}) + "key = old"},
        {"line too long at the end", profile({5}) + std::string(5000, 'x') + "\n"},
        {"line too long holding the key", profile({}) + "key = " + std::string(5000, 'k') + "\n"},
    };
    for (const auto& f : files)
        for (bool join : {false, true}) {
            const Outcome blocks = run(f.second, true, LOOK_UP, join, true);
            const Outcome oneByOne = run(f.second, false, LOOK_UP, join, true);
            const std::string what = f.first + (join ? " join" : "");
            EXPECT_EQ(oneByOne.rc, blocks.rc) << what;
            EXPECT_EQ(oneByOne.bytes, blocks.bytes) << what;
            EXPECT_EQ(oneByOne.log, blocks.log) << what;
        }
}

// A failed read or seek among those of a lookup either fails it with a
// logged code or leaves its answer as it was: it never turns a found key
// into a missing one or hands out another line's value.
TEST(TextPassedLines, AFailedReadOrSeekNeverChangesTheAnswer) {
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    ASSERT_TRUE(store_test::WriteFileBytes(path, profile({1300})));
    unsigned rc = 1;
    GenRegVarVal handle(path.c_str(), &rc);
    ASSERT_EQ(0u, rc);
    text_test::Key key("key");
    VarValRecord expected = {};
    ASSERT_EQ(0u, handle.Get(GENREG_VARVAL_VARIABLE, key.get(), &expected));
    const std::string value = expected.Value;
    for (OSSFaultKind kind : {OSS_FAULT_READ, OSS_FAULT_SEEK}) {
        for (uint32_t nth = 1;; ++nth) {
            VarValRecord result = {};
            store_test::LogCapture log;
            ossFaultReset();
            ossFaultArm(kind, nth, 0);
            const unsigned got = handle.Get(GENREG_VARVAL_VARIABLE, key.get(), &result);
            const bool fired = ossFaultFired();
            ossFaultDisarm();
            const std::string what = std::to_string(kind) + " call " + std::to_string(nth);
            if (got == 0) {
                EXPECT_EQ(value, result.Value) << what;
            } else {
                EXPECT_EQ(GENREG_RC_READ_FAILED, got) << what;
                EXPECT_FALSE(log.entries().empty()) << what;
            }
            if (!fired) {
                EXPECT_EQ(0u, got) << what;
                break;
            }
        }
    }
}

}  // namespace
