// Following a registry file name that is a symbolic link (see file_link.h).
#include "file_link.h"

#include <filesystem>

namespace {

// As the operating system would: a longer chain is taken as a loop.
const int kMostLinks = 40;

}  // namespace

std::string linkTargetPath(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path current(path);
    for (int hops = 0; hops < kMostLinks; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error)))
            return hops == 0 ? path : current.string();
        fs::path target = fs::read_symlink(current, error);
        if (error) return path;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return path;
}
