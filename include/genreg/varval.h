// Text profile of "variable = value  # comment" lines, with typed getters.
#ifndef GENREG_VARVAL_H
#define GENREG_VARVAL_H

#include <cstdint>
#include <genreg/handle.h>

// Selector bits of a profile record.
enum : uint64_t { GENREG_VARVAL_VARIABLE = 0x1, GENREG_VARVAL_VALUE = 0x2 };
// VarValRecord.Contains
enum : uint8_t { GENREG_VARVAL_HAS_COMMENT = 1, GENREG_VARVAL_HAS_VARIABLE = 2 };

// One line of a profile, 2080 bytes. After a parse the three text pointers
// point into line; a caller building a record may point them anywhere.
struct VarValRecord {
    uint8_t Contains;  // GENREG_VARVAL_HAS_*; 0 for a blank line
    char* Comment;     // text after the first '#', or null
    char* Variable;    // variable name, or null
    char* Value;       // value text (a quoted value keeps its quotes), or null
    char line[GENREG_LINE_MAX];
};

class GENREG_API GenRegVarVal : public GenRegText {
public:
    // The object always exists; *rc is 0 when it is usable.
    GenRegVarVal(const char* path, unsigned* rc);
    ~GenRegVarVal();

    // Prints the record to standard output for diagnostics; returns 0.
    static unsigned PrintRecord(const void* record);

    // Typed getters: read the first line that holds name and convert its
    // value. False (output untouched) when the name is missing, the file
    // cannot be read or the value does not convert as a whole. The integer
    // getters also refuse an empty value, a number outside the type's range
    // and, unsigned, a negative number.
    //
    // The text GetStringValue returns lives in a buffer owned by this
    // handle: it stays valid until the next getter call on the handle, or
    // its destruction.
    bool GetStringValue(const char* name, const char** value);
    bool GetBooleanValue(const char* name, bool* value);
    bool GetDoubleValue(const char* name, double* value);
    bool GetSintValue(const char* name, int64_t* value);
    bool GetUintValue(const char* name, uint64_t* value);

private:
    VarValRecord getterResult_;
};

#endif
