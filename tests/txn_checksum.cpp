// The checksum header of binary files with GENREG_FEATURE_CHECKSUM: the
// checksum itself, its verification when a transaction begins, the
// committed form of the copy, and where readers start.
#include <cstring>

#include "txn_support.h"

using namespace txn_test;
using store_test::ChecksummedForm;
using store_test::FileHolds;
using store_test::IsCommitted;
using store_test::IsUntouched;
using store_test::ResourceBalance;
using store_test::TestDir;
using store_test::WriteFileBytes;

namespace {

const std::string kRecords(
    "\x05\x00\x00\x00"
    "hello\x03\x00\x00\x00"
    "abc",
    16);

std::string Header(const char* text) {
    std::string header(GENREG_CHECKSUM_HEADER_SIZE, '\0');
    std::memcpy(&header[0], text, std::strlen(text));
    return header;
}

// A checksummed binary store; verifying says whether this handle has
// committed before (headerPending 0), which turns the verification on.
struct SumStore : BinStore {
    SumStore(const std::string& path, bool verifying) : BinStore(path) {
        features = GENREG_FEATURE_CHECKSUM;
        headerPending = verifying ? 0 : 1;
    }
};

TEST(TxnChecksum, ComputeChecksumXorsLittleEndianWordsThenTrailingBytes) {
    struct Case {
        std::string data;
        int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"a", 0x61},
        {"abc", 0x61 ^ 0x62 ^ 0x63},
        {std::string("\x01\x02\x03\x04", 4), 0x04030201},
        // Trailing bytes go to the low 8 bits, not to their positions.
        {std::string("\x01\x02\x03\x04\x10\x20", 6), 0x04030201 ^ 0x10 ^ 0x20},
        {std::string("\x01\x00\x00\x00\x01\x00\x00\x00", 8), 0},
        {std::string("\xff\xff\xff\xff", 4), -1},
        {std::string("\x00\x00\x00\x80\xff", 5), (int32_t)0x800000ff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data.size());
        EXPECT_EQ(c.expected, ComputeChecksum(c.data.data(), c.data.size()));
    }
}

// Verification runs once the handle committed; it accepts a right header
// and leaves the stream at the first record, and refuses everything else.
TEST(TxnChecksum, VerificationAcceptsOnlyAMatchingHeader) {
    char wrongText[16];
    std::snprintf(wrongText, sizeof wrongText, "%d",
                  (int)ComputeChecksum(kRecords.data(), kRecords.size()) + 1);
    std::string noNul = ChecksummedForm(kRecords);
    std::memset(&noNul[0], '7', GENREG_CHECKSUM_HEADER_SIZE);
    struct Case {
        const char* name;
        std::string content;
        unsigned expected;
    };
    const Case cases[] = {
        {"right header", ChecksummedForm(kRecords), 0},
        {"header 0, no data", Header("0"), 0},
        {"empty file", "", 0},
        {"wrong header", Header(wrongText) + kRecords, GENREG_RC_CHECKSUM_MISMATCH},
        {"header without NUL", noNul, GENREG_RC_CHECKSUM_MISMATCH},
        {"data changed", ChecksummedForm(kRecords).substr(0, 40) + "X",
         GENREG_RC_CHECKSUM_MISMATCH},
        {"20 bytes", std::string(20, '1'), GENREG_RC_READ_FAILED},
        {"31 bytes", std::string(31, '\0'), GENREG_RC_READ_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        SumStore store(dir.file("reg"), true);
        ASSERT_TRUE(WriteFileBytes(store.filePath, c.content));
        ResourceBalance balance;
        unsigned rc = BeginTransaction(&store, GENREG_TXN_READ);
        EXPECT_EQ(c.expected, rc);
        if (rc == 0) {
            std::string rest = ReadRest(store.stream);
            EXPECT_EQ(c.content.empty() ? "" : c.content.substr(GENREG_CHECKSUM_HEADER_SIZE), rest);
        }
        EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
        EXPECT_TRUE(balance.Unchanged());
    }
}

// Before its first commit the handle does not verify, but still starts
// reading behind the header.
TEST(TxnChecksum, UnverifiedReadersStillStartBehindTheHeader) {
    TestDir dir;
    SumStore store(dir.file("reg"), false);
    ASSERT_TRUE(WriteFileBytes(store.filePath, Header("12345") + kRecords));
    std::string content;
    ASSERT_EQ(0u, RunRead(&store, &content));
    EXPECT_EQ(kRecords, content);
    // A file too short for its header is refused even so.
    ASSERT_TRUE(WriteFileBytes(store.filePath, "short"));
    EXPECT_EQ(GENREG_RC_READ_FAILED, RunRead(&store, &content));
}

// The copy holds records only; the commit writes header and records, and
// an update that leaves no record commits an empty file.
TEST(TxnChecksum, CommitWritesTheHeaderInFrontOfTheRecords) {
    for (bool verify : {false, true}) {
        for (unsigned type : {GENREG_TXN_CHANGE, GENREG_TXN_ADD, GENREG_TXN_DELETE}) {
            SCOPED_TRACE(testing::Message() << "verify " << verify << " type " << type);
            TestDir dir;
            SumStore store(dir.file("reg"), false);
            if (verify) store.features |= GENREG_FEATURE_VERIFY;
            ASSERT_TRUE(WriteFileBytes(store.filePath, ""));
            std::string read;
            ASSERT_EQ(0u, RunUpdate(&store, type, kRecords, &read));
            EXPECT_EQ("", read);
            EXPECT_TRUE(IsCommitted(store, ChecksummedForm(kRecords)));
            EXPECT_EQ(0u, store.headerPending);
            // Verified from now on; the next update reads records only and
            // still commits a single header.
            ASSERT_EQ(0u, RunUpdate(&store, type, kRecords + "more", &read));
            EXPECT_EQ(kRecords, read);
            EXPECT_TRUE(IsCommitted(store, ChecksummedForm(kRecords + "more")));
            ASSERT_EQ(0u, RunUpdate(&store, type, "", &read));
            EXPECT_TRUE(IsCommitted(store, ""));
            ASSERT_EQ(0u, RunRead(&store, &read));
            EXPECT_EQ("", read);
        }
    }
}

// The verification pass reads the copy in its committed form.
TEST(TxnChecksum, VerificationPassReadsTheCopyBehindItsHeader) {
    TestDir dir;
    SumStore store(dir.file("reg"), true);
    store.features |= GENREG_FEATURE_VERIFY;
    ASSERT_TRUE(WriteFileBytes(store.filePath, ChecksummedForm("old")));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_CHANGE));
    ASSERT_TRUE(WriteAll(store.tempStream, kRecords));
    ASSERT_EQ(0u, EndTransaction(&store, GENREG_TXN_CHANGE));
    EXPECT_TRUE(FileHolds(store.tempPath, ChecksummedForm(kRecords)));
    ASSERT_EQ(0u, BeginTransaction(&store, GENREG_TXN_VERIFY));
    EXPECT_EQ("old", ReadRest(store.stream));
    EXPECT_EQ(kRecords, ReadRest(store.tempStream));
    EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_VERIFY));
    EXPECT_TRUE(IsCommitted(store, ChecksummedForm(kRecords)));
}

// A checksummed handle never appends in place: the header covers every
// byte, so Add rewrites through a copy even with duplicates allowed.
TEST(TxnChecksum, AddNeverAppendsInPlace) {
    TestDir dir;
    SumStore store(dir.file("reg"), true);
    store.features |= GENREG_FEATURE_DUPLICATES;
    EXPECT_FALSE(GenRegAppendsInPlace(&store));
    ASSERT_TRUE(WriteFileBytes(store.filePath, ChecksummedForm("old")));
    std::string read;
    ASSERT_EQ(0u, RunUpdate(&store, GENREG_TXN_ADD, "old+new", &read));
    EXPECT_EQ("old", read);
    EXPECT_TRUE(IsCommitted(store, ChecksummedForm("old+new")));
}

// The feature means nothing to a text store.
TEST(TxnChecksum, TextStoreIgnoresTheFeature) {
    TestDir dir;
    TextStore store(dir.file("reg"));
    store.features = GENREG_FEATURE_CHECKSUM | GENREG_FEATURE_DUPLICATES;
    store.headerPending = 0;
    ASSERT_TRUE(WriteFileBytes(store.filePath, "a=1\n"));
    EXPECT_TRUE(GenRegAppendsInPlace(&store));
    std::string content;
    ASSERT_EQ(0u, RunRead(&store, &content));
    EXPECT_EQ("a=1\n", content);
}

TEST(TxnChecksum, EachFailureGivesItsCodeAndCommitsNothing) {
    struct Case {
        const char* name;
        OSSFaultKind kind;
        uint32_t nth;
        bool atBegin;
        unsigned expected;
    };
    const Case cases[] = {
        {"no memory to verify", OSS_FAULT_ALLOC, 1, true, GENREG_RC_CHECKSUM_NO_MEMORY},
        {"header read", OSS_FAULT_READ, 1, true, GENREG_RC_READ_FAILED},
        {"data read", OSS_FAULT_READ, 2, true, GENREG_RC_CHECKSUM_READ_FAILED},
        {"no memory to commit", OSS_FAULT_ALLOC, 1, false, GENREG_RC_CHECKSUM_NO_MEMORY},
        {"copy read back", OSS_FAULT_READ, 1, false, GENREG_RC_CHECKSUM_READ_FAILED},
        {"header write", OSS_FAULT_WRITE, 1, false, GENREG_RC_COPY_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        ResourceBalance balance;
        {
            SumStore store(dir.file("reg"), true);
            ASSERT_TRUE(WriteFileBytes(store.filePath, ChecksummedForm(kRecords)));
            if (c.atBegin) ossFaultArm(c.kind, c.nth, 0);
            unsigned rc = BeginTransaction(&store, GENREG_TXN_CHANGE);
            if (!c.atBegin) {
                ASSERT_EQ(0u, rc);
                ASSERT_TRUE(WriteAll(store.tempStream, "new records"));
                ossFaultArm(c.kind, c.nth, 0);
                rc = EndTransaction(&store, GENREG_TXN_CHANGE);
                EXPECT_NE(nullptr, store.tempStream);
            }
            ossFaultDisarm();
            EXPECT_EQ(c.expected, rc);
            EXPECT_EQ(0u, EndTransaction(&store, GENREG_TXN_READ));
            EXPECT_TRUE(IsUntouched(store, ChecksummedForm(kRecords)));
            EXPECT_EQ(0u, store.headerPending);
        }
        EXPECT_TRUE(balance.Unchanged());
    }
}

}  // namespace
