// Minimal stores and helpers for the file transaction and scan cursor
// tests: handles with paths and no record callbacks (a transaction never
// calls them), whole-stream reads and writes, and one complete update.
#ifndef GENREG_TESTS_TXN_SUPPORT_H
#define GENREG_TESTS_TXN_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <genreg/handle.h>
#include <genreg/rc.h>
#include "genreg/handle_internal.h"
#include "genreg/trace.h"
#include "genreg/transaction.h"
#include "platform/fault.h"
#include "platform/oss.h"
#include "platform/process.h"
#include "store_invariants.h"

namespace txn_test {

// A text store on path; pathRc is GenRegDerivePaths' result.
struct TextStore : GenRegText {
    explicit TextStore(const std::string& path) {
        pathRc = GenRegDerivePaths(this, path.c_str(), GENREG_FID(0xFFF0));
    }
    unsigned pathRc;
};

// A binary store on path.
struct BinStore : GenRegBin {
    explicit BinStore(const std::string& path) {
        pathRc = GenRegDerivePaths(this, path.c_str(), GENREG_FID(0xFFF1));
    }
    unsigned pathRc;
};

// A text store whose constructor never set the paths (as after a failed
// schema constructor).
struct UnsetStore : GenRegText {};

// The rest of stream from its position.
inline std::string ReadRest(FILE* stream) {
    std::string content;
    char buffer[4096];
    size_t got;
    while ((got = ossStreamRead(buffer, 1, sizeof buffer, stream)) > 0)
        content.append(buffer, got);
    return content;
}

inline bool WriteAll(FILE* stream, const std::string& bytes) {
    return ossStreamWrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

// One complete update as a store runs it: lock, begin, read the file,
// write replacement to the copy, end (and the verification pass when the
// handle verifies), release. *before receives what the transaction read.
// The first failure is returned; clean-up always runs.
inline unsigned RunUpdate(GenRegFile* handle, unsigned type, const std::string& replacement,
                          std::string* before = nullptr) {
    unsigned rc = AcquireUpdateLock(handle, GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_WAIT);
    if (rc != 0) return rc;
    rc = BeginTransaction(handle, type);
    if (rc == 0) {
        std::string read = ReadRest(handle->stream);
        if (before) *before = read;
        if (!WriteAll(handle->tempStream ? handle->tempStream : handle->stream, replacement))
            rc = GENREG_RC_COPY_FAILED;
    }
    unsigned endRc = EndTransaction(handle, rc == 0 ? type : (unsigned)GENREG_TXN_READ);
    if (rc == 0) rc = endRc;
    if (rc == 0 && (handle->features & GENREG_FEATURE_VERIFY)) {
        rc = BeginTransaction(handle, GENREG_TXN_VERIFY);
        endRc = EndTransaction(handle, rc == 0 ? GENREG_TXN_VERIFY : (unsigned)GENREG_TXN_READ);
        if (rc == 0) rc = endRc;
    }
    unsigned releaseRc = ReleaseUpdateLock(handle);
    if (rc == 0) rc = releaseRc;
    return rc;
}

// A lookup: begin a read transaction, read everything, end it.
inline unsigned RunRead(GenRegFile* handle, std::string* content) {
    unsigned rc = BeginTransaction(handle, GENREG_TXN_READ);
    if (rc == 0) *content = ReadRest(handle->stream);
    unsigned endRc = EndTransaction(handle, GENREG_TXN_READ);
    return rc != 0 ? rc : endRc;
}

// ---- child processes -------------------------------------------------------

// Environment through which a test tells a copy of this binary, started on
// one of its child tests, what to do and where.
constexpr const char* kRoleVariable = "GENREG_TXN_CHILD";
constexpr const char* kDirVariable = "GENREG_TXN_DIR";

inline std::string ChildRole() {
    const char* role = std::getenv(kRoleVariable);
    return role ? role : "";
}
inline std::string ChildDir() {
    const char* dir = std::getenv(kDirVariable);
    return dir ? dir : "";
}

// Runs test ("Suite.Name") of this binary in a child with role and dir.
inline unsigned SpawnChild(const std::string& test, const std::string& role, const std::string& dir,
                           OSSProcess* child) {
    std::string filter = "--gtest_filter=" + test;
    std::string roleEntry = std::string(kRoleVariable) + "=" + role;
    std::string dirEntry = std::string(kDirVariable) + "=" + dir;
    const char* args[] = {filter.c_str()};
    const char* env[] = {roleEntry.c_str(), dirEntry.c_str()};
    return ossProcessSpawnSelf(args, 1, env, 2, child);
}

// Waits until path exists; false after about two minutes (a hung or dead
// peer), so that a broken test fails instead of hanging the suite.
inline bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 24000; ++i) {
        if (store_test::PathExists(path)) return true;
        ossSleepMs(5);
    }
    return false;
}

}  // namespace txn_test

#endif
