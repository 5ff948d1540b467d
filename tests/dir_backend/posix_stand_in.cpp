// What only the POSIX stand-in registry has: its files, their environment
// variables, and what happens when a file is missing, malformed or
// changes while keys are open.
#include <genreg/directory.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/oss.h"
#include "platform/registry.h"
#include "tests/dir_machine.h"

namespace {

// A scratch directory with the stand-in's variables pointing into it.
class StandIn : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "genreg-standin-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        ASSERT_NE(nullptr, mkdtemp(buffer.data()));
        dir_ = buffer.data();
        std::filesystem::create_directory(dir_ + "/remote");
        setenv(OSS_REGISTRY_FILE_ENV, (dir_ + "/local.reg").c_str(), 1);
        setenv(OSS_REGISTRY_REMOTE_DIR_ENV, (dir_ + "/remote").c_str(), 1);
        unsetenv(OSS_CLUSTER_REGISTRY_FILE_ENV);
        ossClusterApiResetForTest();
        ossLogSetSink(&StandIn::capture, this);
    }
    void TearDown() override {
        ossLogSetSink(nullptr, nullptr);
        unsetenv(OSS_REGISTRY_FILE_ENV);
        unsetenv(OSS_REGISTRY_REMOTE_DIR_ENV);
        unsetenv(OSS_CLUSTER_REGISTRY_FILE_ENV);
        ossClusterApiResetForTest();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    static void capture(const OSSLogEntry* entry, void* context) {
        static_cast<StandIn*>(context)->logged_.push_back(entry->data ? entry->data : "");
    }
    void write(const std::string& name, const std::string& content) {
        FILE* f = std::fopen((dir_ + "/" + name).c_str(), "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(content.size(), std::fwrite(content.data(), 1, content.size(), f));
        ASSERT_EQ(0, std::fclose(f));
    }
    uint32_t open(const char* path, OSSRegKey* key) {
        return ossRegOpenKey(ossRegLocalMachine(), path, OSS_REG_KEY_READ, key);
    }
    std::string text(OSSRegKey key, const char* name) {
        char value[64];
        uint32_t size = sizeof value;
        if (ossRegQueryValue(key, name, nullptr, value, &size)) return "<none>";
        return value;
    }

    std::string dir_;
    std::vector<std::string> logged_;
};

TEST_F(StandIn, MalformedFileFailsEveryOpenAndIsLoggedOnce) {
    write("local.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"a\"=\"unterminated\r\n");
    dir_test::Counters counters;
    OSSRegKey key = nullptr;
    EXPECT_EQ((uint32_t)OSS_WINERR_BADDB, open("K", &key));
    EXPECT_EQ((uint32_t)OSS_WINERR_BADDB, open("Other", &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(0, counters.openKeys());
    ASSERT_EQ(1u, logged_.size());
    EXPECT_NE(std::string::npos, logged_[0].find("line 3")) << logged_[0];
    // The directory fails cleanly on it too.
    void* list = nullptr;
    EXPECT_NE(0u, ossOpenInstanceList("QVR", &list, true));
    EXPECT_NE(0u, ossOpenServiceList(&list, true));
    EXPECT_EQ(0, counters.openKeys());
}

TEST_F(StandIn, MissingOrUnsetFileIsAnEmptyRegistry) {
    OSSRegKey key = nullptr;
    EXPECT_EQ(2u, open("SOFTWARE", &key));  // set, but no such file: logged
    EXPECT_EQ(1u, logged_.size());
    unsetenv(OSS_REGISTRY_FILE_ENV);
    EXPECT_EQ(2u, open("SOFTWARE", &key));
    ASSERT_EQ(0u, open("", &key));  // the machine's root itself
    uint32_t count = 1;
    EXPECT_EQ(0u, ossRegQuerySubkeyCount(key, &count));
    EXPECT_EQ(0u, count);
    ossRegCloseKey(key);
    EXPECT_EQ(1u, logged_.size());
}

TEST_F(StandIn, ChangedFileIsReadAgainWhileOpenKeysKeepTheirVersion) {
    write("local.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=\"one\"\r\n");
    OSSRegKey before = nullptr;
    ASSERT_EQ(0u, open("K", &before));
    write("local.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=\"second\"\r\n");
    OSSRegKey after = nullptr;
    ASSERT_EQ(0u, open("K", &after));
    EXPECT_EQ("one", text(before, "v"));
    EXPECT_EQ("second", text(after, "v"));
    ossRegCloseKey(before);
    ossRegCloseKey(after);
}

TEST_F(StandIn, NonAsciiNamesFromAUtf16File) {
    std::u16string content =
        u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\Caf\u00e9]\r\n"
        u"\"Na\u00efve\"=\"\u20ac\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : content) {
        bytes += (char)(unit & 0xFF);
        bytes += (char)(unit >> 8);
    }
    write("local.reg", bytes);
    OSSRegKey key = nullptr;
    ASSERT_EQ(0u, open("Caf\xC3\xA9", &key));
    EXPECT_EQ("\xE2\x82\xAC", text(key, "Na\xC3\xAFve"));
    ossRegCloseKey(key);
}

TEST_F(StandIn, RemoteMachinesAreFilesNamedAfterThem) {
    write("remote/FARHOST.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=\"far\"\r\n");
    write("remote/bad.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K\r\n");
    write("escape.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n");
    dir_test::Counters counters;
    for (const char* name : {"FARHOST", "farhost", "\\\\FARHOST"}) {
        SCOPED_TRACE(name);
        OSSRegKey root = nullptr, key = nullptr;
        ASSERT_EQ(0u, ossRegConnect(name, &root));
        ASSERT_EQ(0u, ossRegOpenKey(root, "K", OSS_REG_KEY_READ, &key));
        EXPECT_EQ("far", text(key, "v"));
        ossRegCloseKey(key);
        ossRegCloseKey(root);
    }
    // Names that are no plain host name never reach the file system.
    for (const char* name : {"NEARHOST", "../escape", "..", "remote/FARHOST", "a\\b", "x y"}) {
        SCOPED_TRACE(name);
        OSSRegKey root = nullptr;
        EXPECT_EQ((uint32_t)OSS_WINERR_BAD_NETPATH, ossRegConnect(name, &root));
    }
    OSSRegKey root = nullptr;
    EXPECT_EQ((uint32_t)OSS_WINERR_BADDB, ossRegConnect("bad", &root));
    unsetenv(OSS_REGISTRY_REMOTE_DIR_ENV);
    EXPECT_EQ((uint32_t)OSS_WINERR_BAD_NETPATH, ossRegConnect("FARHOST", &root));
    EXPECT_EQ(0, counters.openKeys());
}

TEST_F(StandIn, ClusterLibraryLoadsOnlyWhenItsFileIsNamed) {
    const OSSClusterApi* api = ossClusterApi();
    EXPECT_EQ(nullptr, api->openCluster);
    EXPECT_EQ(nullptr, api->regQueryValue);
    // The attempt is made once: naming the file afterwards changes nothing.
    setenv(OSS_CLUSTER_REGISTRY_FILE_ENV, (dir_ + "/cluster.reg").c_str(), 1);
    EXPECT_EQ(nullptr, ossClusterApi()->openCluster);

    ossClusterApiResetForTest();
    write("cluster.reg", "REGEDIT4\r\n[Tavrin\r\n");
    api = ossClusterApi();
    ASSERT_NE(nullptr, api->openCluster);
    dir_test::Counters counters;
    OSSCluster cluster = nullptr;
    EXPECT_EQ((uint32_t)OSS_WINERR_BADDB, api->openCluster(nullptr, &cluster));
    EXPECT_EQ(nullptr, cluster);
    EXPECT_EQ((uint32_t)OSS_WINERR_BAD_NETPATH, api->openCluster(u"OTHER", &cluster));
    EXPECT_EQ(0, counters.openClusterHandles());
}

}  // namespace
