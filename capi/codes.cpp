// The C interface of the version-code conversions, the return-code names
// and meanings, and the diagnostics switches.
#include <genreg/diagnostics.h>
#include <genreg/genreg_c.h>
#include <genreg/version.h>

#include "capi/capi.h"

uint32_t genreg_version_from_number(uint32_t productNumber, uint64_t* versionCode) {
    if (versionCode == nullptr) return GENREG_RC_NULL_ARGUMENT;
    *versionCode = ossVersionCodeQVRToService(productNumber);
    return GENREG_RC_OK;
}

uint32_t genreg_version_to_number(uint64_t versionCode, int32_t* productNumber) {
    if (productNumber == nullptr) return GENREG_RC_NULL_ARGUMENT;
    *productNumber = ossVersionCodeServiceToQVR(versionCode);
    return GENREG_RC_OK;
}

uint32_t genreg_version_to_string(uint64_t versionCode, char* buffer, uint64_t size) {
    return ossVersionCodeToString(versionCode, buffer, size);
}

uint32_t genreg_version_from_string(const char* text, uint64_t* versionCode) {
    return ossVersionStringToCode(text, versionCode);
}

uint32_t genreg_rc_name(uint32_t rc, const char** name) {
    if (name == nullptr) return GENREG_RC_NULL_ARGUMENT;
    *name = genregRcName(rc);
    return *name ? GENREG_RC_OK : GENREG_RC_NOT_FOUND;
}

uint32_t genreg_rc_meaning(uint32_t rc, const char** meaning) {
    if (meaning == nullptr) return GENREG_RC_NULL_ARGUMENT;
    *meaning = genregRcMeaning(rc);
    return *meaning ? GENREG_RC_OK : GENREG_RC_NOT_FOUND;
}

uint32_t genreg_rc_from_name(const char* name, uint32_t* rc) {
    if (rc == nullptr || name == nullptr) {
        if (rc) *rc = 0;
        return GENREG_RC_NULL_ARGUMENT;
    }
    unsigned value = 0;
    const bool known = genregRcFromName(name, &value);
    *rc = value;
    return known ? GENREG_RC_OK : GENREG_RC_NOT_FOUND;
}

uint32_t genreg_set_log_file(const char* path) {
    return genregSetLogFile(path);
}

uint32_t genreg_set_trace_file(const char* path) {
    return genregSetTraceFile(path);
}
