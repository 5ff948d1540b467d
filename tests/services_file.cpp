// The services file end to end: lookups by name, port and protocol, and a
// series of updates that keeps every untouched line byte for byte.
#include "text_fixture.h"

namespace {

using store_test::IsCommitted;
using text_test::OnDisk;
using text_test::Service;

class ServicesFile : public text_test::StoreTest<GenRegServices> {
protected:
    ServicesRecord result;
};

TEST_F(ServicesFile, ConstructorSetsOnlyVerification) {
    EXPECT_EQ(GENREG_FEATURE_VERIFY, handle->features);
    EXPECT_TRUE(handle->state & GENREG_STATE_PATHS_SET);
    unsigned rc = 0;
    GenRegServices bad(nullptr, &rc);
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, rc);
    std::string tooLong(254, 's');
    GenRegServices longPath(tooLong.c_str(), &rc);
    EXPECT_EQ(GENREG_RC_PATH_TOO_LONG, rc);
}

TEST_F(ServicesFile, LooksUpByNamePortAndProtocol) {
    ASSERT_TRUE(
        Write("# services\n"
              "echo\t\t7/tcp\n"
              "echo\t\t7/udp\n"
              "www\t\t80/tcp\t\thttp web   # the web\n"
              "odd 81/TCP\n"));
    Service byName("www 1/x\n");
    ASSERT_EQ(0u, handle->Get(GENREG_SERVICES_NAME, byName.get(), &result));
    EXPECT_EQ(80, ServicesPortFromNetwork(result.port));
    ASSERT_NE(nullptr, result.aliases);
    EXPECT_STREQ("http", result.aliases[0]);
    EXPECT_STREQ("web", result.aliases[1]);
    EXPECT_EQ(nullptr, result.aliases[2]);
    // The alias list points into the result's own table.
    EXPECT_EQ(result.aliasTable, result.aliases);
    EXPECT_STREQ(" the web", result.comment);

    Service udpEcho("echo 7/udp\n");
    ASSERT_EQ(0u,
              handle->Get(GENREG_SERVICES_PORT | GENREG_SERVICES_PROTOCOL, udpEcho.get(), &result));
    EXPECT_STREQ("udp", result.protocol);
    Service odd("odd 81/TCP\n");
    ASSERT_EQ(0u, handle->Get(GENREG_SERVICES_NAME, odd.get(), &result));
    EXPECT_EQ(GENREG_SERVICES_ENTRY | GENREG_SERVICES_UNRECOGNISED, result.Contains);
    Service none("none 9/tcp\n");
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle->Get(GENREG_SERVICES_NAME, none.get(), &result));
    ServicesRecord noPort = none.record;
    noPort.port = 0;
    EXPECT_EQ(GENREG_RC_INVALID_RECORD, handle->Get(GENREG_SERVICES_PORT, &noPort, &result));
}

TEST_F(ServicesFile, SeriesOfUpdatesKeepsEveryUntouchedLineByteForByte) {
    handle->setFeature(GENREG_FEATURE_JOIN_LINES);
    const std::string head =
        "#\n"
        "# Network services\n"
        "#\n"
        "\n"
        "echo    7/tcp\n"
        "echo\t7/udp   \t# trailing   spaces   \n"
        "  indented   9/tcp   discard   sink   null\n"
        "long\\\n"
        "name 10/tcp\n"
        "broken\n"
        "odd 11/SCTP\n"
        "\t\n";
    ASSERT_TRUE(Write(head + "inst1 50000/tcp # instance one\n" + "inst2\t50001/tcp\n"));

    Service newInst1("inst1 50010/tcp # moved\n");
    Service inst1Key("inst1 1/tcp\n");
    ASSERT_EQ(0u, handle->Change(GENREG_SERVICES_NAME, inst1Key.get(), newInst1.get()));
    std::string expected = head + "inst1\t\t50010/tcp\t\t\t#  moved\n" + "inst2\t50001/tcp\n";
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(expected)));

    Service inst3("inst3 50002/udp a3 b3\n");
    ASSERT_EQ(0u, handle->Add(GENREG_SERVICES_NAME, inst3.get()));
    expected += "inst3\t\t50002/udp\ta3 b3\n";
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(expected)));

    Service inst2Key("inst2 1/tcp\n");
    ASSERT_EQ(0u, handle->Delete(GENREG_SERVICES_NAME, inst2Key.get()));
    expected = head + "inst1\t\t50010/tcp\t\t\t#  moved\n" + "inst3\t\t50002/udp\ta3 b3\n";
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(expected)));

    // The continued line is one entry.
    Service longName("longname 1/tcp\n");
    ASSERT_EQ(0u, handle->Get(GENREG_SERVICES_NAME, longName.get(), &result));
    EXPECT_EQ(10, ServicesPortFromNetwork(result.port));
}

TEST_F(ServicesFile, DeleteByPortAndProtocolRemovesOnlyThatEntry) {
    ASSERT_TRUE(Write("echo 7/tcp\necho 7/udp\n"));
    Service udp("x 7/udp\n");
    ASSERT_EQ(0u, handle->Delete(GENREG_SERVICES_PORT | GENREG_SERVICES_PROTOCOL, udp.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("echo 7/tcp\n")));
}

TEST_F(ServicesFile, EntryWithPortZeroCannotBeFormattedSoTheFileIsKept) {
    ASSERT_TRUE(Write("a 1/tcp\n"));
    Service bad("b 0/tcp\n");
    EXPECT_EQ(GENREG_RC_LINE_PACK_FAILED, handle->Add(GENREG_SERVICES_NAME, bad.get()));
    EXPECT_TRUE(store_test::IsUntouched(*handle, "a 1/tcp\n"));
}

TEST_F(ServicesFile, EntryWithTooManyAliasWordsIsReadWithoutOverflow) {
    std::string line = "many 5/tcp";
    for (int k = 0; k < 300; ++k)
        line += " x" + std::to_string(k);
    ASSERT_TRUE(Write(line + "\nafter 6/tcp\n"));
    Service many("many 1/tcp\n");
    ASSERT_EQ(0u, handle->Get(GENREG_SERVICES_NAME, many.get(), &result));
    size_t count = 0;
    while (result.aliases[count])
        ++count;
    EXPECT_EQ((size_t)GENREG_SERVICES_ALIAS_SLOTS - 1, count);
    // An update elsewhere keeps the long line whole.
    Service after("after 1/tcp\n");
    ASSERT_EQ(0u, handle->Delete(GENREG_SERVICES_NAME, after.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(line + "\n")));
}

// Fault: fields the line cannot hold were written, verified on name, port
// and protocol only, and committed; they read back as other aliases and a
// comment. Each is refused when formatted, and the file keeps its content.
TEST_F(ServicesFile, AliasWithHashIsRefused) {
    const std::string before = "www\t\t80/tcp\t\thttp\n";
    ASSERT_TRUE(Write(before));
    char hashed[] = "we#b", blank[] = "a b", empty[] = "", good[] = "web";
    char* withHash[] = {hashed, nullptr};
    char* withBlank[] = {blank, nullptr};
    char* withEmpty[] = {empty, nullptr};
    char* plain[] = {good, nullptr};
    char badName[] = "w w", badProtocol[] = "t#cp", unknown[] = "TCP", feed[] = "two\nlines";
    struct Case {
        const char* what;
        char* name;
        char* protocol;
        char** aliases;
        char* comment;
    } cases[] = {
        {"alias with '#'", nullptr, nullptr, withHash, nullptr},
        {"alias with a blank", nullptr, nullptr, withBlank, nullptr},
        {"empty alias", nullptr, nullptr, withEmpty, nullptr},
        {"name with a blank", badName, nullptr, plain, nullptr},
        {"protocol with '#'", nullptr, badProtocol, plain, nullptr},
        {"aliases behind an unknown protocol", nullptr, unknown, plain, nullptr},
        {"comment with a line feed", nullptr, nullptr, plain, feed},
    };
    Service key("www 80/tcp\n");
    for (const Case& c : cases) {
        Service changed("www 80/tcp http\n");
        ServicesRecord r = changed.record;
        if (c.name) r.name = c.name;
        if (c.protocol) r.protocol = c.protocol;
        r.aliases = c.aliases;
        if (c.comment) {
            r.Contains |= GENREG_SERVICES_COMMENT;
            r.comment = c.comment;
        }
        EXPECT_EQ(GENREG_RC_LINE_PACK_FAILED, handle->Change(GENREG_SERVICES_NAME, key.get(), &r))
            << c.what;
        EXPECT_TRUE(store_test::IsUntouched(*handle, before)) << c.what;
        char line[GENREG_LINE_MAX] = "";
        EXPECT_EQ(GENREG_RC_SERVICE_FIELD_UNWRITABLE, ServicesPack(&r, line)) << c.what;
    }
    // A changed alias list is a change, and what is committed reads back.
    Service withWeb("www 80/tcp web\n");
    ASSERT_EQ(0u, handle->Change(GENREG_SERVICES_NAME, key.get(), withWeb.get()));
    ASSERT_EQ(0u, handle->Get(GENREG_SERVICES_NAME, key.get(), &result));
    ASSERT_NE(nullptr, result.aliases);
    EXPECT_STREQ("web", result.aliases[0]);
    EXPECT_EQ(nullptr, result.aliases[1]);
}

TEST_F(ServicesFile, ServicesChangeKeepsCrLf) {
    ASSERT_TRUE(Write("# services\r\necho\t\t7/tcp\r\nwww\t\t80/tcp\r\n"));
    Service key("www 1/tcp\n"), moved("www 8080/tcp\n");
    ASSERT_EQ(0u, handle->Change(GENREG_SERVICES_NAME, key.get(), moved.get()));
    EXPECT_TRUE(IsCommitted(*handle, "# services\r\necho\t\t7/tcp\r\nwww\t\t8080/tcp\r\n"));
    ASSERT_EQ(0u, handle->Get(GENREG_SERVICES_NAME, key.get(), &result));
    EXPECT_EQ(8080, ServicesPortFromNetwork(result.port));
}

}  // namespace
