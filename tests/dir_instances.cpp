// Instance lists: which copies contribute, in which order, and how the
// list behaves after a failure.
#include <genreg/directory.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include "tests/dir_listing.h"
#include "tests/dir_machine.h"

namespace {

using dir_test::InstanceListing;
using dir_test::listInstances;
using dir_test::Machine;
using dir_test::Row;
using Outcomes = std::vector<std::string>;

void addInstance(std::vector<Row>* rows, const char* copy, const char* profiles,
                 const char* instance) {
    rows->push_back(
        {dir_test::LOCAL, dir_test::instanceKeyOf(copy, profiles, instance), nullptr, nullptr});
}

// Copies A (two instances), B (administration servers only), C (an empty
// profiles key), D (one instance) and the top-level copy at level
// topLevel (one instance, one administration server).
std::vector<Row> fourCopies(const char* topLevel) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.4.0", "C:\\A\\");
    addInstance(&rows, "A", "PROFILES", "I1");
    addInstance(&rows, "A", "PROFILES", "I2");
    dir_test::addCopy(&rows, "B", "9.5.0.0", "C:\\B");
    addInstance(&rows, "B", "PLV_PROFILES", "P1");
    dir_test::addCopy(&rows, "C", "9.1.0.0", "C:\\C");
    rows.push_back({dir_test::LOCAL, DIR_T_COPIES "\\C\\PROFILES", nullptr, nullptr});
    dir_test::addCopy(&rows, "D", "10.1.0.0", "C:\\D");
    addInstance(&rows, "D", "PROFILES", "I3");
    dir_test::addCopy(&rows, "", topLevel, "C:\\TOP");
    addInstance(&rows, "", "PROFILES", "I0");
    addInstance(&rows, "", "PLV_PROFILES", "P0");
    return rows;
}

TEST(DirInstances, CopiesInRegistryOrderThenTheTopLevelCopyBelowLevel9) {
    struct {
        const char* topLevel;
        const char* type;
        Outcomes expected;
    } cases[] = {
        {"8.2.0.0", "QVR", {"I1@A", "I2@A", "I3@D", "I0@", "end", "end"}},
        {"8.2.0.0", "PLV", {"P1@B", "P0@", "end", "end", "end", "end"}},
        {"9.0.0.0", "QVR", {"I1@A", "I2@A", "I3@D", "end", "end", "end"}},
        {"12.0.0.0", "PLV", {"P1@B", "end", "end", "end", "end", "end"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " top level " + c.topLevel);
        Machine machine(fourCopies(c.topLevel));
        ASSERT_TRUE(machine.ok()) << machine.why();
        InstanceListing listing = listInstances(c.type, 6);
        ASSERT_EQ(0u, listing.openRc);
        EXPECT_EQ(c.expected, listing.outcomes);
    }
}

TEST(DirInstances, EntriesCarryTheirCopysLevelPathAndKind) {
    Machine machine(fourCopies("8.2.0.0"));
    ASSERT_TRUE(machine.ok()) << machine.why();
    InstanceListing listing = listInstances("QVR", 4, false);
    ASSERT_EQ(4u, listing.entries.size());
    const OSSInstanceInfo_t& i1 = listing.entries[0];
    EXPECT_EQ(0x0009000700040000ULL, i1.versionCode);
    EXPECT_STREQ("QVR", i1.type);
    EXPECT_STREQ("C:\\A", i1.installPath);  // its one trailing backslash removed
    EXPECT_STREQ("", i1.remoteName);
    EXPECT_STREQ("", i1.reserved1);
    EXPECT_STREQ("", i1.reserved2);
    EXPECT_EQ(0u, i1.flags);
    EXPECT_EQ(0x000A000100000000ULL, listing.entries[2].versionCode);
    const OSSInstanceInfo_t& i0 = listing.entries[3];
    EXPECT_STREQ("", i0.copyName);
    EXPECT_EQ(0x0008000200000000ULL, i0.versionCode);
    EXPECT_STREQ("C:\\TOP", i0.installPath);
}

TEST(DirInstances, WithoutInstalledCopiesOnlyTheTopLevelCopyIsListed) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "", "8.0.0.0", "C:\\TOP");
    addInstance(&rows, "", "PROFILES", "I0");
    addInstance(&rows, "", "PROFILES", "I9");
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    EXPECT_EQ((Outcomes{"I0@", "I9@", "end"}), listInstances("QVR", 3).outcomes);
    // No administration servers anywhere: there is no empty list.
    EXPECT_EQ(GENREG_RC_REGISTRY_KEY_NOT_FOUND, listInstances("PLV", 1).openRc);
    OSSInstanceInfo_t info;
    EXPECT_EQ(GENREG_RC_INSTANCE_INFO_FAILED, ossGetInstanceInfo("PLV", 0, nullptr, &info, true));
}

TEST(DirInstances, NoProfilesAnywhereFailsTheOpen) {
    struct {
        const char* name;
        std::vector<Row> rows;
    } cases[] = {
        {"no product key at all", {{dir_test::LOCAL, "SOFTWARE\\Other", nullptr, nullptr}}},
        {"copies without profiles",
         {{dir_test::LOCAL, DIR_T_COPIES "\\A\\PLV_PROFILES\\P1", nullptr, nullptr},
          {dir_test::LOCAL, DIR_T_PRODUCT "\\PLV_PROFILES\\P0", nullptr, nullptr}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine(c.rows);
        ASSERT_TRUE(machine.ok()) << machine.why();
        EXPECT_EQ(GENREG_RC_REGISTRY_KEY_NOT_FOUND, listInstances("QVR", 0).openRc);
        OSSInstanceInfo_t info;
        EXPECT_EQ(GENREG_RC_INSTANCE_INFO_FAILED,
                  ossGetInstanceInfo("QVR", 0, nullptr, nullptr, &info, false));
    }
}

TEST(DirInstances, TypeTextMustBeExact) {
    Machine machine(fourCopies("8.2.0.0"));
    ASSERT_TRUE(machine.ok()) << machine.why();
    void* list = &list;
    EXPECT_EQ(GENREG_RC_NULL_LIST_TYPE, ossOpenInstanceList(nullptr, &list, true));
    for (const char* type : {"qvr", "plv", "QVR ", "", "SVC"}) {
        SCOPED_TRACE(type);
        dir_test::Counters counters;
        EXPECT_EQ(GENREG_RC_LIST_OPEN_FAILED, ossOpenInstanceList(type, &list, true));
        EXPECT_EQ(&list, list);  // the out handle is written only on success
        EXPECT_EQ(0, counters.openKeys());
    }
    // The four-argument form ignores its extra flag.
    for (bool unused : {false, true}) {
        ASSERT_EQ(0u, ossOpenInstanceList("PLV", &list, unused, true));
        OSSInstanceInfo_t info;
        EXPECT_EQ(0u, ossGetNextInstance(list, &info, true));
        EXPECT_STREQ("P1", info.instanceName);
        EXPECT_EQ(0u, ossCloseInstanceList(list));
    }
}

TEST(DirInstances, CopyWithoutLevelFailsAtItsFirstInstanceOnEveryCall) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", nullptr, "C:\\A");
    addInstance(&rows, "A", "PROFILES", "I1");
    dir_test::addCopy(&rows, "B", "9.7.0.0", "C:\\B");
    addInstance(&rows, "B", "PROFILES", "I2");
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    EXPECT_EQ((Outcomes{"failed", "failed", "failed"}), listInstances("QVR", 3).outcomes);
}

TEST(DirInstances, TopLevelCopyWithoutLevelEndsTheList) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.0.0", "C:\\A");
    addInstance(&rows, "A", "PROFILES", "I1");
    dir_test::addCopy(&rows, "", nullptr, "C:\\TOP");
    addInstance(&rows, "", "PROFILES", "I0");
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    EXPECT_EQ((Outcomes{"I1@A", "end", "end"}), listInstances("QVR", 3).outcomes);
}

TEST(DirInstances, InstanceNameTooLongForTheRecordNeverOverflowsIt) {
    std::string longName(70, 'L');
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.0.0", "C:\\A");
    rows.push_back({dir_test::LOCAL, dir_test::instanceKeyOf("A", "PROFILES", longName.c_str()),
                    nullptr, nullptr});
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    // The name is cut to the record's 63 characters; no key has that name,
    // and the list stays on the entry.
    InstanceListing listing = listInstances("QVR", 2);
    EXPECT_EQ((Outcomes{"failed", "failed"}), listing.outcomes);
    EXPECT_EQ(std::string(63, 'L'), listing.entries[0].instanceName);
}

TEST(DirInstances, ViewFlagChoosesTheAccessMaskOfEveryLocalOpen) {
    Machine machine(fourCopies("8.2.0.0"));
    ASSERT_TRUE(machine.ok()) << machine.why();
    for (bool view64 : {false, true}) {
        SCOPED_TRACE(view64);
        dir_test::Counters counters;
        listInstances("QVR", 5, view64);
        OSSInstanceInfo_t info;
        EXPECT_EQ(0u, ossGetInstanceInfo("QVR", 0, "I3", &info, view64));
        OSSRegistryCounters seen = counters.delta();
        EXPECT_LT(20, view64 ? seen.opensRead64 : seen.opensRead);
        EXPECT_EQ(0, view64 ? seen.opensRead : seen.opensRead64);
        EXPECT_EQ(0, seen.opensOther);
    }
}

TEST(DirInstances, NullArgumentsAndUnsupportedWriters) {
    Machine machine(fourCopies("8.2.0.0"));
    ASSERT_TRUE(machine.ok()) << machine.why();
    OSSInstanceInfo_t info;
    void* list = nullptr;
    EXPECT_EQ(GENREG_RC_NULL_LIST_HANDLE, ossGetNextInstance(nullptr, &info, true));
    EXPECT_EQ(GENREG_RC_NULL_LIST_HANDLE, ossCloseInstanceList(nullptr));
    EXPECT_EQ(GENREG_RC_NULL_LIST_HANDLE, ossOpenInstanceList("QVR", nullptr, true));
    ASSERT_EQ(0u, ossOpenInstanceList("QVR", &list, true));
    EXPECT_EQ(GENREG_RC_NULL_INSTANCE_INFO, ossGetNextInstance(list, nullptr, true));
    EXPECT_EQ(0u, ossGetNextInstance(list, &info, true));  // the null record cost no entry
    EXPECT_STREQ("I1", info.instanceName);
    EXPECT_EQ(0u, ossCloseInstanceList(list));
    EXPECT_EQ(GENREG_RC_NULL_INSTANCE_INFO, ossSetInstanceInfo(nullptr));
    EXPECT_EQ(GENREG_RC_NOT_SUPPORTED, ossSetInstanceInfo(&info));
    EXPECT_EQ(GENREG_RC_NOT_SUPPORTED, ossRemoveInstanceInfo(nullptr, 0, nullptr));
    EXPECT_EQ(GENREG_RC_NOT_SUPPORTED, ossRemoveInstanceInfo("QVR", 1, "I1"));
}

}  // namespace
