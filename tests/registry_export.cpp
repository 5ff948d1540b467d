// The registry export reader behind the POSIX stand-in registry: the
// formats regedit writes, and malformed files that must fail cleanly.
#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "platform/registry_export.h"
#include "platform/registry_text.h"

namespace {

std::string utf16le(const std::string& utf8) {
    OSSRegBuffer wide = {nullptr, 0, 0};
    EXPECT_EQ(0u, ossRegUtf8ToUtf16(utf8.data(), utf8.size(), &wide));
    std::string bytes = "\xFF\xFE";
    for (size_t i = 0; i < wide.size / 2; ++i) {
        char16_t unit = ((const char16_t*)wide.data)[i];
        bytes += (char)(unit & 0xFF);
        bytes += (char)(unit >> 8);
    }
    ossRegBufferFree(&wide);
    return bytes;
}

// A parse and the tree it made, freed with it.
struct Parsed {
    uint32_t rc;
    OSSRegTreeNode* root;
    OSSRegParseError error;
    explicit Parsed(const std::string& bytes) : root(nullptr), error() {
        rc = ossRegExportParse(bytes.data(), bytes.size(), &root, &error);
    }
    ~Parsed() { ossRegTreeFree(root); }
    Parsed(const Parsed&) = delete;
    Parsed& operator=(const Parsed&) = delete;
};

const OSSRegTreeValue* value(const Parsed& p, const std::string& key, const std::string& name) {
    const OSSRegTreeNode* node = p.root ? ossRegTreeFind(p.root, key.c_str()) : nullptr;
    return node ? ossRegTreeFindValue(node, name.c_str()) : nullptr;
}

std::string text(const Parsed& p, const std::string& key, const std::string& name) {
    const OSSRegTreeValue* v = value(p, key, name);
    return v ? std::string(v->data ? v->data : "", v->size) : "<missing>";
}

const char kBody[] =
    "\r\n"
    "; a comment line\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\QVR]\r\n"
    "\"QVR Path Name\"=\"C:\\\\Program Files\\\\QVR\\\\\"\r\n"
    "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
    "@=\"default\"\r\n"
    "\"Count\"=dword:0000001f\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\QVR\\CurrentVersion]\r\n"
    "\"Version\"=\"9\"\r\n";

TEST(RegistryExport, ReadsEveryEncodingRegeditWrites) {
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"UTF-16LE with byte-order mark",
         utf16le(std::string("Windows Registry Editor Version 5.00\r\n") + kBody)},
        {"UTF-8 without byte-order mark",
         std::string("Windows Registry Editor Version 5.00\r\n") + kBody},
        {"UTF-8 with byte-order mark",
         "\xEF\xBB\xBF" + std::string("Windows Registry Editor Version 5.00\r\n") + kBody},
        {"REGEDIT4", std::string("REGEDIT4\r\n") + kBody},
        {"REGEDIT4 with bare line feeds",
         std::string("REGEDIT4\n") + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\QVR]\n"
                                     "\"QVR Path Name\"=\"C:\\\\Program Files\\\\QVR\\\\\"\n"
                                     "\"Quoted\"=\"say \\\"hi\\\"\"\n@=\"default\"\n"
                                     "\"Count\"=dword:1f\n"
                                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\QVR\\CurrentVersion]\n"
                                     "\"Version\"=\"9\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed p(c.bytes);
        ASSERT_EQ(0u, p.rc) << p.error.line << ": " << p.error.reason;
        const char* qvr = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\QVR";
        EXPECT_EQ(std::string("C:\\Program Files\\QVR\\") + '\0', text(p, qvr, "QVR Path Name"));
        EXPECT_EQ(std::string("say \"hi\"") + '\0', text(p, qvr, "Quoted"));
        EXPECT_EQ(std::string("default") + '\0', text(p, qvr, ""));
        const OSSRegTreeValue* count = value(p, qvr, "Count");
        ASSERT_NE(nullptr, count);
        EXPECT_EQ((uint32_t)OSS_REG_DWORD, count->type);
        EXPECT_EQ(std::string("\x1f\0\0\0", 4), text(p, qvr, "Count"));
        EXPECT_EQ(std::string("9") + '\0',
                  text(p, std::string(qvr) + "\\CurrentVersion", "Version"));
    }
}

TEST(RegistryExport, HexDataContinuedOverLinesAndTextTypes) {
    Parsed p(
        "Windows Registry Editor Version 5.00\r\n"
        "[HKEY_LOCAL_MACHINE\\K]\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "  03,04,\\\r\n"
        "  ff\r\n"
        "\"Expand\"=hex(2):25,00,50,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        "\"Empty\"=hex:\r\n"
        "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n");
    ASSERT_EQ(0u, p.rc) << p.error.line << ": " << p.error.reason;
    EXPECT_EQ(std::string("\x01\x02\x03\x04\xff"), text(p, "HKEY_LOCAL_MACHINE\\K", "Bin"));
    EXPECT_EQ(std::string("%P\0", 3), text(p, "HKEY_LOCAL_MACHINE\\K", "Expand"));
    EXPECT_EQ(std::string("a\0b\0\0", 5), text(p, "HKEY_LOCAL_MACHINE\\K", "Multi"));
    EXPECT_EQ("", text(p, "HKEY_LOCAL_MACHINE\\K", "Empty"));
    EXPECT_EQ(11u, value(p, "HKEY_LOCAL_MACHINE\\K", "Qword")->type);

    // REGEDIT4 text types hold the bytes as written (ANSI, not UTF-16).
    Parsed old("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"Expand\"=hex(2):25,50,00\r\n");
    ASSERT_EQ(0u, old.rc);
    EXPECT_EQ(std::string("%P\0", 3), text(old, "HKEY_LOCAL_MACHINE\\K", "Expand"));
}

TEST(RegistryExport, DeletionLinesRemoveKeysAndValues) {
    Parsed p(
        "REGEDIT4\r\n"
        "[HKEY_LOCAL_MACHINE\\A\\B\\C]\r\n\"v\"=\"1\"\r\n"
        "[HKEY_LOCAL_MACHINE\\A\\D]\r\n\"keep\"=\"1\"\r\n\"drop\"=\"2\"\r\n"
        "[-HKEY_LOCAL_MACHINE\\A\\B]\r\n"
        "\"ignored\"=\"after a deleted key\"\r\n"
        "[-HKEY_LOCAL_MACHINE\\never\\there]\r\n"
        "[HKEY_LOCAL_MACHINE\\A\\D]\r\n\"drop\"=-\r\n");
    ASSERT_EQ(0u, p.rc) << p.error.line << ": " << p.error.reason;
    EXPECT_EQ(nullptr, ossRegTreeFind(p.root, "HKEY_LOCAL_MACHINE\\A\\B"));
    EXPECT_NE(nullptr, value(p, "HKEY_LOCAL_MACHINE\\A\\D", "keep"));
    EXPECT_EQ(nullptr, value(p, "HKEY_LOCAL_MACHINE\\A\\D", "drop"));
}

// A key of many values is looked up through an index (a scan of every value
// per line made a 20 MB file load for minutes): each value is found in any
// case, a later line replaces a value in its place, and a removal leaves the
// values behind it findable at their new places, in file order.
TEST(RegistryExport, KeyOfManyValuesKeepsEveryValueFindableInFileOrder) {
    const int kValues = 5000;
    std::string file = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n";
    for (int i = 0; i < kValues; ++i)
        file += "\"v" + std::to_string(i) + "\"=\"" + std::to_string(i) + "\"\r\n";
    file += "\"V7\"=\"seven\"\r\n\"v3\"=-\r\n\"v3\"=\"back\"\r\n";
    Parsed p(file);
    ASSERT_EQ(0u, p.rc) << p.error.line << ": " << p.error.reason;
    const OSSRegTreeNode* key = ossRegTreeFind(p.root, "HKEY_LOCAL_MACHINE\\K");
    ASSERT_NE(nullptr, key);
    ASSERT_EQ((size_t)kValues, key->valueCount);
    EXPECT_STREQ("seven", text(p, "HKEY_LOCAL_MACHINE\\K", "v7").c_str());
    EXPECT_STREQ("v7", key->values[6].name);  // v3 removed: v7 moved down one
    EXPECT_STREQ("v3", key->values[kValues - 1].name);
    EXPECT_STREQ("back", text(p, "HKEY_LOCAL_MACHINE\\K", "V3").c_str());
    for (int i = 0; i < kValues; ++i) {
        if (i == 3 || i == 7) continue;
        ASSERT_STREQ(std::to_string(i).c_str(),
                     text(p, "HKEY_LOCAL_MACHINE\\K", "V" + std::to_string(i)).c_str());
    }
    EXPECT_EQ("<missing>", text(p, "HKEY_LOCAL_MACHINE\\K", "v" + std::to_string(kValues)));
}

TEST(RegistryExport, NamesIgnoreCaseAndSubkeysSortLikeTheRegistry) {
    Parsed p(
        "REGEDIT4\r\n"
        "[HKEY_LOCAL_MACHINE\\P\\beta]\r\n"
        "[HKEY_LOCAL_MACHINE\\P\\Alpha]\r\n"
        "[HKEY_LOCAL_MACHINE\\P\\_under]\r\n"
        "[HKEY_LOCAL_MACHINE\\P\\GAMMA]\r\n\"Name\"=\"first\"\r\n"
        "[hkey_local_machine\\p\\gamma]\r\n\"NAME\"=\"second\"\r\n");
    ASSERT_EQ(0u, p.rc) << p.error.line << ": " << p.error.reason;
    const OSSRegTreeNode* parent = ossRegTreeFind(p.root, "HKEY_LOCAL_MACHINE\\P");
    ASSERT_NE(nullptr, parent);
    std::vector<std::string> names;
    for (size_t i = 0; i < parent->childCount; ++i)
        names.push_back(parent->children[i]->name);
    // Upper-cased order: "_" (0x5F) sorts after the letters, as in the registry.
    EXPECT_EQ((std::vector<std::string>{"Alpha", "beta", "GAMMA", "_under"}), names);
    EXPECT_EQ(std::string("second") + '\0', text(p, "hkey_LOCAL_machine\\P\\Gamma", "name"));
    ASSERT_EQ(1u, ossRegTreeFind(parent, "gamma")->valueCount);
}

TEST(RegistryExport, MalformedFilesFailWithTheirLine) {
    struct Case {
        const char* name;
        std::string bytes;
        unsigned line;
    } cases[] = {
        {"no header", "[HKEY_LOCAL_MACHINE\\K]\r\n", 1},
        {"empty file", "", 0},
        {"wrong header", "Windows Registry Editor Version 4.00\r\n", 1},
        {"key without ]", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K\r\n", 2},
        {"empty key name", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\\\K]\r\n", 2},
        {"unterminated quote in value", "REGEDIT4\r\n[K]\r\n\"a\"=\"open\r\n", 3},
        {"unterminated quote in name", "REGEDIT4\r\n[K]\r\n\"a=\"x\"\r\n", 3},
        {"unknown escape", "REGEDIT4\r\n[K]\r\n\"a\"=\"\\q\"\r\n", 3},
        {"bad hex byte", "REGEDIT4\r\n[K]\r\n\"a\"=hex:01,zz\r\n", 3},
        {"hex byte of three digits", "REGEDIT4\r\n[K]\r\n\"a\"=hex:123\r\n", 3},
        {"bad hex type", "REGEDIT4\r\n[K]\r\n\"a\"=hex(q):01\r\n", 3},
        {"dword of nine digits", "REGEDIT4\r\n[K]\r\n\"a\"=dword:123456789\r\n", 3},
        {"dword without digits", "REGEDIT4\r\n[K]\r\n\"a\"=dword:\r\n", 3},
        {"text after the data", "REGEDIT4\r\n[K]\r\n\"a\"=\"x\" y\r\n", 3},
        {"value before any key", "REGEDIT4\r\n\"a\"=\"x\"\r\n", 2},
        {"value line without =", "REGEDIT4\r\n[K]\r\n\"a\" \"x\"\r\n", 3},
        {"unknown data", "REGEDIT4\r\n[K]\r\n\"a\"=str:x\r\n", 3},
        {"garbage line", "REGEDIT4\r\n[K]\r\nhello\r\n", 3},
        {"file ends inside a continued line", "REGEDIT4\r\n[K]\r\n\"a\"=hex:01,\\\r\n", 3},
        {"NUL inside a UTF-8 file", std::string("REGEDIT4\r\n[K]\r\n\"a\"=\"x") + '\0' + "y\"\r\n",
         0},
        {"UTF-16 of odd length", utf16le("Windows Registry Editor Version 5.00\r\n[K]\r\n") + "A",
         0},
        {"UTF-16 with an unpaired surrogate",
         std::string("\xFF\xFE", 2) + "R\0" + std::string("\x00\xD8", 2), 0},
        {"big-endian UTF-16", std::string("\xFE\xFF\0R", 4), 0},
        {"odd UTF-16 text value",
         utf16le("Windows Registry Editor Version 5.00\r\n[K]\r\n\"a\"=hex(1):41\r\n"), 3},
        {"key name longer than 255", "REGEDIT4\r\n[" + std::string(256, 'k') + "]\r\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed p(c.bytes);
        EXPECT_EQ((uint32_t)OSS_WINERR_BADDB, p.rc);
        EXPECT_EQ(nullptr, p.root);
        EXPECT_EQ(c.line, p.error.line) << p.error.reason;
        EXPECT_NE('\0', p.error.reason[0]);
    }
}

// Every prefix of a valid file, cut at any byte, parses or fails cleanly
// (the sanitizer build turns any overread into a failure).
TEST(RegistryExport, TruncatedFilesNeverCrash) {
    std::string full = utf16le(std::string("Windows Registry Editor Version 5.00\r\n") + kBody +
                               "\"Bin\"=hex:01,02,\\\r\n  03\r\n");
    std::string narrow = std::string("REGEDIT4\r\n") + kBody + "\"Bin\"=hex:01,02,\\\r\n  03\r\n";
    for (const std::string* file : {&full, &narrow}) {
        for (size_t cut = 0; cut <= file->size(); ++cut) {
            Parsed p(file->substr(0, cut));
            ASSERT_TRUE(p.rc == 0 || p.rc == OSS_WINERR_BADDB) << cut;
            ASSERT_EQ(p.rc == 0, p.root != nullptr) << cut;
        }
    }
}

TEST(RegistryExport, KeyPathDeeperThanTheLimitFails) {
    std::string path = "HKEY_LOCAL_MACHINE";
    for (size_t i = 0; i < OSS_REG_EXPORT_MAX_DEPTH; ++i)
        path += "\\k";
    Parsed p("REGEDIT4\r\n[" + path + "]\r\n");
    EXPECT_EQ((uint32_t)OSS_WINERR_BADDB, p.rc);
}

TEST(RegistryExport, TextConversionsStayInsideTheirBuffers) {
    char16_t wide[4];
    EXPECT_EQ(0u, ossAnsiToUtf16("abc", wide, 4));
    EXPECT_EQ(std::u16string(u"abc"), std::u16string(wide));
    EXPECT_EQ((uint32_t)OSS_WINERR_INSUFFICIENT_BUFFER, ossAnsiToUtf16("abcd", wide, 4));
    EXPECT_EQ(u'\0', wide[0]);

    // An unterminated UTF-16 text is bounded by its length.
    const char16_t unterminated[3] = {u'x', u'y', u'z'};
    char narrow[4];
    EXPECT_EQ(0u, ossUtf16ToAnsi(unterminated, 2, narrow, sizeof narrow));
    EXPECT_STREQ("xy", narrow);
    EXPECT_EQ(0u, ossUtf16ToAnsi(unterminated, 3, narrow, sizeof narrow));
    EXPECT_STREQ("xyz", narrow);
    EXPECT_EQ((uint32_t)OSS_WINERR_INSUFFICIENT_BUFFER,
              ossUtf16ToAnsi(u"abcd", 4, narrow, sizeof narrow));
    EXPECT_STREQ("", narrow);
}

}  // namespace
