// Updates of a text file: Add, Change and Delete, their line ends, their
// failures and what each leaves on disk.
#include "text_fixture.h"

namespace {

using store_test::Companions;
using store_test::HandleIsIdle;
using store_test::HasCompanions;
using store_test::IsCommitted;
using store_test::IsUntouched;
using text_test::Entry;
using text_test::Key;
using text_test::OnDisk;
using text_test::Service;

class TextUpdate : public text_test::StoreTest<GenRegVarVal> {};
class TextUpdateServices : public text_test::StoreTest<GenRegServices> {};

TEST_F(TextUpdate, AddToAMissingFileCreatesItAndItsDirectory) {
    Open("sub" + std::string(1, ossPathSeparator()) + "deeper" + ossPathSeparator() + "reg");
    Entry e("a", "1");
    store_test::ResourceBalance balance;
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, e.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("a = 1\n")));
    EXPECT_TRUE(HandleIsIdle(*handle));
    EXPECT_TRUE(balance.Unchanged());
}

TEST_F(TextUpdate, AddAfterALastLineWithoutNewlineEndsThatLineWithCrLf) {
    ASSERT_TRUE(Write("# c\nlast = 1"));
    Entry e("b", "2");
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, e.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("# c\n") + "last = 1\r\n" + OnDisk("b = 2\n")));
}

TEST_F(TextUpdate, ChangeAndDeleteGiveALastLineWithoutNewlineTheirOwnLineEnd) {
    ASSERT_TRUE(Write("a = 1\n# tail"));
    Key a("a");
    Entry a2("a", "2");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("a = 2\n# tail\n")));
    ASSERT_TRUE(Write("a = 1\nb = 2\n# tail"));
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, a.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("b = 2\n") + "# tail"));
}

TEST_F(TextUpdate, DeleteBeforeALastLineWithoutNewlinePassesVerification) {
    ASSERT_TRUE(Write("a = 1\nb = 2\nc = 3"));
    Key b("b");
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("a = 1\n") + "c = 3"));
}

TEST_F(TextUpdate, DeleteOfTheLastAndOfTheOnlyLine) {
    ASSERT_TRUE(Write("a = 1\nb = 2\n"));
    Key b("b"), a("a");
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("a = 1\n")));
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, a.get()));
    EXPECT_TRUE(IsCommitted(*handle, ""));
    ASSERT_TRUE(Write("x = 1\nx = 2\nx = 3\n"));
    Key x("x");
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, x.get()));
    EXPECT_TRUE(IsCommitted(*handle, ""));
}

TEST_F(TextUpdate, LinesThatDoNotParseAreKeptAndTheUpdateSucceeds) {
    const std::string bad = "no equal sign\nq = \"open quote\n";
    ASSERT_TRUE(Write(bad + "x = 1\n"));
    Key x("x");
    Entry x2("x", "2");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, x.get(), x2.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(bad + "x = 2\n")));
    Entry y("y", "3");
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, y.get()));
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, x.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(bad + "y = 3\n")));
    // A key naming the variable of a line that does not parse finds nothing.
    Key q("q");
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle->Delete(GENREG_VARVAL_VARIABLE, q.get()));
}

TEST_F(TextUpdate, ChangeAndDeleteWithoutAMatchLeaveTheFileAndNoCopy) {
    ASSERT_TRUE(Write("a = 1\n"));
    Key z("z");
    Entry z2("z", "2");
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle->Change(GENREG_VARVAL_VARIABLE, z.get(), z2.get()));
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle->Delete(GENREG_VARVAL_VARIABLE, z.get()));
    EXPECT_TRUE(IsUntouched(*handle, "a = 1\n"));
    EXPECT_TRUE(HasCompanions(*handle, Companions{true, false, false, false, false}));
}

TEST_F(TextUpdate, ChangeOnAMissingFileIsOpenFailed) {
    Key a("a");
    Entry a2("a", "2");
    EXPECT_EQ(GENREG_RC_OPEN_FAILED, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
    EXPECT_EQ(GENREG_RC_OPEN_FAILED, handle->Delete(GENREG_VARVAL_VARIABLE, a.get()));
    EXPECT_TRUE(HasCompanions(*handle, Companions{}));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextUpdate, WithoutVerificationTheTransactionSwapsAndUnchangedStillRewrites) {
    ASSERT_EQ(0u, handle->unsetFeature(GENREG_FEATURE_VERIFY));
    ASSERT_TRUE(Write("x = 1\nx = 2\n"));
    Key x("x");
    Entry x1("x", "1");
    // The first line already holds the record, the second is replaced.
    EXPECT_EQ(GENREG_RC_UNCHANGED, handle->Change(GENREG_VARVAL_VARIABLE, x.get(), x1.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("x = 1\nx = 1\n")));
    // With verification the same Change commits nothing.
    ASSERT_EQ(0u, handle->setFeature(GENREG_FEATURE_VERIFY));
    ASSERT_TRUE(Write("x = 1\nx = 2\n"));
    EXPECT_EQ(GENREG_RC_UNCHANGED, handle->Change(GENREG_VARVAL_VARIABLE, x.get(), x1.get()));
    EXPECT_TRUE(IsUntouched(*handle, "x = 1\nx = 2\n"));
    EXPECT_FALSE(store_test::PathExists(handle->tempPath));
}

TEST_F(TextUpdate, AppendInPlaceWritesNoCopyAndEndsAnOpenLastLineFirst) {
    ASSERT_EQ(0u, handle->unsetFeature(GENREG_FEATURE_VERIFY));  // duplicates stay allowed
    ASSERT_TRUE(Write("a = 1"));
    Entry b("b", "2");
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsCommitted(*handle, "a = 1\r\n" + OnDisk("b = 2\n")));
    ASSERT_EQ(0u, handle->Add(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsCommitted(*handle, "a = 1\r\n" + OnDisk("b = 2\nb = 2\n")));
    EXPECT_FALSE(store_test::PathExists(handle->corruptPath));
}

TEST_F(TextUpdate, PostUpdateRunsAfterSuccessOnlyAndItsFailureIsOnlyLogged) {
    static int calls;
    static unsigned result;
    calls = 0;
    ASSERT_TRUE(Write("a = 1\n"));
    ASSERT_EQ(0u, handle->setFeature(GENREG_FEATURE_POST_UPDATE));
    Entry b("b", "2");
    EXPECT_EQ(GENREG_RC_NO_POST_UPDATE_SLOT, handle->Add(GENREG_VARVAL_VARIABLE, b.get()));
    handle->PostUpdate = [] {
        ++calls;
        return result;
    };
    result = 0x12345;
    store_test::LogCapture log;
    Key b1("b");
    Entry b3("b", "3");
    EXPECT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, b1.get(), b3.get()));
    EXPECT_EQ(1, calls);
    EXPECT_EQ(1u, log.Count(0x12345));
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle->Delete(GENREG_VARVAL_VARIABLE, Key("zz").get()));
    EXPECT_EQ(1, calls);
}

TEST_F(TextUpdate, ValidationAndEmptySlotsAreRefusedBeforeAnythingIsTaken) {
    ASSERT_TRUE(Write("a = 1\n"));
    VarValRecord empty = {};
    Key a("a");
    EXPECT_EQ(GENREG_RC_INVALID_RECORD, handle->Add(GENREG_VARVAL_VARIABLE, &empty));
    EXPECT_EQ(GENREG_RC_INVALID_RECORD, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), &empty));
    EXPECT_EQ(GENREG_RC_INVALID_RECORD, handle->Delete(GENREG_VARVAL_VARIABLE, &empty));
    handle->PackRecord = nullptr;
    EXPECT_EQ(GENREG_RC_SLOTS_INCOMPLETE, handle->Add(GENREG_VARVAL_VARIABLE, a.get()));
    Entry a2("a", "2");
    EXPECT_EQ(GENREG_RC_NO_LINE_PACK_SLOT,
              handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
    // The verification pass needs every slot: nothing is committed.
    EXPECT_EQ(GENREG_RC_VERIFY_FAILED, handle->Delete(GENREG_VARVAL_VARIABLE, a.get()));
    EXPECT_TRUE(IsUntouched(*handle, "a = 1\n"));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextUpdate, VerificationOfAnAddedLineThatDoesNotParseFailsInsteadOfReturningZero) {
    ASSERT_TRUE(Write("a = 1\n"));
    // Formats as x = "open, which the schema cannot read back.
    Entry bad("x", "\"open");
    store_test::LogCapture log;
    EXPECT_EQ(GENREG_RC_VERIFY_FAILED, handle->Add(GENREG_VARVAL_VARIABLE, bad.get()));
    EXPECT_EQ(1u, log.Count(GENREG_RC_VERIFY_FAILED));
    bool causeLogged = false;
    for (const auto& e : log.entries())
        if (e.rc == GENREG_RC_VERIFY_FAILED && e.calledRc == GENREG_RC_VERIFY_ADDED_MISMATCH)
            causeLogged = true;
    EXPECT_TRUE(causeLogged);
    EXPECT_TRUE(IsUntouched(*handle, "a = 1\n"));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextUpdate, LineLongerThanTheBufferIsRefusedByEveryUpdate) {
    const std::string content = "a = 1\nlong = " + std::string(3000, 'x') + "\nb = 2\n";
    ASSERT_TRUE(Write(content));
    Key a("a"), b("b");
    Entry a2("a", "2"), c("c", "3");
    EXPECT_EQ(GENREG_RC_BUFFER_TOO_SMALL, handle->Add(GENREG_VARVAL_VARIABLE, c.get()));
    EXPECT_EQ(GENREG_RC_BUFFER_TOO_SMALL,
              handle->Change(GENREG_VARVAL_VARIABLE, a.get(), a2.get()));
    EXPECT_EQ(GENREG_RC_BUFFER_TOO_SMALL, handle->Delete(GENREG_VARVAL_VARIABLE, b.get()));
    EXPECT_TRUE(IsUntouched(*handle, content));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextUpdate, FormattedLineTooLongIsRefusedAndTheFileKept) {
    ASSERT_TRUE(Write("a = 1\n"));
    std::string big(3000, 'v');
    Entry e("a", big);
    Key a("a");
    EXPECT_EQ(GENREG_RC_LINE_PACK_FAILED, handle->Add(GENREG_VARVAL_VARIABLE, e.get()));
    EXPECT_EQ(GENREG_RC_LINE_PACK_FAILED, handle->Change(GENREG_VARVAL_VARIABLE, a.get(), e.get()));
    EXPECT_TRUE(IsUntouched(*handle, "a = 1\n"));
}

TEST_F(TextUpdate, NulAndControlBytesInUntouchedLinesSurviveAnUpdate) {
    const std::string odd = std::string("bin = a\0b\n", 10) + "ctl = \x01\x02\x1b[0m\n";
    ASSERT_TRUE(Write(odd + "x = 1\n"));
    Key x("x");
    Entry x2("x", "2");
    ASSERT_EQ(0u, handle->Change(GENREG_VARVAL_VARIABLE, x.get(), x2.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(odd + "x = 2\n")));
    ASSERT_EQ(0u, handle->Delete(GENREG_VARVAL_VARIABLE, x.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk(odd)));
}

TEST_F(TextUpdateServices, DuplicateAddIsRefusedAndItsCopyRemoved) {
    ASSERT_TRUE(Write("svc\t\t100/tcp\n"));
    Service again("svc 200/udp\n");
    EXPECT_EQ(GENREG_RC_DUPLICATE, handle->Add(GENREG_SERVICES_NAME, again.get()));
    EXPECT_TRUE(IsUntouched(*handle, "svc\t\t100/tcp\n"));
    EXPECT_FALSE(store_test::PathExists(handle->tempPath));
    // Nothing was interrupted: the next update makes no corruption marker.
    Service other("other 300/tcp\n");
    ASSERT_EQ(0u, handle->Add(GENREG_SERVICES_NAME, other.get()));
    EXPECT_TRUE(IsCommitted(*handle, OnDisk("svc\t\t100/tcp\nother\t\t300/tcp\n")));
    EXPECT_FALSE(store_test::PathExists(handle->corruptPath));
}

TEST_F(TextUpdateServices, SecondMatchWithoutDuplicatesIsRefused) {
    const std::string content = "a 1/tcp\nb 1/tcp\n";
    ASSERT_TRUE(Write(content));
    Service port1("x 1/tcp\n");
    Service port2("x 2/tcp\n");
    EXPECT_EQ(GENREG_RC_MULTIPLE_MATCHES,
              handle->Change(GENREG_SERVICES_PORT, port1.get(), port2.get()));
    EXPECT_EQ(GENREG_RC_MULTIPLE_MATCHES, handle->Delete(GENREG_SERVICES_PORT, port1.get()));
    EXPECT_TRUE(IsUntouched(*handle, content));
    EXPECT_FALSE(store_test::PathExists(handle->tempPath));
    // With duplicates allowed both lines go.
    ASSERT_EQ(0u, handle->setFeature(GENREG_FEATURE_DUPLICATES));
    EXPECT_EQ(0u, handle->Delete(GENREG_SERVICES_PORT, port1.get()));
    EXPECT_TRUE(IsCommitted(*handle, ""));
}

}  // namespace
