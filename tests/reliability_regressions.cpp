// Faults the fault-injection driver found, each pinned by a test named
// after it.
#include "reliability_support.h"

#ifdef GENREG_FAULT_INJECTION

namespace {

using reliability_test::Store;

// An Add that appends in place (duplicates allowed, verification off)
// writes the registry file itself. A write that failed half-way used to
// leave its first bytes there: a length prefix without its record, or a
// line end without its line, so the file was neither old nor new and a
// binary file no longer parsed. Every failed write must leave the old bytes.
TEST(ReliabilityRegression, FailedAppendInPlaceLeavesNoTornRecord) {
    for (reliability_test::StoreKind kind :
         {reliability_test::STORE_TEXT, reliability_test::STORE_BINARY}) {
        store_test::TestDir dir;
        const std::string path = dir.file("reg");
        Store store(kind, path);
        ASSERT_EQ(0u, store.constructRc());
        ASSERT_EQ(0u, store.SetFeatures(GENREG_FEATURE_DUPLICATES));
        ASSERT_EQ(0u, store.Add("alpha", 1));
        // A text file whose last line is open needs a line end first: two
        // writes, the second of which can fail.
        std::string before = store_test::ReadFileBytes(path);
        if (kind == reliability_test::STORE_TEXT) before += "omega = 0";
        int failedWrites = 0;
        for (uint32_t nth = 1;; ++nth) {
            ASSERT_TRUE(store_test::WriteFileBytes(path, before));
            ossFaultReset();
            ossFaultArm(OSS_FAULT_WRITE, nth, 0);
            const unsigned rc = store.Add("delta", 4);
            const bool fired = ossFaultFired();
            ossFaultDisarm();
            if (!fired) break;
            ++failedWrites;
            EXPECT_EQ(GENREG_RC_APPEND_FAILED, rc) << reliability_test::KindName(kind) << nth;
            EXPECT_EQ(before, store_test::ReadFileBytes(path))
                << reliability_test::KindName(kind) << " write " << nth;
        }
        EXPECT_GE(failedWrites, 2);
        std::map<std::string, int32_t> records;
        EXPECT_EQ(0u, store.Records(&records));
    }
}

// Before appending in place, a text Add reads the file's last byte to know
// whether the last line needs a line end. A failed read used to count as
// "ends in a line end", so the new line was glued to the last one
// ("omega = 0delta = 4"), changing a record nobody asked to change.
TEST(ReliabilityRegression, UnreadableLastByteFailsAddInsteadOfJoiningLines) {
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    Store store(reliability_test::STORE_TEXT, path);
    ASSERT_EQ(0u, store.constructRc());
    ASSERT_EQ(0u, store.SetFeatures(GENREG_FEATURE_DUPLICATES));
    const std::string before = "omega = 0";
    ASSERT_TRUE(store_test::WriteFileBytes(path, before));
    store_test::ResourceBalance balance;
    ossFaultReset();
    ossFaultArm(OSS_FAULT_READ, 1, 0);
    EXPECT_EQ(GENREG_RC_READ_FAILED, store.Add("delta", 4));
    EXPECT_TRUE(ossFaultFired());
    ossFaultDisarm();
    EXPECT_EQ(before, store_test::ReadFileBytes(path));
    EXPECT_TRUE(store_test::HandleIsIdle(store.file()));
    EXPECT_TRUE(balance.Unchanged());

    ASSERT_EQ(0u, store.Add("delta", 4));
    int32_t omega = -1;
    EXPECT_EQ(0u, store.Get("omega", &omega));
    EXPECT_EQ(0, omega);
}

}  // namespace

#endif
