// The binary variable/value file: fixed 36-byte records stored byte for
// byte (no packing), several records may share a name, and every update is
// verified before it replaces the file.
#include <genreg/binvarval.h>
#include <genreg/rc.h>

#include <cstdio>
#include <cstring>

#include "genreg/handle_internal.h"
#include "genreg/trace.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_BINVARVAL_CONSTRUCT = GENREG_FID(0x00C0),
    FID_BINVARVAL_DESTRUCT = GENREG_FID(0x00C1),
    FID_BINVARVAL_COMPARE = GENREG_FID(0x00C2),
    FID_BINVARVAL_VALIDATE = GENREG_FID(0x00C3),
    FID_BINVARVAL_RECORD_SIZE = GENREG_FID(0x00C4),
    FID_BINVARVAL_MAX_SIZE = GENREG_FID(0x00C5),
    FID_BINVARVAL_PRINT = GENREG_FID(0x00C6),
};

static_assert(sizeof(BinVarValRecord) == 36, "the stored record is 36 bytes");

const size_t kTextField = sizeof(((BinVarValRecord*)nullptr)->Variable);

// Text fields are compared as at most 16 characters: a field without a
// terminator is the 16 characters it holds, never more.
bool textEqual(const char* a, const char* b) {
    return std::strncmp(a, b, kTextField) == 0;
}

int compareRecord(uint64_t selector, const void* stored, const void* key) {
    int result = 0;
    GENREG_TRACE(FID_BINVARVAL_COMPARE, &result);
    if (stored == nullptr || key == nullptr) {
        ossLog(FID_BINVARVAL_COMPARE, 1, GENREG_RC_NULL_ARGUMENT, OSS_SEVERITY_ERROR,
               "stored=%p key=%p", stored, key);
        return result;
    }
    const BinVarValRecord* a = static_cast<const BinVarValRecord*>(stored);
    const BinVarValRecord* b = static_cast<const BinVarValRecord*>(key);
    // GENREG_SELECT_ALL asks for two whole records, the comment included.
    const bool whole = selector == GENREG_SELECT_ALL;
    if ((selector & GENREG_BINVARVAL_VARIABLE) && !textEqual(a->Variable, b->Variable))
        return result;
    if ((selector & GENREG_BINVARVAL_VALUE) && a->Value != b->Value) return result;
    if (whole && !textEqual(a->Comment, b->Comment)) return result;
    return result = 1;
}

unsigned validateRecord(uint64_t, void*) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BINVARVAL_VALIDATE, &rc);
    return rc;
}

unsigned getRecordSize(const void*, uint64_t* size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BINVARVAL_RECORD_SIZE, &rc);
    *size = sizeof(BinVarValRecord);
    return rc;
}

unsigned getMaxRecordSize(uint64_t* size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BINVARVAL_MAX_SIZE, &rc);
    *size = sizeof(BinVarValRecord);
    return rc;
}

}  // namespace

GenRegBinVarVal::GenRegBinVarVal(const char* path, unsigned* rcOut) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BINVARVAL_CONSTRUCT, &rc);
    rc = GenRegCheckPath(path, FID_BINVARVAL_CONSTRUCT);
    if (rc == 0) {
        CompareRecord = compareRecord;
        ValidateRecord = validateRecord;
        GenRegBase::PrintRecord = &GenRegBinVarVal::PrintRecord;
        GetRecordSize = getRecordSize;
        GetMaxRecordSize = getMaxRecordSize;
        rc = GenRegDerivePaths(this, path, FID_BINVARVAL_CONSTRUCT);
    }
    if (rc == 0) {
        setFeature(GENREG_FEATURE_DUPLICATES);
        setFeature(GENREG_FEATURE_VERIFY);
    }
    if (rcOut != nullptr) *rcOut = rc;
}

GenRegBinVarVal::~GenRegBinVarVal() {
    GENREG_TRACE(FID_BINVARVAL_DESTRUCT, nullptr);
}

unsigned GenRegBinVarVal::PrintRecord(const void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BINVARVAL_PRINT, &rc);
    if (record == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_BINVARVAL_PRINT, 1, rc, OSS_SEVERITY_ERROR, "record=(null)");
        return rc;
    }
    const BinVarValRecord* r = static_cast<const BinVarValRecord*>(record);
    const int width = (int)kTextField;
    std::printf("   Variable = |%.*s|\n", width, r->Variable);
    std::printf("   Value    = %i\n", (int)r->Value);
    std::printf("   Comment  = |%.*s|\n", width, r->Comment);
    return rc;
}
