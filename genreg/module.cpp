// Module-wide exported data.
#include <genreg/lines.h>

extern "C" GENREG_API const int32_t qvrThisIsAQVRLibrary = 0;
