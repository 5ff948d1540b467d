// OS file locks through OSSHFile: between handles of one process and
// between processes (children run PlatformLockChild.Run of this binary).
#include <gtest/gtest.h>

#include <string>

#include "platform/oss.h"
#include "platform/process.h"
#include "platform_support.h"

using namespace platform_test;

namespace {

// The block points into path, which must outlive it (no temporaries).
OSSFileOpenParam openBlock(const std::string& path, uint32_t access) {
    return OSSFileOpenParam{OSS_INTERFACE_VERSION, path.c_str(), 2, access, 0, 0600};
}

unsigned lockFile(OSSHFile* file, uint32_t kind, uint32_t waitMode) {
    OSSFileLockParam param = {OSS_INTERFACE_VERSION, kind, waitMode};
    return file->lock(&param);
}

// Opens path for the access a lock kind needs and locks it.
unsigned openAndLock(OSSHFile* file, const std::string& path, uint32_t kind, uint32_t waitMode) {
    OSSFileOpenParam param =
        openBlock(path, kind == OSS_LOCK_EXCLUSIVE ? OSS_ACCESS_WRITE : OSS_ACCESS_READ);
    unsigned rc = file->open(&param);
    return rc ? rc : lockFile(file, kind, waitMode);
}

struct HolderRole {
    const char* role;
    uint32_t kind;
};
const HolderRole kHolderRoles[] = {{"exclusive-holder", OSS_LOCK_EXCLUSIVE},
                                   {"shared-holder", OSS_LOCK_SHARED}};

}  // namespace

// The child side. A holder locks dir/lock, announces it with dir/ready and
// keeps the lock until dir/release appears (or until it is killed). The
// waiter announces dir/waiting, then waits for the lock, which the parent
// gives up only after creating dir/released.
TEST(PlatformLockChild, Run) {
    std::string role = childRole();
    if (role.empty()) GTEST_SKIP() << "runs only as a child of the lock tests";
    std::string dir = childDir();
    std::string sep(1, ossPathSeparator());
    OSSHFile file;
    for (const HolderRole& holder : kHolderRoles) {
        if (role != holder.role) continue;
        ASSERT_EQ(0u, openAndLock(&file, dir + sep + "lock", holder.kind, OSS_LOCK_FAIL_AT_ONCE));
        ASSERT_TRUE(writeFile(dir + sep + "ready", "1"));
        ASSERT_TRUE(waitForFile(dir + sep + "release"));
        return;
    }
    ASSERT_EQ("waiter", role);
    ASSERT_TRUE(writeFile(dir + sep + "waiting", "1"));
    ASSERT_EQ(0u, openAndLock(&file, dir + sep + "lock", OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT));
    EXPECT_TRUE(exists(dir + sep + "released")) << "the lock was granted while still held";
}

class PlatformLocks : public testing::Test {
protected:
    // Starts a holder child and waits until it holds the lock.
    void startHolder(const char* role) {
        ASSERT_EQ(0u, spawnChild("PlatformLockChild.Run", role, dir_.path(), &child_));
        ASSERT_TRUE(waitForFile(dir_.file("ready")));
    }
    // Lets the holder go and checks that it ended well.
    void finishHolder() {
        ASSERT_TRUE(writeFile(dir_.file("release"), "1"));
        int exitCode = -1;
        ASSERT_EQ(0u, ossProcessWait(&child_, &exitCode));
        EXPECT_EQ(0, exitCode);
    }
    // What a fresh handle of this process gets in fail-at-once mode.
    unsigned tryLock(uint32_t kind) {
        OSSHFile file;
        return openAndLock(&file, dir_.file("lock"), kind, OSS_LOCK_FAIL_AT_ONCE);
    }

    ScratchDir dir_;
    OSSProcess child_ = {0, -1};
};

TEST_F(PlatformLocks, ExclusiveLockOfAnotherProcessExcludesBothKinds) {
    startHolder("exclusive-holder");
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_EXCLUSIVE));
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_SHARED));
    finishHolder();
    EXPECT_EQ(0u, tryLock(OSS_LOCK_EXCLUSIVE));
}

TEST_F(PlatformLocks, SharedLocksOfTwoProcessesCoexistButExcludeExclusive) {
    startHolder("shared-holder");
    EXPECT_EQ(0u, tryLock(OSS_LOCK_SHARED));
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_EXCLUSIVE));
    finishHolder();
}

TEST_F(PlatformLocks, WaitingLockIsGrantedOnlyAfterTheHolderReleases) {
    OSSHFile held;
    ASSERT_EQ(0u, openAndLock(&held, dir_.file("lock"), OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT));
    ASSERT_EQ(0u, spawnChild("PlatformLockChild.Run", "waiter", dir_.path(), &child_));
    ASSERT_TRUE(waitForFile(dir_.file("waiting")));
    ASSERT_TRUE(writeFile(dir_.file("released"), "1"));
    ASSERT_EQ(0u, held.unlock());
    int exitCode = -1;
    ASSERT_EQ(0u, ossProcessWait(&child_, &exitCode));
    EXPECT_EQ(0, exitCode);
}

TEST_F(PlatformLocks, LockEndsWhenItsProcessIsKilled) {
    startHolder("exclusive-holder");
    ASSERT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_EXCLUSIVE));
    ASSERT_EQ(0u, ossProcessKill(&child_));
    int exitCode = 0;
    ASSERT_EQ(0u, ossProcessWait(&child_, &exitCode));
    EXPECT_NE(0, exitCode);
    EXPECT_EQ(0u, tryLock(OSS_LOCK_EXCLUSIVE));
}

TEST_F(PlatformLocks, TwoHandlesOfOneProcessExcludeEachOther) {
    OSSHFile first;
    ASSERT_EQ(0u, openAndLock(&first, dir_.file("lock"), OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT));
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_EXCLUSIVE));
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_SHARED));
    ASSERT_EQ(0u, first.unlock());
    EXPECT_EQ(0u, tryLock(OSS_LOCK_EXCLUSIVE));
}

TEST_F(PlatformLocks, SharedLocksOfTwoHandlesCoexist) {
    OSSHFile first;
    ASSERT_EQ(0u, openAndLock(&first, dir_.file("lock"), OSS_LOCK_SHARED, OSS_LOCK_WAIT));
    EXPECT_EQ(0u, tryLock(OSS_LOCK_SHARED));
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_EXCLUSIVE));
}

// Closing another descriptor of the same file must not end the lock (it
// would with classic record locks).
TEST_F(PlatformLocks, ClosingAnotherHandleOfTheFileKeepsTheLock) {
    OSSHFile holder;
    ASSERT_EQ(0u, openAndLock(&holder, dir_.file("lock"), OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT));
    {
        OSSHFile other;
        std::string path = dir_.file("lock");
        OSSFileOpenParam param = openBlock(path, OSS_ACCESS_READ);
        ASSERT_EQ(0u, other.open(&param));
        ASSERT_EQ(0u, other.close());
    }
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_EXCLUSIVE));
}

// The lock stays while a stream owns the handle and ends with the stream.
TEST_F(PlatformLocks, LockHandedToAStreamLastsUntilTheStreamCloses) {
    OSSHFile file;
    ASSERT_EQ(0u, openAndLock(&file, dir_.file("lock"), OSS_LOCK_SHARED, OSS_LOCK_WAIT));
    int fd = ossOpenOsfHandle(file.getFileHandle(), 0);
    ASSERT_NE(-1, fd);
    FILE* stream = ossFdOpen(fd, "rb");
    ASSERT_NE(nullptr, stream);
    file.release();
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(-1, file.getFileHandle());
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_EXCLUSIVE));
    EXPECT_EQ(0, ossStreamClose(stream));
    EXPECT_EQ(0u, tryLock(OSS_LOCK_EXCLUSIVE));
}

TEST_F(PlatformLocks, CloseEndsTheLockAndIsHarmlessTwice) {
    OSSHFile file;
    ASSERT_EQ(0u, openAndLock(&file, dir_.file("lock"), OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT));
    EXPECT_EQ(0u, file.close());
    EXPECT_EQ(0u, file.close());
    EXPECT_EQ(0u, tryLock(OSS_LOCK_EXCLUSIVE));
}

TEST_F(PlatformLocks, BadBlocksAreRefused) {
    OSSHFile file;
    std::string path = dir_.file("f");
    OSSFileOpenParam wrongVersion = openBlock(path, OSS_ACCESS_READ);
    wrongVersion.version = 0;
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, file.open(&wrongVersion));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, file.open(nullptr));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, lockFile(&file, OSS_LOCK_EXCLUSIVE, OSS_LOCK_WAIT))
        << "locking a closed handle";
    OSSFileOpenParam good = openBlock(path, OSS_ACCESS_READ);
    ASSERT_EQ(0u, file.open(&good));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, file.open(&good)) << "opening an open handle";
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, lockFile(&file, 3, OSS_LOCK_WAIT));
    EXPECT_EQ(OSS_RC_BAD_ARGUMENT, lockFile(&file, OSS_LOCK_SHARED, 0));
}

TEST_F(PlatformLocks, HeldLockChangesItsKind) {
    OSSHFile file;
    std::string path = dir_.file("lock");
    OSSFileOpenParam param = openBlock(path, OSS_ACCESS_READ | OSS_ACCESS_WRITE);
    ASSERT_EQ(0u, file.open(&param));
    ASSERT_EQ(0u, lockFile(&file, OSS_LOCK_SHARED, OSS_LOCK_FAIL_AT_ONCE));
    EXPECT_EQ(0u, tryLock(OSS_LOCK_SHARED));
    ASSERT_EQ(0u, lockFile(&file, OSS_LOCK_EXCLUSIVE, OSS_LOCK_FAIL_AT_ONCE));
    EXPECT_EQ(OSS_RC_LOCK_NOT_AVAILABLE, tryLock(OSS_LOCK_SHARED));
    ASSERT_EQ(0u, lockFile(&file, OSS_LOCK_SHARED, OSS_LOCK_FAIL_AT_ONCE));
    EXPECT_EQ(0u, tryLock(OSS_LOCK_SHARED));
    EXPECT_EQ(0u, file.unlock());
    EXPECT_EQ(0u, file.unlock()) << "unlocking an unlocked handle is harmless";
}
