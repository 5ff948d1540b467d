// The version-text parser: any text either parses or is refused with
// GENREG_RC_VERSION_SYNTAX; a parsed code prints and parses back to itself.
#include <genreg/rc.h>
#include <genreg/version.h>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    uint64_t code = 0x1234;
    unsigned rc = ossVersionStringToCode(text.c_str(), &code);
    if (rc != 0) {
        FUZZ_CHECK(rc == GENREG_RC_VERSION_SYNTAX);
        FUZZ_CHECK(code == 0x1234);
        return 0;
    }
    char printed[32];
    FUZZ_CHECK(ossVersionCodeToString(code, printed, sizeof printed) == 0);
    uint64_t again = 0;
    FUZZ_CHECK(ossVersionStringToCode(printed, &again) == 0);
    FUZZ_CHECK(again == code);
    return 0;
}
