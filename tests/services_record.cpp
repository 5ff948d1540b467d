// The services record's callbacks: parsing, formatting, comparison and
// validation.
#include <gtest/gtest.h>
#include <genreg/rc.h>
#include <genreg/services.h>

#include <cstring>
#include <string>
#include <vector>

#include "schemas/services_record.h"

namespace {

std::string text(const char* p) {
    return p ? p : "(null)";
}

std::vector<std::string> aliasesOf(const ServicesRecord& r) {
    std::vector<std::string> list;
    if (r.aliases)
        for (char** a = r.aliases; *a; ++a)
            list.push_back(*a);
    return list;
}

struct ParseCase {
    const char* line;
    unsigned rc;
    uint8_t contains;
    const char* name;
    unsigned port;  // host order
    const char* protocol;
    std::vector<std::string> aliases;
    const char* comment;
};

TEST(ServicesParse, SplitsEntriesCommentsAndBlankLines) {
    const ParseCase cases[] = {
        {"ordersvc 50000/tcp # instance port\n",
         0,
         3,
         "ordersvc",
         50000,
         "tcp",
         {},
         " instance port"},
        {"www 80/tcp alpha beta\n", 0, 2, "www", 80, "tcp", {"alpha", "beta"}, nullptr},
        {"www\t\t80/udp\t\talpha\n", 0, 2, "www", 80, "udp", {"alpha"}, nullptr},
        {"svc 80/TCP alias\n", 0, 6, "svc", 80, "TCP", {}, nullptr},
        {"svc 80\n", 0, 6, "svc", 0, nullptr, {}, nullptr},
        {"svc\n", GENREG_RC_SERVICE_NO_PORT, 2, "svc", 0, nullptr, {}, nullptr},
        {"\n", 0, 1, nullptr, 0, nullptr, {}, nullptr},
        {"\r\n", 0, 1, nullptr, 0, nullptr, {}, nullptr},
        {"    \n", 0, 0, nullptr, 0, nullptr, {}, nullptr},
        {"# just text\n", 0, 1, nullptr, 0, nullptr, {}, " just text"},
        {"ddpsvc 4/ddp\n", 0, 2, "ddpsvc", 4, "ddp", {}, nullptr},
        {"d 9/divert\r\n", 0, 2, "d", 9, "divert", {}, nullptr},
        {"big 70000/tcp\n", 0, 2, "big", 70000 & 0xFFFF, "tcp", {}, nullptr},
    };
    for (const ParseCase& c : cases) {
        ServicesRecord r;
        std::memset(&r, 0x5a, sizeof r);
        EXPECT_EQ(c.rc, ServicesUnpack(&r, c.line)) << c.line;
        EXPECT_EQ(c.contains, r.Contains) << c.line;
        EXPECT_EQ(text(c.name), text(r.name)) << c.line;
        EXPECT_EQ(c.port, ServicesPortFromNetwork(r.port)) << c.line;
        EXPECT_EQ(text(c.protocol), text(r.protocol)) << c.line;
        EXPECT_EQ(c.aliases, aliasesOf(r)) << c.line;
        EXPECT_EQ(text(c.comment), text(r.comment)) << c.line;
    }
}

TEST(ServicesParse, PortIsStoredInNetworkOrder) {
    ServicesRecord r;
    ASSERT_EQ(0u, ServicesUnpack(&r, "x 258/tcp\n"));
    const unsigned char* bytes = (const unsigned char*)&r.port;
    EXPECT_EQ(1, bytes[0]);  // most significant byte first
    EXPECT_EQ(2, bytes[1]);
}

TEST(ServicesParse, AliasTableNeverOverflowsExcessWordsAreIgnored) {
    std::string line = "many 1/tcp";
    for (int k = 0; k < 600; ++k)
        line += " a" + std::to_string(k);
    line += "\n";
    ServicesRecord r;
    std::memset(&r, 0, sizeof r);
    ASSERT_EQ(0u, ServicesUnpack(&r, line.c_str()));
    std::vector<std::string> aliases = aliasesOf(r);
    ASSERT_EQ((size_t)GENREG_SERVICES_ALIAS_SLOTS - 1, aliases.size());
    EXPECT_EQ("a0", aliases.front());
    EXPECT_EQ("a126", aliases.back());
    EXPECT_EQ(nullptr, r.aliasTable[GENREG_SERVICES_ALIAS_SLOTS - 1]);
}

ServicesRecord entry(const char* name, unsigned port, const char* protocol,
                     const char* comment = nullptr, char** aliases = nullptr) {
    ServicesRecord r = {};
    r.Contains = GENREG_SERVICES_ENTRY | (comment ? GENREG_SERVICES_COMMENT : 0);
    r.name = const_cast<char*>(name);
    r.port = ServicesPortToNetwork((uint16_t)port);
    r.protocol = const_cast<char*>(protocol);
    r.comment = const_cast<char*>(comment);
    r.aliases = aliases;
    return r;
}

std::string pack(ServicesRecord r, unsigned* rc, const char* before = "old line\n") {
    char line[GENREG_LINE_MAX];
    std::snprintf(line, sizeof line, "%s", before);
    *rc = ServicesPack(&r, line);
    return line;
}

TEST(ServicesFormat, TabsFollowTheNameAndPortWidths) {
    char alpha[] = "alpha", beta[] = "beta", longAlias[] = "longalias";
    char* two[] = {alpha, beta, nullptr};
    char* longFirst[] = {longAlias, nullptr};
    char* none[] = {nullptr};
    struct {
        ServicesRecord record;
        const char* expected;
    } cases[] = {
        {entry("ordersvc", 50000, "tcp", "text"), "ordersvc\t50000/tcp\t\t\t# text\n"},
        {entry("ordersv", 50000, "tcp"), "ordersv\t\t50000/tcp\n"},
        {entry("www", 80, "tcp", nullptr, two), "www\t\t80/tcp\t\talpha beta\n"},
        {entry("www", 8080, "tcp", "c", two), "www\t\t8080/tcp\talpha beta\t\t# c\n"},
        {entry("www", 80, "tcp", "c", longFirst), "www\t\t80/tcp\t\tlongalias\t# c\n"},
        {entry("www", 80, "tcp", "c"), "www\t\t80/tcp\t\t\t\t# c\n"},
        {entry("www", 80, "tcp", "c", none), "www\t\t80/tcp\t\t\t# c\n"},
    };
    for (auto& c : cases) {
        unsigned rc = 1;
        EXPECT_EQ(c.expected, pack(c.record, &rc));
        EXPECT_EQ(0u, rc);
    }
    ServicesRecord comment = {};
    comment.Contains = GENREG_SERVICES_COMMENT;
    comment.comment = const_cast<char*>("note");
    unsigned rc = 1;
    EXPECT_EQ("\t\t\t\t# note\n", pack(comment, &rc));
    ServicesRecord blank = {};
    blank.Contains = GENREG_SERVICES_COMMENT;
    EXPECT_EQ("\n", pack(blank, &rc));
}

TEST(ServicesFormat, MissingFieldsAreRefusedWithTheirCodes) {
    unsigned rc = 0;
    pack(entry(nullptr, 80, "tcp"), &rc);
    EXPECT_EQ(GENREG_RC_SERVICE_NAME_MISSING, rc);
    EXPECT_EQ("old line\n", pack(entry("x", 0, "tcp"), &rc));
    EXPECT_EQ(GENREG_RC_SERVICE_PORT_MISSING, rc);
    pack(entry("x", 1, nullptr), &rc);
    EXPECT_EQ(GENREG_RC_SERVICE_PROTOCOL_MISSING, rc);
}

TEST(ServicesFormat, LineLongerThanTheBufferIsRefused) {
    std::string big(2100, 'n');
    std::string aliasText(1100, 'a');
    char* aliasList[] = {&aliasText[0], &aliasText[0], nullptr};
    ServicesRecord records[] = {entry(big.c_str(), 1, "tcp"), entry("x", 1, big.c_str()),
                                entry("x", 1, "tcp", big.c_str()),
                                entry("x", 1, "tcp", nullptr, aliasList)};
    for (const ServicesRecord& r : records) {
        unsigned rc = 0;
        EXPECT_EQ("old line\n", pack(r, &rc));
        EXPECT_EQ(GENREG_RC_LINE_TOO_LONG, rc);
    }
}

TEST(ServicesFormat, FormattedLineParsesBackToTheSameEntry) {
    char a1[] = "one", a2[] = "two";
    char* aliases[] = {a1, a2, nullptr};
    ServicesRecord r = entry("roundtrip", 12345, "udp", " comment", aliases);
    unsigned rc = 1;
    std::string line = pack(r, &rc);
    ASSERT_EQ(0u, rc);
    ServicesRecord back;
    ASSERT_EQ(0u, ServicesUnpack(&back, line.c_str()));
    EXPECT_EQ(1, ServicesCompare(GENREG_SELECT_ALL, &back, &r));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), aliasesOf(back));
    EXPECT_STREQ("  comment", back.comment);
}

TEST(ServicesCompare, CommentLinesByTextEntriesBySelector) {
    ServicesRecord empty1, empty2, comment, entryLine, otherPort;
    ASSERT_EQ(0u, ServicesUnpack(&empty1, "\n"));
    ASSERT_EQ(0u, ServicesUnpack(&empty2, "\n"));
    ASSERT_EQ(0u, ServicesUnpack(&comment, "# x\n"));
    ASSERT_EQ(0u, ServicesUnpack(&entryLine, "svc 100/tcp\n"));
    ASSERT_EQ(0u, ServicesUnpack(&otherPort, "svc 200/tcp\n"));
    EXPECT_EQ(1, ServicesCompare(0, &empty1, &empty2));
    EXPECT_EQ(0, ServicesCompare(0, &empty1, &comment));
    EXPECT_EQ(1, ServicesCompare(0, &comment, &comment));
    EXPECT_EQ(0, ServicesCompare(GENREG_SERVICES_NAME, &comment, &entryLine));
    EXPECT_EQ(1, ServicesCompare(GENREG_SERVICES_NAME, &entryLine, &otherPort));
    EXPECT_EQ(0, ServicesCompare(GENREG_SERVICES_PORT, &entryLine, &otherPort));
    EXPECT_EQ(1, ServicesCompare(GENREG_SERVICES_PROTOCOL, &entryLine, &otherPort));
    EXPECT_EQ(0, ServicesCompare(GENREG_SELECT_ALL, &entryLine, &otherPort));
}

TEST(ServicesValidate, ChecksInOrder) {
    ServicesRecord empty = {};
    ServicesRecord noName = entry(nullptr, 1, "tcp");
    ServicesRecord noPort = entry("x", 0, "tcp");
    ServicesRecord noProtocol = entry("x", 1, nullptr);
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, ServicesValidate(1, nullptr));
    EXPECT_EQ(GENREG_RC_EMPTY_RECORD, ServicesValidate(1, &empty));
    EXPECT_EQ(GENREG_RC_SERVICE_NAME_REQUIRED, ServicesValidate(1, &noName));
    EXPECT_EQ(GENREG_RC_SERVICE_PORT_REQUIRED, ServicesValidate(2, &noPort));
    EXPECT_EQ(GENREG_RC_SERVICE_PROTOCOL_REQUIRED, ServicesValidate(4, &noProtocol));
    EXPECT_EQ(0u, ServicesValidate(1, &noPort));
}

TEST(ServicesPrint, PortIsPrintedAsStoredInNetworkOrder) {
    ServicesRecord r = entry("svc", 1, "tcp");
    testing::internal::CaptureStdout();
    EXPECT_EQ(0u, GenRegServices::PrintRecord(&r));
    EXPECT_EQ("   name     = |svc|\n   port     = 256\n   protocol = |tcp|\n   comment  = NULL\n",
              testing::internal::GetCapturedStdout());
}

}  // namespace
