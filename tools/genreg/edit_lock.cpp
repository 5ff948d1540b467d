// The update lock of one edit of the genreg command.
#include "edit_lock.h"

#include <genreg/rc.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// How long an edit waits silently before it says what it waits for.
const uint32_t kQuietWaitMs = 1000;
// The longest --timeout: one millisecond short of the wait without limit.
const double kLongestTimeoutSeconds = (GENREG_WAIT_FOREVER - 1) / 1000.0;

}  // namespace

bool editWaitOf(const Invocation& inv, uint32_t* waitMs, std::string* error) {
    *waitMs = GENREG_WAIT_FOREVER;
    const char* timeout = inv.value("timeout");
    if (inv.has("no-wait") && timeout) {
        *error = "give --no-wait or --timeout, not both";
        return false;
    }
    if (inv.has("no-wait")) {
        *waitMs = GENREG_WAIT_NONE;
        return true;
    }
    if (!timeout) return true;
    // Digits with at most one decimal point: no sign, exponent, blank or
    // hexadecimal form, which strtod would take too.
    size_t digits = std::strspn(timeout, "0123456789.");
    const char* point = std::strchr(timeout, '.');
    bool plain = timeout[0] != '\0' && timeout[digits] == '\0' &&
                 (point == nullptr || std::strchr(point + 1, '.') == nullptr) &&
                 std::strcmp(timeout, ".") != 0;
    errno = 0;
    double seconds = plain ? std::strtod(timeout, nullptr) : -1;
    if (!plain || errno != 0 || !(seconds >= 0) || seconds > kLongestTimeoutSeconds) {
        *error = "--timeout takes a number of seconds from 0 to 4294967";
        return false;
    }
    *waitMs = static_cast<uint32_t>(std::llround(seconds * 1000));
    return true;
}

unsigned EditLock::take(const Invocation& inv, const std::string& path) {
    uint32_t waitMs = GENREG_WAIT_FOREVER;
    std::string error;
    editWaitOf(inv, &waitMs, &error);  // checked by the verb before
    if (waitMs == GENREG_WAIT_NONE) return handle_->LockForUpdate(GENREG_WAIT_NONE);
    uint32_t quiet = waitMs < kQuietWaitMs ? waitMs : kQuietWaitMs;
    unsigned rc = handle_->LockForUpdate(quiet);
    if (rc != GENREG_RC_LOCKED || waitMs == quiet) return rc;
    std::fprintf(stderr, "genreg: waiting for the update lock of %s\n", path.c_str());
    std::fflush(stderr);
    return handle_->LockForUpdate(waitMs == GENREG_WAIT_FOREVER ? GENREG_WAIT_FOREVER
                                                                : waitMs - quiet);
}
