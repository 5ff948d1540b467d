// POSIX side of tests/nonregular_files.h.
#include <sys/stat.h>
#include <unistd.h>

#include "../nonregular_files.h"

namespace special_test {

std::string SpecialFileIn(const std::string& directory) {
    std::string path = directory + "/fifo";
    return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
}

bool MayChangeOwners() {
    return ::geteuid() == 0;
}

bool OwnerOf(const std::string& path, uint32_t* user, uint32_t* group) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return false;
    *user = (uint32_t)info.st_uid;
    *group = (uint32_t)info.st_gid;
    return true;
}

bool GiveTo(const std::string& path, uint32_t user, uint32_t group) {
    return ::lchown(path.c_str(), (uid_t)user, (gid_t)group) == 0;
}

}  // namespace special_test
