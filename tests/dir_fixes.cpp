// Regression tests for faults of the directory's original design, one per
// fault, named after it.
#include <genreg/directory.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include "oss/product_registry.h"
#include "tests/dir_listing.h"
#include "tests/dir_machine.h"

namespace {

using dir_test::Counters;
using dir_test::Machine;
using dir_test::Row;

const char* instanceKey(const char* name) {
    return dir_test::instanceKeyOf("A", "PROFILES", name);
}

std::vector<Row> copyA(std::initializer_list<Row> extra) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.4.0", "C:\\A");
    rows.insert(rows.end(), extra);
    return rows;
}

// A 568-byte configuration buffer cannot hold a long binary path: the
// query failed and the start mode was silently lost.
TEST(DirFixes, ServiceConfigurationLongerThan568BytesKeepsItsStartMode) {
    std::string disabledLong = "4" + std::string(1200, 'y');
    Machine machine(copyA({{dir_test::LOCAL, instanceKey("BIG$"), nullptr, nullptr},
                           {dir_test::SERVICE, "BIG$", nullptr, dir_test::keep(disabledLong)}}));
    ASSERT_TRUE(machine.ok()) << machine.why();
    OSSInstanceInfo_t info;
    ASSERT_EQ(0u, ossGetInstanceInfo("QVR", 0, machine.name("BIG$").c_str(), &info, true));
    EXPECT_EQ((uint64_t)OSS_INSTANCE_DISABLED, info.flags);
}

// A level text stored without its terminator that fills the 16-byte
// buffer was handed to the number conversion unterminated.
TEST(DirFixes, LevelValueFillingItsBufferWithoutTerminatorDoesNotFit) {
    const char* key = DIR_T_COPIES "\\A\\CurrentVersion";
    Machine machine({{dir_test::LOCAL, key, "Version", "sznul:9999999999999999"},
                     {dir_test::LOCAL, key, "Release", "1"},
                     {dir_test::LOCAL, key, "Modification", "2"},
                     {dir_test::LOCAL, key, "Service Level", "3"}});
    ASSERT_TRUE(machine.ok()) << machine.why();
    uint64_t level = 7;
    EXPECT_EQ(234u, DirReadCopyVersion("A", &level, true));
    EXPECT_EQ(7u, level);
}

// A DWORD level was read as text: its bytes 09 00 00 00 gave 0, not 9.
TEST(DirFixes, DwordLevelValueIsReadAsItsNumber) {
    const char* key = DIR_T_COPIES "\\A\\CurrentVersion";
    Machine machine({{dir_test::LOCAL, key, "Version", "dword:9"},
                     {dir_test::LOCAL, key, "Release", "dword:7"},
                     {dir_test::LOCAL, key, "Modification", "dword:4"},
                     {dir_test::LOCAL, key, "Service Level", "0"}});
    ASSERT_TRUE(machine.ok()) << machine.why();
    uint64_t level = 0;
    EXPECT_EQ(0u, DirReadCopyVersion("A", &level, true));
    EXPECT_EQ(0x0009000700040000ULL, level);
}

// The profile directory was not cleared before an entry was read: a
// remote entry that failed kept the previous entry's directory and got
// its own name appended to it.
TEST(DirFixes, FailedRemoteEntryLeavesNoStaleProfileDirectory) {
    Machine machine(copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRINSTPROF", "D:\\prof"},
                           {dir_test::LOCAL, instanceKey("I2"), "QVRREMOTEPREG", "NOSUCHHOST"}}));
    ASSERT_TRUE(machine.ok()) << machine.why();
    void* list = nullptr;
    ASSERT_EQ(0u, ossOpenInstanceList("QVR", &list, true));
    OSSInstanceInfo_t info;  // one record for every call, as callers do
    ASSERT_EQ(0u, ossGetNextInstance(list, &info, true));
    EXPECT_STREQ("D:\\prof\\I1", info.profilePath);
    EXPECT_EQ(GENREG_RC_NEXT_INSTANCE_FAILED, ossGetNextInstance(list, &info, true));
    EXPECT_STREQ("", info.profilePath);
    EXPECT_EQ(0u, ossCloseInstanceList(list));
}

// The cluster's directory value was converted as a terminated text: one
// stored without a terminator made the conversion read past the buffer.
TEST(DirFixes, ClusterValueWithoutTerminatorStaysInsideItsBuffer) {
    std::string full(257, 'k');  // 514 bytes of UTF-16: the whole buffer
    Machine machine(copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRCLUSTER", "CLUS1"},
                           {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I1", "QVRINSTPROF",
                            dir_test::keep("sznul:" + full)}}));
    ASSERT_TRUE(machine.ok()) << machine.why();
    dir_test::InstanceListing listing = dir_test::listInstances("QVR", 1);
    ASSERT_EQ(1u, listing.entries.size());
    const OSSInstanceInfo_t& info = listing.entries[0];
    ASSERT_TRUE(dir_test::textsTerminated(info));
    if (listing.outcomes[0] == "I1@A")
        EXPECT_EQ(full + "\\I1", info.profilePath);
    else  // the system may refuse a text that leaves no room for a terminator
        EXPECT_EQ("failed", listing.outcomes[0]);
}

// The close released the cluster only when its root key closed: a root
// key that would not close leaked the cluster handle.
uint32_t (*g_realRegCloseKey)(OSSClusterKey);
uint32_t closeButReportFailure(OSSClusterKey key) {
    g_realRegCloseKey(key);
    return 5;
}

TEST(DirFixes, ClusterIsClosedEvenWhenItsRootKeyReportsAFailure) {
    Machine machine(
        copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRCLUSTER", "CLUS1"},
               {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I1", "QVRINSTPROF", "K:\\c"}}));
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    void* list = nullptr;
    ASSERT_EQ(0u, ossOpenInstanceList("QVR", &list, true));
    OSSInstanceInfo_t info;
    ASSERT_EQ(0u, ossGetNextInstance(list, &info, true));
    ASSERT_EQ(2, counters.openClusterHandles());
    OSSClusterApi* api = const_cast<OSSClusterApi*>(ossClusterApi());
    g_realRegCloseKey = api->regCloseKey;
    api->regCloseKey = closeButReportFailure;
    EXPECT_EQ(0u, ossCloseInstanceList(list));
    api->regCloseKey = g_realRegCloseKey;
    EXPECT_EQ(0, counters.openClusterHandles());
}

// A null place for the handle was written through.
TEST(DirFixes, NullPlaceForAListHandleIsRefused) {
    Machine machine(copyA({{dir_test::LOCAL, instanceKey("I1"), nullptr, nullptr}}));
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    EXPECT_EQ(GENREG_RC_NULL_LIST_HANDLE, ossOpenInstanceList("QVR", nullptr, true));
    EXPECT_EQ(GENREG_RC_LIST_OPEN_FAILED, ossOpenServiceList(nullptr, true));
    EXPECT_EQ(0, counters.openKeys());
}

// An unknown list type failed the open after the copies key was opened,
// and left that key open.
TEST(DirFixes, UnknownListTypeLeavesNoKeyOpen) {
    Machine machine(copyA({{dir_test::LOCAL, instanceKey("I1"), nullptr, nullptr}}));
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    void* list = nullptr;
    EXPECT_EQ(GENREG_RC_LIST_OPEN_FAILED, ossOpenInstanceList("Qvr", &list, true));
    EXPECT_EQ(0, counters.openKeys());
}

}  // namespace
