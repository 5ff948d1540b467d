// Reading whole instance and service lists in the directory tests, with a
// leak check after every call: between calls a list may hold only its own
// handles, and after the close nothing at all.
#ifndef GENREG_TESTS_DIR_LISTING_H
#define GENREG_TESTS_DIR_LISTING_H

#include <genreg/directory.h>
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/dir_machine.h"

namespace dir_test {

// One call's outcome: "NAME@COPY" for an instance entry, "TYPE@COPY" for a
// service entry, "end" for GENREG_RC_NOT_FOUND, "failed" for the list's
// failure code, or the code in hexadecimal.
std::string outcome(unsigned rc, const std::string& entry, unsigned failedCode);

// The list handle's own handles, at most: copies key and profiles key, the
// service manager, and the cluster connection's root key and cluster.
const int64_t kInstanceListKeys = 2;
const int64_t kServiceListKeys = 1;

struct InstanceListing {
    unsigned openRc = 0;
    std::vector<std::string> outcomes;
    std::vector<OSSInstanceInfo_t> entries;  // the record after each call
};

// Opens a list of type, calls ossGetNextInstance calls times, closes it.
InstanceListing listInstances(const char* type, int calls, bool view64 = true);

struct ServiceListing {
    unsigned openRc = 0;
    std::vector<std::string> outcomes;
    std::vector<OSSServiceInfo_t> entries;
};
ServiceListing listServices(int calls, bool view64 = true);

// A record whose every byte is garbage (no text terminated), as a caller's
// uninitialised record would be.
template <typename Record>
Record garbageRecord() {
    Record record;
    std::memset(&record, 0x7F, sizeof record);
    return record;
}

// True when every text field of the record is terminated inside it.
bool textsTerminated(const OSSInstanceInfo_t& info);
bool textsTerminated(const OSSServiceInfo_t& info);

}  // namespace dir_test

#endif
