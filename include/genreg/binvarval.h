// Binary file of fixed 36-byte variable/value records.
#ifndef GENREG_BINVARVAL_H
#define GENREG_BINVARVAL_H

#include <cstdint>
#include <genreg/handle.h>

enum : uint64_t { GENREG_BINVARVAL_VARIABLE = 0x1, GENREG_BINVARVAL_VALUE = 0x2 };

// Stored byte for byte. Text fields hold at most 15 characters and a
// terminator; a field of 16 characters is read as exactly those 16.
struct BinVarValRecord {
    char Variable[16];
    int32_t Value;  // little-endian on disk
    char Comment[16];
};

class GENREG_API GenRegBinVarVal : public GenRegBin {
public:
    GenRegBinVarVal(const char* path, unsigned* rc);
    ~GenRegBinVarVal();
    // GENREG_RC_NULL_ARGUMENT for a null record, else prints it; 0.
    static unsigned PrintRecord(const void* record);
};

#endif
