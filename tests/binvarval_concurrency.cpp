// Several processes adding to one binary variable/value file at the same
// time: the update lock (and, when appending in place, the exclusive lock
// on the file) serialises them, so every record arrives exactly once.
#include <genreg/binvarval.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/process.h"
#include "platform_support.h"
#include "store_invariants.h"

namespace {

constexpr const char* kRole = "GENREG_BINVARVAL_CHILD";
constexpr const char* kDir = "GENREG_BINVARVAL_DIR";
constexpr const char* kInPlace = "GENREG_BINVARVAL_IN_PLACE";
const int kProcesses = 4;
const int kRecordsEach = 50;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

BinVarValRecord record(const std::string& variable, int32_t value) {
    BinVarValRecord r = {};
    std::snprintf(r.Variable, sizeof r.Variable, "%s", variable.c_str());
    r.Value = value;
    std::snprintf(r.Comment, sizeof r.Comment, "added");
    return r;
}

// Every record of the file, read through a scan.
std::multiset<std::string> namesIn(const std::string& path) {
    std::multiset<std::string> names;
    unsigned rc = 1;
    GenRegBinVarVal file(path.c_str(), &rc);
    EXPECT_EQ(0u, rc);
    EXPECT_EQ(0u, file.OpenScan());
    BinVarValRecord key = {}, r;
    while (file.GetNext(0, &key, &r) == 0)
        names.insert(std::string(r.Variable, 16).c_str());
    file.CloseScan();
    return names;
}

void runAdders(bool inPlace) {
    store_test::TestDir dir;
    const std::string path = dir.file("shared.bin");
    OSSProcess children[kProcesses];
    for (int p = 0; p < kProcesses; ++p) {
        std::string filter = "--gtest_filter=BinVarValConcurrency.AdderChild";
        std::string role = std::string(kRole) + "=" + std::to_string(p);
        std::string where = std::string(kDir) + "=" + dir.path();
        std::string mode = std::string(kInPlace) + "=" + (inPlace ? "1" : "0");
        const char* args[] = {filter.c_str()};
        const char* env[] = {role.c_str(), where.c_str(), mode.c_str()};
        ASSERT_EQ(0u, ossProcessSpawnSelf(args, 1, env, 3, &children[p]));
    }
    ASSERT_TRUE(store_test::WriteFileBytes(dir.file("go"), ""));
    for (OSSProcess& child : children) {
        int exitCode = -1;
        ASSERT_EQ(0u, ossProcessWait(&child, &exitCode));
        EXPECT_EQ(0, exitCode);
    }
    std::multiset<std::string> names = namesIn(path);
    EXPECT_EQ((size_t)(kProcesses * kRecordsEach), names.size());
    EXPECT_EQ(names.size(), std::set<std::string>(names.begin(), names.end()).size())
        << "no record twice";
    EXPECT_EQ((size_t)(kProcesses * kRecordsEach * (4 + sizeof(BinVarValRecord))),
              store_test::ReadFileBytes(path).size())
        << "nothing but the records";
}

}  // namespace

// Runs only as a child: adds its 50 records once the parent says go.
TEST(BinVarValConcurrency, AdderChild) {
    const std::string role = environment(kRole);
    if (role.empty()) GTEST_SKIP() << "runs only as a child of the concurrency tests";
    const std::string sep(1, ossPathSeparator());
    const std::string dir = environment(kDir);
    ASSERT_TRUE(platform_test::waitForFile(dir + sep + "go"));
    unsigned rc = 1;
    GenRegBinVarVal file((dir + sep + "shared.bin").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    if (environment(kInPlace) == "1") {
        ASSERT_EQ(0u, file.unsetFeature(GENREG_FEATURE_VERIFY));
    }
    for (int k = 0; k < kRecordsEach; ++k) {
        BinVarValRecord r = record("p" + role + "_" + std::to_string(k), k);
        ASSERT_EQ(0u, file.Add(GENREG_BINVARVAL_VARIABLE, &r)) << r.Variable;
    }
}

TEST(BinVarValConcurrency, FourVerifiedAddersEndWithEveryRecordOnce) {
    runAdders(false);
}

TEST(BinVarValConcurrency, FourAddersAppendingInPlaceEndWithEveryRecordOnce) {
    runAdders(true);
}
