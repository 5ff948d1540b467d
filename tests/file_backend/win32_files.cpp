// Windows side of tests/nonregular_files.h. Files there have no POSIX owner
// that an update could lose, so the ownership cases do not arise.
#include "../nonregular_files.h"

namespace special_test {

// The device name is reserved in every directory: opening it opens the
// device, which is no disk file.
std::string SpecialFileIn(const std::string& directory) {
    return directory + "\\NUL";
}

bool MayChangeOwners() {
    return false;
}

bool OwnerOf(const std::string&, uint32_t*, uint32_t*) {
    return false;
}

bool GiveTo(const std::string&, uint32_t, uint32_t) {
    return false;
}

}  // namespace special_test
