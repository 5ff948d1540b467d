// The tests made on a stored global registry record before it is unpacked
// must decide exactly as unpacking, GlobalRecCompare and GlobalRecPack do:
// "no match" for every record that unpacks and does not match the key,
// "packs back to itself" for every record that unpacks and whose repacking
// gives back its bytes, "kept as stored" for the records that do both, for
// nothing else. Checked over the fuzz corpus and
// packed records of each type, every truncation and many single-byte
// changes of them, against keys that match, differ in one field or in the
// type.
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "genreg/bin_store.h"
#include "genreg/binfile.h"
#include "globalrec_support.h"
#include "globalreg_support.h"
#include "schemas/globalrec.h"

namespace {

using Bytes = std::vector<unsigned char>;
using globalrec_test::fullInstance;
using globalrec_test::fullService;
using globalrec_test::fullVariable;

Bytes corpusFile(const char* name) {
    const std::string path = std::string(GENREG_FUZZ_CORPUS_DIR) + "/global_record/" + name;
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes packed(const GlobalRegRecord& record) {
    Bytes buffer(GENREG_PACK_BUFFER_SIZE, 0);
    std::memcpy(buffer.data(), &record, sizeof record);
    void* data = buffer.data();
    EXPECT_EQ(0u, GlobalRecPack(&data, nullptr));
    uint64_t size = 0;
    EXPECT_EQ(0u, GlobalRecPackedSize(data, &size));
    buffer.resize((size_t)size);
    return buffer;
}

// The keys a lookup may bring for a record: the record itself, the record
// with one field changed (a text shortened, a number moved by one), with
// that field removed, and under each record type.
std::vector<GlobalRegRecord> keysFor(const GlobalRegRecord& record) {
    std::vector<GlobalRegRecord> keys(1, record);
    const GlobalTypeInfo* type = GlobalRecType(record.RecordType);
    for (size_t i = 0; type != nullptr && i < type->count; ++i) {
        const GlobalFieldInfo& field = type->fields[i];
        GlobalRegRecord changed = record;
        unsigned char* slot = (unsigned char*)&changed + field.offset;
        if (field.kind == GLOBAL_TEXT)
            slot[std::strlen((const char*)slot) / 2] = '\0';
        else
            ++slot[0];
        keys.push_back(changed);
        GlobalRegRecord cleared = record;
        std::memset((unsigned char*)&cleared + field.offset, 0, field.width);
        keys.push_back(cleared);
    }
    for (uint32_t otherType : {0u, 1u, 2u, 4u}) {
        GlobalRegRecord retyped = record;
        retyped.RecordType = otherType;
        keys.push_back(retyped);
    }
    return keys;
}

struct Tally {
    uint64_t checks = 0;
    uint64_t mismatches = 0;  // decided without an unpack
    uint64_t forms = 0;
    uint64_t repacking = 0;  // copied without an unpack
};

// Unpacking and packing again against its own bytes gives them back.
bool packsBack(const GlobalRegRecord& unpacked, const Bytes& stored) {
    Bytes buffer(GENREG_PACK_BUFFER_SIZE, 0);
    std::memcpy(buffer.data(), &unpacked, sizeof unpacked);
    void* data = buffer.data();
    if (GlobalRecPack(&data, stored.data()) != 0) return false;
    uint64_t size = 0;
    GlobalRecPackedSize(data, &size);
    return size == stored.size() && std::memcmp(data, stored.data(), stored.size()) == 0;
}

// One stored form against every key and selector: the quick test says "no
// match" exactly when the unpack succeeds and the compare gives 0.
void expectSameDecision(const Bytes& stored, const std::vector<GlobalRegRecord>& keys,
                        const std::string& what, Tally* tally) {
    static GlobalRegRecord unpacked;
    const Bytes exact(stored);  // a buffer of exactly the stored length
    const bool unpacks = GlobalRecUnpackStored(exact.data(), exact.size(), &unpacked) == 0;
    const bool repacks = unpacks && packsBack(unpacked, exact);
    ++tally->forms;
    if (repacks) ++tally->repacking;
    EXPECT_EQ(repacks, GlobalRecStoredRepacksToItself(exact.data(), exact.size())) << what;
    // The update's one-walk test: repacks, and with a key, no match.
    EXPECT_EQ(repacks, GlobalRecStoredKeptAsStored(0x3, exact.data(), exact.size(), nullptr))
        << what;
    std::vector<uint64_t> selectors = {0, GENREG_SELECT_ALL, 0x8000000000000000ULL, 0x3, 0x14};
    for (uint64_t bit = 1; bit <= 0x200; bit <<= 1)
        selectors.push_back(bit);
    for (size_t k = 0; k < keys.size(); ++k) {
        for (uint64_t selector : selectors) {
            const bool slow = unpacks && GlobalRecCompare(selector, &unpacked, &keys[k]) == 0;
            const bool quick =
                GlobalRecStoredMismatch(selector, exact.data(), exact.size(), &keys[k]);
            const bool kept =
                GlobalRecStoredKeptAsStored(selector, exact.data(), exact.size(), &keys[k]);
            ++tally->checks;
            if (quick) ++tally->mismatches;
            if (quick != slow || kept != (repacks && slow)) {
                ADD_FAILURE() << what << " key " << k << " selector 0x" << std::hex << selector
                              << ": quick " << quick << ", kept " << kept << ", unpack and compare "
                              << slow << ", repacks " << repacks;
                return;
            }
        }
    }
}

// stored, each of its truncations, and each byte changed in four ways.
void expectSameDecisionForVariants(const Bytes& stored, const std::string& name, Tally* tally) {
    GlobalRegRecord original;
    std::memset(&original, 0, sizeof original);
    ASSERT_EQ(0u, GlobalRecUnpackStored(stored.data(), stored.size(), &original)) << name;
    const std::vector<GlobalRegRecord> keys = keysFor(original);
    expectSameDecision(stored, keys, name, tally);
    for (size_t size = 0; size < stored.size(); ++size)
        expectSameDecision(Bytes(stored.begin(), stored.begin() + (long)size), keys,
                           name + " cut to " + std::to_string(size), tally);
    for (size_t at = 0; at < stored.size(); ++at) {
        for (unsigned char change : {0x01, 0x80, 0x00, 0xFF}) {
            Bytes variant(stored);
            variant[at] = change == 0x01 || change == 0x80 ? variant[at] ^ change : change;
            expectSameDecision(variant, keys,
                               name + " byte " + std::to_string(at) + "=" + std::to_string(change),
                               tally);
        }
    }
}

TEST(GlobalRecMatch, QuickTestDecidesAsUnpackAndCompareOverTheCorpusAndItsVariants) {
    Tally tally;
    for (const char* name : {"instance", "service", "unknown_field", "variable"}) {
        const Bytes stored = corpusFile(name);
        ASSERT_FALSE(stored.empty()) << "corpus file " << name;
        expectSameDecisionForVariants(stored, name, &tally);
    }
    expectSameDecisionForVariants(packed(fullInstance("inst1")), "full instance", &tally);
    expectSameDecisionForVariants(packed(fullService("QVR", 0x0009000700040000ULL, 3)),
                                  "full service", &tally);
    expectSameDecisionForVariants(packed(fullVariable("VAR", "value")), "full variable", &tally);
    // The quick tests decide a good part of the cases on their own.
    EXPECT_LT(tally.checks / 10, tally.mismatches);
    EXPECT_LT(tally.forms / 10, tally.repacking);
}

// The type tables keep bit 2^i at index i, every field bit known and no
// other: the quick test visits the stored entries by the known bits.
TEST(GlobalRecMatch, TypeTablesHoldTheKnownBitsInOrder) {
    for (uint32_t typeCode : {1u, 2u, 4u}) {
        const GlobalTypeInfo* type = GlobalRecType(typeCode);
        ASSERT_NE(nullptr, type);
        uint64_t bits = 0;
        for (size_t i = 0; i < type->count; ++i) {
            EXPECT_EQ(1ULL << i, type->fields[i].bit) << typeCode;
            EXPECT_EQ(&type->fields[i], GlobalRecField(type, type->fields[i].bit));
            bits |= type->fields[i].bit;
        }
        EXPECT_EQ(type->known, bits) << typeCode;
        EXPECT_EQ(nullptr, GlobalRecField(type, 1ULL << type->count));
    }
}

// A caller who put its own compare or unpack in the handle keeps them.
TEST(GlobalRecMatch, OnlyTheSchemasOwnCallbacksUseTheQuickTest) {
    GlobalReg handle;
    EXPECT_NE(nullptr, BinStoredShortcutsOf(&handle));
    handle.CompareRecord = [](uint64_t, const void*, const void*) { return 1; };
    EXPECT_EQ(nullptr, BinStoredShortcutsOf(&handle));
    handle.CompareRecord = GlobalRecCompare;
    handle.PackRecord = nullptr;
    EXPECT_EQ(nullptr, BinStoredShortcutsOf(&handle));
    handle.PackRecord = GlobalRecPack;
    handle.UnpackRecord = nullptr;
    EXPECT_EQ(nullptr, BinStoredShortcutsOf(&handle));
    handle.UnpackRecord = GlobalRecUnpack;
    handle.UnpackStoredRecord = nullptr;
    EXPECT_EQ(nullptr, BinStoredShortcutsOf(&handle));
}

// An update copies the records it keeps as they were stored where
// repacking would give the same bytes, and repacks the others: a record
// whose stored MissingFieldMask lacks its absent fields gets them, a newer
// version's entry is carried over, with or without duplicates allowed.
TEST(GlobalRecMatch, UpdatesKeepOrRepackEachRecordAsRepackingWould) {
    using globalrec_test::StoredRecord;
    const Bytes full = packed(fullVariable("FULL", "1"));
    const Bytes newer = StoredRecord(4, 0x1 | 0x2 | 0x4 | 0x400, 0x8 | 0x10)
                            .text("QVR")
                            .text("NEWER")
                            .text("2")
                            .text("future")
                            .checksum(5)
                            .bytes();
    const Bytes lacking =
        StoredRecord(4, 0x1 | 0x2 | 0x4).text("QVR").text("LACKING").text("3").checksum(6).bytes();
    const Bytes lackingRepacked = StoredRecord(4, 0x1 | 0x2 | 0x4, 0x8 | 0x10)
                                      .text("QVR")
                                      .text("LACKING")
                                      .text("3")
                                      .checksum(6)
                                      .bytes();
    ASSERT_TRUE(GlobalRecStoredRepacksToItself(newer.data(), newer.size()));
    ASSERT_FALSE(GlobalRecStoredRepacksToItself(lacking.data(), lacking.size()));
    for (bool duplicates : {false, true}) {
        SCOPED_TRACE(duplicates ? "duplicates allowed" : "no duplicates");
        globalreg_test::GlobalRegFile file;
        file.write({full, newer, lacking});
        GlobalReg handle;
        if (duplicates) {
            ASSERT_EQ(0u, handle.setFeature(GENREG_FEATURE_DUPLICATES));
        }
        GlobalRegRecord added = fullVariable("ADDED", "4");
        ASSERT_EQ(0u, handle.Add(GENREG_SELECT_ALL, &added));
        const std::vector<Bytes> after = globalreg_test::recordsOf(file.path());
        ASSERT_EQ(4u, after.size());
        EXPECT_EQ(full, after[0]);
        EXPECT_EQ(newer, after[1]);
        EXPECT_EQ(lackingRepacked, after[2]);
        EXPECT_EQ(packed(fullVariable("ADDED", "4")), after[3]);
    }
}

// A lookup passes the records ruled out on their stored bytes in blocks of
// bytes: over a file of several blocks (records across their edges) it
// finds what the record-by-record lookup finds, stops at a damaged record
// before the key with the unpack's code, reports a record cut short at the
// end, and leaves a borrowed scan where it stood.
TEST(GlobalRecMatch, LookupsOverSeveralBlocksFindWhatRecordReadsFind) {
    using globalreg_test::GlobalRegFile;
    std::vector<Bytes> records;
    for (int i = 0; i < 300; ++i)
        records.push_back(packed(fullVariable("VAR" + std::to_string(i), std::to_string(i))));
    const uint64_t selector = GENREG_VAR_SERVICE | GENREG_VAR_VARIABLE;
    auto get = [&](GlobalReg& handle, const std::string& name, GlobalRegRecord* got) {
        GlobalRegRecord key = fullVariable(name, "x");
        return handle.Get(selector, &key, got);
    };
    GlobalRegRecord got;
    {
        GlobalRegFile file;
        file.write(records);
        GlobalReg handle;
        for (int i : {0, 52, 53, 150, 299}) {
            ASSERT_EQ(0u, get(handle, "VAR" + std::to_string(i), &got)) << i;
            EXPECT_STREQ(std::to_string(i).c_str(), got.Variable.Value) << i;
        }
        EXPECT_EQ((unsigned)GENREG_RC_NO_MATCH, get(handle, "VAR300", &got));
        // Borrowing an open scan: the scan goes on where it stood.
        ASSERT_EQ(0u, handle.setFeature(GENREG_FEATURE_GET_IN_SCAN));
        ASSERT_EQ(0u, handle.OpenScan());
        GlobalRegRecord any;
        std::memset(&any, 0, sizeof any);
        ASSERT_EQ(0u, handle.GetNext(0, &any, &got));
        ASSERT_EQ(0u, get(handle, "VAR250", &got));
        ASSERT_EQ(0u, handle.GetNext(0, &any, &got));
        EXPECT_STREQ("VAR1", got.Variable.Variable);
        EXPECT_EQ(0u, handle.CloseScan());
    }
    {
        std::vector<Bytes> damaged(records);
        damaged[200] = globalrec_test::StoredRecord(3, 0x7).checksum(9).bytes();
        GlobalRegFile file;
        file.write(damaged);
        GlobalReg handle;
        EXPECT_EQ(0u, get(handle, "VAR150", &got));
        EXPECT_EQ((unsigned)GENREG_RC_UNPACK_FAILED, get(handle, "VAR250", &got));
    }
    {
        GlobalRegFile file;
        const std::string whole = globalreg_test::fileOf(records);
        ASSERT_TRUE(platform_test::writeFile(file.path(), whole.substr(0, whole.size() - 5)));
        GlobalReg handle;
        EXPECT_EQ(0u, get(handle, "VAR298", &got));
        EXPECT_EQ((unsigned)GENREG_RC_READ_FAILED, get(handle, "VAR299", &got));
    }
}

}  // namespace
