// Text to boolean and to 64-bit integers.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/oss.h"

namespace {

// The words ossStrToBoolean accepts, compared without regard to case.
struct BooleanWord {
    const char* word;
    bool value;
};
const BooleanWord kBooleanWords[] = {
    {"true", true}, {"false", false}, {"yes", true}, {"no", false},
    {"on", true},   {"off", false},   {"1", true},   {"0", false},
};

bool sameWordIgnoringCase(const char* text, size_t length, const char* word) {
    if (std::strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower((unsigned char)text[i]) != word[i]) return false;
    }
    return true;
}

}  // namespace

// Blanks (spaces and tabs) around the word are ignored: a profile value
// written as "yes " still means yes. Anything else, including an empty
// text, is OSS_RC_BAD_ARGUMENT and leaves *value false.
unsigned ossStrToBoolean(const char* text, bool* value) {
    if (value) *value = false;
    if (!text || !value) return OSS_RC_BAD_ARGUMENT;
    while (*text == ' ' || *text == '\t')
        ++text;
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    for (const BooleanWord& entry : kBooleanWords) {
        if (sameWordIgnoringCase(text, length, entry.word)) {
            *value = entry.value;
            return 0;
        }
    }
    return OSS_RC_BAD_ARGUMENT;
}

// Null text converts to 0 with *end null; otherwise exactly strtoll and
// strtoull, errno included (ERANGE on overflow with the clamped value).
int64_t ossStrToSint64(const char* text, char** end, int base) {
    if (!text) {
        if (end) *end = nullptr;
        return 0;
    }
    return (int64_t)std::strtoll(text, end, base);
}

uint64_t ossStrToUint64(const char* text, char** end, int base) {
    if (!text) {
        if (end) *end = nullptr;
        return 0;
    }
    return (uint64_t)std::strtoull(text, end, base);
}
