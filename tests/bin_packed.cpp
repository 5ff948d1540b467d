// Packed records: what the caller's record looks like after an update,
// packed forms larger than the record, the stored image handed to the
// schema, and a schema whose packing goes wrong.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bin_support.h"
#include "platform/fault.h"

using namespace bin_test;

namespace {

const uint64_t kVerify = GENREG_FEATURE_VERIFY;

bool isMemoryForm(const TestRecord& seen, const TestRecord& expected) {
    return std::memcmp(&seen, &expected, sizeof seen) == 0;
}

// The caller's buffer holds the packed form of expected (and the rest of
// its memory form behind it).
bool isPackedForm(const TestRecord& seen, const TestRecord& expected) {
    const std::string packed = packedOf(expected);
    return std::memcmp(&seen, packed.data(), packed.size()) == 0;
}

}  // namespace

TEST(BinPacked, TheCallersRecordIsBackInMemoryFormOnlyAfterAVerifiedUpdate) {
    for (bool verify : {true, false}) {
        SCOPED_TRACE(verify ? "verified" : "not verified");
        TestDir dir;
        TestStore store(dir.file("f"), verify ? kVerify : 0, true);
        const TestRecord added = rec(1, 10, "one");
        TestRecord r = added;
        ASSERT_EQ(0u, store.Add(SEL_KEY, &r));
        EXPECT_TRUE(verify ? isMemoryForm(r, added) : isPackedForm(r, added));

        const TestRecord changed = rec(1, 11, "uno");
        TestRecord key = rec(1, 0);
        r = changed;
        ASSERT_EQ(0u, store.Change(SEL_KEY, &key, &r));
        EXPECT_TRUE(verify ? isMemoryForm(r, changed) : isPackedForm(r, changed));
        EXPECT_TRUE(IsCommitted(store, packedFileOf({changed})));

        TestRecord out;
        ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out));
        EXPECT_TRUE(isMemoryForm(out, changed));
    }
}

TEST(BinPacked, AFailureAfterPackingLeavesTheCallersRecordPacked) {
    TestDir dir;
    TestStore store(dir.file("f"), kVerify, true);
    const std::string before = packedFileOf({rec(1, 10)});
    ASSERT_TRUE(Seed(store, before));
    const TestRecord added = rec(2, 20, "two");
    TestRecord r = added;
    // Writes 1 and 2 copy the old record, 3 is the new record's length.
    ossFaultArm(OSS_FAULT_WRITE, 3, 0);
    EXPECT_EQ(GENREG_RC_APPEND_FAILED, store.Add(SEL_KEY, &r));
    ossFaultDisarm();
    EXPECT_TRUE(isPackedForm(r, added));
    EXPECT_TRUE(IsUntouched(store, before));

    r = added;
    TestRecord duplicate = rec(1, 99);
    store.features &= ~(uint64_t)GENREG_FEATURE_DUPLICATES;
    r = duplicate;
    EXPECT_EQ(GENREG_RC_DUPLICATE, store.Add(SEL_KEY, &r));
    EXPECT_TRUE(isMemoryForm(r, duplicate)) << "refused before it was packed";
}

TEST(BinPacked, AFailedVerificationStillHandsBackTheMemoryForm) {
    TestDir dir;
    TestStore store(dir.file("f"), kVerify, true);
    const std::string before = packedFileOf({rec(1, 10)});
    ASSERT_TRUE(Seed(store, before));
    g_knobs.corrupt = true;
    g_knobs.corruptValue = 20;
    const TestRecord added = rec(2, 20);
    TestRecord r = added;
    EXPECT_EQ(GENREG_RC_VERIFY_FAILED, store.Add(SEL_KEY, &r));
    EXPECT_TRUE(isMemoryForm(r, added)) << "the caller's record as given";
    EXPECT_TRUE(IsUntouched(store, before));
}

// A schema whose packing writes a wrong byte produces a copy that differs
// by more, or by other, than the requested change: the verification must
// refuse it and leave the file as it was.
TEST(BinPacked, AWrongByteFromPackingIsRefusedByTheVerification) {
    const std::vector<TestRecord> records = {rec(1, 10), rec(2, 20), rec(3, 30)};
    const struct {
        const char* name;
        int op;  // 0 Add, 1 Change, 2 Delete
        int32_t corruptValue;
    } cases[] = {
        {"Add: the new record", 0, 40},    {"Add: a kept record", 0, 20},
        {"Change: the new record", 1, 22}, {"Change: a kept record", 1, 30},
        {"Delete: a kept record", 2, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        TestStore store(dir.file("f"), kVerify, true);
        const std::string before = packedFileOf(records);
        ASSERT_TRUE(Seed(store, before));
        ResourceBalance balance;
        g_knobs.corrupt = true;
        g_knobs.corruptValue = c.corruptValue;
        TestRecord key = rec(2, 0), added = rec(4, 40), changed = rec(2, 22);
        unsigned rc = c.op == 0   ? store.Add(SEL_KEY, &added)
                      : c.op == 1 ? store.Change(SEL_KEY, &key, &changed)
                                  : store.Delete(SEL_KEY, &key);
        EXPECT_EQ(GENREG_RC_VERIFY_FAILED, rc);
        EXPECT_TRUE(IsUntouched(store, before));
        EXPECT_EQ(0, g_knobs.notifyCalls);
        EXPECT_TRUE(HandleIsIdle(store));
        EXPECT_TRUE(balance.Unchanged());
    }
}

// The packed form may be far larger than the record: the store must give
// PackRecord room for it, read it back and keep it through a rewrite. (A
// store that packed in a buffer of the record's size would write past it.)
TEST(BinPacked, PackedFormsLargerThanTheRecordFitTheStoresBuffers) {
    TestDir dir;
    TestStore store(dir.file("f"), 0, true);
    g_knobs.packPad = 5000;
    const TestRecord big = rec(1, 10, "big");
    TestRecord r = big;
    ASSERT_EQ(0u, store.Add(SEL_KEY, &r));
    EXPECT_TRUE(isMemoryForm(r, big)) << "a packed form that does not fit stays out";
    const std::string content = ReadFileBytes(store.filePath);
    ASSERT_EQ(4 + kPackedHead + 3 + 5000, content.size());

    g_knobs.packPad = 0;
    r = rec(2, 20);
    ASSERT_EQ(0u, store.Add(SEL_KEY, &r));
    TestRecord key = rec(1, 0), out;
    ASSERT_EQ(0u, store.Get(SEL_KEY, &key, &out));
    EXPECT_TRUE(isMemoryForm(out, big));

    store.setFeature(kVerify);
    g_knobs.packPad = 9000;
    key = rec(2, 0);
    r = rec(2, 21);
    ASSERT_EQ(0u, store.Change(SEL_KEY, &key, &r)) << "every record repacked with 9000 bytes";
    EXPECT_EQ((std::vector<int32_t>{1, 2}), keysOf(ReadFileBytes(store.filePath), true));
    EXPECT_EQ(2 * (4 + kPackedHead + 9000) + 3, ReadFileBytes(store.filePath).size());
}

TEST(BinPacked, EveryRewrittenRecordIsPackedAgainstItsOwnStoredImage) {
    TestDir dir;
    TestStore store(dir.file("f"), kVerify, true);
    ASSERT_TRUE(Seed(store, packedFileOf({rec(1, 10), rec(2, 20), rec(3, 30)})));
    TestRecord key = rec(2, 0), r = rec(2, 22);
    ASSERT_EQ(0u, store.Change(SEL_KEY, &key, &r));
    EXPECT_EQ(3, g_knobs.packCalls);
    EXPECT_EQ(0, g_knobs.packCallsWithoutImage);
    EXPECT_FALSE(g_knobs.imageMismatch);
    r = rec(4, 40);
    ASSERT_EQ(0u, store.Add(SEL_KEY, &r));
    EXPECT_EQ(1, g_knobs.packCallsWithoutImage) << "only the appended record has none";
    EXPECT_FALSE(g_knobs.imageMismatch);
}

// With duplicates, the second match was packed again while the caller's
// record already held the packed form of the first: a packed form packed
// twice.
TEST(BinPacked, FaultSecondMatchRepackedAnAlreadyPackedRecord) {
    for (bool verify : {true, false}) {
        TestDir dir;
        TestStore store(dir.file("f"), GENREG_FEATURE_DUPLICATES | (verify ? kVerify : 0), true);
        ASSERT_TRUE(Seed(store, packedFileOf({rec(1, 10), rec(2, 20), rec(1, 30)})));
        TestRecord key = rec(1, 0), r = rec(1, 77, "both");
        ASSERT_EQ(0u, store.Change(SEL_KEY, &key, &r));
        EXPECT_TRUE(
            IsCommitted(store, packedFileOf({rec(1, 77, "both"), rec(2, 20), rec(1, 77, "both")})));
    }
}

// A failed update removes its copy: no corruption marker follows.
TEST(BinPacked, FailedPackingRemovesTheCopyOfChangeAndDelete) {
    const struct {
        bool change;
        bool failUnpack;
        bool copyKept;
        unsigned rc;
    } cases[] = {
        {true, false, false, GENREG_RC_PACK_FAILED},
        {false, false, false, GENREG_RC_PACK_FAILED},
        {true, true, false, GENREG_RC_UNPACK_FAILED},
        {false, true, false, GENREG_RC_UNPACK_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.change ? "Change" : "Delete") +
                     (c.failUnpack ? " unpack" : " pack"));
        TestDir dir;
        TestStore store(dir.file("f"), kVerify, true);
        const std::string before = packedFileOf({rec(1, 10), rec(2, 20)});
        ASSERT_TRUE(Seed(store, before));
        g_knobs.packFail = !c.failUnpack;
        g_knobs.unpackFailAt = c.failUnpack ? 1 : 0;
        TestRecord key = rec(2, 0), r = rec(2, 22);
        EXPECT_EQ(c.rc, c.change ? store.Change(SEL_KEY, &key, &r) : store.Delete(SEL_KEY, &key));
        EXPECT_TRUE(IsUntouched(store, before));
        EXPECT_EQ(c.copyKept, PathExists(store.tempPath));
        EXPECT_TRUE(HandleIsIdle(store));
    }
}

TEST(BinPacked, MissingPackSlotsAreNamed) {
    TestDir dir;
    TestStore store(dir.file("f"), kVerify, true);
    ASSERT_TRUE(Seed(store, packedFileOf({rec(1, 10)})));
    TestRecord key = rec(1, 0), r = rec(1, 11);
    store.PackRecord = nullptr;
    EXPECT_EQ(GENREG_RC_SLOTS_INCOMPLETE, store.Add(SEL_KEY, &r));
    EXPECT_EQ(GENREG_RC_NO_PACK_SLOT, store.Change(SEL_KEY, &key, &r));
    store.PackRecord = testPack;
    store.UnpackRecord = nullptr;
    EXPECT_EQ(GENREG_RC_NO_UNPACK_SLOT, store.Change(SEL_KEY, &key, &r));
    EXPECT_EQ(GENREG_RC_NO_UNPACK_SLOT, store.Delete(SEL_KEY, &key));
    EXPECT_TRUE(IsUntouched(store, packedFileOf({rec(1, 10)})));
}
