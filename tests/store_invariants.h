// Checks of a registry file's on-disk state for update tests: which
// companion files exist, what the file holds, that a handle holds nothing
// and that nothing leaked. The invariants I1..I8 they check are written
// down in genreg/transaction.cpp.
//
//   store_test::TestDir dir;
//   MyStore store(dir.file("reg").c_str(), &rc);
//   ASSERT_TRUE(store_test::WriteFileBytes(store.filePath, "old"));
//   store_test::ResourceBalance balance;
//   ... an update ...
//   EXPECT_TRUE(store_test::IsCommitted(store, "new"));    // or IsUntouched
//   EXPECT_TRUE(store_test::HandleIsIdle(store));
//   EXPECT_TRUE(balance.Unchanged());
//
// Each check returns a testing::AssertionResult whose message names what
// differs, so a failing EXPECT_TRUE says which file was wrong and how.
#ifndef GENREG_TESTS_STORE_INVARIANTS_H
#define GENREG_TESTS_STORE_INVARIANTS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <genreg/handle.h>
#include "platform/fault.h"
#include "platform/oss.h"
#include "platform_support.h"

namespace store_test {

// A directory of its own for the running test, removed with its content
// (also when a test left it or something in it read-only).
class TestDir : public platform_test::ScratchDir {
public:
    TestDir() = default;
    ~TestDir();
};

// Whole-file helpers working in binary mode (no line-end translation).
inline bool WriteFileBytes(const std::string& path, const std::string& content) {
    return platform_test::writeFile(path, content);
}
inline std::string ReadFileBytes(const std::string& path) {
    return platform_test::readFile(path);
}
// Writes content through a text-mode stream: each "\n" becomes the
// platform's line end ("\r\n" on Windows), as a text store writes it.
bool WriteTextFile(const std::string& path, const std::string& content);
// True when anything has the name: a file, a directory, a link (even a
// dangling one).
bool PathExists(const std::string& path);
bool MakeDirectory(const std::string& path);
// Makes a directory read-only for its owner. False (and the directory
// writable again) when permissions do not bind this user, as for root:
// the test should then skip. MakeWritable undoes it.
bool MakeReadOnly(const std::string& directory);
void MakeWritable(const std::string& directory);
// Plants a symbolic link at linkPath pointing to target; false where the
// system or the user cannot make links (then the test should skip).
bool PlantLink(const std::string& linkPath, const std::string& target);
// Gives target a second name, linkPath (a hard link); false where the file
// system cannot (then the test should skip).
bool PlantHardLink(const std::string& linkPath, const std::string& target);

// Which of a registry file's names exist (as anything: file, directory,
// link).
struct Companions {
    bool file = false;     // filePath
    bool temp = false;     // tempPath, the copy
    bool corrupt = false;  // corruptPath, the marker
    bool backup = false;   // backupPath
    bool lock = false;     // lockPath
};
Companions CompanionsOf(const GenRegFile& handle);
std::string Describe(const Companions& companions);
testing::AssertionResult HasCompanions(const GenRegFile& handle, const Companions& expected);

testing::AssertionResult FileHolds(const std::string& path, const std::string& content);
// A reader racing an update must see the whole old or the whole new content.
testing::AssertionResult FileHoldsOneOf(const std::string& path, const std::string& before,
                                        const std::string& after);

// A committed update: the file holds content, and neither copy, backup nor
// lock file is left. The marker is not looked at.
testing::AssertionResult IsCommitted(const GenRegFile& handle, const std::string& content);
// A failed update: the file still holds before and no backup is left; a
// copy or marker may exist.
testing::AssertionResult IsUntouched(const GenRegFile& handle, const std::string& before);
// The handle holds no stream, no lock and no scan.
testing::AssertionResult HandleIsIdle(const GenRegFile& handle);

// The committed form of a checksummed binary file holding records: empty
// for no records, else the 32-byte header ("%d" of the checksum, NUL,
// zeros) followed by the records.
std::string ChecksummedForm(const std::string& records);

// Balance of the platform's resource counters (handles, streams, locks,
// memory blocks) between construction and Unchanged().
class ResourceBalance {
public:
    ResourceBalance();
    testing::AssertionResult Unchanged() const;

private:
    int64_t start_[OSS_RESOURCE_KIND_COUNT];
};

// Captures the log entries made while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    struct Entry {
        uint32_t functionId;
        uint32_t probe;
        unsigned calledRc;
        unsigned rc;
        unsigned severity;
        std::string data;
    };
    const std::vector<Entry>& entries() const { return entries_; }
    // Number of entries that report rc.
    size_t Count(unsigned rc) const;

private:
    static void Sink(const OSSLogEntry* entry, void* context);
    std::vector<Entry> entries_;
};

}  // namespace store_test

#endif
