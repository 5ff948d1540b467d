// Helpers shared by the platform tests: a private scratch directory per
// test, small file utilities, and child processes that run one test of
// this binary in a given role.
#ifndef GENREG_TESTS_PLATFORM_SUPPORT_H
#define GENREG_TESTS_PLATFORM_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/oss.h"
#include "platform/oss_sys.h"
#include "platform/process.h"

namespace platform_test {

// A directory of its own for the running test, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        static int counter = 0;
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("genreg-") + (info ? info->name() : "test") + "-" +
                           std::to_string(ossSysProcessId()) + "-" + std::to_string(++counter);
        path_ = (std::filesystem::temp_directory_path() / name).string();
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    // path of a name inside the directory, with the platform's separator.
    std::string file(const std::string& name) const { return path_ + ossPathSeparator() + name; }

private:
    std::string path_;
};

inline bool writeFile(const std::string& path, const std::string& content) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string readFile(const std::string& path) {
    std::string content;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return content;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        content.append(buffer, got);
    std::fclose(f);
    return content;
}

inline bool exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// Waits until path exists; false after about a minute (a hung or dead
// child), so a broken test fails instead of hanging the suite.
inline bool waitForFile(const std::string& path) {
    for (int i = 0; i < 12000; ++i) {
        if (exists(path)) return true;
        ossSleepMs(5);
    }
    return false;
}

// Environment variables through which a parent test tells a child test of
// the same binary what to do.
constexpr const char* kRoleVariable = "GENREG_PLATFORM_CHILD";
constexpr const char* kDirVariable = "GENREG_PLATFORM_DIR";

// The role this process was started in, or "" in a normal test run.
inline std::string childRole() {
    const char* role = std::getenv(kRoleVariable);
    return role ? role : "";
}
inline std::string childDir() {
    const char* dir = std::getenv(kDirVariable);
    return dir ? dir : "";
}

// Runs test (a "Suite.Name" of this binary) in a child with role and dir.
inline unsigned spawnChild(const std::string& test, const std::string& role, const std::string& dir,
                           OSSProcess* child) {
    std::string filter = "--gtest_filter=" + test;
    std::string roleEntry = std::string(kRoleVariable) + "=" + role;
    std::string dirEntry = std::string(kDirVariable) + "=" + dir;
    const char* args[] = {filter.c_str()};
    const char* env[] = {roleEntry.c_str(), dirEntry.c_str()};
    return ossProcessSpawnSelf(args, 1, env, 2, child);
}

}  // namespace platform_test

#endif
