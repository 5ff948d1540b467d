// Lookup in a binary store: Get and GetNext over good, empty, missing and
// damaged files, with and without an open scan.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bin_support.h"

using namespace bin_test;

namespace {

bool isZero(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

TestRecord filled() {
    TestRecord r;
    std::memset(&r, 0x77, sizeof r);
    return r;
}

}  // namespace

TEST(BinLookup, EmptyFileGivesNoMatchAndAnEndedScanZeroesTheResultOnce) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    ASSERT_TRUE(Seed(store, ""));
    ResourceBalance balance;
    TestRecord key = rec(1, 0), out = filled();
    EXPECT_EQ(GENREG_RC_NO_MATCH, store.Get(SEL_KEY, &key, &out));
    EXPECT_TRUE(isZero(&out, sizeof out));

    ASSERT_EQ(0u, store.OpenScan());
    out = filled();
    EXPECT_EQ(GENREG_RC_NOT_FOUND, store.GetNext(0, &key, &out));
    EXPECT_TRUE(isZero(&out, sizeof out));
    out = filled();
    EXPECT_EQ(GENREG_RC_NOT_FOUND, store.GetNext(0, &key, &out));
    EXPECT_FALSE(isZero(&out, sizeof out)) << "the end is sticky and touches nothing";
    EXPECT_EQ(0u, store.CloseScan());
    EXPECT_TRUE(HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}

TEST(BinLookup, MissingFileIsReportedAndTheResultLeftAlone) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    TestRecord key = rec(1, 0), out = filled();
    EXPECT_EQ(GENREG_RC_FILE_NOT_FOUND, store.Get(SEL_KEY, &key, &out));
    EXPECT_FALSE(isZero(&out, sizeof out));
    EXPECT_FALSE(PathExists(store.filePath));
}

TEST(BinLookup, FirstMatchWinsAndAScanReturnsEveryMatchInFileOrder) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    ASSERT_TRUE(Seed(store, fileOf({rec(1, 10), rec(2, 20), rec(1, 30), rec(3, 40)})));
    TestRecord key = rec(1, 0), out;
    ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out));
    EXPECT_EQ(10, out.value);
    key = rec(0, 40);
    ASSERT_EQ(0u, store.Get(SEL_VALUE, &key, &out));
    EXPECT_EQ(3, out.key);

    key = rec(1, 0);
    ASSERT_EQ(0u, store.OpenScan());
    ASSERT_EQ(0u, store.GetNext(SEL_KEY, &key, &out));
    EXPECT_EQ(10, out.value);
    ASSERT_EQ(0u, store.GetNext(SEL_KEY, &key, &out));
    EXPECT_EQ(30, out.value);
    EXPECT_EQ(GENREG_RC_NOT_FOUND, store.GetNext(SEL_KEY, &key, &out));
    ASSERT_EQ(0u, store.Rewind());
    ASSERT_EQ(0u, store.GetNext(SEL_KEY, &key, &out));
    EXPECT_EQ(10, out.value) << "a rewound scan starts again at the first record";
    EXPECT_EQ(0u, store.CloseScan());
}

TEST(BinLookup, OnlyACompareResultOfExactlyOneIsAMatch) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)})));
    g_knobs.matchResult = 2;
    TestRecord key = rec(1, 0), out;
    EXPECT_EQ(GENREG_RC_NO_MATCH, store.Get(SEL_KEY, &key, &out));
}

TEST(BinLookup, GetInsideAScanRestoresTheScanPosition) {
    TestDir dir;
    TestStore store(dir.file("f"), GENREG_FEATURE_GET_IN_SCAN);
    ASSERT_TRUE(Seed(store, fileOf({rec(1, 10), rec(2, 20), rec(3, 30)})));
    TestRecord all = rec(0, 0), key = rec(3, 0), out;
    ASSERT_EQ(0u, store.OpenScan());
    ASSERT_EQ(0u, store.GetNext(0, &all, &out));
    ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out));
    EXPECT_EQ(30, out.value);
    ASSERT_EQ(0u, store.GetNext(0, &all, &out));
    EXPECT_EQ(2, out.key) << "the scan goes on where it stood before Get";

    store.features &= ~(uint64_t)GENREG_FEATURE_GET_IN_SCAN;
    EXPECT_EQ(GENREG_RC_OPEN_FAILED, store.Get(SEL_KEY, &key, &out))
        << "without the feature a Get cannot run beside an open scan";
    EXPECT_EQ(0u, store.CloseScan());
    EXPECT_TRUE(HandleIsIdle(store));
}

TEST(BinLookup, GetInsideAnEndedScanClearsTheEndState) {
    TestDir dir;
    TestStore store(dir.file("f"), GENREG_FEATURE_GET_IN_SCAN);
    ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)})));
    TestRecord all = rec(0, 0), out;
    ASSERT_EQ(0u, store.OpenScan());
    ASSERT_EQ(0u, store.GetNext(0, &all, &out));
    ASSERT_EQ(GENREG_RC_NOT_FOUND, store.GetNext(0, &all, &out));
    ASSERT_EQ(0u, store.Get(0, &all, &out));
    EXPECT_FALSE(store.state & GENREG_STATE_SCAN_AT_END);
    EXPECT_EQ(0u, store.CloseScan());
}

TEST(BinLookup, ALongerStoredRecordIsReturnedCutToTheRecordSize) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    std::string longer = bytesOf(rec(5, 50, "long")) + std::string(40, 'x');
    ASSERT_TRUE(Seed(store, frame(longer) + fileOf({rec(6, 60)})));
    TestRecord key = rec(5, 0);
    unsigned char out[sizeof(TestRecord) + 8];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(0u, store.Get(SEL_KEY, &key, out));
    EXPECT_EQ(0, std::memcmp(out, longer.data(), sizeof(TestRecord)));
    EXPECT_EQ(0xEE, out[sizeof(TestRecord)]) << "nothing written past the record size";
    key = rec(6, 0);
    TestRecord after;
    ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &after)) << "records after a long one are read";
    EXPECT_EQ(60, after.value);
}

TEST(BinLookup, ADamagedRecordStopsTheLookupButNotWhatPrecedesIt) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    const std::string damaged[] = {
        std::string("\x40\x00\x00\x00", 4) + "short",  // length past the end
        std::string("\x09", 1),                        // one stray byte
    };
    for (const std::string& tail : damaged) {
        ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)}) + tail));
        ResourceBalance balance;
        LogCapture log;
        TestRecord first = rec(1, 0), missing = rec(2, 0), out = filled();
        EXPECT_EQ(0u, store.Get(SEL_KEY, &first, &out));
        out = filled();
        EXPECT_EQ(GENREG_RC_READ_FAILED, store.Get(SEL_KEY, &missing, &out));
        EXPECT_EQ(1u, log.Count(GENREG_RC_RECORD_PAST_EOF));
        EXPECT_FALSE(isZero(&out, sizeof out)) << "a failed lookup keeps the result";
        EXPECT_TRUE(HandleIsIdle(store));
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST(BinLookup, ShortRecordsFromAnotherWriterAreReadWithoutComplaint) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    ASSERT_TRUE(Seed(store, frame("") + frame("a") + frame("bc") + fileOf({rec(4, 40)})));
    TestRecord key = rec(4, 0), out;
    ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out));
    EXPECT_EQ(40, out.value);
}

TEST(BinLookup, RefusedKeysAndBadSlotsFailBeforeTheFileIsOpened) {
    struct Case {
        const char* name;
        void (*spoil)(TestStore&);
        unsigned rc;
    };
    const Case cases[] = {
        {"no ValidateRecord", [](TestStore& s) { s.ValidateRecord = nullptr; },
         GENREG_RC_NO_VALIDATE_SLOT},
        {"key refused", [](TestStore&) { g_knobs.validateRc = 5; }, GENREG_RC_INVALID_RECORD},
        {"no GetMaxRecordSize", [](TestStore& s) { s.GetMaxRecordSize = nullptr; },
         GENREG_RC_NO_MAX_SIZE_SLOT},
        {"record size 2",
         [](TestStore& s) {
             s.GetMaxRecordSize = [](uint64_t* n) -> unsigned { return *n = 2, 0u; };
         },
         GENREG_RC_RECORD_TOO_SMALL},
        {"record size above 1 MiB",
         [](TestStore& s) {
             s.GetMaxRecordSize = [](uint64_t* n) -> unsigned { return *n = 0x100001, 0u; };
         },
         GENREG_RC_RECORD_TOO_LARGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        TestStore store(dir.file("f"), 0);
        c.spoil(store);
        TestRecord key = rec(1, 0), out;
        EXPECT_EQ(c.rc, store.Get(SEL_KEY, &key, &out)) << "a missing file is never reached";
        ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)})));
        ASSERT_EQ(0u, store.OpenScan());
        EXPECT_EQ(c.rc, store.GetNext(SEL_KEY, &key, &out));
        store.CloseScan();
    }
}

TEST(BinLookup, AMatchNeedsARecordSizeOfAtLeastEightBytes) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    store.GetMaxRecordSize = [](uint64_t* n) -> unsigned { return *n = 5, 0u; };
    ASSERT_TRUE(Seed(store, frame("abcde")));
    g_knobs.matchResult = 1;
    store.CompareRecord = [](uint64_t, const void*, const void*) { return 1; };
    char key[5] = {}, out[5] = {};
    EXPECT_EQ(GENREG_RC_RECORD_TOO_LARGE, store.Get(0, key, out));
}

TEST(BinLookup, AnEmptyCompareSlotIsNoticedOnlyOnceARecordIsRead) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    store.CompareRecord = nullptr;
    TestRecord key = rec(1, 0), out;
    ASSERT_TRUE(Seed(store, ""));
    EXPECT_EQ(GENREG_RC_NO_MATCH, store.Get(SEL_KEY, &key, &out));
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ(GENREG_RC_NOT_FOUND, store.GetNext(SEL_KEY, &key, &out));
    store.CloseScan();

    ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)})));
    ResourceBalance balance;
    EXPECT_EQ(GENREG_RC_NO_COMPARE_SLOT, store.Get(SEL_KEY, &key, &out));
    EXPECT_TRUE(HandleIsIdle(store)) << "the transaction is ended after the failure";
    EXPECT_TRUE(balance.Unchanged());
}

TEST(BinLookup, GetNextWithoutAScanOrWithNullPointersIsRefused) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)})));
    TestRecord key = rec(1, 0), out;
    EXPECT_EQ(GENREG_RC_NO_SCAN, store.GetNext(SEL_KEY, &key, &out));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, store.Get(SEL_KEY, nullptr, &out));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, store.Get(SEL_KEY, &key, nullptr));
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, store.GetNext(SEL_KEY, &key, nullptr));
    store.CloseScan();
}

TEST(BinLookup, PackedRecordsAreUnpackedAndAFailedUnpackEndsTheLookup) {
    TestDir dir;
    TestStore store(dir.file("f"), 0, true);
    ASSERT_TRUE(Seed(store, packedFileOf({rec(1, 10, "one"), rec(2, 20, "two")})));
    TestRecord key = rec(2, 0), out;
    ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out));
    EXPECT_EQ(20, out.value);
    EXPECT_STREQ("two", out.text);

    g_knobs.unpackCalls = 0;
    g_knobs.unpackFailAt = 1;
    out = filled();
    EXPECT_EQ(GENREG_RC_UNPACK_FAILED, store.Get(SEL_KEY, &key, &out));
    EXPECT_FALSE(isZero(&out, sizeof out)) << "Get keeps the result on an unpack failure";

    g_knobs.unpackCalls = 0;
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ(GENREG_RC_UNPACK_FAILED, store.GetNext(SEL_KEY, &key, &out));
    EXPECT_TRUE(isZero(&out, sizeof out)) << "GetNext zeroes it";
    store.UnpackRecord = nullptr;
    out = filled();
    EXPECT_EQ(GENREG_RC_NO_UNPACK_SLOT, store.GetNext(SEL_KEY, &key, &out));
    EXPECT_TRUE(isZero(&out, sizeof out));
    store.CloseScan();
}

TEST(BinLookup, WorkBufferAllocationFailureIsReportedWithoutLeaks) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)})));
    ResourceBalance balance;
    TestRecord key = rec(1, 0), out;
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    EXPECT_EQ(GENREG_RC_ALLOC_FAILED, store.Get(SEL_KEY, &key, &out));
    ossFaultDisarm();
    EXPECT_TRUE(HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}
