// The verification pass on hand-made pairs of files: the registry file and
// a copy that differs from it by the requested change, by more, or by
// something else. Only the first kind may be committed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bin_support.h"
#include "genreg/bin_store.h"

using namespace bin_test;

namespace {

const TestRecord A = rec(1, 10, "a"), B = rec(2, 20, "b"), C = rec(3, 30, "c");
const TestRecord K = rec(7, 70, "k"), K2 = rec(7, 71, "k2"), N = rec(7, 77, "new");
const TestRecord X = rec(9, 90, "x");
const TestRecord kNone = rec();

struct Case {
    const char* name;
    std::string old, copy;
    unsigned type;
    TestRecord key, record;  // kNone: passed as null
    bool duplicates;
    unsigned rc;
};

// B with a byte changed after the terminator of its text: the schema's
// compare cannot see it, the stored bytes differ.
std::string bWithHiddenByte() {
    TestRecord b = B;
    b.text[20] = 'h';
    return fileOf({b});
}

// Records both sides share, several blocks of the pass's reads: 36-byte
// records, so that blocks end inside them.
std::string sharedRecords() {
    std::vector<TestRecord> records;
    for (int k = 0; k < 1000; ++k)
        records.push_back(k % 3 == 0 ? A : k % 3 == 1 ? B : C);
    return fileOf(records);
}

// sharedRecords() with B's hidden byte changed in one record far inside.
std::string sharedRecordsEdited() {
    const std::string shared = sharedRecords(), b = fileOf({B});
    const size_t at = shared.find(b, 20000);
    return shared.substr(0, at) + bWithHiddenByte() + shared.substr(at + b.size());
}

std::string cutShort(const std::vector<TestRecord>& records) {
    std::string s = fileOf(records);
    return s.substr(0, s.size() - 5);
}

// The pass on one case: committed with result 0, else refused with the
// file as it was and the copy removed.
void expectVerdict(const Case& c) {
    SCOPED_TRACE(c.name);
    TestDir dir;
    TestStore store(dir.file("f"), GENREG_FEATURE_VERIFY |
                                       (c.duplicates ? (uint64_t)GENREG_FEATURE_DUPLICATES : 0));
    ASSERT_TRUE(Seed(store, c.old));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, c.copy));
    ResourceBalance balance;
    const bool hasKey = c.type != GENREG_TXN_ADD;
    const bool hasRecord = c.type != GENREG_TXN_DELETE;
    EXPECT_EQ(c.rc, VerifyBinUpdate(&store, c.type, SEL_KEY, hasRecord ? &c.record : nullptr,
                                    hasKey ? &c.key : nullptr));
    if (c.rc == 0) {
        EXPECT_TRUE(IsCommitted(store, c.copy));
    } else {
        EXPECT_TRUE(IsUntouched(store, c.old));
        EXPECT_FALSE(store_test::PathExists(store.tempPath)) << "a refused copy is removed";
    }
    EXPECT_TRUE(HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}

// count distinct records, none matching K; the ones at skip are left out.
std::vector<TestRecord> run(int first, int count, int skip = -1) {
    std::vector<TestRecord> records;
    for (int i = first; i < first + count; ++i)
        if (i != skip) records.push_back(rec(100 + i, i, "run"));
    return records;
}

std::string fileOf(std::vector<TestRecord> a, const std::vector<TestRecord>& b,
                   const std::vector<TestRecord>& c = {}) {
    a.insert(a.end(), b.begin(), b.end());
    a.insert(a.end(), c.begin(), c.end());
    return fileOf(a);
}

}  // namespace

TEST(BinVerify, OnlyACopyThatDiffersByTheRequestedChangeIsCommitted) {
    const unsigned kAdd = GENREG_TXN_ADD, kChange = GENREG_TXN_CHANGE, kDelete = GENREG_TXN_DELETE;
    const Case cases[] = {
        {"Add to an empty file", "", fileOf({N}), kAdd, kNone, N, false, 0},
        {"Add after the last record", fileOf({A, B}), fileOf({A, B, N}), kAdd, kNone, N, false, 0},
        {"Add whose copy lost a record", fileOf({A, B}), fileOf({B, N}), kAdd, kNone, N, false,
         GENREG_RC_VERIFY_UNEXPECTED_CHANGE},
        {"Add without an added record", fileOf({A}), fileOf({A}), kAdd, kNone, N, false,
         GENREG_RC_VERIFY_NO_ADDED_RECORD},
        {"Add of another record", fileOf({A}), fileOf({A, X}), kAdd, kNone, N, false,
         GENREG_RC_VERIFY_ADDED_MISMATCH},
        {"Add of two records", fileOf({A}), fileOf({A, N, N}), kAdd, kNone, N, false,
         GENREG_RC_VERIFY_TOO_MANY_ADDED},
        {"Change of one record", fileOf({A, K, B}), fileOf({A, N, B}), kChange, K, N, false, 0},
        {"Change of a record the key does not match", fileOf({A, C}), fileOf({A, N}), kChange, K, N,
         false, GENREG_RC_VERIFY_KEY_MISMATCH},
        {"Change to another record", fileOf({A, K}), fileOf({A, X}), kChange, K, N, false,
         GENREG_RC_VERIFY_WRONG_RECORD},
        {"Change whose copy lost the last record", fileOf({A, K}), fileOf({A}), kChange, K, N,
         false, GENREG_RC_VERIFY_COPY_SHORT},
        {"Change whose copy grew", fileOf({K}), fileOf({N, X}), kChange, K, N, false,
         GENREG_RC_VERIFY_EXTRA_RECORD},
        {"Change of two records without duplicates", fileOf({K, K2}), fileOf({N, N}), kChange, K, N,
         false, GENREG_RC_VERIFY_DUPLICATES},
        {"Change of two records with duplicates", fileOf({K, K2}), fileOf({N, N}), kChange, K, N,
         true, 0},
        {"Change that changed nothing", fileOf({A, B}), fileOf({A, B}), kChange, K, N, false,
         GENREG_RC_VERIFY_NOTHING_CHANGED},
        {"Change with a byte the schema cannot see", fileOf({K, B}),
         fileOf({N}) + bWithHiddenByte(), kChange, K, N, false, GENREG_RC_VERIFY_KEY_MISMATCH},
        {"Delete of the last record", fileOf({A, K}), fileOf({A}), kDelete, K, kNone, false, 0},
        {"Delete in the middle", fileOf({A, K, B}), fileOf({A, B}), kDelete, K, kNone, false, 0},
        {"Delete of the only record", fileOf({K}), "", kDelete, K, kNone, false, 0},
        {"Delete of two adjacent records with duplicates", fileOf({A, K, K2, B}), fileOf({A, B}),
         kDelete, K, kNone, true, 0},
        {"Delete of two adjacent records without duplicates", fileOf({A, K, K2, B}), fileOf({A, B}),
         kDelete, K, kNone, false, GENREG_RC_VERIFY_DUPLICATES},
        {"Delete of two trailing records with duplicates", fileOf({A, K, K2}), fileOf({A}), kDelete,
         K, kNone, true, 0},
        {"Delete of a record the key does not match", fileOf({A, C, B}), fileOf({A, B}), kDelete, K,
         kNone, false, GENREG_RC_VERIFY_DELETE_MISMATCH},
        {"Delete of a trailing record the key does not match", fileOf({A, B}), fileOf({A}), kDelete,
         K, kNone, false, GENREG_RC_VERIFY_WRONG_RECORD},
        {"Delete whose copy grew, nothing left out", fileOf({A}), fileOf({A, X}), kDelete, K, kNone,
         false, GENREG_RC_VERIFY_EXTRA_RECORD},
        {"Delete whose old file ends before the copy catches up", fileOf({A, K}), fileOf({A, X}),
         kDelete, K, kNone, false, GENREG_RC_VERIFY_EXTRA_RECORD},
        {"Delete that changed nothing", fileOf({A}), fileOf({A}), kDelete, K, kNone, false,
         GENREG_RC_VERIFY_NOTHING_CHANGED},
        {"a copy cut short", fileOf({A, B}), cutShort({A, B}), kChange, K, N, false,
         GENREG_RC_VERIFY_READ_COPY_FAILED},
        {"Change between shared records", sharedRecords() + fileOf({K}) + sharedRecords(),
         sharedRecords() + fileOf({N}) + sharedRecords(), kChange, K, N, false, 0},
        {"Change with a byte far behind it changed", fileOf({K}) + sharedRecords(),
         fileOf({N}) + sharedRecordsEdited(), kChange, K, N, false, GENREG_RC_VERIFY_KEY_MISMATCH},
        {"Delete between shared records", sharedRecords() + fileOf({K}) + sharedRecords(),
         sharedRecords() + sharedRecords(), kDelete, K, kNone, false, 0},
        {"Add behind shared records", sharedRecords(), sharedRecords() + fileOf({N}), kAdd, kNone,
         N, false, 0},
        {"a copy cut short inside shared records", sharedRecords() + fileOf({K}),
         sharedRecords().substr(0, 20001), kChange, K, N, false, GENREG_RC_VERIFY_READ_COPY_FAILED},
        {"a damaged old file", fileOf({A}) + "\x01", fileOf({A, N}), kAdd, kNone, N, false,
         GENREG_RC_READ_FAILED},
    };
    for (const Case& c : cases)
        expectVerdict(c);
}

// The records both sides share are passed in blocks of bytes, with records
// across the blocks' edges: the changes before, between and behind runs of
// several blocks are found as record by record, so is a change far behind
// the requested one.
TEST(BinVerify, ChangesAmongLongRunsOfSharedRecordsAreFound) {
    const unsigned kAdd = GENREG_TXN_ADD, kChange = GENREG_TXN_CHANGE, kDelete = GENREG_TXN_DELETE;
    const std::string longRuns = fileOf(run(0, 300), {K}, run(300, 300));
    const Case cases[] = {
        {"Change between two runs", longRuns, fileOf(run(0, 300), {N}, run(300, 300)), kChange, K,
         N, false, 0},
        {"Change first, then a run", fileOf({K}, run(0, 300)), fileOf({N}, run(0, 300)), kChange, K,
         N, false, 0},
        {"Change with a record far behind it changed", longRuns,
         fileOf(run(0, 300), {N}, run(300, 299)) + fileOf({X}), kChange, K, N, false,
         GENREG_RC_VERIFY_KEY_MISMATCH},
        {"Change with a record far before it changed", longRuns,
         fileOf(run(0, 250), {X}, run(251, 49)) + fileOf({N}, run(300, 300)), kChange, K, N, false,
         GENREG_RC_VERIFY_KEY_MISMATCH},
        {"Change whose copy is cut short in a run", longRuns,
         fileOf(run(0, 300), {N}, run(300, 300)).substr(0, 20000), kChange, K, N, false,
         GENREG_RC_VERIFY_READ_COPY_FAILED},
        {"Delete between two runs", longRuns, fileOf(run(0, 600)), kDelete, K, kNone, false, 0},
        {"Delete with a record far behind it left out too", longRuns, fileOf(run(0, 600, 450)),
         kDelete, K, kNone, false, GENREG_RC_VERIFY_DELETE_MISMATCH},
        {"Add behind two runs", longRuns, fileOf(run(0, 300), {K}, run(300, 300)) + fileOf({N}),
         kAdd, kNone, N, false, 0},
        {"Add with a record of a run changed", longRuns,
         fileOf(run(0, 300), {K}, run(300, 200)) + fileOf({X}, run(501, 99), {N}), kAdd, kNone, N,
         false, GENREG_RC_VERIFY_UNEXPECTED_CHANGE},
        {"Add behind a run ending in a stray byte", fileOf(run(0, 300)) + "\x30",
         fileOf(run(0, 300), {N}), kAdd, kNone, N, false, GENREG_RC_READ_FAILED},
    };
    for (const Case& c : cases)
        expectVerdict(c);
}

// A Delete whose copy still holds records after the old file ended, once a
// record was found left out, was not refused: the extra record was committed.
TEST(BinVerify, FaultDeleteCommittedACopyWithAnExtraRecordAfterACountedChange) {
    TestDir dir;
    TestStore store(dir.file("f"), GENREG_FEATURE_VERIFY | GENREG_FEATURE_DUPLICATES);
    const std::string old = fileOf({A, K, B}), copy = fileOf({A, B, X});
    ASSERT_TRUE(Seed(store, old));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, copy));
    EXPECT_EQ(GENREG_RC_VERIFY_EXTRA_RECORD,
              VerifyBinUpdate(&store, GENREG_TXN_DELETE, SEL_KEY, nullptr, &K));
    EXPECT_TRUE(IsUntouched(store, old));
}

TEST(BinVerify, PackedPairsAreComparedInMemoryForm) {
    TestDir dir;
    TestStore store(dir.file("f"), GENREG_FEATURE_VERIFY, true);
    // The copy's form of B carries padding the old one lacks: the same record.
    g_knobs.packPad = 3;
    std::string paddedB;
    {
        TestRecord b = B;
        void* p = nullptr;
        ASSERT_EQ(0u, ossMemAlloc(&p, 64, "test"));
        std::memcpy(p, &b, sizeof b);
        ASSERT_EQ(0u, testPack(&p, nullptr));
        paddedB = frame(std::string(static_cast<char*>(p), packedSizeOf((unsigned char*)p)));
        ossMemFree(&p, "test");
    }
    const std::string old = packedFileOf({A, K, B}), copy = packedFileOf({A, N}) + paddedB;
    ASSERT_TRUE(Seed(store, old));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, copy));
    EXPECT_EQ(0u, VerifyBinUpdate(&store, GENREG_TXN_CHANGE, SEL_KEY, &N, &K));
    EXPECT_TRUE(IsCommitted(store, copy));

    ASSERT_TRUE(WriteFileBytes(store.tempPath, packedFileOf({A, N, B})));
    g_knobs.unpackCalls = 0;
    g_knobs.unpackFailAt = 2;
    EXPECT_EQ(GENREG_RC_UNPACK_FAILED, VerifyBinUpdate(&store, GENREG_TXN_CHANGE, SEL_KEY, &N, &K));
    EXPECT_TRUE(IsUntouched(store, copy));
}

// Pairs of identical stored bytes are equal without the schema: only the
// records the update wrote, and the old ones facing them, are unpacked.
TEST(BinVerify, OnlyPackedPairsThatDifferAreUnpacked) {
    const struct {
        const char* name;
        std::vector<TestRecord> old, copy;
        unsigned type;
        int unpacks;
    } cases[] = {
        {"Change", {A, K, B, C}, {A, N, B, C}, GENREG_TXN_CHANGE, 2},
        {"Delete", {A, K, B, C}, {A, B, C}, GENREG_TXN_DELETE, 3},
        {"Add", {A, B}, {A, B, N}, GENREG_TXN_ADD, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        TestStore store(dir.file("f"), GENREG_FEATURE_VERIFY, true);
        const std::string old = packedFileOf(c.old), copy = packedFileOf(c.copy);
        ASSERT_TRUE(Seed(store, old));
        ASSERT_TRUE(WriteFileBytes(store.tempPath, copy));
        g_knobs.unpackCalls = 0;
        EXPECT_EQ(0u, VerifyBinUpdate(&store, c.type, SEL_KEY, &N, &K));
        EXPECT_EQ(c.unpacks, g_knobs.unpackCalls);
        EXPECT_TRUE(IsCommitted(store, copy));
    }
}

TEST(BinVerify, IncompleteSlotsAndFailedAllocationsCommitNothing) {
    TestDir dir;
    TestStore store(dir.file("f"), GENREG_FEATURE_VERIFY);
    const std::string old = fileOf({A}), copy = fileOf({A, N});
    ASSERT_TRUE(Seed(store, old));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, copy));
    ResourceBalance balance;
    store.CompareRecord = nullptr;
    EXPECT_EQ(GENREG_RC_SLOTS_INCOMPLETE,
              VerifyBinUpdate(&store, GENREG_TXN_ADD, SEL_KEY, &N, nullptr));
    store.CompareRecord = testCompare;
    const struct {
        uint32_t nth;
        unsigned rc;
    } allocs[] = {{1, GENREG_RC_VERIFY_ALLOC_OLD}, {2, GENREG_RC_VERIFY_ALLOC_COPY}};
    for (const auto& a : allocs) {
        ossFaultArm(OSS_FAULT_ALLOC, a.nth, 0);
        EXPECT_EQ(a.rc, VerifyBinUpdate(&store, GENREG_TXN_ADD, SEL_KEY, &N, nullptr));
        ossFaultDisarm();
    }
    EXPECT_TRUE(IsUntouched(store, old));
    EXPECT_TRUE(HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}
