// Internal operations on the registry handle shared by the stores and the
// schema constructors.
#ifndef GENREG_HANDLE_INTERNAL_H
#define GENREG_HANDLE_INTERNAL_H

#include <genreg/handle.h>

// The checks every schema constructor makes on its path first: null or
// empty GENREG_RC_NULL_ARGUMENT, 254 characters or more
// GENREG_RC_PATH_TOO_LONG; both logged under functionId.
unsigned GenRegCheckPath(const char* path, uint32_t functionId);

// Derives filePath, tempPath, corruptPath, lockPath and backupPath from
// path (which passed GenRegCheckPath, or is the global registry's path) and
// sets GENREG_STATE_PATHS_SET:
//   P.tmp, P.cor, D<sep>.B.lock, D<sep>.B.bkp (.B.lock, .B.bkp when D is ".")
// with D and B the directory and base names. GENREG_RC_BASENAME_FAILED or
// GENREG_RC_DIRNAME_FAILED when a name cannot be taken, and
// GENREG_RC_PATH_TOO_LONG when a companion name does not fit its field;
// on failure the paths stay empty and the state bit clear.
unsigned GenRegDerivePaths(GenRegFile* handle, const char* path, uint32_t functionId);

// Closes whatever the handle still holds (lock file, streams) and resets
// the state word to GENREG_STATE_INITIAL. Never fails; harmless twice.
void GenRegTeardown(GenRegFile* handle);

// The schema's largest record size (GetMaxRecordSize) into *max, checked
// against GENREG_RECORD_MIN..GENREG_RECORD_MAX: GENREG_RC_NO_MAX_SIZE_SLOT,
// GENREG_RC_RECORD_TOO_SMALL or GENREG_RC_RECORD_TOO_LARGE, logged under
// functionId with probes firstProbe (empty slot) and firstProbe + 1 (size).
unsigned GenRegQueryMaxRecordSize(const GenRegBase* handle, uint32_t functionId,
                                  uint32_t firstProbe, uint64_t* max);

#endif
