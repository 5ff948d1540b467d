// The registry interface answers as the Windows registry does: the same
// tests run against the real registry (under Wine) and the POSIX stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "tests/dir_machine.h"

namespace {

using dir_test::Counters;
using dir_test::Machine;

const char kRoot[] = "SOFTWARE\\genreg-api";

OSSRegKey openOrNull(const char* path, uint32_t access = OSS_REG_KEY_READ) {
    OSSRegKey key = nullptr;
    EXPECT_EQ(0u, ossRegOpenKey(ossRegLocalMachine(), path, access, &key)) << path;
    return key;
}

TEST(RegistryApi, AnswersWithTheWindowsErrorNumbers) {
    Machine machine({
        {dir_test::LOCAL, "SOFTWARE\\genreg-api\\Beta", nullptr, nullptr},
        {dir_test::LOCAL, "SOFTWARE\\genreg-api\\alpha", "Text", "abcdef"},
        {dir_test::LOCAL, "SOFTWARE\\genreg-api\\alpha", "Number", "dword:7"},
        {dir_test::LOCAL, "SOFTWARE\\genreg-api\\Gamma", nullptr, nullptr},
        {dir_test::LOCAL, "SOFTWARE\\genreg-api\\Gamma\\Sub", nullptr, nullptr},
    });
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    {
        OSSRegKey missing = reinterpret_cast<OSSRegKey>(1);
        EXPECT_EQ(2u, ossRegOpenKey(ossRegLocalMachine(), "SOFTWARE\\genreg-api\\none",
                                    OSS_REG_KEY_READ, &missing));
        EXPECT_EQ(nullptr, missing);
    }
    OSSRegKey root = openOrNull(kRoot, OSS_REG_KEY_READ_64);
    ASSERT_NE(nullptr, root);

    // Subkeys in the registry's order, whatever their case.
    char name[16];
    const char* expected[] = {"alpha", "Beta", "Gamma"};
    for (uint32_t i = 0; i < 3; ++i) {
        uint32_t chars = sizeof name;
        ASSERT_EQ(0u, ossRegEnumKey(root, i, name, &chars));
        EXPECT_STREQ(expected[i], name);
        EXPECT_EQ(std::strlen(expected[i]), chars);
    }
    uint32_t chars = sizeof name;
    EXPECT_EQ(259u, ossRegEnumKey(root, 3, name, &chars));
    chars = 5;  // "alpha" needs 6 with its terminator
    EXPECT_EQ(234u, ossRegEnumKey(root, 0, name, &chars));
    uint32_t count = 0;
    EXPECT_EQ(0u, ossRegQuerySubkeyCount(root, &count));
    EXPECT_EQ(3u, count);

    // Key and value names ignore case.
    OSSRegKey alpha = nullptr;
    ASSERT_EQ(0u, ossRegOpenKey(root, "ALPHA", OSS_REG_KEY_READ, &alpha));
    char text[16];
    uint32_t type = 0, size = sizeof text;
    EXPECT_EQ(0u, ossRegQueryValue(alpha, "text", &type, text, &size));
    EXPECT_EQ((uint32_t)OSS_REG_SZ, type);
    EXPECT_EQ(7u, size);
    EXPECT_STREQ("abcdef", text);
    size = 6;
    EXPECT_EQ(234u, ossRegQueryValue(alpha, "Text", nullptr, text, &size));
    size = sizeof text;
    EXPECT_EQ(2u, ossRegQueryValue(alpha, "Missing", nullptr, text, &size));
    uint32_t number = 0;
    size = sizeof number;
    EXPECT_EQ(0u, ossRegQueryValue(alpha, "Number", &type, &number, &size));
    EXPECT_EQ((uint32_t)OSS_REG_DWORD, type);
    EXPECT_EQ(7u, number);

    ossRegCloseKey(alpha);
    ossRegCloseKey(root);
    OSSRegistryCounters seen = counters.delta();
    EXPECT_EQ(0, seen.openKeys);
    EXPECT_EQ(2, seen.opensRead);  // the missing key and ALPHA
    EXPECT_EQ(1, seen.opensRead64);
}

TEST(RegistryApi, UnknownRemoteMachineIsUnreachable) {
    Machine machine({{dir_test::LOCAL, kRoot, nullptr, nullptr}});
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    OSSRegKey remote = reinterpret_cast<OSSRegKey>(1);
    EXPECT_NE(0u, ossRegConnect("NOSUCHHOST", &remote));
    EXPECT_EQ(nullptr, remote);
    EXPECT_EQ(0, counters.openKeys());
}

TEST(RegistryApi, RemoteMachineRegistryIsReadThroughItsRoot) {
    Machine machine({{dir_test::REMOTE, "SOFTWARE\\genreg-api\\far", "Where", "there"}});
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    OSSRegKey remote = nullptr;
    ASSERT_EQ(0u, ossRegConnect(machine.name("%M").c_str(), &remote));
    OSSRegKey key = nullptr;
    ASSERT_EQ(0u, ossRegOpenKey(remote, "SOFTWARE\\genreg-api\\FAR", OSS_REG_KEY_READ, &key));
    char text[16];
    uint32_t size = sizeof text;
    EXPECT_EQ(0u, ossRegQueryValue(key, "Where", nullptr, text, &size));
    EXPECT_STREQ("there", text);
    // The key, and the remote root unless the system handed back its
    // predefined local root (which is never closed).
    EXPECT_LE(1, counters.openKeys());
    ossRegCloseKey(key);
    ossRegCloseKey(remote);
    EXPECT_EQ(0, counters.openKeys());
}

TEST(RegistryApi, ServiceStartTypes) {
    Machine machine({
        {dir_test::SERVICE, "SVCAUTO$", nullptr, "2"},
        {dir_test::SERVICE, "SVCOFF$", nullptr, "4"},
    });
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    OSSService manager = ossSvcOpenManager();
    ASSERT_NE(nullptr, manager);
    struct {
        std::string name;
        bool exists;
        uint32_t startType;
    } cases[] = {
        {machine.name("svcauto$"), true, 2},  // service names ignore case
        {machine.name("SVCOFF$"), true, 4},
        {machine.name("SVCNONE$"), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OSSService service = ossSvcOpenService(manager, c.name.c_str());
        ASSERT_EQ(c.exists, service != nullptr);
        if (!service) continue;
        uint32_t startType = 0;
        EXPECT_EQ(0u, ossSvcQueryStartType(service, &startType));
        EXPECT_EQ(c.startType, startType);
        ossSvcClose(service);
    }
    ossSvcClose(manager);
    EXPECT_EQ(0, counters.openServices());
}

TEST(RegistryApi, ClusterLibraryLoadsOnceWhenTwoThreadsNeedItTogether) {
    Machine machine({{dir_test::CLUSTER, "Tavrin", nullptr, nullptr}});
    ASSERT_TRUE(machine.ok()) << machine.why();
    Counters counters;
    const OSSClusterApi* seen[2] = {nullptr, nullptr};
    std::thread first([&] { seen[0] = ossClusterApi(); });
    std::thread second([&] { seen[1] = ossClusterApi(); });
    first.join();
    second.join();
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], ossClusterApi());
    EXPECT_EQ(1, counters.delta().clusterLoads);
    EXPECT_NE(nullptr, seen[0]->openCluster);
    EXPECT_NE(nullptr, seen[0]->regQueryValue);
}

}  // namespace
