// Command-line parsing: words and long options, checked per verb.
#ifndef GENREG_CLI_ARGS_H
#define GENREG_CLI_ARGS_H

#include <cstdint>
#include <initializer_list>
#include <string>

#include "cli.h"

// Options every verb accepts, wherever they stand on the line.
extern const OptionRule kGlobalOptions[];

// Parses argv[first, last) into inv: options named in rules (searched
// first; may be null) or in kGlobalOptions, and words. "--name=value" and
// "--name value" both work, "--" ends the options, "-h" is "--help", a
// single dash and a letter is an unknown option, and a word that starts
// with a single "-" and anything else (a negative number) is a word.
// false and *error on an unknown option or a missing value.
bool parseArguments(int argc, char** argv, int first, int last, const OptionRule* rules,
                    Invocation* inv, std::string* error);

// True for "-q", "-V2": a single dash and a letter. Only "-h" is known;
// any other is refused as an unknown option. A single dash and a digit
// ("-5") is a word.
bool isShortOption(const std::string& arg);

// false and *error naming the first option that is neither global nor in
// allowed.
bool checkOptions(const Invocation& inv, std::initializer_list<const char*> allowed,
                  std::string* error);

// false and *error unless inv has between min and max words.
bool checkWordCount(const Invocation& inv, size_t min, size_t max, std::string* error);

// Whole-text number conversions for arguments; false on anything else
// (signs where not allowed, trailing characters, overflow).
bool parseInt32(const char* text, int32_t* value);
bool parseUint32(const char* text, uint32_t* value);
// Decimal, or hexadecimal with a 0x prefix.
bool parseUint64(const char* text, uint64_t* value);

#endif
