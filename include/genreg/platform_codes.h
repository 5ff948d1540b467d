// Codes that reach a caller from below the library's own: the return codes
// of the operating-system services layer, and the Windows error numbers
// that the installed-copy readers pass through unchanged (on POSIX the
// stand-in registry answers with the same numbers).
//
// Each family is one list, X(NAME, value, "meaning"), as GENREG_RC_LIST is
// for the library's codes (genreg/rc.h): the platform layer generates its
// constants from it, and the log and the genreg command their names and
// meanings, so a name and its value can never drift apart. The memory
// failure 0x9000000d is GENREG_RC_NO_MEMORY in both families and is listed
// there only.
#ifndef GENREG_PLATFORM_CODES_H
#define GENREG_PLATFORM_CODES_H

// clang-format off
#define GENREG_PLATFORM_RC_LIST(X) \
    X(OSS_RC_FAILED, 0x90000001U, "a call of the operating-system services failed; the log says which (also a registry export file that is malformed, unreadable or larger than 64 MiB)") \
    X(OSS_RC_ACCESS_DENIED, 0x90000002U, "permission denied, a read-only file or file system, or a sharing violation") \
    X(OSS_RC_BUFFER_TOO_SMALL, 0x90000003U, "a path or output does not fit its buffer") \
    X(OSS_RC_BAD_ARGUMENT, 0x90000004U, "a null pointer, a wrong interface version word or an invalid combination was passed to the services") \
    X(OSS_RC_ALREADY_EXISTS, 0x90000006U, "a file of that name already exists (exclusive creation)") \
    X(OSS_RC_DISK_FULL, 0x90000007U, "the disk or the user's quota is full, or the file would grow too large") \
    X(OSS_RC_LOCK_NOT_AVAILABLE, 0x90000014U, "a file lock asked for in fail-at-once mode is held by another handle or process") \
    X(OSS_RC_NOT_REGULAR_FILE, 0x90000015U, "the name is held by something other than a regular file: a FIFO, a device, a directory, or a symbolic link where none is accepted") \
    X(OSS_RC_BUSY, 0x90000016U, "a refusal that ends by itself once other processes move on (Windows: a sharing violation, or a deleted file still open elsewhere); worth a short retry, unlike OSS_RC_ACCESS_DENIED") \
    X(OSS_RC_FILE_NOT_FOUND, 0x9000003fU, "the file to delete does not exist")

#define GENREG_WINDOWS_ERROR_LIST(X) \
    X(OSS_WINERR_FILE_NOT_FOUND, 2U, "Windows error: no such registry key, value or service (a copy without its CurrentVersion key, for instance), or a registry export file that does not exist") \
    X(OSS_WINERR_ACCESS_DENIED, 5U, "Windows error: access to a registry key or service is denied") \
    X(OSS_WINERR_INVALID_HANDLE, 6U, "Windows error: a registry key or service handle is not valid") \
    X(OSS_WINERR_INVALID_DATA, 13U, "Windows error: a registry value holds data of the wrong form") \
    X(OSS_WINERR_OUTOFMEMORY, 14U, "Windows error: not enough memory") \
    X(OSS_WINERR_BAD_NETPATH, 53U, "Windows error: the remote machine of an instance cannot be reached") \
    X(OSS_WINERR_BUFFER_OVERFLOW, 111U, "Windows error: a text does not fit its field (a profile directory and instance name, for instance)") \
    X(OSS_WINERR_INSUFFICIENT_BUFFER, 122U, "Windows error: a conversion's output does not fit") \
    X(OSS_WINERR_MORE_DATA, 234U, "Windows error: a registry value or name does not fit its buffer (a level number of more than 15 characters, a path of more than 259)") \
    X(OSS_WINERR_NO_MORE_ITEMS, 259U, "Windows error: an enumeration went past the last registry subkey") \
    X(OSS_WINERR_BADDB, 1009U, "Windows error: the registry (on POSIX, its export file) is malformed") \
    X(OSS_WINERR_NO_UNICODE_TRANSLATION, 1113U, "Windows error: a text has no translation between UTF-16 and the ANSI code page") \
    X(OSS_WINERR_PROC_NOT_FOUND, 0xFFFFFFFFU, "a cluster registry entry point is missing from the cluster library")
// clang-format on

#endif
