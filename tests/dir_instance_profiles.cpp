// The profile directory, remote and cluster marks and start modes of
// instance entries.
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

const char* instanceKey(const char* name) {
    return dir_test::instanceKeyOf("A", "PROFILES", name);
}
const char* adminKey(const char* name) {
    return dir_test::instanceKeyOf("A", "PLV_PROFILES", name);
}

// Copy A at 9.7.4.0 installed in C:\A, with the given extra rows.
std::vector<Row> copyA(std::initializer_list<Row> extra) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.4.0", "C:\\A\\");
    rows.insert(rows.end(), extra);
    return rows;
}

struct ProfileCase {
    const char* name;
    std::vector<Row> rows;
    const char* type;
    Outcomes outcomes;
    const char* profilePath;  // of the first entry
    uint64_t flags;
    const char* remoteName;
};

void runProfileCases(const std::vector<ProfileCase>& cases) {
    for (const ProfileCase& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine(c.rows);
        ASSERT_TRUE(machine.ok()) << machine.why();
        InstanceListing listing = listInstances(c.type, (int)c.outcomes.size());
        ASSERT_EQ(0u, listing.openRc);
        EXPECT_EQ(c.outcomes, listing.outcomes);
        const OSSInstanceInfo_t& first = listing.entries[0];
        ASSERT_TRUE(dir_test::textsTerminated(first));
        EXPECT_EQ(machine.name(c.profilePath), first.profilePath);
        EXPECT_EQ(c.flags, first.flags);
        EXPECT_EQ(machine.name(c.remoteName), first.remoteName);
    }
}

TEST(DirInstanceProfiles, LocalDirectoryOrTheInstallationPath) {
    std::string longDirectory(1000, 'd');
    std::string name30(30, 'N');
    // 992 + backslash + 30 + terminator fill the 1024-byte field exactly.
    std::string fillsField(992, 'f');
    std::string oneTooMany(993, 'f');
    runProfileCases({
        {"instance with its directory",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRINSTPROF", "D:\\prof"}}),
         "QVR",
         {"I1@A", "end"},
         "D:\\prof\\I1",
         0,
         ""},
        {"administration server with its directory",
         copyA({{dir_test::LOCAL, adminKey("P1"), "QVRPLVPROF", "D:\\adm"}}),
         "PLV",
         {"P1@A", "end"},
         "D:\\adm",
         0,
         ""},
        {"administration server ignores the instance value",
         copyA({{dir_test::LOCAL, adminKey("P1"), "QVRINSTPROF", "D:\\wrong"}}),
         "PLV",
         {"P1@A", "end"},
         "C:\\A",
         0,
         ""},
        {"instance without a directory",
         copyA({{dir_test::LOCAL, instanceKey("I1"), nullptr, nullptr}}),
         "QVR",
         {"I1@A", "end"},
         "C:\\A\\I1",
         0,
         ""},
        {"administration server without a directory",
         copyA({{dir_test::LOCAL, adminKey("P1"), nullptr, nullptr}}),
         "PLV",
         {"P1@A", "end"},
         "C:\\A",
         0,
         ""},
        {"an empty directory gets no instance name",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRINSTPROF", ""}}),
         "QVR",
         {"I1@A", "end"},
         "",
         0,
         ""},
        {"directory and name too long together: the entry fails, the next follows",
         copyA({{dir_test::LOCAL, instanceKey(name30.c_str()), "QVRINSTPROF",
                 dir_test::keep(longDirectory)},
                {dir_test::LOCAL, instanceKey("ZZ"), nullptr, nullptr}}),
         "QVR",
         {"failed", "ZZ@A", "end"},
         dir_test::keep(longDirectory),
         0,
         ""},
        {"directory and name filling the field exactly",
         copyA({{dir_test::LOCAL, instanceKey(name30.c_str()), "QVRINSTPROF",
                 dir_test::keep(fillsField)}}),
         "QVR",
         {dir_test::keep(name30 + "@A"), "end"},
         dir_test::keep(fillsField + "\\" + name30),
         0,
         ""},
        {"one byte more does not fit",
         copyA({{dir_test::LOCAL, instanceKey(name30.c_str()), "QVRINSTPROF",
                 dir_test::keep(oneTooMany)}}),
         "QVR",
         {"failed", "end"},
         dir_test::keep(oneTooMany),
         0,
         ""},
    });
}

TEST(DirInstanceProfiles, RemoteProfileRegistry) {
    runProfileCases({
        {"directory read on the profile machine",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRREMOTEPREG", "%M"},
                {dir_test::LOCAL, instanceKey("I1"), "QVRINSTPROF", "D:\\local"},
                {dir_test::REMOTE, DIR_T_COPIES "\\A\\I1", "QVRINSTPROF", "R:\\far"}}),
         "QVR",
         {"I1@A", "end"},
         "R:\\far\\I1",
         OSS_INSTANCE_REMOTE,
         "%M"},
        {"unknown machine: the entry fails and the list moves on",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRREMOTEPREG", "NOSUCHHOST"},
                {dir_test::LOCAL, instanceKey("I2"), nullptr, nullptr}}),
         "QVR",
         {"failed", "I2@A", "end"},
         "",
         OSS_INSTANCE_REMOTE,
         "NOSUCHHOST"},
        {"the profile machine lacks the directory",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRREMOTEPREG", "%M"},
                {dir_test::REMOTE, DIR_T_COPIES "\\A\\I1", "Other", "x"},
                {dir_test::LOCAL, instanceKey("I2"), nullptr, nullptr}}),
         "QVR",
         {"failed", "I2@A", "end"},
         "",
         OSS_INSTANCE_REMOTE,
         "%M"},
        {"administration servers are never remote",
         copyA({{dir_test::LOCAL, adminKey("P1"), "QVRREMOTEPREG", "%M"},
                {dir_test::LOCAL, adminKey("P1"), "QVRPLVPROF", "D:\\adm"}}),
         "PLV",
         {"P1@A", "end"},
         "D:\\adm",
         0,
         ""},
        {"a machine name of 16 characters counts as absent",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRREMOTEPREG", "SIXTEENCHARSHOST"},
                {dir_test::LOCAL, instanceKey("I1"), "QVRINSTPROF", "D:\\local"}}),
         "QVR",
         {"I1@A", "end"},
         "D:\\local\\I1",
         0,
         ""},
    });
}

TEST(DirInstanceProfiles, ClusteredInstances) {
    runProfileCases({
        {"no cluster to connect to",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRCLUSTER", "CLUS1"},
                {dir_test::LOCAL, instanceKey("I1"), "QVRINSTPROF", "D:\\local"}}),
         "QVR",
         {"I1@A", "end"},
         "",
         OSS_INSTANCE_CLUSTERED,
         "CLUS1"},
        {"directory from the cluster registry",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRCLUSTER", "CLUS1"},
                {dir_test::LOCAL, instanceKey("I2"), "QVRCLUSTER", "CLUS1"},
                {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I1", "QVRINSTPROF", "K:\\clustered"},
                {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I2", "QVRINSTPROF", "K:\\other"}}),
         "QVR",
         {"I1@A", "I2@A", "end"},
         "K:\\clustered\\I1",
         OSS_INSTANCE_CLUSTERED,
         "CLUS1"},
        {"administration server in the cluster registry",
         copyA({{dir_test::LOCAL, adminKey("P1"), "QVRCLUSTER", "CLUS2"},
                {dir_test::CLUSTER, "Tavrin\\QVR\\PLV_PROFILES\\P1", "QVRPLVPROF", "K:\\adm"}}),
         "PLV",
         {"P1@A", "end"},
         "K:\\adm",
         OSS_INSTANCE_CLUSTERED,
         "CLUS2"},
        {"instance missing from the cluster registry: the entry fails, the list moves on",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRCLUSTER", "CLUS1"},
                {dir_test::LOCAL, instanceKey("I2"), nullptr, nullptr},
                {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\OTHER", "QVRINSTPROF", "K:\\x"}}),
         "QVR",
         {"failed", "I2@A", "end"},
         "",
         OSS_INSTANCE_CLUSTERED,
         "CLUS1"},
        {"a remote mark wins over the cluster mark",
         copyA({{dir_test::LOCAL, instanceKey("I1"), "QVRREMOTEPREG", "%M"},
                {dir_test::LOCAL, instanceKey("I1"), "QVRCLUSTER", "CLUS1"},
                {dir_test::REMOTE, DIR_T_COPIES "\\A\\I1", "QVRINSTPROF", "R:\\far"}}),
         "QVR",
         {"I1@A", "end"},
         "R:\\far\\I1",
         OSS_INSTANCE_REMOTE,
         "%M"},
    });
}

TEST(DirInstanceProfiles, ClusterLibraryLoadsOnceAndTheConnectionIsShared) {
    Machine machine(copyA({
        {dir_test::LOCAL, instanceKey("I1"), "QVRCLUSTER", "CLUS1"},
        {dir_test::LOCAL, instanceKey("I2"), "QVRCLUSTER", "CLUS1"},
        {dir_test::LOCAL, instanceKey("I3"), "QVRCLUSTER", "CLUS1"},
        {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I1", "QVRINSTPROF", "K:\\1"},
        {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I2", "QVRINSTPROF", "K:\\2"},
        {dir_test::CLUSTER, "Tavrin\\QVR\\PROFILES\\I3", "QVRINSTPROF", "K:\\3"},
    }));
    ASSERT_TRUE(machine.ok()) << machine.why();
    dir_test::Counters counters;
    void* list = nullptr;
    ASSERT_EQ(0u, ossOpenInstanceList("QVR", &list, true));
    EXPECT_EQ(0, counters.delta().clusterLoads);  // not before a clustered instance needs it
    OSSInstanceInfo_t info;
    for (const char* expected : {"K:\\1\\I1", "K:\\2\\I2", "K:\\3\\I3"}) {
        ASSERT_EQ(0u, ossGetNextInstance(list, &info, true));
        EXPECT_STREQ(expected, info.profilePath);
        EXPECT_EQ(2, counters.openClusterHandles());  // the list's cluster and root key
    }
    EXPECT_EQ(0u, ossCloseInstanceList(list));
    EXPECT_EQ(0, counters.openClusterHandles());
    // A second list reuses the loaded library.
    listInstances("QVR", 3);
    EXPECT_EQ(1, counters.delta().clusterLoads);
}

TEST(DirInstanceProfiles, StartModeOfTheServiceNamedLikeTheInstance) {
    // A binary path long enough that the service's configuration does not
    // fit a 568-byte buffer must not lose the start mode.
    std::string longBinary = "2" + std::string(900, 'x');
    Machine machine(copyA({
        {dir_test::LOCAL, instanceKey("AUTO$"), nullptr, nullptr},
        {dir_test::LOCAL, instanceKey("DEMAND$"), nullptr, nullptr},
        {dir_test::LOCAL, instanceKey("LONG$"), nullptr, nullptr},
        {dir_test::LOCAL, instanceKey("NONE$"), nullptr, nullptr},
        {dir_test::LOCAL, instanceKey("OFF$"), nullptr, nullptr},
        {dir_test::SERVICE, "AUTO$", nullptr, "2"},
        {dir_test::SERVICE, "demand$", nullptr, "3"},
        {dir_test::SERVICE, "LONG$", nullptr, dir_test::keep(longBinary)},
        {dir_test::SERVICE, "OFF$", nullptr, "4"},
    }));
    ASSERT_TRUE(machine.ok()) << machine.why();
    InstanceListing listing = listInstances("QVR", 6);
    Outcomes expectedOrder;
    for (const char* name : {"AUTO$@A", "DEMAND$@A", "LONG$@A", "NONE$@A", "OFF$@A", "end"})
        expectedOrder.push_back(machine.name(name));
    ASSERT_EQ(expectedOrder, listing.outcomes);
    uint64_t expectedFlags[5] = {OSS_INSTANCE_AUTOSTART, 0, OSS_INSTANCE_AUTOSTART, 0,
                                 OSS_INSTANCE_DISABLED};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(expectedFlags[i], listing.entries[i].flags) << i;
}

}  // namespace
