// The verification pass on its own: a file and a copy written by hand,
// and the code the pass gives for each way they can differ. The copy
// replaces the file only when the pass accepts it.
#include "genreg/text_store.h"
#include "schemas/varval_record.h"
#include "text_fixture.h"

namespace {

struct VerifyCase {
    const char* name;
    std::string file;
    std::string copy;
    unsigned type;
    const char* record;  // line parsed into the added or new record, or null
    const char* key;     // variable name of the key, or null
    bool duplicates;
    unsigned rc;
    bool join = false;
};

// Lines both sides share, more than one block of the pass's reads, with
// lines the block reads cannot pass among them: one of 2046 characters
// (the longest passed), one of 2047 and one of 3000 (read in pieces), one
// that goes on in the next with joining on, and NUL bytes inside a line.
std::string sharedRun() {
    std::string run;
    for (int k = 0; k < 1500; ++k)
        run += "line" + std::to_string(k) + " = " + std::to_string(k * 7) + "\n";
    run += std::string(2045, 'p') + "\n" + std::string(2046, 'q') + "\n";
    run += "# " + std::string(2998, 'r') + "\n";
    run += "cont = a\\\nb\n" + std::string("n = \0x\n", 8) + "crlf = 1\r\n";
    return run + run.substr(0, 9000);
}

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const VerifyCase& c, std::ostream* os) {
    *os << c.name;
}

class TextVerify : public text_test::StoreTest<GenRegVarVal>,
                   public testing::WithParamInterface<VerifyCase> {};

TEST_P(TextVerify, AcceptsExactlyTheRequestedChange) {
    const VerifyCase& c = GetParam();
    if (!c.duplicates) {
        ASSERT_EQ(0u, handle->unsetFeature(GENREG_FEATURE_DUPLICATES));
    }
    if (c.join) {
        ASSERT_EQ(0u, handle->setFeature(GENREG_FEATURE_JOIN_LINES));
    }
    ASSERT_TRUE(Write(c.file));
    ASSERT_TRUE(store_test::WriteFileBytes(handle->tempPath, c.copy));
    VarValRecord record, key = {};
    if (c.record) {
        ASSERT_EQ(0u, VarValUnpack(&record, c.record));
    }
    key.Contains = GENREG_VARVAL_HAS_VARIABLE;
    key.Variable = const_cast<char*>(c.key);
    store_test::ResourceBalance balance;
    EXPECT_EQ(c.rc, VerifyTextUpdate(handle.get(), c.type, GENREG_VARVAL_VARIABLE,
                                     c.record ? &record : nullptr, c.key ? &key : nullptr));
    if (c.rc == 0) {
        EXPECT_TRUE(store_test::IsCommitted(*handle, c.copy));
    } else {
        EXPECT_TRUE(store_test::FileHolds(path, c.file));
        // A refused copy is removed: it must not become a corruption marker.
        EXPECT_FALSE(store_test::PathExists(handle->tempPath));
    }
    EXPECT_TRUE(store_test::HandleIsIdle(*handle));
    EXPECT_TRUE(balance.Unchanged());
}

const unsigned CHANGE = GENREG_TXN_CHANGE, ADD = GENREG_TXN_ADD, DELETE = GENREG_TXN_DELETE;

INSTANTIATE_TEST_SUITE_P(
    Cases, TextVerify,
    testing::Values(
        // Change
        VerifyCase{"ChangeOfOneLine", "# c\na = 1\nb = 2\n", "# c\na = 9\nb = 2\n", CHANGE, "a = 9",
                   "a", true, 0},
        VerifyCase{"ChangeKeepsLayoutOfOtherLines", "a   =  1\n\tb=2\n", "a = 9\n\tb=2\n", CHANGE,
                   "a = 9", "a", true, 0},
        VerifyCase{"ChangeOfAnUnkeyedLine", "a = 1\nb = 2\n", "a = 1\nb = 9\n", CHANGE, "b = 9",
                   "a", true, GENREG_RC_VERIFY_KEY_MISMATCH},
        VerifyCase{"ChangeToAnotherRecord", "a = 1\n", "a = 8\n", CHANGE, "a = 9", "a", true,
                   GENREG_RC_VERIFY_WRONG_RECORD},
        VerifyCase{"ChangeWithACommentLineEdited", "# one\na = 1\n", "# two\na = 9\n", CHANGE,
                   "a = 9", "a", true, GENREG_RC_VERIFY_KEY_MISMATCH},
        VerifyCase{"ChangeWithTheCopyCutShort", "a = 1\nb = 2\n", "a = 9\n", CHANGE, "a = 9", "a",
                   true, GENREG_RC_VERIFY_COPY_SHORT},
        VerifyCase{"ChangeWithALineTooMany", "a = 1\n", "a = 9\nz = 0\n", CHANGE, "a = 9", "a",
                   true, GENREG_RC_VERIFY_COPY_SHORT},
        VerifyCase{"ChangeOfNothing", "a = 1\n", "a = 1\n", CHANGE, "a = 9", "a", true,
                   GENREG_RC_VERIFY_NOTHING_CHANGED},
        VerifyCase{"ChangeOfTwoLinesWithoutDuplicates", "a = 1\na = 2\n", "a = 9\na = 9\n", CHANGE,
                   "a = 9", "a", false, GENREG_RC_VERIFY_DUPLICATES},
        VerifyCase{"ChangeOfTwoLinesWithDuplicates", "a = 1\na = 2\n", "a = 9\na = 9\n", CHANGE,
                   "a = 9", "a", true, 0},
        VerifyCase{"ChangeGivingTheLastLineItsNewline", "a = 1\nb = 2", "a = 9\nb = 2\n", CHANGE,
                   "a = 9", "a", true, 0},
        VerifyCase{"ChangeBehindAndBeforeSharedLines", sharedRun() + "a = 1\n" + sharedRun(),
                   sharedRun() + "a = 9\n" + sharedRun(), CHANGE, "a = 9", "a", true, 0},
        VerifyCase{"ChangeBehindSharedLinesJoined", sharedRun() + "a = 1\n" + sharedRun(),
                   sharedRun() + "a = 9\n" + sharedRun(), CHANGE, "a = 9", "a", true, 0, true},
        VerifyCase{"ChangeWithAnEditFarBehindIt", "a = 1\n" + sharedRun() + "z = 1\n",
                   "a = 9\n" + sharedRun() + "z = 2\n", CHANGE, "a = 9", "a", false,
                   GENREG_RC_VERIFY_KEY_MISMATCH},
        VerifyCase{"ChangeWithAByteOfALongLineEdited", sharedRun() + "a = 1\n",
                   sharedRun().replace(30000, 1, "s") + "a = 9\n", CHANGE, "a = 9", "a", true,
                   GENREG_RC_VERIFY_KEY_MISMATCH},
        VerifyCase{"ChangeWithACopyCutShortInsideSharedLines", sharedRun() + "a = 1\n",
                   sharedRun().substr(0, sharedRun().rfind('\n', 20000) + 1), CHANGE, "a = 9", "a",
                   true, GENREG_RC_VERIFY_COPY_SHORT},
        // Add
        VerifyCase{"AddOfOneLine", "a = 1\n", "a = 1\nb = 2\n", ADD, "b = 2", nullptr, true, 0},
        VerifyCase{"AddToAnEmptyFile", "", "b = 2\n", ADD, "b = 2", nullptr, true, 0},
        VerifyCase{"AddAfterAnOpenLastLine", "a = 1", "a = 1\r\nb = 2\n", ADD, "b = 2", nullptr,
                   true, 0},
        VerifyCase{"AddThatAlsoEditsALine", "a = 1\n", "a = 5\nb = 2\n", ADD, "b = 2", nullptr,
                   true, GENREG_RC_VERIFY_UNEXPECTED_CHANGE},
        VerifyCase{"AddOfNothing", "a = 1\n", "a = 1\n", ADD, "b = 2", nullptr, true,
                   GENREG_RC_VERIFY_NO_ADDED_RECORD},
        VerifyCase{"AddOfAnotherRecord", "a = 1\n", "a = 1\nb = 3\n", ADD, "b = 2", nullptr, true,
                   GENREG_RC_VERIFY_ADDED_MISMATCH},
        VerifyCase{"AddOfALineThatDoesNotParse", "a = 1\n", "a = 1\nb = \"2\n", ADD, "b = 2",
                   nullptr, true, GENREG_RC_VERIFY_ADDED_MISMATCH},
        VerifyCase{"AddOfTwoLines", "a = 1\n", "a = 1\nb = 2\nb = 2\n", ADD, "b = 2", nullptr, true,
                   GENREG_RC_VERIFY_TOO_MANY_ADDED},
        // Delete
        VerifyCase{"DeleteInTheMiddle", "a = 1\nb = 2\nc = 3\n", "a = 1\nc = 3\n", DELETE, nullptr,
                   "b", true, 0},
        VerifyCase{"DeleteOfTheLastLine", "a = 1\nb = 2\n", "a = 1\n", DELETE, nullptr, "b", true,
                   0},
        VerifyCase{"DeleteOfTheOnlyLine", "b = 2\n", "", DELETE, nullptr, "b", true, 0},
        VerifyCase{"DeleteOfARun", "b = 1\nb = 2\nc = 3\n", "c = 3\n", DELETE, nullptr, "b", true,
                   0},
        VerifyCase{"DeleteOfARunWithoutDuplicates", "b = 1\nb = 2\nc = 3\n", "c = 3\n", DELETE,
                   nullptr, "b", false, GENREG_RC_VERIFY_DUPLICATES},
        VerifyCase{"DeleteBeforeAnOpenLastLine", "a = 1\nb = 2\nc = 3", "a = 1\nc = 3", DELETE,
                   nullptr, "b", true, 0},
        VerifyCase{"DeleteOfAnUnkeyedLine", "a = 1\nb = 2\n", "b = 2\n", DELETE, nullptr, "b", true,
                   GENREG_RC_VERIFY_DELETE_MISMATCH},
        VerifyCase{"DeleteWithALineAdded", "a = 1\n", "a = 1\nz = 9\n", DELETE, nullptr, "a", true,
                   GENREG_RC_VERIFY_EXTRA_RECORD},
        VerifyCase{"DeleteThatEditsInstead", "b = 2\nc = 3\n", "c = 4\n", DELETE, nullptr, "b",
                   true, GENREG_RC_VERIFY_DELETE_MISMATCH},
        VerifyCase{"DeleteWithACopyLineMissingFromTheFile", "b = 2\n", "c = 4\n", DELETE, nullptr,
                   "b", true, GENREG_RC_VERIFY_EXTRA_RECORD},
        VerifyCase{"DeleteLeavingAnUnkeyedTail", "a = 1\nb = 2\n", "", DELETE, nullptr, "a", true,
                   GENREG_RC_VERIFY_WRONG_RECORD},
        VerifyCase{"DeleteOfNothing", "a = 1\n", "a = 1\n", DELETE, nullptr, "b", true,
                   GENREG_RC_VERIFY_NOTHING_CHANGED},
        VerifyCase{"DeleteBetweenSharedLines", sharedRun() + "b = 2\n" + sharedRun(),
                   sharedRun() + sharedRun(), DELETE, nullptr, "b", true, 0},
        VerifyCase{"AddBehindSharedLinesJoined", sharedRun(), sharedRun() + "b = 2\n", ADD, "b = 2",
                   nullptr, true, 0, true}),
    [](const testing::TestParamInfo<VerifyCase>& info) { return std::string(info.param.name); });

TEST(TextVerifyArguments, ATypeOtherThanAnUpdateAcceptsNoDifference) {
    store_test::TestDir dir;
    unsigned rc = 1;
    GenRegVarVal profile(dir.file("reg").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    ASSERT_TRUE(store_test::WriteFileBytes(profile.filePath, "a = 1\n"));
    ASSERT_TRUE(store_test::WriteFileBytes(profile.tempPath, "a = 2\n"));
    EXPECT_EQ(GENREG_RC_VERIFY_UNEXPECTED_CHANGE,
              VerifyTextUpdate(&profile, GENREG_TXN_READ, 1, nullptr, nullptr));
    EXPECT_TRUE(store_test::FileHolds(profile.filePath, "a = 1\n"));
}

}  // namespace
