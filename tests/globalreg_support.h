// Helpers of the global registry file tests: a scratch directory holding
// the file named by QVR_GLOBAL_REG_PATHNAME, and the file's records read
// and written byte by byte, independently of the store.
#ifndef GENREG_TESTS_GLOBALREG_SUPPORT_H
#define GENREG_TESTS_GLOBALREG_SUPPORT_H

#include <genreg/globalreg.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "globalrec_support.h"
#include "platform_support.h"

namespace globalreg_test {

using Bytes = std::vector<unsigned char>;

// The records of a binary file: 4-byte little-endian length, then bytes.
inline std::string fileOf(const std::vector<Bytes>& records) {
    std::string file;
    for (const Bytes& r : records) {
        for (unsigned i = 0; i < 4; ++i)
            file.push_back((char)(r.size() >> (8 * i)));
        file.append(r.begin(), r.end());
    }
    return file;
}

// The records of the file at path; fails the test on a malformed file.
inline std::vector<Bytes> recordsOf(const std::string& path) {
    const std::string file = platform_test::readFile(path);
    std::vector<Bytes> records;
    size_t offset = 0;
    while (offset < file.size()) {
        EXPECT_LE(offset + 4, file.size());
        if (offset + 4 > file.size()) break;
        size_t length = 0;
        for (unsigned i = 0; i < 4; ++i)
            length |= (size_t)(unsigned char)file[offset + i] << (8 * i);
        offset += 4;
        EXPECT_LE(offset + length, file.size());
        if (offset + length > file.size()) break;
        records.emplace_back(file.begin() + (long)offset, file.begin() + (long)(offset + length));
        offset += length;
    }
    return records;
}

// The entry of bit (its 2-byte length and its bytes) in a stored record of
// type 1, 2 or 4, found by walking the entries; empty when absent.
inline std::string entryOf(const Bytes& stored, uint64_t bit) {
    uint64_t mask = 0;
    for (unsigned i = 0; i < 8; ++i)
        mask |= (uint64_t)stored[4 + i] << (8 * i);
    size_t offset = 20;
    for (uint64_t b = 1; b != 0 && b <= 0x4000000000000000ULL; b <<= 1) {
        if ((mask & b) == 0) continue;
        const size_t length = stored[offset] | (size_t)stored[offset + 1] << 8;
        if (b == bit)
            return std::string(stored.begin() + (long)offset,
                               stored.begin() + (long)(offset + 2 + length));
        offset += 2 + length;
    }
    return std::string();
}

// A scratch directory whose global.reg the handles of the test use,
// through QVR_GLOBAL_REG_PATHNAME.
class GlobalRegFile {
public:
    GlobalRegFile() : env_("QVR_GLOBAL_REG_PATHNAME", dir_.file("global.reg").c_str()) {}
    std::string path() const { return dir_.file("global.reg"); }
    const platform_test::ScratchDir& dir() const { return dir_; }
    std::string bytes() const { return platform_test::readFile(path()); }
    void write(const std::vector<Bytes>& records) const {
        ASSERT_TRUE(platform_test::writeFile(path(), fileOf(records)));
    }

private:
    platform_test::ScratchDir dir_;
    globalrec_test::ScopedEnv env_;
};

}  // namespace globalreg_test

#endif
