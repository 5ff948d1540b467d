#include "store_invariants.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "genreg/transaction.h"

namespace store_test {

namespace fs = std::filesystem;

TestDir::~TestDir() {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(path(), ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
}

bool WriteTextFile(const std::string& path, const std::string& content) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    bool ok = std::fputs(content.c_str(), f) >= 0;
    return std::fclose(f) == 0 && ok;
}

bool PathExists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

bool MakeDirectory(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
    return !error;
}

bool MakeReadOnly(const std::string& directory) {
    std::error_code ignored;
    fs::permissions(directory, fs::perms::owner_read | fs::perms::owner_exec, ignored);
    std::string probe = directory + ossPathSeparator() + ".probe";
    if (!WriteFileBytes(probe, "x")) return true;
    fs::remove(probe, ignored);
    MakeWritable(directory);
    return false;
}

void MakeWritable(const std::string& directory) {
    std::error_code ignored;
    fs::permissions(directory, fs::perms::owner_all, ignored);
}

bool PlantLink(const std::string& linkPath, const std::string& target) {
    std::error_code error;
    fs::create_symlink(target, linkPath, error);
    return !error;
}

bool PlantHardLink(const std::string& linkPath, const std::string& target) {
    std::error_code error;
    fs::create_hard_link(target, linkPath, error);
    return !error;
}

Companions CompanionsOf(const GenRegFile& handle) {
    Companions c;
    c.file = PathExists(handle.filePath);
    c.temp = PathExists(handle.tempPath);
    c.corrupt = PathExists(handle.corruptPath);
    c.backup = PathExists(handle.backupPath);
    c.lock = PathExists(handle.lockPath);
    return c;
}

std::string Describe(const Companions& c) {
    std::string text;
    text += c.file ? "file" : "-file";
    text += c.temp ? " tmp" : " -tmp";
    text += c.corrupt ? " cor" : " -cor";
    text += c.backup ? " bkp" : " -bkp";
    text += c.lock ? " lock" : " -lock";
    return text;
}

testing::AssertionResult HasCompanions(const GenRegFile& handle, const Companions& expected) {
    Companions actual = CompanionsOf(handle);
    if (Describe(actual) == Describe(expected)) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "names present: " << Describe(actual) << ", expected: " << Describe(expected);
}

namespace {

// bytes with control characters escaped, cut after 120 of them.
std::string Printable(const std::string& bytes) {
    const size_t kShown = 120;
    std::string out;
    for (unsigned char c : bytes.substr(0, kShown)) {
        if (c >= 0x20 && c < 0x7f) {
            out += (char)c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    if (bytes.size() > kShown) out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

}  // namespace

testing::AssertionResult FileHolds(const std::string& path, const std::string& content) {
    if (!PathExists(path)) return testing::AssertionFailure() << path << " does not exist";
    std::string actual = ReadFileBytes(path);
    if (actual == content) return testing::AssertionSuccess();
    return testing::AssertionFailure() << path << " holds \"" << Printable(actual)
                                       << "\", expected \"" << Printable(content) << "\"";
}

testing::AssertionResult FileHoldsOneOf(const std::string& path, const std::string& before,
                                        const std::string& after) {
    if (!PathExists(path)) return testing::AssertionFailure() << path << " does not exist";
    std::string actual = ReadFileBytes(path);
    if (actual == before || actual == after) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << path << " holds \"" << Printable(actual) << "\", neither \"" << Printable(before)
           << "\" nor \"" << Printable(after) << "\"";
}

testing::AssertionResult IsCommitted(const GenRegFile& handle, const std::string& content) {
    testing::AssertionResult holds = FileHolds(handle.filePath, content);
    if (!holds) return holds;
    Companions c = CompanionsOf(handle);
    if (c.temp || c.backup || c.lock)
        return testing::AssertionFailure() << "left after commit: " << Describe(c);
    return testing::AssertionSuccess();
}

testing::AssertionResult IsUntouched(const GenRegFile& handle, const std::string& before) {
    testing::AssertionResult holds = FileHolds(handle.filePath, before);
    if (!holds) return holds;
    if (PathExists(handle.backupPath))
        return testing::AssertionFailure() << "backup left: " << handle.backupPath;
    return testing::AssertionSuccess();
}

testing::AssertionResult HandleIsIdle(const GenRegFile& handle) {
    if (handle.stream || handle.tempStream)
        return testing::AssertionFailure() << "stream open: " << (handle.stream != nullptr)
                                           << ", copy open: " << (handle.tempStream != nullptr);
    uint64_t busy = GENREG_STATE_LOCK_HELD | GENREG_STATE_SCAN_OPEN | GENREG_STATE_SCAN_AT_END;
    if (handle.state & busy)
        return testing::AssertionFailure() << "state 0x" << std::hex << handle.state;
    return testing::AssertionSuccess();
}

std::string ChecksummedForm(const std::string& records) {
    if (records.empty()) return records;
    char header[GENREG_CHECKSUM_HEADER_SIZE] = {};
    std::snprintf(header, sizeof header, "%d",
                  (int)ComputeChecksum(records.data(), records.size()));
    return std::string(header, sizeof header) + records;
}

ResourceBalance::ResourceBalance() {
    for (uint32_t k = 0; k < OSS_RESOURCE_KIND_COUNT; ++k)
        start_[k] = ossResourceCount((OSSResourceKind)k);
}

testing::AssertionResult ResourceBalance::Unchanged() const {
    static const char* const kNames[] = {"handles", "streams", "locks", "memory blocks"};
    for (uint32_t k = 0; k < OSS_RESOURCE_KIND_COUNT; ++k) {
        int64_t now = ossResourceCount((OSSResourceKind)k);
        if (now != start_[k])
            return testing::AssertionFailure()
                   << (k < 4 ? kNames[k] : "resources") << ": " << start_[k] << " -> " << now;
    }
    return testing::AssertionSuccess();
}

LogCapture::LogCapture() {
    ossLogSetSink(&LogCapture::Sink, this);
}

LogCapture::~LogCapture() {
    ossLogSetSink(nullptr, nullptr);
}

void LogCapture::Sink(const OSSLogEntry* entry, void* context) {
    LogCapture* self = static_cast<LogCapture*>(context);
    self->entries_.push_back({entry->functionId, entry->probe, entry->calledRc, entry->rc,
                              entry->severity, entry->data ? entry->data : ""});
}

size_t LogCapture::Count(unsigned rc) const {
    size_t n = 0;
    for (const Entry& e : entries_)
        if (e.rc == rc) ++n;
    return n;
}

}  // namespace store_test
