// Files, directories and streams through the services.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/oss.h"
#include "platform/process.h"
#include "platform_support.h"

using namespace platform_test;

namespace {

bool onWindows() {
    return ossPathSeparator() == '\\';
}

}  // namespace

TEST(PlatformFiles, DeleteReportsAMissingFileAsNotFound) {
    ScratchDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(writeFile(path, "x"));
    EXPECT_EQ(0u, ossFileDelete(path.c_str()));
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, ossFileDelete(path.c_str()));
}

TEST(PlatformFiles, RenameReplacesAnExistingTarget) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("from"), "new"));
    ASSERT_TRUE(writeFile(dir.file("to"), "old"));
    ASSERT_EQ(0u, ossFileRename(dir.file("from").c_str(), dir.file("to").c_str()));
    EXPECT_FALSE(exists(dir.file("from")));
    EXPECT_EQ("new", readFile(dir.file("to")));
    EXPECT_NE(0u, ossFileRename(dir.file("from").c_str(), dir.file("to").c_str()));
}

TEST(PlatformFiles, DirectoryCreateMakesMissingParentsAndAcceptsExisting) {
    ScratchDir dir;
    std::string deep = dir.file("a") + ossPathSeparator() + "b" + ossPathSeparator() + "c";
    OSSDirectoryCreateParam param = {OSS_INTERFACE_VERSION, deep.c_str(), 0700, 1};
    ASSERT_EQ(0u, ossDirectoryCreate(&param));
    EXPECT_TRUE(ossIsDirectory(deep.c_str()));
    EXPECT_FALSE(ossIsFile(deep.c_str()));
    param.option = 2;
    EXPECT_EQ(0u, ossDirectoryCreate(&param)) << "an existing directory is success";
    std::string trailing = deep + ossPathSeparator() + "d" + ossPathSeparator();
    param.path = trailing.c_str();
    EXPECT_EQ(0u, ossDirectoryCreate(&param));
    EXPECT_TRUE(ossIsDirectory(trailing.c_str()));
}

TEST(PlatformFiles, DirectoryCreateFailsWhereAFileStands) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("f"), "x"));
    std::string below = dir.file("f") + ossPathSeparator() + "sub";
    OSSDirectoryCreateParam param = {OSS_INTERFACE_VERSION, below.c_str(), 0700, 1};
    EXPECT_NE(0u, ossDirectoryCreate(&param));
    std::string file = dir.file("f");
    param.path = file.c_str();
    EXPECT_NE(0u, ossDirectoryCreate(&param));
}

TEST(PlatformFiles, InfoReportsSizeAndPermissions) {
    ScratchDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(writeFile(path, "12345"));
    ASSERT_EQ(0u, ossFileSetPermissions(path.c_str(), 0640));
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, path.c_str()};
    OSSFileInfo info = {0, 0};
    ASSERT_EQ(0u, ossFileGetInfoV9(&request, &info));
    EXPECT_EQ(5u, info.size);
    if (!onWindows()) {
        EXPECT_EQ(0640u, info.permissions);
    }
    std::string missing = dir.file("missing");
    request.path = missing.c_str();
    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, ossFileGetInfoV9(&request, &info));
}

TEST(PlatformFiles, IdentityOfTwoNamesOfOneFileIsEqual) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("a"), "x"));
    ASSERT_TRUE(writeFile(dir.file("b"), "x"));
    OSSFileIdentity a, a2, b;
    ASSERT_EQ(0u, ossFileIdentityOfPath(dir.file("a").c_str(), &a));
    ASSERT_EQ(0u, ossFileIdentityOfPath(dir.file("b").c_str(), &b));
    EXPECT_FALSE(a.volume == b.volume && a.index == b.index);
    OSSHFile file;
    std::string pathA = dir.file("a");
    OSSFileOpenParam param = {OSS_INTERFACE_VERSION, pathA.c_str(), 2, OSS_ACCESS_READ, 0, 0600};
    ASSERT_EQ(0u, file.open(&param));
    ASSERT_EQ(0u, ossFileIdentityOfHandle(file.getFileHandle(), &a2));
    EXPECT_EQ(a.volume, a2.volume);
    EXPECT_EQ(a.index, a2.index);
}

TEST(PlatformFiles, ReplaceSwapsContentAndLeavesTheBackup) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("target"), "old"));
    ASSERT_TRUE(writeFile(dir.file("source"), "new"));
    bool backupMade = false;
    ASSERT_EQ(0u, ossFileReplace(dir.file("source").c_str(), dir.file("target").c_str(),
                                 dir.file("backup").c_str(), &backupMade));
    EXPECT_TRUE(backupMade);
    EXPECT_EQ("new", readFile(dir.file("target")));
    EXPECT_EQ("old", readFile(dir.file("backup")));
    EXPECT_FALSE(exists(dir.file("source")));
}

TEST(PlatformFiles, ReplaceOfAMissingTargetMovesTheSource) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("source"), "new"));
    bool backupMade = true;
    ASSERT_EQ(0u, ossFileReplace(dir.file("source").c_str(), dir.file("target").c_str(),
                                 dir.file("backup").c_str(), &backupMade));
    EXPECT_FALSE(backupMade);
    EXPECT_EQ("new", readFile(dir.file("target")));
    EXPECT_FALSE(exists(dir.file("backup")));
}

TEST(PlatformFiles, ReplaceOfAMissingSourceKeepsTheTarget) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("target"), "old"));
    bool backupMade = true;
    EXPECT_NE(0u, ossFileReplace(dir.file("source").c_str(), dir.file("target").c_str(),
                                 dir.file("backup").c_str(), &backupMade));
    EXPECT_FALSE(backupMade);
    EXPECT_EQ("old", readFile(dir.file("target")));
    EXPECT_FALSE(exists(dir.file("backup")));
}

TEST(PlatformFiles, ExclusiveCreateRefusesAnExistingFile) {
    ScratchDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(writeFile(path, "keep"));
    EXPECT_EQ(nullptr, ossStreamCreateExclusive(path.c_str(), "wb"));
    EXPECT_EQ("keep", readFile(path));
    FILE* stream = ossStreamCreateExclusive(dir.file("g").c_str(), "w+b");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(3u, ossStreamWrite("abc", 1, 3, stream));
    EXPECT_EQ(0, ossStreamSeek(stream, 0, SEEK_SET));
    char back[4] = {0};
    EXPECT_EQ(3u, ossStreamRead(back, 1, 3, stream));
    EXPECT_STREQ("abc", back);
    EXPECT_EQ(0, ossStreamClose(stream));
}

TEST(PlatformFiles, ExclusiveCreateRefusesAPlantedSymlink) {
    if (onWindows()) GTEST_SKIP() << "symbolic links need privileges on Windows";
    ScratchDir dir;
    std::string victim = dir.file("victim");
    ASSERT_TRUE(writeFile(victim, "precious"));
    std::filesystem::create_symlink(victim, dir.file("link"));
    EXPECT_EQ(nullptr, ossStreamCreateExclusive(dir.file("link").c_str(), "wb"));
    EXPECT_EQ("precious", readFile(victim));
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("dangling"));
    EXPECT_EQ(nullptr, ossStreamCreateExclusive(dir.file("dangling").c_str(), "wb"));
    EXPECT_FALSE(exists(dir.file("nowhere")));
}

TEST(PlatformFiles, StreamOnAnOpenedHandleAppendsAndReportsSize) {
    ScratchDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(writeFile(path, "head\n"));
    OSSHFile file;
    OSSFileOpenParam param = {OSS_INTERFACE_VERSION, path.c_str(), 2, OSS_ACCESS_APPEND, 0, 0600};
    ASSERT_EQ(0u, file.open(&param));
    int fd = ossOpenOsfHandle(file.getFileHandle(), OSS_FD_APPEND);
    ASSERT_NE(-1, fd);
    FILE* stream = ossFdOpen(fd, "ab");
    ASSERT_NE(nullptr, stream);
    file.release();
    EXPECT_EQ(0, ossStreamPuts("tail\n", stream));
    EXPECT_EQ(0, ossStreamSync(stream));
    int64_t size = -1;
    EXPECT_EQ(0, ossStreamFileSize(stream, &size));
    EXPECT_EQ(10, size);
    EXPECT_EQ(0, ossStreamClose(stream));
    EXPECT_EQ("head\ntail\n", readFile(path));
}

TEST(PlatformFiles, TextModeReadTranslatesLineEndsOnlyOnWindows) {
    ScratchDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(writeFile(path, "a\r\nb\n"));
    FILE* stream = ossStreamOpen(path.c_str(), "rt");
    ASSERT_NE(nullptr, stream);
    char line[16];
    ASSERT_NE(nullptr, ossStreamGets(line, sizeof line, stream));
    EXPECT_STREQ(onWindows() ? "a\n" : "a\r\n", line);
    EXPECT_EQ(0, ossStreamClose(stream));
    EXPECT_EQ(0, ossAccess(path.c_str(), 0));
    EXPECT_EQ(-1, ossAccess(dir.file("missing").c_str(), 0));
}

TEST(PlatformFiles, SeekAndTellGoBeyondFourGigabytes) {
    ScratchDir dir;
    FILE* stream = ossStreamCreateExclusive(dir.file("sparse").c_str(), "w+b");
    ASSERT_NE(nullptr, stream);
    const int64_t far = (int64_t)5 << 30;
    EXPECT_EQ(0, ossStreamSeek(stream, far, SEEK_SET));
    EXPECT_EQ(far, ossStreamTell(stream));
    EXPECT_EQ(0, ossStreamClose(stream));
}

// A read that comes back empty after a seek must not pass for the file's
// end: the binary stores tell a failed read from the end by the flag.
TEST(PlatformFiles, SeekEndsTheEndOfFile) {
    ScratchDir dir;
    FILE* stream = ossStreamCreateExclusive(dir.file("seek").c_str(), "w+b");
    ASSERT_NE(nullptr, stream);
    ASSERT_EQ(10u, ossStreamWrite("0123456789", 1, 10, stream));
    const struct {
        int64_t offset;
        int whence;
        int64_t position;
    } seeks[] = {{4, SEEK_SET, 4}, {-3, SEEK_CUR, 7}, {-2, SEEK_END, 8}, {0, SEEK_END, 10}};
    for (const auto& seek : seeks) {
        char bytes[16];
        ASSERT_EQ(0, ossStreamSeek(stream, 0, SEEK_SET));
        ASSERT_EQ(10u, ossStreamRead(bytes, 1, sizeof bytes, stream));
        ASSERT_NE(0, std::feof(stream));
        ASSERT_EQ(0, ossStreamSeek(stream, seek.offset, seek.whence)) << seek.whence;
        EXPECT_EQ(0, std::feof(stream)) << seek.whence;
        EXPECT_EQ(seek.position, ossStreamTell(stream)) << seek.whence;
    }
    EXPECT_EQ(0, ossStreamClose(stream));
}

// The child side of ReplaceKeepsTheTargetPresentForAConcurrentReader: looks
// for the target over and over until the parent is done, and fails on the
// first look that finds no file or a content that is neither version. Most
// looks hold no handle (a Windows rename cannot replace a file that is
// open); every tenth opens and reads the file.
TEST(PlatformFilesChild, Reader) {
    if (childRole() != "reader") GTEST_SKIP() << "runs only as a child of the replace test";
    std::string dir = childDir();
    std::string sep(1, ossPathSeparator());
    std::string target = dir + sep + "target";
    ASSERT_TRUE(writeFile(dir + sep + "reading", "1"));
    for (int looks = 0; !exists(dir + sep + "done"); ++looks) {
        ASSERT_TRUE(ossIsFile(target.c_str())) << "target missing at look " << looks;
        if (looks % 10 != 0) continue;
        FILE* stream = ossStreamOpen(target.c_str(), "rb");
        ASSERT_NE(nullptr, stream)
            << "target missing at look " << looks << ", system error " << ossSysLastError();
        char content[8] = {0};
        size_t got = ossStreamRead(content, 1, sizeof content - 1, stream);
        ossStreamClose(stream);
        ASSERT_EQ(3u, got) << "look " << looks;
        ASSERT_TRUE(std::string(content) == "one" || std::string(content) == "two") << content;
    }
}

TEST(PlatformFiles, ReplaceKeepsTheTargetPresentForAConcurrentReader) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("target"), "one"));
    OSSProcess reader;
    ASSERT_EQ(0u, spawnChild("PlatformFilesChild.Reader", "reader", dir.path(), &reader));
    ASSERT_TRUE(waitForFile(dir.file("reading")));
    int replaced = 0;
    for (; replaced < 200; ++replaced) {
        if (!writeFile(dir.file("source"), replaced % 2 ? "one" : "two")) break;
        bool backupMade = false;
        unsigned rc = ossFileReplace(dir.file("source").c_str(), dir.file("target").c_str(),
                                     dir.file("backup").c_str(), &backupMade);
        EXPECT_EQ(0u, rc) << "replace " << replaced;
        if (rc != 0 || !backupMade || ossFileDelete(dir.file("backup").c_str()) != 0) break;
    }
    // The reader stops before the directory goes away, whatever happened.
    ASSERT_TRUE(writeFile(dir.file("done"), "1"));
    int exitCode = -1;
    ASSERT_EQ(0u, ossProcessWait(&reader, &exitCode));
    EXPECT_EQ(0, exitCode);
    EXPECT_EQ(200, replaced);
}

TEST(PlatformFiles, PermissionsSurviveARoundTrip) {
    ScratchDir dir;
    std::string path = dir.file("f");
    ASSERT_TRUE(writeFile(path, "x"));
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, path.c_str()};
    OSSFileInfo info = {0, 0};
    // What a transaction does: read one file's bits, give them to another.
    struct Case {
        uint64_t set;
        uint64_t posixReport;
        uint64_t windowsReport;
    };
    const Case cases[] = {{0600, 0600, 0666}, {0444, 0444, 0444}, {0644, 0644, 0666}};
    for (const Case& c : cases) {
        ASSERT_EQ(0u, ossFileSetPermissions(path.c_str(), c.set));
        ASSERT_EQ(0u, ossFileGetInfoV9(&request, &info));
        EXPECT_EQ(onWindows() ? c.windowsReport : c.posixReport, info.permissions)
            << std::oct << c.set;
    }
    EXPECT_NE(0u, ossFileSetPermissions(dir.file("missing").c_str(), 0600));
}

TEST(PlatformFiles, ExclusiveCreateStartsPrivate) {
    if (onWindows()) GTEST_SKIP() << "Windows files have no owner-only mode bits";
    ScratchDir dir;
    FILE* stream = ossStreamCreateExclusive(dir.file("f").c_str(), "wb");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(0, ossStreamClose(stream));
    std::string path = dir.file("f");
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, path.c_str()};
    OSSFileInfo info = {0, 0};
    ASSERT_EQ(0u, ossFileGetInfoV9(&request, &info));
    EXPECT_EQ(0600u, info.permissions);
}

// Files opened by the layer do not stop others from renaming or deleting
// them (the update swaps files that readers may still hold open).
TEST(PlatformFiles, OpenFilesCanBeRenamedAndDeleted) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("a"), "x"));
    std::string pathA = dir.file("a");
    OSSHFile held;
    OSSFileOpenParam param = {OSS_INTERFACE_VERSION, pathA.c_str(), 2, OSS_ACCESS_READ, 0, 0600};
    ASSERT_EQ(0u, held.open(&param));
    FILE* stream = ossStreamOpen(pathA.c_str(), "rb");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(0u, ossFileRename(pathA.c_str(), dir.file("b").c_str()));
    EXPECT_EQ(0u, ossFileDelete(dir.file("b").c_str()));
    EXPECT_EQ(0, ossStreamClose(stream));
    EXPECT_EQ(0u, held.close());
    EXPECT_FALSE(exists(dir.file("b")));
}

// A lock file deleted by its holder must free the name at once, also on
// Windows where a file still open elsewhere would otherwise keep it.
TEST(PlatformFiles, DeletedFileFreesItsNameWhileStillOpen) {
    ScratchDir dir;
    std::string path = dir.file("lock");
    OSSHFile held;
    OSSFileOpenParam param = {OSS_INTERFACE_VERSION, path.c_str(), 2, OSS_ACCESS_WRITE, 0, 0600};
    ASSERT_EQ(0u, held.open(&param));
    ASSERT_EQ(0u, ossFileDelete(path.c_str()));
    EXPECT_FALSE(ossIsFile(path.c_str()));
    OSSHFile fresh;
    ASSERT_EQ(0u, fresh.open(&param));
    OSSFileIdentity old, now;
    ASSERT_EQ(0u, ossFileIdentityOfHandle(held.getFileHandle(), &old));
    ASSERT_EQ(0u, ossFileIdentityOfPath(path.c_str(), &now));
    EXPECT_FALSE(old.volume == now.volume && old.index == now.index);
    EXPECT_EQ(0u, held.close());
    EXPECT_EQ(0u, fresh.close());
    EXPECT_EQ(0u, ossFileDelete(path.c_str()));
    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, ossFileDelete(path.c_str()));
}

TEST(PlatformFiles, FailuresAreLoggedOnceWithThePath) {
    ScratchDir dir;
    std::string missing = dir.file("missing");
    struct Sink {
        int count = 0;
        OSSLogEntry last = {};
        std::string data;
    } sink;
    ossLogSetSink(
        [](const OSSLogEntry* entry, void* context) {
            Sink* s = (Sink*)context;
            ++s->count;
            s->last = *entry;
            s->data = entry->data;
        },
        &sink);
    unsigned rc = ossFileRename(missing.c_str(), dir.file("other").c_str());
    int renameEntries = sink.count;
    sink.count = 0;
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, missing.c_str()};
    OSSFileInfo info;
    unsigned infoRc = ossFileGetInfoV9(&request, &info);
    ossLogSetSink(nullptr, nullptr);

    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, rc);
    EXPECT_GE(renameEntries, 1);
    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, infoRc);
    EXPECT_EQ(1, sink.count);
    EXPECT_EQ(OSS_RC_FILE_NOT_FOUND, sink.last.rc);
    EXPECT_EQ(3u, sink.last.severity);
    EXPECT_NE(std::string::npos, sink.data.find(missing)) << sink.data;
}

// A position taken while reading a text stream leads back to the same
// line, whatever line ends the file uses (the Windows runtime's own ftell
// miscounts bare LFs still in its buffer).
TEST(PlatformFiles, TextPositionLeadsBackToTheSameLine) {
    struct Case {
        const char* name;
        const char* content;
    };
    const Case cases[] = {
        {"LF", "one\ntwo\nthree\n"},
        {"CRLF", "one\r\ntwo\r\nthree\r\n"},
        {"mixed", "one\ntwo\r\nthree\n"},
        {"lone CR", "one\r\rx\ntwo\nthree\n"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        std::string path = dir.file(c.name);
        ASSERT_TRUE(writeFile(path, c.content));
        FILE* stream = ossStreamOpen(path.c_str(), "rt");
        ASSERT_NE(nullptr, stream);
        char line[32];
        ASSERT_NE(nullptr, ossStreamGets(line, sizeof line, stream));
        int64_t saved = ossStreamTell(stream);
        char second[32];
        ASSERT_NE(nullptr, ossStreamGets(second, sizeof second, stream)) << c.name;
        ASSERT_NE(nullptr, ossStreamGets(line, sizeof line, stream)) << c.name;
        ASSERT_EQ(0, ossStreamSeek(stream, saved, SEEK_SET)) << c.name;
        ASSERT_NE(nullptr, ossStreamGets(line, sizeof line, stream)) << c.name;
        EXPECT_STREQ(second, line) << c.name;
        ASSERT_EQ(0, ossStreamSeek(stream, saved, SEEK_SET)) << c.name;
        ASSERT_EQ(0, ossStreamSeek(stream, 0, SEEK_CUR)) << c.name;
        EXPECT_EQ(saved, ossStreamTell(stream)) << c.name;
        EXPECT_EQ(0, ossStreamClose(stream));
    }
}
