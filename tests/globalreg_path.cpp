// Where the global registry file lives, and how its handle is set up.
#include <genreg/globalreg.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "globalrec_support.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"

namespace {

using globalrec_test::ScopedEnv;

const char kVariable[] = "QVR_GLOBAL_REG_PATHNAME";

std::string sep() {
    return std::string(1, ossPathSeparator());
}

std::string defaultPath() {
    return "." + sep() + "global.reg";
}

// A path of exactly length characters in a directory.
std::string pathOfLength(size_t length) {
    std::string dir = sep() + "tmp" + sep() + "d";
    return dir + sep() + std::string(length - dir.size() - 1, 'g');
}

TEST(GlobalRegPath, DefaultPathName) {
    ScopedEnv unset(kVariable, nullptr);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    uint16_t length = 13;
    ASSERT_EQ(0u, GetGlobalRegPathName(buffer, &length));
    EXPECT_EQ(defaultPath(), buffer);
    EXPECT_EQ(13u, length);

    length = 12;
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GENREG_RC_GLOBAL_PATH_TOO_LONG, GetGlobalRegPathName(buffer, &length));
    EXPECT_EQ(13u, length);
    EXPECT_EQ('x', buffer[0]);
}

TEST(GlobalRegPath, PathNameFromTheVariable) {
    const std::string path = sep() + "srv" + sep() + "reg" + sep() + "global.reg";
    ScopedEnv set(kVariable, path.c_str());
    char buffer[300];
    uint16_t length = sizeof buffer;
    ASSERT_EQ(0u, GetGlobalRegPathName(buffer, &length));
    EXPECT_EQ(path, buffer);
    EXPECT_EQ(path.size() + 1, length);

    // Exactly the length needed is enough; one less is not, and says so.
    length = (uint16_t)(path.size() + 1);
    EXPECT_EQ(0u, GetGlobalRegPathName(buffer, &length));
    length = (uint16_t)path.size();
    EXPECT_EQ(GENREG_RC_GLOBAL_PATH_TOO_LONG, GetGlobalRegPathName(buffer, &length));
    EXPECT_EQ(path.size() + 1, length);
}

TEST(GlobalRegPath, NoBuffer) {
    uint16_t length = 99;
    EXPECT_EQ(GENREG_RC_GLOBAL_PATH_NO_BUFFER, GetGlobalRegPathName(nullptr, &length));
    EXPECT_EQ(99u, length);
}

void expectGlobalSetup(const GlobalReg& handle) {
    EXPECT_EQ(GENREG_FEATURE_VERIFY | GENREG_FEATURE_PACKED | GENREG_FEATURE_NOTIFY,
              handle.features);
    EXPECT_EQ(0u, handle.updateOriginator);
    EXPECT_EQ((uint64_t)GENREG_STORE_BINARY, handle.storeKind);
    EXPECT_EQ(&GlobalRecCompare, handle.CompareRecord);
    EXPECT_EQ(&GlobalRecValidate, handle.ValidateRecord);
    EXPECT_NE(nullptr, handle.GenRegBase::PrintRecord);
    EXPECT_EQ(&GlobalRecNotify, handle.NotifyUpdate);
    EXPECT_EQ(nullptr, handle.PostUpdate);
    EXPECT_EQ(&GlobalRecRecordSize, handle.GetRecordSize);
    EXPECT_EQ(&GlobalRecMaxRecordSize, handle.GetMaxRecordSize);
    EXPECT_EQ(&GlobalRecPack, handle.PackRecord);
    EXPECT_EQ(&GlobalRecUnpack, handle.UnpackRecord);
    EXPECT_EQ(&GlobalRecUnpackSized, handle.UnpackStoredRecord);
    EXPECT_EQ(&GlobalRecPackedSize, handle.GetPackedSize);
}

TEST(GlobalRegPath, ConstructorsAtTheDefaultPlace) {
    ScopedEnv unset(kVariable, nullptr);
    GlobalReg plain;
    GlobalReg flagTrue(true);
    GlobalReg flagFalse(false);
    for (const GlobalReg* h : {&plain, &flagTrue, &flagFalse}) {
        expectGlobalSetup(*h);
        EXPECT_TRUE(h->state & GENREG_STATE_PATHS_SET);
        EXPECT_EQ(defaultPath(), h->filePath);
        EXPECT_EQ(defaultPath() + ".tmp", h->tempPath);
        EXPECT_EQ(defaultPath() + ".cor", h->corruptPath);
        EXPECT_STREQ(".global.reg.lock", h->lockPath);
        EXPECT_STREQ(".global.reg.bkp", h->backupPath);
    }
}

TEST(GlobalRegPath, ConstructorAtThePathOfTheVariable) {
    const std::string dir = sep() + "srv" + sep() + "reg";
    const std::string path = dir + sep() + "g.reg";
    ScopedEnv set(kVariable, path.c_str());
    GlobalReg handle;
    expectGlobalSetup(handle);
    EXPECT_TRUE(handle.state & GENREG_STATE_PATHS_SET);
    EXPECT_EQ(path, handle.filePath);
    EXPECT_EQ(path + ".tmp", handle.tempPath);
    EXPECT_EQ(path + ".cor", handle.corruptPath);
    EXPECT_EQ(dir + sep() + ".g.reg.lock", handle.lockPath);
    EXPECT_EQ(dir + sep() + ".g.reg.bkp", handle.backupPath);
}

void expectNoPaths(const GlobalReg& handle, const char* why) {
    expectGlobalSetup(handle);
    EXPECT_FALSE(handle.state & GENREG_STATE_PATHS_SET) << why;
    EXPECT_STREQ("", handle.filePath) << why;
    EXPECT_STREQ("", handle.tempPath) << why;
    EXPECT_STREQ("", handle.corruptPath) << why;
    EXPECT_STREQ("", handle.lockPath) << why;
    EXPECT_STREQ("", handle.backupPath) << why;
}

// Fault: a path that itself fits but whose companion names (".tmp", ".cor",
// the dotted ".lock" and ".bkp") do not fit their 260-character fields was
// accepted, and the companions were cut short into names of other files.
TEST(GlobalRegPath, CompanionNamesThatDoNotFitLeaveTheHandleWithoutPaths) {
    struct Case {
        size_t length;
        bool accepted;
    } cases[] = {
        {253, true},                 // D/.B.lock has 259 characters
        {254, false},                // the lock name no longer fits
        {255, false}, {256, false},  // nor P.tmp
        {260, false},                // the longest value the variable may have
        {261, false},                // longer than the variable may be
        {300, false},
    };
    // On Windows "\\tmp\\d\\..." is "C:\\tmp\\d\\..." in full, and the full
    // names must fit in MAX_PATH too: the lock name is then two too long.
    const bool absoluteFormCounts = sep() == "\\";
    for (const Case& c : cases) {
        const std::string path = pathOfLength(c.length);
        ASSERT_EQ(c.length, path.size());
        ScopedEnv set(kVariable, path.c_str());
        GlobalReg handle;
        if (c.accepted && !absoluteFormCounts) {
            EXPECT_TRUE(handle.state & GENREG_STATE_PATHS_SET) << c.length;
            EXPECT_EQ(path, handle.filePath);
        } else {
            expectNoPaths(handle, std::to_string(c.length).c_str());
        }
        // The path name itself is reported whatever its length.
        char buffer[400];
        uint16_t length = sizeof buffer;
        EXPECT_EQ(0u, GetGlobalRegPathName(buffer, &length));
        EXPECT_EQ(c.length + 1, length);
    }
}

// A variable set to the empty text names no file: the handle gets no paths
// rather than companion files named ".tmp" in the current directory.
TEST(GlobalRegPath, EmptyVariableGivesNoPaths) {
    ScopedEnv set(kVariable, "");
    if (std::getenv(kVariable) == nullptr) GTEST_SKIP() << "the runtime cannot hold an empty value";
    GlobalReg handle;
    expectNoPaths(handle, "empty");
    char buffer[8];
    uint16_t length = sizeof buffer;
    EXPECT_EQ(0u, GetGlobalRegPathName(buffer, &length));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(1u, length);
}

}  // namespace
