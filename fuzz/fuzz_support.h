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

#endif
