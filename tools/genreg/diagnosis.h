// What the library found, told on standard error without --log: the
// command keeps the library's log entries of its run, and a failure adds
// one line naming the cause when an entry tells one (the file and line of
// a malformed registry export, the path of a permission refusal, the
// number and length of an over-long line).
#ifndef GENREG_CLI_DIAGNOSIS_H
#define GENREG_CLI_DIAGNOSIS_H

#include <string>

// Starts keeping the library's log entries; called once, before any verb.
void keepLibraryLog();

// The cause of the failure just met, as a phrase ("permission denied:
// ro/.profile.env.lock"), or "" when the log tells none. The entries read
// are then forgotten, so the next failure tells its own cause.
std::string failureCause();

// Whether the entries kept since the last failureCause() tell that the
// registry export file could not be loaded (malformed, unreadable, too
// large). Nothing is forgotten.
bool registryExportRefused();

#endif
