// Helpers for the tests of text lines, the text store and the text
// schemas: streams over given bytes, and line records built from text.
#ifndef GENREG_TESTS_TEXT_SUPPORT_H
#define GENREG_TESTS_TEXT_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "genreg/textline.h"
#include "platform_support.h"

namespace text_test {

using platform_test::exists;
using platform_test::readFile;
using platform_test::ScratchDir;
using platform_test::writeFile;

// A file holding bytes, opened for reading in binary mode; closed and
// removed with the object.
class ByteStream {
public:
    ByteStream(const ScratchDir& dir, const std::string& bytes, const char* mode = "rb") {
        static int counter = 0;
        path_ = dir.file("stream" + std::to_string(++counter));
        EXPECT_TRUE(writeFile(path_, bytes));
        stream_ = std::fopen(path_.c_str(), mode);
        EXPECT_NE(nullptr, stream_);
    }
    ~ByteStream() {
        if (stream_) std::fclose(stream_);
    }
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;
    FILE* get() const { return stream_; }

private:
    std::string path_;
    FILE* stream_ = nullptr;
};

// One logical line as GenRegReadLine returned it.
struct ReadResult {
    std::string raw;
    std::string line;
    unsigned rc;
};

// Reads every logical line of bytes with the exported reader and buffers of
// size; the last entry is the call that returned null.
inline std::vector<ReadResult> readAll(const ScratchDir& dir, const std::string& bytes, bool join,
                                       size_t size = GENREG_LINE_MAX) {
    std::vector<ReadResult> lines;
    ByteStream stream(dir, bytes);
    std::vector<char> raw(size), line(size);
    for (int guard = 0; guard < 10000; ++guard) {
        unsigned rc = 12345;
        char* got = GenRegReadLine(raw.data(), line.data(), size, stream.get(), &rc, join);
        if (got == nullptr) {
            lines.push_back({"", "", rc});
            break;
        }
        EXPECT_EQ(raw.data(), got);
        lines.push_back({raw.data(), line.data(), rc});
    }
    return lines;
}

}  // namespace text_test

#endif
