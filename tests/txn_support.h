// Minimal stores and helpers for the file transaction and scan cursor
// tests: handles with paths and no record callbacks (a transaction never
// calls them), whole-stream reads and writes, and one complete update.
#ifndef GENREG_TESTS_TXN_SUPPORT_H
#define GENREG_TESTS_TXN_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include <genreg/handle.h>
#include <genreg/rc.h>
#include "genreg/handle_internal.h"
#include "genreg/trace.h"
#include "genreg/transaction.h"
#include "platform/fault.h"
#include "platform/oss.h"
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

// Child processes run one test of this binary in a role (see
// platform_support.h): platform_test::spawnChild, childRole, childDir,
// waitForFile.

}  // namespace txn_test

#endif
