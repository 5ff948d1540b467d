// Environment changes of this process, Windows: through the C runtime, so
// that getenv sees them, which also passes them on to the process's own
// environment block for the children it starts.
#include <genreg/rc.h>

#include <cstdlib>

#include "platform/inst.h"

unsigned instSetEnvironment(const char* name, const char* value) {
    if (name == nullptr || name[0] == '\0') return GENREG_RC_BAD_ARGUMENT;
    // An empty value removes the variable: the runtime cannot hold an
    // empty one.
    return _putenv_s(name, value ? value : "") == 0 ? 0U : (unsigned)GENREG_RC_BAD_ARGUMENT;
}
