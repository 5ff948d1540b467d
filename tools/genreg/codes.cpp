// Names and meanings of every code the command prints, generated from the
// lists of each family.
#include "codes.h"

#include <genreg/platform_codes.h>
#include <genreg/rc.h>

namespace {

struct CodeEntry {
    unsigned value;
    const char* name;
    const char* meaning;
};

#define GENREG_CLI_CODE_(name, value, meaning) {value, #name, meaning},
const CodeEntry kPlatformCodes[] = {GENREG_PLATFORM_RC_LIST(GENREG_CLI_CODE_)};
const CodeEntry kWindowsErrors[] = {GENREG_WINDOWS_ERROR_LIST(GENREG_CLI_CODE_)};
#undef GENREG_CLI_CODE_

template <size_t N>
const CodeEntry* byValue(const CodeEntry (&table)[N], unsigned rc) {
    for (const CodeEntry& entry : table)
        if (entry.value == rc) return &entry;
    return nullptr;
}

template <size_t N>
const CodeEntry* byName(const CodeEntry (&table)[N], const std::string& name) {
    for (const CodeEntry& entry : table)
        if (name == entry.name) return &entry;
    return nullptr;
}

const char* const kPrefixes[] = {"GENREG_RC_", "OSS_RC_", "OSS_WINERR_"};

}  // namespace

bool lookUpCode(unsigned rc, CodeInfo* info) {
    if (const char* name = genregRcName(rc)) {
        *info = {name, genregRcMeaning(rc)};
        return true;
    }
    const CodeEntry* entry = byValue(kPlatformCodes, rc);
    if (!entry) entry = byValue(kWindowsErrors, rc);
    if (!entry) return false;
    *info = {entry->name, entry->meaning};
    return true;
}

bool codeNamed(const std::string& name, unsigned* rc) {
    if (genregRcFromName(name.c_str(), rc)) return true;
    const CodeEntry* entry = byName(kPlatformCodes, name);
    if (!entry) entry = byName(kWindowsErrors, name);
    if (!entry) return false;
    *rc = entry->value;
    return true;
}

bool codeNamedShort(const std::string& name, unsigned* rc) {
    for (const char* prefix : kPrefixes)
        if (name.compare(0, std::string(prefix).size(), prefix) == 0) return codeNamed(name, rc);
    for (const char* prefix : kPrefixes)
        if (codeNamed(prefix + name, rc)) return true;
    return false;
}
