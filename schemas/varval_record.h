// The callbacks of the variable/value profile schema, which GenRegVarVal
// puts in the handle's slots. A record is a VarValRecord (2080 bytes); its
// text pointers point into its own line after a parse.
#ifndef GENREG_SCHEMAS_VARVAL_RECORD_H
#define GENREG_SCHEMAS_VARVAL_RECORD_H

#include <cstdint>
#include <genreg/varval.h>

// Parses one logical line: "variable = value  # comment", a comment-only
// line or a blank line. Variable and Value are null unless the parse
// succeeded, so a line that fails never matches a key.
// GENREG_RC_NULL_ARGUMENT, GENREG_RC_NO_EQUAL_SIGN, GENREG_RC_UNTERMINATED_QUOTE.
unsigned VarValUnpack(void* record, const char* line);

// Formats a record into line (GENREG_LINE_MAX characters). line holds the
// line being replaced, whose indentation and spacing around "=" the new
// line keeps, or is empty for a new line. On failure line is unchanged:
// GENREG_RC_NO_EQUAL_SIGN (template without "="), GENREG_RC_VARIABLE_MISSING
// or GENREG_RC_VALUE_MISSING (an entry without its text),
// GENREG_RC_LINE_TOO_LONG (the line would reach 2047 characters).
unsigned VarValPack(void* record, char* line);

// 1 when stored has a variable and matches key on the fields of selector
// (GENREG_VARVAL_VARIABLE, GENREG_VARVAL_VALUE), byte-wise; else 0.
int VarValCompare(uint64_t selector, const void* stored, const void* key);

// True only when VarValUnpack of line would return 0 without logging and
// VarValCompare(selector, parsed, key) would then be 0, whether or not the
// line normaliser has its buffer: for a blank or comment-only line, and,
// when the selector asks for the variable and the key's has no blank, for
// a line whose text before any "#" holds "=" and no '"' and that begins
// with another text (before or behind its leading blanks). False when it
// cannot tell.
bool VarValLineMismatch(uint64_t selector, const char* line, const void* key);

// 0, or GENREG_RC_NULL_ARGUMENT, GENREG_RC_EMPTY_RECORD,
// GENREG_RC_VARIABLE_MISSING, GENREG_RC_VALUE_MISSING.
unsigned VarValValidate(uint64_t selector, void* record);

unsigned VarValRecordSize(const void* record, uint64_t* size);
unsigned VarValMaxRecordSize(uint64_t* size);

#endif
