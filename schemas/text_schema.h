// What the constructors of the text schemas share: the checks of the path,
// the callback slots and the companion file names.
#ifndef GENREG_SCHEMAS_TEXT_SCHEMA_H
#define GENREG_SCHEMAS_TEXT_SCHEMA_H

#include <cstdint>
#include <genreg/handle.h>

struct TextSchemaSlots {
    GenRegCompareFn compare;
    GenRegValidateFn validate;
    GenRegPrintFn print;
    GenRegRecordSizeFn recordSize;
    GenRegMaxRecordSizeFn maxRecordSize;
    GenRegTextPackFn pack;
    GenRegTextUnpackFn unpack;
};

// Checks path (GENREG_RC_NULL_ARGUMENT, GENREG_RC_PATH_TOO_LONG), fills the
// seven slots, derives the companion paths and sets GENREG_STATE_PATHS_SET
// (GENREG_RC_BASENAME_FAILED, GENREG_RC_DIRNAME_FAILED). Failures are logged
// under functionId; the handle is then not usable.
unsigned InstallTextSchema(GenRegText* handle, const char* path, uint32_t functionId,
                           const TextSchemaSlots& slots);

#endif
