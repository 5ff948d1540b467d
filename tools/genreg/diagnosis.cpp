// Keeping the library's log entries for the causes of failures (see
// diagnosis.h).
#include "diagnosis.h"

#include <genreg/diagnostics.h>
#include <genreg/platform_codes.h>

#include <vector>

namespace {

#define GENREG_CLI_CODE_(name, value, meaning) name = value,
enum : unsigned { GENREG_PLATFORM_RC_LIST(GENREG_CLI_CODE_) };
#undef GENREG_CLI_CODE_

struct KeptEntry {
    unsigned rc;
    unsigned calledRc;
    std::string data;
};

// The first entries are the ones that tell a cause: the place a failure is
// found logs it before every caller that wraps it.
const size_t kMostKept = 64;
std::vector<KeptEntry> g_entries;

void keep(const GenRegLogEntry* entry, void* /*context*/) {
    if (g_entries.size() < kMostKept)
        g_entries.push_back({entry->rc, entry->calledRc, entry->data ? entry->data : ""});
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::string(prefix).size(), prefix) == 0;
}

// The registry export loader names the file and, for a malformed one, the
// line and the reason.
std::string registryExportCause(const KeptEntry& entry) {
    if (startsWith(entry.data, "malformed registry export file ") ||
        startsWith(entry.data, "registry export file "))
        return entry.data;
    return "";
}

// A refusal by the operating system: the services log the path last.
std::string permissionCause(const KeptEntry& entry) {
    if (entry.rc != OSS_RC_ACCESS_DENIED && entry.calledRc != OSS_RC_ACCESS_DENIED) return "";
    size_t at = entry.data.find("path=");
    if (at == std::string::npos) return "";
    return "permission denied: " + entry.data.substr(at + 5);
}

}  // namespace

void keepLibraryLog() {
    genregSetLogCallback(keep, nullptr);
}

std::string failureCause() {
    std::string found;
    for (const KeptEntry& entry : g_entries) {
        for (auto cause : {registryExportCause, permissionCause}) {
            if (found.empty()) found = cause(entry);
        }
    }
    // The next failure (a listing reports one per entry) has causes of its
    // own.
    g_entries.clear();
    return found;
}
