// Every OS call an update makes, failed in turn: the update either commits
// the new content or leaves the old one, never anything in between, and
// gives back every handle, stream, lock and buffer.
#include "text_fixture.h"

#ifdef GENREG_FAULT_INJECTION
namespace {

using text_test::Entry;
using text_test::Key;
using text_test::OnDisk;

const std::string kBefore = "# head\na = 1\n\tb = 2\nc = 3";

struct Operation {
    const char* name;
    unsigned (*run)(GenRegVarVal* profile);
    std::string (*after)();  // the committed bytes
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Operation& c, std::ostream* os) {
    *os << c.name;
}

unsigned addD(GenRegVarVal* profile) {
    Entry d("d", "4");
    return profile->Add(GENREG_VARVAL_VARIABLE, d.get());
}
unsigned changeB(GenRegVarVal* profile) {
    Key b("b");
    Entry b9("b", "9");
    return profile->Change(GENREG_VARVAL_VARIABLE, b.get(), b9.get());
}
unsigned getB(GenRegVarVal* profile) {
    Key b("b");
    VarValRecord result;
    return profile->Get(GENREG_VARVAL_VARIABLE, b.get(), &result);
}
unsigned deleteA(GenRegVarVal* profile) {
    Key a("a");
    return profile->Delete(GENREG_VARVAL_VARIABLE, a.get());
}

const OSSFaultKind kKinds[] = {
    OSS_FAULT_OPEN,        OSS_FAULT_LOCK,    OSS_FAULT_READ,   OSS_FAULT_WRITE, OSS_FAULT_SYNC,
    OSS_FAULT_RENAME,      OSS_FAULT_REPLACE, OSS_FAULT_DELETE, OSS_FAULT_MKDIR, OSS_FAULT_INFO,
    OSS_FAULT_PERMISSIONS, OSS_FAULT_ALLOC,   OSS_FAULT_CLOSE};

class TextFaults : public testing::TestWithParam<Operation> {};

TEST_P(TextFaults, EachFailedCallLeavesOldOrNewContentAndNoLeak) {
    const Operation& op = GetParam();
    const std::string after = op.after();
    store_test::TestDir dir;
    std::string path = dir.file("reg");
    unsigned rc = 1;
    GenRegVarVal profile(path.c_str(), &rc);
    ASSERT_EQ(0u, rc);

    // A clean run counts the calls of each kind.
    ASSERT_TRUE(store_test::WriteFileBytes(path, kBefore));
    ossFaultReset();
    ASSERT_EQ(0u, op.run(&profile));
    uint64_t calls[OSS_FAULT_KIND_COUNT];
    for (OSSFaultKind kind : kKinds)
        calls[kind] = ossFaultCalls(kind);
    ossFaultDisarm();
    ASSERT_TRUE(store_test::FileHolds(path, after));

    int failures = 0;
    for (OSSFaultKind kind : kKinds) {
        for (uint64_t nth = 1; nth <= calls[kind]; ++nth) {
            // Each run starts from the old content and no companions.
            for (const char* companion :
                 {profile.tempPath, profile.corruptPath, profile.backupPath, profile.lockPath})
                ossFileDelete(companion);
            ASSERT_TRUE(store_test::WriteFileBytes(path, kBefore));
            store_test::ResourceBalance balance;
            ossFaultReset();
            ossFaultArm(kind, (uint32_t)nth, 0);
            unsigned result = op.run(&profile);
            bool fired = ossFaultFired();
            ossFaultDisarm();
            std::string context = std::string("kind ") + std::to_string(kind) + " call " +
                                  std::to_string(nth) + " rc " + std::to_string(result);
            if (result != 0) ++failures;
            if (result == 0) {
                EXPECT_TRUE(store_test::FileHolds(path, after)) << context;
            } else {
                EXPECT_TRUE(store_test::FileHoldsOneOf(path, kBefore, after)) << context;
            }
            EXPECT_TRUE(fired || result == 0) << context;
            EXPECT_TRUE(store_test::HandleIsIdle(profile)) << context;
            EXPECT_TRUE(balance.Unchanged()) << context;
            // Whatever happened, the next update works on what is there.
            VarValRecord r;
            Key c("c");
            EXPECT_EQ(0u, profile.Get(GENREG_VARVAL_VARIABLE, c.get(), &r)) << context;
        }
    }
    EXPECT_GT(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, TextFaults,
    testing::Values(
        Operation{
            "Add", addD,
            [] { return OnDisk("# head\na = 1\n\tb = 2\n") + "c = 3\r\n" + OnDisk("d = 4\n"); }},
        Operation{"Change", changeB, [] { return OnDisk("# head\na = 1\n\tb = 9\nc = 3\n"); }},
        Operation{"Get", getB, [] { return kBefore; }},
        Operation{"Delete", deleteA, [] { return OnDisk("# head\n\tb = 2\n") + "c = 3"; }}),
    [](const testing::TestParamInfo<Operation>& info) { return std::string(info.param.name); });

}  // namespace
#endif
