// Concurrency: writer processes mix Add, Change and Delete on keys of their
// own in one file while reader processes loop Get on it. The update lock
// serialises the writers and the swap keeps the file whole for readers:
//   - every update of every writer succeeds, and the final content is
//     exactly what the scripts imply (each surviving key once, with its
//     last value; no deleted key; the anchor record untouched);
//   - a reader never sees a missing file, a record that does not parse,
//     a value no writer wrote, or a failure other than the lock being busy.
// Writers and readers are this test binary in the roles WriterChild and
// ReaderChild. Size: 8 writers x 20 updates (8 x 200 with
// GENREG_LONG_TESTS=1, or GENREG_CONCURRENCY_UPDATES=n) and 2 readers.
#include "reliability_support.h"

#include <vector>

#include "platform/process.h"
#include "platform_support.h"

namespace {

using reliability_test::Environment;
using reliability_test::KindName;
using reliability_test::NoDebris;
using reliability_test::Store;
using reliability_test::StoreKind;

constexpr const char* kDirVariable = "GENREG_CONCURRENCY_DIR";
constexpr const char* kKindVariable = "GENREG_CONCURRENCY_KIND";
constexpr const char* kRoleVariable = "GENREG_CONCURRENCY_ROLE";
constexpr const char* kUpdatesVariable = "GENREG_CONCURRENCY_UPDATES";
const int kWriters = 8;
const int kReaders = 2;
const int32_t kAnchorValue = 4242;
const unsigned kReaderPauseMs = 10;

int UpdatesPerWriter() {
    const std::string forced = Environment(kUpdatesVariable);
    if (!forced.empty()) return std::atoi(forced.c_str());
    return reliability_test::LongTests() ? 200 : 20;
}

std::string Sep() {
    return std::string(1, ossPathSeparator());
}

// One step of a writer's script.
struct Step {
    enum Kind { ADD, CHANGE, DELETE } kind;
    std::string name;
    int32_t value;
};

// Writer w's script of updates: key k is added with value k, then every
// key k % 3 == 1 is changed to k + 1000, every key k % 3 == 2 deleted.
std::vector<Step> Script(int writer, int updates) {
    std::vector<Step> steps;
    for (int k = 0; (int)steps.size() < updates; ++k) {
        const std::string name = "w" + std::to_string(writer) + "k" + std::to_string(k);
        steps.push_back({Step::ADD, name, k});
        if ((int)steps.size() == updates) break;
        if (k % 3 == 1) steps.push_back({Step::CHANGE, name, k + 1000});
        if (k % 3 == 2) steps.push_back({Step::DELETE, name, 0});
    }
    return steps;
}

// Whether value is one that the scripts ever store under name.
bool Plausible(const std::string& name, int32_t value) {
    if (name == "anchor") return value == kAnchorValue;
    size_t k = name.find('k');
    if (name.empty() || name[0] != 'w' || k == std::string::npos) return false;
    const int32_t key = std::atoi(name.c_str() + k + 1);
    return value == key || (key % 3 == 1 && value == key + 1000);
}

// What the file must hold once every writer finished.
std::map<std::string, int32_t> Expected(int updates) {
    std::map<std::string, int32_t> records = {{"anchor", kAnchorValue}};
    for (int w = 0; w < kWriters; ++w)
        for (const Step& step : Script(w, updates)) {
            if (step.kind == Step::DELETE)
                records.erase(step.name);
            else
                records[step.name] = step.value;
        }
    return records;
}

StoreKind ChildKind() {
    return (StoreKind)std::atoi(Environment(kKindVariable).c_str());
}

// Runs only as a child: plays its script once the parent says go.
TEST(ReliabilityConcurrency, WriterChild) {
    const std::string dir = Environment(kDirVariable);
    if (dir.empty()) GTEST_SKIP() << "runs only as a child of the concurrency tests";
    Store store(ChildKind(), dir + Sep() + "reg");
    ASSERT_EQ(0u, store.constructRc());
    ASSERT_TRUE(platform_test::waitForFile(dir + Sep() + "go"));
    const int writer = std::atoi(Environment(kRoleVariable).c_str());
    for (const Step& step : Script(writer, UpdatesPerWriter())) {
        unsigned rc = step.kind == Step::ADD      ? store.Add(step.name, step.value)
                      : step.kind == Step::CHANGE ? store.Change(step.name, step.value)
                                                  : store.Delete(step.name);
        ASSERT_EQ(0u, rc) << step.name << " step " << step.kind;
    }
}

// Runs only as a child: reads until the parent says stop. The anchor must
// always be found; a writer's key may be absent (not added yet, or
// deleted) but, when found, must hold a value its writer stored.
TEST(ReliabilityConcurrency, ReaderChild) {
    const std::string dir = Environment(kDirVariable);
    if (dir.empty()) GTEST_SKIP() << "runs only as a child of the concurrency tests";
    Store store(ChildKind(), dir + Sep() + "reg");
    ASSERT_EQ(0u, store.constructRc());
    ASSERT_TRUE(platform_test::waitForFile(dir + Sep() + "go"));
    const int updates = UpdatesPerWriter();
    int reads = 0, busy = 0;
    for (unsigned i = 0; !platform_test::exists(dir + Sep() + "stop"); ++i) {
        int32_t value = -1;
        unsigned rc = store.Get("anchor", &value);
        if (rc == GENREG_RC_LOCKED) {
            ++busy;
            continue;
        }
        ASSERT_EQ(0u, rc) << "anchor, read " << reads;
        ASSERT_EQ(kAnchorValue, value);
        const std::string name =
            "w" + std::to_string(i % kWriters) + "k" + std::to_string(i % (updates / 2 + 1));
        rc = store.Get(name, &value);
        if (rc == 0) {
            ASSERT_TRUE(Plausible(name, value)) << name << " = " << value;
        } else if (rc != GENREG_RC_NO_MATCH && rc != GENREG_RC_LOCKED) {
            FAIL() << name << ": rc 0x" << std::hex << rc;
        }
        ++reads;
        // On Windows a file that is open cannot be renamed over: a commit
        // retries for about half a second and then fails. Two readers that
        // reopen the file back to back keep it open nearly all the time and
        // starve the writers, so each reader leaves a gap between lookups,
        // as real readers do.
        ossSleepMs(kReaderPauseMs);
    }
    std::printf("[reliability] reader: %d reads, %d busy\n", reads, busy);
}

class ReliabilityConcurrency : public testing::TestWithParam<StoreKind> {};

TEST_P(ReliabilityConcurrency, WritersAndReadersEndWithExactlyTheScriptedContent) {
    const StoreKind kind = GetParam();
    store_test::TestDir dir;
    Store store(kind, dir.file("reg"));
    ASSERT_EQ(0u, store.constructRc());
    ASSERT_EQ(0u, store.Add("anchor", kAnchorValue));

    const int updates = UpdatesPerWriter();
    const std::string where = std::string(kDirVariable) + "=" + dir.path();
    const std::string which = std::string(kKindVariable) + "=" + std::to_string(kind);
    const std::string count = std::string(kUpdatesVariable) + "=" + std::to_string(updates);
    std::vector<OSSProcess> writers(kWriters), readers(kReaders);
    for (int p = 0; p < kWriters + kReaders; ++p) {
        const bool writer = p < kWriters;
        const std::string filter = std::string("--gtest_filter=ReliabilityConcurrency.") +
                                   (writer ? "WriterChild" : "ReaderChild");
        const std::string role = std::string(kRoleVariable) + "=" + std::to_string(p);
        const char* args[] = {filter.c_str(), "--gtest_brief=1"};
        const char* env[] = {where.c_str(), which.c_str(), count.c_str(), role.c_str()};
        OSSProcess* child = writer ? &writers[p] : &readers[p - kWriters];
        ASSERT_EQ(0u, ossProcessSpawnSelf(args, 2, env, 4, child));
    }
    ASSERT_TRUE(store_test::WriteFileBytes(dir.file("go"), ""));
    for (OSSProcess& child : writers) {
        int exitCode = -1;
        ASSERT_EQ(0u, ossProcessWait(&child, &exitCode));
        EXPECT_EQ(0, exitCode) << "a writer failed";
    }
    ASSERT_TRUE(store_test::WriteFileBytes(dir.file("stop"), ""));
    for (OSSProcess& child : readers) {
        int exitCode = -1;
        ASSERT_EQ(0u, ossProcessWait(&child, &exitCode));
        EXPECT_EQ(0, exitCode) << "a reader saw a missing file, a torn record or a failure";
    }

    std::map<std::string, int32_t> records;
    ASSERT_EQ(0u, store.Records(&records));
    EXPECT_EQ(Expected(updates), records);
    EXPECT_TRUE(NoDebris(store.file()));
    std::printf("[reliability] concurrency %s: %d writers x %d updates, %d readers, %zu records\n",
                KindName(kind), kWriters, updates, kReaders, records.size());
}

INSTANTIATE_TEST_SUITE_P(Stores, ReliabilityConcurrency,
                         testing::Values(reliability_test::STORE_TEXT,
                                         reliability_test::STORE_BINARY,
                                         reliability_test::STORE_GLOBAL),
                         [](const testing::TestParamInfo<StoreKind>& info) {
                             return std::string(KindName(info.param));
                         });

}  // namespace
