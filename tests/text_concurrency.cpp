// Several processes adding to one profile at the same time: the update
// lock serialises them, so every entry arrives exactly once and the file
// stays whole.
#include <cstdlib>
#include <set>

#include "platform/process.h"
#include "platform_support.h"
#include "text_fixture.h"

namespace {

using text_test::Entry;

constexpr const char* kRole = "GENREG_TEXT_CHILD";
constexpr const char* kDir = "GENREG_TEXT_DIR";
const int kProcesses = 4;
const int kEntriesEach = 50;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Runs only as a child: adds its 50 variables once the parent says go.
TEST(TextConcurrency, AdderChild) {
    std::string role = environment(kRole);
    if (role.empty()) GTEST_SKIP() << "runs only as a child of AddsFromFourProcesses";
    std::string dir = environment(kDir);
    std::string sep(1, ossPathSeparator());
    ASSERT_TRUE(platform_test::waitForFile(dir + sep + "go"));
    unsigned rc = 1;
    GenRegVarVal profile((dir + sep + "shared.env").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    for (int k = 0; k < kEntriesEach; ++k) {
        Entry e("p" + role + "_" + std::to_string(k), std::to_string(k));
        ASSERT_EQ(0u, profile.Add(GENREG_VARVAL_VARIABLE, e.get())) << e.variable;
    }
}

TEST(TextConcurrency, AddsFromFourProcessesEndWithEveryEntryOnce) {
    store_test::TestDir dir;
    std::string path = dir.file("shared.env");
    ASSERT_TRUE(store_test::WriteFileBytes(path, "# shared profile\n"));
    OSSProcess children[kProcesses];
    for (int p = 0; p < kProcesses; ++p) {
        std::string filter = "--gtest_filter=TextConcurrency.AdderChild";
        std::string role = std::string(kRole) + "=" + std::to_string(p);
        std::string where = std::string(kDir) + "=" + dir.path();
        const char* args[] = {filter.c_str()};
        const char* env[] = {role.c_str(), where.c_str()};
        ASSERT_EQ(0u, ossProcessSpawnSelf(args, 1, env, 2, &children[p]));
    }
    ASSERT_TRUE(store_test::WriteFileBytes(dir.file("go"), ""));
    for (OSSProcess& child : children) {
        int exitCode = -1;
        ASSERT_EQ(0u, ossProcessWait(&child, &exitCode));
        EXPECT_EQ(0, exitCode);
    }

    unsigned rc = 1;
    GenRegVarVal profile(path.c_str(), &rc);
    ASSERT_EQ(0u, rc);
    ASSERT_EQ(0u, profile.OpenScan());
    VarValRecord r;
    std::set<std::string> seen;
    int entries = 0, comments = 0;
    while (profile.GetNext(0, nullptr, &r) == 0) {
        if (r.Contains & GENREG_VARVAL_HAS_VARIABLE) {
            ++entries;
            ASSERT_NE(nullptr, r.Variable);
            seen.insert(r.Variable);
        } else {
            ++comments;
        }
    }
    profile.CloseScan();
    EXPECT_EQ(kProcesses * kEntriesEach, entries);
    EXPECT_EQ((size_t)(kProcesses * kEntriesEach), seen.size());
    EXPECT_EQ(1, comments);
    for (int p = 0; p < kProcesses; ++p) {
        const char* value = nullptr;
        std::string name = "p" + std::to_string(p) + "_" + std::to_string(kEntriesEach - 1);
        EXPECT_TRUE(profile.GetStringValue(name.c_str(), &value)) << name;
    }
    store_test::Companions expected;
    expected.file = true;
    EXPECT_TRUE(store_test::HasCompanions(profile, expected));
}

}  // namespace
