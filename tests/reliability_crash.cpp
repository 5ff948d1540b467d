// Crash safety: a child process (this test binary, in the role
// ReliabilityCrash.UpdaterChild) changes one record of a file over and over,
// each update committing the next state number, and the parent kills it
// (SIGKILL / TerminateProcess) at a random moment. After each kill:
//   - the file parses completely and holds exactly the bytes of the state
//     the child committed last or of the one it was committing;
//   - the next update (the parent's) succeeds, setting aside the copy the
//     child left, and leaves no copy, backup or lock file.
// The child reports each committed state by appending it to a progress
// file after the update returned, so "committed last" is the last number
// there (or the parent's own last state when the child reported none).
//
// Rounds per store: 20 (5 where the test runs on Windows, whose process
// start is slow under Wine), 300 with GENREG_LONG_TESTS=1, or
// GENREG_CRASH_ROUNDS=n.
#include "reliability_support.h"

#include <cstdio>
#include <random>

#include "platform/process.h"
#include "platform_support.h"

namespace {

using reliability_test::Environment;
using reliability_test::KindName;
using reliability_test::NoDebris;
using reliability_test::Store;
using reliability_test::StoreKind;

constexpr const char* kDirVariable = "GENREG_CRASH_DIR";
constexpr const char* kKindVariable = "GENREG_CRASH_KIND";
constexpr const char* kStartVariable = "GENREG_CRASH_START";
const int kFillers = 40;  // records around the changing one, so an update takes a while

int Rounds() {
    const std::string forced = Environment("GENREG_CRASH_ROUNDS");
    if (!forced.empty()) return std::atoi(forced.c_str());
    if (reliability_test::LongTests()) return 300;
    return ossTextStreamsTranslateLineEnds() ? 5 : 20;
}

std::string Sep() {
    return std::string(1, ossPathSeparator());
}

// The file every round starts from: fillers before and after "state".
void Seed(Store* store, int32_t state) {
    for (int i = 0; i < kFillers / 2; ++i)
        ASSERT_EQ(0u, store->Add("before" + std::to_string(i), i));
    ASSERT_EQ(0u, store->Add("state", state));
    for (int i = 0; i < kFillers / 2; ++i)
        ASSERT_EQ(0u, store->Add("after" + std::to_string(i), i));
}

// The bytes of the file holding state, made by the store in a directory
// of its own: the seeded file at state 0 (seeded), changed once.
std::string BytesOfState(StoreKind kind, const std::string& seeded, int32_t state) {
    store_test::TestDir dir;
    Store reference(kind, dir.file("reg"));
    EXPECT_EQ(0u, reference.constructRc());
    EXPECT_TRUE(store_test::WriteFileBytes(dir.file("reg"), seeded));
    if (state != 0) {
        EXPECT_EQ(0u, reference.Change("state", state));
    }
    return store_test::ReadFileBytes(dir.file("reg"));
}

// The last state the child reported, or fallback when it reported none.
int32_t LastReported(const std::string& progressPath, int32_t fallback) {
    const std::string progress = store_test::ReadFileBytes(progressPath);
    size_t end = progress.rfind('\n');
    if (end == std::string::npos) return fallback;
    size_t begin = progress.rfind('\n', end - 1);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return (int32_t)std::atol(progress.substr(begin, end - begin).c_str());
}

// Runs only as a child: commits start, start + 1, ... until killed.
TEST(ReliabilityCrash, UpdaterChild) {
    const std::string dir = Environment(kDirVariable);
    if (dir.empty()) GTEST_SKIP() << "runs only as a child of the crash tests";
    Store store((StoreKind)std::atoi(Environment(kKindVariable).c_str()), dir + Sep() + "reg");
    ASSERT_EQ(0u, store.constructRc());
    FILE* progress = std::fopen((dir + Sep() + "progress").c_str(), "ab");
    ASSERT_NE(nullptr, progress);
    ASSERT_TRUE(store_test::WriteFileBytes(dir + Sep() + "ready", ""));
    for (int32_t state = std::atoi(Environment(kStartVariable).c_str());; ++state) {
        unsigned rc = store.Change("state", state);
        if (rc != 0) {
            store_test::WriteFileBytes(dir + Sep() + "failed", std::to_string(rc));
            break;
        }
        std::fprintf(progress, "%d\n", (int)state);
        std::fflush(progress);
    }
    std::fclose(progress);
    FAIL() << "an update failed";
}

class ReliabilityCrash : public testing::TestWithParam<StoreKind> {};

TEST_P(ReliabilityCrash, KilledUpdaterLeavesLastOrNextStateAndNextUpdateSucceeds) {
    const StoreKind kind = GetParam();
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    Store store(kind, path);
    ASSERT_EQ(0u, store.constructRc());
    Seed(&store, 0);
    const std::string seeded = store_test::ReadFileBytes(path);

    std::random_device seedSource;
    const unsigned seed = seedSource();
    std::mt19937 random(seed);
    const int rounds = Rounds();
    int32_t state = 0;  // the state the file holds between rounds
    int killedAfterCommit = 0;
    for (int round = 0; round < rounds; ++round) {
        std::remove(dir.file("ready").c_str());
        std::remove(dir.file("progress").c_str());
        const std::string filter = "--gtest_filter=ReliabilityCrash.UpdaterChild";
        const std::string where = std::string(kDirVariable) + "=" + dir.path();
        const std::string which = std::string(kKindVariable) + "=" + std::to_string(kind);
        const std::string start = std::string(kStartVariable) + "=" + std::to_string(state + 1);
        const char* args[] = {filter.c_str(), "--gtest_brief=1"};
        const char* env[] = {where.c_str(), which.c_str(), start.c_str()};
        OSSProcess child;
        ASSERT_EQ(0u, ossProcessSpawnSelf(args, 2, env, 3, &child));
        bool ready = platform_test::waitForFile(dir.file("ready"));
        if (ready) ossSleepMs(random() % 40);
        const unsigned killRc = ossProcessKill(&child);
        int exitCode = 0;
        ASSERT_EQ(0u, ossProcessWait(&child, &exitCode));
        ASSERT_TRUE(ready) << "the child never started";
        ASSERT_FALSE(store_test::PathExists(dir.file("failed")))
            << "an update of the child failed: rc "
            << store_test::ReadFileBytes(dir.file("failed"));
        ASSERT_EQ(0u, killRc);

        const int32_t reported = LastReported(dir.file("progress"), state);
        std::map<std::string, int32_t> records;
        ASSERT_EQ(0u, store.Records(&records)) << "round " << round << " seed " << seed;
        ASSERT_EQ((size_t)kFillers + 1, records.size()) << "round " << round;
        const int32_t found = records["state"];
        ASSERT_TRUE(found == reported || found == reported + 1)
            << "round " << round << " seed " << seed << ": the file holds state " << found
            << ", the child last committed " << reported;
        if (found == reported + 1) ++killedAfterCommit;
        ASSERT_EQ(BytesOfState(kind, seeded, found), store_test::ReadFileBytes(path))
            << "round " << round;

        state = found + 1;
        ASSERT_EQ(0u, store.Change("state", state)) << "round " << round;
        ASSERT_TRUE(NoDebris(store.file())) << "round " << round;
    }
    std::printf(
        "[reliability] crash %s: %d kills survived, %d of them between commit and report, "
        "last state %d, seed %u\n",
        KindName(kind), rounds, killedAfterCommit, (int)state, seed);
}

INSTANTIATE_TEST_SUITE_P(Stores, ReliabilityCrash,
                         testing::Values(reliability_test::STORE_TEXT,
                                         reliability_test::STORE_BINARY,
                                         reliability_test::STORE_GLOBAL),
                         [](const testing::TestParamInfo<StoreKind>& info) {
                             return std::string(KindName(info.param));
                         });

}  // namespace
