// Line ends across updates. Windows: the store reads and writes text
// streams, so CR LF files stay CR LF. POSIX: carriage returns are ordinary
// bytes that untouched lines keep, and a changed line keeps the CR LF of
// the line it replaces.
#include "text_fixture.h"

namespace {

using store_test::IsCommitted;
using text_test::Entry;
using text_test::Key;

class TextLineEnds : public text_test::StoreTest<GenRegVarVal> {};

TEST_F(TextLineEnds, CrLfFileKeepsItsLineEndsThroughChangeDeleteAndAdd) {
    const bool translated = ossTextStreamsTranslateLineEnds();
    ASSERT_TRUE(Write("# profile\r\na = 1\r\nb = 2\r\n\r\nc = 3\r\n"));
    Key a("a"), b("b");
    Entry a9("a", "9"), d("d", "4");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a9.get()));
    EXPECT_TRUE(IsCommitted(*handle, "# profile\r\na = 9\r\nb = 2\r\n\r\nc = 3\r\n"));
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsCommitted(*handle, "# profile\r\na = 9\r\n\r\nc = 3\r\n"));
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, d.get()));
    // A new line ends as the platform's text streams end it.
    EXPECT_TRUE(IsCommitted(*handle, std::string("# profile\r\na = 9\r\n\r\nc = 3\r\n") +
                                         (translated ? "d = 4\r\n" : "d = 4\n")));
    // Values read from CR LF lines carry no carriage return.
    const char* value = nullptr;
    ASSERT_TRUE(handle->GetStringValue("c", &value));
    EXPECT_STREQ("3", value);
}

TEST_F(TextLineEnds, LoneCarriageReturnsAreKeptAsBytes) {
    const std::string odd = "x = a\rb\n# note\r\r\n";
    ASSERT_TRUE(Write(odd + "y = 1\n"));
    Key y("y");
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, y.get()));
    std::string expected = ossTextStreamsTranslateLineEnds() ? "x = a\rb\r\n# note\r\r\n" : odd;
    EXPECT_TRUE(IsCommitted(*handle, expected));
}

TEST_F(TextLineEnds, EndOfInputByteNeverCutsTheFileShort) {
    // Where text streams end their input at this byte, an update would copy
    // only the lines before it: it is refused and the file kept whole.
    const std::string content = "a = 1\n\x1a marker\nb = 2\n";
    ASSERT_TRUE(Write(content));
    Key a("a"), b("b");
    Entry a2("a", "2"), c("c", "3");
    VarValRecord r;
    if (ossTextStreamEndOfInputByte() == 0x1a) {
        EXPECT_EQ(GENREG_RC_READ_FAILED, handle->Delete(GENREG_VARVAL_VARIABLE, a.get()));
        EXPECT_EQ(GENREG_RC_READ_FAILED, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
        EXPECT_EQ(GENREG_RC_READ_FAILED, handle->Add(GENREG_VARVAL_VARIABLE, c.get()));
        EXPECT_TRUE(store_test::IsUntouched(*handle, content));
        EXPECT_TRUE(store_test::HandleIsIdle(*handle));
    } else {
        ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, a.get()));
        EXPECT_TRUE(IsCommitted(*handle, "\x1a marker\nb = 2\n"));
        EXPECT_EQ(0u, handle->Get(GENREG_VARVAL_VARIABLE, b.get(), &r));
    }
}

}  // namespace
