// What the swap of a registry file carries from the file onto the copy that
// replaces it, and the retry policy the swap's calls share.
//
// A copy is a new file: it gets the directory's inherited access control
// list, the updater as owner and no attributes but the read-only bit the
// transaction gives it. An installer's file that is hidden, a system file,
// owned by a service account or restricted to administrators must stay so
// after an update, so its attributes that matter (hidden, system) and its
// security descriptor (owner, group and DACL, control bits included) are
// put on the copy before the copy is renamed in. Where the system refuses
// that, the update is refused and the file stays as it was.
#ifndef GENREG_PLATFORM_WIN32_FILE_STATE_H
#define GENREG_PLATFORM_WIN32_FILE_STATE_H

#include <windows.h>

#include <cstdint>

// Refusals a holder of the file causes (a reader between two lines, a
// scanner) end within a few hundred milliseconds: they are retried for
// about two seconds, the first retries 1 ms apart so that an update slips
// into the short gaps between readers, later ones 20 ms apart.
constexpr int kOssWinShareRetries = 150;
unsigned ossWinShareRetryDelayMs(int attempt);

// True when a refusal of a rename or open of from (onto to, which may be
// null) can end by itself: a sharing violation, or an access denial that
// comes from an open handle or a deletion still pending. A denial that
// the target's kind (a directory), its read-only attribute or an access
// control list causes is permanent and must not use the retry budget.
bool ossWinRefusalIsTransient(const char* from, const char* to, DWORD error);

// DeleteFileA that deletes a read-only file too, as unlinking does on
// POSIX: a copy or backup that took the registry file's read-only
// attribute is still the library's to delete. When the file has other
// names (hard links), they keep the attribute. On FALSE the last error is
// the deletion's.
BOOL ossWinDeleteName(const char* path);

struct OSSWinFileState {
    DWORD attributes;               // as GetFileAttributes reports them
    PSECURITY_DESCRIPTOR security;  // self-relative owner, group and DACL
};

// Reads the attributes and security descriptor of path through one handle
// opened for deletion as well: a holder that would make the rename over
// path fail (a program that opened it without delete sharing) is found
// here, before the swap has made anything; its refusals are retried as the
// rename's. 0, or a failure code (logged under functionId and probe).
unsigned ossWinReadFileState(const char* path, OSSWinFileState* state, uint32_t functionId,
                             uint32_t probe);
// Gives path (the copy) the hidden and system attributes and the security
// descriptor of state; its own read-only attribute stays. 0, or a failure
// code (logged).
unsigned ossWinCarryFileState(const char* path, const OSSWinFileState* state, uint32_t functionId,
                              uint32_t probe);
void ossWinFreeFileState(OSSWinFileState* state);

#endif
