// The profile end to end on real files: construction, typed getters, and
// updates that keep every untouched line byte for byte.
#include <genreg/lines.h>

#include "text_fixture.h"

namespace {

using store_test::HandleIsIdle;
using store_test::IsCommitted;
using store_test::IsUntouched;
using text_test::Entry;
using text_test::Key;
using text_test::OnDisk;

class VarValProfile : public text_test::StoreTest<GenRegVarVal> {};

TEST_F(VarValProfile, ConstructorSetsFeaturesPathsAndResetsCompactFlag) {
    bCompactFormattedLine = true;
    Open("profile.env");
    EXPECT_FALSE(bCompactFormattedLine);
    EXPECT_EQ(GENREG_FEATURE_VERIFY | GENREG_FEATURE_DUPLICATES, handle->features);
    EXPECT_TRUE(handle->state & GENREG_STATE_PATHS_SET);
    EXPECT_EQ(path + ".tmp", handle->tempPath);
    EXPECT_EQ(dir.file(".profile.env.lock"), handle->lockPath);
    EXPECT_EQ((uint64_t)GENREG_STORE_TEXT, handle->storeKind);
}

TEST(VarValConstruct, BadPathsAreRefusedAndLeaveTheCompactFlag) {
    struct {
        const char* path;
        unsigned rc;
    } cases[] = {{nullptr, GENREG_RC_NULL_ARGUMENT}, {"", GENREG_RC_NULL_ARGUMENT}};
    for (const auto& c : cases) {
        bCompactFormattedLine = true;
        unsigned rc = 0;
        GenRegVarVal profile(c.path, &rc);
        EXPECT_EQ(c.rc, rc);
        EXPECT_TRUE(bCompactFormattedLine);
        EXPECT_FALSE(profile.state & GENREG_STATE_PATHS_SET);
        Entry e("a", "b");
        EXPECT_NE(0u, profile.Add(GENREG_VARVAL_VARIABLE, e.get()));
    }
    bCompactFormattedLine = false;
    // On Windows a relative name counts with the current directory, and
    // ".p...p.lock" beside it no longer fits in MAX_PATH.
    const bool absoluteFormCounts = ossPathSeparator() == '\\';
    for (size_t length : {253, 254}) {
        std::string path(length, 'p');
        unsigned rc = 0;
        GenRegVarVal profile(path.c_str(), &rc);
        EXPECT_EQ(length == 253 && !absoluteFormCounts ? 0u : GENREG_RC_PATH_TOO_LONG, rc)
            << length;
    }
    unsigned rc = 1;
    GenRegVarVal bare("profile.env", &rc);
    EXPECT_EQ(0u, rc);
    EXPECT_STREQ(".profile.env.lock", bare.lockPath);
    EXPECT_STREQ(".profile.env.bkp", bare.backupPath);
}

TEST_F(VarValProfile, TypedGettersConvertWholeValuesOnly) {
    ASSERT_TRUE(
        Write("# settings\n"
              "name = server one\n"
              "flag = yes\n"
              "off = false\n"
              "ratio = 2.5\n"
              "empty =\n"
              "count = -5\n"
              "bad = 12x\n"
              "big = 18446744073709551615\n"
              "quoted = \"a  b\"\n"
              "name = second\n"));
    const char* s = nullptr;
    EXPECT_TRUE(handle->GetStringValue("name", &s));
    EXPECT_STREQ("server one", s);  // the first line that holds the name
    EXPECT_TRUE(handle->GetStringValue("quoted", &s));
    EXPECT_STREQ("\"a  b\"", s);

    bool b = false;
    EXPECT_TRUE(handle->GetBooleanValue("flag", &b));
    EXPECT_TRUE(b);
    EXPECT_TRUE(handle->GetBooleanValue("off", &b));
    EXPECT_FALSE(b);
    b = true;
    EXPECT_FALSE(handle->GetBooleanValue("name", &b));
    EXPECT_TRUE(b);

    double d = 0;
    EXPECT_TRUE(handle->GetDoubleValue("ratio", &d));
    EXPECT_EQ(2.5, d);
    EXPECT_TRUE(handle->GetDoubleValue("empty", &d));
    EXPECT_EQ(0.0, d);

    int64_t i = 7;
    EXPECT_TRUE(handle->GetSintValue("count", &i));
    EXPECT_EQ(-5, i);
    i = 7;
    EXPECT_FALSE(handle->GetSintValue("bad", &i));
    EXPECT_EQ(7, i);

    uint64_t u = 0;
    EXPECT_TRUE(handle->GetUintValue("big", &u));
    EXPECT_EQ(18446744073709551615ULL, u);
    u = 3;
    EXPECT_FALSE(handle->GetUintValue("missing", &u));
    EXPECT_EQ(3u, u);
    EXPECT_FALSE(handle->GetStringValue(nullptr, &s));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(VarValProfile, StringValueStaysValidUntilTheNextGetterCall) {
    ASSERT_TRUE(Write("a = first\nb = second\n"));
    const char* a = nullptr;
    ASSERT_TRUE(handle->GetStringValue("a", &a));
    std::string copy = a;
    EXPECT_EQ("first", copy);
    const char* kept = a;
    EXPECT_FALSE(handle->GetStringValue("missing", &a));
    EXPECT_EQ(kept, a);  // output untouched
}

TEST_F(VarValProfile, GettersOnAMissingFileAreFalse) {
    const char* s = "untouched";
    EXPECT_FALSE(handle->GetStringValue("x", &s));
    EXPECT_STREQ("untouched", s);
    EXPECT_FALSE(store_test::PathExists(path));
}

TEST_F(VarValProfile, AddChangeDeleteEndToEnd) {
    Entry port("port", "5000");
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, port.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("port = 5000\n")));

    Entry host("host", "db1", "primary");
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, host.get()));
    uint64_t value = 0;
    EXPECT_TRUE(handle->GetUintValue("port", &value));
    EXPECT_EQ(5000u, value);

    Key portKey("port");
    Entry newPort("port", "6000");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, portKey.get(), newPort.get()));
    EXPECT_TRUE(handle->GetUintValue("port", &value));
    EXPECT_EQ(6000u, value);
    EXPECT_EQ(GENREG_RC_UNCHANGED,
              handle->Change(GENREG_VARVAL_VARIABLE, portKey.get(), newPort.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("port = 6000\nhost = db1 # primary\n")));

    Key hostKey("host");
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, hostKey.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("port = 6000\n")));
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle->Delete(GENREG_VARVAL_VARIABLE, hostKey.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("port = 6000\n")));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(VarValProfile, CompactFlagAppliesToNewLinesOnly) {
    ASSERT_TRUE(Write("a  =  1\n"));
    bCompactFormattedLine = true;
    Entry b("b", "2");
    EXPECT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, b.get()));
    Key a("a");
    Entry a2("a", "9");
    EXPECT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
    bCompactFormattedLine = false;
    EXPECT_EQ(OnDisk("a  =  9\nb=2\n"), Read());
}

// A file full of comments, blank lines, continued lines, tabs and odd
// spacing, changed in several steps: after each step the whole file must
// hold exactly the expected bytes.
TEST_F(VarValProfile, SeriesOfUpdatesKeepsEveryUntouchedLineByteForByte) {
    handle->setFeature(GENREG_FEATURE_JOIN_LINES);
    const std::string head =
        "# Profile of the test instance\n"
        "\n"
        "   # indented comment with\ttab  and  spaces\n"
        "\tDB_HOME\t =\t/opt/db   # where it lives\n"
        "PATH_LIST = /a:\\\n"
        "/b:\\\n"
        "/c\n"
        "\n"
        "  \t  \n"
        "weird    spacing   =    \"quoted   value\"    # c\n";
    ASSERT_TRUE(Write(head + "  port\t=  5000\n" + "trailer = end\n"));

    Key port("port");
    Entry newPort("port", "6000");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, port.get(), newPort.get()));
    std::string expected = head + "  port\t=  6000\n" + "trailer = end\n";
    EXPECT_EQ(OnDisk(expected), Read());

    Entry added("added", "1", "new");
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, added.get()));
    expected += "added = 1 # new\n";
    EXPECT_EQ(OnDisk(expected), Read());

    Key trailer("trailer");
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, trailer.get()));
    expected = head + "  port\t=  6000\n" + "added = 1 # new\n";
    EXPECT_EQ(OnDisk(expected), Read());

    // The continued line is one record: it can be read and changed whole.
    const char* list = nullptr;
    ASSERT_TRUE(handle->GetStringValue("PATH_LIST", &list));
    EXPECT_STREQ("/a:/b:/c", list);
    Key pathList("PATH_LIST");
    Entry newList("PATH_LIST", "/d");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, pathList.get(), newList.get()));
    std::string changedHead = head;
    changedHead.replace(changedHead.find("PATH_LIST"),
                        std::string("PATH_LIST = /a:\\\n/b:\\\n/c\n").size(), "PATH_LIST = /d\n");
    EXPECT_EQ(OnDisk(changedHead + "  port\t=  6000\n" + "added = 1 # new\n"), Read());
    EXPECT_TRUE(IsCommitted(*handle, Read()));
}

TEST_F(VarValProfile, DuplicateVariablesAreAllChangedOrDeleted) {
    ASSERT_TRUE(Write("x = 1\n# keep\nx = 2\ny = 3\n"));
    Key x("x");
    Entry x9("x", "9");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, x.get(), x9.get()));
    EXPECT_EQ(OnDisk("x = 9\n# keep\nx = 9\ny = 3\n"), Read());
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, x.get()));
    EXPECT_EQ(OnDisk("# keep\ny = 3\n"), Read());
    // A second line with the same variable may be added.
    Entry y("y", "3");
    EXPECT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, y.get()));
    EXPECT_EQ(OnDisk("# keep\ny = 3\ny = 3\n"), Read());
}

TEST_F(VarValProfile, ChangeToTheValueItHasLeavesTheFileAndNoCopy) {
    ASSERT_TRUE(Write("x = 1\n"));
    Key x("x");
    Entry same("x", "1");
    EXPECT_EQ(GENREG_RC_UNCHANGED, handle->Change(GENREG_VARVAL_VARIABLE, x.get(), same.get()));
    EXPECT_TRUE(IsUntouched(*handle, "x = 1\n"));
    EXPECT_FALSE(store_test::PathExists(handle->tempPath));
}

}  // namespace
