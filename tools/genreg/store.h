// Helpers shared by the verbs that work on registry files.
#ifndef GENREG_CLI_STORE_H
#define GENREG_CLI_STORE_H

#include <genreg/rc.h>

#include <cstdint>
#include <string>

#include "cli.h"
#include "output.h"

// True when path names an existing regular file. Reading verbs check this
// first: opening a scan creates a missing file, which a listing must not.
bool fileExists(const std::string& path);

// What sits at path when it is there but is not a regular file ("a named
// pipe", "a directory", ...), else "" (a regular file, or nothing at all).
// Links are followed, as the verbs follow them; a loop of links is "a loop
// of symbolic links". A verb refuses such a name
// before it opens it: opening a named pipe to read it would wait for a
// writer for ever.
std::string nonRegularKindOf(const std::string& path);

// Sets an environment variable that the library reads (the global
// registry's path, the registry export of the POSIX stand-in). The text is
// kept for the life of the process.
bool setEnvironment(const char* name, const std::string& value);

// Lists the records of handle that match key on selector (0: every
// record), calling each(record) for every one. The scan is closed on every
// path. 0 at the end of the file, else the first failure.
template <typename Handle, typename Record, typename Each>
unsigned scanRecords(Handle* handle, uint64_t selector, Record* key, Each each) {
    unsigned rc = handle->OpenScan();
    if (rc != 0) return rc;
    Record record{};
    for (;;) {
        rc = handle->GetNext(selector, key, &record);
        if (rc != 0) break;
        each(record);
    }
    unsigned closeRc = handle->CloseScan();
    if (rc == GENREG_RC_NOT_FOUND) rc = closeRc;
    return rc;
}

// Counts the records that match key on selector; 0 or the scan's failure.
template <typename Handle, typename Record>
unsigned countRecords(Handle* handle, uint64_t selector, Record* key, unsigned* count) {
    *count = 0;
    return scanRecords(handle, selector, key, [&](const Record&) { ++*count; });
}

// Deletes the records that match key on selector and reports the outcome
// as an exit status. Unless all is set, several matches are refused with
// "cannot WHAT: N MATCHES (HINT)", the hint in the one style of every verb:
// "use --all to remove them all", "use --proto to say which".
template <typename Handle, typename Record>
int deleteMatching(Handle* handle, uint64_t selector, Record* key, bool all,
                   const std::string& what, const char* matches,
                   const char* hint = "use --all to remove them all") {
    if (!all) {
        unsigned count = 0;
        unsigned rc = countRecords(handle, selector, key, &count);
        if (rc != 0) return reportLibraryFailure(what, rc);
        if (count > 1)
            return reportFailure(
                "cannot " + what + ": " + std::to_string(count) + " " + matches + " (" + hint + ")",
                kExitFailed);
    }
    unsigned rc = handle->Delete(selector, key);
    if (rc != 0) return reportLibraryFailure(what, rc);
    return kExitOk;
}

// A text a record field may hold: no line ends or other control characters
// except tab, which no store can give back as written.
bool isPlainText(const std::string& text);

// True when text is one word: not empty, no blank, tab, '#' or control
// character.
bool isWord(const std::string& text);

#endif
