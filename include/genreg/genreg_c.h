/* The C interface of the genreg library.
 *
 * Plain functions over opaque handles, for programs that cannot use the C++
 * classes: programs built with another compiler or runtime, and languages
 * that call C functions (C#, Delphi, Python ctypes). The header compiles as
 * C99 and as C++; the functions are exported by their plain names from the
 * same shared library (libQVRGENREG_ZAVOVOV364.so, QVRGENREG_ZAVOVOV364.dll)
 * as the C++ classes, and each does what the C++ member or function it names
 * does: this layer adds no behaviour of its own.
 *
 * Conventions of every function:
 *   - The result is a return code: GENREG_RC_OK (0), or one of the
 *     GENREG_RC_* failure codes (0x9000xxxx), or a code the operating system
 *     gave. A required pointer that is null gives GENREG_RC_NULL_ARGUMENT
 *     and changes nothing; a handle of the wrong schema (a services handle
 *     given to genreg_varval_get) gives GENREG_RC_BAD_ARGUMENT.
 *   - Nothing of C++, no FILE* and no bool crosses the boundary: a truth
 *     value is an int32_t, 0 for false and anything else for true.
 *   - Records are plain structures with fixed-size fields, owned by the
 *     caller. Records given to the library are only read; records it fills
 *     are written whole on success.
 *   - Texts returned through "const char**" (return-code names, the string
 *     getter) are owned by the library; the comment of each function says
 *     how long they stay valid. The caller never frees them.
 *   - A handle (genreg_handle_t, the lists) belongs to the caller from the
 *     function that opens it to the one that closes it, and serves one
 *     thread at a time, as a C++ object does.
 */
#ifndef GENREG_GENREG_C_H
#define GENREG_GENREG_C_H

#include <stddef.h>
#include <stdint.h>

#include <genreg/export.h>
#include <genreg/rc.h>

#ifdef __cplusplus
/* C++ sees the constants of the class headers themselves. */
#include <genreg/binvarval.h>
#include <genreg/directory.h>
#include <genreg/globalreg.h>
#include <genreg/handle.h>
#include <genreg/services.h>
#include <genreg/varval.h>
#else
/* ---- constants, for C (C++ takes them from the class headers) ---------- */

/* The return codes, made from the one list in <genreg/rc.h>. In C they are
 * objects, not constant expressions: compare with them, do not switch. */
static const uint32_t GENREG_RC_OK = 0U;
#define GENREG_RC_C_CONSTANT_(name, value, meaning) static const uint32_t name = value;
GENREG_RC_LIST(GENREG_RC_C_CONSTANT_)
#undef GENREG_RC_C_CONSTANT_

#define GENREG_PATH_MAX 260
#define GENREG_LINE_MAX 2048
/* A selector that asks for the equality of two whole records. */
#define GENREG_SELECT_ALL 0xFFFFFFFFFFFFFFFFULL

/* Wait limits of genreg_lock_for_update, in milliseconds. */
#define GENREG_WAIT_NONE 0U
#define GENREG_WAIT_FOREVER 0xFFFFFFFFU

/* Feature bits (genreg_set_feature and friends). */
#define GENREG_FEATURE_VERIFY 0x1ULL
#define GENREG_FEATURE_DUPLICATES 0x2ULL
#define GENREG_FEATURE_PACKED 0x4ULL
#define GENREG_FEATURE_BIG_ENDIAN_LENGTH 0x8ULL
#define GENREG_FEATURE_GET_IN_SCAN 0x10ULL
#define GENREG_FEATURE_NOTIFY 0x20ULL
#define GENREG_FEATURE_POST_UPDATE 0x40ULL
#define GENREG_FEATURE_JOIN_LINES 0x80ULL
#define GENREG_FEATURE_CHECKSUM 0x100ULL

/* Variable/value profile: selector bits and Contains bits. */
#define GENREG_VARVAL_VARIABLE 0x1ULL
#define GENREG_VARVAL_VALUE 0x2ULL
#define GENREG_VARVAL_HAS_COMMENT 1
#define GENREG_VARVAL_HAS_VARIABLE 2

/* Services file: selector bits and Contains bits. */
#define GENREG_SERVICES_NAME 0x1ULL
#define GENREG_SERVICES_PORT 0x2ULL
#define GENREG_SERVICES_PROTOCOL 0x4ULL
#define GENREG_SERVICES_COMMENT 1
#define GENREG_SERVICES_ENTRY 2
#define GENREG_SERVICES_UNRECOGNISED 4

/* Binary variable/value file: selector bits. */
#define GENREG_BINVARVAL_VARIABLE 0x1ULL
#define GENREG_BINVARVAL_VALUE 0x2ULL

/* Global registry: record types, and the field bits of each type (used in
 * FieldMask, MissingFieldMask and as the selector). */
#define GENREG_GLOBAL_INSTANCE 1U
#define GENREG_GLOBAL_SERVICE 2U
#define GENREG_GLOBAL_VARIABLE 4U
#define GENREG_INST_SERVICE 0x1ULL
#define GENREG_INST_VERSION_CODE 0x2ULL
#define GENREG_INST_NAME 0x4ULL
#define GENREG_INST_PATH 0x8ULL
#define GENREG_INST_USAGE 0x10ULL
#define GENREG_INST_START_AT_BOOT 0x20ULL
#define GENREG_INST_MAINTENANCE 0x40ULL
#define GENREG_INST_TEXT128 0x80ULL
#define GENREG_INST_TEXT256 0x100ULL
#define GENREG_INST_COMMENT 0x200ULL
#define GENREG_INST_KNOWN 0x3FFULL
#define GENREG_SVC_SERVICE 0x1ULL
#define GENREG_SVC_VERSION_CODE 0x2ULL
#define GENREG_SVC_TEXT4 0x4ULL
#define GENREG_SVC_TEXT8 0x8ULL
#define GENREG_SVC_TEXT16 0x10ULL
#define GENREG_SVC_LEVEL 0x20ULL
#define GENREG_SVC_INT64 0x40ULL
#define GENREG_SVC_FLAG128 0x80ULL
#define GENREG_SVC_INT256 0x100ULL
#define GENREG_SVC_INT512 0x200ULL
#define GENREG_SVC_KNOWN 0x3FFULL
#define GENREG_VAR_SERVICE 0x1ULL
#define GENREG_VAR_VARIABLE 0x2ULL
#define GENREG_VAR_VALUE 0x4ULL
#define GENREG_VAR_TEXT8 0x8ULL
#define GENREG_VAR_COMMENT 0x10ULL
#define GENREG_VAR_KNOWN 0x1FULL

/* genreg_instance_info_t.flags */
#define OSS_INSTANCE_AUTOSTART 0x1ULL
#define OSS_INSTANCE_REMOTE 0x4ULL
#define OSS_INSTANCE_CLUSTERED 0x8ULL
#define OSS_INSTANCE_DISABLED 0x10ULL
#endif /* __cplusplus */

/* Which texts of a text record are present (the Present word below). The
 * C++ record tells an absent text (a null pointer) from an empty one, and
 * so do these bits: a text whose bit is clear is absent, whatever its
 * array holds. */
#define GENREG_VARVAL_FIELD_VARIABLE 0x1U
#define GENREG_VARVAL_FIELD_VALUE 0x2U
#define GENREG_VARVAL_FIELD_COMMENT 0x4U
#define GENREG_SERVICES_FIELD_NAME 0x1U
#define GENREG_SERVICES_FIELD_PROTOCOL 0x2U
#define GENREG_SERVICES_FIELD_ALIASES 0x4U
#define GENREG_SERVICES_FIELD_COMMENT 0x8U

#ifdef __cplusplus
extern "C" {
#endif

/* ---- handles -------------------------------------------------------------- */

/* One open schema object: a profile, services file, binary variable/value
 * file or the global registry. Opened by genreg_*_open, released by
 * genreg_close. It holds no open file between calls, except a scan the
 * caller keeps open from genreg_open_scan to genreg_close_scan. */
typedef struct genreg_handle genreg_handle_t;
/* An instance list (genreg_instance_list_open ... _close). */
typedef struct genreg_instance_list genreg_instance_list_t;
/* A service list (genreg_service_list_open ... _close). */
typedef struct genreg_service_list genreg_service_list_t;

/* ---- records -------------------------------------------------------------- */

/* One line of a variable/value profile ("variable = value  # comment").
 * Contains holds GENREG_VARVAL_HAS_* (0 for a blank line); Present says
 * which of the three texts exist. Texts are NUL-terminated. */
typedef struct genreg_varval_record {
    uint32_t Contains;
    uint32_t Present; /* GENREG_VARVAL_FIELD_* */
    char Variable[GENREG_LINE_MAX];
    char Value[GENREG_LINE_MAX]; /* a quoted value keeps its quotes */
    char Comment[GENREG_LINE_MAX];
} genreg_varval_record_t;

/* One line of a services file ("name port/protocol aliases  # comment").
 * Contains holds GENREG_SERVICES_*; Present says which texts exist. */
typedef struct genreg_services_record {
    uint32_t Contains;
    uint32_t Present; /* GENREG_SERVICES_FIELD_* */
    uint16_t port;    /* network byte order: most significant byte first */
    char name[GENREG_LINE_MAX];
    char protocol[GENREG_LINE_MAX];
    /* The aliases, each followed by one space except the last; an empty
     * list is absent (its Present bit clear). */
    char aliases[GENREG_LINE_MAX];
    char comment[GENREG_LINE_MAX];
} genreg_services_record_t;

/* A binary variable/value record, 36 bytes, stored byte for byte. A text of
 * 16 characters fills its field without a terminator. */
typedef struct genreg_binvarval_record {
    char Variable[16];
    int32_t Value;
    char Comment[16];
} genreg_binvarval_record_t;

typedef struct genreg_global_instance {
    char Service[64];
    uint64_t VersionCode;
    char InstanceName[64];
    char InstancePath[1024];
    char Usage[64];
    uint32_t StartAtBoot; /* 0 or 1 */
    uint32_t Maintenance; /* 0 or 1 */
    char InstanceText128[1024];
    char InstanceText256[64];
    char Comment[256];
} genreg_global_instance_t;

typedef struct genreg_global_service {
    char Service[64]; /* the service kind, "QVR" or "PLV" */
    uint64_t VersionCode;
    char ServiceText4[1024];
    char ServiceText8[1024];
    char ServiceText16[256];
    uint32_t Level;
    uint32_t ServiceInt64;
    uint8_t ServiceFlag128;
    uint32_t ServiceInt256;
    uint32_t ServiceInt512;
} genreg_global_service_t;

typedef struct genreg_global_variable {
    char Service[64];
    char Variable[256];
    char Value[256];
    char VariableText8[1024];
    char Comment[976];
} genreg_global_variable_t;

/* One global registry record, 2608 bytes, laid out as the C++ record. Only
 * the fields whose bit is set in FieldMask are stored; RecordType chooses
 * the member of Fields. */
typedef struct genreg_global_record {
    uint32_t RecordType; /* GENREG_GLOBAL_* */
    uint64_t FieldMask;
    uint64_t MissingFieldMask; /* known fields the stored form lacked */
    union {
        genreg_global_instance_t Instance;
        genreg_global_service_t Service;
        genreg_global_variable_t Variable;
    } Fields;
    int32_t CheckSum; /* carried through unchanged */
} genreg_global_record_t;

/* An installed instance or administration server. */
typedef struct genreg_instance_info {
    uint64_t flags; /* OSS_INSTANCE_* */
    uint64_t versionCode;
    char instanceName[64];
    char type[64]; /* "QVR" or "PLV" */
    char profilePath[1024];
    char reserved1[64];
    char installPath[1024];
    char remoteName[64];
    char reserved2[256];
    char copyName[129]; /* empty for the top-level copy */
} genreg_instance_info_t;

/* An installed copy's service. */
typedef struct genreg_service_info {
    uint64_t flags;
    uint64_t versionCode;
    char type[64]; /* "QVR" or "PLV" */
    char installPath[1024];
    char reserved1[1024];
    char reserved2[256];
    uint32_t modification; /* bits 16 to 31 of versionCode */
    uint32_t reserved3;
    uint8_t reserved4;
    uint32_t reserved5;
    uint32_t reserved6;
    char copyName[129]; /* empty for the top-level copy */
} genreg_service_info_t;

/* ---- opening and closing ---------------------------------------------------- */

/* Each opens its schema on the registry file at path (which need not exist
 * yet; no file is opened). On success *handle is a new handle the caller
 * must give to genreg_close; on failure *handle is null and the result is
 * the constructor's code (GENREG_RC_PATH_TOO_LONG, GENREG_RC_NULL_ARGUMENT,
 * ...), or GENREG_RC_NO_MEMORY. */
GENREG_API uint32_t genreg_varval_open(const char* path, genreg_handle_t** handle);
GENREG_API uint32_t genreg_services_open(const char* path, genreg_handle_t** handle);
GENREG_API uint32_t genreg_binvarval_open(const char* path, genreg_handle_t** handle);
/* The global registry file is found as the C++ GlobalReg finds it: through
 * the environment variable QVR_GLOBAL_REG_PATHNAME, else "global.reg" in the
 * current directory. Its constructor reports nothing, so this fails only
 * with GENREG_RC_NO_MEMORY: a handle whose path did not fit refuses its
 * updates and scans with GENREG_RC_NOT_INITIALIZED. */
GENREG_API uint32_t genreg_global_open(genreg_handle_t** handle);
/* Closes whatever the handle still holds open (a scan) and frees it. A null
 * handle is harmless. The handle must not be used afterwards. */
GENREG_API uint32_t genreg_close(genreg_handle_t* handle);

/* ---- features and the scan cursor (any handle) ------------------------------ */

/* setFeature: the bits of feature (1 to 256), else GENREG_RC_BAD_FEATURE. */
GENREG_API uint32_t genreg_set_feature(genreg_handle_t* handle, uint64_t feature);
/* unsetFeature: GENREG_RC_BAD_FEATURE, GENREG_RC_FEATURE_NOT_SET. */
GENREG_API uint32_t genreg_unset_feature(genreg_handle_t* handle, uint64_t feature);
/* *set = 1 when any bit of feature is set, else 0. */
GENREG_API uint32_t genreg_is_feature_set(genreg_handle_t* handle, uint64_t feature, int32_t* set);
/* OpenScan: keeps the registry file open and shared-locked between calls;
 * the genreg_*_get_next functions read from it. While it is open, updates
 * on this handle refuse to start. */
GENREG_API uint32_t genreg_open_scan(genreg_handle_t* handle);
/* CloseScan: harmless without an open scan. */
GENREG_API uint32_t genreg_close_scan(genreg_handle_t* handle);
GENREG_API uint32_t genreg_rewind(genreg_handle_t* handle);
/* An opaque position of the open scan, valid only for that scan. */
GENREG_API uint32_t genreg_get_position(genreg_handle_t* handle, int64_t* position);
GENREG_API uint32_t genreg_set_position(genreg_handle_t* handle, int64_t position);

/* LockForUpdate: takes the update lock for the caller, so that a lookup
 * and the update that depends on it run while no other updater comes
 * between them; this handle's add, change and delete run under it until
 * genreg_unlock_for_update or genreg_close. waitMilliseconds:
 * GENREG_WAIT_NONE fails at once with GENREG_RC_LOCKED when another handle
 * holds the lock, GENREG_WAIT_FOREVER waits until it is granted, any other
 * value waits at most about that long. GENREG_RC_LOCK_ALREADY_HELD when
 * this handle holds it already. */
GENREG_API uint32_t genreg_lock_for_update(genreg_handle_t* handle, uint32_t waitMilliseconds);
/* UnlockForUpdate: gives the hold up; 0 and nothing done without one. */
GENREG_API uint32_t genreg_unlock_for_update(genreg_handle_t* handle);

/* ---- records of each schema ------------------------------------------------- */

/* For each schema, as the C++ store operations:
 *   get       the first record matching key on the fields of selector, into
 *             result; GENREG_RC_NO_MATCH when none does.
 *   get_next  the next matching record of the open scan, into result;
 *             GENREG_RC_NOT_FOUND at the end. With selector 0 every
 *             record matches; a text store then needs no key (null), a
 *             binary store still wants one (GENREG_RC_NULL_ARGUMENT).
 *   add       appends record; GENREG_RC_DUPLICATE when one matches it and
 *             duplicates are not allowed.
 *   change    replaces the records matching key by record;
 *             GENREG_RC_UNCHANGED, GENREG_RC_MULTIPLE_MATCHES,
 *             GENREG_RC_NO_MATCH.
 *   delete    removes the records matching key.
 *   print     prints the record to standard output, for diagnostics.
 * key and record are only read: the library works on its own copies. */
GENREG_API uint32_t genreg_varval_get(genreg_handle_t* handle, uint64_t selector,
                                      const genreg_varval_record_t* key,
                                      genreg_varval_record_t* result);
GENREG_API uint32_t genreg_varval_get_next(genreg_handle_t* handle, uint64_t selector,
                                           const genreg_varval_record_t* key,
                                           genreg_varval_record_t* result);
GENREG_API uint32_t genreg_varval_add(genreg_handle_t* handle, uint64_t selector,
                                      const genreg_varval_record_t* record);
GENREG_API uint32_t genreg_varval_change(genreg_handle_t* handle, uint64_t selector,
                                         const genreg_varval_record_t* key,
                                         const genreg_varval_record_t* record);
GENREG_API uint32_t genreg_varval_delete(genreg_handle_t* handle, uint64_t selector,
                                         const genreg_varval_record_t* key);
GENREG_API uint32_t genreg_varval_print(const genreg_varval_record_t* record);

/* The typed getters of a profile: the value of the first line that holds
 * name, converted. GENREG_RC_NOT_FOUND, *value untouched, when the name is
 * missing, the file cannot be read or the value does not convert as a
 * whole. The text genreg_varval_get_string gives is owned by the handle
 * and stays valid until the next getter call on it or genreg_close. */
GENREG_API uint32_t genreg_varval_get_string(genreg_handle_t* handle, const char* name,
                                             const char** value);
GENREG_API uint32_t genreg_varval_get_boolean(genreg_handle_t* handle, const char* name,
                                              int32_t* value);
GENREG_API uint32_t genreg_varval_get_double(genreg_handle_t* handle, const char* name,
                                             double* value);
GENREG_API uint32_t genreg_varval_get_sint(genreg_handle_t* handle, const char* name,
                                           int64_t* value);
GENREG_API uint32_t genreg_varval_get_uint(genreg_handle_t* handle, const char* name,
                                           uint64_t* value);

GENREG_API uint32_t genreg_services_get(genreg_handle_t* handle, uint64_t selector,
                                        const genreg_services_record_t* key,
                                        genreg_services_record_t* result);
GENREG_API uint32_t genreg_services_get_next(genreg_handle_t* handle, uint64_t selector,
                                             const genreg_services_record_t* key,
                                             genreg_services_record_t* result);
GENREG_API uint32_t genreg_services_add(genreg_handle_t* handle, uint64_t selector,
                                        const genreg_services_record_t* record);
GENREG_API uint32_t genreg_services_change(genreg_handle_t* handle, uint64_t selector,
                                           const genreg_services_record_t* key,
                                           const genreg_services_record_t* record);
GENREG_API uint32_t genreg_services_delete(genreg_handle_t* handle, uint64_t selector,
                                           const genreg_services_record_t* key);
GENREG_API uint32_t genreg_services_print(const genreg_services_record_t* record);

GENREG_API uint32_t genreg_binvarval_get(genreg_handle_t* handle, uint64_t selector,
                                         const genreg_binvarval_record_t* key,
                                         genreg_binvarval_record_t* result);
GENREG_API uint32_t genreg_binvarval_get_next(genreg_handle_t* handle, uint64_t selector,
                                              const genreg_binvarval_record_t* key,
                                              genreg_binvarval_record_t* result);
GENREG_API uint32_t genreg_binvarval_add(genreg_handle_t* handle, uint64_t selector,
                                         const genreg_binvarval_record_t* record);
GENREG_API uint32_t genreg_binvarval_change(genreg_handle_t* handle, uint64_t selector,
                                            const genreg_binvarval_record_t* key,
                                            const genreg_binvarval_record_t* record);
GENREG_API uint32_t genreg_binvarval_delete(genreg_handle_t* handle, uint64_t selector,
                                            const genreg_binvarval_record_t* key);
GENREG_API uint32_t genreg_binvarval_print(const genreg_binvarval_record_t* record);

GENREG_API uint32_t genreg_global_get(genreg_handle_t* handle, uint64_t selector,
                                      const genreg_global_record_t* key,
                                      genreg_global_record_t* result);
GENREG_API uint32_t genreg_global_get_next(genreg_handle_t* handle, uint64_t selector,
                                           const genreg_global_record_t* key,
                                           genreg_global_record_t* result);
GENREG_API uint32_t genreg_global_add(genreg_handle_t* handle, uint64_t selector,
                                      const genreg_global_record_t* record);
GENREG_API uint32_t genreg_global_change(genreg_handle_t* handle, uint64_t selector,
                                         const genreg_global_record_t* key,
                                         const genreg_global_record_t* record);
GENREG_API uint32_t genreg_global_delete(genreg_handle_t* handle, uint64_t selector,
                                         const genreg_global_record_t* key);
GENREG_API uint32_t genreg_global_print(const genreg_global_record_t* record);

/* ---- the global registry file ----------------------------------------------- */

/* GetGlobalRegPathName: writes the global registry file's path into buffer.
 * *length is the buffer's capacity on entry and the length needed,
 * terminator included, on return (also when it is too small:
 * GENREG_RC_GLOBAL_PATH_TOO_LONG). */
GENREG_API uint32_t genreg_global_path(char* buffer, uint16_t* length);
/* UpgradeServiceLevels: brings the "QVR" and "PLV" service records of the
 * running version up to the running level; *count receives the number of
 * records changed. handle must be a global registry handle. */
GENREG_API uint32_t genreg_global_upgrade_levels(genreg_handle_t* handle, uint64_t* count);

/* ---- installed instances and services --------------------------------------- */

/* view64 non-zero opens local registry keys with the 64-bit view. */

/* Opens a list of "QVR" instances or "PLV" administration servers. On
 * success *list must be given to genreg_instance_list_close once. */
GENREG_API uint32_t genreg_instance_list_open(const char* type, int32_t view64,
                                              genreg_instance_list_t** list);
/* The next entry into *info; GENREG_RC_NOT_FOUND at the end. */
GENREG_API uint32_t genreg_instance_list_next(genreg_instance_list_t* list,
                                              genreg_instance_info_t* info, int32_t view64);
GENREG_API uint32_t genreg_instance_list_close(genreg_instance_list_t* list);
/* The first entry of the type's list with the name (compared as the C++
 * lookup compares it), of copy copyName (null: any copy) and versionCode
 * (0: any). GENREG_RC_INSTANCE_INFO_FAILED when none. */
GENREG_API uint32_t genreg_instance_info_get(const char* type, uint64_t versionCode,
                                             const char* instanceName, const char* copyName,
                                             genreg_instance_info_t* info, int32_t view64);
/* Not supported by the library: GENREG_RC_NOT_SUPPORTED (after its
 * argument check). */
GENREG_API uint32_t genreg_instance_info_set(const genreg_instance_info_t* info);
GENREG_API uint32_t genreg_instance_info_remove(const char* type, uint64_t versionCode,
                                                const char* instanceName);

GENREG_API uint32_t genreg_service_list_open(int32_t view64, genreg_service_list_t** list);
GENREG_API uint32_t genreg_service_list_next(genreg_service_list_t* list,
                                             genreg_service_info_t* info, int32_t view64);
GENREG_API uint32_t genreg_service_list_close(genreg_service_list_t* list);
/* The first service of type, installPath (null: any), copy copyName (null:
 * any) and versionCode (0: any). GENREG_RC_SERVICE_INFO_FAILED when none. */
GENREG_API uint32_t genreg_service_info_get(const char* type, uint64_t versionCode,
                                            const char* installPath, const char* copyName,
                                            genreg_service_info_t* info, int32_t view64);
GENREG_API uint32_t genreg_service_info_set(const genreg_service_info_t* info);
GENREG_API uint32_t genreg_service_info_remove(const char* type, uint64_t versionCode);

/* ---- version codes ------------------------------------------------------------ */

/* ossVersionCodeQVRToService: product number 9070400 to its version code. */
GENREG_API uint32_t genreg_version_from_number(uint32_t productNumber, uint64_t* versionCode);
/* ossVersionCodeServiceToQVR: version code to its product number. */
GENREG_API uint32_t genreg_version_to_number(uint64_t versionCode, int32_t* productNumber);
/* ossVersionCodeToString: "9.7.4.0" into buffer of size bytes. */
GENREG_API uint32_t genreg_version_to_string(uint64_t versionCode, char* buffer, uint64_t size);
/* ossVersionStringToCode. */
GENREG_API uint32_t genreg_version_from_string(const char* text, uint64_t* versionCode);

/* ---- return codes and diagnostics --------------------------------------------- */

/* The constant name ("GENREG_RC_LOCKED") or the one-line meaning of a code,
 * as static text of the library; GENREG_RC_NOT_FOUND, *text null, for a
 * value that is not one of the library's codes. */
GENREG_API uint32_t genreg_rc_name(uint32_t rc, const char** name);
GENREG_API uint32_t genreg_rc_meaning(uint32_t rc, const char** meaning);
/* The code of a constant name; GENREG_RC_NOT_FOUND, *rc 0, when unknown. */
GENREG_API uint32_t genreg_rc_from_name(const char* name, uint32_t* rc);

/* genregSetLogFile, genregSetTraceFile: append the diagnostic log or the
 * trace to path from now on; a null path turns it off. */
GENREG_API uint32_t genreg_set_log_file(const char* path);
GENREG_API uint32_t genreg_set_trace_file(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* GENREG_GENREG_C_H */
