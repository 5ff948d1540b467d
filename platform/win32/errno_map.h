// The C runtime error number that best matches a Windows error, for
// failures the layer reports through errno (stream opening, injected faults).
#ifndef GENREG_PLATFORM_WIN32_ERRNO_MAP_H
#define GENREG_PLATFORM_WIN32_ERRNO_MAP_H

#include <cstdint>

int ossWinErrnoOf(uint32_t windowsError);

#endif
