// The copy readers: a copy's level (with the edition fallback) and its
// installation path, for named copies and the top-level copy.
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "oss/product_registry.h"
#include "tests/dir_machine.h"

namespace {

using dir_test::Counters;
using dir_test::Machine;
using dir_test::Row;

const uint64_t kUntouched = 0x1111222233334444ULL;

uint64_t code(uint64_t v, uint64_t r, uint64_t m, uint64_t s) {
    return v << 48 | r << 32 | m << 16 | s;
}

const char* editionLevel(size_t edition) {
    return dir_test::keep(std::string(DIR_T_PRODUCT "\\") + kDirEditionNames[edition] +
                          "\\CurrentVersion");
}

void addEdition(std::vector<Row>* rows, size_t edition, const char* version) {
    const char* key = editionLevel(edition);
    rows->push_back({dir_test::LOCAL, key, "Version", version});
    rows->push_back({dir_test::LOCAL, key, "Release", "1"});
    rows->push_back({dir_test::LOCAL, key, "Modification", "2"});
    rows->push_back({dir_test::LOCAL, key, "Service Level", "3"});
}

TEST(DirReaders, EditionTableHasTwelveDistinctProductNames) {
    for (size_t i = 0; i < DIR_EDITION_COUNT; ++i) {
        EXPECT_EQ(0, std::strncmp(kDirEditionNames[i], "QVR", 3)) << kDirEditionNames[i];
        for (size_t j = 0; j < i; ++j)
            EXPECT_STRNE(kDirEditionNames[i], kDirEditionNames[j]);
    }
}

TEST(DirReaders, LevelComesFromTheCopyOrTheFirstEditionKeyInTableOrder) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "OWN", "9.7.4.0", nullptr);
    dir_test::addCopy(&rows, "BORROWS", nullptr, nullptr);
    // Two editions exist; the earlier one in the table wins, whatever the
    // registry's own order of the keys.
    addEdition(&rows, 7, "7");
    addEdition(&rows, 2, "5");
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();

    struct {
        const char* copy;
        uint64_t expected;
    } cases[] = {
        {"OWN", code(9, 7, 4, 0)},
        {"BORROWS", code(5, 1, 2, 3)},
        {"NOKEY", code(5, 1, 2, 3)},  // a copy without any key borrows too
        {"", code(5, 1, 2, 3)},       // the top-level copy alike
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copy);
        for (bool view64 : {false, true}) {
            Counters counters;
            uint64_t level = kUntouched;
            EXPECT_EQ(0u, DirReadCopyVersion(c.copy, &level, view64));
            EXPECT_EQ(c.expected, level);
            EXPECT_EQ(0, counters.openKeys());
            OSSRegistryCounters seen = counters.delta();
            EXPECT_EQ(0, view64 ? seen.opensRead : seen.opensRead64);
        }
    }
}

TEST(DirReaders, MissingLevelFailsNamedCopiesWithTheErrorAndTheTopLevelWithNotFound) {
    std::vector<Row> rows;
    dir_test::addCopy(&rows, "PARTIAL", nullptr, nullptr);
    dir_test::addCopy(&rows, "", nullptr, nullptr);
    for (const char* copy : {"PARTIAL", ""}) {
        const char* key =
            dir_test::keep(std::string(dir_test::copyKeyOf(copy)) + "\\CurrentVersion");
        rows.push_back({dir_test::LOCAL, key, "Version", "9"});
        rows.push_back({dir_test::LOCAL, key, "Release", "7"});
        rows.push_back({dir_test::LOCAL, key, "Modification", "4"});
    }
    Machine machine(rows);
    ASSERT_TRUE(machine.ok()) << machine.why();
    struct {
        const char* copy;
        uint32_t rc;
    } cases[] = {
        {"PARTIAL", 2u},
        {"", GENREG_RC_NOT_FOUND},
        {"ABSENT", 2u},  // no key of its own and no edition key
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copy);
        Counters counters;
        uint64_t level = kUntouched;
        EXPECT_EQ(c.rc, DirReadCopyVersion(c.copy, &level, true));
        EXPECT_EQ(kUntouched, level);
        EXPECT_EQ(0, counters.openKeys());
    }
}

TEST(DirReaders, LevelNumbersAreDecimalCutToSixteenBits) {
    struct {
        const char* name;
        const char* version;
        uint32_t rc;
        uint64_t expected;
    } cases[] = {
        {"fifteen characters fit", "000000000000009", 0, code(9, 1, 2, 3)},
        {"sixteen characters do not", "0000000000000009", 234, kUntouched},
        {"only the low 16 bits remain", "70000", 0, code(4464, 1, 2, 3)},
        {"a DWORD is read as a number", "dword:10", 0, code(10, 1, 2, 3)},
        {"no terminator but room for one", "sznul:11", 0, code(11, 1, 2, 3)},
        {"no terminator and no room", "sznul:1234567890123456", 234, kUntouched},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Row> rows;
        const char* key = DIR_T_COPIES "\\LEVELS\\CurrentVersion";
        rows.push_back({dir_test::LOCAL, key, "Version", c.version});
        rows.push_back({dir_test::LOCAL, key, "Release", "1"});
        rows.push_back({dir_test::LOCAL, key, "Modification", "2"});
        rows.push_back({dir_test::LOCAL, key, "Service Level", "3"});
        Machine machine(rows);
        ASSERT_TRUE(machine.ok()) << machine.why();
        uint64_t level = kUntouched;
        EXPECT_EQ(c.rc, DirReadCopyVersion("LEVELS", &level, false));
        EXPECT_EQ(c.expected, level);
    }
}

TEST(DirReaders, InstallationPathLosesOneTrailingBackslash) {
    std::string longest(259, 'p');
    std::string tooLong(260, 'p');
    struct {
        const char* name;
        const char* stored;
        uint32_t rc;
        const char* expected;
    } cases[] = {
        {"one trailing backslash", "C:\\QVR\\", 0, "C:\\QVR"},
        {"two keep one", "C:\\QVR\\\\", 0, "C:\\QVR\\"},
        {"none", "C:\\QVR", 0, "C:\\QVR"},
        {"empty", "", 0, ""},
        {"a lone backslash", "\\", 0, ""},
        {"259 characters fit", dir_test::keep(longest), 0, dir_test::keep(longest)},
        {"260 characters do not", dir_test::keep(tooLong), 234, ""},
        {"260 without terminator", dir_test::keep("sznul:" + tooLong), 234, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine({{dir_test::LOCAL, DIR_T_COPIES "\\PATHS", "QVR Path Name", c.stored}});
        ASSERT_TRUE(machine.ok()) << machine.why();
        Counters counters;
        char out[1024];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(c.rc, DirReadInstallPath("PATHS", out, true));
        EXPECT_STREQ(c.expected, out);
        EXPECT_EQ(0, counters.openKeys());
        EXPECT_EQ(0, counters.delta().opensRead);
    }
}

TEST(DirReaders, MissingInstallationPath) {
    Machine machine({
        {dir_test::LOCAL, DIR_T_COPIES "\\NOPATH", nullptr, nullptr},
        {dir_test::LOCAL, DIR_T_PRODUCT, nullptr, nullptr},
    });
    ASSERT_TRUE(machine.ok()) << machine.why();
    struct {
        const char* copy;
        uint32_t rc;
    } cases[] = {
        {"NOPATH", 2u},  // key without the value
        {"NOCOPY", 2u},  // no key at all
        {"", GENREG_RC_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copy);
        Counters counters;
        char out[1024] = "stale";
        EXPECT_EQ(c.rc, DirReadInstallPath(c.copy, out, false));
        EXPECT_EQ(0, counters.openKeys());
    }
}

}  // namespace
