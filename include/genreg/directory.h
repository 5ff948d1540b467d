// Installed instances, administration servers and copy services of the
// local machine, read from the product's registry layout.
//
// The last boolean of every function is the 64-bit registry view flag:
// true opens local keys with the 64-bit view.
#ifndef GENREG_DIRECTORY_H
#define GENREG_DIRECTORY_H

#include <cstdint>
#include <genreg/export.h>

// OSSInstanceInfo_t.flags
enum : uint64_t {
    OSS_INSTANCE_AUTOSTART = 0x1,  // its Windows service starts automatically
    OSS_INSTANCE_REMOTE = 0x4,     // its profile registry is on another machine
    OSS_INSTANCE_CLUSTERED = 0x8,
    OSS_INSTANCE_DISABLED = 0x10,  // its Windows service is disabled
};

struct OSSInstanceInfo_t {
    uint64_t flags;
    uint64_t versionCode;
    char instanceName[64];
    char type[64];  // "QVR" or "PLV"
    char profilePath[1024];
    char reserved1[64];
    char installPath[1024];
    char remoteName[64];
    char reserved2[256];
    char copyName[129];  // empty for the top-level copy
};

struct OSSServiceInfo_t {
    uint64_t flags;
    uint64_t versionCode;
    char type[64];  // "QVR" or "PLV"
    char installPath[1024];
    char reserved1[1024];
    char reserved2[256];
    uint32_t modification;  // bits 16 to 31 of versionCode
    uint32_t reserved3;
    uint8_t reserved4;
    uint32_t reserved5;
    uint32_t reserved6;
    char copyName[129];  // empty for the top-level copy
};

// Instance lists: open, read until GENREG_RC_NOT_FOUND, close once.
GENREG_API unsigned ossOpenInstanceList(const char* type, void** list, bool view64);
GENREG_API unsigned ossOpenInstanceList(const char* type, void** list, bool unused, bool view64);
GENREG_API unsigned ossGetNextInstance(void* list, OSSInstanceInfo_t* info, bool view64);
GENREG_API unsigned ossCloseInstanceList(void* list);
GENREG_API unsigned ossGetInstanceInfo(const char* type, uint64_t versionCode,
                                       const char* instanceName, const char* copyName,
                                       OSSInstanceInfo_t* info, bool view64);
GENREG_API unsigned ossGetInstanceInfo(const char* type, uint64_t versionCode,
                                       const char* instanceName, OSSInstanceInfo_t* info,
                                       bool view64);
GENREG_API unsigned ossSetInstanceInfo(OSSInstanceInfo_t* info);
GENREG_API unsigned ossRemoveInstanceInfo(const char* type, uint64_t versionCode,
                                          const char* instanceName);

// Service lists.
GENREG_API unsigned ossOpenServiceList(void** list, bool view64);
GENREG_API unsigned ossGetNextService(void* list, OSSServiceInfo_t* info, bool view64);
GENREG_API unsigned ossCloseServiceList(void* list);
GENREG_API unsigned ossGetServiceInfo(const char* type, uint64_t versionCode,
                                      const char* installPath, const char* copyName,
                                      OSSServiceInfo_t* info, bool view64);
GENREG_API unsigned ossGetServiceInfo(const char* type, uint64_t versionCode,
                                      const char* installPath, OSSServiceInfo_t* info, bool view64);
GENREG_API unsigned ossSetServiceInfo(OSSServiceInfo_t* info);
GENREG_API unsigned ossRemoveServiceInfo(const char* type, uint64_t versionCode);

#endif
