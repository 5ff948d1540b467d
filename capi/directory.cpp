// The C interface of the instance and administration-service directory.
// Its C records have the C++ records' layout (checked below); the lists
// are the C++ list handles under a C type.
#include <genreg/genreg_c.h>

#include <cstring>

#include "capi/capi.h"

namespace {

#define CAPI_SAME_OFFSET(CType, CppType, Field) \
    static_assert(offsetof(CType, Field) == offsetof(CppType, Field), #Field " offset")

static_assert(sizeof(genreg_instance_info_t) == sizeof(OSSInstanceInfo_t), "instance size");
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, versionCode);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, instanceName);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, type);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, profilePath);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, reserved1);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, installPath);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, remoteName);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, reserved2);
CAPI_SAME_OFFSET(genreg_instance_info_t, OSSInstanceInfo_t, copyName);

static_assert(sizeof(genreg_service_info_t) == sizeof(OSSServiceInfo_t), "service size");
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, versionCode);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, type);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, installPath);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, reserved1);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, reserved2);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, modification);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, reserved3);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, reserved4);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, reserved5);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, reserved6);
CAPI_SAME_OFFSET(genreg_service_info_t, OSSServiceInfo_t, copyName);

#undef CAPI_SAME_OFFSET

// The C++ functions write the record in place; the C record is a copy of
// the same bytes, made only when the caller gave one.
template <class Cpp, class C>
struct InfoCopy {
    Cpp record;
    C* out;
    explicit InfoCopy(C* target) : record(), out(target) {}
    Cpp* in() { return out ? &record : nullptr; }
    void give() {
        if (out) std::memcpy(out, &record, sizeof record);
    }
};

using InstanceCopy = InfoCopy<OSSInstanceInfo_t, genreg_instance_info_t>;
using ServiceCopy = InfoCopy<OSSServiceInfo_t, genreg_service_info_t>;

}  // namespace

uint32_t genreg_instance_list_open(const char* type, int32_t view64,
                                   genreg_instance_list_t** list) {
    if (list == nullptr) return GENREG_RC_NULL_ARGUMENT;
    void* opened = nullptr;
    uint32_t rc = ossOpenInstanceList(type, &opened, view64 != 0);
    *list = rc == 0 ? static_cast<genreg_instance_list_t*>(opened) : nullptr;
    return rc;
}

uint32_t genreg_instance_list_next(genreg_instance_list_t* list, genreg_instance_info_t* info,
                                   int32_t view64) {
    InstanceCopy copy(info);
    uint32_t rc = ossGetNextInstance(list, copy.in(), view64 != 0);
    copy.give();
    return rc;
}

uint32_t genreg_instance_list_close(genreg_instance_list_t* list) {
    return ossCloseInstanceList(list);
}

uint32_t genreg_instance_info_get(const char* type, uint64_t versionCode, const char* instanceName,
                                  const char* copyName, genreg_instance_info_t* info,
                                  int32_t view64) {
    InstanceCopy copy(info);
    uint32_t rc =
        ossGetInstanceInfo(type, versionCode, instanceName, copyName, copy.in(), view64 != 0);
    copy.give();
    return rc;
}

uint32_t genreg_instance_info_set(const genreg_instance_info_t* info) {
    OSSInstanceInfo_t record;
    if (info) std::memcpy(&record, info, sizeof record);
    return ossSetInstanceInfo(info ? &record : nullptr);
}

uint32_t genreg_instance_info_remove(const char* type, uint64_t versionCode,
                                     const char* instanceName) {
    return ossRemoveInstanceInfo(type, versionCode, instanceName);
}

uint32_t genreg_service_list_open(int32_t view64, genreg_service_list_t** list) {
    if (list == nullptr) return GENREG_RC_NULL_ARGUMENT;
    void* opened = nullptr;
    uint32_t rc = ossOpenServiceList(&opened, view64 != 0);
    *list = rc == 0 ? static_cast<genreg_service_list_t*>(opened) : nullptr;
    return rc;
}

uint32_t genreg_service_list_next(genreg_service_list_t* list, genreg_service_info_t* info,
                                  int32_t view64) {
    ServiceCopy copy(info);
    uint32_t rc = ossGetNextService(list, copy.in(), view64 != 0);
    copy.give();
    return rc;
}

uint32_t genreg_service_list_close(genreg_service_list_t* list) {
    return ossCloseServiceList(list);
}

uint32_t genreg_service_info_get(const char* type, uint64_t versionCode, const char* installPath,
                                 const char* copyName, genreg_service_info_t* info,
                                 int32_t view64) {
    ServiceCopy copy(info);
    uint32_t rc =
        ossGetServiceInfo(type, versionCode, installPath, copyName, copy.in(), view64 != 0);
    copy.give();
    return rc;
}

uint32_t genreg_service_info_set(const genreg_service_info_t* info) {
    OSSServiceInfo_t record;
    if (info) std::memcpy(&record, info, sizeof record);
    return ossSetServiceInfo(info ? &record : nullptr);
}

uint32_t genreg_service_info_remove(const char* type, uint64_t versionCode) {
    return ossRemoveServiceInfo(type, versionCode);
}
