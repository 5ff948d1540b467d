// Version codes on the command line: the three forms people type.
#ifndef GENREG_CLI_VERSION_TEXT_H
#define GENREG_CLI_VERSION_TEXT_H

#include <cstdint>
#include <string>

// Reads a version given as dotted text ("9.7.4.0"), a product version
// number ("9070400", digits without dots) or a hexadecimal version code
// ("0x0009000700040000"). 0, or the library's code for text it refuses
// (GENREG_RC_VERSION_SYNTAX also for a number out of range).
unsigned parseVersionArgument(const std::string& text, uint64_t* code);

// "9.7.4.0".
std::string versionText(uint64_t code);

// "0x0009000700040000".
std::string versionCodeHex(uint64_t code);

#endif
