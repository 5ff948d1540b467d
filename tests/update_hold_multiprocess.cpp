// Read-modify-write from several processes under the update hold: each
// child increments one counter record many times (Get, then Change, or
// Add while it is missing) between LockForUpdate and UnlockForUpdate.
// Without the hold two children read the same value and one increment is
// lost, or both add the first record; with it the counter ends at exactly
// the number of increments acknowledged, held by exactly one record.
// Children that ask without waiting count their refusals instead.
#include "reliability_support.h"

#include <vector>

#include "platform/process.h"
#include "platform_support.h"

namespace {

using reliability_test::Environment;
using reliability_test::KindName;
using reliability_test::Store;
using reliability_test::StoreKind;

constexpr const char* kDirVariable = "GENREG_HOLD_DIR";
constexpr const char* kKindVariable = "GENREG_HOLD_KIND";
constexpr const char* kRoleVariable = "GENREG_HOLD_ROLE";
const int kChildren = 4;
// Children below this number wait for the lock; the others never wait.
const int kWaitingChildren = 2;
const int kRounds = 25;

std::string Sep() {
    return std::string(1, ossPathSeparator());
}

// One increment under the hold; 0, GENREG_RC_LOCKED (a child that does not
// wait), or the failure.
unsigned Increment(Store* store, uint32_t wait) {
    unsigned rc = store->file().LockForUpdate(wait);
    if (rc != 0) return rc;
    int32_t value = 0;
    rc = store->Get("count", &value);
    if (rc == GENREG_RC_NO_MATCH || rc == GENREG_RC_FILE_NOT_FOUND || rc == GENREG_RC_OPEN_FAILED)
        rc = store->Add("count", 1);
    else if (rc == 0)
        rc = store->Change("count", value + 1);
    unsigned unlockRc = store->file().UnlockForUpdate();
    return rc != 0 ? rc : unlockRc;
}

// Runs only as a child: its rounds once the parent says go; writes the
// number of increments it made to "done<role>".
TEST(UpdateHoldProcesses, IncrementerChild) {
    const std::string dir = Environment(kDirVariable);
    if (dir.empty()) GTEST_SKIP() << "runs only as a child of the hold tests";
    const int role = std::atoi(Environment(kRoleVariable).c_str());
    Store store((StoreKind)std::atoi(Environment(kKindVariable).c_str()), dir + Sep() + "reg");
    ASSERT_EQ(0u, store.constructRc());
    ASSERT_TRUE(platform_test::waitForFile(dir + Sep() + "go"));
    const uint32_t wait = role < kWaitingChildren ? GENREG_WAIT_FOREVER : GENREG_WAIT_NONE;
    int made = 0, refused = 0;
    for (int round = 0; round < kRounds; ++round) {
        unsigned rc = Increment(&store, wait);
        if (rc == GENREG_RC_LOCKED && wait == GENREG_WAIT_NONE) {
            ++refused;
            continue;
        }
        ASSERT_EQ(0u, rc) << "round " << round;
        ++made;
    }
    EXPECT_TRUE(store_test::HandleIsIdle(store.file()));
    ASSERT_TRUE(store_test::WriteFileBytes(dir + Sep() + "done" + std::to_string(role),
                                           std::to_string(made)));
    std::printf("[hold] child %d: %d increments, %d refused\n", role, made, refused);
}

class UpdateHoldProcesses : public testing::TestWithParam<StoreKind> {};

TEST_P(UpdateHoldProcesses, ConcurrentIncrementsAreNeitherLostNorDoubled) {
    const StoreKind kind = GetParam();
    store_test::TestDir dir;
    const std::string where = std::string(kDirVariable) + "=" + dir.path();
    const std::string which = std::string(kKindVariable) + "=" + std::to_string(kind);
    std::vector<OSSProcess> children(kChildren);
    for (int p = 0; p < kChildren; ++p) {
        const std::string role = std::string(kRoleVariable) + "=" + std::to_string(p);
        const char* args[] = {"--gtest_filter=UpdateHoldProcesses.IncrementerChild",
                              "--gtest_brief=1"};
        const char* env[] = {where.c_str(), which.c_str(), role.c_str()};
        ASSERT_EQ(0u, ossProcessSpawnSelf(args, 2, env, 3, &children[p]));
    }
    ASSERT_TRUE(store_test::WriteFileBytes(dir.file("go"), ""));
    for (OSSProcess& child : children) {
        int exitCode = -1;
        ASSERT_EQ(0u, ossProcessWait(&child, &exitCode));
        EXPECT_EQ(0, exitCode) << "an increment failed";
    }
    int acknowledged = 0;
    for (int p = 0; p < kChildren; ++p) {
        const int made = std::atoi(
            store_test::ReadFileBytes(dir.file("done" + std::to_string(p)).c_str()).c_str());
        if (p < kWaitingChildren) {
            EXPECT_EQ(kRounds, made) << "a waiting child was refused";
        }
        acknowledged += made;
    }
    Store store(kind, dir.file("reg"));
    std::map<std::string, int32_t> records;
    ASSERT_EQ(0u, store.Records(&records)) << "the counter is held by more than one record";
    EXPECT_EQ((std::map<std::string, int32_t>{{"count", acknowledged}}), records);
    EXPECT_TRUE(reliability_test::NoDebris(store.file()));
    std::printf("[hold] %s: %d processes, %d increments acknowledged and stored\n", KindName(kind),
                kChildren, acknowledged);
}

INSTANTIATE_TEST_SUITE_P(Stores, UpdateHoldProcesses,
                         testing::Values(reliability_test::STORE_TEXT,
                                         reliability_test::STORE_BINARY,
                                         reliability_test::STORE_GLOBAL),
                         [](const testing::TestParamInfo<StoreKind>& info) {
                             return std::string(KindName(info.param));
                         });

}  // namespace
