// Environment changes of this process, POSIX.
#include <genreg/rc.h>

#include <cstdlib>

#include "platform/inst.h"

unsigned instSetEnvironment(const char* name, const char* value) {
    if (name == nullptr || name[0] == '\0') return GENREG_RC_BAD_ARGUMENT;
    const int result = value ? setenv(name, value, 1) : unsetenv(name);
    return result == 0 ? 0U : (unsigned)GENREG_RC_BAD_ARGUMENT;
}
