// The scan cursor: its states, the shared lock it holds, positions, and
// each failure it reports.
#include "txn_support.h"

using namespace txn_test;
using store_test::ChecksummedForm;
using store_test::PathExists;
using store_test::ResourceBalance;
using store_test::TestDir;
using store_test::WriteFileBytes;

namespace {

// Reads n bytes from the scan's stream.
std::string ReadBytes(GenRegFile* store, size_t n) {
    std::string bytes(n, '\0');
    bytes.resize(ossStreamRead(&bytes[0], 1, n, store->stream));
    return bytes;
}

// Whether another handle could take an exclusive lock on the file now.
bool ExclusivelyLockable(const char* path) {
    OSSHFile other;
    OSSFileOpenParam open = {OSS_INTERFACE_VERSION, path, 2, OSS_ACCESS_READ, 0, 0600};
    if (other.open(&open) != 0) return false;
    OSSFileLockParam lock = {OSS_INTERFACE_VERSION, OSS_LOCK_EXCLUSIVE, OSS_LOCK_FAIL_AT_ONCE};
    bool locked = other.lock(&lock) == 0;
    other.close();
    return locked;
}

TEST(ScanCursor, OpenScanHoldsTheFileSharedUntilCloseScan) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\nb\n"));
    ResourceBalance balance;
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ(GENREG_STATE_SCAN_OPEN, store.state & ~GENREG_STATE_PATHS_SET & ~1ull);
    EXPECT_EQ("a\nb\n", ReadRest(store.stream));
    EXPECT_FALSE(ExclusivelyLockable(store.filePath));
    EXPECT_EQ(0u, store.CloseScan());
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(ExclusivelyLockable(store.filePath));
    EXPECT_TRUE(balance.Unchanged());
}

TEST(ScanCursor, OpenScanRefusals) {
    TestDir dir;
    UnsetStore unset;
    EXPECT_EQ(GENREG_RC_NOT_INITIALIZED, unset.OpenScan());
    // Reading never creates the file.
    TextStore missing(dir.file("missing"));
    EXPECT_EQ(GENREG_RC_FILE_NOT_FOUND, missing.OpenScan());
    EXPECT_FALSE(PathExists(missing.filePath));
    TextStore directory(dir.file("dir"));
    ASSERT_TRUE(store_test::MakeDirectory(directory.filePath));
    EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, directory.OpenScan());
    for (GenRegFile* store :
         {(GenRegFile*)&unset, (GenRegFile*)&missing, (GenRegFile*)&directory}) {
        EXPECT_TRUE(store_test::HandleIsIdle(*store));
    }
}

// A second OpenScan, or one while a transaction holds the stream, would
// lose the stream it replaces.
TEST(ScanCursor, OpenScanRefusesWhileTheStreamIsInUse) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    ASSERT_EQ(0u, store.OpenScan());
    FILE* scan = store.stream;
    EXPECT_EQ(GENREG_RC_SCAN_OPEN, store.OpenScan());
    EXPECT_EQ(scan, store.stream);
    EXPECT_EQ(0u, store.CloseScan());
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_READ));
    EXPECT_EQ(GENREG_RC_SCAN_OPEN, store.OpenScan());
    // CloseScan without a scan leaves a transaction's stream alone.
    EXPECT_EQ(0u, store.CloseScan());
    EXPECT_NE(nullptr, store.stream);
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
}

TEST(ScanCursor, CloseScanTwiceAndWithoutAScanIsHarmless) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    EXPECT_EQ(0u, store.CloseScan());
    ASSERT_EQ(0u, store.OpenScan());
    store.state |= GENREG_STATE_SCAN_AT_END;
    EXPECT_EQ(0u, store.CloseScan());
    EXPECT_EQ(0u, store.CloseScan());
    EXPECT_TRUE(store_test::HandleIsIdle(store));
}

TEST(ScanCursor, CloseFailureIsReportedAndTheCursorClosesAnyway) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    ResourceBalance balance;
    ASSERT_EQ(0u, store.OpenScan());
    store.state |= GENREG_STATE_SCAN_AT_END;
    ossFaultArm(OSS_FAULT_CLOSE, 1, 0);
    EXPECT_EQ(GENREG_RC_FILE_CLOSE_FAILED, store.CloseScan());
    ossFaultDisarm();
    EXPECT_TRUE(store_test::HandleIsIdle(store));
    EXPECT_TRUE(balance.Unchanged());
}

// A failed OpenScan leaves the cursor closed and the file unlocked.
TEST(ScanCursor, OpenScanFailuresLeaveNothingOpen) {
    struct Case {
        OSSFaultKind kind;
        uint32_t nth;
        unsigned expected;
    };
    const Case cases[] = {{OSS_FAULT_OPEN, 1, GENREG_RC_PERMISSION_DENIED},
                          {OSS_FAULT_LOCK, 1, GENREG_RC_FILE_LOCK_FAILED},
                          {OSS_FAULT_OPEN, 2, GENREG_RC_FILE_OPEN_FAILED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.nth);
        TestDir dir;
        BinStore store(dir.file("reg"));
        ASSERT_TRUE(WriteFileBytes(store.filePath, "abc"));
        ResourceBalance balance;
        ossFaultArm(c.kind, c.nth, 0);
        unsigned rc = store.OpenScan();
        ossFaultDisarm();
        EXPECT_EQ(c.expected, rc);
        EXPECT_TRUE(store_test::HandleIsIdle(store));
        EXPECT_TRUE(ExclusivelyLockable(store.filePath));
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST(ScanCursor, TeardownClosesAnOpenScan) {
    TestDir dir;
    ResourceBalance balance;
    {
        TextStore store(dir.file("reg"));
        ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
        ASSERT_EQ(0u, store.OpenScan());
    }
    EXPECT_TRUE(balance.Unchanged());
}

TEST(ScanCursor, RewindReturnsToTheStartAndClearsTheEnd) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    EXPECT_EQ(GENREG_RC_NO_SCAN, store.Rewind());
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\nb\n"));
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ("a\nb\n", ReadRest(store.stream));
    store.state |= GENREG_STATE_SCAN_AT_END;
    EXPECT_EQ(0u, store.Rewind());
    EXPECT_FALSE(store.state & GENREG_STATE_SCAN_AT_END);
    EXPECT_TRUE(store.state & GENREG_STATE_SCAN_OPEN);
    EXPECT_EQ("a\nb\n", ReadRest(store.stream));
    EXPECT_EQ(0u, store.CloseScan());
}

TEST(ScanCursor, PositionCallsNeedAScanAndAPointer) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    int64_t position = 0;
    EXPECT_EQ(GENREG_RC_NO_SCAN, store.getRegFilePosition(&position));
    EXPECT_EQ(GENREG_RC_NO_SCAN, store.setRegFilePosition(&position));
    // No scan is checked before the pointer.
    EXPECT_EQ(GENREG_RC_NO_SCAN, store.getRegFilePosition(nullptr));
    EXPECT_EQ(GENREG_RC_NO_SCAN, store.setRegFilePosition(nullptr));
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ(GENREG_RC_NULL_POINTER, store.getRegFilePosition(nullptr));
    EXPECT_EQ(GENREG_RC_NULL_POINTER, store.setRegFilePosition(nullptr));
    int64_t negative = -1;
    EXPECT_EQ(GENREG_RC_SET_POSITION_FAILED, store.setRegFilePosition(&negative));
    EXPECT_EQ(0u, store.CloseScan());
}

// Saving a position, reading on and restoring it reads the same bytes
// again; restoring does not undo the end state, only Rewind does.
TEST(ScanCursor, RestoredPositionRereadsTheSameRecords) {
    for (bool text : {true, false}) {
        SCOPED_TRACE(text);
        TestDir dir;
        TextStore textStore(dir.file("t"));
        BinStore binStore(dir.file("b"));
        GenRegFile* store = text ? (GenRegFile*)&textStore : (GenRegFile*)&binStore;
        // A text store's file carries the platform's line ends.
        const char* content = "one\ntwo\nthree\n";
        ASSERT_TRUE(text ? store_test::WriteTextFile(store->filePath, content)
                         : WriteFileBytes(store->filePath, content));
        ASSERT_EQ(0u, store->OpenScan());
        EXPECT_EQ("one\n", ReadBytes(store, 4));
        int64_t saved = -1;
        ASSERT_EQ(0u, store->getRegFilePosition(&saved));
        EXPECT_EQ("two\nthree\n", ReadRest(store->stream));
        store->state |= GENREG_STATE_SCAN_AT_END;
        ASSERT_EQ(0u, store->setRegFilePosition(&saved));
        EXPECT_TRUE(store->state & GENREG_STATE_SCAN_AT_END);
        EXPECT_EQ("two\n", ReadBytes(store, 4));
        EXPECT_EQ(0u, store->CloseScan());
    }
}

// Positions are 64-bit: one beyond 4 GiB survives a round trip.
TEST(ScanCursor, PositionsAreSixtyFourBit) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "abc"));
    ASSERT_EQ(0u, store.OpenScan());
    const int64_t far = 5000000000LL;
    ASSERT_EQ(0u, store.setRegFilePosition(&far));
    int64_t back = 0;
    ASSERT_EQ(0u, store.getRegFilePosition(&back));
    EXPECT_EQ(far, back);
    EXPECT_EQ(0u, store.CloseScan());
}

// A checksummed binary file is scanned from its first record, also after
// Rewind; an empty one from its start.
TEST(ScanCursor, ChecksummedFileIsScannedBehindItsHeader) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    store.features = GENREG_FEATURE_CHECKSUM;
    ASSERT_TRUE(WriteFileBytes(store.filePath, ChecksummedForm("records")));
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ("records", ReadRest(store.stream));
    ASSERT_EQ(0u, store.Rewind());
    EXPECT_EQ("records", ReadRest(store.stream));
    EXPECT_EQ(0u, store.CloseScan());
    ASSERT_TRUE(WriteFileBytes(store.filePath, ""));
    ASSERT_EQ(0u, store.OpenScan());
    EXPECT_EQ("", ReadRest(store.stream));
    EXPECT_EQ(0u, store.Rewind());
    EXPECT_EQ(0u, store.CloseScan());
    ASSERT_TRUE(WriteFileBytes(store.filePath, "short"));
    EXPECT_EQ(GENREG_RC_READ_FAILED, store.OpenScan());
    EXPECT_TRUE(store_test::HandleIsIdle(store));
}

}  // namespace
