// Damaged stored records: each kind of damage is refused with its own code,
// nothing is read past the stored bytes, and the caller's buffer keeps what
// it held.
#include <genreg/rc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "globalrec_support.h"
#include "schemas/globalrec.h"

namespace {

using globalrec_test::StoredRecord;

struct DamageCase {
    const char* name;
    std::vector<unsigned char> stored;
    unsigned rc;
};

// Unpacks the bytes from a buffer of exactly their length (a sanitizer
// catches any read past them) and from a store-sized buffer, which must be
// left as it was.
void expectRefused(const DamageCase& c) {
    std::vector<unsigned char> exact(c.stored);
    GlobalRegRecord out;
    EXPECT_EQ(c.rc, GlobalRecUnpackStored(exact.data(), exact.size(), &out)) << c.name;

    std::vector<unsigned char> buffer(c.stored);
    buffer.resize(sizeof(GlobalRegRecord) + c.stored.size(), 0xA5);
    const std::vector<unsigned char> before = buffer;
    void* data = buffer.data();
    EXPECT_EQ(c.rc, GlobalRecUnpackSized(&data, c.stored.size())) << c.name;
    EXPECT_TRUE(before == buffer) << c.name << ": buffer changed";
}

std::string bytes(size_t count, char c) {
    return std::string(count, c);
}

// Fault: a stored entry longer than its field was copied over the fields
// behind it. Truncating it instead would write the field back shortened by
// the next unrelated update, so the record is refused.
TEST(GlobalRecDamaged, UnpackRejectsEntryLongerThanItsSlot) {
    const DamageCase cases[] = {
        {"Service of 64 characters", StoredRecord(1, 0x1).text(bytes(64, 's')).checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_TOO_LONG},
        {"InstancePath of 1024 characters",
         StoredRecord(1, 0x8).text(bytes(1024, 'p')).checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_TOO_LONG},
        {"variable Comment of 976 characters",
         StoredRecord(4, 0x10).text(bytes(976, 'c')).checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_TOO_LONG},
        {"ServiceText16 of 60000 characters",
         StoredRecord(2, 0x10).text(bytes(60000, 't')).checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_TOO_LONG},
    };
    for (const DamageCase& c : cases)
        expectRefused(c);
    // The longest texts that fit are accepted.
    const std::vector<unsigned char> fits =
        StoredRecord(4, 0x10).text(bytes(975, 'c')).checksum(0).bytes();
    GlobalRegRecord out;
    EXPECT_EQ(0u, GlobalRecUnpackStored(fits.data(), fits.size(), &out));
    EXPECT_EQ(975u, std::strlen(out.Variable.Comment));
}

// Fault: the entries were trusted to lie inside the record; a length that
// runs past its end read whatever followed in memory.
TEST(GlobalRecDamaged, UnpackRejectsEntryRunningPastRecordEnd) {
    const DamageCase cases[] = {
        {"entry longer than the rest", StoredRecord(1, 0x1).entry(40, "QVR").checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_PAST_END},
        {"entry eating the checksum", StoredRecord(1, 0x1).entry(6, "QVR").checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_PAST_END},
        {"mask announcing an entry that is not there",
         StoredRecord(1, 0x3).text("QVR").checksum(0).bytes(), GENREG_RC_STORED_ENTRY_PAST_END},
        {"unknown entry past the end",
         StoredRecord(4, 0x1 | 0x100).text("QVR").entry(65535, "x").checksum(0).bytes(),
         GENREG_RC_STORED_ENTRY_PAST_END},
        {"no checksum", StoredRecord(1, 0x1).text("QVR").bytes(), GENREG_RC_STORED_ENTRY_PAST_END},
        {"header only", StoredRecord(1, 0).bytes(), GENREG_RC_STORED_ENTRY_PAST_END},
        {"three bytes", {1, 0, 0}, GENREG_RC_STORED_ENTRY_PAST_END},
        {"empty", {}, GENREG_RC_STORED_ENTRY_PAST_END},
        {"bytes left after the checksum",
         StoredRecord(1, 0x1).text("QVR").checksum(0).raw("tail").bytes(),
         GENREG_RC_STORED_LENGTH_MISMATCH},
    };
    for (const DamageCase& c : cases)
        expectRefused(c);
}

// Fault: a text entry without its terminator left an unterminated field
// that later reads ran off; an inner terminator would shorten the text on
// the next rewrite.
TEST(GlobalRecDamaged, UnpackRejectsTextWithoutItsTerminator) {
    const DamageCase cases[] = {
        {"no terminator", StoredRecord(1, 0x1).raw("QVR").checksum(0).bytes(),
         GENREG_RC_STORED_TEXT_MALFORMED},
        {"zero length", StoredRecord(4, 0x2).raw("").checksum(0).bytes(),
         GENREG_RC_STORED_TEXT_MALFORMED},
        {"inner terminator", StoredRecord(2, 0x1).raw(std::string("Q\0R\0", 4)).checksum(0).bytes(),
         GENREG_RC_STORED_TEXT_MALFORMED},
        {"field full, no terminator", StoredRecord(1, 0x4).raw(bytes(64, 'n')).checksum(0).bytes(),
         GENREG_RC_STORED_TEXT_MALFORMED},
    };
    for (const DamageCase& c : cases)
        expectRefused(c);
}

// Fault: a numeric entry of another length was copied as it came, taking
// bytes of the next field or leaving part of the number unset.
TEST(GlobalRecDamaged, UnpackRejectsNumberOfWrongLength) {
    const DamageCase cases[] = {
        {"VersionCode of 4 bytes", StoredRecord(1, 0x2).number(9, 4).checksum(0).bytes(),
         GENREG_RC_STORED_NUMBER_LENGTH},
        {"StartAtBoot of 8 bytes", StoredRecord(1, 0x20).number(1, 8).checksum(0).bytes(),
         GENREG_RC_STORED_NUMBER_LENGTH},
        {"Level of 2 bytes", StoredRecord(2, 0x20).number(4, 2).checksum(0).bytes(),
         GENREG_RC_STORED_NUMBER_LENGTH},
        {"ServiceFlag128 of 4 bytes", StoredRecord(2, 0x80).number(1, 4).checksum(0).bytes(),
         GENREG_RC_STORED_NUMBER_LENGTH},
        {"ServiceInt512 of 0 bytes", StoredRecord(2, 0x200).raw("").checksum(0).bytes(),
         GENREG_RC_STORED_NUMBER_LENGTH},
    };
    for (const DamageCase& c : cases)
        expectRefused(c);
}

TEST(GlobalRecDamaged, UnpackRejectsUnknownRecordTypes) {
    const DamageCase cases[] = {
        {"type 0", StoredRecord(0, 0x1).text("QVR").checksum(0).bytes(), GENREG_RC_BAD_STORED_TYPE},
        {"type 3", StoredRecord(3, 0).checksum(0).bytes(), GENREG_RC_BAD_STORED_TYPE},
        {"type 8", StoredRecord(8, 0x1).text("QVR").checksum(0).bytes(), GENREG_RC_BAD_STORED_TYPE},
        {"type 0xFFFFFFFF", StoredRecord(0xFFFFFFFFu, 0).checksum(0).bytes(),
         GENREG_RC_BAD_STORED_TYPE},
    };
    for (const DamageCase& c : cases)
        expectRefused(c);
}

// The walk behind GetPackedSize stops at the end of what it may read.
TEST(GlobalRecDamaged, MeasureNeverReadsPastWhatIsAvailable) {
    const std::vector<unsigned char> stored =
        StoredRecord(4, 0x1 | 0x2).text("QVR").text("VAR").checksum(0).bytes();
    uint64_t size = 0;
    ASSERT_EQ(0u, GlobalRecMeasure(stored.data(), stored.size(), &size));
    EXPECT_EQ(stored.size(), size);
    for (size_t available = 0; available < stored.size(); ++available) {
        std::vector<unsigned char> cut(stored.begin(), stored.begin() + (long)available);
        EXPECT_EQ(GENREG_RC_STORED_ENTRY_PAST_END, GlobalRecMeasure(cut.data(), cut.size(), &size))
            << available;
    }
}

}  // namespace
