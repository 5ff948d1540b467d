// Looking up one instance entry by kind, name, copy and level.
#include <genreg/directory.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include "tests/dir_machine.h"

namespace {

using dir_test::Counters;
using dir_test::Machine;
using dir_test::Row;

const uint64_t kLevelA = 0x0009000700040000ULL;
const uint64_t kLevelB = 0x0009000500000000ULL;

// Copy A (9.7.4.0): INST1, Mixed2. Copy B (9.5.0.0): INST1, ADM1 as an
// administration server. Top level (8.0.0.0): TOPINST.
std::vector<Row> lookupMachine() {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", "9.7.4.0", "C:\\A");
    dir_test::addCopy(&rows, "B", "9.5.0.0", "C:\\B");
    dir_test::addCopy(&rows, "", "8.0.0.0", "C:\\TOP");
    for (const char* key : {dir_test::instanceKeyOf("A", "PROFILES", "INST1"),
                            dir_test::instanceKeyOf("A", "PROFILES", "Mixed2"),
                            dir_test::instanceKeyOf("B", "PROFILES", "INST1"),
                            dir_test::instanceKeyOf("B", "PLV_PROFILES", "ADM1"),
                            dir_test::instanceKeyOf("", "PROFILES", "TOPINST")})
        rows.push_back({dir_test::LOCAL, key, nullptr, nullptr});
    return rows;
}

TEST(DirInstanceLookup, MatchesNameCopyAndLevel) {
    Machine machine(lookupMachine());
    ASSERT_TRUE(machine.ok()) << machine.why();
    struct {
        const char* name;
        const char* type;
        uint64_t level;
        const char* instance;
        const char* copy;
        bool useCopy;
        unsigned rc;
        const char* foundName;
        const char* foundCopy;
    } cases[] = {
        {"first match in list order", "QVR", 0, "INST1", nullptr, false, 0, "INST1", "A"},
        {"the argument is upper-cased", "QVR", 0, "inst1", nullptr, false, 0, "INST1", "A"},
        {"a stored mixed-case name is never found", "QVR", 0, "Mixed2", nullptr, false,
         GENREG_RC_INSTANCE_INFO_FAILED, nullptr, nullptr},
        {"an empty name finds nothing", "QVR", 0, "", nullptr, false,
         GENREG_RC_INSTANCE_INFO_FAILED, nullptr, nullptr},
        {"no name: the first entry", "QVR", 0, nullptr, nullptr, false, 0, "INST1", "A"},
        {"the level picks the copy", "QVR", kLevelB, "INST1", nullptr, false, 0, "INST1", "B"},
        {"a level no copy has", "QVR", 0x0001000000000000ULL, nullptr, nullptr, false,
         GENREG_RC_INSTANCE_INFO_FAILED, nullptr, nullptr},
        {"the copy name picks the copy", "QVR", 0, "INST1", "B", true, 0, "INST1", "B"},
        {"copy names compare with case", "QVR", 0, "INST1", "b", true,
         GENREG_RC_INSTANCE_INFO_FAILED, nullptr, nullptr},
        {"an empty copy name is the top-level copy", "QVR", 0, nullptr, "", true, 0, "TOPINST", ""},
        {"copy and level must both match", "QVR", kLevelA, "INST1", "B", true,
         GENREG_RC_INSTANCE_INFO_FAILED, nullptr, nullptr},
        {"a null type lists instances", nullptr, 0, "TOPINST", nullptr, false, 0, "TOPINST", ""},
        {"any other type lists administration servers", "qvr", 0, "adm1", nullptr, false, 0, "ADM1",
         "B"},
        {"administration servers by their type", "PLV", 0, nullptr, nullptr, false, 0, "ADM1", "B"},
        {"name longer than any stored name", "QVR", 0,
         "INST1XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX", nullptr,
         false, GENREG_RC_INSTANCE_INFO_FAILED, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Counters counters;
        OSSInstanceInfo_t info;
        unsigned rc = c.useCopy
                          ? ossGetInstanceInfo(c.type, c.level, c.instance, c.copy, &info, true)
                          : ossGetInstanceInfo(c.type, c.level, c.instance, &info, true);
        EXPECT_EQ(c.rc, rc);
        if (rc == 0 && c.foundName) {
            EXPECT_STREQ(c.foundName, info.instanceName);
            EXPECT_STREQ(c.foundCopy, info.copyName);
        }
        EXPECT_EQ(0, counters.openKeys());
        EXPECT_EQ(0, counters.openServices());
    }
}

TEST(DirInstanceLookup, FailedEntryBeforeTheMatchEndsTheLookup) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "A", nullptr, "C:\\A");  // no level: its entries fail
    dir_test::addCopy(&rows, "B", "9.5.0.0", "C:\\B");
    rows.push_back(
        {dir_test::LOCAL, dir_test::instanceKeyOf("A", "PROFILES", "I1"), nullptr, nullptr});
    rows.push_back(
        {dir_test::LOCAL, dir_test::instanceKeyOf("B", "PROFILES", "I2"), nullptr, nullptr});
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    OSSInstanceInfo_t info;
    EXPECT_EQ(GENREG_RC_INSTANCE_INFO_FAILED, ossGetInstanceInfo("QVR", 0, "I2", &info, true));
    EXPECT_EQ(GENREG_RC_NULL_INSTANCE_INFO, ossGetInstanceInfo("QVR", 0, "I2", nullptr, true));
}

}  // namespace
