// Services line parse/format: a line that parses as a recognised entry
// formats to a line that parses back to the same name, port and protocol.
#include <genreg/rc.h>
#include <genreg/services.h>

#include "fuzz/fuzz_support.h"
#include "schemas/services_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One logical line, as the reader would hand it over (terminated, and
    // cut to the line buffer).
    char line[GENREG_LINE_MAX];
    size_t n = size < sizeof line - 1 ? size : sizeof line - 1;
    std::memcpy(line, data, n);
    line[n] = '\0';

    static ServicesRecord record;
    std::memset(&record, 0, sizeof record);
    if (ServicesUnpack(&record, line) != 0) return 0;
    if (!(record.Contains & GENREG_SERVICES_ENTRY) ||
        (record.Contains & GENREG_SERVICES_UNRECOGNISED) || record.port == 0)
        return 0;
    // Comments are reformatted after "# ", so a '#' elsewhere is not at stake.
    static ServicesRecord source;
    source = record;
    char formatted[GENREG_LINE_MAX] = "";
    if (ServicesPack(&source, formatted) != 0) return 0;
    static ServicesRecord again;
    std::memset(&again, 0, sizeof again);
    FUZZ_CHECK(ServicesUnpack(&again, formatted) == 0);
    FUZZ_CHECK(again.name && std::strcmp(again.name, record.name) == 0);
    FUZZ_CHECK(again.port == record.port);
    FUZZ_CHECK(again.protocol && std::strcmp(again.protocol, record.protocol) == 0);
    return 0;
}
