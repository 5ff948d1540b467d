// genreg: a command-line front end to the genreg library, written against
// its public headers only.
//
//   genreg [GLOBAL OPTIONS] VERB [WORDS AND OPTIONS]
//
// Standard output receives a verb's listing only when the verb succeeds;
// failures are one line on standard error and a distinct exit status.
#include <genreg/diagnostics.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "args.h"
#include "cli.h"
#include "diagnosis.h"
#include "output.h"
#include "store.h"

#ifndef GENREG_CLI_VERSION
#define GENREG_CLI_VERSION "0"
#endif

namespace {

const char kHelp[] =
    "usage: genreg [--json] [--log FILE] [--trace FILE] [--registry FILE] VERB ...\n"
    "\n"
    "Verbs (genreg VERB --help describes each):\n"
    "  profile FILE ...       a profile of \"name = value\" lines\n"
    "  services FILE ...      a services file\n"
    "  binvar FILE ...        a binary variable/value file\n"
    "  global ...             the machine's global registry file\n"
    "  instances              the installed instances and administration servers\n"
    "  copies                 the services of the installed copies\n"
    "  instance NAME          one instance\n"
    "  version TEXT|NUMBER    a product level in its three forms\n"
    "  rc CODE                the name and meaning of a return code\n"
    "  check FILE             what the files left beside FILE after a crash mean\n"
    "\n"
    "Options of every verb:\n"
    "  --json             print JSON for scripts instead of tables (see docs/cli.md)\n"
    "  --log FILE         append the library's diagnostic log to FILE\n"
    "  --trace FILE       append the library's trace to FILE\n"
    "  --registry FILE    on Linux, read the machine's registry from this export file\n"
    "                     (sets GENREG_REGISTRY_FILE)\n"
    "  --help             describe the verb\n"
    "  --version          print genreg's version\n"
    "\n"
    "Exit status: 0 success, 1 not found, 2 usage error, 3 operation failed.\n";

const VerbEntry* findVerb(const std::string& name) {
    for (size_t i = 0; i < kVerbCount; ++i)
        if (name == kVerbs[i]->name) return kVerbs[i];
    return nullptr;
}

bool verbTakesVersionValue(const VerbEntry* verb) {
    for (const OptionRule* rule = verb->options; rule->name; ++rule)
        if (std::strcmp(rule->name, "version") == 0) return rule->takesValue;
    return false;
}

// The index of the verb: the first word after the leading global options.
int verbIndexOf(int argc, char** argv) {
    int i = 1;
    while (i < argc) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-' || arg == "--") break;
        if (isShortOption(arg) && arg != "-h") break;
        std::string name = arg == "-h" ? "help" : arg.substr(2);
        bool inlineValue = name.find('=') != std::string::npos;
        name = name.substr(0, name.find('='));
        bool takesValue = false;
        for (const OptionRule* rule = kGlobalOptions; rule->name; ++rule)
            if (name == rule->name) takesValue = rule->takesValue;
        i += takesValue && !inlineValue ? 2 : 1;
    }
    return i;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "genreg: %s (see genreg --help)\n", message.c_str());
    return kExitUsage;
}

// Applies --registry, --log and --trace before the verb runs.
int applyGlobalOptions(const Invocation& inv) {
    if (const char* registry = inv.value("registry"))
        setEnvironment("GENREG_REGISTRY_FILE", registry);
    if (const char* log = inv.value("log")) {
        unsigned rc = genregSetLogFile(log);
        if (rc != 0)
            return reportLibraryFailureAs("open the log file " + std::string(log), rc, kExitFailed);
    }
    if (const char* trace = inv.value("trace")) {
        unsigned rc = genregSetTraceFile(trace);
        if (rc != 0)
            return reportLibraryFailureAs("open the trace file " + std::string(trace), rc,
                                          kExitFailed);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    keepLibraryLog();
    int verbIndex = verbIndexOf(argc, argv);
    Invocation inv;
    std::string error;
    if (!parseArguments(argc, argv, 1, verbIndex, nullptr, &inv, &error)) return usage(error);
    if (verbIndex < argc && isShortOption(argv[verbIndex]))
        return usage(std::string("unknown option ") + argv[verbIndex]);
    bool versionFirst = inv.has("version");
    if (verbIndex >= argc) {
        if (inv.has("help")) {
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (versionFirst) {
            std::printf("genreg %s\n", GENREG_CLI_VERSION);
            return kExitOk;
        }
        return usage("give a verb");
    }
    const VerbEntry* verb = findVerb(argv[verbIndex]);
    if (!verb) return usage(std::string("unknown verb '") + argv[verbIndex] + "'");
    inv.verb = verb->name;
    if (!parseArguments(argc, argv, verbIndex + 1, argc, verb->options, &inv, &error))
        return reportUsage(verb->name, error);
    if (inv.has("help")) {
        std::fputs(verb->help, stdout);
        return kExitOk;
    }
    if (versionFirst || (inv.has("version") && !verbTakesVersionValue(verb))) {
        std::printf("genreg %s\n", GENREG_CLI_VERSION);
        return kExitOk;
    }
    inv.json = inv.has("json");
    int status = applyGlobalOptions(inv);
    if (status != kExitOk) return status;
    status = verb->run(&inv);
    if (status == kExitOk) {
        std::fputs(inv.out.c_str(), stdout);
        if (std::fflush(stdout) != 0) return reportFailure("cannot write the output", kExitFailed);
    }
    return status;
}
