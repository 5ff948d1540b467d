// The text store where files meet other programs and people: over-long
// lines, a last line that fills the line buffer, trailing continuations, a
// byte-order mark in front of the text, and null arguments.
#include "text_fixture.h"

namespace {

using store_test::HandleIsIdle;
using store_test::IsCommitted;
using store_test::IsUntouched;
using store_test::LogCapture;
using text_test::Entry;
using text_test::Key;
using text_test::OnDisk;

class TextEdges : public text_test::StoreTest<GenRegVarVal> {
protected:
    // The data of the first log entry that reports an over-long line.
    static std::string overLongEntry(const LogCapture& log) {
        for (const auto& e : log.entries())
            if (e.rc == GENREG_RC_LINE_TOO_LONG || e.rc == GENREG_RC_BUFFER_TOO_SMALL)
                return e.data;
        return "";
    }
};

const char kMark[] = "\xEF\xBB\xBF";

TEST_F(TextEdges, OverLongCommentLineIsNotASetting) {
    // The text behind the buffer's end, and a physical line joined to a
    // comment whose continuation filled the buffer, are part of comments.
    const std::string plain = "# " + std::string(GENREG_LINE_MAX - 3, 'c') + "evil = 1\n";
    const std::string joined = "# " + std::string(GENREG_LINE_MAX - 5, 'c') + "\\\nevil = 1\n";
    struct Case {
        const char* name;
        std::string line;
        bool join;
        const char* where;
    } cases[] = {
        {"piece of a physical line", plain, false, "line=2 length=2055 "},
        {"continuation without room", joined, true, "line=2 length=2055 "},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Write("a = 1\n" + c.line + "good = 2\n"));
        if (c.join) handle->setFeature(GENREG_FEATURE_JOIN_LINES);
        LogCapture log;
        int64_t value = 7;
        EXPECT_FALSE(handle->GetSintValue("evil", &value)) << c.name;
        EXPECT_EQ(7, value) << c.name;
        EXPECT_EQ(0u, overLongEntry(log).find(c.where)) << c.name << ": " << overLongEntry(log);
        EXPECT_TRUE(handle->GetSintValue("good", &value)) << c.name;
        EXPECT_EQ(2, value);

        // A listing of every line reports the line and goes on behind it.
        ASSERT_EQ(0u, handle->OpenScan());
        VarValRecord r;
        EXPECT_EQ(0u, handle->GetNext(0, nullptr, &r));
        EXPECT_EQ(GENREG_RC_LINE_TOO_LONG, handle->GetNext(0, nullptr, &r)) << c.name;
        ASSERT_EQ(0u, handle->GetNext(0, nullptr, &r)) << c.name;
        EXPECT_STREQ("good", r.Variable);
        EXPECT_EQ(GENREG_RC_NOT_FOUND, handle->GetNext(0, nullptr, &r));
        EXPECT_EQ(0u, handle->CloseScan());
        if (c.join) handle->unsetFeature(GENREG_FEATURE_JOIN_LINES);
        EXPECT_TRUE(HandleIsIdle(*handle));
    }
}

TEST_F(TextEdges, OverLongValueIsNotCut) {
    const std::string longLine = "long = " + std::string(3000, 'v') + "\n";
    ASSERT_TRUE(Write(longLine + "long = short\nafter = 1\n"));
    LogCapture log;
    const char* s = nullptr;
    // The first line that holds the name cannot be read whole: no value,
    // neither a cut one nor that of a later line.
    EXPECT_FALSE(handle->GetStringValue("long", &s));
    EXPECT_EQ(nullptr, s);
    Key key("long");
    VarValRecord r;
    EXPECT_EQ(GENREG_RC_LINE_TOO_LONG, handle->Get(GENREG_VARVAL_VARIABLE, key.get(), &r));
    EXPECT_EQ(0u, overLongEntry(log).find("line=1 length=3007 ")) << overLongEntry(log);
    EXPECT_TRUE(handle->GetStringValue("after", &s));
    EXPECT_STREQ("1", s);
    ASSERT_EQ(0u, handle->OpenScan());
    EXPECT_EQ(GENREG_RC_LINE_TOO_LONG, handle->GetNext(0, nullptr, &r));
    ASSERT_EQ(0u, handle->GetNext(0, nullptr, &r));
    EXPECT_STREQ("short", r.Value);
    ASSERT_EQ(0u, handle->GetNext(0, nullptr, &r));
    EXPECT_STREQ("after", r.Variable);
    EXPECT_EQ(GENREG_RC_NOT_FOUND, handle->GetNext(0, nullptr, &r));
    EXPECT_EQ(0u, handle->CloseScan());
    EXPECT_TRUE(HandleIsIdle(*handle));

    // Updates refuse the file, logging the same line and length.
    LogCapture updateLog;
    Key after("after");
    EXPECT_EQ(GENREG_RC_BUFFER_TOO_SMALL, handle->Delete(GENREG_VARVAL_VARIABLE, after.get()));
    EXPECT_NE(std::string::npos, overLongEntry(updateLog).find("line=1 length=3007"))
        << overLongEntry(updateLog);
    EXPECT_TRUE(IsUntouched(*handle, longLine + "long = short\nafter = 1\n"));
}

// Found by fuzzing: NUL bytes in the rest of an over-long line made the
// listing pass over the line behind it.
TEST_F(TextEdges, OverLongLineWithNulBytesIsPassedOverWhole) {
    std::string longLine = "long = " + std::string(3000, 'v') + "\n";
    longLine[2500] = '\0';
    ASSERT_TRUE(Write(longLine + "after = 1\n"));
    LogCapture log;
    ASSERT_EQ(0u, handle->OpenScan());
    VarValRecord r;
    EXPECT_EQ(GENREG_RC_LINE_TOO_LONG, handle->GetNext(0, nullptr, &r));
    ASSERT_EQ(0u, handle->GetNext(0, nullptr, &r));
    EXPECT_STREQ("after", r.Variable);
    EXPECT_EQ(GENREG_RC_NOT_FOUND, handle->GetNext(0, nullptr, &r));
    EXPECT_EQ(0u, handle->CloseScan());
    EXPECT_EQ(0u, overLongEntry(log).find("line=1 length=3007 ")) << overLongEntry(log);
}

TEST_F(TextEdges, LastLineOf2047CharactersWithoutEndIsUpdatable) {
    const std::string last = "z = " + std::string(GENREG_LINE_MAX - 5, 'z');  // 2047 characters
    ASSERT_EQ((size_t)GENREG_LINE_MAX - 1, last.size());
    ASSERT_TRUE(Write("a = 1\n" + last));
    const char* s = nullptr;
    ASSERT_TRUE(handle->GetStringValue("z", &s));
    EXPECT_EQ(std::string(GENREG_LINE_MAX - 5, 'z'), s);

    Key a("a"), z("z");
    Entry a2("a", "2"), zShort("z", "short"), b("b", "3");
    // The last line is kept as it stands: a line end would not fit.
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("a = 2\n") + last));
    // Add would have to end it, and the line would no longer fit.
    EXPECT_EQ(GENREG_RC_BUFFER_TOO_SMALL, handle->Add(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsUntouched(*handle, OnDisk("a = 2\n") + last));
    handle->unsetFeature(GENREG_FEATURE_VERIFY);  // appends in place
    EXPECT_EQ(GENREG_RC_BUFFER_TOO_SMALL, handle->Add(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsUntouched(*handle, OnDisk("a = 2\n") + last));
    handle->setFeature(GENREG_FEATURE_VERIFY);
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, a.get()));
    EXPECT_TRUE(IsCommitted(*handle, last));
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, z.get(), zShort.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("z = short\n")));

    // One character more is longer than the buffer: still refused.
    const std::string longer = "a = 1\n" + last + "z";
    ASSERT_TRUE(Write(longer));
    EXPECT_EQ(GENREG_RC_BUFFER_TOO_SMALL,
              handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
    EXPECT_TRUE(IsUntouched(*handle, longer));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextEdges, AddAfterTrailingContinuationIsNotSwallowed) {
    handle->setFeature(GENREG_FEATURE_JOIN_LINES);
    struct Case {
        const char* name;
        std::string before;
        bool inPlace;
    } cases[] = {
        {"continued comment", "a = 1\n# note \\\n", false},
        {"continued comment, appended in place", "a = 1\n# note \\\n", true},
        {"open line ending in a backslash", "a = 1\nc = 3\\", false},
        {"open line ending in a backslash, in place", "a = 1\nc = 3\\", true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Write(c.before));
        if (c.inPlace) handle->unsetFeature(GENREG_FEATURE_VERIFY);
        Entry b("b", "2");
        EXPECT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, b.get())) << c.name;
        if (c.inPlace) handle->setFeature(GENREG_FEATURE_VERIFY);
        int64_t value = 0;
        EXPECT_TRUE(handle->GetSintValue("b", &value)) << c.name << ": " << Read();
        EXPECT_EQ(2, value);
        EXPECT_TRUE(handle->GetSintValue("a", &value)) << c.name;
        // A copy is written through a text stream, an append in place
        // leaves the old bytes as they were. One more line end ends the
        // continuation; an open last line ending in a backslash gets a
        // line end that makes the backslash a continuation, on every
        // platform, and so keeps its meaning.
        const std::string added = c.before.back() == '\n' ? "\nb = 2\n" : "\n\nb = 2\n";
        const std::string expected =
            c.inPlace ? c.before + OnDisk(added) : OnDisk(c.before + added);
        EXPECT_TRUE(IsCommitted(*handle, expected)) << c.name;
    }
    EXPECT_TRUE(HandleIsIdle(*handle));
}

// A backslash that ends the file is dropped by the line reader, so
// "c = 3\" without a line end reads as 3. An Add ended that line with CR LF
// (POSIX) and the backslash became part of the value ("3\"), with joining
// on or off. With joining on, the line end now makes it a continuation that
// an empty line ends; with joining off no line end can keep it out of the
// text, and the Add is refused with the file as it was.
TEST_F(TextEdges, AddAfterOpenLineEndingInBackslashKeepsItsMeaning) {
    const std::string before = "a = 1\nc = 3\\";
    for (bool join : {false, true}) {
        for (uint64_t off : {(uint64_t)0, (uint64_t)GENREG_FEATURE_VERIFY,
                             (uint64_t)(GENREG_FEATURE_VERIFY | GENREG_FEATURE_DUPLICATES)}) {
            SCOPED_TRACE(testing::Message() << "join " << join << " features off " << off);
            handle->setFeature(GENREG_FEATURE_VERIFY | GENREG_FEATURE_DUPLICATES);
            if (off != 0) handle->unsetFeature(off);
            if (join) handle->setFeature(GENREG_FEATURE_JOIN_LINES);
            if (!join) handle->unsetFeature(GENREG_FEATURE_JOIN_LINES);
            ASSERT_TRUE(Write(before));
            const char* value = nullptr;
            ASSERT_TRUE(handle->GetStringValue("c", &value));
            ASSERT_STREQ("3", value);
            Entry b("b", "2");
            LogCapture log;
            const unsigned rc = handle->Add(GENREG_VARVAL_VARIABLE, b.get());
            if (!join) {
                EXPECT_EQ(GENREG_RC_OPEN_LINE_BACKSLASH, rc);
                EXPECT_EQ(1u, log.Count(GENREG_RC_OPEN_LINE_BACKSLASH));
                EXPECT_TRUE(IsUntouched(*handle, before));
                continue;
            }
            EXPECT_EQ(0u, rc);
            ASSERT_TRUE(handle->GetStringValue("c", &value)) << Read();
            EXPECT_STREQ("3", value);
            int64_t number = 0;
            EXPECT_TRUE(handle->GetSintValue("b", &number));
            EXPECT_EQ(2, number);
        }
    }
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextEdges, ByteOrderMarkIsNotPartOfFirstName) {
    const std::string mark = kMark;
    ASSERT_TRUE(Write(mark + "name = 1\nother = 2\n"));
    int64_t value = 0;
    EXPECT_TRUE(handle->GetSintValue("name", &value));
    EXPECT_EQ(1, value);
    ASSERT_EQ(0u, handle->OpenScan());
    VarValRecord r;
    ASSERT_EQ(0u, handle->GetNext(0, nullptr, &r));
    EXPECT_STREQ("name", r.Variable);
    EXPECT_EQ(0u, handle->CloseScan());

    // Every rewrite keeps the mark in front of the text, byte for byte.
    Key name("name"), other("other");
    Entry name5("name", "5"), other3("other", "3"), added("x", "9");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, name.get(), name5.get()));
    EXPECT_TRUE(IsCommitted(*handle, mark + OnDisk("name = 5\nother = 2\n")));
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, other.get(), other3.get()));
    EXPECT_TRUE(IsCommitted(*handle, mark + OnDisk("name = 5\nother = 3\n")));
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, added.get()));
    EXPECT_TRUE(IsCommitted(*handle, mark + OnDisk("name = 5\nother = 3\nx = 9\n")));
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, name.get()));
    EXPECT_TRUE(IsCommitted(*handle, mark + OnDisk("other = 3\nx = 9\n")));
    EXPECT_TRUE(handle->GetSintValue("other", &value));
    EXPECT_EQ(3, value);

    // The services schema reads the same line reader.
    unsigned rc = 1;
    GenRegServices services(dir.file("services").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    ASSERT_TRUE(store_test::WriteFileBytes(services.filePath, mark + "ordersvc 50000/tcp\n"));
    text_test::Service key("ordersvc 1/tcp");
    ServicesRecord found;
    ASSERT_EQ(0u, services.Get(GENREG_SERVICES_NAME, key.get(), &found));
    EXPECT_STREQ("ordersvc", found.name);
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextEdges, NullResultPointerIsRefused) {
    ASSERT_TRUE(Write("a = 1\n"));
    Key a("a");
    Entry a2("a", "2");
    LogCapture log;
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->Get(GENREG_VARVAL_VARIABLE, a.get(), nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->Get(GENREG_VARVAL_VARIABLE, nullptr, a2.get()));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->Add(GENREG_VARVAL_VARIABLE, nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->Change(GENREG_VARVAL_VARIABLE, nullptr, a2.get()));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->Delete(GENREG_VARVAL_VARIABLE, nullptr));
    ASSERT_EQ(0u, handle->OpenScan());
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->GetNext(0, nullptr, nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->GetNext(GENREG_VARVAL_VARIABLE, a.get(), nullptr));
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, handle->GetNext(GENREG_VARVAL_VARIABLE, nullptr, a2.get()));
    VarValRecord r;
    EXPECT_EQ(0u, handle->GetNext(0, nullptr, &r));  // selector 0 takes no key
    EXPECT_EQ(0u, handle->CloseScan());
    EXPECT_EQ(9u, log.Count(GENREG_RC_NULL_ARGUMENT));
    EXPECT_TRUE(IsUntouched(*handle, "a = 1\n"));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

}  // namespace
