// The update hold (LockForUpdate / UnlockForUpdate): a lookup and the
// update that depends on it under one hold of the update lock, for each
// kind of registry file; what the hold keeps out, what a failure leaves,
// and that every path gives back what it took.
#include "reliability_support.h"

#include "platform/fault.h"
#include "platform/oss.h"
#include "txn_support.h"

namespace {

using reliability_test::KindName;
using reliability_test::Store;
using reliability_test::StoreKind;
using store_test::PathExists;
using store_test::ResourceBalance;
using store_test::TestDir;

const uint64_t kHeld = GENREG_STATE_UPDATE_HOLD | GENREG_STATE_LOCK_HELD;

bool Holds(const GenRegFile& handle) {
    return (handle.state & kHeld) == kHeld;
}

class UpdateHold : public testing::TestWithParam<StoreKind> {};

// Get, Add, Change and Delete on the holding handle all work under the
// hold, none of them gives it up, and the lock file stays until the
// caller releases it.
TEST_P(UpdateHold, LookupAndUpdatesRunUnderOneHold) {
    TestDir dir;
    Store store(GetParam(), dir.file("reg"));
    ASSERT_EQ(0u, store.constructRc());
    GenRegFile& file = store.file();
    ResourceBalance balance;
    {
        ASSERT_EQ(0u, file.LockForUpdate(GENREG_WAIT_NONE));
        EXPECT_TRUE(Holds(file));
        int32_t value = 0;
        ASSERT_EQ(0u, store.Add("n", 1));
        EXPECT_TRUE(Holds(file));
        EXPECT_TRUE(PathExists(file.lockPath));
        ASSERT_EQ(0u, store.Get("n", &value));
        EXPECT_EQ(1, value);
        ASSERT_EQ(0u, store.Change("n", value + 1));
        ASSERT_EQ(0u, store.Add("m", 7));
        ASSERT_EQ(0u, store.Delete("m"));
        EXPECT_TRUE(Holds(file));
        EXPECT_TRUE(PathExists(file.lockPath));
        ASSERT_EQ(0u, file.UnlockForUpdate());
    }
    EXPECT_TRUE(store_test::HandleIsIdle(file));
    EXPECT_FALSE(file.state & GENREG_STATE_UPDATE_HOLD);
    EXPECT_FALSE(PathExists(file.lockPath));
    std::map<std::string, int32_t> records;
    ASSERT_EQ(0u, store.Records(&records));
    EXPECT_EQ((std::map<std::string, int32_t>{{"n", 2}}), records);
    EXPECT_TRUE(reliability_test::NoDebris(file));
    EXPECT_TRUE(balance.Unchanged());
}

// Another handle on the file, in this process too, is kept out while the
// hold lasts: without waiting, with a bounded wait, and its own updates;
// readers are not.
TEST_P(UpdateHold, KeepsOtherUpdatersOutButNotReaders) {
    TestDir dir;
    Store holder(GetParam(), dir.file("reg"));
    Store other(GetParam(), dir.file("reg"));
    ASSERT_EQ(0u, holder.Add("n", 1));
    ASSERT_EQ(0u, holder.file().LockForUpdate(GENREG_WAIT_FOREVER));
    EXPECT_EQ(GENREG_RC_LOCKED, other.file().LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_EQ(GENREG_RC_LOCKED, other.file().LockForUpdate(30));
    EXPECT_TRUE(store_test::HandleIsIdle(other.file()));
    int32_t value = 0;
    EXPECT_EQ(0u, other.Get("n", &value));
    EXPECT_EQ(1, value);
    ASSERT_EQ(0u, holder.file().UnlockForUpdate());
    EXPECT_EQ(0u, other.file().LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_EQ(GENREG_RC_LOCKED, holder.file().LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_EQ(0u, other.file().UnlockForUpdate());
}

// A refused update under the hold leaves the file as it was and the hold
// in place; so does a second LockForUpdate.
TEST_P(UpdateHold, ARefusedUpdateKeepsTheHoldAndTheFile) {
    TestDir dir;
    Store store(GetParam(), dir.file("reg"));
    ASSERT_EQ(0u, store.Add("n", 1));
    const std::string before = store_test::ReadFileBytes(store.file().filePath);
    ASSERT_EQ(0u, store.file().LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_EQ(GENREG_RC_LOCK_ALREADY_HELD, store.file().LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_EQ(GENREG_RC_NO_MATCH, store.Change("absent", 5));
    EXPECT_EQ(GENREG_RC_NO_MATCH, store.Delete("absent"));
    if (GetParam() == reliability_test::STORE_GLOBAL) {
        EXPECT_EQ(GENREG_RC_DUPLICATE, store.Add("n", 3));
    }
    EXPECT_TRUE(Holds(store.file()));
    EXPECT_EQ(before, store_test::ReadFileBytes(store.file().filePath));
    ASSERT_EQ(0u, store.file().UnlockForUpdate());
    EXPECT_EQ(0u, store.file().UnlockForUpdate()) << "harmless without a hold";
}

// The handle's teardown gives a forgotten hold up and removes the lock file.
TEST_P(UpdateHold, TeardownReleasesAHeldLock) {
    TestDir dir;
    std::string lockPath;
    ResourceBalance balance;
    {
        Store store(GetParam(), dir.file("reg"));
        ASSERT_EQ(0u, store.file().LockForUpdate(GENREG_WAIT_NONE));
        ASSERT_EQ(0u, store.Add("n", 1));
        lockPath = store.file().lockPath;
        EXPECT_TRUE(PathExists(lockPath));
    }
    EXPECT_FALSE(PathExists(lockPath));
    EXPECT_TRUE(balance.Unchanged());
    Store again(GetParam(), dir.file("reg"));
    EXPECT_EQ(0u, again.file().LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_EQ(0u, again.file().UnlockForUpdate());
}

INSTANTIATE_TEST_SUITE_P(Stores, UpdateHold,
                         testing::Values(reliability_test::STORE_TEXT,
                                         reliability_test::STORE_BINARY,
                                         reliability_test::STORE_GLOBAL),
                         [](const testing::TestParamInfo<StoreKind>& info) {
                             return std::string(KindName(info.param));
                         });

TEST(UpdateHoldHandle, RefusedWithoutPathsAndCreatesAMissingDirectory) {
    txn_test::UnsetStore unset;
    EXPECT_EQ(GENREG_RC_NOT_INITIALIZED, unset.LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_FALSE(unset.state & kHeld);

    TestDir dir;
    const std::string sub = dir.file("missing");
    txn_test::TextStore store(sub + ossPathSeparator() + "reg");
    ASSERT_EQ(0u, store.pathRc);
    ASSERT_EQ(0u, store.LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_TRUE(ossIsDirectory(sub.c_str()));
    EXPECT_EQ(0u, store.UnlockForUpdate());
}

// A scan may be open when the hold is taken and given up; the scan reads
// as always and an update still waits for the scan to close.
TEST(UpdateHoldHandle, CombinesWithAnOpenScan) {
    TestDir dir;
    Store store(reliability_test::STORE_TEXT, dir.file("reg"));
    ASSERT_EQ(0u, store.Add("n", 1));
    GenRegFile& file = store.file();
    ASSERT_EQ(0u, file.OpenScan());
    ASSERT_EQ(0u, file.LockForUpdate(GENREG_WAIT_NONE));
    EXPECT_EQ(GENREG_RC_OPEN_FAILED, store.Change("n", 2));
    EXPECT_TRUE(file.state & GENREG_STATE_SCAN_OPEN);
    ASSERT_EQ(0u, file.CloseScan());
    EXPECT_EQ(0u, store.Change("n", 2));
    ASSERT_EQ(0u, file.OpenScan());
    EXPECT_EQ(0u, file.UnlockForUpdate());
    EXPECT_TRUE(file.state & GENREG_STATE_SCAN_OPEN);
    EXPECT_EQ(0u, file.CloseScan());
    EXPECT_TRUE(store_test::HandleIsIdle(file));
}

#ifdef GENREG_FAULT_INJECTION
// Every failure of taking the hold leaves nothing held and nothing open;
// the failures of giving it up end the hold all the same.
TEST(UpdateHoldFaults, EveryFailurePathGivesBackWhatItTook) {
    struct Case {
        const char* what;
        OSSFaultKind kind;
        bool whileTaking;
        bool inMissingDirectory;
        unsigned expected;
    };
    // The open fails as for a missing directory (error 2 on both systems):
    // a refusal would be retried and end in a success.
    const Case cases[] = {
        {"lock file open", OSS_FAULT_OPEN, true, false, GENREG_RC_LOCK_OPEN_FAILED},
        {"lock", OSS_FAULT_LOCK, true, false, 0},
        {"directory", OSS_FAULT_MKDIR, true, true, GENREG_RC_DIR_CREATE_FAILED},
        {"lock file close", OSS_FAULT_CLOSE, false, false, GENREG_RC_LOCK_CLOSE_FAILED},
        {"lock file delete", OSS_FAULT_DELETE, false, false, GENREG_RC_LOCK_DELETE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDir dir;
        const std::string path = c.inMissingDirectory
                                     ? dir.file("missing") + ossPathSeparator() + "reg"
                                     : dir.file("reg");
        ResourceBalance balance;
        {
            txn_test::TextStore store(path);
            ASSERT_EQ(0u, store.pathRc);
            if (c.whileTaking) {
                ossFaultArm(c.kind, 1, c.kind == OSS_FAULT_OPEN ? 2u : 0u);
                unsigned rc = store.LockForUpdate(GENREG_WAIT_NONE);
                ossFaultDisarm();
                EXPECT_NE(0u, rc);
                if (c.expected != 0) {
                    EXPECT_EQ(c.expected, rc);
                }
                EXPECT_FALSE(store.state & kHeld);
                EXPECT_TRUE(store_test::HandleIsIdle(store));
            } else {
                ASSERT_EQ(0u, store.LockForUpdate(GENREG_WAIT_NONE));
                ossFaultArm(c.kind, 1, 0);
                unsigned rc = store.UnlockForUpdate();
                ossFaultDisarm();
                EXPECT_EQ(c.expected, rc);
                EXPECT_FALSE(store.state & kHeld);
                std::remove(store.lockPath);
            }
        }
        EXPECT_TRUE(balance.Unchanged());
    }
}

// An update that fails inside its transaction under the hold leaves the
// file as it was, the hold in place and no buffer or stream behind.
TEST(UpdateHoldFaults, AFailedUpdateUnderTheHoldKeepsIt) {
    for (StoreKind kind : {reliability_test::STORE_TEXT, reliability_test::STORE_BINARY,
                           reliability_test::STORE_GLOBAL}) {
        SCOPED_TRACE(KindName(kind));
        TestDir dir;
        ResourceBalance balance;
        {
            Store store(kind, dir.file("reg"));
            ASSERT_EQ(0u, store.Add("n", 1));
            const std::string before = store_test::ReadFileBytes(store.file().filePath);
            ASSERT_EQ(0u, store.file().LockForUpdate(GENREG_WAIT_NONE));
            ossFaultArm(OSS_FAULT_WRITE, 1, 0);
            EXPECT_NE(0u, store.Change("n", 2));
            ossFaultDisarm();
            EXPECT_TRUE(Holds(store.file()));
            EXPECT_FALSE(store.file().stream || store.file().tempStream);
            EXPECT_EQ(before, store_test::ReadFileBytes(store.file().filePath));
            EXPECT_EQ(0u, store.Change("n", 3));
            // Left held on purpose: the teardown releases it.
        }
        EXPECT_TRUE(balance.Unchanged());
    }
}
#endif

}  // namespace
