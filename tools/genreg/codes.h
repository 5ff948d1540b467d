// Every code the command can print, by value and by name: the library's
// return codes (genreg/rc.h), the platform services' codes and the
// Windows error numbers passed through (genreg/platform_codes.h).
#ifndef GENREG_CLI_CODES_H
#define GENREG_CLI_CODES_H

#include <string>

struct CodeInfo {
    const char* name;
    const char* meaning;
};

// The name and meaning of rc; false for a value no family has.
bool lookUpCode(unsigned rc, CodeInfo* info);

// The value of a constant name ("GENREG_RC_LOCKED", "OSS_RC_FAILED",
// "OSS_WINERR_BADDB"); false when no family has it.
bool codeNamed(const std::string& name, unsigned* rc);

// The full names that a short name stands for, in the order they are
// tried: "LOCKED" is GENREG_RC_LOCKED, then OSS_RC_LOCKED, then
// OSS_WINERR_LOCKED. A full name stands for itself only.
bool codeNamedShort(const std::string& name, unsigned* rc);

#endif
