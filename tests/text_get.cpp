// Lookup in a text file: Get and GetNext, with and without an open scan.
#include "genreg/handle_internal.h"
#include "text_fixture.h"

namespace {

using store_test::HandleIsIdle;
using text_test::Entry;
using text_test::Key;

class TextGet : public text_test::StoreTest<GenRegVarVal> {
protected:
    VarValRecord result;
};

TEST_F(TextGet, EmptyFileGivesNoMatchAndAZeroedResult) {
    ASSERT_TRUE(Write(""));
    std::memset(&result, 0x77, sizeof result);
    Key k("x");
    EXPECT_EQ(GENREG_RC_NO_MATCH, handle->Get(GENREG_VARVAL_VARIABLE, k.get(), &result));
    VarValRecord zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(0, std::memcmp(&zero, &result, sizeof result));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextGet, MissingFileGivesOpenFailedAndCreatesNothing) {
    Key k("x");
    EXPECT_EQ(GENREG_RC_OPEN_FAILED, handle->Get(GENREG_VARVAL_VARIABLE, k.get(), &result));
    EXPECT_TRUE(store_test::HasCompanions(*handle, {}));
    EXPECT_TRUE(HandleIsIdle(*handle));
}

TEST_F(TextGet, FirstMatchWinsAndTheResultIsSelfContained) {
    ASSERT_TRUE(Write("# x = comment\nbroken x\nx = 1\nx = 2\n"));
    Key k("x");
    ASSERT_EQ(0u, handle->Get(GENREG_VARVAL_VARIABLE, k.get(), &result));
    EXPECT_STREQ("1", result.Value);
    // The pointers point into the result itself, not into a freed buffer.
    EXPECT_GE(result.Value, result.line);
    EXPECT_LT(result.Value, result.line + sizeof result.line);
    Entry byValue("", "2");
    ASSERT_EQ(0u, handle->Get(GENREG_VARVAL_VALUE, byValue.get(), &result));
    EXPECT_STREQ("x", result.Variable);
}

// Lines passed over unparsed are only those a parse would not log about:
// every line that fails to parse is still logged, before and behind the
// match of a key that no other line begins with.
TEST_F(TextGet, LinesThatFailToParseAreLoggedWhetherOrNotTheyCouldMatch) {
    ASSERT_TRUE(Write("# c\nbroken\nq = \"open\nx = 1\n\tq = 2\ny = \"z\"\n"));
    Key k("q");
    store_test::LogCapture log;
    ASSERT_EQ(0u, handle->Get(GENREG_VARVAL_VARIABLE, k.get(), &result));
    EXPECT_STREQ("2", result.Value);
    EXPECT_EQ(2u, log.Count(GENREG_RC_LINE_UNPACK_FAILED));
    EXPECT_EQ(1u, log.Count(GENREG_RC_NO_EQUAL_SIGN));
    EXPECT_EQ(1u, log.Count(GENREG_RC_UNTERMINATED_QUOTE));
}

#ifdef GENREG_FAULT_INJECTION
// The normaliser's buffer is taken once, after the record buffer: when it
// cannot be had, the lookup still runs, every line parsed as it stands.
TEST_F(TextGet, NormaliserWithoutItsBufferLeavesTheLinesAsTheyStand) {
    ASSERT_TRUE(Write("a = 1\n\tb  =  2\n"));
    Key a("a"), b("b");
    for (Key* key : {&a, &b}) {
        store_test::ResourceBalance balance;
        store_test::LogCapture log;
        ossFaultReset();
        ossFaultArm(OSS_FAULT_ALLOC, 2, 0);
        const unsigned rc = handle->Get(GENREG_VARVAL_VARIABLE, key->get(), &result);
        EXPECT_TRUE(ossFaultFired());
        ossFaultDisarm();
        EXPECT_EQ(1u, log.Count(GENREG_RC_GROW_ALLOC_FAILED));
        EXPECT_EQ(key == &a ? 0u : (unsigned)GENREG_RC_NO_MATCH, rc);
        EXPECT_TRUE(balance.Unchanged());
        EXPECT_TRUE(HandleIsIdle(*handle));
    }
    ASSERT_EQ(0u, handle->Get(GENREG_VARVAL_VARIABLE, b.get(), &result));
    EXPECT_STREQ("2", result.Value);
}
#endif

TEST_F(TextGet, InvalidKeyAndEmptySlotsAreRefusedBeforeTheFileIsOpened) {
    ASSERT_TRUE(Write("x = 1\n"));
    VarValRecord empty = {};
    EXPECT_EQ(GENREG_RC_INVALID_RECORD, handle->Get(GENREG_VARVAL_VARIABLE, &empty, &result));
    Key k("x");
    struct {
        void (*clear)(GenRegVarVal*);
        unsigned rc;
    } slots[] = {
        {[](GenRegVarVal* h) { h->ValidateRecord = nullptr; }, GENREG_RC_NO_VALIDATE_SLOT},
        {[](GenRegVarVal* h) { h->GetMaxRecordSize = nullptr; }, GENREG_RC_NO_MAX_SIZE_SLOT},
        {[](GenRegVarVal* h) { h->UnpackRecord = nullptr; }, GENREG_RC_NO_LINE_UNPACK_SLOT},
        {[](GenRegVarVal* h) { h->CompareRecord = nullptr; }, GENREG_RC_NO_COMPARE_SLOT},
    };
    for (const auto& slot : slots) {
        Open("reg");
        slot.clear(handle.get());
        store_test::ResourceBalance balance;
        EXPECT_EQ(slot.rc, handle->Get(GENREG_VARVAL_VARIABLE, k.get(), &result));
        EXPECT_TRUE(HandleIsIdle(*handle));
        EXPECT_TRUE(balance.Unchanged());
    }
}

TEST_F(TextGet, GetNextListsEveryLineThenStaysAtTheEndUntilRewind) {
    ASSERT_TRUE(Write("# head\n\nx = 1\nbroken\ny = 2"));
    ASSERT_EQ(0u, handle->OpenScan());
    std::vector<uint8_t> contains;
    while (handle->GetNext(0, nullptr, &result) == 0)
        contains.push_back(result.Contains);
    EXPECT_EQ((std::vector<uint8_t>{1, 0, 2, 2, 2}), contains);
    EXPECT_EQ(GENREG_RC_NOT_FOUND, handle->GetNext(0, nullptr, &result));
    EXPECT_EQ(GENREG_RC_NOT_FOUND, handle->GetNext(0, nullptr, &result));
    ASSERT_EQ(0u, handle->Rewind());
    ASSERT_EQ(0u, handle->GetNext(0, nullptr, &result));
    EXPECT_STREQ(" head", result.Comment);
    EXPECT_EQ(0u, handle->CloseScan());
    EXPECT_EQ(GENREG_RC_NO_SCAN, handle->GetNext(0, nullptr, &result));
}

TEST_F(TextGet, GetNextWithAKeyReturnsEachMatchInFileOrder) {
    ASSERT_TRUE(Write("x = 1\ny = 0\nx = 2\n"));
    ASSERT_EQ(0u, handle->OpenScan());
    Key k("x");
    ASSERT_EQ(0u, handle->GetNext(GENREG_VARVAL_VARIABLE, k.get(), &result));
    EXPECT_STREQ("1", result.Value);
    ASSERT_EQ(0u, handle->GetNext(GENREG_VARVAL_VARIABLE, k.get(), &result));
    EXPECT_STREQ("2", result.Value);
    EXPECT_EQ(GENREG_RC_NOT_FOUND, handle->GetNext(GENREG_VARVAL_VARIABLE, k.get(), &result));
    VarValRecord empty = {};
    EXPECT_EQ(GENREG_RC_INVALID_RECORD, handle->GetNext(GENREG_VARVAL_VARIABLE, &empty, &result));
    handle->CloseScan();
}

TEST_F(TextGet, GetDuringAScanNeedsTheFeatureAndLeavesTheScanWhereItWas) {
    // Written with the platform's line ends: a text stream's position is
    // only reliable over lines that end the platform's way.
    ASSERT_TRUE(Write(text_test::OnDisk("a = 1\nb = 2\nc = 3\n")));
    ASSERT_EQ(0u, handle->OpenScan());
    ASSERT_EQ(0u, handle->GetNext(0, nullptr, &result));
    Key c("c");
    EXPECT_EQ(GENREG_RC_OPEN_FAILED, handle->Get(GENREG_VARVAL_VARIABLE, c.get(), &result));
    ASSERT_EQ(0u, handle->setFeature(GENREG_FEATURE_GET_IN_SCAN));
    ASSERT_EQ(0u, handle->Get(GENREG_VARVAL_VARIABLE, c.get(), &result));
    EXPECT_STREQ("3", result.Value);
    ASSERT_EQ(0u, handle->GetNext(0, nullptr, &result));
    EXPECT_STREQ("b", result.Variable);
    EXPECT_EQ(0u, handle->CloseScan());
    EXPECT_TRUE(HandleIsIdle(*handle));
}

// A schema of 5-byte records: the first character of a line.
struct TinyRecord {
    char first;
    char pad[4];
};
struct TinyStore : GenRegText {
    TinyStore() {
        CompareRecord = [](uint64_t, const void* s, const void* k) {
            return ((const TinyRecord*)s)->first == ((const TinyRecord*)k)->first ? 1 : 0;
        };
        ValidateRecord = [](uint64_t, void*) { return 0u; };
        GetMaxRecordSize = [](uint64_t* size) {
            *size = sizeof(TinyRecord);
            return 0u;
        };
        UnpackRecord = [](void* r, const char* line) {
            ((TinyRecord*)r)->first = line[0];
            return 0u;
        };
    }
};

TEST(TextGetSmallRecords, RecordBelowEightBytesFailsAtTheFirstMatchNotBefore) {
    store_test::TestDir dir;
    TinyStore store;
    std::string path = dir.file("tiny");
    ASSERT_EQ(0u, GenRegDerivePaths(&store, path.c_str(), 0));
    ASSERT_TRUE(store_test::WriteFileBytes(path, "a\nb\n"));
    TinyRecord key = {'z', {}}, result = {};
    EXPECT_EQ(GENREG_RC_NO_MATCH, store.Get(1, &key, &result));
    key.first = 'b';
    EXPECT_EQ(GENREG_RC_RECORD_TOO_LARGE, store.Get(1, &key, &result));
    EXPECT_TRUE(HandleIsIdle(store));
}

}  // namespace
