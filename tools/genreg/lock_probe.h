// Whether another process holds a registry file's update lock now, asked
// without changing any file: the lock file is opened only if it exists,
// never created, and the trial lock is given up at once. The library's own
// LockForUpdate would remove the lock file afterwards, which genreg check
// must not do to a file it only looks at.
#ifndef GENREG_CLI_LOCK_PROBE_H
#define GENREG_CLI_LOCK_PROBE_H

#include <string>

enum LockState {
    kLockAbsent,   // no lock file
    kLockHeld,     // a process holds the lock: an update is running
    kLockStale,    // the lock file is left over; nobody holds it
    kLockUnknown,  // the lock file could not be opened or tried
};

LockState probeUpdateLock(const std::string& lockPath);

#endif
