// The C interface of the services file: genreg_services_record_t, whose
// alias list is one text of space-separated names, converted to and from
// ServicesRecord with its table of alias pointers.
#include <genreg/genreg_c.h>

#include <cstring>

#include "capi/capi.h"

namespace {

struct ServicesScratch {
    genreg_services_record_t texts;  // the caller's texts, terminated
    char* aliasTable[GENREG_SERVICES_ALIAS_SLOTS];
};

struct ServicesTraits {
    using Store = GenRegServices;
    using Record = ServicesRecord;
    using CRecord = genreg_services_record_t;
    using Scratch = ServicesScratch;
    static const CapiKind kKind = CAPI_SERVICES;

    // Cuts the alias text into words in place, as many as the table holds
    // before its terminating null entry.
    static void splitAliases(char* text, char** table) {
        size_t count = 0;
        char* cursor = text;
        while (count < GENREG_SERVICES_ALIAS_SLOTS - 1) {
            while (*cursor == ' ' || *cursor == '\t')
                ++cursor;
            if (*cursor == '\0') break;
            table[count++] = cursor;
            while (*cursor != '\0' && *cursor != ' ' && *cursor != '\t')
                ++cursor;
            if (*cursor != '\0') *cursor++ = '\0';
        }
        table[count] = nullptr;
    }

    static void toCpp(const CRecord& in, Scratch* scratch, Record* out) {
        genreg_services_record_t* texts = &scratch->texts;
        CapiTerminatedCopy(texts->name, in.name, sizeof in.name);
        CapiTerminatedCopy(texts->protocol, in.protocol, sizeof in.protocol);
        CapiTerminatedCopy(texts->aliases, in.aliases, sizeof in.aliases);
        CapiTerminatedCopy(texts->comment, in.comment, sizeof in.comment);
        out->Contains = (uint8_t)in.Contains;
        out->port = in.port;
        out->name = (in.Present & GENREG_SERVICES_FIELD_NAME) ? texts->name : nullptr;
        out->protocol = (in.Present & GENREG_SERVICES_FIELD_PROTOCOL) ? texts->protocol : nullptr;
        out->comment = (in.Present & GENREG_SERVICES_FIELD_COMMENT) ? texts->comment : nullptr;
        out->aliases = nullptr;
        if (in.Present & GENREG_SERVICES_FIELD_ALIASES) {
            splitAliases(texts->aliases, scratch->aliasTable);
            out->aliases = scratch->aliasTable;
        }
    }

    static void toC(const Record& in, CRecord* out) {
        out->Contains = in.Contains;
        out->port = in.port;
        out->Present = (in.name ? GENREG_SERVICES_FIELD_NAME : 0U) |
                       (in.protocol ? GENREG_SERVICES_FIELD_PROTOCOL : 0U) |
                       (in.aliases ? GENREG_SERVICES_FIELD_ALIASES : 0U) |
                       (in.comment ? GENREG_SERVICES_FIELD_COMMENT : 0U);
        CapiCopyText(out->name, sizeof out->name, in.name);
        CapiCopyText(out->protocol, sizeof out->protocol, in.protocol);
        CapiCopyText(out->comment, sizeof out->comment, in.comment);
        // The words came from one line, so joined they fit a line's size.
        size_t used = 0;
        out->aliases[0] = '\0';
        for (char* const* alias = in.aliases; alias && *alias; ++alias) {
            const size_t length = std::strlen(*alias);
            if (used + (used ? 1 : 0) + length >= sizeof out->aliases) break;
            if (used) out->aliases[used++] = ' ';
            std::memcpy(out->aliases + used, *alias, length + 1);
            used += length;
        }
    }
};

using Records = CapiRecords<ServicesTraits>;

}  // namespace

uint32_t genreg_services_get(genreg_handle_t* handle, uint64_t selector,
                             const genreg_services_record_t* key,
                             genreg_services_record_t* result) {
    return Records::get(handle, selector, key, result, false);
}

uint32_t genreg_services_get_next(genreg_handle_t* handle, uint64_t selector,
                                  const genreg_services_record_t* key,
                                  genreg_services_record_t* result) {
    return Records::get(handle, selector, key, result, true);
}

uint32_t genreg_services_add(genreg_handle_t* handle, uint64_t selector,
                             const genreg_services_record_t* record) {
    return Records::update(handle, selector, nullptr, record, GENREG_TXN_ADD);
}

uint32_t genreg_services_change(genreg_handle_t* handle, uint64_t selector,
                                const genreg_services_record_t* key,
                                const genreg_services_record_t* record) {
    return Records::update(handle, selector, key, record, GENREG_TXN_CHANGE);
}

uint32_t genreg_services_delete(genreg_handle_t* handle, uint64_t selector,
                                const genreg_services_record_t* key) {
    return Records::update(handle, selector, key, nullptr, GENREG_TXN_DELETE);
}

uint32_t genreg_services_print(const genreg_services_record_t* record) {
    return Records::print(record);
}
