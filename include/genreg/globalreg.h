// The machine-wide global registry file "global.reg": instance, service and
// variable records in one binary file.
#ifndef GENREG_GLOBALREG_H
#define GENREG_GLOBALREG_H

#include <cstdint>
#include <genreg/handle.h>

// GlobalRegRecord.RecordType
enum : uint32_t {
    GENREG_GLOBAL_INSTANCE = 1,
    GENREG_GLOBAL_SERVICE = 2,
    GENREG_GLOBAL_VARIABLE = 4,
};

// Field bits (FieldMask, MissingFieldMask, and the selector) of each type.
enum : uint64_t {
    GENREG_INST_SERVICE = 0x1,
    GENREG_INST_VERSION_CODE = 0x2,
    GENREG_INST_NAME = 0x4,
    GENREG_INST_PATH = 0x8,
    GENREG_INST_USAGE = 0x10,
    GENREG_INST_START_AT_BOOT = 0x20,
    GENREG_INST_MAINTENANCE = 0x40,
    GENREG_INST_TEXT128 = 0x80,
    GENREG_INST_TEXT256 = 0x100,
    GENREG_INST_COMMENT = 0x200,
    GENREG_INST_KNOWN = 0x3FF,

    GENREG_SVC_SERVICE = 0x1,
    GENREG_SVC_VERSION_CODE = 0x2,
    GENREG_SVC_TEXT4 = 0x4,
    GENREG_SVC_TEXT8 = 0x8,
    GENREG_SVC_TEXT16 = 0x10,
    GENREG_SVC_LEVEL = 0x20,
    GENREG_SVC_INT64 = 0x40,
    GENREG_SVC_FLAG128 = 0x80,
    GENREG_SVC_INT256 = 0x100,
    GENREG_SVC_INT512 = 0x200,
    GENREG_SVC_KNOWN = 0x3FF,

    GENREG_VAR_SERVICE = 0x1,
    GENREG_VAR_VARIABLE = 0x2,
    GENREG_VAR_VALUE = 0x4,
    GENREG_VAR_TEXT8 = 0x8,
    GENREG_VAR_COMMENT = 0x10,
    GENREG_VAR_KNOWN = 0x1F,
};

struct GlobalInstanceFields {
    char Service[64];
    uint64_t VersionCode;
    char InstanceName[64];
    char InstancePath[1024];
    char Usage[64];
    uint32_t StartAtBoot;  // 0 or 1
    uint32_t Maintenance;  // 0 or 1
    char InstanceText128[1024];
    char InstanceText256[64];
    char Comment[256];
};

struct GlobalServiceFields {
    char Service[64];  // the service kind, "QVR" or "PLV"
    uint64_t VersionCode;
    char ServiceText4[1024];
    char ServiceText8[1024];
    char ServiceText16[256];
    uint32_t Level;
    uint32_t ServiceInt64;
    uint8_t ServiceFlag128;
    uint32_t ServiceInt256;
    uint32_t ServiceInt512;
};

struct GlobalVariableFields {
    char Service[64];
    char Variable[256];
    char Value[256];
    char VariableText8[1024];
    char Comment[976];
};

// One record in memory, 2608 bytes. Only the fields whose bit is set in
// FieldMask are stored; the others hold zero.
struct GlobalRegRecord {
    uint32_t RecordType;
    uint64_t FieldMask;
    uint64_t MissingFieldMask;  // known fields the stored form lacked
    union {
        GlobalInstanceFields Instance;
        GlobalServiceFields Service;
        GlobalVariableFields Variable;
    };
    int32_t CheckSum;  // carried through unchanged
};

// Found through QVR_GLOBAL_REG_PATHNAME, else "global.reg" in the current
// directory. The constructors report nothing: a handle whose path does not
// fit refuses updates and scans with GENREG_RC_NOT_INITIALIZED.
class GENREG_API GlobalReg : public GenRegBin {
public:
    GlobalReg();
    explicit GlobalReg(bool unused);
    ~GlobalReg();
    static unsigned PrintRecord(const void* record);
};

// Writes the global registry file's path into buffer. *length is the
// buffer's capacity on entry and the length needed, terminator included, on
// return (also when it is too small: GENREG_RC_GLOBAL_PATH_TOO_LONG).
GENREG_API unsigned GetGlobalRegPathName(char* buffer, uint16_t* length);

// Brings the "QVR" and "PLV" service records of the running version up to
// the running level number; *count receives the number of records changed.
GENREG_API unsigned UpgradeServiceLevels(GlobalReg* handle, uint64_t* count);

#endif
