// The attributes and security descriptor the swap carries onto a copy, the
// deletion of read-only companions, and the retry policy of the swap.
#include "platform/win32/file_state.h"

#include <cstdlib>

#include "platform/oss.h"
#include "platform/oss_sys.h"

namespace {

// The attributes of a registry file that a copy must keep; read-only comes
// with the permission bits the transaction sets.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr LONG kStatusDeletePending = (LONG)0xC0000056L;

typedef LONG(WINAPI* LastNtStatusFn)();

// A file whose deletion is pending refuses every open with the same error
// as an access control list does; only the system's own status tells
// them apart. Read right after the refused call.
bool lastRefusalIsDeletePending() {
    static const LastNtStatusFn lastStatus =
        (LastNtStatusFn)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetLastNtStatus");
    return lastStatus && lastStatus() == kStatusDeletePending;
}

// True when path exists and its access control list refuses this process
// the right to delete (or rename) it.
bool deletionRefused(const char* path) {
    if (!path) return false;
    HANDLE file = CreateFileA(path, DELETE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_ACCESS_DENIED && !lastRefusalIsDeletePending();
}

bool setAttributes(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Reads the security items what of file into a block from malloc; null on
// failure (last error set).
PSECURITY_DESCRIPTOR securityOf(HANDLE file, SECURITY_INFORMATION what) {
    DWORD needed = 0;
    GetKernelObjectSecurity(file, what, nullptr, 0, &needed);
    if (needed == 0) return nullptr;
    PSECURITY_DESCRIPTOR security = std::malloc(needed);
    if (!security) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!GetKernelObjectSecurity(file, what, security, needed, &needed)) {
        DWORD error = GetLastError();
        std::free(security);
        SetLastError(error);
        return nullptr;
    }
    return security;
}

bool sameSid(PSID a, PSID b) {
    if (!a || !b) return a == b;
    return EqualSid(a, b) != 0;
}

// Which of owner and group of wanted differ from those of file (they need
// the right to take or give ownership); 0 when both are the same.
SECURITY_INFORMATION ownershipToChange(HANDLE file, PSECURITY_DESCRIPTOR wanted) {
    PSID wantedOwner = nullptr, wantedGroup = nullptr, owner = nullptr, group = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(wanted, &wantedOwner, &defaulted);
    GetSecurityDescriptorGroup(wanted, &wantedGroup, &defaulted);
    PSECURITY_DESCRIPTOR own =
        securityOf(file, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION);
    if (!own) return OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
    GetSecurityDescriptorOwner(own, &owner, &defaulted);
    GetSecurityDescriptorGroup(own, &group, &defaulted);
    SECURITY_INFORMATION change = 0;
    if (wantedOwner && !sameSid(wantedOwner, owner)) change |= OWNER_SECURITY_INFORMATION;
    if (wantedGroup && !sameSid(wantedGroup, group)) change |= GROUP_SECURITY_INFORMATION;
    std::free(own);
    return change;
}

// Giving a file another owner than oneself needs the restore privilege,
// which an elevated installer holds but has not enabled. It is enabled for
// the one call and put back as it was; false when the token lacks it.
struct PrivilegeScope {
    HANDLE token = nullptr;
    TOKEN_PRIVILEGES previous = {};
    bool enabled = false;
};

void enableRestorePrivilege(PrivilegeScope* scope) {
    TOKEN_PRIVILEGES wanted = {};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &wanted.Privileges[0].Luid) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          &scope->token)) {
        scope->token = nullptr;
        return;
    }
    DWORD size = sizeof scope->previous;
    scope->enabled = AdjustTokenPrivileges(scope->token, FALSE, &wanted, sizeof scope->previous,
                                           &scope->previous, &size) &&
                     GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

void endPrivilegeScope(PrivilegeScope* scope) {
    DWORD error = GetLastError();
    if (scope->enabled)
        AdjustTokenPrivileges(scope->token, FALSE, &scope->previous, 0, nullptr, nullptr);
    if (scope->token) CloseHandle(scope->token);
    SetLastError(error);
}

}  // namespace

unsigned ossWinShareRetryDelayMs(int attempt) {
    return attempt < 50 ? 1 : 20;
}

bool ossWinRefusalIsTransient(const char* from, const char* to, DWORD error) {
    if (error == ERROR_SHARING_VIOLATION) return true;
    if (error != ERROR_ACCESS_DENIED) return false;
    if (lastRefusalIsDeletePending()) return true;
    DWORD attributes = to ? GetFileAttributesA(to) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return false;
    // Left: the target or the source is open (the rename cannot replace or
    // move an open file), or an access control list refuses it.
    return !deletionRefused(to) && !deletionRefused(from);
}

BOOL ossWinDeleteName(const char* path) {
    if (DeleteFileA(path)) return TRUE;
    DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED) return FALSE;
    HANDLE file =
        CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        SetLastError(error);
        return FALSE;
    }
    // The attribute is checked when the deletion is asked for, and the name
    // goes when the handle closes: the file's other names, if any, get the
    // attribute back in between.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    BOOL deleted =
        setAttributes(file, info.dwFileAttributes & ~(DWORD)FILE_ATTRIBUTE_READONLY) &&
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    if (!deleted) error = GetLastError();
    if (!deleted || info.nNumberOfLinks > 1) setAttributes(file, info.dwFileAttributes);
    CloseHandle(file);
    if (!deleted) SetLastError(error);
    return deleted;
}

unsigned ossWinReadFileState(const char* path, OSSWinFileState* state, uint32_t functionId,
                             uint32_t probe) {
    state->attributes = 0;
    state->security = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 1;; ++attempt) {
        file = CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES | DELETE, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) break;
        DWORD error = GetLastError();
        if (attempt >= kOssWinShareRetries || !ossWinRefusalIsTransient(path, nullptr, error)) {
            unsigned rc = ossSysFailWith(functionId, probe, 1, error, "CreateFileA", path);
            ossLog(functionId, probe, rc, OSS_SEVERITY_ERROR, "file held or refused, attempts=%d",
                   attempt);
            return rc;
        }
        ossSleepMs(ossWinShareRetryDelayMs(attempt - 1));
    }
    BY_HANDLE_FILE_INFORMATION info;
    unsigned rc = 0;
    if (!GetFileInformationByHandle(file, &info)) {
        rc = ossSysFail(functionId, probe + 1, "GetFileInformationByHandle", path);
    } else {
        state->attributes = info.dwFileAttributes;
        state->security = securityOf(file, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                               DACL_SECURITY_INFORMATION);
        if (!state->security)
            rc = ossSysFail(functionId, probe + 1, "GetKernelObjectSecurity", path);
    }
    CloseHandle(file);
    return rc;
}

unsigned ossWinCarryFileState(const char* path, const OSSWinFileState* state, uint32_t functionId,
                              uint32_t probe) {
    const DWORD access = READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file = CreateFileA(path, access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ossSysFail(functionId, probe, "CreateFileA", path);
    // Attributes first: the access control list may take away the right
    // to write them.
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(file, &info) != 0;
    if (ok) {
        DWORD wanted = (info.dwFileAttributes & ~kCarriedAttributes) |
                       (state->attributes & kCarriedAttributes);
        ok = wanted == info.dwFileAttributes || setAttributes(file, wanted);
    }
    if (!ok) {
        unsigned rc = ossSysFail(functionId, probe + 1, "SetFileInformationByHandle", path);
        CloseHandle(file);
        return rc;
    }
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    SECURITY_INFORMATION ownership = ownershipToChange(file, state->security);
    PrivilegeScope privilege;
    if (ownership) {
        // Another owner or group needs the right to give it, asked for on
        // a handle of its own, with the restore privilege where the token
        // holds it.
        CloseHandle(file);
        enableRestorePrivilege(&privilege);
        file = CreateFileA(path, access | WRITE_OWNER, kShareAll, nullptr, OPEN_EXISTING, flags,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            unsigned rc = ossSysFail(functionId, probe + 2, "CreateFileA WRITE_OWNER", path);
            endPrivilegeScope(&privilege);
            return rc;
        }
        what |= ownership;
    }
    unsigned rc = 0;
    if (!SetKernelObjectSecurity(file, what, state->security))
        rc = ossSysFail(functionId, probe + 3, "SetKernelObjectSecurity", path);
    endPrivilegeScope(&privilege);
    CloseHandle(file);
    return rc;
}

void ossWinFreeFileState(OSSWinFileState* state) {
    std::free(state->security);
    state->security = nullptr;
}
