// The global registry file: where it lives and how its handle is set up.
#include <genreg/globalreg.h>
#include <genreg/rc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "genreg/handle_internal.h"
#include "genreg/trace.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"
#include "schemas/globalreg_path.h"

namespace {

enum : uint32_t {
    FID_CONSTRUCT = GENREG_FID(0x0060),
    FID_GET_PATH_NAME = GENREG_FID(0x0062),
    FID_DEFAULT_PATH = GENREG_FID(0x0063),
    FID_PRINT_RECORD = GENREG_FID(0x0064),
};

const char kPathVariable[] = "QVR_GLOBAL_REG_PATHNAME";

void constructGlobalReg(GlobalReg* handle) {
    GENREG_TRACE(FID_CONSTRUCT, nullptr);
    handle->CompareRecord = GlobalRecCompare;
    handle->ValidateRecord = GlobalRecValidate;
    handle->GenRegBase::PrintRecord = GlobalRecPrint;
    handle->GetMaxRecordSize = GlobalRecMaxRecordSize;
    handle->GetRecordSize = GlobalRecRecordSize;
    handle->PackRecord = GlobalRecPack;
    handle->UnpackRecord = GlobalRecUnpack;
    handle->GetPackedSize = GlobalRecPackedSize;
    handle->UnpackStoredRecord = GlobalRecUnpackSized;
    handle->PackStoredRecord = GlobalRecPackInto;
    handle->NotifyUpdate = GlobalRecNotify;

    char path[kGlobalRegPathCapacity];
    unsigned rc = GlobalRegPath(path, sizeof path);
    if (rc != 0) {
        // The constructors report nothing: the handle stays without paths,
        // so updates and scans refuse with GENREG_RC_NOT_INITIALIZED.
        ossLog(FID_CONSTRUCT, 1, rc, OSS_SEVERITY_ERROR, "%s is longer than %d characters",
               kPathVariable, (int)kGlobalRegPathCapacity - 1);
    } else if (path[0] == '\0') {
        // An empty value names no file; using it would put the companion
        // files (".tmp", "..lock") in whatever the current directory is.
        ossLog(FID_CONSTRUCT, 2, GENREG_RC_NULL_ARGUMENT, OSS_SEVERITY_ERROR, "%s is empty",
               kPathVariable);
    } else {
        // Refuses, leaving the paths empty, a path whose companion names
        // do not fit their fields.
        GenRegDerivePaths(handle, path, FID_CONSTRUCT);
    }
    handle->features &= ~(uint64_t)GENREG_FEATURE_DUPLICATES;
    handle->features |= GENREG_FEATURE_VERIFY | GENREG_FEATURE_PACKED | GENREG_FEATURE_NOTIFY;
    handle->updateOriginator = 0;
}

}  // namespace

unsigned GlobalRegDefaultPath(char* out, size_t size) {
    unsigned rc = 0;
    GENREG_TRACE(FID_DEFAULT_PATH, &rc);
    // "global.reg" in the current directory, with the platform's separator.
    const int length = std::snprintf(out, size, "%s%c%s", ".", ossPathSeparator(), "global.reg");
    if (length < 0 || (size_t)length >= size) rc = GENREG_RC_GLOBAL_PATH_TOO_LONG;
    return rc;
}

size_t GlobalRegPathNeeded() {
    const char* value = std::getenv(kPathVariable);
    return value ? std::strlen(value) + 1 : kGlobalRegDefaultPathNeeded;
}

unsigned GlobalRegPath(char* out, size_t size) {
    const char* value = std::getenv(kPathVariable);
    const size_t needed = value ? std::strlen(value) + 1 : kGlobalRegDefaultPathNeeded;
    if (needed > size) return GENREG_RC_GLOBAL_PATH_TOO_LONG;
    if (value == nullptr) return GlobalRegDefaultPath(out, size);
    std::memcpy(out, value, needed);
    return 0;
}

GlobalReg::GlobalReg() {
    constructGlobalReg(this);
}

GlobalReg::GlobalReg(bool) {
    constructGlobalReg(this);
}

// The GenRegBin teardown closes whatever the handle still holds.
GlobalReg::~GlobalReg() {}

unsigned GlobalReg::PrintRecord(const void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PRINT_RECORD, &rc);
    rc = GlobalRecPrint(record);
    return rc;
}

unsigned GetGlobalRegPathName(char* buffer, uint16_t* length) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_PATH_NAME, &rc);
    if (buffer == nullptr) {
        rc = GENREG_RC_GLOBAL_PATH_NO_BUFFER;
        return rc;
    }
    if (length == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        return rc;
    }
    const size_t needed = GlobalRegPathNeeded();
    const size_t capacity = *length;
    // A needed length beyond the 16-bit field cannot be reported whole;
    // no buffer described by the field can hold it either.
    *length = (uint16_t)(needed > 0xFFFF ? 0xFFFF : needed);
    if (capacity < needed) {
        rc = GENREG_RC_GLOBAL_PATH_TOO_LONG;
        return rc;
    }
    rc = GlobalRegPath(buffer, capacity);
    return rc;
}
