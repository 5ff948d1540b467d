// Finding one instance entry, and the unsupported writers.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/trace.h"
#include "oss/instance_list.h"
#include "platform/oss.h"

namespace {

enum : uint32_t {
    FID_GET_INSTANCE_INFO = GENREG_FID(0x0138),
    FID_SET_INSTANCE_INFO = GENREG_FID(0x0139),
    FID_REMOVE_INSTANCE_INFO = GENREG_FID(0x013A),
};

// The stored instance names are compared with the upper-cased argument;
// the stored name itself is not folded, so only names stored in upper
// case can be found.
struct NameFilter {
    bool any;      // no name given: every entry matches
    bool tooLong;  // longer than any stored name: nothing matches
    char upper[sizeof(OSSInstanceInfo_t::instanceName)];
};

void makeFilter(const char* name, NameFilter* filter) {
    std::memset(filter, 0, sizeof *filter);
    filter->any = name == nullptr;
    if (!name) return;
    size_t length = std::strlen(name);
    filter->tooLong = length >= sizeof filter->upper;
    for (size_t i = 0; i < length && i + 1 < sizeof filter->upper; ++i)
        filter->upper[i] = DirUpper(name[i]);
}

bool matches(const NameFilter& filter, const char* copyName, uint64_t versionCode,
             const OSSInstanceInfo_t& entry) {
    if (!filter.any && (filter.tooLong || std::strcmp(filter.upper, entry.instanceName) != 0))
        return false;
    if (copyName && std::strcmp(copyName, entry.copyName) != 0) return false;
    return versionCode == 0 || versionCode == entry.versionCode;
}

}  // namespace

unsigned ossGetInstanceInfo(const char* type, uint64_t versionCode, const char* instanceName,
                            const char* copyName, OSSInstanceInfo_t* info, bool view64) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_INSTANCE_INFO, &rc);
    if (!info) {
        rc = GENREG_RC_NULL_INSTANCE_INFO;
        ossLog(FID_GET_INSTANCE_INFO, 1, rc, OSS_SEVERITY_ERROR, "info=null");
        return rc;
    }
    // Unlike an open, any type text other than "QVR" asks for administration servers.
    int kind = (!type || std::strcmp(type, "QVR") == 0) ? DIR_KIND_INSTANCE : DIR_KIND_ADMIN;
    DirInstanceList* list = nullptr;
    uint32_t inner = DirInstanceListOpen(kind, view64, &list);
    if (inner) {
        rc = GENREG_RC_INSTANCE_INFO_FAILED;
        ossLogRC(FID_GET_INSTANCE_INFO, 2, DIR_FID_INSTANCE_LIST_OPEN, inner, rc,
                 OSS_SEVERITY_ERROR, "type=%s", type ? type : "-");
        return rc;
    }

    NameFilter filter;
    makeFilter(instanceName, &filter);
    while ((inner = DirInstanceListNext(list, info, view64)) == 0) {
        if (matches(filter, copyName, versionCode, *info)) break;
    }
    DirInstanceListClose(list);
    if (inner == 0) return rc;
    rc = GENREG_RC_INSTANCE_INFO_FAILED;
    if (inner != GENREG_RC_NOT_FOUND)
        ossLogRC(FID_GET_INSTANCE_INFO, 3, DIR_FID_INSTANCE_LIST_NEXT, inner, rc,
                 OSS_SEVERITY_ERROR, "instance=%.63s", instanceName ? instanceName : "-");
    return rc;
}

unsigned ossGetInstanceInfo(const char* type, uint64_t versionCode, const char* instanceName,
                            OSSInstanceInfo_t* info, bool view64) {
    return ossGetInstanceInfo(type, versionCode, instanceName, nullptr, info, view64);
}

unsigned ossSetInstanceInfo(OSSInstanceInfo_t* info) {
    unsigned rc = 0;
    GENREG_TRACE(FID_SET_INSTANCE_INFO, &rc);
    if (!info) {
        rc = GENREG_RC_NULL_INSTANCE_INFO;
        ossLog(FID_SET_INSTANCE_INFO, 1, rc, OSS_SEVERITY_ERROR, "info=null");
        return rc;
    }
    return rc = GENREG_RC_NOT_SUPPORTED;
}

unsigned ossRemoveInstanceInfo(const char*, uint64_t, const char*) {
    unsigned rc = GENREG_RC_NOT_SUPPORTED;
    GENREG_TRACE(FID_REMOVE_INSTANCE_INFO, &rc);
    return rc;
}
