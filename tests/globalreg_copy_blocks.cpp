// The global registry's updates copy the records kept as they are in
// blocks. The record-by-record copy (a handle whose compare callback is not
// the schema's own never takes the blocks) is the reference: over files
// large enough for many blocks, with records straddling block ends, damaged
// records and duplicates, both must give the same code, bytes and log.
#include <genreg/globalreg.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "genreg/binfile.h"
#include "globalreg_support.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"
#include "store_invariants.h"

namespace {

using globalrec_test::fullVariable;
using globalrec_test::StoredRecord;
using globalreg_test::Bytes;
using globalreg_test::GlobalRegFile;

// The schema's compare behind another address: the handle then has no
// shortcuts on stored bytes and copies record by record.
int compareElsewhere(uint64_t selector, const void* stored, const void* key) {
    return GlobalRecCompare(selector, stored, key);
}

GlobalRegRecord variable(int i) {
    // Values of varying length, so that records end anywhere in a block.
    return fullVariable("V" + std::to_string(i), std::string(1 + (i * 37) % 300, 'a' + i % 26));
}

GlobalRegRecord key(int i) {
    GlobalRegRecord k = variable(i);
    k.FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;
    return k;
}
const uint64_t kSelector = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;

enum Op { CHANGE, DELETE, ADD };
struct Outcome {
    unsigned rc;
    std::string bytes;
    std::vector<std::tuple<uint32_t, uint32_t, unsigned, unsigned>> log;
};

Outcome run(const GlobalRegFile& file, const std::string& start, Op op, int target,
            bool recordByRecord) {
    EXPECT_TRUE(platform_test::writeFile(file.path(), start));
    GlobalReg handle;
    if (recordByRecord) handle.CompareRecord = compareElsewhere;
    Outcome o;
    store_test::LogCapture log;
    GlobalRegRecord k = key(target), changed = fullVariable("V" + std::to_string(target), "new");
    o.rc = op == CHANGE   ? handle.Change(kSelector, &k, &changed)
           : op == DELETE ? handle.Delete(kSelector, &k)
                          : handle.Add(GENREG_SELECT_ALL, &changed);
    o.bytes = file.bytes();
    for (const store_test::LogCapture::Entry& e : log.entries())
        o.log.emplace_back(e.functionId, e.probe, e.rc, e.calledRc);
    return o;
}

TEST(GlobalRegCopyBlocks, SameCodesBytesAndLogsAsTheRecordByRecordCopy) {
    GlobalRegFile file;
    const int n = 700;  // about 130 KiB: several 64 KiB blocks
    // The records as the store writes them: a first update repacks them.
    {
        GlobalReg handle;
        std::vector<Bytes> records;
        for (int i = 0; i < n; ++i) {
            GlobalRegRecord r = variable(i);
            void* data = &r;
            uint64_t size = 0;
            std::vector<unsigned char> buffer(GENREG_PACK_BUFFER_SIZE);
            std::memcpy(buffer.data(), &r, sizeof r);
            data = buffer.data();
            ASSERT_EQ(0u, GlobalRecPackInto(&data, buffer.size(), nullptr, 0, &size));
            records.emplace_back(buffer.begin(), buffer.begin() + (long)size);
        }
        file.write(records);
        GlobalRegRecord k = key(0), same = fullVariable("V0", "first");
        ASSERT_EQ(0u, handle.Change(kSelector, &k, &same));
    }
    const std::string clean = file.bytes();
    const std::vector<Bytes> cleanRecords = globalreg_test::recordsOf(file.path());
    const Bytes damaged = StoredRecord(4, 0x1 | 0x2).text("QVR").entry(90, "X").checksum(0).bytes();

    struct Case {
        const char* name;
        int damagedAt;    // index the damaged record is put at, or -1
        int duplicateOf;  // record stored twice, or -1
    };
    const Case cases[] = {
        {"clean", -1, -1},         {"damaged first", 0, -1}, {"damaged in the first block", 20, -1},
        {"damaged late", 600, -1}, {"damaged last", n, -1},  {"duplicate", -1, 350}};
    for (const Case& c : cases) {
        std::vector<Bytes> records = cleanRecords;
        if (c.duplicateOf >= 0) records.push_back(records[(size_t)c.duplicateOf]);
        if (c.damagedAt >= 0) records.insert(records.begin() + c.damagedAt, damaged);
        const std::string start =
            c.damagedAt < 0 && c.duplicateOf < 0 ? clean : globalreg_test::fileOf(records);
        for (Op op : {CHANGE, DELETE, ADD})
            for (int target : {0, 1, 349, 350, n - 1, n + 5}) {
                const Outcome blocks = run(file, start, op, target, false);
                const Outcome reference = run(file, start, op, target, true);
                const std::string where = std::string(c.name) + " op " + std::to_string(op) +
                                          " target " + std::to_string(target);
                EXPECT_EQ(reference.rc, blocks.rc) << where;
                EXPECT_TRUE(reference.bytes == blocks.bytes) << where;
                EXPECT_TRUE(reference.log == blocks.log) << where;
            }
    }
}

// A file of records the blocks cannot copy as they are (never repacked by
// the store) goes record by record after a try, with the same result.
TEST(GlobalRegCopyBlocks, RecordsNotKeptAsStoredGiveTheSameFile) {
    GlobalRegFile file;
    std::vector<Bytes> records;
    for (int i = 0; i < 300; ++i)
        records.push_back(StoredRecord(4, 0x1 | 0x2)
                              .text("QVR")
                              .text("V" + std::to_string(i))
                              .checksum(0)
                              .bytes());
    const std::string start = globalreg_test::fileOf(records);
    const Outcome blocks = run(file, start, DELETE, 150, false);
    const Outcome reference = run(file, start, DELETE, 150, true);
    EXPECT_EQ(reference.rc, blocks.rc);
    EXPECT_TRUE(reference.bytes == blocks.bytes);
    EXPECT_TRUE(reference.log == blocks.log);
}

}  // namespace
