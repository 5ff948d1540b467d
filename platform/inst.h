// The installation library's level query: which product version and
// level number are running on this machine.
//
// The library carries the level it was built for. Two environment
// variables override it, so that tests, installers and users can state
// the running level:
//   GENREG_LEVEL_VERSION  the version text, such as "9.7.4.0"
//                         (at most INST_LEVEL_TEXT_MAX - 1 characters)
//   GENREG_LEVEL_NUMBER   the level number, an unsigned decimal number
#ifndef GENREG_PLATFORM_INST_H
#define GENREG_PLATFORM_INST_H

#include <cstddef>
#include <cstdint>

// Structure version word of the level query.
#define INST_LEVEL_INFO_VERSION 0x09010000U
// The built-in running level.
#define INST_BUILT_IN_VERSION "9.7.4.0"
#define INST_BUILT_IN_LEVEL 4
// Capacity of the version text, terminator included.
#define INST_LEVEL_TEXT_MAX 95

// The 152-byte level record.
struct InstLevelInfo {
    uint32_t version;                       // INST_LEVEL_INFO_VERSION
    char product[21];                       // the product's short name, "QVR"
    char versionText[INST_LEVEL_TEXT_MAX];  // byte 25: the running version text
    uint64_t levelNumber;                   // byte 120: the running level number
    char reserved[24];
};
static_assert(sizeof(InstLevelInfo) == 152, "the level record is 152 bytes");
static_assert(offsetof(InstLevelInfo, versionText) == 25, "version text at byte 25");
static_assert(offsetof(InstLevelInfo, levelNumber) == 120, "level number at byte 120");

// Fills *info with the running level. structVersion must be
// INST_LEVEL_INFO_VERSION and info non-null (GENREG_RC_BAD_ARGUMENT);
// an override that is not a version text of fitting length or not an
// unsigned decimal number gives GENREG_RC_LEVEL_QUERY_FAILED. *info is
// zeroed first, whatever the result.
unsigned instGetLevelInfo(uint32_t structVersion, InstLevelInfo* info);

// Sets the environment variable name of this process to value, or removes
// it when value is null; for tests and tools that state the running level
// or the global registry's place. 0, or GENREG_RC_BAD_ARGUMENT.
unsigned instSetEnvironment(const char* name, const char* value);

#endif
