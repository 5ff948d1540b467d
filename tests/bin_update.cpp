// Updates of a binary store: what Add, Change and Delete leave in the file
// and beside it, the refusals, the hooks, damaged files and failures of the
// platform at every step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bin_support.h"
#include "platform/fault.h"

using namespace bin_test;

namespace {

const uint64_t kVerify = GENREG_FEATURE_VERIFY;
const uint64_t kDuplicates = GENREG_FEATURE_DUPLICATES;

enum Op { ADD, CHANGE, DELETE };

// Runs op with key and new record.
unsigned run(TestStore& store, Op op, uint64_t selector, TestRecord key, TestRecord record) {
    switch (op) {
        case ADD:
            return store.Add(selector, &record);
        case CHANGE:
            return store.Change(selector, &key, &record);
        default:
            return store.Delete(selector, &key);
    }
}

const char* nameOf(Op op) {
    return op == ADD ? "Add" : op == CHANGE ? "Change" : "Delete";
}

}  // namespace

TEST(BinUpdate, AddCreatesAMissingFileAndDirectory) {
    for (uint64_t features : {kVerify, (uint64_t)0, kDuplicates}) {
        SCOPED_TRACE(features);
        TestDir dir;
        TestStore store(dir.file("sub") + ossPathSeparator() + "f", features);
        ResourceBalance balance;
        TestRecord r = rec(1, 10, "one");
        ASSERT_EQ(0u, store.Add(SEL_KEY, &r));
        EXPECT_TRUE(IsCommitted(store, fileOf({rec(1, 10, "one")})));
        EXPECT_TRUE(NoCopyLeft(store));
        EXPECT_TRUE(HandleIsIdle(store));
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST(BinUpdate, AddAppendsAfterTheLastRecordInEveryMode) {
    const uint64_t modes[] = {kVerify, 0, kVerify | kDuplicates, kDuplicates};
    for (uint64_t features : modes) {
        SCOPED_TRACE(features);
        TestDir dir;
        TestStore store(dir.file("f"), features);
        ASSERT_TRUE(Seed(store, fileOf({rec(1, 10), rec(2, 20)})));
        TestRecord r = rec(3, 30);
        ASSERT_EQ(0u, store.Add(SEL_KEY, &r));
        EXPECT_TRUE(IsCommitted(store, fileOf({rec(1, 10), rec(2, 20), rec(3, 30)})));
        EXPECT_TRUE(NoCopyLeft(store));
    }
}

TEST(BinUpdate, AddOfAMatchingRecordIsADuplicateUnlessDuplicatesAreAllowed) {
    for (uint64_t features : {kVerify, kVerify | kDuplicates, kDuplicates}) {
        SCOPED_TRACE(features);
        TestDir dir;
        TestStore store(dir.file("f"), features);
        const std::string before = fileOf({rec(1, 10), rec(2, 20)});
        ASSERT_TRUE(Seed(store, before));
        TestRecord r = rec(1, 99);
        if (features & kDuplicates) {
            ASSERT_EQ(0u, store.Add(SEL_KEY, &r));
            EXPECT_TRUE(IsCommitted(store, before + fileOf({rec(1, 99)})))
                << "appended after the last record, not next to its twin";
        } else {
            EXPECT_EQ(GENREG_RC_DUPLICATE, store.Add(SEL_KEY, &r));
            EXPECT_TRUE(IsUntouched(store, before));
            EXPECT_TRUE(NoCopyLeft(store)) << "a refused Add leaves no copy";
            EXPECT_EQ(0, g_knobs.notifyCalls);
        }
        EXPECT_TRUE(HandleIsIdle(store));
    }
}

TEST(BinUpdate, ChangeReplacesMatchesInPlaceAndRefusesASecondWithoutDuplicates) {
    for (uint64_t features : {kVerify, kVerify | kDuplicates, (uint64_t)0, kDuplicates}) {
        SCOPED_TRACE(features);
        TestDir dir;
        TestStore store(dir.file("f"), features);
        const std::string before = fileOf({rec(1, 10), rec(2, 20), rec(1, 30), rec(3, 40)});
        ASSERT_TRUE(Seed(store, before));
        TestRecord key = rec(1, 0), r = rec(1, 77, "new");
        if (features & kDuplicates) {
            ASSERT_EQ(0u, store.Change(SEL_KEY, &key, &r));
            EXPECT_TRUE(IsCommitted(
                store, fileOf({rec(1, 77, "new"), rec(2, 20), rec(1, 77, "new"), rec(3, 40)})));
        } else {
            EXPECT_EQ(GENREG_RC_MULTIPLE_MATCHES, store.Change(SEL_KEY, &key, &r));
            EXPECT_TRUE(IsUntouched(store, before));
        }
        key = rec(2, 0);
        r = rec(2, 22);
        ASSERT_EQ(0u, store.Change(SEL_KEY, &key, &r));
        EXPECT_EQ((std::vector<int32_t>{1, 2, 1, 3}), keysOf(ReadFileBytes(store.filePath)));
        EXPECT_TRUE(HandleIsIdle(store));
    }
}

TEST(BinUpdate, DeleteRemovesEveryMatchWithDuplicatesAndKeepsTheOrder) {
    for (uint64_t features : {kVerify, kVerify | kDuplicates, kDuplicates}) {
        SCOPED_TRACE(features);
        TestDir dir;
        TestStore store(dir.file("f"), features);
        const std::string before = fileOf({rec(1, 10), rec(2, 20), rec(2, 21), rec(3, 30)});
        ASSERT_TRUE(Seed(store, before));
        TestRecord key = rec(2, 0);
        if (features & kDuplicates) {
            ASSERT_EQ(0u, store.Delete(SEL_KEY, &key));
            EXPECT_TRUE(IsCommitted(store, fileOf({rec(1, 10), rec(3, 30)})));
        } else {
            EXPECT_EQ(GENREG_RC_MULTIPLE_MATCHES, store.Delete(SEL_KEY, &key));
            EXPECT_TRUE(IsUntouched(store, before));
            EXPECT_TRUE(NoCopyLeft(store));
        }
        key = rec(3, 0);
        ASSERT_EQ(0u, store.Delete(SEL_KEY, &key)) << "the last record";
        key = rec(1, 0);
        ASSERT_EQ(0u, store.Delete(SEL_KEY, &key)) << "the first record";
        EXPECT_EQ(ReadFileBytes(store.filePath).empty(), (features & kDuplicates) != 0);
    }
}

TEST(BinUpdate, RefusalsLeaveTheFileAndNoCopyBehind) {
    struct Case {
        const char* name;
        std::vector<TestRecord> records;
        Op op;
        TestRecord key, record;
        unsigned rc;
    };
    const Case cases[] = {
        {"Change of a missing key", {rec(1, 10)}, CHANGE, rec(5, 0), rec(5, 1), GENREG_RC_NO_MATCH},
        {"Change in an empty file", {}, CHANGE, rec(5, 0), rec(5, 1), GENREG_RC_NO_MATCH},
        {"Delete of a missing key", {rec(1, 10)}, DELETE, rec(5, 0), rec(), GENREG_RC_NO_MATCH},
        {"Delete in an empty file", {}, DELETE, rec(5, 0), rec(), GENREG_RC_NO_MATCH},
        {"Change to what is stored",
         {rec(1, 10, "x")},
         CHANGE,
         rec(1, 0),
         rec(1, 10, "x"),
         GENREG_RC_UNCHANGED},
        {"Change of two matches",
         {rec(1, 1), rec(1, 2)},
         CHANGE,
         rec(1, 0),
         rec(1, 3),
         GENREG_RC_MULTIPLE_MATCHES},
        {"Delete of two matches",
         {rec(1, 1), rec(1, 2)},
         DELETE,
         rec(1, 0),
         rec(),
         GENREG_RC_MULTIPLE_MATCHES},
        {"Add of a duplicate", {rec(1, 1)}, ADD, rec(), rec(1, 5), GENREG_RC_DUPLICATE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        TestStore store(dir.file("f"),
                        kVerify | GENREG_FEATURE_NOTIFY | GENREG_FEATURE_POST_UPDATE);
        const std::string before = fileOf(c.records);
        ASSERT_TRUE(Seed(store, before));
        ResourceBalance balance;
        EXPECT_EQ(c.rc, run(store, c.op, SEL_KEY, c.key, c.record));
        EXPECT_TRUE(IsUntouched(store, before));
        EXPECT_TRUE(NoCopyLeft(store));
        EXPECT_FALSE(PathExists(store.lockPath));
        EXPECT_EQ(0, g_knobs.notifyCalls);
        EXPECT_EQ(0, g_knobs.postCalls);
        EXPECT_TRUE(HandleIsIdle(store));
        EXPECT_TRUE(balance.Unchanged());
    }
}

// A refused update removes its copy, so the next update makes no marker.
TEST(BinUpdate, WithoutVerificationAnAbandonedCopyIsRemoved) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    const std::string before = fileOf({rec(1, 10)});
    ASSERT_TRUE(Seed(store, before));
    TestRecord key = rec(9, 0), r = rec(9, 1);
    EXPECT_EQ(GENREG_RC_NO_MATCH, store.Change(SEL_KEY, &key, &r));
    EXPECT_TRUE(IsUntouched(store, before));
    EXPECT_FALSE(PathExists(store.tempPath));
    key = rec(1, 0);
    ASSERT_EQ(0u, store.Delete(SEL_KEY, &key));
    EXPECT_TRUE(IsCommitted(store, ""));
    EXPECT_FALSE(PathExists(store.corruptPath));
}

TEST(BinUpdate, HooksRunOnlyAfterSuccessAndARefusingNotifyVetoesPostUpdate) {
    struct Case {
        Op op;
        unsigned notifyRc;
        uint64_t operation;
        int postCalls;
    };
    const Case cases[] = {
        {ADD, 0, GENREG_TXN_ADD, 1},       {ADD, 9, GENREG_TXN_ADD, 1},
        {CHANGE, 0, GENREG_TXN_CHANGE, 1}, {CHANGE, 9, GENREG_TXN_CHANGE, 0},
        {DELETE, 0, GENREG_TXN_DELETE, 1}, {DELETE, 9, GENREG_TXN_DELETE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(nameOf(c.op)) + " notify=" + std::to_string(c.notifyRc));
        TestDir dir;
        TestStore store(dir.file("f"),
                        kVerify | GENREG_FEATURE_NOTIFY | GENREG_FEATURE_POST_UPDATE);
        ASSERT_TRUE(Seed(store, fileOf({rec(1, 10)})));
        g_knobs.notifyRc = c.notifyRc;
        g_knobs.postRc = 4;  // logged only
        TestRecord key = rec(1, 0), r = c.op == ADD ? rec(2, 20) : rec(1, 11);
        EXPECT_EQ(0u, run(store, c.op, SEL_KEY, key, r));
        EXPECT_EQ(1, g_knobs.notifyCalls);
        EXPECT_EQ(c.operation, g_knobs.notifyOperation);
        EXPECT_EQ(c.postCalls, g_knobs.postCalls);
    }
}

TEST(BinUpdate, AnEmptyPostUpdateSlotIsReportedAfterTheCommit) {
    TestDir dir;
    TestStore store(dir.file("f"), kVerify | GENREG_FEATURE_POST_UPDATE);
    store.PostUpdate = nullptr;
    TestRecord r = rec(1, 10);
    EXPECT_EQ(GENREG_RC_NO_POST_UPDATE_SLOT, store.Add(SEL_KEY, &r));
    EXPECT_TRUE(IsCommitted(store, fileOf({rec(1, 10)})));
}

TEST(BinUpdate, ArgumentAndSlotChecksFailBeforeAnythingIsCreated) {
    struct Case {
        const char* name;
        Op op;
        void (*spoil)(TestStore&);
        unsigned rc;
    };
    const Case cases[] = {
        {"Add without ValidateRecord", ADD, [](TestStore& s) { s.ValidateRecord = nullptr; },
         GENREG_RC_SLOTS_INCOMPLETE},
        {"Add without GetMaxRecordSize", ADD, [](TestStore& s) { s.GetMaxRecordSize = nullptr; },
         GENREG_RC_SLOTS_INCOMPLETE},
        {"Add of a refused record", ADD, [](TestStore&) { g_knobs.validateRc = 3; },
         GENREG_RC_INVALID_RECORD},
        {"Change without ValidateRecord", CHANGE, [](TestStore& s) { s.ValidateRecord = nullptr; },
         GENREG_RC_NO_VALIDATE_SLOT},
        {"Delete with a record size of 2", DELETE,
         [](TestStore& s) {
             s.GetMaxRecordSize = [](uint64_t* n) -> unsigned { return *n = 2, 0u; };
         },
         GENREG_RC_RECORD_TOO_SMALL},
        {"Change without GetMaxRecordSize", CHANGE,
         [](TestStore& s) { s.GetMaxRecordSize = nullptr; }, GENREG_RC_NO_MAX_SIZE_SLOT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        TestStore store(dir.file("sub") + ossPathSeparator() + "f", kVerify);
        c.spoil(store);
        ResourceBalance balance;
        EXPECT_EQ(c.rc, run(store, c.op, SEL_KEY, rec(1, 0), rec(1, 1)));
        EXPECT_FALSE(PathExists(dir.file("sub")));
        EXPECT_TRUE(balance.Unchanged());
    }
    TestDir dir;
    TestStore store(dir.file("f"), kVerify);
    TestRecord r = rec(1, 1);
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, store.Add(SEL_KEY, nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, store.Change(SEL_KEY, nullptr, &r));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, store.Change(SEL_KEY, &r, nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, store.Delete(SEL_KEY, nullptr));
}

// Each damage a reader meets must make every update that reads the file
// fail and leave the file exactly as it was: a rewrite would otherwise turn
// the damage into a different, well-formed record or drop records.
TEST(BinUpdate, AnUpdateOfADamagedFileFailsWithoutChangingIt) {
    const std::string good = fileOf({rec(1, 10), rec(2, 20)});
    const struct {
        const char* name;
        std::string content;
    } damages[] = {
        {"truncated length prefix", good + std::string("\x24\x00", 2)},
        {"length past the end", good + frame(bytesOf(rec(3, 30))).substr(0, 20)},
        {"one stray byte", good + std::string("\x01", 1)},
        {"three stray zero bytes", good + std::string(3, '\0')},
        {"zero-length record", fileOf({rec(1, 10)}) + frame("") + fileOf({rec(2, 20)})},
        {"one-byte record", frame("a") + good},
        {"two-byte record", good + frame("ab")},
        {"record longer than the schema's", frame(bytesOf(rec(7, 70)) + "tail") + good},
        {"record shorter than the schema's", frame(bytesOf(rec(7, 70)).substr(0, 20)) + good},
    };
    struct Update {
        Op op;
        uint64_t features;
    };
    const Update updates[] = {{ADD, kVerify}, {ADD, 0},          {CHANGE, kVerify},
                              {CHANGE, 0},    {DELETE, kVerify}, {DELETE, 0}};
    for (const auto& damage : damages) {
        for (const Update& u : updates) {
            SCOPED_TRACE(std::string(damage.name) + ", " + nameOf(u.op) +
                         (u.features ? " verified" : ""));
            TestDir dir;
            TestStore store(dir.file("f"), u.features);
            ASSERT_TRUE(Seed(store, damage.content));
            ResourceBalance balance;
            EXPECT_EQ(GENREG_RC_READ_FAILED,
                      run(store, u.op, SEL_KEY, rec(2, 0), u.op == ADD ? rec(9, 9) : rec(2, 22)));
            EXPECT_TRUE(IsUntouched(store, damage.content));
            EXPECT_TRUE(HandleIsIdle(store));
            EXPECT_TRUE(balance.Unchanged());
        }
    }
}

// The platform fails its nth call of a kind; whatever the step, the file
// holds the whole old or the whole new content, the handle is idle and
// nothing leaks. Runs until the update gets through without the failure.
TEST(BinUpdate, APlatformFailureAtAnyStepLosesNothing) {
    const OSSFaultKind kinds[] = {OSS_FAULT_ALLOC, OSS_FAULT_READ,   OSS_FAULT_WRITE,
                                  OSS_FAULT_OPEN,  OSS_FAULT_CLOSE,  OSS_FAULT_INFO,
                                  OSS_FAULT_SYNC,  OSS_FAULT_RENAME, OSS_FAULT_REPLACE};
    const std::vector<TestRecord> records = {rec(1, 10), rec(2, 20), rec(3, 30)};
    struct Update {
        Op op;
        std::vector<TestRecord> after;
    };
    const Update updates[] = {
        {ADD, {rec(1, 10), rec(2, 20), rec(3, 30), rec(4, 40)}},
        {CHANGE, {rec(1, 10), rec(2, 22), rec(3, 30)}},
        {DELETE, {rec(1, 10), rec(3, 30)}},
    };
    for (bool packed : {false, true}) {
        const std::string before = packed ? packedFileOf(records) : fileOf(records);
        for (const Update& u : updates) {
            const std::string after = packed ? packedFileOf(u.after) : fileOf(u.after);
            for (OSSFaultKind kind : kinds) {
                for (uint32_t nth = 1;; ++nth) {
                    SCOPED_TRACE(std::string(nameOf(u.op)) + " packed=" + std::to_string(packed) +
                                 " kind=" + std::to_string(kind) + " nth=" + std::to_string(nth));
                    TestDir dir;
                    TestStore store(dir.file("f"), kVerify, packed);
                    ASSERT_TRUE(Seed(store, before));
                    ResourceBalance balance;
                    ossFaultArm(kind, nth, 0);
                    TestRecord key = rec(2, 0);
                    unsigned rc =
                        run(store, u.op, SEL_KEY, key, u.op == ADD ? rec(4, 40) : rec(2, 22));
                    bool fired = ossFaultFired();
                    ossFaultDisarm();
                    EXPECT_TRUE(store_test::FileHoldsOneOf(store.filePath, before, after));
                    EXPECT_TRUE(HandleIsIdle(store));
                    EXPECT_TRUE(balance.Unchanged());
                    if (!fired) {
                        EXPECT_EQ(0u, rc);
                        EXPECT_TRUE(IsCommitted(store, after));
                        break;
                    }
                    if (rc == 0) {
                        EXPECT_TRUE(store_test::FileHolds(store.filePath, after));
                    }
                    ASSERT_LT(nth, 200u) << "the update never got through";
                }
            }
        }
    }
}
