// Allocation failures in the directory lists: each is reported with its
// code and leaves nothing open; a failed cluster connection keeps the
// list on its entry.
#include <genreg/directory.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include "platform/fault.h"
#include "tests/dir_machine.h"

#ifdef GENREG_FAULT_INJECTION

namespace {

using dir_test::Counters;
using dir_test::Machine;
using dir_test::Row;

std::vector<Row> clusteredCopy() {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.4.0", "C:\\A");
    rows.push_back(
        {dir_test::LOCAL, dir_test::instanceKeyOf("A", "PROFILES", "I1"), "QVRCLUSTER", "CLUS1"});
    rows.push_back({dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I1", "QVRINSTPROF", "K:\\c"});
    return rows;
}

struct FaultGuard {
    ~FaultGuard() { ossFaultDisarm(); }
};

TEST(DirFaults, NoMemoryForAListHandle) {
    Machine machine(clusteredCopy());
    ASSERT_TRUE(machine.ok()) << machine.why();
    FaultGuard guard;
    Counters counters;
    int64_t blocks = ossResourceCount(OSS_RESOURCE_ALLOCATION);
    void* list = &list;
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    EXPECT_EQ(GENREG_RC_NO_MEMORY, ossOpenInstanceList("QVR", &list, true));
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    EXPECT_EQ(GENREG_RC_LIST_OPEN_FAILED, ossOpenServiceList(&list, true));
    OSSInstanceInfo_t info;
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    EXPECT_EQ(GENREG_RC_INSTANCE_INFO_FAILED, ossGetInstanceInfo("QVR", 0, "I1", &info, true));
    OSSServiceInfo_t service;
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    EXPECT_EQ(GENREG_RC_SERVICE_INFO_FAILED, ossGetServiceInfo("QVR", 0, nullptr, &service, true));
    EXPECT_EQ(&list, list);
    EXPECT_EQ(0, counters.openKeys());
    EXPECT_EQ(blocks, ossResourceCount(OSS_RESOURCE_ALLOCATION));
}

TEST(DirFaults, NoMemoryForTheClusterConnectionKeepsTheEntry) {
    Machine machine(clusteredCopy());
    ASSERT_TRUE(machine.ok()) << machine.why();
    FaultGuard guard;
    Counters counters;
    void* list = nullptr;
    ASSERT_EQ(0u, ossOpenInstanceList("QVR", &list, true));
    OSSInstanceInfo_t info;
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    EXPECT_EQ(GENREG_RC_NEXT_INSTANCE_FAILED, ossGetNextInstance(list, &info, true));
    EXPECT_TRUE(ossFaultFired());
    EXPECT_GE(2, counters.openKeys());
    EXPECT_EQ(0, counters.openClusterHandles());
    ossFaultDisarm();
    ASSERT_EQ(0u, ossGetNextInstance(list, &info, true));  // the same entry again
    EXPECT_STREQ("I1", info.instanceName);
    EXPECT_STREQ("K:\\c\\I1", info.profilePath);
    EXPECT_EQ(GENREG_RC_NOT_FOUND, ossGetNextInstance(list, &info, true));
    EXPECT_EQ(0u, ossCloseInstanceList(list));
    EXPECT_EQ(0, counters.openKeys());
    EXPECT_EQ(0, counters.openClusterHandles());
}

}  // namespace

#endif
