// Line ends of text streams on Windows: the runtime library writes "\n" as
// CR LF and reads CR LF as "\n" in text mode.
#include "platform/oss.h"

bool ossTextStreamsTranslateLineEnds() {
    return true;
}
