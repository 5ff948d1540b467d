// Every update of every store, failed at each OS call in turn.
//
// For each store, feature combination and operation, a clean run gives the
// old and the new bytes of the file. Then, for every fault kind, the 1st,
// 2nd, 3rd ... call of that kind is made to fail, until a run completes
// without reaching the armed call. After each injected failure:
//   - the file holds exactly the old or exactly the new bytes;
//   - a non-zero result comes with either content (a failure of clean-up
//     after the commit, such as deleting the backup or the lock file,
//     reports a code over the new content); a zero result comes only with
//     the new content (a failure the protocol tolerates by design, counted
//     and printed as "tolerated"); zero over the old content is a lost
//     update;
//   - a non-zero result was logged at least once;
//   - the handle holds no stream, no lock, no scan; every handle, stream,
//     lock and memory block went back (resource counters);
//   - the next update of the file succeeds and leaves no copy, backup or
//     lock file behind (a left-over copy becomes the marker).
// The number of injection points reached per operation is printed as
// "[reliability] ..." lines; docs/reliability.md keeps the figures.
#include "reliability_support.h"

#ifdef GENREG_FAULT_INJECTION

#include <map>
#include <sstream>
#include <vector>

namespace {

using reliability_test::KindName;
using reliability_test::NoDebris;
using reliability_test::RemoveCompanions;
using reliability_test::Store;
using reliability_test::StoreKind;

enum Operation { OP_ADD, OP_CHANGE, OP_DELETE };

const char* OperationName(Operation op) {
    return op == OP_ADD ? "Add" : op == OP_CHANGE ? "Change" : "Delete";
}

const char* const kFaultNames[OSS_FAULT_KIND_COUNT] = {
    "open",  "lock", "read",        "write", "sync",  "rename", "replace", "delete",
    "mkdir", "info", "permissions", "alloc", "close", "query",  "seek"};

struct Scenario {
    StoreKind kind;
    uint64_t features;  // GENREG_FEATURE_VERIFY and GENREG_FEATURE_DUPLICATES
    Operation op;
};

std::string ScenarioName(const Scenario& s) {
    std::string name = std::string(KindName(s.kind)) + "_";
    if (s.features & GENREG_FEATURE_VERIFY) name += "Verify";
    if (s.features & GENREG_FEATURE_DUPLICATES) name += "Duplicates";
    if ((s.features & (GENREG_FEATURE_VERIFY | GENREG_FEATURE_DUPLICATES)) == 0) name += "Plain";
    return name + "_" + OperationName(s.op);
}

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << ScenarioName(s);
}

// Every operation of every store with and without verification and
// duplicates. The CI run keeps the combinations whose code paths differ:
// plain, verified with duplicates (the stores' default), and duplicates
// without verification for Add (appending in place); Change and Delete
// take the same path with duplicates as without, and verification the same
// with duplicates as without. GENREG_LONG_TESTS=1 runs all of them.
std::vector<Scenario> AllScenarios() {
    std::vector<Scenario> all;
    const uint64_t v = GENREG_FEATURE_VERIFY, d = GENREG_FEATURE_DUPLICATES;
    const bool full = reliability_test::LongTests();
    for (Operation op : {OP_ADD, OP_CHANGE, OP_DELETE}) {
        for (StoreKind kind : {reliability_test::STORE_TEXT, reliability_test::STORE_BINARY})
            for (uint64_t features : {(uint64_t)0, v, d, v | d})
                if (full || features == 0 || features == (v | d) || (features == d && op == OP_ADD))
                    all.push_back({kind, features, op});
        // The global registry file keeps its own packed form; duplicates
        // are never allowed there.
        for (uint64_t features : {(uint64_t)0, v})
            all.push_back({reliability_test::STORE_GLOBAL, features, op});
    }
    return all;
}

unsigned RunOperation(Store* store, Operation op) {
    switch (op) {
        case OP_ADD:
            return store->Add("delta", 4);
        case OP_CHANGE:
            return store->Change("beta", 9);
        case OP_DELETE:
            return store->Delete("alpha");
    }
    return 1;
}

void PrintTolerated(const char* kind, uint32_t nth, const store_test::LogCapture& log) {
    std::printf("[reliability] tolerated %s call %u:", kind, nth);
    for (const store_test::LogCapture::Entry& e : log.entries())
        std::printf(" [fid 0x%x probe %u rc 0x%x cause 0x%x %s]", e.functionId, e.probe, e.rc,
                    e.calledRc, e.data.c_str());
    std::printf("\n");
}

// What one injection point ended in.
enum Outcome { REFUSED, FAILED_AFTER_COMMIT, TOLERATED, OUTCOME_COUNT };

class ReliabilityFaults : public testing::TestWithParam<Scenario> {};

TEST_P(ReliabilityFaults, EveryFailedCallLeavesOldOrNewBytesAndARecoverableFile) {
    const Scenario& s = GetParam();
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    Store store(s.kind, path);
    ASSERT_EQ(0u, store.constructRc());
    ASSERT_EQ(0u, store.SetFeatures(s.features));

    // The old content: three records added by the store; a text file also
    // has a comment line (kept byte for byte by every update) and a last
    // line without a line end, which an Add must end before appending.
    if (s.kind == reliability_test::STORE_TEXT) {
        ASSERT_TRUE(store_test::WriteTextFile(path, "# reliability\n"));
    }
    ASSERT_EQ(0u, store.Add("alpha", 1));
    ASSERT_EQ(0u, store.Add("beta", 2));
    ASSERT_EQ(0u, store.Add("gamma", 3));
    if (s.kind == reliability_test::STORE_TEXT) {
        ASSERT_TRUE(
            store_test::WriteFileBytes(path, store_test::ReadFileBytes(path) + "omega = 0"));
    }
    const std::string before = store_test::ReadFileBytes(path);
    RemoveCompanions(store.file());

    ASSERT_EQ(0u, RunOperation(&store, s.op));
    const std::string after = store_test::ReadFileBytes(path);
    ASSERT_NE(before, after);

    int points = 0;
    int outcomes[OUTCOME_COUNT] = {};
    std::map<std::string, int> tolerated, afterCommit;
    for (uint32_t kind = 0; kind < OSS_FAULT_KIND_COUNT; ++kind) {
        for (uint32_t nth = 1; nth < 100000; ++nth) {
            RemoveCompanions(store.file());
            ASSERT_TRUE(store_test::WriteFileBytes(path, before));
            store_test::ResourceBalance balance;
            unsigned result = 1;
            bool fired = false;
            size_t logged = 0;
            {
                store_test::LogCapture log;
                ossFaultReset();
                ossFaultArm((OSSFaultKind)kind, nth, 0);
                result = RunOperation(&store, s.op);
                fired = ossFaultFired();
                ossFaultDisarm();
                logged = log.entries().size();
                // GENREG_REL_VERBOSE=1 shows what each tolerated failure logged.
                if (result == 0 && fired &&
                    reliability_test::Environment("GENREG_REL_VERBOSE") == "1")
                    PrintTolerated(kFaultNames[kind], nth, log);
            }
            const std::string now = store_test::ReadFileBytes(path);
            if (!fired) {
                // The operation no longer reaches a call of this kind.
                EXPECT_EQ(0u, result) << kFaultNames[kind] << " " << nth;
                EXPECT_EQ(after, now);
                break;
            }
            ++points;
            std::ostringstream where;
            where << kFaultNames[kind] << " call " << nth << " rc 0x" << std::hex << result;
            const bool isOld = now == before, isNew = now == after;
            EXPECT_TRUE(isOld || isNew) << where.str() << ": the file is neither old nor new";
            if (result == 0) {
                EXPECT_TRUE(isNew) << where.str() << ": success reported over the old content";
                ++outcomes[TOLERATED];
                ++tolerated[kFaultNames[kind]];
            } else {
                EXPECT_GT(logged, 0u) << where.str() << ": failure not logged";
                // That code says the update was not committed.
                EXPECT_FALSE(isNew && result == GENREG_RC_VERIFY_FAILED)
                    << where.str() << ": \"not committed\" over the new content";
                if (isNew) {
                    ++outcomes[FAILED_AFTER_COMMIT];
                    ++afterCommit[kFaultNames[kind]];
                } else {
                    ++outcomes[REFUSED];
                }
            }
            EXPECT_TRUE(store_test::HandleIsIdle(store.file())) << where.str();
            EXPECT_TRUE(balance.Unchanged()) << where.str();

            // The next update works on whatever is there and cleans up.
            ASSERT_EQ(0u, store.Change("gamma", 33)) << where.str();
            int32_t number = 0;
            EXPECT_EQ(0u, store.Get("gamma", &number)) << where.str();
            EXPECT_EQ(33, number) << where.str();
            EXPECT_TRUE(NoDebris(store.file())) << where.str();
            if (HasFailure()) return;
        }
    }
    std::ostringstream report;
    report << "[reliability] " << ScenarioName(s) << ": " << points << " injection points, "
           << outcomes[REFUSED] << " refused (old content), " << outcomes[FAILED_AFTER_COMMIT]
           << " failed after commit (new content), " << outcomes[TOLERATED]
           << " tolerated (rc 0, new content)";
    for (const auto& entry : afterCommit)
        report << " after-commit:" << entry.first << "=" << entry.second;
    for (const auto& entry : tolerated)
        report << " tolerated:" << entry.first << "=" << entry.second;
    std::printf("%s\n", report.str().c_str());
    EXPECT_GT(outcomes[REFUSED], 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, ReliabilityFaults, testing::ValuesIn(AllScenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             return ScenarioName(info.param);
                         });

}  // namespace

#endif
