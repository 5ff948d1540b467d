// Whole-list readers for the directory tests.
#include "tests/dir_listing.h"

#include <cstdio>

namespace dir_test {

namespace {

template <size_t N>
bool terminated(const char (&field)[N]) {
    return std::memchr(field, '\0', N) != nullptr;
}

}  // namespace

std::string outcome(unsigned rc, const std::string& entry, unsigned failedCode) {
    if (rc == 0) return entry;
    if (rc == GENREG_RC_NOT_FOUND) return "end";
    if (rc == failedCode) return "failed";
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", rc);
    return text;
}

InstanceListing listInstances(const char* type, int calls, bool view64) {
    InstanceListing listing;
    Counters counters;
    void* list = nullptr;
    listing.openRc = ossOpenInstanceList(type, &list, view64);
    if (listing.openRc) {
        EXPECT_EQ(0, counters.openKeys());
        EXPECT_EQ(0, counters.openServices());
        return listing;
    }
    for (int i = 0; i < calls; ++i) {
        OSSInstanceInfo_t info = garbageRecord<OSSInstanceInfo_t>();
        unsigned rc = ossGetNextInstance(list, &info, view64);
        listing.outcomes.push_back(
            outcome(rc,
                    std::string(info.instanceName, strnlen(info.instanceName, 64)) + "@" +
                        std::string(info.copyName, strnlen(info.copyName, sizeof info.copyName)),
                    GENREG_RC_NEXT_INSTANCE_FAILED));
        listing.entries.push_back(info);
        EXPECT_TRUE(rc != 0 || textsTerminated(info)) << listing.outcomes.back();
        EXPECT_GE(kInstanceListKeys, counters.openKeys()) << "after call " << i;
        EXPECT_GE(1, counters.openServices()) << "after call " << i;
        EXPECT_GE(2, counters.openClusterHandles()) << "after call " << i;
    }
    EXPECT_EQ(0u, ossCloseInstanceList(list));
    EXPECT_EQ(0, counters.openKeys());
    EXPECT_EQ(0, counters.openServices());
    EXPECT_EQ(0, counters.openClusterHandles());
    return listing;
}

ServiceListing listServices(int calls, bool view64) {
    ServiceListing listing;
    Counters counters;
    void* list = nullptr;
    listing.openRc = ossOpenServiceList(&list, view64);
    if (listing.openRc) {
        EXPECT_EQ(0, counters.openKeys());
        return listing;
    }
    for (int i = 0; i < calls; ++i) {
        OSSServiceInfo_t info = garbageRecord<OSSServiceInfo_t>();
        unsigned rc = ossGetNextService(list, &info, view64);
        listing.outcomes.push_back(
            outcome(rc,
                    std::string(info.type, strnlen(info.type, 64)) + "@" +
                        std::string(info.copyName, strnlen(info.copyName, sizeof info.copyName)),
                    GENREG_RC_NEXT_SERVICE_FAILED));
        listing.entries.push_back(info);
        EXPECT_TRUE(rc != 0 || textsTerminated(info)) << listing.outcomes.back();
        EXPECT_GE(kServiceListKeys, counters.openKeys()) << "after call " << i;
        EXPECT_EQ(0, counters.openServices());
    }
    EXPECT_EQ(0u, ossCloseServiceList(list));
    EXPECT_EQ(0, counters.openKeys());
    return listing;
}

bool textsTerminated(const OSSInstanceInfo_t& info) {
    return terminated(info.instanceName) && terminated(info.type) && terminated(info.profilePath) &&
           terminated(info.reserved1) && terminated(info.installPath) &&
           terminated(info.remoteName) && terminated(info.reserved2) && terminated(info.copyName);
}

bool textsTerminated(const OSSServiceInfo_t& info) {
    return terminated(info.type) && terminated(info.installPath) && terminated(info.reserved1) &&
           terminated(info.reserved2) && terminated(info.copyName);
}

}  // namespace dir_test
