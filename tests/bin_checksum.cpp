// A binary store with GENREG_FEATURE_CHECKSUM, end to end: every update
// leaves the committed form (32-byte header + records, or nothing), every
// reader starts behind the header, and a damaged header or a file too short
// for one is refused once the handle verifies headers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bin_support.h"

using namespace bin_test;
using store_test::ChecksummedForm;

namespace {

// The test schema with the checksum header, in each update mode.
struct SumStore : TestStore {
    SumStore(const std::string& path, uint64_t features)
        : TestStore(path, features | GENREG_FEATURE_CHECKSUM) {}
};

std::string committed(const std::vector<TestRecord>& records) {
    return ChecksummedForm(fileOf(records));
}

}  // namespace

TEST(BinChecksum, UpdatesLookupsAndScansWorkBehindTheHeader) {
    const uint64_t modes[] = {GENREG_FEATURE_VERIFY, 0, GENREG_FEATURE_DUPLICATES,
                              GENREG_FEATURE_VERIFY | GENREG_FEATURE_DUPLICATES};
    for (uint64_t mode : modes) {
        SCOPED_TRACE(mode);
        TestDir dir;
        SumStore store(dir.file("f"), mode | GENREG_FEATURE_GET_IN_SCAN);
        ResourceBalance balance;
        TestRecord a = rec(1, 10, "a"), b = rec(2, 20, "b"), c = rec(3, 30, "c");
        ASSERT_EQ(0u, store.Add(SEL_KEY, &a));
        EXPECT_TRUE(IsCommitted(store, committed({a})));
        EXPECT_EQ(0u, store.headerPending) << "from now on this handle verifies headers";
        ASSERT_EQ(0u, store.Add(SEL_KEY, &b)) << "never appended in place";
        ASSERT_EQ(0u, store.Add(SEL_KEY, &c));
        EXPECT_TRUE(IsCommitted(store, committed({a, b, c})));

        TestRecord key = rec(2, 0), changed = rec(2, 22, "b2"), out;
        ASSERT_EQ(0u, store.Change(SEL_KEY, &key, &changed));
        ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out));
        EXPECT_EQ(22, out.value);
        key = rec(1, 0);
        ASSERT_EQ(0u, store.Delete(SEL_KEY, &key));
        EXPECT_TRUE(IsCommitted(store, committed({changed, c})));

        ASSERT_EQ(0u, store.OpenScan());
        TestRecord all = rec();
        ASSERT_EQ(0u, store.GetNext(0, &all, &out));
        EXPECT_EQ(2, out.key);
        key = rec(3, 0);
        ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out))
            << "Get in the scan rewinds behind the header";
        ASSERT_EQ(0u, store.GetNext(0, &all, &out));
        EXPECT_EQ(3, out.key);
        EXPECT_EQ(GENREG_RC_NOT_FOUND, store.GetNext(0, &all, &out));
        ASSERT_EQ(0u, store.Rewind());
        ASSERT_EQ(0u, store.GetNext(0, &all, &out));
        EXPECT_EQ(2, out.key);
        ASSERT_EQ(0u, store.CloseScan());

        for (int32_t k : {2, 3}) {
            key = rec(k, 0);
            ASSERT_EQ(0u, store.Delete(SEL_KEY, &key));
        }
        EXPECT_TRUE(IsCommitted(store, "")) << "no records, no header";
        EXPECT_TRUE(HandleIsIdle(store));
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST(BinChecksum, AHandleReadsAFileCommittedByAnother) {
    TestDir dir;
    SumStore writer(dir.file("f"), GENREG_FEATURE_VERIFY);
    TestRecord a = rec(1, 10);
    ASSERT_EQ(0u, writer.Add(SEL_KEY, &a));
    SumStore reader(dir.file("f"), GENREG_FEATURE_VERIFY);
    ASSERT_EQ(1u, reader.headerPending);
    TestRecord key = rec(1, 0), out;
    ASSERT_EQ(0u, reader.Get(SEL_KEY, &key, &out));
    EXPECT_EQ(10, out.value);
    reader.headerPending = 0;
    ASSERT_EQ(0u, reader.Get(SEL_KEY, &key, &out)) << "and its header verifies";
}

TEST(BinChecksum, ADamagedHeaderIsRefusedOnceTheHandleVerifiesHeaders) {
    TestDir dir;
    SumStore store(dir.file("f"), GENREG_FEATURE_VERIFY);
    TestRecord a = rec(1, 10);
    ASSERT_EQ(0u, store.Add(SEL_KEY, &a));
    std::string damaged = committed({a});
    damaged[0] = damaged[0] == '9' ? '8' : '9';
    ASSERT_TRUE(Seed(store, damaged));
    ResourceBalance balance;
    TestRecord key = rec(1, 0), b = rec(2, 20), out;
    {
        LogCapture log;
        EXPECT_EQ(GENREG_RC_OPEN_FAILED, store.Get(SEL_KEY, &key, &out));
        EXPECT_EQ(GENREG_RC_OPEN_FAILED, store.Add(SEL_KEY, &b));
        EXPECT_EQ(GENREG_RC_OPEN_FAILED, store.Delete(SEL_KEY, &key));
        EXPECT_LE(3u, log.Count(GENREG_RC_CHECKSUM_MISMATCH));
    }
    EXPECT_TRUE(IsUntouched(store, damaged));
    EXPECT_TRUE(HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());

    store.headerPending = 1;
    EXPECT_EQ(0u, store.Get(SEL_KEY, &key, &out)) << "a new handle does not verify yet";
}

TEST(BinChecksum, AFileShorterThanItsHeaderIsAReadFailure) {
    for (uint64_t headerPending : {0, 1}) {
        SCOPED_TRACE(headerPending);
        TestDir dir;
        SumStore store(dir.file("f"), GENREG_FEATURE_VERIFY);
        store.headerPending = headerPending;
        const std::string twenty(20, '7');
        ASSERT_TRUE(Seed(store, twenty));
        LogCapture log;
        TestRecord key = rec(1, 0), r = rec(1, 1), out;
        EXPECT_EQ(GENREG_RC_OPEN_FAILED, store.Get(SEL_KEY, &key, &out));
        EXPECT_EQ(GENREG_RC_OPEN_FAILED, store.Change(SEL_KEY, &key, &r));
        EXPECT_LE(2u, log.Count(GENREG_RC_READ_FAILED));
        EXPECT_TRUE(IsUntouched(store, twenty));
        EXPECT_TRUE(HandleIsIdle(store));
    }
}
