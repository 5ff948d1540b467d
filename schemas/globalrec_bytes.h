// Little-endian integers of the global registry's stored form, read and
// written byte by byte so that the form does not depend on the host.
#ifndef GENREG_SCHEMAS_GLOBALREC_BYTES_H
#define GENREG_SCHEMAS_GLOBALREC_BYTES_H

#include <cstdint>

inline uint64_t globalGetLE(const unsigned char* bytes, unsigned width) {
    uint64_t value = 0;
    for (unsigned i = width; i > 0; --i)
        value = (value << 8) | bytes[i - 1];
    return value;
}

inline void globalPutLE(unsigned char* bytes, uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
        bytes[i] = (unsigned char)(value >> (8 * i));
}

#endif
