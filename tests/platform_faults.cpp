// Fault injection: every kind of call can be made to fail on demand, the
// failure looks like the real one to the caller, and the resource counters
// show that nothing is left behind.
#include <gtest/gtest.h>

#include "platform/fault.h"

#ifdef GENREG_FAULT_INJECTION

#include <cerrno>
#include <string>

#include "platform/oss.h"
#include "platform_support.h"

using namespace platform_test;

namespace {

struct Balance {
    int64_t values[OSS_RESOURCE_KIND_COUNT];
};

Balance resources() {
    Balance balance;
    for (uint32_t kind = 0; kind < OSS_RESOURCE_KIND_COUNT; ++kind)
        balance.values[kind] = ossResourceCount((OSSResourceKind)kind);
    return balance;
}

void expectSameResources(const Balance& before, const char* what) {
    Balance after = resources();
    const char* names[] = {"handles", "streams", "locks", "allocations"};
    for (uint32_t kind = 0; kind < OSS_RESOURCE_KIND_COUNT; ++kind)
        EXPECT_EQ(before.values[kind], after.values[kind]) << names[kind] << " after " << what;
}

// The block points into path, which must outlive it (no temporaries).
OSSFileOpenParam openBlock(const std::string& path, uint32_t access) {
    return OSSFileOpenParam{OSS_INTERFACE_VERSION, path.c_str(), 2, access, 0, 0600};
}

// Each operation runs one call of its kind in dir and returns true when the
// call succeeded; it releases whatever it took either way.
struct Operation {
    const char* name;
    OSSFaultKind kind;
    bool (*run)(const ScratchDir& dir);
};

bool openFile(const ScratchDir& dir) {
    OSSHFile file;
    std::string path = dir.file("f");
    OSSFileOpenParam param = openBlock(path, OSS_ACCESS_WRITE);
    return file.open(&param) == 0;
}

bool lockFile(const ScratchDir& dir) {
    OSSHFile file;
    std::string path = dir.file("f");
    OSSFileOpenParam param = openBlock(path, OSS_ACCESS_WRITE);
    if (file.open(&param) != 0) return false;
    OSSFileLockParam lock = {OSS_INTERFACE_VERSION, OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT};
    return file.lock(&lock) == 0;
}

bool openStream(const ScratchDir& dir) {
    FILE* stream = ossStreamOpen(dir.file("existing").c_str(), "rb");
    return stream && ossStreamClose(stream) == 0;
}

bool createStream(const ScratchDir& dir) {
    std::string path = dir.file("new");
    FILE* stream = ossStreamCreateExclusive(path.c_str(), "wb");
    bool ok = stream && ossStreamClose(stream) == 0;
    return ok && ossFileDelete(path.c_str()) == 0;
}

bool readStream(const ScratchDir& dir) {
    FILE* stream = ossStreamOpen(dir.file("existing").c_str(), "rb");
    if (!stream) return false;
    char buffer[4];
    bool ok = ossStreamRead(buffer, 1, 4, stream) == 4;
    ossStreamClose(stream);
    return ok;
}

bool getsStream(const ScratchDir& dir) {
    FILE* stream = ossStreamOpen(dir.file("existing").c_str(), "rb");
    if (!stream) return false;
    char buffer[16];
    bool ok = ossStreamGets(buffer, sizeof buffer, stream) != nullptr;
    ossStreamClose(stream);
    return ok;
}

bool writeStream(const ScratchDir& dir) {
    FILE* stream = ossStreamOpen(dir.file("out").c_str(), "wb");
    if (!stream) return false;
    bool ok = ossStreamWrite("data", 1, 4, stream) == 4;
    ossStreamClose(stream);
    return ok;
}

bool putsStream(const ScratchDir& dir) {
    FILE* stream = ossStreamOpen(dir.file("out").c_str(), "wb");
    if (!stream) return false;
    bool ok = ossStreamPuts("line\n", stream) == 0;
    ossStreamClose(stream);
    return ok;
}

bool syncStream(const ScratchDir& dir) {
    FILE* stream = ossStreamOpen(dir.file("out").c_str(), "wb");
    if (!stream) return false;
    bool ok = ossStreamSync(stream) == 0;
    ossStreamClose(stream);
    return ok;
}

bool closeStream(const ScratchDir& dir) {
    FILE* stream = ossStreamOpen(dir.file("existing").c_str(), "rb");
    return stream && ossStreamClose(stream) == 0;
}

bool renameFile(const ScratchDir& dir) {
    return ossFileRename(dir.file("existing").c_str(), dir.file("moved").c_str()) == 0 &&
           ossFileRename(dir.file("moved").c_str(), dir.file("existing").c_str()) == 0;
}

bool replaceFile(const ScratchDir& dir) {
    if (!writeFile(dir.file("source"), "new")) return false;
    bool backupMade = false;
    unsigned rc = ossFileReplace(dir.file("source").c_str(), dir.file("existing").c_str(),
                                 dir.file("backup").c_str(), &backupMade);
    if (backupMade) ossFileDelete(dir.file("backup").c_str());
    ossFileDelete(dir.file("source").c_str());
    return rc == 0;
}

bool deleteFile(const ScratchDir& dir) {
    return writeFile(dir.file("victim"), "x") && ossFileDelete(dir.file("victim").c_str()) == 0;
}

bool makeDirectory(const ScratchDir& dir) {
    std::string path = dir.file("sub");
    OSSDirectoryCreateParam param = {OSS_INTERFACE_VERSION, path.c_str(), 0700, 1};
    return ossDirectoryCreate(&param) == 0;
}

bool fileInfo(const ScratchDir& dir) {
    std::string path = dir.file("existing");
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, path.c_str()};
    OSSFileInfo info;
    return ossFileGetInfoV9(&request, &info) == 0;
}

bool setPermissions(const ScratchDir& dir) {
    return ossFileSetPermissions(dir.file("existing").c_str(), 0600) == 0;
}

bool allocate(const ScratchDir&) {
    void* block = nullptr;
    if (ossMemAlloc(&block, 64, "test") != 0) return false;
    return ossMemFree(&block, "test") == 0;
}

const Operation kOperations[] = {
    {"open a file", OSS_FAULT_OPEN, openFile},
    {"lock a file", OSS_FAULT_LOCK, lockFile},
    {"open a stream", OSS_FAULT_OPEN, openStream},
    {"create a stream", OSS_FAULT_OPEN, createStream},
    {"read", OSS_FAULT_READ, readStream},
    {"read a line", OSS_FAULT_READ, getsStream},
    {"write", OSS_FAULT_WRITE, writeStream},
    {"write a line", OSS_FAULT_WRITE, putsStream},
    {"sync", OSS_FAULT_SYNC, syncStream},
    {"close a stream", OSS_FAULT_CLOSE, closeStream},
    {"rename", OSS_FAULT_RENAME, renameFile},
    {"replace", OSS_FAULT_REPLACE, replaceFile},
    {"delete", OSS_FAULT_DELETE, deleteFile},
    {"create a directory", OSS_FAULT_MKDIR, makeDirectory},
    {"file information", OSS_FAULT_INFO, fileInfo},
    {"set permissions", OSS_FAULT_PERMISSIONS, setPermissions},
    {"allocate", OSS_FAULT_ALLOC, allocate},
};

class PlatformFaults : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeFile(dir_.file("existing"), "line\nmore\n"));
        ossFaultReset();
    }
    void TearDown() override { ossFaultDisarm(); }

    ScratchDir dir_;
};

}  // namespace

TEST_F(PlatformFaults, EveryKindFailsWhenArmedAndLeaksNothing) {
    for (const Operation& op : kOperations) {
        ossFaultReset();
        Balance before = resources();
        ASSERT_TRUE(op.run(dir_)) << op.name << " fails even without a fault";
        uint64_t calls = ossFaultCalls(op.kind);
        EXPECT_GE(calls, 1u) << op.name << " is not counted";
        expectSameResources(before, op.name);

        ossFaultArm(op.kind, 1, 0);
        EXPECT_FALSE(op.run(dir_)) << op.name << " ignores the armed fault";
        EXPECT_TRUE(ossFaultFired()) << op.name;
        expectSameResources(before, op.name);
        ossFaultDisarm();
        EXPECT_TRUE(op.run(dir_)) << op.name << " still fails after disarming";
    }
}

TEST_F(PlatformFaults, OnlyTheNthCallFails) {
    FILE* stream = ossStreamOpen(dir_.file("out").c_str(), "wb");
    ASSERT_NE(nullptr, stream);
    ossFaultArm(OSS_FAULT_WRITE, 3, 0);
    EXPECT_EQ(1u, ossStreamWrite("a", 1, 1, stream));
    EXPECT_EQ(1u, ossStreamWrite("b", 1, 1, stream));
    EXPECT_FALSE(ossFaultFired());
    EXPECT_EQ(0u, ossStreamWrite("c", 1, 1, stream));
    EXPECT_TRUE(ossFaultFired());
    EXPECT_EQ(1u, ossStreamWrite("d", 1, 1, stream));
    EXPECT_EQ(0, ossStreamClose(stream));
    EXPECT_EQ("abd", readFile(dir_.file("out")));
}

TEST_F(PlatformFaults, InjectedErrorsMapLikeRealOnes) {
    std::string path = dir_.file("f");
    OSSFileOpenParam param = openBlock(path, OSS_ACCESS_WRITE);
    OSSHFile file;
    ossFaultArm(OSS_FAULT_OPEN, 1, 0);
    EXPECT_EQ(OSS_RC_ACCESS_DENIED, file.open(&param)) << "default: access denied";
    ossFaultArm(OSS_FAULT_DELETE, 1, 0);
    EXPECT_EQ(OSS_RC_ACCESS_DENIED, ossFileDelete(dir_.file("existing").c_str()));
    EXPECT_TRUE(exists(dir_.file("existing")));
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    void* block = &block;
    EXPECT_EQ(OSS_RC_NO_MEMORY, ossMemAlloc(&block, 8, "test"));
    EXPECT_EQ(nullptr, block);
}

TEST_F(PlatformFaults, RefusedLockCanBeSimulated) {
    std::string path = dir_.file("f");
    OSSFileOpenParam param = openBlock(path, OSS_ACCESS_WRITE);
    OSSHFile file;
    ASSERT_EQ(0u, file.open(&param));
    uint32_t taken = ossPathSeparator() == '\\' ? 33u : (uint32_t)EWOULDBLOCK;
    ossFaultArm(OSS_FAULT_LOCK, 1, taken);
    OSSFileLockParam lock = {OSS_INTERFACE_VERSION, OSS_LOCK_EXCLUSIVE, OSS_LOCK_FAIL_AT_ONCE};
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, file.lock(&lock));
    EXPECT_EQ(0u, file.lock(&lock));
}

// A failed close still releases the stream and its descriptor.
TEST_F(PlatformFaults, FailedCloseStillReleasesTheStream) {
    Balance before = resources();
    OSSHFile file;
    std::string path = dir_.file("existing");
    OSSFileOpenParam param = openBlock(path, OSS_ACCESS_READ);
    ASSERT_EQ(0u, file.open(&param));
    OSSFileLockParam lock = {OSS_INTERFACE_VERSION, OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT};
    ASSERT_EQ(0u, file.lock(&lock));
    FILE* stream = ossFdOpen(ossOpenOsfHandle(file.getFileHandle(), 0), "rb");
    ASSERT_NE(nullptr, stream);
    file.release();
    ossFaultArm(OSS_FAULT_CLOSE, 1, 0);
    EXPECT_NE(0, ossStreamClose(stream));
    expectSameResources(before, "a failed close");
    OSSHFile other;
    ASSERT_EQ(0u, other.open(&param));
    lock.waitMode = OSS_LOCK_FAIL_AT_ONCE;
    EXPECT_EQ(0u, other.lock(&lock)) << "the lock outlived the failed close";
}

#endif
