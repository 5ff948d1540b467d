// The test schemas and helpers declared in bin_support.h.
#include "bin_support.h"

namespace bin_test {

Knobs g_knobs;

namespace {

const unsigned char kPackedMagic = 0xA5;

void put32(unsigned char* p, int32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (unsigned char)((uint32_t)v >> (8 * i));
}

int32_t get32(const unsigned char* p) {
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                     (uint32_t)p[3] << 24);
}

std::string packBytes(const TestRecord& r, unsigned pad) {
    size_t textLength = strnlen(r.text, sizeof r.text);
    std::string out(kPackedHead + textLength + pad, '\0');
    unsigned char* p = reinterpret_cast<unsigned char*>(&out[0]);
    p[0] = kPackedMagic;
    put32(p + 1, r.key);
    put32(p + 5, r.value);
    p[9] = (unsigned char)textLength;
    p[10] = (unsigned char)(pad & 0xFF);
    p[11] = (unsigned char)(pad >> 8);
    std::memcpy(p + kPackedHead, r.text, textLength);
    std::memset(p + kPackedHead + textLength, 0x5A, pad);
    return out;
}

}  // namespace

std::string packedOf(const TestRecord& r) {
    return packBytes(r, 0);
}

int testCompare(uint64_t selector, const void* stored, const void* key) {
    const TestRecord* a = static_cast<const TestRecord*>(stored);
    const TestRecord* b = static_cast<const TestRecord*>(key);
    const bool all = selector == GENREG_SELECT_ALL;
    if ((all || (selector & SEL_KEY)) && a->key != b->key) return 0;
    if ((all || (selector & SEL_VALUE)) && a->value != b->value) return 0;
    if ((all || (selector & SEL_TEXT)) && std::strncmp(a->text, b->text, sizeof a->text) != 0)
        return 0;
    return g_knobs.matchResult;
}

unsigned testValidate(uint64_t, void*) {
    return g_knobs.validateRc;
}

unsigned testRecordSize(const void*, uint64_t* size) {
    *size = sizeof(TestRecord);
    return 0;
}

unsigned testMaxRecordSize(uint64_t* size) {
    *size = sizeof(TestRecord);
    return 0;
}

unsigned testPack(void** record, const void* storedImage) {
    ++g_knobs.packCalls;
    if (g_knobs.packFail) return 77;
    TestRecord r;
    std::memcpy(&r, *record, sizeof r);
    if (g_knobs.corrupt && r.value == g_knobs.corruptValue) r.value ^= 1;
    if (storedImage == nullptr) {
        ++g_knobs.packCallsWithoutImage;
    } else {
        const unsigned char* image = static_cast<const unsigned char*>(storedImage);
        if (image[0] != kPackedMagic || get32(image + 1) != r.key) g_knobs.imageMismatch = true;
    }
    std::string packed = packBytes(r, g_knobs.packPad);
    std::memcpy(*record, packed.data(), packed.size());
    return 0;
}

unsigned testUnpack(void** record) {
    ++g_knobs.unpackCalls;
    if (g_knobs.unpackFailAt == g_knobs.unpackCalls) return 78;
    const unsigned char* p = static_cast<const unsigned char*>(*record);
    if (p[0] != kPackedMagic || p[9] >= sizeof(TestRecord::text)) return 79;
    TestRecord r;
    std::memset(&r, 0, sizeof r);
    r.key = get32(p + 1);
    r.value = get32(p + 5);
    std::memcpy(r.text, p + kPackedHead, p[9]);
    std::memcpy(*record, &r, sizeof r);
    return 0;
}

unsigned testPackedSize(const void* packed, uint64_t* size) {
    *size = packedSizeOf(static_cast<const unsigned char*>(packed));
    return 0;
}

unsigned testNotify(GenRegBase*, uint64_t operation, const void*, const void*) {
    ++g_knobs.notifyCalls;
    g_knobs.notifyOperation = operation;
    return g_knobs.notifyRc;
}

unsigned testPostUpdate() {
    ++g_knobs.postCalls;
    return g_knobs.postRc;
}

TestStore::TestStore(const std::string& path, uint64_t featureBits, bool packed) {
    std::memset(&g_knobs, 0, sizeof g_knobs);
    g_knobs.matchResult = 1;
    CompareRecord = testCompare;
    ValidateRecord = testValidate;
    GetRecordSize = testRecordSize;
    GetMaxRecordSize = testMaxRecordSize;
    NotifyUpdate = testNotify;
    PostUpdate = testPostUpdate;
    if (packed) {
        PackRecord = testPack;
        UnpackRecord = testUnpack;
        GetPackedSize = testPackedSize;
        featureBits |= GENREG_FEATURE_PACKED;
    }
    EXPECT_EQ(0u, GenRegCheckPath(path.c_str(), 0));
    EXPECT_EQ(0u, GenRegDerivePaths(this, path.c_str(), 0));
    features = featureBits;
}

std::vector<int32_t> keysOf(const std::string& content, bool packed) {
    std::vector<int32_t> keys;
    size_t at = 0;
    while (at < content.size()) {
        if (content.size() - at < 4) return keys.push_back(-1), keys;
        const unsigned char* p = reinterpret_cast<const unsigned char*>(content.data() + at);
        uint32_t n = (uint32_t)get32(p);
        at += 4;
        if (content.size() - at < n || n < 5) return keys.push_back(-1), keys;
        const unsigned char* body = p + 4;
        keys.push_back(packed ? get32(body + 1) : get32(body));
        at += n;
    }
    return keys;
}

}  // namespace bin_test
