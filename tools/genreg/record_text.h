// Reading the texts of records the library hands back.
#ifndef GENREG_CLI_RECORD_TEXT_H
#define GENREG_CLI_RECORD_TEXT_H

#include <cstdint>
#include <cstring>
#include <string>

// text when it points into record and ends inside it, else null. The
// text stores hand back records whose pointers point into the record's own
// line; a line that failed to parse may leave a pointer behind that points
// elsewhere, and such a field is treated as absent.
template <typename Record>
const char* ownText(const Record& record, const char* text) {
    uintptr_t begin = reinterpret_cast<uintptr_t>(&record);
    uintptr_t at = reinterpret_cast<uintptr_t>(text);
    if (!text || at < begin || at >= begin + sizeof(Record)) return nullptr;
    if (!std::memchr(text, '\0', begin + sizeof(Record) - at)) return nullptr;
    return text;
}

// The text of a fixed field that may fill it without a terminator.
template <size_t N>
std::string fieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// text without the blanks and tabs at its ends; "" for null.
std::string trimmed(const char* text);

#endif
