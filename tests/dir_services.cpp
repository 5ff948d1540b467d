// Service lists: one entry per copy, the administration entry before the
// first copy that holds administration servers, and the lookup.
#include <genreg/directory.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include "tests/dir_listing.h"
#include "tests/dir_machine.h"

namespace {

using dir_test::listServices;
using dir_test::Machine;
using dir_test::Row;
using dir_test::ServiceListing;
using Outcomes = std::vector<std::string>;

struct Layout {
    const char* name;
    std::vector<Row> rows;
    Outcomes expected;
};

std::vector<Row> copies(std::initializer_list<const char*> names, const char* topLevel) {
    std::vector<Row> rows;
    for (const char* copy : names)
        dir_test::addCopy(&rows, copy, "9.7.4.0", dir_test::keep(std::string("C:\\") + copy));
    if (topLevel) dir_test::addCopy(&rows, "", topLevel, "C:\\TOP\\");
    return rows;
}

std::vector<Row> with(std::vector<Row> rows, std::initializer_list<Row> extra) {
    rows.insert(rows.end(), extra);
    return rows;
}

TEST(DirServices, OneEntryPerCopyAndOneAdministrationEntry) {
    const char* bAdmin = dir_test::instanceKeyOf("B", "PLV_PROFILES", "P1");
    const char* aAdmin = dir_test::instanceKeyOf("A", "PLV_PROFILES", "P2");
    const char* topAdmin = dir_test::instanceKeyOf("", "PLV_PROFILES", "P0");
    std::vector<Layout> layouts = {
        {"B holds administration servers",
         with(copies({"A", "B"}, "8.0.0.0"), {{dir_test::LOCAL, bAdmin, nullptr, nullptr}}),
         {"QVR@A", "PLV@B", "QVR@B", "QVR@", "end", "end"}},
        {"only the first copy with administration servers yields one",
         with(copies({"A", "B"}, "8.0.0.0"), {{dir_test::LOCAL, aAdmin, nullptr, nullptr},
                                              {dir_test::LOCAL, bAdmin, nullptr, nullptr}}),
         {"PLV@A", "QVR@A", "QVR@B", "QVR@", "end", "end"}},
        {"an empty PLV_PROFILES key yields none",
         with(copies({"A", "B"}, "8.0.0.0"),
              {{dir_test::LOCAL, DIR_T_COPIES "\\A\\PLV_PROFILES", nullptr, nullptr}}),
         {"QVR@A", "QVR@B", "QVR@", "end", "end", "end"}},
        {"top-level copy of level 9 or later is not listed",
         with(copies({"A"}, "9.1.0.0"), {{dir_test::LOCAL, topAdmin, nullptr, nullptr}}),
         {"QVR@A", "end", "end", "end", "end", "end"}},
        {"top-level administration entry replaces its QVR entry",
         with(copies({"A"}, "8.0.0.0"), {{dir_test::LOCAL, topAdmin, nullptr, nullptr}}),
         {"QVR@A", "PLV@", "end", "end", "end", "end"}},
        {"no top-level registration",
         copies({"A"}, nullptr),
         {"QVR@A", "end", "end", "end", "end", "end"}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        Machine machine(layout.rows);
        ASSERT_TRUE(machine.ok()) << machine.why();
        ServiceListing listing = listServices(6);
        ASSERT_EQ(0u, listing.openRc);
        EXPECT_EQ(layout.expected, listing.outcomes);
    }
}

TEST(DirServices, EntriesCarryLevelPathAndModification) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.4.2", "C:\\A\\");
    dir_test::addCopy(&rows, "", "8.2.65535.1", "C:\\TOP");
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    ServiceListing listing = listServices(2, false);
    ASSERT_EQ((Outcomes{"QVR@A", "QVR@"}), listing.outcomes);
    const OSSServiceInfo_t& a = listing.entries[0];
    EXPECT_EQ(0x0009000700040002ULL, a.versionCode);
    EXPECT_EQ(4u, a.modification);
    EXPECT_STREQ("C:\\A", a.installPath);
    EXPECT_EQ(0u, a.flags);
    EXPECT_STREQ("", a.reserved1);
    EXPECT_STREQ("", a.reserved2);
    EXPECT_EQ(0u, a.reserved3);
    EXPECT_EQ(0u, a.reserved4);
    EXPECT_EQ(0u, a.reserved5);
    EXPECT_EQ(0u, a.reserved6);
    EXPECT_EQ(65535u, listing.entries[1].modification);
    EXPECT_STREQ("C:\\TOP", listing.entries[1].installPath);
}

TEST(DirServices, FailedCopyIsPassedByTheNextCall) {
    std::vector<Row> rows = copies({"A", "C"}, "8.0.0.0");
    dir_test::addCopy(&rows, "B", nullptr, "C:\\B");    // no level
    dir_test::addCopy(&rows, "D", "9.7.0.0", nullptr);  // no installation path
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    EXPECT_EQ((Outcomes{"QVR@A", "failed", "QVR@C", "failed", "QVR@", "end"}),
              listServices(6).outcomes);
}

TEST(DirServices, CopyNameTooLongFailsEveryCall) {
    std::vector<Row> rows = copies({"A"}, "8.0.0.0");
    std::string longCopy(129, 'Z');
    dir_test::addCopy(&rows, dir_test::keep(longCopy), "9.7.0.0", "C:\\Z");
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    EXPECT_EQ((Outcomes{"QVR@A", "failed", "failed"}), listServices(3).outcomes);
}

TEST(DirServices, WithoutInstalledCopiesThereIsNoList) {
    std::vector<Row> rows = copies({}, "8.0.0.0");
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    void* list = &list;
    EXPECT_EQ(GENREG_RC_LIST_OPEN_FAILED, ossOpenServiceList(&list, true));
    EXPECT_EQ(&list, list);
    OSSServiceInfo_t info;
    EXPECT_EQ(GENREG_RC_SERVICE_INFO_FAILED, ossGetServiceInfo(nullptr, 0, nullptr, &info, true));
}

TEST(DirServices, LookupComparesEveryTextExactly) {
    Machine machine(with(
        copies({"A", "B"}, "8.0.0.0"),
        {{dir_test::LOCAL, dir_test::instanceKeyOf("B", "PLV_PROFILES", "P1"), nullptr, nullptr}}));
    ASSERT_TRUE(machine.ok()) << machine.why();
    struct {
        const char* name;
        const char* type;
        uint64_t level;
        const char* path;
        const char* copy;
        bool useCopy;
        unsigned rc;
        const char* foundType;
        const char* foundCopy;
    } cases[] = {
        {"the administration entry", "PLV", 0, nullptr, nullptr, false, 0, "PLV", "B"},
        {"type text with another case", "plv", 0, nullptr, nullptr, false,
         GENREG_RC_SERVICE_INFO_FAILED, nullptr, nullptr},
        {"by installation path", nullptr, 0, "C:\\B", nullptr, false, 0, "PLV", "B"},
        {"installation path with another case", nullptr, 0, "c:\\b", nullptr, false,
         GENREG_RC_SERVICE_INFO_FAILED, nullptr, nullptr},
        {"type and path", "QVR", 0, "C:\\B", nullptr, false, 0, "QVR", "B"},
        {"by copy", "QVR", 0, nullptr, "B", true, 0, "QVR", "B"},
        {"the top-level copy", nullptr, 0x0008000000000000ULL, nullptr, "", true, 0, "QVR", ""},
        {"by level", nullptr, 0x0008000000000000ULL, nullptr, nullptr, false, 0, "QVR", ""},
        {"nothing matches", "QVR", 0, "C:\\NONE", nullptr, false, GENREG_RC_SERVICE_INFO_FAILED,
         nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir_test::Counters counters;
        OSSServiceInfo_t info;
        unsigned rc = c.useCopy ? ossGetServiceInfo(c.type, c.level, c.path, c.copy, &info, true)
                                : ossGetServiceInfo(c.type, c.level, c.path, &info, true);
        EXPECT_EQ(c.rc, rc);
        if (rc == 0 && c.foundType) {
            EXPECT_STREQ(c.foundType, info.type);
            EXPECT_STREQ(c.foundCopy, info.copyName);
        }
        EXPECT_EQ(0, counters.openKeys());
    }
}

TEST(DirServices, ViewFlagChoosesTheAccessMask) {
    Machine machine(copies({"A", "B"}, "8.0.0.0"));
    ASSERT_TRUE(machine.ok()) << machine.why();
    for (bool view64 : {false, true}) {
        SCOPED_TRACE(view64);
        dir_test::Counters counters;
        listServices(4, view64);
        OSSServiceInfo_t info;
        EXPECT_EQ(0u, ossGetServiceInfo("QVR", 0, "C:\\B", &info, view64));
        OSSRegistryCounters seen = counters.delta();
        EXPECT_LT(10, view64 ? seen.opensRead64 : seen.opensRead);
        EXPECT_EQ(0, view64 ? seen.opensRead : seen.opensRead64);
        EXPECT_EQ(0, seen.opensOther);
    }
}

TEST(DirServices, NullArgumentsAndUnsupportedWriters) {
    Machine machine(copies({"A"}, "8.0.0.0"));
    ASSERT_TRUE(machine.ok()) << machine.why();
    OSSServiceInfo_t info;
    void* list = nullptr;
    EXPECT_EQ(GENREG_RC_NULL_LIST_HANDLE, ossGetNextService(nullptr, &info, true));
    EXPECT_EQ(GENREG_RC_NULL_LIST_HANDLE, ossCloseServiceList(nullptr));
    EXPECT_EQ(GENREG_RC_LIST_OPEN_FAILED, ossOpenServiceList(nullptr, true));
    ASSERT_EQ(0u, ossOpenServiceList(&list, true));
    EXPECT_EQ(GENREG_RC_NULL_SERVICE_INFO, ossGetNextService(list, nullptr, true));
    EXPECT_EQ(0u, ossGetNextService(list, &info, true));
    EXPECT_STREQ("A", info.copyName);
    EXPECT_EQ(0u, ossCloseServiceList(list));
    EXPECT_EQ(GENREG_RC_NULL_SERVICE_INFO, ossGetServiceInfo("QVR", 0, nullptr, nullptr, true));
    EXPECT_EQ(GENREG_RC_NULL_SERVICE_INFO, ossSetServiceInfo(nullptr));
    EXPECT_EQ(GENREG_RC_NOT_SUPPORTED, ossSetServiceInfo(&info));
    EXPECT_EQ(GENREG_RC_NOT_SUPPORTED, ossRemoveServiceInfo(nullptr, 0));
}

}  // namespace
