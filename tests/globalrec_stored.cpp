// The stored form of global registry records: what PackRecord writes, what
// UnpackRecord makes of it, and how entries of fields this version does
// not know survive a rewrite.
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "genreg/binfile.h"
#include "globalrec_support.h"
#include "platform/oss.h"
#include "schemas/globalrec.h"

namespace {

using globalrec_test::emptyRecord;
using globalrec_test::fullInstance;
using globalrec_test::fullService;
using globalrec_test::fullVariable;
using globalrec_test::StoredRecord;

// A pack buffer as the store hands it over: GENREG_PACK_BUFFER_SIZE bytes.
struct PackBuffer {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(GENREG_PACK_BUFFER_SIZE, 0xEE);
    void* data = bytes.data();

    explicit PackBuffer(const GlobalRegRecord& record) {
        std::memcpy(data, &record, sizeof record);
    }
    explicit PackBuffer(const std::vector<unsigned char>& stored) {
        std::memcpy(data, stored.data(), stored.size());
    }
    const GlobalRegRecord& record() const { return *(const GlobalRegRecord*)data; }
    std::vector<unsigned char> prefix(size_t size) const {
        return std::vector<unsigned char>(bytes.begin(), bytes.begin() + (long)size);
    }
};

uint64_t packedSize(const void* packed) {
    uint64_t size = 0;
    EXPECT_EQ(0u, GlobalRecPackedSize(packed, &size));
    return size;
}

// Packs record (against previous, or as a new record) and returns the
// stored bytes.
std::vector<unsigned char> pack(const GlobalRegRecord& record,
                                const std::vector<unsigned char>* previous = nullptr) {
    PackBuffer buffer(record);
    EXPECT_EQ(0u, GlobalRecPack(&buffer.data, previous ? previous->data() : nullptr));
    return buffer.prefix(packedSize(buffer.data));
}

// Unpacks stored bytes held in a buffer of exactly their length, so that
// any read past them is a sanitizer error.
unsigned unpackExact(const std::vector<unsigned char>& stored, GlobalRegRecord* out) {
    std::vector<unsigned char> exact(stored);
    return GlobalRecUnpackStored(exact.data(), exact.size(), out);
}

GlobalRegRecord unpackOk(const std::vector<unsigned char>& stored) {
    GlobalRegRecord out;
    EXPECT_EQ(0u, unpackExact(stored, &out));
    return out;
}

bool sameRecord(const GlobalRegRecord& a, const GlobalRegRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(GlobalRecStored, InstanceWithOnlyServicePacksToThirtyBytes) {
    GlobalRegRecord r = emptyRecord(GENREG_GLOBAL_INSTANCE);
    r.FieldMask = GENREG_INST_SERVICE;
    GLOBAL_SET(r.Instance.Service, "QVR");
    r.CheckSum = -2;
    const std::vector<unsigned char> stored = pack(r);
    EXPECT_EQ(30u, stored.size());
    EXPECT_EQ(StoredRecord(1, 0x1).text("QVR").checksum(-2).bytes(), stored);
}

// Each field is written at its width, little-endian, in ascending bit order.
TEST(GlobalRecStored, ServiceRecordIsStoredFieldByField) {
    const GlobalRegRecord r = fullService("PLV", 0x0009000700040000ULL, 3);
    const std::vector<unsigned char> expected = StoredRecord(2, 0x3FF)
                                                    .text("PLV")
                                                    .number(0x0009000700040000ULL, 8)
                                                    .text("/opt/PLV")
                                                    .text("text8")
                                                    .text("text16")
                                                    .number(3, 4)
                                                    .number(0xA1B2C3D4u, 4)
                                                    .number(0x7F, 1)
                                                    .number(256, 4)
                                                    .number(512, 4)
                                                    .checksum(77)
                                                    .bytes();
    EXPECT_EQ(expected, pack(r));
    EXPECT_TRUE(sameRecord(r, unpackOk(expected)));
}

// A full record of each type comes back field for field, the 2620-byte
// instance record (larger than the in-memory record) included.
TEST(GlobalRecStored, FullRecordsRoundTrip) {
    GlobalRegRecord longest = fullInstance("x");
    std::memset(longest.Instance.InstancePath, 'p', sizeof longest.Instance.InstancePath - 1);
    std::memset(longest.Instance.InstanceText128, 't', sizeof longest.Instance.InstanceText128 - 1);
    std::memset(longest.Instance.Comment, 'c', sizeof longest.Instance.Comment - 1);
    std::memset(longest.Instance.Service, 's', sizeof longest.Instance.Service - 1);
    std::memset(longest.Instance.InstanceName, 'n', sizeof longest.Instance.InstanceName - 1);
    std::memset(longest.Instance.Usage, 'u', sizeof longest.Instance.Usage - 1);
    std::memset(longest.Instance.InstanceText256, 'v', sizeof longest.Instance.InstanceText256 - 1);
    GlobalRegRecord longestVariable = fullVariable("v", "w");
    std::memset(longestVariable.Variable.Comment, 'c', sizeof longestVariable.Variable.Comment - 1);
    std::memset(longestVariable.Variable.VariableText8, '8',
                sizeof longestVariable.Variable.VariableText8 - 1);
    std::memset(longestVariable.Variable.Variable, 'v',
                sizeof longestVariable.Variable.Variable - 1);
    std::memset(longestVariable.Variable.Value, 'w', sizeof longestVariable.Variable.Value - 1);
    std::memset(longestVariable.Variable.Service, 's', sizeof longestVariable.Variable.Service - 1);

    struct Case {
        const char* name;
        GlobalRegRecord record;
        uint64_t size;
    } cases[] = {
        {"instance", fullInstance("QVRINST1"), 0},
        {"service", fullService("QVR", 42, 7), 0},
        {"variable", fullVariable("QVRPATH", "/opt/x"), 0},
        {"longest instance", longest, 2620},
        {"longest variable", longestVariable, 2610},
    };
    for (const Case& c : cases) {
        PackBuffer buffer(c.record);
        ASSERT_EQ(0u, GlobalRecPack(&buffer.data, nullptr)) << c.name;
        const uint64_t size = packedSize(buffer.data);
        if (c.size) {
            EXPECT_EQ(c.size, size) << c.name;
        }
        ASSERT_EQ(0u, GlobalRecUnpackSized(&buffer.data, size)) << c.name;
        EXPECT_TRUE(sameRecord(c.record, buffer.record())) << c.name;
    }
}

TEST(GlobalRecStored, UnpackMarksAbsentKnownFieldsMissing) {
    // Usage (0x10) and Comment (0x200) absent; the stored missing bit 0x4000
    // is kept as it stands.
    const std::vector<unsigned char> stored = StoredRecord(1, 0x1EF, 0x4000)
                                                  .text("QVR")
                                                  .number(5, 8)
                                                  .text("inst")
                                                  .text("/path")
                                                  .number(1, 4)
                                                  .number(0, 4)
                                                  .text("a")
                                                  .text("b")
                                                  .checksum(0)
                                                  .bytes();
    const GlobalRegRecord r = unpackOk(stored);
    EXPECT_EQ(0x1EFu, r.FieldMask);
    EXPECT_EQ(0x4000u | 0x10u | 0x200u, r.MissingFieldMask);
    EXPECT_STREQ("", r.Instance.Usage);
    EXPECT_STREQ("/path", r.Instance.InstancePath);
}

TEST(GlobalRecStored, TypeThreePacksToHeaderAndChecksumButDoesNotUnpack) {
    GlobalRegRecord r = emptyRecord(3);
    r.FieldMask = 0x7;
    r.CheckSum = 9;
    const std::vector<unsigned char> stored = pack(r);
    EXPECT_EQ(StoredRecord(3, 0x7).checksum(9).bytes(), stored);
    GlobalRegRecord out;
    EXPECT_EQ(GENREG_RC_BAD_STORED_TYPE, unpackExact(stored, &out));
}

TEST(GlobalRecStored, PackedSizeWalksEveryEntry) {
    struct Case {
        const char* name;
        std::vector<unsigned char> stored;
    } cases[] = {
        {"no fields", StoredRecord(4, 0).checksum(0).bytes()},
        {"known and unknown entries", StoredRecord(4, 0x1 | 0x40 | 0x4000000000000000ULL)
                                          .text("QVR")
                                          .raw("future")
                                          .raw(std::string(300, 'z'))
                                          .checksum(0)
                                          .bytes()},
        // Only types 1, 2 and 4 have entries; bit 2^63 is never one.
        {"type 9 with a mask", StoredRecord(9, 0xFF).checksum(0).bytes()},
        {"top bit", StoredRecord(2, 0x8000000000000001ULL).text("QVR").checksum(0).bytes()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.stored.size(), packedSize(c.stored.data())) << c.name;
}

// A field of a newer version (0x400 of an instance record) survives the
// rewrite of its record byte for byte, also when a known field changed.
TEST(GlobalRecStored, UnknownEntryIsCarriedFromThePreviousForm) {
    const std::string future(
        "\x01\x00"
        "future bytes"
        "\xff",
        15);
    const std::vector<unsigned char> stored = StoredRecord(1, 0x1 | 0x4 | 0x400)
                                                  .text("QVR")
                                                  .text("inst1")
                                                  .raw(future)
                                                  .checksum(5)
                                                  .bytes();
    GlobalRegRecord r = unpackOk(stored);
    EXPECT_EQ(0x405u, r.FieldMask);
    EXPECT_STREQ("inst1", r.Instance.InstanceName);

    // Rewritten unchanged: identical bytes but for the missing-field mask,
    // which unpack filled in and pack writes as the record holds it.
    EXPECT_EQ(0x3FAu, r.MissingFieldMask);
    r.MissingFieldMask = 0;
    EXPECT_EQ(stored, pack(r, &stored));

    // A known field changed: the unknown entry still follows it unchanged.
    GLOBAL_SET(r.Instance.InstanceName, "renamed");
    r.FieldMask |= GENREG_INST_USAGE;
    GLOBAL_SET(r.Instance.Usage, "test");
    EXPECT_EQ(StoredRecord(1, 0x1 | 0x4 | 0x10 | 0x400)
                  .text("QVR")
                  .text("renamed")
                  .text("test")
                  .raw(future)
                  .checksum(5)
                  .bytes(),
              pack(r, &stored));

    // Entries of several unknown bits, the highest allowed one included,
    // keep their order among the known ones.
    const std::vector<unsigned char> variable = StoredRecord(4, 0x1 | 0x20 | 0x4000000000000000ULL)
                                                    .text("QVR")
                                                    .raw("mid")
                                                    .raw(std::string(70, 'h'))
                                                    .checksum(1)
                                                    .bytes();
    GlobalRegRecord v = unpackOk(variable);
    v.MissingFieldMask = 0;
    v.FieldMask |= GENREG_VAR_VALUE;
    GLOBAL_SET(v.Variable.Value, "val");
    EXPECT_EQ(StoredRecord(4, 0x1 | 0x4 | 0x20 | 0x4000000000000000ULL)
                  .text("QVR")
                  .text("val")
                  .raw("mid")
                  .raw(std::string(70, 'h'))
                  .checksum(1)
                  .bytes(),
              pack(v, &variable));
}

// The previous form's unknown entries are carried even when the record
// being packed no longer announces them (its caller started from a record
// of its own); nothing is carried from a record of another type.
TEST(GlobalRecStored, CarryingFollowsThePreviousFormOfTheSameType) {
    const std::vector<unsigned char> previous =
        StoredRecord(2, 0x1 | 0x800).text("QVR").raw("svc-future").checksum(0).bytes();
    GlobalRegRecord fresh = emptyRecord(GENREG_GLOBAL_SERVICE);
    fresh.FieldMask = GENREG_SVC_SERVICE;
    GLOBAL_SET(fresh.Service.Service, "PLV");
    EXPECT_EQ(StoredRecord(2, 0x1 | 0x800).text("PLV").raw("svc-future").checksum(0).bytes(),
              pack(fresh, &previous));

    GlobalRegRecord other = emptyRecord(GENREG_GLOBAL_VARIABLE);
    other.FieldMask = GENREG_VAR_SERVICE;
    GLOBAL_SET(other.Variable.Service, "QVR");
    EXPECT_EQ(StoredRecord(4, 0x1).text("QVR").checksum(0).bytes(), pack(other, &previous));
}

// Fault: a record whose own FieldMask holds unknown bits, with no previous
// stored form to supply their entries, would be stored announcing entries
// that are not there, and the file would no longer read.
TEST(GlobalRecStored, UnknownBitsWithoutPreviousFormAreRefusedAtPack) {
    GlobalRegRecord r = fullVariable("A", "B");
    r.FieldMask |= 0x400;
    const std::vector<unsigned char> otherType =
        StoredRecord(2, 0x1 | 0x400).text("QVR").raw("x").checksum(0).bytes();
    const std::vector<unsigned char> lacksBit =
        StoredRecord(4, 0x1).text("QVR").checksum(0).bytes();
    struct Case {
        const char* name;
        const std::vector<unsigned char>* previous;
    } cases[] = {
        {"no previous form", nullptr},
        {"previous form of another type", &otherType},
        {"previous form without the bit", &lacksBit},
    };
    for (const Case& c : cases) {
        PackBuffer buffer(r);
        const std::vector<unsigned char> before = buffer.bytes;
        EXPECT_EQ(GENREG_RC_PACK_UNKNOWN_FIELDS,
                  GlobalRecPack(&buffer.data, c.previous ? c.previous->data() : nullptr))
            << c.name;
        EXPECT_TRUE(before == buffer.bytes) << c.name << ": buffer changed";
    }
    // Bit 2^63 is never examined, so it announces nothing.
    GlobalRegRecord top = fullVariable("A", "B");
    top.FieldMask |= 0x8000000000000000ULL;
    PackBuffer buffer(top);
    EXPECT_EQ(0u, GlobalRecPack(&buffer.data, nullptr));
}

// Fault: the packed form may be larger than any buffer the store has; it
// is refused, the caller's buffer untouched, rather than written past it.
TEST(GlobalRecStored, PackedFormLargerThanTheLargestRecordIsRefused) {
    StoredRecord big(4, 0x1 | 0xFFFE0ULL);  // 15 unknown bits 0x20..0x80000
    big.text("QVR");
    for (int i = 0; i < 15; ++i)
        big.raw(std::string(65535, (char)('a' + i)));
    const std::vector<unsigned char> previous = big.checksum(0).bytes();

    GlobalRegRecord r = emptyRecord(GENREG_GLOBAL_VARIABLE);
    r.FieldMask = GENREG_VAR_SERVICE | GENREG_VAR_COMMENT;
    GLOBAL_SET(r.Variable.Service, "QVR");
    std::memset(r.Variable.Comment, 'c', sizeof r.Variable.Comment - 1);
    // 24 + 6 + 978 + 15 * 65537 = 984063 bytes: fits.
    unsigned char* packed = nullptr;
    uint64_t size = 0;
    ASSERT_EQ(0u, GlobalRecPackStored(&r, previous.data(), previous.size(), &packed, &size));
    ossMemFree(&packed, "test");

    StoredRecord bigger(4, 0x1 | 0x1FFFE0ULL);  // 16 entries: 1049600 bytes
    bigger.text("QVR");
    for (int i = 0; i < 16; ++i)
        bigger.raw(std::string(65535, (char)('a' + i)));
    const std::vector<unsigned char> tooBig = bigger.checksum(0).bytes();
    packed = nullptr;
    EXPECT_EQ(GENREG_RC_PACK_TOO_LARGE,
              GlobalRecPackStored(&r, tooBig.data(), tooBig.size(), &packed, &size));
    EXPECT_EQ(nullptr, packed);
}

TEST(GlobalRecStored, TextFillingItsFieldWithoutTerminatorIsRefusedAtPack) {
    GlobalRegRecord r = fullInstance("i");
    std::memset(r.Instance.Usage, 'u', sizeof r.Instance.Usage);  // no terminator
    PackBuffer buffer(r);
    EXPECT_EQ(GENREG_RC_PACK_TEXT_UNTERMINATED, GlobalRecPack(&buffer.data, nullptr));
    EXPECT_TRUE(sameRecord(r, buffer.record()));
    // Absent, the same bytes are not stored at all.
    r.FieldMask &= ~(uint64_t)GENREG_INST_USAGE;
    PackBuffer absent(r);
    EXPECT_EQ(0u, GlobalRecPack(&absent.data, nullptr));
}

// Through the slots the store uses: the unsized unpack of a record just
// packed, and the sized unpack of a record read from a file.
TEST(GlobalRecStored, UnpackSlotsAgree) {
    const GlobalRegRecord r = fullService("QVR", 1, 2);
    PackBuffer viaPack(r);
    ASSERT_EQ(0u, GlobalRecPack(&viaPack.data, nullptr));
    const std::vector<unsigned char> stored = viaPack.prefix(packedSize(viaPack.data));
    ASSERT_EQ(0u, GlobalRecUnpack(&viaPack.data));
    EXPECT_TRUE(sameRecord(r, viaPack.record()));

    std::vector<unsigned char> fileBuffer(sizeof(GlobalRegRecord), 0);
    std::memcpy(fileBuffer.data(), stored.data(), stored.size());
    void* data = fileBuffer.data();
    ASSERT_EQ(0u, GlobalRecUnpackSized(&data, stored.size()));
    EXPECT_TRUE(sameRecord(r, *(const GlobalRegRecord*)data));
}

}  // namespace
