// Shared pieces of the genreg command: exit statuses, the invocation that a
// verb receives, and the entry point of each verb group.
#ifndef GENREG_CLI_CLI_H
#define GENREG_CLI_CLI_H

#include <cstddef>
#include <string>
#include <vector>

// Exit statuses, documented for scripts in docs/cli.md.
enum : int {
    kExitOk = 0,        // success
    kExitNotFound = 1,  // the record, file or entry asked for does not exist
    kExitUsage = 2,     // the command line is wrong
    kExitFailed = 3,    // the library or the tool refused or failed
};

struct OptionRule {
    const char* name;  // without the leading "--"
    bool takesValue;
};

struct Option {
    std::string name;
    std::string value;  // empty for a flag
    bool global;        // read as one of the options every verb accepts
};

// One parsed command line. words are the positional words after the verb;
// options hold every option in command-line order, global ones included.
struct Invocation {
    const char* verb = "";
    std::vector<std::string> words;
    std::vector<Option> options;
    bool json = false;
    // Text that the verb writes for standard output. main prints it only
    // when the verb succeeds, so a failure never leaves half a listing.
    std::string out;

    bool has(const char* name) const;
    // The value of the last occurrence, or null when the option is absent.
    const char* value(const char* name) const;
};

typedef int (*VerbFn)(Invocation* inv);

struct VerbEntry {
    const char* name;
    VerbFn run;
    const OptionRule* options;  // ends with a null name
    const char* help;           // printed by --help
};

// The verbs this build offers, in the order of the help text.
extern const VerbEntry* const kVerbs[];
extern const size_t kVerbCount;

// The verb groups, one file each.
extern const VerbEntry kProfileVerb;
extern const VerbEntry kServicesVerb;
extern const VerbEntry kBinVarVerb;
extern const VerbEntry kGlobalVerb;
extern const VerbEntry kInstancesVerb;
extern const VerbEntry kCopiesVerb;
extern const VerbEntry kInstanceVerb;
extern const VerbEntry kVersionVerb;
extern const VerbEntry kRcVerb;
extern const VerbEntry kCheckVerb;

#endif
