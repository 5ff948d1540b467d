// UpgradeServiceLevels on crafted files: which records change, the count,
// and the clean-up of every failure path.
#include <genreg/globalreg.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "globalreg_support.h"
#include "store_invariants.h"
#include "platform/fault.h"
#include "platform/oss.h"

namespace {

using globalrec_test::emptyRecord;
using globalrec_test::fullInstance;
using globalrec_test::fullService;
using globalrec_test::fullVariable;
using globalrec_test::ScopedEnv;
using globalrec_test::StoredRecord;
using globalreg_test::Bytes;
using globalreg_test::GlobalRegFile;
using globalreg_test::recordsOf;

const uint64_t kVersion974 = 0x0009000700040000ULL;
const uint64_t kVersion1050 = 0x000A000500000000ULL;

GlobalRegRecord serviceWithoutLevel(const char* kind) {
    GlobalRegRecord r = fullService(kind, kVersion974, 0);
    r.FieldMask &= ~(uint64_t)GENREG_SVC_LEVEL;
    return r;
}

// A second service record of the administration server, level 300.
GlobalRegRecord secondPlv() {
    GlobalRegRecord r = fullService("PLV", kVersion974, 300);
    GLOBAL_SET(r.Service.ServiceText8, "second");
    return r;
}

// The running level is 9.7.4.0, level number 4.
class GlobalRegUpgrade : public testing::Test {
protected:
    ScopedEnv version_{"GENREG_LEVEL_VERSION", "9.7.4.0"};
    ScopedEnv number_{"GENREG_LEVEL_NUMBER", "4"};
    GlobalRegFile file_;

    // The file's records: which ones are candidates is in the comments.
    std::vector<GlobalRegRecord> crafted() {
        return {
            fullService("QVR", kVersion974, 2),   // 0: changes to 4
            fullVariable("LEVEL", "2"),           // 1: not a service record
            fullService("PLV", kVersion974, 4),   // 2: already at the level
            fullService("qvr", kVersion974, 1),   // 3: another case: not the product
            serviceWithoutLevel("QVR"),           // 4: no Level field
            fullService("QVR", kVersion1050, 1),  // 5: another version
            fullInstance("inst"),                 // 6: not a service record
            secondPlv(),                          // 7: changes to 4 (downwards too)
            fullService("XYZ", kVersion974, 1),   // 8: another service kind
        };
    }

    void add(std::vector<GlobalRegRecord> records) {
        GlobalReg handle;
        for (GlobalRegRecord& r : records)
            ASSERT_EQ(0u, handle.Add(GENREG_SELECT_ALL, &r));
    }
};

uint32_t levelOf(const Bytes& stored) {
    const std::string entry = globalreg_test::entryOf(stored, GENREG_SVC_LEVEL);
    if (entry.size() != 6) return 0xFFFFFFFF;
    uint32_t level = 0;
    for (unsigned i = 0; i < 4; ++i)
        level |= (uint32_t)(unsigned char)entry[2 + i] << (8 * i);
    return level;
}

// Stored records equal but for the missing-field mask, which every rewrite
// of the file recomputes for the records it copies.
bool sameBesidesMissingMask(Bytes a, Bytes b) {
    if (a.size() < 20 || b.size() < 20) return a == b;
    std::fill(a.begin() + 12, a.begin() + 20, 0);
    std::fill(b.begin() + 12, b.begin() + 20, 0);
    return a == b;
}

TEST_F(GlobalRegUpgrade, ChangesOnlyTheRecordsOfTheRunningVersion) {
    add(crafted());
    const std::vector<Bytes> before = recordsOf(file_.path());
    ASSERT_EQ(9u, before.size());

    GlobalReg handle;
    uint64_t count = 99;
    ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(0x082A0061u, handle.updateOriginator);

    const std::vector<Bytes> after = recordsOf(file_.path());
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == 0 || i == 7) {
            EXPECT_EQ(4u, levelOf(after[i])) << i;
        } else {
            EXPECT_TRUE(sameBesidesMissingMask(before[i], after[i])) << i;
        }
    }
    GlobalRegRecord key = emptyRecord(GENREG_GLOBAL_SERVICE);
    key.FieldMask = GENREG_SVC_SERVICE | GENREG_SVC_VERSION_CODE;
    GLOBAL_SET(key.Service.Service, "QVR");
    key.Service.VersionCode = kVersion974;
    GlobalRegRecord got;
    ASSERT_EQ(0u, handle.Get(GENREG_SVC_SERVICE | GENREG_SVC_VERSION_CODE, &key, &got));
    GlobalRegRecord expected = fullService("QVR", kVersion974, 4);
    EXPECT_EQ(0, std::memcmp(&expected, &got, sizeof got));
    EXPECT_TRUE(store_test::IsCommitted(handle, file_.bytes()));
}

TEST_F(GlobalRegUpgrade, NothingChangesWhenEveryRecordHasTheRunningLevel) {
    std::vector<GlobalRegRecord> records = crafted();
    records[0].Service.Level = 4;
    records[7].Service.Level = 4;
    add(records);
    const std::string before = file_.bytes();
    GlobalReg handle;
    uint64_t count = 99;
    ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(before, file_.bytes());

    // And a second upgrade after a first one finds nothing to do.
    ScopedEnv level("GENREG_LEVEL_NUMBER", "5");
    ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(3u, count);  // records 0, 2 and 7
    const std::string upgraded = file_.bytes();
    ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(upgraded, file_.bytes());
}

TEST_F(GlobalRegUpgrade, MissingOrEmptyFile) {
    GlobalReg handle;
    uint64_t count = 99;
    EXPECT_NE(0u, UpgradeServiceLevels(&handle, &count));  // no file to scan
    EXPECT_EQ(99u, count);
    ASSERT_TRUE(platform_test::writeFile(file_.path(), ""));
    ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ("", file_.bytes());
}

// A record of a newer version keeps its unknown field through the upgrade.
TEST_F(GlobalRegUpgrade, UpgradedRecordKeepsFieldsOfANewerVersion) {
    const Bytes stored = StoredRecord(2, 0x1 | 0x2 | 0x20 | 0x1000)
                             .text("QVR")
                             .number(kVersion974, 8)
                             .number(1, 4)
                             .raw("newer")
                             .checksum(0)
                             .bytes();
    file_.write({stored});
    GlobalReg handle;
    uint64_t count = 0;
    ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(1u, count);
    const std::vector<Bytes> after = recordsOf(file_.path());
    ASSERT_EQ(1u, after.size());
    EXPECT_EQ(4u, levelOf(after[0]));
    EXPECT_EQ(globalreg_test::entryOf(stored, 0x1000), globalreg_test::entryOf(after[0], 0x1000));
}

TEST_F(GlobalRegUpgrade, UnknownRunningLevelChangesNothing) {
    add(crafted());
    const std::string before = file_.bytes();
    GlobalReg handle;
    uint64_t count = 99;
    struct Case {
        const char* version;
        const char* number;
    } cases[] = {
        {"9.7.x", "4"},             // a version text that does not convert
        {"9.7.4.0", "4294967296"},  // a level no service record can hold
        {"9.7.4.0", "four"},
    };
    for (const Case& c : cases) {
        ScopedEnv version("GENREG_LEVEL_VERSION", c.version);
        ScopedEnv number("GENREG_LEVEL_NUMBER", c.number);
        EXPECT_EQ(GENREG_RC_LEVEL_QUERY_FAILED, UpgradeServiceLevels(&handle, &count)) << c.number;
        EXPECT_EQ(99u, count);
        EXPECT_EQ(before, file_.bytes());
    }
}

// Fault: a failure inside the scan left the scan open, holding the file,
// and a failure after it lost or released list nodes twice. The scan is
// now closed on every failure path and every node released once.
TEST_F(GlobalRegUpgrade, ClosesItsScanAndReleasesItsNodesOnEveryFailure) {
    add(crafted());
    // A damaged record after the candidates: GetNext fails mid-scan.
    std::vector<Bytes> records = recordsOf(file_.path());
    records.push_back(StoredRecord(2, 0x1 | 0x2).text("QVR").entry(50, "x").checksum(0).bytes());
    file_.write(records);
    const std::string before = file_.bytes();
    GlobalReg handle;
    uint64_t count = 99;
    EXPECT_EQ(GENREG_RC_UNPACK_FAILED, UpgradeServiceLevels(&handle, &count));
    EXPECT_EQ(99u, count);
    EXPECT_TRUE(store_test::HandleIsIdle(handle));
    EXPECT_TRUE(store_test::IsUntouched(handle, before));
    // The file is not held: another handle can scan it, this one too.
    EXPECT_EQ(0u, handle.OpenScan());
    EXPECT_EQ(0u, handle.CloseScan());
}

#ifdef GENREG_FAULT_INJECTION
TEST_F(GlobalRegUpgrade, ClosesItsScanAndReleasesItsNodesWhenAnyAllocationFails) {
    add(crafted());
    const std::string original = file_.bytes();
    // Counts the allocations of a successful run, then fails each in turn,
    // each time on the original file.
    uint64_t allocations = 0;
    {
        GlobalReg handle;
        uint64_t count = 0;
        ossFaultReset();
        ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
        allocations = ossFaultCalls(OSS_FAULT_ALLOC);
        ossFaultDisarm();
    }
    ASSERT_GT(allocations, 4u);
    for (uint64_t nth = 1; nth <= allocations; ++nth) {
        ASSERT_TRUE(platform_test::writeFile(file_.path(), original));
        store_test::ResourceBalance balance;
        GlobalReg handle;
        uint64_t count = 99;
        ossFaultReset();
        ossFaultArm(OSS_FAULT_ALLOC, (uint32_t)nth, 0);
        const unsigned rc = UpgradeServiceLevels(&handle, &count);
        const bool fired = ossFaultFired();
        ossFaultDisarm();
        EXPECT_TRUE(fired) << nth;
        EXPECT_NE(0u, rc) << nth;
        EXPECT_EQ(99u, count) << nth;
        EXPECT_TRUE(store_test::HandleIsIdle(handle)) << nth;
        EXPECT_TRUE(balance.Unchanged()) << nth;
    }
    // Whatever failed, a later run completes the upgrade.
    GlobalReg handle;
    uint64_t count = 0;
    ASSERT_EQ(0u, UpgradeServiceLevels(&handle, &count));
    const std::vector<Bytes> after = recordsOf(file_.path());
    ASSERT_EQ(9u, after.size());
    EXPECT_EQ(4u, levelOf(after[0]));
    EXPECT_EQ(4u, levelOf(after[7]));
}
#endif

}  // namespace
