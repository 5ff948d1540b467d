// The callbacks of the services-file schema, which GenRegServices puts in
// the handle's slots. A record is a ServicesRecord (3120 bytes); its text
// pointers point into its own line and alias table after a parse.
#ifndef GENREG_SCHEMAS_SERVICES_RECORD_H
#define GENREG_SCHEMAS_SERVICES_RECORD_H

#include <cstdint>
#include <genreg/services.h>

// Parses "name port/protocol alias...  # comment", a comment line or a
// blank line. A port/protocol word without '/' or with an unknown protocol
// parses with GENREG_SERVICES_UNRECOGNISED set (a warning is logged).
// Alias words beyond the table's 127 entries are ignored.
// GENREG_RC_NULL_ARGUMENT, GENREG_RC_SERVICE_NO_PORT.
unsigned ServicesUnpack(void* record, const char* line);

// Formats a record into line (GENREG_LINE_MAX characters; the line being
// replaced is no template, except that a line ending in CR LF gives the
// new line a CR LF too). On failure line is unchanged:
// GENREG_RC_SERVICE_NAME_MISSING, _PORT_MISSING, _PROTOCOL_MISSING;
// GENREG_RC_SERVICE_FIELD_UNWRITABLE for a field the line cannot hold so
// that it parses back the same (a name, protocol or alias that is empty or
// holds a blank or '#', aliases behind a protocol the parse does not know
// or more of them than the alias table holds, a comment with a character
// that is not a tab or printable); or GENREG_RC_LINE_TOO_LONG when the
// line would not fit the buffer.
unsigned ServicesPack(void* record, char* line);

// Comment and blank lines match each other by comment text; entries by the
// fields of selector (GENREG_SERVICES_NAME, _PORT, _PROTOCOL), and with
// GENREG_SELECT_ALL (two whole entries) by their aliases too. 1 or 0.
int ServicesCompare(uint64_t selector, const void* stored, const void* key);

unsigned ServicesValidate(uint64_t selector, void* record);
unsigned ServicesRecordSize(const void* record, uint64_t* size);
unsigned ServicesMaxRecordSize(uint64_t* size);

// Port numbers in network byte order (most significant byte first in
// memory), whatever the host's order.
uint16_t ServicesPortToNetwork(uint16_t port);
uint16_t ServicesPortFromNetwork(uint16_t networkPort);

#endif
