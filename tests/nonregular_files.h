// Things at a registry file's names that are not ordinary files, and file
// ownership, for the tests of the file protocol's edges. One backend per
// platform (tests/file_backend/).
#ifndef GENREG_TESTS_NONREGULAR_FILES_H
#define GENREG_TESTS_NONREGULAR_FILES_H

#include <cstdint>
#include <string>

namespace special_test {

// The path of something inside directory that is not a regular file and
// that an ordinary open could block on or read forever: a FIFO on POSIX, the
// NUL device name on Windows. Empty when none can be made.
std::string SpecialFileIn(const std::string& directory);

// True when the tests run with the right to give files away (root).
bool MayChangeOwners();
// Owner and group of path (not following a link); false when unknown.
bool OwnerOf(const std::string& path, uint32_t* user, uint32_t* group);
// Gives path to user and group; false when refused.
bool GiveTo(const std::string& path, uint32_t user, uint32_t group);

}  // namespace special_test

#endif
