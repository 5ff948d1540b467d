// Uses the installed library the way a customer's program does: through
// <genreg/genreg.h> and the shared library alone. Exits 0 when every call
// answered as documented.
#include <genreg/genreg.h>

#include <cstdio>
#include <cstring>

namespace {

bool check(bool condition, const char* what) {
    if (!condition) std::fprintf(stderr, "consumer: %s\n", what);
    return condition;
}

}  // namespace

int main() {
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

    std::printf("consumer: ok\n");
    return 0;
}
