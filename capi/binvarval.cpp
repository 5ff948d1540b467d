// The C interface of the binary variable/value file. Its C record has the
// C++ record's layout, so a conversion is a copy.
#include <genreg/genreg_c.h>

#include <cstring>

#include "capi/capi.h"

namespace {

static_assert(sizeof(genreg_binvarval_record_t) == sizeof(BinVarValRecord), "record size");
static_assert(offsetof(genreg_binvarval_record_t, Value) == offsetof(BinVarValRecord, Value),
              "Value offset");
static_assert(offsetof(genreg_binvarval_record_t, Comment) == offsetof(BinVarValRecord, Comment),
              "Comment offset");

struct BinVarValTraits {
    using Store = GenRegBinVarVal;
    using Record = BinVarValRecord;
    using CRecord = genreg_binvarval_record_t;
    struct Scratch {};
    static const CapiKind kKind = CAPI_BINVARVAL;

    static void toCpp(const CRecord& in, Scratch*, Record* out) {
        std::memcpy(out, &in, sizeof *out);
    }
    static void toC(const Record& in, CRecord* out) { std::memcpy(out, &in, sizeof *out); }
};

using Records = CapiRecords<BinVarValTraits>;

}  // namespace

uint32_t genreg_binvarval_get(genreg_handle_t* handle, uint64_t selector,
                              const genreg_binvarval_record_t* key,
                              genreg_binvarval_record_t* result) {
    return Records::get(handle, selector, key, result, false);
}

uint32_t genreg_binvarval_get_next(genreg_handle_t* handle, uint64_t selector,
                                   const genreg_binvarval_record_t* key,
                                   genreg_binvarval_record_t* result) {
    return Records::get(handle, selector, key, result, true);
}

uint32_t genreg_binvarval_add(genreg_handle_t* handle, uint64_t selector,
                              const genreg_binvarval_record_t* record) {
    return Records::update(handle, selector, nullptr, record, GENREG_TXN_ADD);
}

uint32_t genreg_binvarval_change(genreg_handle_t* handle, uint64_t selector,
                                 const genreg_binvarval_record_t* key,
                                 const genreg_binvarval_record_t* record) {
    return Records::update(handle, selector, key, record, GENREG_TXN_CHANGE);
}

uint32_t genreg_binvarval_delete(genreg_handle_t* handle, uint64_t selector,
                                 const genreg_binvarval_record_t* key) {
    return Records::update(handle, selector, key, nullptr, GENREG_TXN_DELETE);
}

uint32_t genreg_binvarval_print(const genreg_binvarval_record_t* record) {
    return Records::print(record);
}
