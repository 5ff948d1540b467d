// The update lock: options, states, failures, and the lock-file race.
#include <atomic>
#include <thread>

#include "txn_support.h"

using namespace txn_test;
using store_test::LogCapture;
using store_test::PathExists;
using store_test::ResourceBalance;
using store_test::TestDir;

namespace {

const unsigned EXCL = GENREG_LOCK_EXCLUSIVE;
const unsigned SHARED = GENREG_LOCK_SHARED;
const unsigned WAIT = GENREG_LOCK_WAIT;
const unsigned NOWAIT = GENREG_LOCK_NOWAIT;
const unsigned MKDIR = GENREG_LOCK_CREATE_DIR;

// Deletes a file that is open and true when its name is gone at once, as
// on POSIX. Windows keeps the name until the last handle closes, so the
// race of a re-created lock file cannot arise there while one is open.
bool DeleteKeepingNoName(const char* path) {
    return ossFileDelete(path) == 0 && !PathExists(path);
}
const char* const kNameKept = "this system keeps the name of an open deleted file";

TEST(TxnLock, OptionsWithoutKindOrWaitModeAreRefused) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    for (unsigned options : {0u, WAIT, NOWAIT, MKDIR | WAIT, EXCL, SHARED, EXCL | MKDIR}) {
        SCOPED_TRACE(options);
        EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, AcquireUpdateLock(&store, options));
        EXPECT_TRUE(store_test::HandleIsIdle(store));
        EXPECT_FALSE(PathExists(store.lockPath));
    }
}

// Every valid combination takes the lock, and the kind it takes is the one
// the options name: a second handle asking without waiting sees it.
TEST(TxnLock, OptionCombinationsTakeTheNamedKind) {
    struct Case {
        unsigned holder;
        unsigned contender;
        unsigned expected;
    };
    const Case cases[] = {
        {EXCL | WAIT, EXCL | NOWAIT, GENREG_RC_LOCKED},
        {EXCL | WAIT, SHARED | NOWAIT, GENREG_RC_LOCKED},
        {SHARED | WAIT, SHARED | NOWAIT, 0},
        {SHARED | WAIT, EXCL | NOWAIT, GENREG_RC_LOCKED},
        // Exclusive wins over shared.
        {EXCL | SHARED | WAIT, SHARED | NOWAIT, GENREG_RC_LOCKED},
        {SHARED | WAIT, EXCL | SHARED | NOWAIT, GENREG_RC_LOCKED},
        // Fail-at-once wins over waiting: this would hang otherwise.
        {EXCL | NOWAIT, EXCL | WAIT | NOWAIT, GENREG_RC_LOCKED},
        {EXCL | WAIT | MKDIR, EXCL | NOWAIT | MKDIR, GENREG_RC_LOCKED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "holder 0x" << std::hex << c.holder << " contender 0x" << c.contender);
        TestDir dir;
        TextStore holder(dir.file("reg"));
        TextStore contender(dir.file("reg"));
        ASSERT_EQ(0u, AcquireUpdateLock(&holder, c.holder));
        EXPECT_TRUE(holder.state & GENREG_STATE_LOCK_HELD);
        EXPECT_TRUE(PathExists(holder.lockPath));
        EXPECT_EQ(c.expected, AcquireUpdateLock(&contender, c.contender));
        EXPECT_EQ(c.expected == 0, (contender.state & GENREG_STATE_LOCK_HELD) != 0);
        if (c.expected == 0) {
            EXPECT_EQ(0u, ReleaseUpdateLock(&contender));
        }
        EXPECT_EQ(0u, ReleaseUpdateLock(&holder));
        EXPECT_TRUE(store_test::HandleIsIdle(holder));
        EXPECT_FALSE(PathExists(holder.lockPath));
    }
}

TEST(TxnLock, SecondAcquireOnTheSameHandleIsRefused) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, EXCL | WAIT));
    EXPECT_EQ(GENREG_RC_LOCK_ALREADY_HELD, AcquireUpdateLock(&store, EXCL | WAIT));
    EXPECT_TRUE(store.state & GENREG_STATE_LOCK_HELD);
    EXPECT_EQ(0u, ReleaseUpdateLock(&store));
}

TEST(TxnLock, HandleWithoutPathsIsRefused) {
    UnsetStore store;
    EXPECT_EQ(GENREG_RC_NOT_INITIALIZED, AcquireUpdateLock(&store, EXCL | WAIT));
    EXPECT_EQ(GENREG_RC_UNLOCK_FILE_FAILED, ReleaseUpdateLock(&store));
}

TEST(TxnLock, CreateDirOptionCreatesTheMissingDirectory) {
    TestDir dir;
    std::string nested = dir.file("a") + ossPathSeparator() + "b";
    TextStore store(nested + ossPathSeparator() + "reg");
    EXPECT_EQ(GENREG_RC_LOCK_OPEN_FAILED, AcquireUpdateLock(&store, EXCL | WAIT));
    EXPECT_FALSE(PathExists(nested));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, EXCL | WAIT | MKDIR));
    EXPECT_TRUE(ossIsDirectory(nested.c_str()));
    EXPECT_TRUE(PathExists(store.lockPath));
    EXPECT_FALSE(PathExists(store.filePath));
    EXPECT_EQ(0u, ReleaseUpdateLock(&store));
}

TEST(TxnLock, FileInPlaceOfTheDirectoryFailsDirectoryCreation) {
    TestDir dir;
    ASSERT_TRUE(store_test::WriteFileBytes(dir.file("a"), "not a directory"));
    TextStore store(dir.file("a") + ossPathSeparator() + "reg");
    EXPECT_EQ(GENREG_RC_DIR_CREATE_FAILED, AcquireUpdateLock(&store, EXCL | WAIT | MKDIR));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
}

TEST(TxnLock, DirectoryInPlaceOfTheLockFileFailsTheOpen) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(store_test::MakeDirectory(store.lockPath));
    ResourceBalance balance;
    EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, AcquireUpdateLock(&store, EXCL | NOWAIT));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}

TEST(TxnLock, LockFailureOtherThanTakenIsPassedOnAndClosesTheFile) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ResourceBalance balance;
    ossFaultArm(OSS_FAULT_LOCK, 1, 0);
    unsigned rc = AcquireUpdateLock(&store, EXCL | WAIT);
    ossFaultDisarm();
    EXPECT_NE(0u, rc);
    EXPECT_NE(GENREG_RC_LOCKED, rc);
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}

TEST(TxnLock, ReleaseDeletesTheLockFile) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, EXCL | WAIT));
    ASSERT_TRUE(PathExists(store.lockPath));
    EXPECT_EQ(0u, ReleaseUpdateLock(&store));
    EXPECT_FALSE(PathExists(store.lockPath));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
}

// Shared holders may be several: the name stays until the last one
// releases, so no newcomer can create a fresh file and lock it exclusively
// beside a remaining shared holder.
TEST(TxnLock, SharedLockNameStaysUntilTheLastHolderReleases) {
    TestDir dir;
    TextStore first(dir.file("reg"));
    TextStore second(dir.file("reg"));
    TextStore newcomer(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&first, SHARED | WAIT));
    ASSERT_EQ(0u, AcquireUpdateLock(&second, SHARED | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&first));
    EXPECT_TRUE(PathExists(first.lockPath));
    EXPECT_EQ(GENREG_RC_LOCKED, AcquireUpdateLock(&newcomer, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&second));
    EXPECT_FALSE(PathExists(second.lockPath));
    EXPECT_EQ(0u, AcquireUpdateLock(&newcomer, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&newcomer));
}

TEST(TxnLock, ReleaseWithoutTheLockTouchesNoOnesLockFile) {
    TestDir dir;
    TextStore holder(dir.file("reg"));
    TextStore other(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&holder, EXCL | WAIT));
    EXPECT_EQ(GENREG_RC_UNLOCK_FILE_FAILED, ReleaseUpdateLock(&other));
    EXPECT_TRUE(PathExists(holder.lockPath));
    EXPECT_EQ(GENREG_RC_LOCKED, AcquireUpdateLock(&other, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&holder));
}

// Someone else deleted the lock file while it was held: success, and the
// missing file is logged.
TEST(TxnLock, ReleaseSucceedsWhenTheLockFileIsAlreadyGone) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, EXCL | WAIT));
    ASSERT_EQ(0u, ossFileDelete(store.lockPath));
    // Windows keeps the name of a deleted file until its last handle closes.
    bool nameGone = !PathExists(store.lockPath);
    LogCapture log;
    EXPECT_EQ(0u, ReleaseUpdateLock(&store));
    if (nameGone) {
        EXPECT_EQ(1u, log.Count(GENREG_RC_LOCK_FILE_MISSING));
    }
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_FALSE(PathExists(store.lockPath));
}

// A lock file replaced by a new one under the same name (deleted by one
// process, re-created by another) is not deleted by the first holder: the
// name belongs to the new file's holder.
TEST(TxnLock, ReleaseLeavesALockFileThatReplacedTheHeldOne) {
    TestDir dir;
    TextStore first(dir.file("reg"));
    TextStore second(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&first, EXCL | WAIT));
    if (!DeleteKeepingNoName(first.lockPath)) {
        EXPECT_EQ(0u, ReleaseUpdateLock(&first));
        GTEST_SKIP() << kNameKept;
    }
    ASSERT_EQ(0u, AcquireUpdateLock(&second, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&first));
    EXPECT_TRUE(PathExists(second.lockPath));
    TextStore third(dir.file("reg"));
    EXPECT_EQ(GENREG_RC_LOCKED, AcquireUpdateLock(&third, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&second));
}

TEST(TxnLock, LockDeleteFailureStillReleasesTheLock) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    TextStore other(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, EXCL | WAIT));
    ResourceBalance balance;
    ossFaultArm(OSS_FAULT_DELETE, 1, 0);
    EXPECT_EQ(GENREG_RC_LOCK_DELETE_FAILED, ReleaseUpdateLock(&store));
    ossFaultDisarm();
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(PathExists(store.lockPath));
    // The left lock file is simply reused.
    EXPECT_EQ(0u, AcquireUpdateLock(&other, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&other));
}

TEST(TxnLock, LockCloseFailureIsReportedAndTheLockIsGone) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    TextStore other(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, EXCL | WAIT));
    ossFaultArm(OSS_FAULT_CLOSE, 1, 0);
    EXPECT_EQ(GENREG_RC_LOCK_CLOSE_FAILED, ReleaseUpdateLock(&store));
    ossFaultDisarm();
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_EQ(0u, AcquireUpdateLock(&other, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&other));
}

TEST(TxnLock, TeardownClosesAHeldLock) {
    TestDir dir;
    ResourceBalance balance;
    {
        TextStore store(dir.file("reg"));
        ASSERT_EQ(0u, AcquireUpdateLock(&store, EXCL | WAIT));
    }
    EXPECT_TRUE(balance.Unchanged());
    TextStore other(dir.file("reg"));
    EXPECT_EQ(0u, AcquireUpdateLock(&other, EXCL | NOWAIT));
    EXPECT_EQ(0u, ReleaseUpdateLock(&other));
}

// The lock-file race: a waiter is granted the lock on a file that lost its
// name while a newcomer holds a fresh file of that name. The waiter must
// notice and queue behind the newcomer instead of running beside it.
TEST(TxnLock, LockFileRaceWaiterGrantedOnAReplacedFileTriesAgain) {
    TestDir dir;
    TextStore first(dir.file("reg"));
    TextStore waiter(dir.file("reg"));
    TextStore newcomer(dir.file("reg"));
    ASSERT_EQ(0u, AcquireUpdateLock(&first, EXCL | WAIT));
    std::atomic<bool> newcomerReleased(false);
    std::atomic<bool> waiterOverlapped(false);
    std::atomic<unsigned> waiterRc(~0u);
    std::thread waiting([&] {
        unsigned rc = AcquireUpdateLock(&waiter, EXCL | WAIT);
        if (!newcomerReleased) waiterOverlapped = true;
        waiterRc = rc;
        if (rc == 0) ReleaseUpdateLock(&waiter);
    });
    // Let the waiter open the current lock file and block on it.
    ossSleepMs(200);
    // Another process deletes the name, a third creates and locks a new file.
    bool deleted = DeleteKeepingNoName(first.lockPath);
    if (deleted) {
        EXPECT_EQ(0u, AcquireUpdateLock(&newcomer, EXCL | NOWAIT));
    } else {
        newcomerReleased = true;
    }
    EXPECT_EQ(0u, ReleaseUpdateLock(&first));
    if (deleted) {
        // Give a waiter that skipped the identity check time to run beside us.
        ossSleepMs(200);
        newcomerReleased = true;
        EXPECT_EQ(0u, ReleaseUpdateLock(&newcomer));
    }
    waiting.join();
    EXPECT_EQ(0u, waiterRc.load());
    EXPECT_FALSE(waiterOverlapped.load());
    EXPECT_FALSE(PathExists(first.lockPath));
    if (!deleted) GTEST_SKIP() << kNameKept;
}

}  // namespace
