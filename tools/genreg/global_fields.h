// The fields of the global registry's three record types, as one table
// that drives the command's options, its table columns and its JSON.
#ifndef GENREG_CLI_GLOBAL_FIELDS_H
#define GENREG_CLI_GLOBAL_FIELDS_H

#include <genreg/globalreg.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "output.h"

enum GlobalFieldKind {
    kFieldText,     // terminated text in a fixed array
    kFieldVersion,  // 64-bit version code, shown as "9.7.4.0"
    kFieldUint32,
    kFieldFlag,  // 32-bit, 0 or 1
    kFieldUint8,
};

struct GlobalField {
    uint32_t type;     // GENREG_GLOBAL_INSTANCE, _SERVICE or _VARIABLE
    uint64_t bit;      // its bit in FieldMask and in a selector
    const char* name;  // option name, and the field's name in a listing
    const char* jsonName;
    const char* header;  // table column
    GlobalFieldKind kind;
    size_t offset;  // in GlobalRegRecord
    size_t size;    // bytes, terminator included for text
};

// The fields of type, in bit order.
std::vector<const GlobalField*> globalFieldsOf(uint32_t type);
// The field of type with that option name, or null.
const GlobalField* globalFieldNamed(uint32_t type, const char* name);
// Every field of every type (for the option table).
const GlobalField* globalFieldTable(size_t* count);

// "instance", "service", "variable" to a record type; 0 for anything else.
uint32_t globalTypeNamed(const std::string& word);
const char* globalTypeName(uint32_t type);
// The fields that identify a record of type: Service and InstanceName,
// Service and VersionCode, Service and Variable.
uint64_t globalKeyFields(uint32_t type);

// Stores text in the record's field and sets its bit. false and *error
// when the text does not fit the field's kind or size (an empty text
// included: the store refuses present but empty fields).
bool setGlobalField(GlobalRegRecord* record, const GlobalField& field, const std::string& text,
                    std::string* error);
// The field's value as text, or "-" when the record lacks it.
std::string globalFieldText(const GlobalRegRecord& record, const GlobalField& field);
// Writes the field's value into json (after its key).
void writeGlobalFieldJson(JsonWriter* json, const GlobalRegRecord& record,
                          const GlobalField& field);

#endif
