// Small helpers shared by the fuzz targets.
#ifndef GENREG_FUZZ_SUPPORT_H
#define GENREG_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

// A property of the code under test failed: abort, so the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// The input as a file on disk, removed when the object goes: the readers
// take the size of a stream's file, which an in-memory stream lacks.
class FuzzFile {
public:
    FuzzFile(const uint8_t* data, size_t size) {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/genreg-fuzz-XXXXXX";
        int fd = mkstemp(&path_[0]);
        if (fd < 0) std::abort();
        size_t done = 0;
        while (done < size) {
            ssize_t n = write(fd, data + done, size - done);
            if (n <= 0) std::abort();
            done += (size_t)n;
        }
        close(fd);
    }
    ~FuzzFile() { unlink(path_.c_str()); }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

// The whole content of the file at path ("" when it cannot be read).
inline std::string FuzzReadAll(const char* path) {
    std::string bytes;
    FILE* stream = std::fopen(path, "rb");
    if (!stream) return bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        bytes.append(buffer, n);
    std::fclose(stream);
    return bytes;
}

inline bool FuzzExists(const char* path) {
    return access(path, F_OK) == 0;
}

// A word of 1 to 4 letters and digits after prefix, chosen by one byte.
inline std::string FuzzWord(uint8_t byte, const char* prefix) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string word = prefix;
    for (unsigned k = 0; k <= (byte & 3u); ++k)
        word += kAlphabet[((byte >> 2) + k) % 36];
    return word;
}

#endif
