// Text store lookups on a file of any bytes: Get, and a listing of every
// line with GetNext.
//
// The listing is checked against a model of the file (joining off): one
// result per physical line, 0 for a line that fits the line buffer with
// its line end and GENREG_RC_LINE_TOO_LONG for one that does not, then
// GENREG_RC_NOT_FOUND. So no piece of an over-long line is ever handed out
// as a line of its own, and no line is lost or doubled.
#include <genreg/rc.h>
#include <genreg/varval.h>

#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

// The results a listing must give for the file's bytes.
std::vector<unsigned> expectedListing(const uint8_t* data, size_t size) {
    std::vector<unsigned> results;
    size_t start = 0;
    while (start < size) {
        const void* feed = std::memchr(data + start, '\n', size - start);
        size_t end = feed ? (size_t)((const uint8_t*)feed - data) + 1 : size;
        results.push_back(end - start + 1 <= GENREG_LINE_MAX ? 0u : GENREG_RC_LINE_TOO_LONG);
        start = end;
    }
    results.push_back(GENREG_RC_NOT_FOUND);
    return results;
}

bool idle(const GenRegFile& handle) {
    return handle.stream == nullptr && handle.tempStream == nullptr &&
           (handle.state & ~(uint64_t)GENREG_STATE_PATHS_SET) == GENREG_STATE_INITIAL;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFile file(data, size);
    unsigned rc = 1;
    GenRegVarVal profile(file.path(), &rc);
    FUZZ_CHECK(rc == 0);

    const std::vector<unsigned> expected = expectedListing(data, size);
    FUZZ_CHECK(profile.OpenScan() == 0);
    VarValRecord record;
    for (size_t k = 0; k < expected.size(); ++k) {
        const unsigned want = expected[k];
        unsigned got = profile.GetNext(0, nullptr, &record);
        if (got != want) {
            std::fprintf(stderr, "listing gave 0x%x where 0x%x was due, at line %zu of %zu\n", got,
                         want, k + 1, expected.size() - 1);
            std::abort();
        }
        if (got == 0 && record.Value != nullptr)
            FUZZ_CHECK(std::strlen(record.Value) < GENREG_LINE_MAX);
    }
    FUZZ_CHECK(profile.GetNext(0, nullptr, &record) == GENREG_RC_NOT_FOUND);
    FUZZ_CHECK(profile.CloseScan() == 0);

    // Lookups by the names of the file's first lines, with and without
    // joining, must end with one of their codes and leave nothing open.
    for (int join = 0; join < 2; ++join) {
        if (join) profile.setFeature(GENREG_FEATURE_JOIN_LINES);
        const char* names[] = {"a", "evil", ""};
        char first[64] = {};
        for (size_t k = 0;
             k + 1 < sizeof first && k < size && data[k] > ' ' && data[k] != '=' && data[k] != '#';
             ++k)
            first[k] = (char)data[k];
        names[2] = first;
        for (const char* name : names) {
            const char* value = nullptr;
            if (name[0] != '\0' && profile.GetStringValue(name, &value))
                FUZZ_CHECK(value != nullptr && std::strlen(value) < GENREG_LINE_MAX);
            FUZZ_CHECK(idle(profile));
        }
    }
    return 0;
}
