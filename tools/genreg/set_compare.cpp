// Putting one wanted record over every record of a key (see set_compare.h).
#include "set_compare.h"

namespace {

struct Installed {
    GenRegCompareFn schema = nullptr;
    const void* wanted = nullptr;
    SetComparison::SameRestFn sameRest = nullptr;
};
Installed installed;

bool equalRecords(const void* a, const void* b) {
    return installed.schema(GENREG_SELECT_ALL, a, b) != 0 &&
           (installed.sameRest == nullptr || installed.sameRest(a, b));
}

int compareForSet(uint64_t selector, const void* stored, const void* key) {
    if (selector == GENREG_SELECT_ALL) return equalRecords(stored, key) ? 1 : 0;
    int match = installed.schema(selector, stored, key);
    if (match == 1 && equalRecords(stored, installed.wanted)) return 0;
    return match;
}

}  // namespace

SetComparison::SetComparison(GenRegBase* handle, const void* wanted, SameRestFn sameRest)
    : handle_(handle) {
    installed.schema = handle->CompareRecord;
    installed.wanted = wanted;
    installed.sameRest = sameRest;
    handle->CompareRecord = compareForSet;
}

SetComparison::~SetComparison() {
    handle_->CompareRecord = installed.schema;
    installed = Installed();
}
