// The binary record format: the length codec, the record reader on damaged
// files, the writer's bounds and failures, and the slot check.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bin_support.h"
#include "genreg/binfile.h"
#include "platform/fault.h"

using namespace bin_test;

namespace {

// A read stream on content, written to a scratch file.
class ReadStream {
public:
    ReadStream(const TestDir& dir, const std::string& content) {
        path_ = dir.file("records");
        EXPECT_TRUE(WriteFileBytes(path_, content));
        stream_ = ossStreamOpen(path_.c_str(), "rb");
        EXPECT_NE(nullptr, stream_);
    }
    ~ReadStream() {
        if (stream_) ossStreamClose(stream_);
    }
    FILE* get() const { return stream_; }

private:
    std::string path_;
    FILE* stream_;
};

// A record buffer of GetMaxRecordSize bytes that the reader may replace.
struct Buffer {
    void* p = nullptr;
    Buffer() { EXPECT_EQ(0u, ossMemAlloc(&p, sizeof(TestRecord), "test")); }
    ~Buffer() {
        if (p) ossMemFree(&p, "test");
    }
};

struct Step {
    unsigned rc;
    uint64_t length;
};

struct DamageCase {
    const char* name;
    std::string content;
    bool bigEndian;
    std::vector<Step> steps;  // successive ReadRecord results
};

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s.push_back((char)b);
    return s;
}

}  // namespace

TEST(BinFormat, BigEndianCodecRoundTripsAndRefusesNullPointers) {
    const struct {
        uint32_t value;
        std::string bytes;
    } cases[] = {{0x00000102, bytes({0, 0, 1, 2})},
                 {0x80000001, bytes({0x80, 0, 0, 1})},
                 {0xFFFFFFFF, bytes({0xFF, 0xFF, 0xFF, 0xFF})}};
    for (const auto& c : cases) {
        unsigned char out[4] = {0, 0, 0, 0};
        ASSERT_EQ(0u, PutBigEndian32(out, c.value));
        EXPECT_EQ(c.bytes, std::string(reinterpret_cast<char*>(out), 4));
        int32_t decoded = 0;
        ASSERT_EQ(0u, GetBigEndian32(out, &decoded));
        EXPECT_EQ(c.value, (uint32_t)decoded);
    }
    int32_t untouched = 42;
    unsigned char in[4] = {1, 2, 3, 4};
    EXPECT_EQ(GENREG_RC_NULL_POINTER, GetBigEndian32(nullptr, &untouched));
    EXPECT_EQ(GENREG_RC_NULL_POINTER, GetBigEndian32(in, nullptr));
    EXPECT_EQ(GENREG_RC_NULL_POINTER, PutBigEndian32(nullptr, 1));
    EXPECT_EQ(42, untouched);
}

TEST(BinFormat, ReaderJudgesDamagedFilesRecordByRecord) {
    const std::string good = frame(bytesOf(rec(1, 1)));
    const std::vector<DamageCase> cases = {
        {"empty file", "", false, {{GENREG_RC_NOT_FOUND, 0}}},
        {"length runs past the end",
         good + bytes({10, 0, 0, 0}) + "123456",
         false,
         {{0, 32}, {GENREG_RC_RECORD_PAST_EOF, 10}}},
        {"truncated length prefix",
         good + bytes({40, 0}),
         false,
         {{0, 32}, {GENREG_RC_RECORD_PAST_EOF, 40}}},
        {"one stray byte", good + bytes({7}), false, {{0, 32}, {GENREG_RC_RECORD_PAST_EOF, 7}}},
        {"three stray bytes, big-endian",
         frame(bytesOf(rec(1, 1)), true) + bytes({0, 0, 1}),
         true,
         {{0, 32}, {GENREG_RC_RECORD_PAST_EOF, 0x100}}},
        {"two zero stray bytes read as an empty record",
         good + bytes({0, 0}),
         false,
         {{0, 32}, {0, 0}, {GENREG_RC_NOT_FOUND, 0}}},
        {"records of 0, 1 and 2 bytes from another writer",
         frame("") + frame("a") + frame("bc") + good,
         false,
         {{0, 0}, {0, 1}, {0, 2}, {0, 32}, {GENREG_RC_NOT_FOUND, 0}}},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        TestStore store(dir.file("f"), 0);
        if (c.bigEndian) store.features |= GENREG_FEATURE_BIG_ENDIAN_LENGTH;
        ReadStream stream(dir, c.content);
        Buffer buffer;
        for (const Step& step : c.steps) {
            uint64_t length = 99;
            EXPECT_EQ(step.rc, ReadRecord(&store, stream.get(), &buffer.p, &length));
            EXPECT_EQ(step.length, length);
        }
    }
}

TEST(BinFormat, ReaderGrowsTheBufferForALongRecordAndKeepsItForShorterOnes) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    std::string longBody(100, 'L');
    ReadStream stream(dir, frame(longBody) + frame("short"));
    Buffer buffer;
    void* original = buffer.p;
    uint64_t length = 0;
    ASSERT_EQ(0u, ReadRecord(&store, stream.get(), &buffer.p, &length));
    EXPECT_EQ(100u, length);
    EXPECT_NE(original, buffer.p);
    EXPECT_EQ(longBody, std::string(static_cast<char*>(buffer.p), 100));
    void* grown = buffer.p;
    ASSERT_EQ(0u, ReadRecord(&store, stream.get(), &buffer.p, &length));
    EXPECT_EQ(5u, length);
    EXPECT_EQ(grown, buffer.p);
    EXPECT_EQ("shortLLLL", std::string(static_cast<char*>(buffer.p), 9))
        << "bytes past the record keep what they held";
}

TEST(BinFormat, ReaderLeavesTheCallersBufferWhenGrowingFails) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    ReadStream stream(dir, frame(std::string(100, 'L')));
    Buffer buffer;
    void* original = buffer.p;
    uint64_t length = 0;
    ossFaultArm(OSS_FAULT_ALLOC, 1, 0);
    EXPECT_EQ(GENREG_RC_GROW_ALLOC_FAILED, ReadRecord(&store, stream.get(), &buffer.p, &length));
    ossFaultDisarm();
    EXPECT_EQ(original, buffer.p);
}

TEST(BinFormat, ReaderReportsAFailedReadOfTheLengthOrTheBody) {
    TestDir dir;
    TestStore store(dir.file("f"), 0);
    const struct {
        uint32_t nthRead;
        unsigned rc;
    } cases[] = {{1, GENREG_RC_READ_LENGTH_FAILED}, {2, GENREG_RC_READ_BODY_FAILED}};
    for (const auto& c : cases) {
        ReadStream stream(dir, fileOf({rec(1, 1)}));
        Buffer buffer;
        uint64_t length = 0;
        ossFaultArm(OSS_FAULT_READ, c.nthRead, 0);
        EXPECT_EQ(c.rc, ReadRecord(&store, stream.get(), &buffer.p, &length));
        ossFaultDisarm();
    }
}

// A position and a size past 2 GiB must not wrap: the first record of a
// large file is whole, and a record far out is judged against the real size.
TEST(BinFormat, Fault32BitPositionAndSizeMisjudgeFilesOver2GiB) {
    TestDir dir;
    const int64_t far = (int64_t(1) << 31) + 16;
    const std::string path = dir.file("big");
    ASSERT_TRUE(WriteFileBytes(path, fileOf({rec(1, 1)})));
    std::error_code error;
    std::filesystem::resize_file(path, (uintmax_t)far + 64, error);
    if (error) GTEST_SKIP() << "no sparse file of 2 GiB here: " << error.message();
    FILE* out = ossStreamOpen(path.c_str(), "r+b");
    ASSERT_NE(nullptr, out);
    std::string tail = frame(std::string(32, 'T')) + bytes({100, 0, 0, 0});
    ASSERT_EQ(0, ossStreamSeek(out, far, SEEK_SET));
    ASSERT_EQ(tail.size(), ossStreamWrite(tail.data(), 1, tail.size(), out));
    ASSERT_EQ(0, ossStreamClose(out));

    TestStore store(dir.file("f"), 0);
    FILE* in = ossStreamOpen(path.c_str(), "rb");
    ASSERT_NE(nullptr, in);
    Buffer buffer;
    uint64_t length = 0;
    EXPECT_EQ(0u, ReadRecord(&store, in, &buffer.p, &length));
    ASSERT_EQ(0, ossStreamSeek(in, far, SEEK_SET));
    EXPECT_EQ(0u, ReadRecord(&store, in, &buffer.p, &length));
    EXPECT_EQ(32u, length);
    EXPECT_EQ(GENREG_RC_RECORD_PAST_EOF, ReadRecord(&store, in, &buffer.p, &length));
    ossStreamClose(in);
    std::filesystem::remove(path, error);
}

namespace {
uint64_t g_reportedSize;
unsigned reportedSize(const void*, uint64_t* size) {
    *size = g_reportedSize;
    return 0;
}
}  // namespace

TEST(BinFormat, WriterAcceptsOnlyLengthsFrom3To1MiBAndWritesNothingElse) {
    const struct {
        uint64_t size;
        unsigned rc;
        size_t fileSize;
    } cases[] = {
        {2, GENREG_RC_RECORD_TOO_SMALL, 0},
        {3, 0, 7},
        {0x100000, 0, 0x100004},
        {0x100001, GENREG_RC_RECORD_TOO_LARGE, 0},
        {0x100000003ULL, 0, 7},  // the low 32 bits are the length
    };
    std::string record(0x100001, 'r');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TestDir dir;
        TestStore store(dir.file("f"), 0);
        store.GetRecordSize = reportedSize;
        g_reportedSize = c.size;
        FILE* out = ossStreamCreateExclusive(dir.file("out").c_str(), "wb");
        ASSERT_NE(nullptr, out);
        EXPECT_EQ(c.rc, WriteRecord(&store, out, record.data()));
        ossStreamClose(out);
        EXPECT_EQ(c.fileSize, ReadFileBytes(dir.file("out")).size());
    }
}

TEST(BinFormat, WriterOrdersTheLengthPrefixAsTheHandleSays) {
    for (bool bigEndian : {false, true}) {
        TestDir dir;
        TestStore store(dir.file("f"), bigEndian ? (uint64_t)GENREG_FEATURE_BIG_ENDIAN_LENGTH : 0);
        store.GetRecordSize = reportedSize;
        g_reportedSize = 0x102;
        std::string record(0x102, 'r');
        FILE* out = ossStreamCreateExclusive(dir.file("out").c_str(), "wb");
        ASSERT_NE(nullptr, out);
        ASSERT_EQ(0u, WriteRecord(&store, out, record.data()));
        ossStreamClose(out);
        std::string expected = bigEndian ? bytes({0, 0, 1, 2}) : bytes({2, 1, 0, 0});
        EXPECT_EQ(expected + record, ReadFileBytes(dir.file("out")));
    }
}

TEST(BinFormat, WriterReportsFailedWritesAndMissingSizeSlots) {
    TestDir dir;
    TestRecord r = rec(1, 2);
    const struct {
        uint32_t nthWrite;
        unsigned rc;
    } writes[] = {{1, GENREG_RC_WRITE_LENGTH_FAILED}, {2, GENREG_RC_WRITE_BODY_FAILED}};
    for (const auto& c : writes) {
        TestStore store(dir.file("f"), 0);
        FILE* out = ossStreamCreateExclusive(dir.file("out").c_str(), "wb");
        ASSERT_NE(nullptr, out);
        ossFaultArm(OSS_FAULT_WRITE, c.nthWrite, 0);
        EXPECT_EQ(c.rc, WriteRecord(&store, out, &r));
        ossFaultDisarm();
        ossStreamClose(out);
        ossFileDelete(dir.file("out").c_str());
    }
    TestStore plain(dir.file("f"), 0);
    plain.GetRecordSize = nullptr;
    EXPECT_EQ(GENREG_RC_NO_SIZE_SLOT, WriteRecord(&plain, nullptr, &r));
    TestStore packed(dir.file("f"), 0, true);
    packed.GetPackedSize = nullptr;
    EXPECT_EQ(GENREG_RC_NO_PACKED_SIZE_SLOT, WriteRecord(&packed, nullptr, &r));
}

TEST(BinFormat, SlotCheckNamesTheFirstMissingSlot) {
    TestDir dir;
    const struct {
        bool packed;
        int clear;  // 0 none, 1 validate, 2 max size, 3 pack, 4 unpack
        unsigned rc;
    } cases[] = {
        {false, 0, 0},
        {false, 1, GENREG_RC_NO_VALIDATE_SLOT},
        {false, 2, GENREG_RC_NO_MAX_SIZE_SLOT},
        {false, 3, 0},  // an unpacked store needs no pack slots
        {true, 3, GENREG_RC_NO_PACK_SLOT},
        {true, 4, GENREG_RC_NO_UNPACK_SLOT},
        {true, 0, 0},
    };
    for (const auto& c : cases) {
        TestStore store(dir.file("f"), 0, c.packed);
        if (c.clear == 1) store.ValidateRecord = nullptr;
        if (c.clear == 2) store.GetMaxRecordSize = nullptr;
        if (c.clear == 3) store.PackRecord = nullptr;
        if (c.clear == 4) store.UnpackRecord = nullptr;
        EXPECT_EQ(c.rc, CheckBinSlots(&store)) << "packed=" << c.packed << " clear=" << c.clear;
    }
}
