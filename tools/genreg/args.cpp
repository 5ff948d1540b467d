// Command-line parsing for the genreg command.
#include "args.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

const OptionRule kGlobalOptions[] = {
    {"json", false}, {"log", true},      {"trace", true},  {"registry", true},
    {"help", false}, {"version", false}, {nullptr, false},
};

namespace {

const OptionRule* findRule(const OptionRule* rules, const std::string& name) {
    for (const OptionRule* rule = rules; rule && rule->name; ++rule)
        if (name == rule->name) return rule;
    return nullptr;
}

}  // namespace

bool isShortOption(const std::string& arg) {
    return arg.size() >= 2 && arg[0] == '-' && std::isalpha(static_cast<unsigned char>(arg[1]));
}

bool Invocation::has(const char* name) const {
    return value(name) != nullptr;
}

const char* Invocation::value(const char* name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it)
        if (it->name == name) return it->value.c_str();
    return nullptr;
}

bool parseArguments(int argc, char** argv, int first, int last, const OptionRule* rules,
                    Invocation* inv, std::string* error) {
    bool optionsEnded = false;
    for (int i = first; i < last && i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsEnded && isShortOption(arg) && arg != "-h") {
            *error = "unknown option " + arg;
            return false;
        }
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
            inv->words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg == "-h" ? "help" : arg.substr(2);
        std::string value;
        bool inlineValue = false;
        size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            inlineValue = true;
        }
        const OptionRule* rule = findRule(rules, name);
        bool global = rule == nullptr;
        if (!rule) rule = findRule(kGlobalOptions, name);
        if (!rule) {
            *error = "unknown option --" + name;
            return false;
        }
        if (rule->takesValue && !inlineValue) {
            if (i + 1 >= last || i + 1 >= argc) {
                *error = "option --" + name + " needs a value";
                return false;
            }
            value = argv[++i];
        } else if (!rule->takesValue && inlineValue) {
            *error = "option --" + name + " takes no value";
            return false;
        }
        inv->options.push_back({name, value, global});
    }
    return true;
}

bool checkOptions(const Invocation& inv, std::initializer_list<const char*> allowed,
                  std::string* error) {
    for (const Option& option : inv.options) {
        if (option.global) continue;
        bool ok = false;
        for (const char* name : allowed)
            ok = ok || option.name == name;
        if (!ok) {
            *error = "option --" + option.name + " does not apply here";
            return false;
        }
    }
    return true;
}

bool checkWordCount(const Invocation& inv, size_t min, size_t max, std::string* error) {
    size_t count = inv.words.size();
    if (count < min) {
        *error = "missing argument";
        return false;
    }
    if (count > max) {
        *error = "unexpected argument '" + inv.words[max] + "'";
        return false;
    }
    return true;
}

namespace {

// strtoll/strtoull over the whole text, without leading blanks.
bool wholeSigned(const char* text, int64_t* value) {
    if (!text || !*text || std::strchr(" \t\n+", text[0])) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *value = parsed;
    return true;
}

bool wholeUnsigned(const char* text, int base, uint64_t* value) {
    const char* digits = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (!text || !*text || text[std::strspn(text, digits)] != '\0') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long parsed = std::strtoull(text, &end, base);
    if (errno != 0 || *end != '\0') return false;
    *value = parsed;
    return true;
}

}  // namespace

bool parseInt32(const char* text, int32_t* value) {
    int64_t parsed = 0;
    if (!wholeSigned(text, &parsed)) return false;
    if (parsed < std::numeric_limits<int32_t>::min() ||
        parsed > std::numeric_limits<int32_t>::max())
        return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

bool parseUint32(const char* text, uint32_t* value) {
    uint64_t parsed = 0;
    if (!wholeUnsigned(text, 10, &parsed) || parsed > std::numeric_limits<uint32_t>::max())
        return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool parseUint64(const char* text, uint64_t* value) {
    if (text && (std::strncmp(text, "0x", 2) == 0 || std::strncmp(text, "0X", 2) == 0)) {
        if (text[2] == '\0') return false;
        return wholeUnsigned(text + 2, 16, value);
    }
    return wholeUnsigned(text, 10, value);
}
