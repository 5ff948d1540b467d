// Names and meanings of the return codes, generated from GENREG_RC_LIST.
#include <genreg/rc.h>

#include <cstring>

namespace {

struct RcEntry {
    unsigned value;
    const char* name;
    const char* meaning;
};

#define GENREG_RC_ENTRY_(name, value, meaning) {value, #name, meaning},
const RcEntry kCodes[] = {{0U, "GENREG_RC_OK", "success"}, GENREG_RC_LIST(GENREG_RC_ENTRY_)};
#undef GENREG_RC_ENTRY_

const RcEntry* findByValue(unsigned rc) {
    for (const RcEntry& entry : kCodes)
        if (entry.value == rc) return &entry;
    return nullptr;
}

}  // namespace

const char* genregRcName(unsigned int rc) {
    const RcEntry* entry = findByValue(rc);
    return entry ? entry->name : nullptr;
}

const char* genregRcMeaning(unsigned int rc) {
    const RcEntry* entry = findByValue(rc);
    return entry ? entry->meaning : nullptr;
}

bool genregRcFromName(const char* name, unsigned int* rc) {
    if (rc) *rc = 0;
    if (!name || !rc) return false;
    for (const RcEntry& entry : kCodes) {
        if (std::strcmp(entry.name, name) == 0) {
            *rc = entry.value;
            return true;
        }
    }
    return false;
}
