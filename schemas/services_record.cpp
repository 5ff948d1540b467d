// The services-file record: parse, format, compare, validate, print and
// size callbacks.
#include <genreg/rc.h>
#include <genreg/services.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "genreg/textline.h"
#include "genreg/trace.h"
#include "platform/oss.h"
#include "schemas/line_builder.h"
#include "schemas/services_record.h"

static_assert(sizeof(ServicesRecord) == 3120, "a services record is a 3120-byte block");

namespace {

enum : uint32_t {
    FID_UNPACK = GENREG_FID(0x0080),
    FID_PACK = GENREG_FID(0x0081),
    FID_COMPARE = GENREG_FID(0x0082),
    FID_VALIDATE = GENREG_FID(0x0083),
    FID_PRINT = GENREG_FID(0x0084),
    FID_RECORD_SIZE = GENREG_FID(0x0085),
};

const char* const kProtocols[] = {"udp", "tcp", "ddp", "divert"};

bool knownProtocol(const char* protocol) {
    for (const char* known : kProtocols)
        if (std::strcmp(protocol, known) == 0) return true;
    return false;
}

bool sameText(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return std::strcmp(a, b) == 0;
}

// A word the parse reads back as it stands: not empty, and neither a blank
// (which separates words, a line end included) nor the '#' that starts a
// comment.
bool isWord(const char* text) {
    return text[0] != '\0' && std::strpbrk(text, " \t\r\n#") == nullptr;
}

// A comment the parse reads back as it stands: printable characters and
// tabs only (the parse replaces any other, and a line end would end the
// line).
bool isCommentText(const char* text) {
    for (const unsigned char* p = (const unsigned char*)text; *p != '\0'; ++p)
        if (*p != '\t' && (*p < 0x20 || *p > 0x7E)) return false;
    return true;
}

// Which field of an entry the line cannot hold, or null when it holds
// them all. The name, port and protocol are present.
const char* unwritableField(const ServicesRecord* r) {
    if ((r->Contains & GENREG_SERVICES_ENTRY) != 0) {
        if (!isWord(r->name)) return "name";
        if (!isWord(r->protocol)) return "protocol";
        if (r->aliases != nullptr) {
            size_t count = 0;
            for (char** alias = r->aliases; *alias != nullptr; ++alias, ++count)
                if (!isWord(*alias)) return "alias";
            // The parse keeps no aliases behind a protocol it does not
            // know, and no more than its table holds.
            if (count > 0 && !knownProtocol(r->protocol)) return "aliases of an unknown protocol";
            if (count > GENREG_SERVICES_ALIAS_SLOTS - 1) return "alias count";
        }
    }
    if ((r->Contains & GENREG_SERVICES_COMMENT) && r->comment != nullptr &&
        !isCommentText(r->comment))
        return "comment";
    return nullptr;
}

size_t aliasCount(const ServicesRecord* r) {
    size_t count = 0;
    if (r->aliases != nullptr)
        while (r->aliases[count] != nullptr)
            ++count;
    return count;
}

bool sameAliases(const ServicesRecord* a, const ServicesRecord* b) {
    const size_t count = aliasCount(a);
    if (count != aliasCount(b)) return false;
    for (size_t k = 0; k < count; ++k)
        if (std::strcmp(a->aliases[k], b->aliases[k]) != 0) return false;
    return true;
}

bool endsWithCrLf(const char* text) {
    size_t length = std::strlen(text);
    return length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n';
}

// An empty line: a line end and nothing else.
bool isEmptyLine(const char* line) {
    return std::strcmp(line, "\n") == 0 || std::strcmp(line, "\r\n") == 0;
}

}  // namespace

uint16_t ServicesPortToNetwork(uint16_t port) {
    const uint8_t bytes[2] = {(uint8_t)(port >> 8), (uint8_t)(port & 0xFF)};
    uint16_t networkPort;
    std::memcpy(&networkPort, bytes, sizeof networkPort);
    return networkPort;
}

uint16_t ServicesPortFromNetwork(uint16_t networkPort) {
    uint8_t bytes[2];
    std::memcpy(bytes, &networkPort, sizeof bytes);
    return (uint16_t)((bytes[0] << 8) | bytes[1]);
}

unsigned ServicesUnpack(void* record, const char* line) {
    unsigned rc = 0;
    GENREG_TRACE(FID_UNPACK, &rc);
    ServicesRecord* r = (ServicesRecord*)record;
    if (r == nullptr || line == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_UNPACK, 1, rc, OSS_SEVERITY_ERROR, "record=%p line=%p", record,
               (const void*)line);
        return rc;
    }
    std::memset((void*)r, 0, sizeof *r);
    CopyLineText(r->line, line);

    char* hash = std::strchr(r->line, '#');
    if (hash != nullptr) {
        r->Contains = GENREG_SERVICES_COMMENT;
        *hash = '\0';
        r->comment = hash + 1;
        MakePrintable(r->comment);
    }
    NormalizeLine(r->line);  // a failure leaves the text as it was: still parsed

    char* cursor = r->line;
    char* word = nullptr;
    if (NextToken(&word, &cursor) != 0) {
        // An empty line counts as a comment line without text.
        if (isEmptyLine(line)) r->Contains = GENREG_SERVICES_COMMENT;
        return rc;
    }
    r->Contains |= GENREG_SERVICES_ENTRY;
    r->name = word;
    if (NextToken(&word, &cursor) != 0) {
        rc = GENREG_RC_SERVICE_NO_PORT;
        ossLog(FID_UNPACK, 2, rc, OSS_SEVERITY_ERROR, "name=%s", r->name);
        return rc;
    }
    char* slash = std::strchr(word, '/');
    if (slash == nullptr) {
        r->Contains |= GENREG_SERVICES_UNRECOGNISED;
        ossLog(FID_UNPACK, 3, GENREG_RC_SERVICE_NO_SLASH, OSS_SEVERITY_WARNING, "name=%s word=%s",
               r->name, word);
        return rc;
    }
    *slash = '\0';
    // The port is kept to 16 bits, as the service entry stores it.
    r->port = ServicesPortToNetwork((uint16_t)std::strtol(word, nullptr, 10));
    r->protocol = slash + 1;
    if (!knownProtocol(r->protocol)) {
        r->Contains |= GENREG_SERVICES_UNRECOGNISED;
        ossLog(FID_UNPACK, 4, GENREG_RC_SERVICE_BAD_PROTOCOL, OSS_SEVERITY_WARNING,
               "name=%s protocol=%s", r->name, r->protocol);
        return rc;
    }
    // The table keeps its last slot for the terminating null entry; alias
    // words beyond it are ignored.
    size_t count = 0;
    while (count < GENREG_SERVICES_ALIAS_SLOTS - 1 && NextToken(&word, &cursor) == 0)
        r->aliasTable[count++] = word;
    if (count > 0) {
        r->aliasTable[count] = nullptr;
        r->aliases = r->aliasTable;
    }
    return rc;
}

unsigned ServicesPack(void* record, char* line) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PACK, &rc);
    const ServicesRecord* r = (const ServicesRecord*)record;
    if (r == nullptr || line == nullptr) {
        rc = GENREG_RC_NULL_ARGUMENT;
        ossLog(FID_PACK, 1, rc, OSS_SEVERITY_ERROR, "record=%p line=%p", record, (void*)line);
        return rc;
    }
    const unsigned port = ServicesPortFromNetwork(r->port);
    LineBuilder out;
    if (r->Contains & GENREG_SERVICES_ENTRY) {
        if (r->name == nullptr)
            rc = GENREG_RC_SERVICE_NAME_MISSING;
        else if (r->port == 0)
            rc = GENREG_RC_SERVICE_PORT_MISSING;
        else if (r->protocol == nullptr)
            rc = GENREG_RC_SERVICE_PROTOCOL_MISSING;
        if (rc != 0) {
            ossLog(FID_PACK, 2, rc, OSS_SEVERITY_ERROR, "port=%u", port);
            return rc;
        }
    }
    // What is written must read back as the same entry in every field.
    if (const char* field = unwritableField(r)) {
        rc = GENREG_RC_SERVICE_FIELD_UNWRITABLE;
        ossLog(FID_PACK, 4, rc, OSS_SEVERITY_ERROR, "field=%s", field);
        return rc;
    }
    // A line replaced in a file of CR LF lines keeps its CR LF (the line
    // being replaced is no template otherwise).
    const bool crLf = endsWithCrLf(line);
    if (r->Contains & GENREG_SERVICES_ENTRY) {
        out.append(r->name);
        out.append(std::strlen(r->name) < 8 ? "\t\t" : "\t");
        char number[8];
        std::snprintf(number, sizeof number, "%u/", port);
        out.append(number);
        out.append(r->protocol);
        if (r->aliases != nullptr) {
            out.append(port < 1000 ? "\t\t" : "\t");
            for (char** alias = r->aliases; *alias != nullptr; ++alias) {
                if (alias != r->aliases) out.append(" ");
                out.append(*alias);
            }
        }
    }
    if ((r->Contains & GENREG_SERVICES_COMMENT) && r->comment != nullptr) {
        if (r->aliases == nullptr)
            out.append(port < 1000 ? "\t\t\t\t" : "\t\t\t");
        else
            // An empty alias list has no first alias to measure: one tab.
            out.append(r->aliases[0] != nullptr && std::strlen(r->aliases[0]) < 8 ? "\t\t" : "\t");
        out.append("# ");
        out.append(r->comment);
    }
    if (crLf) out.append("\r");
    if (out.tooLong) {
        rc = GENREG_RC_LINE_TOO_LONG;
        ossLog(FID_PACK, 3, rc, OSS_SEVERITY_ERROR, "limit=%zu", LineBuilder::kLimit);
        return rc;
    }
    out.finishInto(line);
    return rc;
}

int ServicesCompare(uint64_t selector, const void* stored, const void* key) {
    int match = 0;
    GENREG_TRACE(FID_COMPARE, &match);
    const ServicesRecord* s = (const ServicesRecord*)stored;
    const ServicesRecord* k = (const ServicesRecord*)key;
    if (s == nullptr || k == nullptr) return match;
    if (s->Contains == GENREG_SERVICES_COMMENT && k->Contains == GENREG_SERVICES_COMMENT) {
        match = sameText(s->comment, k->comment) ? 1 : 0;
        return match;
    }
    if (!(s->Contains & GENREG_SERVICES_ENTRY) || !(k->Contains & GENREG_SERVICES_ENTRY))
        return match;
    if ((selector & GENREG_SERVICES_NAME) && !sameText(s->name, k->name)) return match;
    if ((selector & GENREG_SERVICES_PORT) && s->port != k->port) return match;
    if ((selector & GENREG_SERVICES_PROTOCOL) && !sameText(s->protocol, k->protocol)) return match;
    // Two whole entries are equal only with the same aliases too, so that
    // a verification sees a changed alias list (the comment, which the
    // format writes behind "# ", reads back with a leading blank).
    if (selector == GENREG_SELECT_ALL && !sameAliases(s, k)) return match;
    match = 1;
    return match;
}

unsigned ServicesValidate(uint64_t selector, void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_VALIDATE, &rc);
    const ServicesRecord* r = (const ServicesRecord*)record;
    if (r == nullptr)
        rc = GENREG_RC_NULL_ARGUMENT;
    else if (r->Contains == 0)
        rc = GENREG_RC_EMPTY_RECORD;
    else if ((selector & GENREG_SERVICES_NAME) && r->name == nullptr)
        rc = GENREG_RC_SERVICE_NAME_REQUIRED;
    else if ((selector & GENREG_SERVICES_PORT) && r->port == 0)
        rc = GENREG_RC_SERVICE_PORT_REQUIRED;
    else if ((selector & GENREG_SERVICES_PROTOCOL) && r->protocol == nullptr)
        rc = GENREG_RC_SERVICE_PROTOCOL_REQUIRED;
    if (rc != 0)
        ossLog(FID_VALIDATE, 1, rc, OSS_SEVERITY_ERROR, "selector=0x%llx",
               (unsigned long long)selector);
    return rc;
}

unsigned GenRegServices::PrintRecord(const void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PRINT, &rc);
    const ServicesRecord* r = (const ServicesRecord*)record;
    if (r == nullptr) return rc;
    auto printText = [](const char* label, const char* text) {
        if (text)
            std::printf("   %s = |%s|\n", label, text);
        else
            std::printf("   %s = NULL\n", label);
    };
    printText("name    ", r->name);
    std::printf("   port     = %d\n", (int)(int16_t)r->port);
    printText("protocol", r->protocol);
    printText("comment ", r->comment);
    return rc;
}

unsigned ServicesRecordSize(const void*, uint64_t* size) {
    GENREG_TRACE(FID_RECORD_SIZE, nullptr);
    *size = sizeof(ServicesRecord);
    return 0;
}

unsigned ServicesMaxRecordSize(uint64_t* size) {
    GENREG_TRACE(FID_RECORD_SIZE, nullptr);
    *size = sizeof(ServicesRecord);
    return 0;
}
