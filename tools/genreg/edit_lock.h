// The update lock of one edit of the genreg command: what an editing
// action reads and what it writes from that are one step for every other
// editor of the file, and how long the action waits for its turn.
#ifndef GENREG_CLI_EDIT_LOCK_H
#define GENREG_CLI_EDIT_LOCK_H

#include <genreg/handle.h>

#include <cstdint>
#include <string>

#include "cli.h"

// How long an editing action (options --no-wait and --timeout) may wait for the update lock:
// GENREG_WAIT_FOREVER without --no-wait and --timeout, GENREG_WAIT_NONE with --no-wait or
// --timeout 0, else --timeout SECONDS (a decimal number, fractions
// allowed) in milliseconds. false and *error for a malformed or
// out-of-range value, or both options.
bool editWaitOf(const Invocation& inv, uint32_t* waitMs, std::string* error);

// Holds the update lock of a handle's file for the life of the object,
// so that a Get and the Change or Add that depends on it run under one
// hold. The destructor gives the lock up (the handle's teardown would too).
class EditLock {
public:
    explicit EditLock(GenRegFile* handle) : handle_(handle) {}
    ~EditLock() { handle_->UnlockForUpdate(); }
    EditLock(const EditLock&) = delete;
    EditLock& operator=(const EditLock&) = delete;

    // Takes the lock, waiting as inv's options ask. A wait that lasts
    // about a second is announced once on standard error, naming path:
    //   genreg: waiting for the update lock of PATH
    // 0, or the library's code (GENREG_RC_LOCKED when the lock was not
    // granted in time).
    unsigned take(const Invocation& inv, const std::string& path);

private:
    GenRegFile* handle_;
};

#endif
