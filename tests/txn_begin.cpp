// BeginTransaction: the file each type opens, creation for Add, the
// recovery of a left-over copy, the fresh copy, and each failure the file
// system can provoke.

#include "txn_support.h"

using namespace txn_test;
using store_test::Companions;
using store_test::FileHolds;
using store_test::HasCompanions;
using store_test::LogCapture;
using store_test::PathExists;
using store_test::ReadFileBytes;
using store_test::ResourceBalance;
using store_test::TestDir;
using store_test::WriteFileBytes;

namespace {

const unsigned kAllTypes[] = {GENREG_TXN_READ, GENREG_TXN_CHANGE, GENREG_TXN_ADD, GENREG_TXN_DELETE,
                              GENREG_TXN_VERIFY};
// The types that write a fresh copy (Add when it does not append in place).
const unsigned kCopyTypes[] = {GENREG_TXN_CHANGE, GENREG_TXN_ADD, GENREG_TXN_DELETE};

Companions Names(bool file, bool temp, bool corrupt) {
    Companions c;
    c.file = file;
    c.temp = temp;
    c.corrupt = corrupt;
    return c;
}

// Begins, checks the result, and always ends the transaction without
// committing, so every test leaves the handle idle.
struct Txn {
    GenRegFile* handle;
    unsigned rc;
    Txn(GenRegFile* h, unsigned type) : handle(h), rc(BeginTransaction(h, type)) {}
    ~Txn() { EndTransaction(handle, GENREG_TXN_READ); }
};

TEST(TxnBegin, MissingFileIsNotFoundAndNothingIsCreated) {
    for (unsigned type :
         {GENREG_TXN_READ, GENREG_TXN_CHANGE, GENREG_TXN_DELETE, GENREG_TXN_VERIFY}) {
        SCOPED_TRACE(type);
        TestDir dir;
        TextStore store(dir.file("missing") + ossPathSeparator() + "reg");
        ResourceBalance balance;
        EXPECT_EQ(GENREG_RC_FILE_NOT_FOUND, BeginTransaction(&store, type));
        EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
        EXPECT_FALSE(PathExists(dir.file("missing")));
        EXPECT_TRUE(store_test::HandleIsIdle(store));
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST(TxnBegin, AddCreatesTheMissingDirectoryAndFile) {
    struct Case {
        uint64_t features;
        bool copy;
    };
    // In place: duplicates without verification. Otherwise a copy is made.
    const Case cases[] = {{0, true},
                          {GENREG_FEATURE_VERIFY, true},
                          {GENREG_FEATURE_DUPLICATES, false},
                          {GENREG_FEATURE_DUPLICATES | GENREG_FEATURE_VERIFY, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.features);
        TestDir dir;
        std::string nested = dir.file("a") + ossPathSeparator() + "b";
        BinStore store(nested + ossPathSeparator() + "reg");
        store.features = c.features;
        store.fileMode = 0640;
        {
            Txn txn(&store, GENREG_TXN_ADD);
            ASSERT_EQ(0u, txn.rc);
            EXPECT_TRUE(ossIsDirectory(nested.c_str()));
            EXPECT_TRUE(HasCompanions(store, Names(true, c.copy, false)));
            EXPECT_EQ(c.copy, store.tempStream != nullptr);
        }
        EXPECT_TRUE(FileHolds(store.filePath, ""));
        if (ossPathSeparator() == '/') {
            OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, store.filePath};
            OSSFileInfo info = {};
            ASSERT_EQ(0u, ossFileGetInfoV9(&request, &info));
            EXPECT_EQ(0640u, info.permissions);
        }
    }
}

TEST(TxnBegin, DirectoryInPlaceOfTheFileFails) {
    for (unsigned type : kAllTypes) {
        SCOPED_TRACE(type);
        TestDir dir;
        TextStore store(dir.file("reg"));
        ASSERT_TRUE(store_test::MakeDirectory(store.filePath));
        ResourceBalance balance;
        // Only a regular file is a registry file, for every type.
        EXPECT_EQ(GENREG_RC_NOT_REGULAR_FILE, BeginTransaction(&store, type));
        EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
        EXPECT_FALSE(PathExists(store.tempPath));
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST(TxnBegin, FileInPlaceOfTheDirectoryFailsAdd) {
    TestDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.file("a"), "x"));
    TextStore store(dir.file("a") + ossPathSeparator() + "reg");
    EXPECT_EQ(GENREG_RC_DIR_CREATE_FAILED, BeginTransaction(&store, GENREG_TXN_ADD));
    EXPECT_TRUE(FileHolds(dir.file("a"), "x"));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
}

TEST(TxnBegin, EveryTypeIsRefusedWhileAScanIsOpen) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    ASSERT_EQ(0u, store.OpenScan());
    FILE* scan = store.stream;
    for (unsigned type : kAllTypes) {
        SCOPED_TRACE(type);
        EXPECT_EQ(GENREG_RC_SCAN_OPEN, BeginTransaction(&store, type));
        EXPECT_EQ(GENREG_RC_SCAN_OPEN, EndTransaction(&store, type));
        EXPECT_EQ(scan, store.stream);
        EXPECT_EQ(nullptr, store.tempStream);
    }
    EXPECT_FALSE(PathExists(store.tempPath));
    EXPECT_EQ(0u, store.CloseScan());
}

TEST(TxnBegin, HandleWithoutPathsUnknownTypesAndASecondBeginAreRefused) {
    UnsetStore unset;
    EXPECT_EQ(GENREG_RC_NOT_INITIALIZED, BeginTransaction(&unset, GENREG_TXN_READ));
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    for (unsigned type : {0u, 3u, 32u, 0xFFFFFFFFu})
        EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, BeginTransaction(&store, type)) << type;
    Txn txn(&store, GENREG_TXN_CHANGE);
    ASSERT_EQ(0u, txn.rc);
    FILE* stream = store.stream;
    FILE* copy = store.tempStream;
    EXPECT_EQ(GENREG_RC_BAD_ARGUMENT, BeginTransaction(&store, GENREG_TXN_READ));
    EXPECT_EQ(stream, store.stream);
    EXPECT_EQ(copy, store.tempStream);
}

// A read transaction opens the file at its start and touches nothing else:
// a left-over copy and an old marker stay as they are.
TEST(TxnBegin, LookupLeavesLeftOverCopyAndMarkerAlone) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\nb\n"));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, "left over"));
    ASSERT_TRUE(WriteFileBytes(store.corruptPath, "old marker"));
    std::string content;
    ASSERT_EQ(0u, RunRead(&store, &content));
    EXPECT_EQ("a\nb\n", content);
    EXPECT_TRUE(FileHolds(store.tempPath, "left over"));
    EXPECT_TRUE(FileHolds(store.corruptPath, "old marker"));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
}

// The next update sets the left-over copy aside as the marker (replacing
// an older marker) and writes a fresh, empty copy.
TEST(TxnBegin, LeftOverCopyBecomesTheMarker) {
    for (unsigned type : kCopyTypes) {
        for (bool olderMarker : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " older " << olderMarker);
            TestDir dir;
            BinStore store(dir.file("reg"));
            ASSERT_TRUE(WriteFileBytes(store.filePath, "file"));
            ASSERT_TRUE(WriteFileBytes(store.tempPath, "left over"));
            if (olderMarker) {
                ASSERT_TRUE(WriteFileBytes(store.corruptPath, "older"));
            }
            Txn txn(&store, type);
            ASSERT_EQ(0u, txn.rc);
            EXPECT_TRUE(FileHolds(store.corruptPath, "left over"));
            EXPECT_TRUE(FileHolds(store.tempPath, ""));
            EXPECT_TRUE(FileHolds(store.filePath, "file"));
        }
    }
}

// Fault 4: a left-over copy that cannot be set aside as the marker is never
// appended to: the update fails and leaves the file and the left-over alone.
TEST(TxnBegin, LeftOverCopyThatCannotBeSetAsideFailsTheUpdate) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "file"));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, "left over"));
    ResourceBalance balance;
    LogCapture log;
    ossFaultArm(OSS_FAULT_RENAME, 1, 0);
    unsigned rc = BeginTransaction(&store, GENREG_TXN_CHANGE);
    ossFaultDisarm();
    EXPECT_EQ(GENREG_RC_TEMP_OPEN_FAILED, rc);
    EXPECT_EQ(1u, log.Count(GENREG_RC_MARKER_RENAME_FAILED));
    EXPECT_EQ(nullptr, store.tempStream);
    // Even a caller that ends it as a commit swaps nothing in.
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_CHANGE));
    EXPECT_TRUE(FileHolds(store.filePath, "file"));
    EXPECT_TRUE(FileHolds(store.tempPath, "left over"));
    EXPECT_FALSE(PathExists(store.corruptPath));
    EXPECT_TRUE(balance.Unchanged());
}

TEST(TxnBegin, DirectoryInPlaceOfTheMarkerFailsTheUpdate) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, "left over"));
    ASSERT_TRUE(store_test::MakeDirectory(store.corruptPath));
    {
        Txn txn(&store, GENREG_TXN_DELETE);
        EXPECT_EQ(GENREG_RC_MARKER_DELETE_FAILED, txn.rc);
    }
    EXPECT_TRUE(FileHolds(store.tempPath, "left over"));
    EXPECT_TRUE(FileHolds(store.filePath, "a\n"));
    EXPECT_TRUE(store_test::HandleIsIdle(store));
}

// Fault 5: no writing through planted links. A link at the copy's name is
// set aside like any left-over, or, when it cannot be, refused by the
// exclusive creation; a link at the backup's name is removed. The link's
// target is never written.
TEST(TxnBegin, NoWritingThroughPlantedLinks) {
    enum Where { kCopy, kBackup };
    struct Case {
        Where where;
        bool renameFails;
        unsigned expected;
    };
    const Case cases[] = {
        {kCopy, false, 0}, {kCopy, true, GENREG_RC_TEMP_OPEN_FAILED}, {kBackup, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "at " << c.where << " rename fails " << c.renameFails);
        TestDir dir;
        BinStore store(dir.file("reg"));
        ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
        std::string victim = dir.file("victim");
        ASSERT_TRUE(WriteFileBytes(victim, "precious"));
        if (!store_test::PlantLink(c.where == kCopy ? store.tempPath : store.backupPath, victim))
            GTEST_SKIP() << "no symbolic links here";
        if (c.renameFails) ossFaultArm(OSS_FAULT_RENAME, 1, 0);
        unsigned rc = RunUpdate(&store, GENREG_TXN_CHANGE, "new");
        ossFaultDisarm();
        EXPECT_EQ(c.expected, rc);
        EXPECT_TRUE(FileHolds(victim, "precious"));
        if (c.expected == 0) {
            EXPECT_TRUE(store_test::IsCommitted(store, "new"));
        } else {
            EXPECT_TRUE(store_test::IsUntouched(store, "old"));
        }
    }
}

// Appending in place opens the file for appending and makes no copy, so
// the recovery does not run: a left-over copy stays for the next update.
TEST(TxnBegin, AppendInPlaceMakesNoCopyAndStartsAtTheEnd) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    store.features = GENREG_FEATURE_DUPLICATES;
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    ASSERT_TRUE(WriteFileBytes(store.tempPath, "left over"));
    ASSERT_EQ(0u, AcquireUpdateLock(&store, GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_WAIT));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_ADD));
    EXPECT_EQ(nullptr, store.tempStream);
    EXPECT_EQ(0, ossStreamPuts("b\n", store.stream));
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_ADD));
    EXPECT_EQ(0u, ReleaseUpdateLock(&store));
    std::string content;
    ASSERT_EQ(0u, RunRead(&store, &content));
    EXPECT_EQ("a\nb\n", content);
    EXPECT_TRUE(FileHolds(store.tempPath, "left over"));
    EXPECT_FALSE(PathExists(store.corruptPath));
}

// Appending in place holds the file exclusively; a read holds it shared.
TEST(TxnBegin, FileLockKindFollowsTheType) {
    struct Case {
        unsigned type;
        uint64_t features;
        bool exclusive;
    };
    const Case cases[] = {{GENREG_TXN_READ, 0, false},
                          {GENREG_TXN_CHANGE, 0, false},
                          {GENREG_TXN_ADD, 0, false},
                          {GENREG_TXN_ADD, GENREG_FEATURE_DUPLICATES, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        TestDir dir;
        TextStore store(dir.file("reg"));
        store.features = c.features;
        ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
        Txn txn(&store, c.type);
        ASSERT_EQ(0u, txn.rc);
        OSSHFile other;
        OSSFileOpenParam open = {
            OSS_INTERFACE_VERSION, store.filePath, 2, OSS_ACCESS_READ, 0, 0600};
        ASSERT_EQ(0u, other.open(&open));
        OSSFileLockParam shared = {OSS_INTERFACE_VERSION, OSS_LOCK_SHARED, OSS_LOCK_FAIL_AT_ONCE};
        EXPECT_EQ(c.exclusive ? OSS_RC_LOCK_NOT_AVAILABLE : 0u, other.lock(&shared));
        other.close();
    }
}

TEST(TxnBegin, CopyGetsTheFilePermissions) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "x"));
    ASSERT_EQ(0u, ossFileSetPermissions(store.filePath, 0640));
    Txn txn(&store, GENREG_TXN_CHANGE);
    ASSERT_EQ(0u, txn.rc);
    OSSFileInfoRequest fileRequest = {OSS_INTERFACE_VERSION, store.filePath};
    OSSFileInfoRequest copyRequest = {OSS_INTERFACE_VERSION, store.tempPath};
    OSSFileInfo fileInfo = {};
    OSSFileInfo copyInfo = {};
    ASSERT_EQ(0u, ossFileGetInfoV9(&fileRequest, &fileInfo));
    ASSERT_EQ(0u, ossFileGetInfoV9(&copyRequest, &copyInfo));
    EXPECT_EQ(fileInfo.permissions, copyInfo.permissions);
}

TEST(TxnBegin, VerifyPassReadsTheExistingCopy) {
    TestDir dir;
    BinStore store(dir.file("reg"));
    ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
    ASSERT_TRUE(WriteFileBytes(store.corruptPath, "marker"));
    {
        Txn txn(&store, GENREG_TXN_VERIFY);
        EXPECT_EQ(GENREG_RC_TEMP_OPEN_FAILED, txn.rc);
    }
    ASSERT_TRUE(WriteFileBytes(store.tempPath, "new"));
    Txn txn(&store, GENREG_TXN_VERIFY);
    ASSERT_EQ(0u, txn.rc);
    EXPECT_EQ("old", ReadRest(store.stream));
    EXPECT_EQ("new", ReadRest(store.tempStream));
    // The verification pass runs no recovery.
    EXPECT_TRUE(FileHolds(store.corruptPath, "marker"));
}

// Each OS failure inside BeginTransaction gives its own code, and the
// streams opened so far are closed by EndTransaction.
TEST(TxnBegin, EachOsFailureGivesItsCode) {
    struct Case {
        const char* name;
        OSSFaultKind kind;
        uint32_t nth;
        unsigned type;
        unsigned expected;
    };
    const Case cases[] = {
        // The injected refusal of the open is a lack of permission.
        {"file open", OSS_FAULT_OPEN, 1, GENREG_TXN_READ, GENREG_RC_PERMISSION_DENIED},
        {"file lock", OSS_FAULT_LOCK, 1, GENREG_TXN_READ, GENREG_RC_FILE_LOCK_FAILED},
        {"stream attach", OSS_FAULT_OPEN, 2, GENREG_TXN_READ, GENREG_RC_FILE_OPEN_FAILED},
        // The copy's owner, then its permission bits, both from the open file.
        {"copy permission bits", OSS_FAULT_PERMISSIONS, 2, GENREG_TXN_CHANGE,
         GENREG_RC_TEMP_MODE_FAILED},
        // The opens: the file, its descriptor, its stream, then the copy.
        {"copy creation", OSS_FAULT_OPEN, 4, GENREG_TXN_CHANGE, GENREG_RC_TEMP_OPEN_FAILED},
        {"copy permissions", OSS_FAULT_PERMISSIONS, 1, GENREG_TXN_DELETE,
         GENREG_RC_TEMP_MODE_FAILED},
        {"old marker delete", OSS_FAULT_DELETE, 1, GENREG_TXN_CHANGE,
         GENREG_RC_MARKER_DELETE_FAILED},
        {"directory creation", OSS_FAULT_MKDIR, 1, GENREG_TXN_ADD, GENREG_RC_DIR_CREATE_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        BinStore store(dir.file("sub") + ossPathSeparator() + "reg");
        if (c.kind != OSS_FAULT_MKDIR) {
            ASSERT_TRUE(store_test::MakeDirectory(dir.file("sub")));
            ASSERT_TRUE(WriteFileBytes(store.filePath, "old"));
            ASSERT_TRUE(WriteFileBytes(store.corruptPath, "marker"));
        }
        ResourceBalance balance;
        ossFaultArm(c.kind, c.nth, 0);
        unsigned rc = BeginTransaction(&store, c.type);
        bool fired = ossFaultFired();
        ossFaultDisarm();
        EXPECT_TRUE(fired);
        EXPECT_EQ(c.expected, rc);
        EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
        EXPECT_TRUE(store_test::HandleIsIdle(store));
        EXPECT_TRUE(balance.Unchanged());
        if (c.kind != OSS_FAULT_MKDIR) {
            EXPECT_TRUE(FileHolds(store.filePath, "old"));
        }
    }
}

TEST(TxnBegin, ReadOnlyDirectoryRefusesTheCopy) {
    TestDir dir;
    std::string sub = dir.file("ro");
    ASSERT_TRUE(store_test::MakeDirectory(sub));
    TextStore store(sub + ossPathSeparator() + "reg");
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a\n"));
    if (!store_test::MakeReadOnly(sub)) GTEST_SKIP() << "permissions do not bind this user";
    {
        Txn txn(&store, GENREG_TXN_CHANGE);
        EXPECT_EQ(GENREG_RC_TEMP_OPEN_FAILED, txn.rc);
    }
    store_test::MakeWritable(sub);
    EXPECT_TRUE(store_test::IsUntouched(store, "a\n"));
    EXPECT_FALSE(PathExists(store.tempPath));
}

}  // namespace
