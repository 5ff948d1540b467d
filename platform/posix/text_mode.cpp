// Text streams on POSIX: no line ends are translated and no byte ends the
// input early.
#include "platform/oss.h"

bool ossTextStreamsTranslateLineEnds() {
    return false;
}

int ossTextStreamEndOfInputByte() {
    return -1;
}
