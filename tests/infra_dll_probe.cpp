// A program that links the shipped library (not its objects) and ends the
// way its argument asks. ctest uses it to check that a program finds the DLL
// beside itself, and that a crash or an abort under the test runner (Wine,
// or a sanitizer) fails the test instead of passing silently.
//
//   infra_dll_probe            calls the library; 0 when it answers right
//   infra_dll_probe crash      writes through a null pointer
//   infra_dll_probe abort      calls std::abort
#include <genreg/genreg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int callLibrary() {
    const char* name = genregRcName(GENREG_RC_NO_MATCH);
    std::printf("genregRcName(0x%08x) = %s, qvrThisIsAQVRLibrary = %d\n", GENREG_RC_NO_MATCH,
                name ? name : "(null)", static_cast<int>(qvrThisIsAQVRLibrary));
    bool right = name && std::strcmp(name, "GENREG_RC_NO_MATCH") == 0 && qvrThisIsAQVRLibrary == 0;

    // An imported class: its constructor, a member and its destructor.
    GenRegText store;
    right = right && store.setFeature(GENREG_FEATURE_JOIN_LINES) == 0 &&
            store.isFeatureSet(GENREG_FEATURE_JOIN_LINES);
    return right ? 0 : 1;
}

// The pointer is volatile so that the compiler cannot prove the write away.
void writeThroughNull() {
    int* volatile target = nullptr;
    *target = 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "crash") == 0) {
        writeThroughNull();
        return 0;
    }
    if (std::strcmp(mode, "abort") == 0) std::abort();
    return callLibrary();
}
