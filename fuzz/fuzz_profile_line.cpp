// The line reader and the profile line parse/format round trip.
//
// Every logical line of the input is parsed as a profile line; a line that
// parses is formatted again (as a new line, and with the old line as the
// layout template), and the formatted line must parse back to the same
// variable and value. The lookup's test on a line before it is parsed
// must agree with the parse.
#include <genreg/lines.h>
#include <genreg/rc.h>

#include "fuzz/fuzz_support.h"
#include "schemas/varval_record.h"

namespace {

bool hasAny(const char* text, const char* characters) {
    return text && std::strpbrk(text, characters) != nullptr;
}

void roundTrip(const VarValRecord& parsed, const char* templateLine) {
    // '#' and '"' change where a value ends, so such values do not survive
    // a reformat unchanged by design; the parse must still not crash.
    if (!(parsed.Contains & GENREG_VARVAL_HAS_VARIABLE) || hasAny(parsed.Variable, "#\"") ||
        hasAny(parsed.Value, "#\""))
        return;
    VarValRecord source = parsed;
    char line[GENREG_LINE_MAX];
    std::snprintf(line, sizeof line, "%s", templateLine);
    if (VarValPack(&source, line) != 0) return;
    VarValRecord again;
    std::memset(&again, 0, sizeof again);
    if (VarValUnpack(&again, line) != 0) {
        std::fprintf(stderr, "formatted line does not parse: [%s]\n", line);
        std::abort();
    }
    FUZZ_CHECK(again.Variable && again.Value);
    FUZZ_CHECK(std::strcmp(again.Variable, parsed.Variable) == 0);
    FUZZ_CHECK(std::strcmp(again.Value, parsed.Value) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFile file(data, size);
    for (int join = 0; join < 2; ++join) {
        FILE* stream = std::fopen(file.path(), "rb");
        if (!stream) return 0;
        static char raw[GENREG_LINE_MAX], processed[GENREG_LINE_MAX];
        unsigned rc = 0;
        int lines = 0;
        static char lastVariable[GENREG_LINE_MAX];  // the key of the lookup test
        lastVariable[0] = '\0';
        while (GenRegReadLine(raw, processed, sizeof raw, stream, &rc, join != 0) && lines < 4096) {
            ++lines;
            FUZZ_CHECK(std::strlen(raw) < sizeof raw);
            VarValRecord record;
            std::memset(&record, 0, sizeof record);
            const unsigned unpackRc = VarValUnpack(&record, processed);
            // A line the lookup passes over unparsed parses and does not
            // match, for the variable of the line before and for its own.
            VarValRecord key = {};
            key.Contains = GENREG_VARVAL_HAS_VARIABLE;
            key.Variable = lastVariable;
            for (int own = 0; own < 2; ++own) {
                if (own == 1 && record.Variable == nullptr) break;
                if (own == 1) key.Variable = record.Variable;
                if (VarValLineMismatch(GENREG_VARVAL_VARIABLE, processed, &key))
                    FUZZ_CHECK(unpackRc == 0 &&
                               VarValCompare(GENREG_VARVAL_VARIABLE, &record, &key) == 0);
            }
            if (unpackRc == 0) {
                if (record.Variable)
                    std::snprintf(lastVariable, sizeof lastVariable, "%s", record.Variable);
                roundTrip(record, "");
                roundTrip(record, raw);
            }
        }
        FUZZ_CHECK(rc == 0 || rc == GENREG_RC_END_OF_INPUT);
        std::fclose(stream);
    }
    return 0;
}
