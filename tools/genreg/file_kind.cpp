// Recognising registry files of the wrong kind (see file_kind.h).
#include "file_kind.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "cli.h"
#include "output.h"
#include "store.h"

namespace {

// Sizes of the stored forms the recognition knows.
const size_t kLengthPrefix = 4;
const size_t kBinVarRecord = 36;
const size_t kGlobalHeader = 20;  // type (4), field mask (8), missing-field mask (8)
const size_t kGlobalChecksum = 4;
const size_t kGlobalEntryPrefix = 2;
const uint64_t kGlobalLastBit = 0x4000000000000000ULL;
// Files above this size are left to the library: registry files are far
// smaller, and the recognition must not hold a huge file in memory.
const size_t kLargestJudged = 256u << 20;

uint64_t littleEndian(const unsigned char* bytes, size_t width) {
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

// True when the record bytes are a stored global registry record: a known
// type, and one length-prefixed entry per bit of the field mask that
// together end exactly at the checksum.
bool isGlobalRecord(const unsigned char* record, size_t length) {
    if (length < kGlobalHeader + kGlobalChecksum) return false;
    uint64_t type = littleEndian(record, 4);
    if (type != 1 && type != 2 && type != 4) return false;
    uint64_t mask = littleEndian(record + 4, 8);
    size_t end = length - kGlobalChecksum;
    size_t offset = kGlobalHeader;
    for (uint64_t bit = 1; bit != 0 && bit <= kGlobalLastBit; bit <<= 1) {
        if (!(mask & bit)) continue;
        if (end - offset < kGlobalEntryPrefix) return false;
        size_t entry = static_cast<size_t>(littleEndian(record + offset, kGlobalEntryPrefix));
        offset += kGlobalEntryPrefix;
        if (end - offset < entry) return false;
        offset += entry;
    }
    return offset == end;
}

// The outcome of walking the file as length-prefixed records.
struct Framing {
    bool intact = true;     // the lengths frame the file exactly
    size_t breakAt = 0;     // offset of the record that runs past the end
    size_t records = 0;     // whole records before the end or the break
    size_t firstNot36 = 0;  // offset of the first record that is not 36 bytes
    bool all36 = true;
    size_t firstNotGlobal = 0;
    bool allGlobal = true;
};

Framing walk(const std::vector<unsigned char>& bytes) {
    Framing framing;
    size_t offset = 0;
    while (offset < bytes.size()) {
        size_t left = bytes.size() - offset;
        uint64_t length =
            left >= kLengthPrefix ? littleEndian(&bytes[offset], kLengthPrefix) : UINT64_MAX;
        if (left < kLengthPrefix || length > left - kLengthPrefix) {
            framing.intact = false;
            framing.breakAt = offset;
            return framing;
        }
        const unsigned char* record = &bytes[offset + kLengthPrefix];
        if (framing.all36 && length != kBinVarRecord) {
            framing.all36 = false;
            framing.firstNot36 = offset;
        }
        if (framing.allGlobal && !isGlobalRecord(record, static_cast<size_t>(length))) {
            framing.allGlobal = false;
            framing.firstNotGlobal = offset;
        }
        offset += kLengthPrefix + static_cast<size_t>(length);
        ++framing.records;
    }
    return framing;
}

bool readWhole(const std::string& path, std::vector<unsigned char>* bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    unsigned char chunk[16384];
    size_t got = 0;
    bool ok = true;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes->size() + got > kLargestJudged) {
            ok = false;
            break;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    if (std::ferror(file)) ok = false;
    std::fclose(file);
    return ok;
}

std::string atByte(size_t offset) {
    return "the record at byte " + std::to_string(offset);
}

// A wanted binary kind whose records hold up to a fault: "damaged X: the
// record at byte N ...", else "".
std::string describeDamage(const Framing& framing, FileKind wanted) {
    if (wanted == kKindText) return "";
    bool binVar = wanted == kKindBinVar;
    bool kindHolds = binVar ? framing.all36 : framing.allGlobal;
    size_t kindFault = binVar ? framing.firstNot36 : framing.firstNotGlobal;
    const char* record = binVar ? "a 36-byte record" : "a global registry record";
    std::string name = std::string("damaged ") + (fileKindName(wanted) + 2);
    if (!kindHolds && kindFault > 0) return name + ": " + atByte(kindFault) + " is not " + record;
    if (kindHolds && !framing.intact && framing.breakAt > 0)
        return name + ": " + atByte(framing.breakAt) + " runs past the end of the file";
    return "";
}

// What a file that holds NUL bytes looks like.
std::string describeBinary(const Framing& framing, size_t firstNul) {
    if (framing.intact && framing.records > 0) {
        if (framing.all36) return fileKindName(kKindBinVar);
        if (framing.allGlobal) return fileKindName(kKindGlobal);
    }
    if (framing.intact) return "a binary record file of another kind";
    return "binary data (byte " + std::to_string(firstNul) + " is a NUL byte)";
}

}  // namespace

const char* fileKindName(FileKind kind) {
    switch (kind) {
        case kKindText:
            return "a text file";
        case kKindBinVar:
            return "a binary variable/value file";
        default:
            return "a global registry file";
    }
}

namespace {

// What judging needs of a file, read once: a name that holds no regular
// file is not opened at all.
struct FileBytes {
    std::string nonRegular;
    bool readable = true;
    std::vector<unsigned char> bytes;
};

FileBytes readForJudging(const std::string& path) {
    FileBytes file;
    file.nonRegular = nonRegularKindOf(path);
    if (file.nonRegular.empty()) file.readable = readWhole(path, &file.bytes);
    return file;
}

KindVerdict judgeAgainst(const FileBytes& file, FileKind wanted) {
    KindVerdict verdict;
    verdict.nonRegular = file.nonRegular;
    if (!verdict.nonRegular.empty()) {
        verdict.matches = false;
        return verdict;
    }
    if (!file.readable) {
        verdict.readable = false;
        return verdict;
    }
    const std::vector<unsigned char>& bytes = file.bytes;
    if (bytes.empty()) return verdict;
    const void* nul = std::memchr(bytes.data(), '\0', bytes.size());
    if (!nul) {
        // Every stored binary record holds a NUL (a terminator, or the high
        // bytes of its length), so a file without one is text.
        verdict.matches = wanted == kKindText;
        if (!verdict.matches) verdict.looksLike = fileKindName(kKindText);
        return verdict;
    }
    size_t firstNul = static_cast<size_t>(static_cast<const unsigned char*>(nul) - bytes.data());
    Framing framing = walk(bytes);
    if (wanted == kKindBinVar) verdict.matches = framing.intact && framing.all36;
    if (wanted == kKindGlobal) verdict.matches = framing.intact && framing.allGlobal;
    if (wanted == kKindText) verdict.matches = false;
    if (verdict.matches) return verdict;
    verdict.damage = describeDamage(framing, wanted);
    if (verdict.damage.empty()) verdict.looksLike = describeBinary(framing, firstNul);
    return verdict;
}

}  // namespace

KindVerdict judgeFileKind(const std::string& path, FileKind wanted) {
    return judgeAgainst(readForJudging(path), wanted);
}

void judgeEveryKind(const std::string& path, KindVerdict verdicts[kKindCount]) {
    FileBytes file = readForJudging(path);
    for (int kind = 0; kind < kKindCount; ++kind)
        verdicts[kind] = judgeAgainst(file, static_cast<FileKind>(kind));
}

std::string kindProblem(const std::string& path, const KindVerdict& verdict, const char* noun) {
    if (!verdict.nonRegular.empty())
        return path + " is not " + noun + ": it is " + verdict.nonRegular + ", not a regular file";
    if (!verdict.damage.empty()) return path + " is a " + verdict.damage;
    return path + " is not " + noun + ": it looks like " + verdict.looksLike;
}

int refuseWrongKind(const std::string& path, FileKind wanted, const char* noun) {
    KindVerdict verdict = judgeFileKind(path, wanted);
    if (verdict.matches) return kExitOk;
    return reportFailure(kindProblem(path, verdict, noun), kExitFailed);
}
