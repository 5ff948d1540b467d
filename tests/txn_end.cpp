// EndTransaction: closing, when a commit swaps, the swap through the
// backup name, durability, and each failure the file system can provoke.
#include <filesystem>

#include "txn_support.h"

using namespace txn_test;
using store_test::FileHolds;
using store_test::IsCommitted;
using store_test::IsUntouched;
using store_test::PathExists;
using store_test::ResourceBalance;
using store_test::TestDir;
using store_test::WriteFileBytes;

namespace {

TEST(TxnEnd, EndingAReadClosesTheStreamAndTouchesNoFile) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, "left over"));
    ResourceBalance balance;
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_READ));
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(FileHolds(store.filePath, "a\n"));
    EXPECT_TRUE(FileHolds(store.tempPath, "left over"));
    EXPECT_FALSE(PathExists(store.corruptPath));
    EXPECT_TRUE(balance.Unchanged());
}

// Which ends commit the copy, for each feature combination that matters.
TEST(TxnEnd, CommitHappensExactlyWhereTheFeaturesSay) {
    struct Case {
        uint64_t features;
        unsigned type;
        bool swaps;
    };
    const uint64_t V = GENREG_FEATURE_VERIFY;
    const uint64_t D = GENREG_FEATURE_DUPLICATES;
    const Case cases[] = {
        {0, GENREG_TXN_CHANGE, true}, {0, GENREG_TXN_DELETE, true},  {0, GENREG_TXN_ADD, true},
        {D, GENREG_TXN_CHANGE, true}, {D, GENREG_TXN_DELETE, true},  {V, GENREG_TXN_CHANGE, false},
        {V, GENREG_TXN_ADD, false},   {V, GENREG_TXN_DELETE, false}, {V | D, GENREG_TXN_ADD, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "features " << c.features << " type " << c.type);
        TestDir dir;
        BinStore store(dir.file("reg"));
        store.features = c.features;
        ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
        ASSERT_EQ(0u, BeginTransaction(&store, c.type));
        ASSERT_NE(nullptr, store.tempStream);
        ASSERT_TRUE(WriteAll(store.tempStream, "new"));
        EXPECT_EQ(0u, EndTransaction(&store, c.type));
        EXPECT_TRUE(store_test::HandleIsIdle(store));
        if (c.swaps) {
            EXPECT_TRUE(IsCommitted(store, "new"));
        } else {
            EXPECT_TRUE(IsUntouched(store, "old"));
            EXPECT_TRUE(FileHolds(store.tempPath, "new"));
        }
    }
}

// A text store's copy is a text stream: the committed file carries the
// platform's line ends and reads back as the lines written.
TEST(TxnEnd, TextCopyIsWrittenWithTheNativeLineEnds) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(store_test::WriteTextFile(store.filePath, "old\n"));
    ASSERT_TRUE(store_test::WriteTextFile(dir.file("expected"), "a=1\nb=2\n"));
    ASSERT_EQ(0u, RunUpdate(&store, GENREG_TXN_CHANGE, "a=1\nb=2\n"));
    EXPECT_TRUE(IsCommitted(store, store_test::ReadFileBytes(dir.file("expected"))));
    std::string content;
    ASSERT_EQ(0u, RunRead(&store, &content));
    EXPECT_EQ("a=1\nb=2\n", content);
}

// With verification the update's end keeps the copy; the verification
// pass's end swaps it in. Without verification that pass swaps nothing, and
// the copy it will not commit is removed.
TEST(TxnEnd, VerificationPassCommitsOnlyWhenTheHandleVerifies) {
    for (bool verify : {true, false}) {
        SCOPED_TRACE(verify);
        TestDir dir;
        BinStore store(dir.file("reg"));
        ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
        ASSERT_TRUE(WriteFileBytes(store.tempPath, "new"));
        if (verify) store.features = GENREG_FEATURE_VERIFY;
        ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_VERIFY));
        EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_VERIFY));
        if (verify) {
            EXPECT_TRUE(IsCommitted(store, "new"));
        } else {
            EXPECT_TRUE(IsUntouched(store, "old"));
            EXPECT_FALSE(PathExists(store.tempPath));
        }
    }
}

// Ending an update as a read abandons it: the copy is removed, and the next
// update makes no marker (only an update that was really interrupted does).
TEST(TxnEnd, AbandonedUpdateRemovesItsCopy) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, "half"));
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
    EXPECT_TRUE(IsUntouched(store, "old"));
    EXPECT_FALSE(PathExists(store.tempPath));
    ASSERT_EQ(0u, RunUpdate(&store, GENREG_TXN_CHANGE, "new"));
    EXPECT_TRUE(IsCommitted(store, "new"));
    EXPECT_FALSE(PathExists(store.corruptPath));
}

TEST(TxnEnd, AppendInPlaceSwapsNothing) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    store.features = GENREG_FEATURE_DUPLICATES;
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, RunUpdate(&store, GENREG_TXN_ADD, "+new"));
    EXPECT_TRUE(IsCommitted(store, "old+new"));
    EXPECT_FALSE(PathExists(store.corruptPath));
}

TEST(TxnEnd, StaleBackupIsDeletedBeforeTheSwap) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_TRUE(WriteFileBytes(store.backupPath, "stale"));
    ASSERT_EQ(0u, RunUpdate(&store, GENREG_TXN_CHANGE, "new"));
    EXPECT_TRUE(IsCommitted(store, "new"));
}

// A backup that cannot be made stops the swap before the file is touched;
// the copy stays where it was.
TEST(TxnEnd, DirectoryInPlaceOfTheBackupFailsTheSwap) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_TRUE(store_test::MakeDirectory(store.backupPath));
    ASSERT_TRUE(WriteFileBytes(std::string(store.backupPath) + ossPathSeparator() + "x", "x"));
    EXPECT_EQ(GENREG_RC_BACKUP_RENAME_FAILED, RunUpdate(&store, GENREG_TXN_CHANGE, "new"));
    EXPECT_TRUE(FileHolds(store.filePath, "old"));
    // A failed swap removes the copy it could not commit.
    EXPECT_FALSE(PathExists(store.tempPath));
    EXPECT_FALSE(PathExists(store.lockPath));
}

// Fault 2: the swap keeps the registry file present at every instant. When
// the copy cannot be moved in, the file is still there with its old
// content (not only under the backup name).
TEST(TxnEnd, SwapWindowFileStaysPresentWhenTheCopyCannotMoveIn) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, "new"));
    // The copy disappears before the commit.
    std::error_code ignored;
    std::filesystem::remove(store.tempPath, ignored);
    if (PathExists(store.tempPath)) {
        EndTransaction(&store, GENREG_TXN_READ);
        GTEST_SKIP() << "an open file cannot be deleted on this system";
    }
    EXPECT_EQ(GENREG_RC_TEMP_RENAME_FAILED, EndTransaction(&store, GENREG_TXN_CHANGE));
    EXPECT_TRUE(IsUntouched(store, "old"));
}

// Fault 2, injected: whichever step of the replacement fails, the file is
// present with its old content, and the code says which step it was.
TEST(TxnEnd, SwapWindowFileStaysPresentWhenTheReplaceFails) {
    struct Case {
        OSSFaultKind kind;
        unsigned expected;
    };
    const Case cases[] = {{OSS_FAULT_REPLACE, GENREG_RC_BACKUP_RENAME_FAILED},
                          {OSS_FAULT_RENAME, GENREG_RC_TEMP_RENAME_FAILED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TestDir dir;
        BinStore store(dir.file("reg"));
        ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
        ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
        ASSERT_TRUE(WriteAll(store.tempStream, "new"));
        ossFaultArm(c.kind, 1, 0);
        unsigned rc = EndTransaction(&store, GENREG_TXN_CHANGE);
        bool fired = ossFaultFired();
        ossFaultDisarm();
        // A system that replaces in one step has no separate move to fail.
        if (!fired) {
            EndTransaction(&store, GENREG_TXN_READ);
            continue;
        }
        // A move that fails for a copy still present is indistinguishable
        // from a failed backup; only the file's state is essential.
        if (c.kind == OSS_FAULT_REPLACE) {
            EXPECT_EQ(c.expected, rc);
        } else {
            EXPECT_NE(0u, rc);
        }
        EXPECT_TRUE(IsUntouched(store, "old"));
        EXPECT_FALSE(PathExists(store.tempPath));
        EXPECT_TRUE(store_test::HandleIsIdle(store));
    }
}

TEST(TxnEnd, BackupDeleteFailureLeavesTheSwapStanding) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, "new"));
    // The first delete is the stale backup's, the second the backup's.
    ossFaultArm(OSS_FAULT_DELETE, 2, 0);
    unsigned rc = EndTransaction(&store, GENREG_TXN_CHANGE);
    ossFaultDisarm();
    EXPECT_EQ(GENREG_RC_BACKUP_DELETE_FAILED, rc);
    EXPECT_TRUE(FileHolds(store.filePath, "new"));
    EXPECT_FALSE(PathExists(store.tempPath));
    if (PathExists(store.backupPath)) {
        EXPECT_TRUE(FileHolds(store.backupPath, "old"));
    }
    // The next commit clears the stale backup.
    ASSERT_EQ(0u, RunUpdate(&store, GENREG_TXN_CHANGE, "newer"));
    EXPECT_TRUE(IsCommitted(store, "newer"));
}

// Fault 3: the copy reaches stable storage before the swap and the
// directory after it; a copy that cannot be flushed is not swapped in.
TEST(TxnEnd, DurabilityCopyFlushedBeforeTheSwapAndDirectoryAfter) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, "new"));
    // The directory's flush (where the system has one) comes after the
    // rename: its failure cannot undo the commit and is only logged.
    ossFaultArm(OSS_FAULT_SYNC, 2, 0);
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_CHANGE));
    EXPECT_GE(ossFaultCalls(OSS_FAULT_SYNC), 1u);
    ossFaultDisarm();
    EXPECT_TRUE(IsCommitted(store, "new"));

    ResourceBalance balance;
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, "newer"));
    ossFaultArm(OSS_FAULT_SYNC, 1, 0);
    unsigned rc = EndTransaction(&store, GENREG_TXN_CHANGE);
    ossFaultDisarm();
    EXPECT_EQ(GENREG_RC_TEMP_CLOSE_FAILED, rc);
    EXPECT_TRUE(IsUntouched(store, "new"));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}

// Fault 3: with verification the copy is flushed when the update's end
// closes it, since the verification pass only reads it.
TEST(TxnEnd, DurabilityVerifiedCopyFlushedWhenWritten) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    store.features = GENREG_FEATURE_VERIFY;
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, "new"));
    ossFaultArm(OSS_FAULT_SYNC, 1, 0);
    EXPECT_EQ(GENREG_RC_TEMP_CLOSE_FAILED, EndTransaction(&store, GENREG_TXN_CHANGE));
    ossFaultDisarm();
}

// Fault 3: records appended in place are flushed before the file is closed.
TEST(TxnEnd, DurabilityAppendedRecordsFlushedBeforeClose) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    store.features = GENREG_FEATURE_DUPLICATES;
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_ADD));
    ASSERT_TRUE(WriteAll(store.stream, "+new"));
    ossFaultReset();
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_ADD));
    EXPECT_EQ(1u, ossFaultCalls(OSS_FAULT_SYNC));
    ossFaultDisarm();

    ResourceBalance balance;
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_ADD));
    ASSERT_TRUE(WriteAll(store.stream, "+more"));
    ossFaultArm(OSS_FAULT_SYNC, 1, 0);
    EXPECT_EQ(GENREG_RC_FILE_CLOSE_FAILED, EndTransaction(&store, GENREG_TXN_ADD));
    ossFaultDisarm();
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}

// A close failure of the file returns at once and leaves the copy open for
// teardown; a close failure of the copy stops the commit.
TEST(TxnEnd, CloseFailuresGiveTheirCodes) {
    struct Case {
        uint32_t nth;
        unsigned expected;
        bool copyLeftOpen;
    };
    const Case cases[] = {{1, GENREG_RC_FILE_CLOSE_FAILED, true},
                          {2, GENREG_RC_TEMP_CLOSE_FAILED, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nth);
        TestDir dir;
        ResourceBalance balance;
        {
            BinStore store(dir.file("reg"));
            ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
            ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
            ASSERT_TRUE(WriteAll(store.tempStream, "new"));
            ossFaultArm(OSS_FAULT_CLOSE, c.nth, 0);
            unsigned rc = EndTransaction(&store, GENREG_TXN_CHANGE);
            ossFaultDisarm();
            EXPECT_EQ(c.expected, rc);
            EXPECT_EQ(nullptr, store.stream);
            EXPECT_EQ(c.copyLeftOpen, store.tempStream != nullptr);
            EXPECT_TRUE(FileHolds(store.filePath, "old"));
        }
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST(TxnEnd, ReadOnlyDirectoryRefusesTheSwap) {
    TestDir dir;
    std::string sub = dir.file("ro");
    ASSERT_TRUE(store_test::MakeDirectory(sub));
    BinStore store(sub + ossPathSeparator() + "reg");
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, "new"));
    if (!store_test::MakeReadOnly(sub)) {
        EndTransaction(&store, GENREG_TXN_READ);
        GTEST_SKIP() << "permissions do not bind this user";
    }
    EXPECT_EQ(GENREG_RC_BACKUP_RENAME_FAILED, EndTransaction(&store, GENREG_TXN_CHANGE));
    store_test::MakeWritable(sub);
    EXPECT_TRUE(IsUntouched(store, "old"));
    EXPECT_TRUE(FileHolds(store.tempPath, "new"));
}

}  // namespace
