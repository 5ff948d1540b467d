// Where the global registry file lives: the path named by
// QVR_GLOBAL_REG_PATHNAME, or "global.reg" in the current directory.
#ifndef GENREG_SCHEMAS_GLOBALREG_PATH_H
#define GENREG_SCHEMAS_GLOBALREG_PATH_H

#include <cstddef>

// The path and its terminator fit in this many characters, or the handle
// gets no paths.
const size_t kGlobalRegPathCapacity = 261;
// Characters of the default path "./global.reg" (".\global.reg" on
// Windows), terminator included.
const size_t kGlobalRegDefaultPathNeeded = 13;

// The default path, built with the platform's separator.
unsigned GlobalRegDefaultPath(char* out, size_t size);
// Characters the path needs, terminator included.
size_t GlobalRegPathNeeded();
// The path into out (size characters); GENREG_RC_GLOBAL_PATH_TOO_LONG when
// it does not fit. A variable set to the empty text gives the empty path.
unsigned GlobalRegPath(char* out, size_t size);

#endif
