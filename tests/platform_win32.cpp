// Faults of the Windows backend where other programs, planted files and the
// system's limits meet a registry file, each test named after its fault.
#ifdef _WIN32

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

#include "platform/registry.h"
#include "text_fixture.h"

namespace {

using text_test::Entry;
using text_test::Key;
using text_test::OnDisk;

const SECURITY_INFORMATION kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

std::string securityText(const std::string& path) {
    PSECURITY_DESCRIPTOR security = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, kOwnerGroupDacl, nullptr, nullptr,
                              nullptr, nullptr, &security) != ERROR_SUCCESS)
        return "(unreadable)";
    char* text = nullptr;
    std::string result = "(unconvertible)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(security, SDDL_REVISION_1,
                                                             kOwnerGroupDacl, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(security);
    return result;
}

// Sets a DACL given in the system's text form; true on success.
bool setDacl(const std::string& path, const char* sddl) {
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &security,
                                                              nullptr))
        return false;
    BOOL ok = SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, security);
    LocalFree(security);
    return ok != 0;
}

unsigned changeA(GenRegVarVal* profile, const char* value) {
    Key a("a");
    Entry changed("a", value);
    return profile->Change(GENREG_VARVAL_VARIABLE, a.get(), changed.get());
}

// The swap put a fresh copy in the file's place: a hidden system file came
// out of every update as a plain one.
TEST(PlatformWin32, UpdateKeepsHiddenAndSystemAttributes) {
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (DWORD attributes : {kept, kept | FILE_ATTRIBUTE_READONLY, (DWORD)FILE_ATTRIBUTE_HIDDEN}) {
        store_test::TestDir dir;
        const std::string path = dir.file("reg");
        unsigned rc = 1;
        GenRegVarVal profile(path.c_str(), &rc);
        ASSERT_EQ(0u, rc);
        ASSERT_TRUE(store_test::WriteTextFile(path, "a = 1\n"));
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
        EXPECT_EQ(0u, changeA(&profile, "2")) << attributes;
        EXPECT_TRUE(store_test::IsCommitted(profile, OnDisk("a = 2\n")));
        const DWORD after = GetFileAttributesA(path.c_str());
        EXPECT_EQ(attributes, after & (kept | FILE_ATTRIBUTE_READONLY)) << after;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// The copy took the directory's inherited access control list and the
// updater as owner: an installer's file restricted to some accounts was
// open to all after an update. Wine keeps no descriptor of its own for a
// file (it shows one made from the Unix owner and mode bits), so under Wine
// this shows the DACL's effect on the mode; Windows compares the real one.
TEST(PlatformWin32, UpdateKeepsSecurityDescriptor) {
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    unsigned rc = 1;
    GenRegVarVal profile(path.c_str(), &rc);
    ASSERT_EQ(0u, rc);
    ASSERT_EQ(0u, profile.setFeature(GENREG_FEATURE_VERIFY));
    ASSERT_TRUE(store_test::WriteTextFile(path, "a = 1\n"));
    const std::string fresh = dir.file("fresh");
    ASSERT_TRUE(store_test::WriteFileBytes(fresh, "x"));
    // Full control for everyone: no new file of this directory gets it.
    ASSERT_TRUE(setDacl(path, "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;WD)"));
    const std::string before = securityText(path);
    ASSERT_NE(securityText(fresh), before) << "the test needs a DACL new files do not get";
    EXPECT_EQ(0u, changeA(&profile, "2"));
    EXPECT_TRUE(store_test::IsCommitted(profile, OnDisk("a = 2\n")));
    EXPECT_EQ(before, securityText(path));
}

// A program holding the file open without delete sharing made the rename
// fail after the backup link was made, and the link could not be removed
// while the file was held: every such failure left .F.bkp behind.
TEST(PlatformWin32, FileHeldOpenLeavesNoBackup) {
    store_test::TestDir dir;
    const std::string path = dir.file("reg");
    unsigned rc = 1;
    GenRegVarVal profile(path.c_str(), &rc);
    ASSERT_EQ(0u, rc);
    const std::string before = OnDisk("a = 1\n");
    ASSERT_TRUE(store_test::WriteTextFile(path, "a = 1\n"));
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_NE(0u, changeA(&profile, "2"));
    CloseHandle(holder);
    EXPECT_TRUE(store_test::IsUntouched(profile, before));
    EXPECT_FALSE(store_test::PathExists(profile.backupPath));
    // Once the holder lets go, the next update goes through and leaves
    // nothing behind.
    ossFileDelete(profile.tempPath);
    EXPECT_EQ(0u, changeA(&profile, "3"));
    EXPECT_TRUE(store_test::IsCommitted(profile, OnDisk("a = 3\n")));
}

// Every access denial of a rename was retried for about two seconds under
// the update lock, although a directory in the way (or an access control
// list, or a read-only target) never lets go. The log tells how many
// attempts were made.
TEST(PlatformWin32, PermanentRenameRefusalFailsFast) {
    store_test::TestDir dir;
    const std::string from = dir.file("copy");
    const std::string to = dir.file("in-the-way");
    ASSERT_TRUE(store_test::WriteFileBytes(from, "x"));
    ASSERT_TRUE(store_test::MakeDirectory(to));
    store_test::LogCapture log;
    EXPECT_NE(0u, ossFileRename(from.c_str(), to.c_str()));
    bool reported = false;
    for (const store_test::LogCapture::Entry& entry : log.entries()) {
        if (entry.data.find("attempts=") == std::string::npos) continue;
        reported = true;
        EXPECT_NE(std::string::npos, entry.data.find("attempts=1")) << entry.data;
    }
    EXPECT_TRUE(reported);
    EXPECT_EQ("x", store_test::ReadFileBytes(from));
}

// "\\profile.env" gave "\\\\.profile.env.lock", a network name, and
// "C:profile.env" put its lock and backup at the root of drive C instead of
// beside the file in drive C's current directory.
TEST(PlatformWin32, DriveRelativeNameKeepsCompanionsBeside) {
    struct Case {
        const char* path;
        const char* lock;
        const char* backup;
    } cases[] = {
        {"\\profile.env", "\\.profile.env.lock", "\\.profile.env.bkp"},
        {"C:profile.env", "C:.profile.env.lock", "C:.profile.env.bkp"},
        {"C:\\profile.env", "C:\\.profile.env.lock", "C:\\.profile.env.bkp"},
        {"C:sub\\profile.env", "C:sub\\.profile.env.lock", "C:sub\\.profile.env.bkp"},
        {"\\\\server\\share\\profile.env", "\\\\server\\share\\.profile.env.lock",
         "\\\\server\\share\\.profile.env.bkp"},
        {"d\\\\profile.env", "d\\\\.profile.env.lock", "d\\\\.profile.env.bkp"},
    };
    for (const Case& c : cases) {
        unsigned rc = 1;
        GenRegVarVal profile(c.path, &rc);
        ASSERT_EQ(0u, rc) << c.path;
        EXPECT_STREQ(c.lock, profile.lockPath) << c.path;
        EXPECT_STREQ(c.backup, profile.backupPath) << c.path;
    }
    // And an update through a drive-relative name leaves nothing elsewhere.
    store_test::TestDir dir;
    char previous[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    const std::string name = std::string(dir.path(), 0, 2) + "reg";  // "C:reg"
    unsigned rc = 1;
    GenRegVarVal profile(name.c_str(), &rc);
    EXPECT_EQ(0u, rc);
    Entry a("a", "1");
    EXPECT_EQ(0u, profile.Add(GENREG_VARVAL_VARIABLE, a.get()));
    EXPECT_TRUE(store_test::IsCommitted(profile, OnDisk("a = 1\n")));
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(store_test::PathExists(dir.file("reg")));
}

// A relative name that fits the library's fields but whose absolute form
// does not fit MAX_PATH was accepted, and its update failed only at the
// commit, after the copy was written.
TEST(PlatformWin32, OverlongPathIsRefusedUpFront) {
    store_test::TestDir dir;
    char previous[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    const size_t room = MAX_PATH - dir.path().size() - 1;
    struct Case {
        size_t length;
        bool accepted;
    } cases[] = {
        {room - 7, true},   // ".NAME.lock" ends one short of the limit
        {room - 6, false},  // the lock name reaches MAX_PATH
        {room + 10, false},
    };
    for (const Case& c : cases) {
        if (c.length >= 254) continue;  // refused for its own length anyway
        const std::string name(c.length, 'n');
        unsigned rc = 1;
        GenRegVarVal profile(name.c_str(), &rc);
        EXPECT_EQ(c.accepted ? 0u : GENREG_RC_PATH_TOO_LONG, rc) << c.length;
        EXPECT_EQ(c.accepted, (profile.state & GENREG_STATE_PATHS_SET) != 0) << c.length;
        Entry a("a", "1");
        unsigned addRc = profile.Add(GENREG_VARVAL_VARIABLE, a.get());
        if (c.accepted) {
            EXPECT_EQ(0u, addRc);
            ossFileDelete(name.c_str());
        } else {
            EXPECT_NE(0u, addRc);
        }
    }
    SetCurrentDirectoryA(previous);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir.path() + "\\*").c_str(), &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, "..")) ++entries;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(0, entries) << "nothing is written for a refused name";
}

#ifdef GENREG_FAULT_INJECTION

std::string programDirectory() {
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string path(program, length);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

// The cluster library was loaded by its bare name, so a CLUSAPI.DLL planted
// beside the program (a download folder) was loaded into an installer run
// elevated. Only the system directory's copy is loaded; the tests' own
// library comes only through the test hook.
TEST(PlatformWin32, ClusterLibraryLoadsFromSystemDirectory) {
    const std::string testLibrary = programDirectory() + "genreg_test_clusapi.dll";
    const std::string planted = programDirectory() + "clusapi.dll";
    ASSERT_TRUE(CopyFileA(testLibrary.c_str(), planted.c_str(), FALSE));
    ossClusterUseLibraryForTest(nullptr);
    ossClusterApiResetForTest();
    const OSSClusterApi* api = ossClusterApi();
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::string systemLibrary = std::string(system, length) + "\\clusapi.dll";
    EXPECT_EQ(nullptr, GetModuleHandleA(planted.c_str()));
    EXPECT_NE(nullptr, GetModuleHandleA(systemLibrary.c_str()));
    EXPECT_NE(nullptr, api->openCluster);

    ossClusterUseLibraryForTest(testLibrary.c_str());
    ossClusterApiResetForTest();
    EXPECT_NE(nullptr, ossClusterApi()->openCluster);
    EXPECT_NE(nullptr, GetModuleHandleA(testLibrary.c_str()));
    ossClusterUseLibraryForTest(nullptr);
    ossClusterApiResetForTest();
    EXPECT_TRUE(DeleteFileA(planted.c_str()));
}

#endif

}  // namespace

#endif
