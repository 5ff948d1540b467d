// File transactions across processes. The children are copies of this
// binary running TxnChild.Run in a role:
//   txn-holder   takes the update lock, announces "held", waits for "go",
//                announces "releasing", releases
//   txn-counter  50 locked read-increment-write cycles of the counter file
//   txn-writer   commits 200 updates of the registry file, then "done"
#include <string>

#include "txn_support.h"

using namespace txn_test;
using platform_test::childDir;
using platform_test::childRole;
using platform_test::spawnChild;
using platform_test::waitForFile;
using store_test::IsCommitted;
using store_test::TestDir;
using store_test::WriteFileBytes;

namespace {

const unsigned kLockAndWait = GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_WAIT;
const int kCounterProcesses = 4;
const int kCounterCycles = 50;
const int kWriterUpdates = 200;

std::string InDir(const std::string& dir, const char* name) {
    return dir + ossPathSeparator() + name;
}

// The registry content of the writer's update n: its number and a body
// whose length changes with n, so that a torn read cannot pass for whole.
std::string Generation(int n) {
    std::string content = "generation " + std::to_string(n) + "\n";
    content.append(1000 + (n * 397) % 7000, (char)('a' + n % 26));
    return content + "\nend\n";
}

// True when content is exactly some Generation(n).
bool IsWholeGeneration(const std::string& content) {
    const std::string prefix = "generation ";
    if (content.compare(0, prefix.size(), prefix) != 0) return false;
    int n = std::atoi(content.c_str() + prefix.size());
    return n >= 0 && n <= kWriterUpdates && content == Generation(n);
}

// One locked read-increment-write cycle of the counter file.
void IncrementCounter(BinStore* store) {
    ASSERT_EQ(0u, AcquireUpdateLock(store, kLockAndWait));
    ASSERT_EQ(0u, BeginTransaction(store, GENREG_TXN_CHANGE));
    int value = std::atoi(ReadRest(store->stream).c_str());
    ASSERT_TRUE(WriteAll(store->tempStream, std::to_string(value + 1)));
    ASSERT_EQ(0u, EndTransaction(store, GENREG_TXN_CHANGE));
    ASSERT_EQ(0u, ReleaseUpdateLock(store));
}

unsigned WaitForChild(OSSProcess* child) {
    int exitCode = -1;
    unsigned rc = ossProcessWait(child, &exitCode);
    return rc != 0 ? rc : (unsigned)exitCode;
}

}  // namespace

TEST(TxnChild, Run) {
    std::string role = childRole();
    if (role.compare(0, 4, "txn-") != 0) GTEST_SKIP() << "runs only as a child of Txn tests";
    std::string dir = childDir();
    if (role == "txn-holder") {
        TextStore store(InDir(dir, "reg"));
        ASSERT_EQ(0u, AcquireUpdateLock(&store, kLockAndWait));
        ASSERT_TRUE(WriteFileBytes(InDir(dir, "held"), "1"));
        ASSERT_TRUE(waitForFile(InDir(dir, "go")));
        // Give a waiter that would not wait the chance to get in first.
        ossSleepMs(100);
        ASSERT_TRUE(WriteFileBytes(InDir(dir, "releasing"), "1"));
        ASSERT_EQ(0u, ReleaseUpdateLock(&store));
    } else if (role == "txn-counter") {
        BinStore store(InDir(dir, "counter"));
        for (int i = 0; i < kCounterCycles; ++i) {
            IncrementCounter(&store);
            if (testing::Test::HasFatalFailure()) return;
        }
    } else if (role == "txn-writer") {
        // "done" tells the reader to stop, also when this child fails.
        struct Done {
            std::string path;
            ~Done() { WriteFileBytes(path, "1"); }
        } done{InDir(dir, "done")};
        BinStore store(InDir(dir, "reg"));
        for (int n = 1; n <= kWriterUpdates; ++n)
            ASSERT_EQ(0u, RunUpdate(&store, GENREG_TXN_CHANGE, Generation(n))) << n;
    } else {
        FAIL() << "unknown role " << role;
    }
}

namespace {

// With the update lock held by another process, fail-at-once gives
// GENREG_RC_LOCKED at once and waiting waits until the holder releases.
TEST(TxnMultiProcess, UpdateLockHeldByAnotherProcess) {
    TestDir dir;
    OSSProcess holder;
    ASSERT_EQ(0u, spawnChild("TxnChild.Run", "txn-holder", dir.path(), &holder));
    ASSERT_TRUE(waitForFile(dir.file("held")));
    TextStore store(dir.file("reg"));
    for (unsigned options :
         {GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_NOWAIT, GENREG_LOCK_SHARED | GENREG_LOCK_NOWAIT,
          GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_WAIT | GENREG_LOCK_NOWAIT}) {
        EXPECT_EQ(GENREG_RC_LOCKED, AcquireUpdateLock(&store, options)) << options;
        EXPECT_FALSE(store.state & GENREG_STATE_LOCK_HELD);
    }
    ASSERT_TRUE(WriteFileBytes(dir.file("go"), "1"));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, kLockAndWait));
    // The holder announced its release before releasing: the wait ended
    // only after it.
    EXPECT_TRUE(store_test::PathExists(dir.file("releasing")));
    EXPECT_EQ(0u, ReleaseUpdateLock(&store));
    EXPECT_EQ(0u, WaitForChild(&holder));
    EXPECT_FALSE(store_test::PathExists(store.lockPath));
}

// The lock-file race loses nothing: four processes each make 50 locked
// read-increment-write cycles; the counter ends at exactly 200.
TEST(TxnMultiProcess, LockFileRaceCounterReachesExactlyTwoHundred) {
    TestDir dir;
    BinStore store(dir.file("counter"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "0"));
    OSSProcess children[kCounterProcesses];
    for (OSSProcess& child : children)
        ASSERT_EQ(0u, spawnChild("TxnChild.Run", "txn-counter", dir.path(), &child));
    for (OSSProcess& child : children)
        EXPECT_EQ(0u, WaitForChild(&child));
    EXPECT_TRUE(IsCommitted(store, std::to_string(kCounterProcesses * kCounterCycles)));
    EXPECT_FALSE(store_test::PathExists(store.corruptPath));
}

// Swap window: a process looping read transactions while another commits
// 200 updates never finds the file missing and never reads a partial file.
TEST(TxnMultiProcess, SwapWindowReadersNeverSeeAMissingOrPartialFile) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, Generation(0)));
    OSSProcess writer;
    ASSERT_EQ(0u, spawnChild("TxnChild.Run", "txn-writer", dir.path(), &writer));
    int reads = 0;
    int torn = 0;
    std::string firstTorn;
    unsigned firstFailure = 0;
    for (bool done = false; !done;) {
        done = store_test::PathExists(dir.file("done"));
        std::string content;
        unsigned rc = RunRead(&store, &content);
        if (rc != 0 && firstFailure == 0) firstFailure = rc;
        if (rc == 0 && !IsWholeGeneration(content) && torn++ == 0)
            firstTorn = content.substr(0, 40) + "... (" + std::to_string(content.size()) + ")";
        ++reads;
        // A lookup now and then, as real readers do: on Windows a file
        // cannot be renamed over while a reader has it open, and the
        // writer's swap retries only for a moment.
        ossSleepMs(1);
    }
    EXPECT_EQ(0u, firstFailure);
    EXPECT_EQ(0, torn) << "of " << reads << " reads; first: " << firstTorn;
    EXPECT_EQ(0u, WaitForChild(&writer));
    EXPECT_TRUE(IsCommitted(store, Generation(kWriterUpdates)));
}

}  // namespace
