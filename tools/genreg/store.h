// Helpers shared by the verbs that work on registry files.
#ifndef GENREG_CLI_STORE_H
#define GENREG_CLI_STORE_H

#include <genreg/rc.h>

#include <cstdint>
#include <string>

// True when path names an existing regular file. Reading verbs check this
// first: opening a scan creates a missing file, which a listing must not.
bool fileExists(const std::string& path);

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

// A text a record field may hold: no line ends or other control characters
// except tab, which no store can give back as written.
bool isPlainText(const std::string& text);

// True when text is one word: not empty, no blank, tab, '#' or control
// character.
bool isWord(const std::string& text);

#endif
