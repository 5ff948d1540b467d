// Product version codes: four 16-bit groups (version, release,
// modification, service level from the high bits down), their dotted text
// "9.7.4.0" and the product version number 9070400.
#ifndef GENREG_VERSION_H
#define GENREG_VERSION_H

#include <cstdint>
#include <genreg/export.h>

GENREG_API uint64_t ossVersionCodeQVRToService(uint32_t productNumber);
GENREG_API int32_t ossVersionCodeServiceToQVR(uint64_t versionCode);
GENREG_API unsigned ossVersionCodeToString(uint64_t versionCode, char* buffer, uint64_t size);
GENREG_API unsigned ossVersionStringToCode(const char* text, uint64_t* versionCode);

#endif
