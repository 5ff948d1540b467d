// Line ends of text streams on POSIX: none are translated.
#include "platform/oss.h"

bool ossTextStreamsTranslateLineEnds() {
    return false;
}
