// Bad input and a hostile file system: every case gets its code, nothing
// crashes, nothing leaks and the registry file keeps its content.
#include "text_fixture.h"

namespace {

using store_test::HandleIsIdle;
using text_test::Entry;
using text_test::Key;

// Lines that are hard to read, each followed by a good line that must
// still be found.
TEST(TextBadInput, DamagedLinesDoNotHideTheLinesAfterThem) {
    const std::string damaged[] = {
        "q = \"never closed\n",
        "no equals sign at all\n",
        "long = " + std::string(5000, 'L') + "\n",
        std::string("nul = a\0b\n", 10),
        "ctl = \x01\x02\x7f\xff # \x03 comment\n",
        "cr = 1\r\r\n",
        "\\\n",
        "= missing name\n",
    };
    for (const std::string& line : damaged) {
        store_test::TestDir dir;
        unsigned rc = 1;
        GenRegVarVal profile(dir.file("reg").c_str(), &rc);
        ASSERT_EQ(0u, rc);
        ASSERT_TRUE(store_test::WriteFileBytes(profile.filePath, line + "good = yes\n"));
        store_test::ResourceBalance balance;
        bool good = false;
        EXPECT_TRUE(profile.GetBooleanValue("good", &good)) << line.substr(0, 20);
        EXPECT_TRUE(good);
        const char* s = nullptr;
        EXPECT_FALSE(profile.GetStringValue("q", &s));
        EXPECT_TRUE(HandleIsIdle(profile));
        EXPECT_TRUE(balance.Unchanged());
    }
}

struct Obstacle {
    const char* name;
    // Prepares the scratch directory; returns the registry file's path.
    std::string (*prepare)(const store_test::TestDir& dir);
    unsigned get, add, change, remove;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Obstacle& c, std::ostream* os) {
    *os << c.name;
}

std::string directoryAsFile(const store_test::TestDir& dir) {
    std::string path = dir.file("reg");
    store_test::MakeDirectory(path);
    return path;
}
std::string directoryAtLock(const store_test::TestDir& dir) {
    store_test::MakeDirectory(dir.file(".reg.lock"));
    return dir.file("reg");
}
std::string directoryAtMarker(const store_test::TestDir& dir) {
    store_test::MakeDirectory(dir.file("reg.cor"));
    store_test::WriteFileBytes(dir.file("reg.cor") + ossPathSeparator() + "inside", "x");
    return dir.file("reg");
}
std::string directoryAtCopyAndMarker(const store_test::TestDir& dir) {
    directoryAtMarker(dir);
    store_test::MakeDirectory(dir.file("reg.tmp"));
    return dir.file("reg");
}
std::string fileAsDirectory(const store_test::TestDir& dir) {
    store_test::WriteFileBytes(dir.file("plain"), "not a directory");
    return dir.file("plain") + ossPathSeparator() + "reg";
}

class TextObstacle : public testing::TestWithParam<Obstacle> {};

TEST_P(TextObstacle, EveryOperationFailsCleanlyAndTheFileKeepsItsContent) {
    const Obstacle& o = GetParam();
    store_test::TestDir dir;
    std::string path = o.prepare(dir);
    const std::string content = "a = 1\nb = 2\n";
    // Where a file can stand at the path, it holds content.
    store_test::WriteFileBytes(path, content);
    const bool isFile = store_test::ReadFileBytes(path) == content;
    unsigned rc = 1;
    GenRegVarVal profile(path.c_str(), &rc);
    ASSERT_EQ(0u, rc);
    store_test::ResourceBalance balance;
    VarValRecord result;
    Key a("a");
    Entry a9("a", "9"), c("c", "3");
    EXPECT_EQ(o.get, profile.Get(GENREG_VARVAL_VARIABLE, a.get(), &result));
    EXPECT_EQ(o.add, profile.Add(GENREG_VARVAL_VARIABLE, c.get()));
    EXPECT_EQ(o.change, profile.Change(GENREG_VARVAL_VARIABLE, a.get(), a9.get()));
    EXPECT_EQ(o.remove, profile.Delete(GENREG_VARVAL_VARIABLE, a.get()));
    if (isFile) {
        EXPECT_TRUE(store_test::FileHolds(path, content));
    }
    EXPECT_TRUE(HandleIsIdle(profile));
    EXPECT_TRUE(balance.Unchanged());
    EXPECT_FALSE(store_test::PathExists(profile.backupPath));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextObstacle,
    testing::Values(Obstacle{"DirectoryInPlaceOfTheFile", directoryAsFile,
                             GENREG_RC_NOT_REGULAR_FILE, GENREG_RC_NOT_REGULAR_FILE,
                             GENREG_RC_NOT_REGULAR_FILE, GENREG_RC_NOT_REGULAR_FILE},
                    Obstacle{"DirectoryAtTheLockFile", directoryAtLock, 0,
                             GENREG_RC_NOT_REGULAR_FILE, GENREG_RC_NOT_REGULAR_FILE,
                             GENREG_RC_NOT_REGULAR_FILE},
                    Obstacle{"DirectoryAtTheMarker", directoryAtMarker, 0, GENREG_RC_OPEN_FAILED,
                             GENREG_RC_OPEN_FAILED, GENREG_RC_OPEN_FAILED},
                    Obstacle{"DirectoriesAtTheCopyAndTheMarker", directoryAtCopyAndMarker, 0,
                             GENREG_RC_OPEN_FAILED, GENREG_RC_OPEN_FAILED, GENREG_RC_OPEN_FAILED},
                    Obstacle{"FileInPlaceOfTheDirectory", fileAsDirectory, GENREG_RC_OPEN_FAILED,
                             GENREG_RC_LOCK_FAILED, GENREG_RC_LOCK_FAILED, GENREG_RC_LOCK_FAILED}),
    [](const testing::TestParamInfo<Obstacle>& info) { return std::string(info.param.name); });

}  // namespace
