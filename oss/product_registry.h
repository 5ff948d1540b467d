// The product's registry layout and the two readers that the instance and
// service directories share: a copy's version code and its installation
// path.
//
// Layout below HKEY_LOCAL_MACHINE:
//   SOFTWARE\Tavrin\QVR                      product root; also the top-level copy
//   ...\QVR\INSTALLEDCOPIES\<copy>           one key per installed copy
//   <copy key>\CurrentVersion                "Version", "Release", "Modification",
//                                            "Service Level" as decimal texts
//   <copy key>  "QVR Path Name"              installation path
//   <copy key>\PROFILES\<instance>           instances
//   <copy key>\PLV_PROFILES\<instance>       administration servers
//   ...\QVR\<edition>\CurrentVersion         a level, when a copy has none of its own
//
// Copy names: at most 128 characters; the empty name is the top-level copy.
// Every function answers with a Windows error number or GENREG_RC_NOT_FOUND
// (the top-level copy's failures), as documented per function.
#ifndef GENREG_OSS_PRODUCT_REGISTRY_H
#define GENREG_OSS_PRODUCT_REGISTRY_H

#include <cstddef>
#include <cstdint>

#include "platform/registry.h"

#define DIR_PRODUCT_KEY "SOFTWARE\\Tavrin\\QVR"
#define DIR_COPIES_KEY "SOFTWARE\\Tavrin\\QVR\\INSTALLEDCOPIES"

enum : size_t {
    DIR_COPY_NAME_SIZE = 129,      // 128 characters and the terminator
    DIR_INSTALL_PATH_LIMIT = 260,  // bytes of an installation path, terminator included
    DIR_LEVEL_VALUE_LIMIT = 16,    // bytes of one level number text, terminator included
    DIR_KEY_PATH_SIZE = 512,       // room for any key path built here
    DIR_EDITION_COUNT = 12,
};

// Fallback subkeys of the product root for a level, tried in this order.
extern const char* const kDirEditionNames[DIR_EDITION_COUNT];

// The access mask of a local key for the 64-bit view flag.
inline uint32_t DirAccessMask(bool view64) {
    return view64 ? OSS_REG_KEY_READ_64 : OSS_REG_KEY_READ;
}

// Reads the text value name of key into out, which has room for limit
// bytes. 0 with out terminated; 234 when the text and its terminator need
// more than limit bytes; otherwise the query's error. out is an empty text
// after any failure, never unterminated.
uint32_t DirQueryText(OSSRegKey key, const char* name, char* out, uint32_t limit);

// The version code of a copy: CurrentVersion of the copy key, else of the
// first edition key that exists. 0 and *versionCode; for a named copy the
// Windows error of the failing open or query (unlogged), for the top-level
// copy GENREG_RC_NOT_FOUND (logged with the numbers read so far).
// *versionCode is written only on success.
uint32_t DirReadCopyVersion(const char* copyName, uint64_t* versionCode, bool view64);

// The installation path of a copy ("QVR Path Name", at most 259
// characters, one trailing backslash removed) into out, which has room
// for at least DIR_INSTALL_PATH_LIMIT bytes. 0; for a named copy the
// Windows error; for the top-level copy GENREG_RC_NOT_FOUND. Failures to
// open the copy key are logged.
uint32_t DirReadInstallPath(const char* copyName, char* out, bool view64);

// Formats a key path into out of DIR_KEY_PATH_SIZE bytes; false when it
// does not fit.
bool DirFormatKey(char* out, const char* format, ...);

// ASCII upper case of c, whatever the locale.
inline char DirUpper(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

#endif
