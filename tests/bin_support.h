// Test schemas and helpers for the binary store tests.
//
// TestStore is a GenRegBin with a small fixed record (TestRecord, 32 bytes)
// stored as it is in memory, or - with packed - in a packed form of its own
// whose size depends on the text and on a padding that the test chooses,
// so that a packed form can be made larger than the record. The callbacks
// are plain functions, so the knobs that tests turn live in one global
// Knobs block that every TestStore resets.
#ifndef GENREG_TESTS_BIN_SUPPORT_H
#define GENREG_TESTS_BIN_SUPPORT_H

#include <gtest/gtest.h>
#include <genreg/handle.h>
#include <genreg/rc.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "genreg/handle_internal.h"
#include "platform/oss.h"
#include "store_invariants.h"

namespace bin_test {

using store_test::HandleIsIdle;
using store_test::IsCommitted;
using store_test::IsUntouched;
using store_test::LogCapture;
using store_test::PathExists;
using store_test::ReadFileBytes;
using store_test::ResourceBalance;
using store_test::TestDir;
using store_test::WriteFileBytes;

struct TestRecord {
    int32_t key;
    int32_t value;
    char text[24];
};
static_assert(sizeof(TestRecord) == 32, "the test record is 32 bytes");

enum : uint64_t { SEL_KEY = 0x1, SEL_VALUE = 0x2, SEL_TEXT = 0x4 };

inline TestRecord rec(int32_t key = 0, int32_t value = 0, const char* text = "") {
    TestRecord r;
    std::memset(&r, 0, sizeof r);
    r.key = key;
    r.value = value;
    std::strncpy(r.text, text, sizeof r.text - 1);
    return r;
}

// What the tests can make the callbacks do, and what they saw.
struct Knobs {
    int matchResult;       // CompareRecord's result for a match (normally 1)
    unsigned validateRc;   // ValidateRecord's result
    unsigned notifyRc;     // NotifyUpdate's result
    unsigned postRc;       // PostUpdate's result
    unsigned packPad;      // extra bytes in every packed form
    bool corrupt;          // PackRecord flips a bit of the value of ...
    int32_t corruptValue;  // ... every record with this value
    bool packFail;         // PackRecord fails
    int unpackFailAt;      // UnpackRecord fails on its nth call (1-based; 0 never)
    int notifyCalls;
    uint64_t notifyOperation;
    int postCalls;
    int packCalls;
    int packCallsWithoutImage;
    int unpackCalls;
    bool imageMismatch;  // a stored image did not hold the record being packed
};
extern Knobs g_knobs;

// Packed form: 0xA5, key, value, text length (1 byte), padding (2 bytes),
// text, padding bytes.
const size_t kPackedHead = 12;

inline uint64_t packedSizeOf(const unsigned char* p) {
    return kPackedHead + p[9] + (p[10] | p[11] << 8);
}

int testCompare(uint64_t selector, const void* stored, const void* key);
unsigned testValidate(uint64_t selector, void* record);
unsigned testRecordSize(const void* record, uint64_t* size);
unsigned testMaxRecordSize(uint64_t* size);
unsigned testPack(void** record, const void* storedImage);
unsigned testUnpack(void** record);
unsigned testPackedSize(const void* packed, uint64_t* size);
unsigned testNotify(GenRegBase* handle, uint64_t operation, const void* first, const void* second);
unsigned testPostUpdate();

// The plain (or packed) test schema on path, with features set on top of
// GENREG_FEATURE_VERIFY unless told otherwise.
class TestStore : public GenRegBin {
public:
    TestStore(const std::string& path, uint64_t featureBits, bool packed = false);
    ~TestStore() = default;
};

// Record bytes as stored unpacked.
inline std::string bytesOf(const TestRecord& r) {
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

// One record framed with its 4-byte length.
inline std::string frame(const std::string& body, bool bigEndian = false) {
    uint32_t n = (uint32_t)body.size();
    std::string prefix(4, '\0');
    for (int i = 0; i < 4; ++i)
        prefix[bigEndian ? 3 - i : i] = (char)(unsigned char)(n >> (8 * i));
    return prefix + body;
}

inline std::string fileOf(const std::vector<TestRecord>& records) {
    std::string content;
    for (const TestRecord& r : records)
        content += frame(bytesOf(r));
    return content;
}

// Packed form of a record, as testPack writes it (no padding).
std::string packedOf(const TestRecord& r);

inline std::string packedFileOf(const std::vector<TestRecord>& records) {
    std::string content;
    for (const TestRecord& r : records)
        content += frame(packedOf(r));
    return content;
}

// The keys of an unpacked test file, in file order; a damaged file gives
// what precedes the damage plus -1.
std::vector<int32_t> keysOf(const std::string& content, bool packed = false);

// A file holding content for store; false when it cannot be written.
inline bool Seed(const GenRegFile& store, const std::string& content) {
    return WriteFileBytes(store.filePath, content);
}

// No copy and no corruption marker beside the file.
inline bool NoCopyLeft(const GenRegFile& store) {
    return !PathExists(store.tempPath) && !PathExists(store.corruptPath);
}

}  // namespace bin_test

#endif
