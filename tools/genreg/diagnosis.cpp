// Keeping the library's log entries for the causes of failures (see
// diagnosis.h).
#include "diagnosis.h"

#include <genreg/diagnostics.h>
#include <genreg/platform_codes.h>
#include <genreg/rc.h>

#include <cstring>
#include <vector>

namespace {

#define GENREG_CLI_CODE_(name, value, meaning) name = value,
enum : unsigned { GENREG_PLATFORM_RC_LIST(GENREG_CLI_CODE_) };
#undef GENREG_CLI_CODE_

struct KeptEntry {
    unsigned rc;
    unsigned calledRc;
    unsigned severity;
    std::string data;
};

// The first entries are the ones that tell a cause: the place a failure is
// found logs it before every caller that wraps it.
const size_t kMostKept = 64;
std::vector<KeptEntry> g_entries;

void keep(const GenRegLogEntry* entry, void* /*context*/) {
    if (g_entries.size() < kMostKept)
        g_entries.push_back(
            {entry->rc, entry->calledRc, entry->severity, entry->data ? entry->data : ""});
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

// A refusal by the operating system: the services log the path last ("-"
// for a call on an open file, which names none). An update's copy that
// cannot be given the file's owner or permission bits is logged by the
// transaction, naming both files ("owner of file=F not given to temp=T").
std::string permissionCause(const KeptEntry& entry) {
    if (entry.rc != OSS_RC_ACCESS_DENIED && entry.calledRc != OSS_RC_ACCESS_DENIED) return "";
    size_t at = entry.data.find("path=");
    if (at != std::string::npos && entry.data.compare(at + 5, std::string::npos, "-") != 0)
        return "permission denied: " + entry.data.substr(at + 5);
    const char* const kNotGiven = " not given to temp=";
    size_t given = entry.data.find(kNotGiven);
    size_t file = entry.data.find(" of file=");
    if (given == std::string::npos || file == std::string::npos || file > given) return "";
    std::string what = entry.data.substr(0, file);  // "owner" or "permissions"
    if (what == "owner") what = "owner and group";
    return "permission denied: the update's copy " +
           entry.data.substr(given + std::strlen(kNotGiven)) + " cannot be given the " + what +
           " of " + entry.data.substr(file + 9, given - file - 9);
}

// The digits after "name=" in data, or "".
std::string numberAfter(const std::string& data, const char* name) {
    size_t at = data.find(name);
    if (at == std::string::npos) return "";
    at += std::string(name).size();
    size_t end = data.find_first_not_of("0123456789", at);
    return data.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// A line too long for the text store's 2048-character buffer: lookups
// report it with GENREG_RC_LINE_TOO_LONG ("line=N length=M ... file=F"),
// updates with GENREG_RC_BUFFER_TOO_SMALL ("... line=N length=M"). Lines a
// lookup only passed over (warnings) are no cause.
std::string overlongLineCause(const KeptEntry& entry) {
    bool lookup = entry.rc == GENREG_RC_LINE_TOO_LONG && entry.severity == 3;
    bool update = entry.rc == GENREG_RC_BUFFER_TOO_SMALL;
    if (!lookup && !update) return "";
    std::string line = numberAfter(entry.data, "line=");
    std::string length = numberAfter(entry.data, "length=");
    if (line.empty() || length.empty()) return "";
    size_t file = entry.data.find("file=");
    std::string where = file == std::string::npos ? "" : " of " + entry.data.substr(file + 5);
    return "line " + line + where + " is " + length +
           " characters long, more than a line can hold (2047)";
}

// A record whose line would not fit: the formatter logs the longest line
// it can write ("limit=N") before the update refuses the record.
std::string recordTooLongCause(const KeptEntry& entry) {
    if (entry.rc != GENREG_RC_LINE_TOO_LONG || !startsWith(entry.data, "limit=")) return "";
    std::string limit = numberAfter(entry.data, "limit=");
    if (limit.empty()) return "";
    return "the record's line would be longer than a line can hold (" + limit + " characters)";
}

}  // namespace

void keepLibraryLog() {
    genregSetLogCallback(keep, nullptr);
}

std::string failureCause() {
    std::string found;
    for (const KeptEntry& entry : g_entries) {
        for (auto cause :
             {registryExportCause, permissionCause, overlongLineCause, recordTooLongCause}) {
            if (found.empty()) found = cause(entry);
        }
    }
    // The next failure (a listing reports one per entry) has causes of its
    // own.
    g_entries.clear();
    return found;
}

bool registryExportRefused() {
    for (const KeptEntry& entry : g_entries)
        if (!registryExportCause(entry).empty()) return true;
    return false;
}
