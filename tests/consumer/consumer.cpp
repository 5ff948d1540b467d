// Uses the installed library the way a customer's program does: through
// <genreg/genreg.h> and the shared library alone. Exits 0 when every call
// answered as documented.
//
//   consumer DIRECTORY   a writable directory for a scratch profile
#include <genreg/genreg.h>

#include <cstdio>
#include <cstring>

namespace {

bool check(bool condition, const char* what) {
    if (!condition) std::fprintf(stderr, "consumer: %s\n", what);
    return condition;
}

// Writes a one-line profile into directory and reads its value back
// through GenRegVarVal.
bool readProfile(const char* directory) {
    char path[1024];
    std::snprintf(path, sizeof path, "%s/consumer.prf", directory);
    FILE* file = std::fopen(path, "w");
    if (!check(file != nullptr, "cannot write the profile")) return false;
    std::fputs("greeting = hello\n", file);
    std::fclose(file);

    unsigned rc = 1;
    GenRegVarVal profile(path, &rc);
    if (!check(rc == 0, "the GenRegVarVal constructor failed")) return false;
    const char* value = nullptr;
    if (!check(profile.GetStringValue("greeting", &value) && std::strcmp(value, "hello") == 0,
               "GetStringValue did not read the value back"))
        return false;
    std::printf("GenRegVarVal read greeting = %s from %s\n", value, path);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!check(argc == 2, "usage: consumer DIRECTORY")) return 2;

    const char* name = genregRcName(GENREG_RC_LOCKED);
    if (!check(name && std::strcmp(name, "GENREG_RC_LOCKED") == 0, "genregRcName is wrong"))
        return 1;
    std::printf("genregRcName(0x%08x) = %s\n", GENREG_RC_LOCKED, name);

    // An exported class: constructor, members and destructor across the
    // library boundary.
    GenRegText store;
    if (!check(store.setFeature(GENREG_FEATURE_VERIFY) == 0, "setFeature failed") ||
        !check(store.isFeatureSet(GENREG_FEATURE_VERIFY), "the feature is not set") ||
        !check(store.setFeature(0) == GENREG_RC_BAD_FEATURE, "setFeature(0) was accepted"))
        return 1;

    if (!readProfile(argv[1])) return 1;

    std::printf("consumer: ok\n");
    return 0;
}
