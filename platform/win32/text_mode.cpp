// Text streams on Windows: the runtime library writes "\n" as CR LF and
// reads CR LF as "\n", and a 0x1A byte ends the input of a text stream.
#include "platform/oss.h"

bool ossTextStreamsTranslateLineEnds() {
    return true;
}

int ossTextStreamEndOfInputByte() {
    return 0x1A;
}
