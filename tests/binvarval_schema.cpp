// The binary variable/value file: construction, matching on name and
// value, duplicates, whole-record equality, and text fields that fill all
// 16 bytes.
#include <gtest/gtest.h>
#include <genreg/binvarval.h>
#include <genreg/rc.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "store_invariants.h"

namespace {

using store_test::IsCommitted;
using store_test::ReadFileBytes;
using store_test::TestDir;

BinVarValRecord record(const char* variable, int32_t value, const char* comment = "") {
    BinVarValRecord r;
    std::memset(&r, 0, sizeof r);
    std::strncpy(r.Variable, variable, sizeof r.Variable);
    r.Value = value;
    std::strncpy(r.Comment, comment, sizeof r.Comment);
    return r;
}

std::string stored(const BinVarValRecord& r) {
    return std::string("\x24\x00\x00\x00", 4) + std::string((const char*)&r, sizeof r);
}

}  // namespace

TEST(BinVarValSchema, ConstructorChecksThePathAndSetsDuplicatesAndVerify) {
    const struct {
        const char* name;
        std::string path;
        unsigned rc;
    } cases[] = {
        {"empty", "", GENREG_RC_NULL_ARGUMENT},
        {"254 characters", std::string(254, 'p'), GENREG_RC_PATH_TOO_LONG},
    };
    for (const auto& c : cases) {
        unsigned rc = 0;
        GenRegBinVarVal file(c.path.c_str(), &rc);
        EXPECT_EQ(c.rc, rc) << c.name;
        EXPECT_FALSE(file.state & GENREG_STATE_PATHS_SET);
        BinVarValRecord r = record("a", 1);
        EXPECT_NE(0u, file.Add(GENREG_BINVARVAL_VARIABLE, &r)) << "a failed handle refuses";
    }
    unsigned rc = 1;
    GenRegBinVarVal nullPath(nullptr, &rc);
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, rc);

    TestDir dir;
    GenRegBinVarVal file(dir.file("vars.bin").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    EXPECT_EQ((uint64_t)(GENREG_FEATURE_DUPLICATES | GENREG_FEATURE_VERIFY), file.features);
    EXPECT_TRUE(file.state & GENREG_STATE_PATHS_SET);
    EXPECT_EQ((uint64_t)GENREG_STORE_BINARY, file.storeKind);
    EXPECT_EQ(nullptr, file.PackRecord);
    uint64_t size = 0;
    file.GetMaxRecordSize(&size);
    EXPECT_EQ(36u, size);
}

TEST(BinVarValSchema, RecordsAreStoredByteForByteAndMatchedByNameOrValue) {
    TestDir dir;
    unsigned rc = 1;
    GenRegBinVarVal file(dir.file("vars.bin").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    BinVarValRecord a = record("alpha", 5, "first"), b = record("fifteen_chars__", 7, "second"),
                    c = record("gamma", 7, "third");
    for (BinVarValRecord* r : {&a, &b, &c})
        ASSERT_EQ(0u, file.Add(GENREG_BINVARVAL_VARIABLE, r));
    EXPECT_TRUE(IsCommitted(file, stored(a) + stored(b) + stored(c)));

    BinVarValRecord key = record("", 7), out;
    ASSERT_EQ(0u, file.Get(GENREG_BINVARVAL_VALUE, &key, &out));
    EXPECT_STREQ("fifteen_chars__", out.Variable) << "the first record whose value is 7";
    key = record("gamma", 0);
    ASSERT_EQ(0u, file.Get(GENREG_BINVARVAL_VARIABLE, &key, &out));
    EXPECT_EQ(7, out.Value);
    key = record("gamma", 5);
    EXPECT_EQ(GENREG_RC_NO_MATCH,
              file.Get(GENREG_BINVARVAL_VARIABLE | GENREG_BINVARVAL_VALUE, &key, &out));
    key = record("Gamma", 0);
    EXPECT_EQ(GENREG_RC_NO_MATCH, file.Get(GENREG_BINVARVAL_VARIABLE, &key, &out))
        << "names are case-sensitive";

    ASSERT_EQ(0u, file.Add(GENREG_BINVARVAL_VARIABLE, &a)) << "an equal record is welcome";
    EXPECT_EQ(4 * stored(a).size(), ReadFileBytes(file.filePath).size());
}

TEST(BinVarValSchema, AChangeOfTheCommentAloneIsAChange) {
    TestDir dir;
    unsigned rc = 1;
    GenRegBinVarVal file(dir.file("vars.bin").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    BinVarValRecord a = record("alpha", 5, "old"), key = record("alpha", 0);
    ASSERT_EQ(0u, file.Add(GENREG_BINVARVAL_VARIABLE, &a));
    BinVarValRecord same = a;
    EXPECT_EQ(GENREG_RC_UNCHANGED, file.Change(GENREG_BINVARVAL_VARIABLE, &key, &same));
    BinVarValRecord commented = record("alpha", 5, "new");
    ASSERT_EQ(0u, file.Change(GENREG_BINVARVAL_VARIABLE, &key, &commented));
    EXPECT_TRUE(IsCommitted(file, stored(commented)));
}

// Text fields of 16 characters have no terminator: compare and print read
// them past their end, into the value or beyond the record.
TEST(BinVarValSchema, FaultUnterminatedTextFieldsWereReadPastTheirEnd) {
    BinVarValRecord full1, full2;
    std::memset(&full1, 'V', sizeof full1);
    std::memset(&full2, 'V', sizeof full2);
    full1.Value = 1;
    full2.Value = 2;  // differs right behind the unterminated names
    std::memset(full1.Comment, 'C', sizeof full1.Comment);
    std::memcpy(full2.Comment, full1.Comment, sizeof full2.Comment);
    TestDir dir;
    unsigned rc = 1;
    GenRegBinVarVal file(dir.file("vars.bin").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    EXPECT_EQ(1, file.CompareRecord(GENREG_BINVARVAL_VARIABLE, &full1, &full2));
    EXPECT_EQ(0, file.CompareRecord(GENREG_BINVARVAL_VALUE, &full1, &full2));

    testing::internal::CaptureStdout();
    EXPECT_EQ(0u, GenRegBinVarVal::PrintRecord(&full1));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        "   Variable = |VVVVVVVVVVVVVVVV|\n   Value    = 1\n"
        "   Comment  = |CCCCCCCCCCCCCCCC|\n",
        printed);
}

TEST(BinVarValSchema, NullRecordsAreRefusedAndPrintNothing) {
    TestDir dir;
    unsigned rc = 1;
    GenRegBinVarVal file(dir.file("vars.bin").c_str(), &rc);
    ASSERT_EQ(0u, rc);
    BinVarValRecord a = record("a", 1);
    store_test::LogCapture log;
    EXPECT_EQ(0, file.CompareRecord(GENREG_BINVARVAL_VARIABLE, nullptr, &a));
    EXPECT_EQ(0, file.CompareRecord(GENREG_BINVARVAL_VARIABLE, &a, nullptr));
    EXPECT_EQ(2u, log.Count(GENREG_RC_NULL_ARGUMENT));
    testing::internal::CaptureStdout();
    EXPECT_EQ(GENREG_RC_NULL_ARGUMENT, GenRegBinVarVal::PrintRecord(nullptr));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0u, file.ValidateRecord(GENREG_BINVARVAL_VARIABLE, &a));
    EXPECT_EQ(&GenRegBinVarVal::PrintRecord, file.GenRegBase::PrintRecord) << "the slot is filled";
}
