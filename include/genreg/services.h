// Services file of "name port/protocol aliases  # comment" lines.
#ifndef GENREG_SERVICES_H
#define GENREG_SERVICES_H

#include <cstdint>
#include <genreg/handle.h>

// Selector bits of a services record.
enum : uint64_t {
    GENREG_SERVICES_NAME = 0x1,
    GENREG_SERVICES_PORT = 0x2,
    GENREG_SERVICES_PROTOCOL = 0x4
};
// ServicesRecord.Contains
enum : uint8_t {
    GENREG_SERVICES_COMMENT = 1,       // a comment, or an empty line
    GENREG_SERVICES_ENTRY = 2,         // a service entry (name set)
    GENREG_SERVICES_UNRECOGNISED = 4,  // port/protocol word not recognised
};
// Size of the alias table, its terminating null entry included.
#define GENREG_SERVICES_ALIAS_SLOTS 128

// One line of a services file, 3120 bytes. Fields name to port follow the
// platform's service entry: name, aliases, protocol, port in network order.
struct ServicesRecord {
    uint8_t Contains;
    char* comment;
    char* name;
    char** aliases;  // null-terminated list, or null
    char* protocol;
    uint16_t port;  // network byte order
    char line[GENREG_LINE_MAX];
    char* aliasTable[GENREG_SERVICES_ALIAS_SLOTS];
};

class GENREG_API GenRegServices : public GenRegText {
public:
    GenRegServices(const char* path, unsigned* rc);
    ~GenRegServices();
    static unsigned PrintRecord(const void* record);
};

#endif
