// Updates of a binary record file: Add, Change and Delete rewrite the file
// record by record into the transaction's temporary copy (or, for an Add
// that appends in place, write straight to the end of the file) and let
// the transaction swap the copy in; with GENREG_FEATURE_VERIFY the swap
// waits for VerifyBinUpdate.
//
// Every update runs the same frame:
//   prologue  slots (Add), ValidateRecord, GetMaxRecordSize, record buffer,
//             update lock, the walk of the records before an Add in place,
//             BeginTransaction(type)
//   body      the operation's copy loop (addBody, changeBody, deleteBody)
//   epilogue  E1 EndTransaction(type, or READ after a failure)
//             E2 verification, or deletion of a refused copy (VERIFY only)
//             E3 ReleaseUpdateLock   E4 free buffers
//             E5 NotifyUpdate        E6 PostUpdate
// An update's own failure wins over a clean-up failure; clean-up always
// runs; no hook runs after any failure.
//
// Packed records. Every buffer handed to PackRecord is the store's own and
// holds at least GENREG_PACK_BUFFER_SIZE bytes, because a packed form may
// be larger than the schema's in-memory record: the record buffer and the
// stored image are allocated that large, and the caller's new record is
// never packed in the caller's buffer. It is copied (GetMaxRecordSize
// bytes) into the pack buffer, packed and written from there; afterwards
// the packed bytes are copied back into the caller's buffer when they fit
// in GetMaxRecordSize bytes, so that the caller sees its record packed
// after an unverified or failed update. After a successful body with
// GENREG_FEATURE_VERIFY the caller gets its record back as it gave it, and
// the verification checks the copy against that form, so a packing that
// altered the record is refused like any other wrong record.
// A schema with a PackStoredRecord slot packs through it instead: it is
// told the buffer's capacity and reports the packed size, which is what is
// written, so that its public PackRecord and GetPackedSize never need room
// beyond a record's size.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/block_tries.h"
#include "genreg/bin_store.h"
#include "genreg/binfile.h"
#include "genreg/transaction.h"
#include "platform/oss.h"

namespace {

// One update in progress: the caller's arguments and the buffers the
// store owns until E4.
struct BinUpdate {
    GenRegBin* handle;
    uint32_t functionId;
    unsigned type;  // GENREG_TXN_ADD, _CHANGE or _DELETE
    uint64_t selector;
    void* key;        // Change, Delete
    void* newRecord;  // Add, Change: the caller's record, memory form
    bool packed;      // GENREG_FEATURE_PACKED, fixed for the call
    uint64_t max;     // GetMaxRecordSize
    // Capacity of record, image and pack: max, or GENREG_PACK_BUFFER_SIZE
    // when packed so that PackRecord always has room for a packed form.
    uint64_t capacity;
    void* record;  // the stored record being copied; ReadRecordInto may grow it
    void* image;   // the stored bytes of that record (its stored image)
    uint64_t imageCapacity;
    void* pack;         // the caller's new record in packed form
    void* original;     // the caller's new record as given (max bytes)
    bool newPacked;     // pack holds a packed form of newRecord
    uint64_t packSize;  // its size, when the packing reported it (else 0)
    unsigned matches;   // Change, Delete: matching records counted
    unsigned readRc;    // result of the last read
    uint64_t length;    // length of the last record read
    // The schema's tests on stored bytes (packed stores), or null.
    const BinStoredShortcuts* shortcuts;
    // record still holds its stored bytes, which its repacking would give
    // back unchanged: it is copied as it is.
    bool verbatim;
    // When the copy in blocks is tried again.
    BlockTries copyTries;
};

// Bytes of the first read of a copy in blocks, and of every read once the
// reads have doubled: a try that stops at the first record (a match soon
// after another) reads little, a long stretch of kept records few times.
// Both fit the stored image, which the reads use (at least
// GENREG_PACK_BUFFER_SIZE bytes in a packed store).
const size_t kCopyFirstBlock = 4096;
const size_t kCopyBlock = 65536;

// Logs rc, caused by calledId (0: a schema callback or the platform)
// returning cause, and returns rc.
unsigned fail(BinUpdate* u, uint32_t probe, unsigned rc, uint32_t calledId, unsigned cause,
              const char* what) {
    ossLogRC(u->functionId, probe, calledId, cause, rc, OSS_SEVERITY_ERROR, "%s file=%s", what,
             u->handle->filePath);
    return rc;
}

unsigned readNext(BinUpdate* u) {
    u->readRc = ReadRecordInto(u->handle, u->handle->stream, &u->record, u->capacity, &u->length);
    return u->readRc;
}

// A record this handle's writer could not have written (shorter than the
// smallest record, longer than the store's records, or - unpacked - of a
// length other than the one its schema writes) would be rewritten into
// something else. The update refuses the damaged file instead.
unsigned checkStoredLength(BinUpdate* u) {
    GenRegBin* h = u->handle;
    unsigned cause = 0;
    if (u->length < GENREG_RECORD_MIN)
        cause = GENREG_RC_RECORD_TOO_SMALL;
    else if (u->length > (u->packed ? (uint64_t)GENREG_RECORD_MAX : u->max))
        cause = GENREG_RC_RECORD_TOO_LARGE;
    else if (!u->packed && h->GetRecordSize != nullptr) {
        uint64_t size = 0;
        h->GetRecordSize(u->record, &size);
        if (size != u->length)
            cause = u->length < size ? GENREG_RC_RECORD_TOO_SMALL : GENREG_RC_RECORD_TOO_LARGE;
    }
    if (cause == 0) return 0;
    ossLogRC(u->functionId, 20, FID_READ_RECORD, cause, GENREG_RC_READ_FAILED, OSS_SEVERITY_ERROR,
             "damaged record length=%llu max=%llu file=%s", (unsigned long long)u->length,
             (unsigned long long)u->max, h->filePath);
    return GENREG_RC_READ_FAILED;
}

// Makes the stored image hold at least length bytes, and never fewer than
// capacity.
unsigned ensureImage(BinUpdate* u, uint64_t length) {
    unsigned rc = 0;
    if (u->image == nullptr || length > u->imageCapacity) {
        uint64_t size = length > u->capacity ? length : u->capacity;
        void* grown = nullptr;
        if ((rc = BinAllocRecordBuffer(&grown, size, u->max, u->functionId)) != 0) return rc;
        if (u->image != nullptr) {
            unsigned memRc = ossMemFree(&u->image, GENREG_BIN_UNIT);
            if (memRc != 0) {
                ossMemFree(&grown, GENREG_BIN_UNIT);
                return fail(u, 22, GENREG_RC_FREE_FAILED, 0, memRc, "stored image");
            }
        }
        u->image = grown;
        u->imageCapacity = size;
    }
    return rc;
}

// Checks the record just read and makes room for a copy of its stored
// bytes (keepStoredImage takes it, for a record that is not copied as it is).
unsigned acceptStoredRecord(BinUpdate* u) {
    if (u->readRc != 0)
        return fail(u, 21, GENREG_RC_READ_FAILED, FID_READ_RECORD, u->readRc, "read");
    unsigned rc = checkStoredLength(u);
    if (rc != 0) return rc;
    return ensureImage(u, u->length);
}

// An exact copy of the stored bytes of the record just read, which its
// unpacking overwrites: the previous form it is packed against.
void keepStoredImage(BinUpdate* u) {
    if (u->length != 0) std::memcpy(u->image, u->record, u->length);
}

// A kept record whose unpacking and repacking would give back its stored
// bytes is not unpacked: the copy gets those bytes. key: the record it must
// not match (Change and Delete: the caller's key; Add without duplicates:
// the new record), or null when every record is kept.
bool keptVerbatim(BinUpdate* u, const void* key) {
    u->verbatim = u->shortcuts != nullptr &&
                  u->shortcuts->keptAsStored(u->selector, u->record, u->length, key);
    return u->verbatim;
}

unsigned unpackStoredRecord(BinUpdate* u) {
    if (!u->packed) return 0;
    if (u->handle->UnpackRecord == nullptr) {
        ossLog(u->functionId, 23, GENREG_RC_NO_UNPACK_SLOT, OSS_SEVERITY_ERROR,
               "slot=UnpackRecord");
        return GENREG_RC_NO_UNPACK_SLOT;
    }
    unsigned callbackRc = BinUnpackStored(u->handle, &u->record, u->length);
    if (callbackRc != 0) return fail(u, 24, GENREG_RC_UNPACK_FAILED, 0, callbackRc, "unpack");
    return 0;
}

unsigned checkPackSlot(BinUpdate* u) {
    if (!u->packed || u->handle->PackRecord != nullptr) return 0;
    ossLog(u->functionId, 25, GENREG_RC_NO_PACK_SLOT, OSS_SEVERITY_ERROR, "slot=PackRecord");
    return GENREG_RC_NO_PACK_SLOT;
}

unsigned packFailed(BinUpdate* u, uint32_t probe, unsigned callbackRc) {
    return fail(u, probe, GENREG_RC_PACK_FAILED, 0, callbackRc, "pack");
}

// Packs *buffer, of capacity bytes, against the stored image (null, 0 for
// a record with no stored form). *size receives the packed size when the
// schema's packing reports it (PackStoredRecord), else 0.
unsigned packRecord(BinUpdate* u, void** buffer, uint64_t capacity, const void* image,
                    uint64_t imageLength, uint64_t* size) {
    GenRegBin* h = u->handle;
    *size = 0;
    if (h->PackStoredRecord != nullptr)
        return h->PackStoredRecord(buffer, capacity, image, imageLength, size);
    return h->PackRecord(buffer, image);
}

// Writes a record of the size its packing reported, or of the size the
// schema's size slot gives when none was reported.
unsigned writePacked(BinUpdate* u, FILE* target, const void* bytes, uint64_t size) {
    return size != 0 ? WriteRecordOfSize(u->handle, target, bytes, size)
                     : WriteRecord(u->handle, target, bytes);
}

// Writes the stored record back, repacked against its stored image.
unsigned copyStoredRecord(BinUpdate* u) {
    unsigned rc = checkPackSlot(u);
    if (rc != 0) return rc;
    // A record copied as it is has the size it was stored with.
    uint64_t size = u->packed && u->verbatim ? u->length : 0;
    if (u->packed && !u->verbatim) {
        unsigned callbackRc = packRecord(u, &u->record, u->capacity, u->image, u->length, &size);
        if (callbackRc != 0) return packFailed(u, 26, callbackRc);
    }
    unsigned writeRc = writePacked(u, u->handle->tempStream, u->record, size);
    if (writeRc != 0) return fail(u, 27, GENREG_RC_COPY_FAILED, FID_WRITE_RECORD, writeRc, "copy");
    return 0;
}

// Writes size bytes of whole records at bytes, as they were read, to the
// copy: what copyStoredRecord of each would write, and failing as it fails.
unsigned writeRun(BinUpdate* u, const unsigned char* bytes, size_t size) {
    unsigned writeRc = WriteRecordRun(u->handle->tempStream, bytes, size);
    if (writeRc != 0) return fail(u, 27, GENREG_RC_COPY_FAILED, FID_WRITE_RECORD, writeRc, "copy");
    return 0;
}

// The size of the record at the start of the size bytes at bytes when it is
// whole there and the record-by-record copy would write it as it is
// (acceptStoredRecord passes it, keptVerbatim holds): 0 otherwise.
size_t verbatimRecordAt(const BinUpdate* u, const unsigned char* bytes, size_t size,
                        const void* key) {
    uint64_t length = 0;
    const size_t whole = WholeRecordAt(u->handle, bytes, size, u->capacity, &length);
    if (whole == 0 || length < GENREG_RECORD_MIN || length > GENREG_RECORD_MAX) return 0;
    return u->shortcuts->keptAsStored(u->selector, bytes + kRecordPrefixSize, length, key) ? whole
                                                                                           : 0;
}

// Copies the records from the registry stream's position that would be
// copied as they are (key as for keptVerbatim), reading them in blocks into
// the stored image and writing each stretch of them with one write. The
// first record that is not - the file's end, a match, a damaged record, one
// not whole in a block - is left to the record-by-record copy: the stream
// is put back at its start, so that its codes, logs and fault points are
// those it always had. A block read that fails copies nothing more; the
// record read finds the failure, or reads the bytes again. A position that
// cannot be asked or set refuses the update as a failed read.
unsigned copyVerbatimInBlocks(BinUpdate* u, const void* key) {
    GenRegBin* h = u->handle;
    if (u->shortcuts == nullptr || h->PackRecord == nullptr) return 0;
    if (!BlockTryDue(&u->copyTries)) return 0;
    unsigned rc = ensureImage(u, 0);
    if (rc != 0) return rc;
    FILE* stream = h->stream;
    unsigned char* block = (unsigned char*)u->image;
    const size_t largest = u->imageCapacity < kCopyBlock ? (size_t)u->imageCapacity : kCopyBlock;
    size_t room = kCopyFirstBlock < largest ? kCopyFirstBlock : largest;
    size_t kept = 0;  // bytes of the next record carried to the front of the block
    bool copiedAny = false;
    for (;;) {
        const size_t asked = room - kept;
        const size_t got = ossStreamRead(block + kept, 1, asked, stream);
        const size_t held = kept + got;
        size_t offset = 0;
        while (offset < held) {
            const size_t size = verbatimRecordAt(u, block + offset, held - offset, key);
            if (size == 0) break;
            offset += size;
        }
        // Stopped at a whole record that is not copied as it is: more bytes
        // would not change that.
        uint64_t length = 0;
        const bool stopped = offset < held && WholeRecordAt(h, block + offset, held - offset,
                                                            u->capacity, &length) != 0;
        if (offset > 0) {
            if ((rc = writeRun(u, block, offset)) != 0) return rc;
            copiedAny = true;
        }
        kept = held - offset;
        if (stopped || got != asked || (offset == 0 && room == largest)) break;
        std::memmove(block, block + offset, kept);
        room = 2 * room < largest ? 2 * room : largest;
    }
    if (kept > 0) {
        const int64_t end = ossStreamTell(stream);
        if (end < 0 || ossStreamSeek(stream, end - (int64_t)kept, SEEK_SET) != 0) {
            ossLog(u->functionId, 30, GENREG_RC_READ_FAILED, OSS_SEVERITY_ERROR,
                   "position=%lld errno=%d file=%s", (long long)end, ossLastErrno(), h->filePath);
            return GENREG_RC_READ_FAILED;
        }
    }
    BlockTryEnded(&u->copyTries, copiedAny);
    return 0;
}

// The next record the record-by-record copy deals with (u->readRc tells how
// its read ended), after the records before it that go as they are were
// copied in blocks; or the failure of that copy.
unsigned nextRecord(BinUpdate* u, const void* key) {
    unsigned rc = copyVerbatimInBlocks(u, key);
    if (rc != 0) return rc;
    readNext(u);
    return 0;
}

// Writes the caller's new record to target; packed through the pack
// buffer, against storedImage (null for a record with no stored form).
unsigned writeNewRecord(BinUpdate* u, FILE* target, const void* storedImage, unsigned writeFailRc) {
    const void* bytes = u->newRecord;
    uint64_t size = 0;
    if (u->packed) {
        unsigned rc = checkPackSlot(u);
        if (rc != 0) return rc;
        if (u->pack == nullptr) {
            if ((rc = BinAllocRecordBuffer(&u->pack, GENREG_PACK_BUFFER_SIZE, u->max,
                                           u->functionId)) != 0 ||
                (rc = BinAllocZeroed(&u->original, u->max, u->functionId, 0)) != 0)
                return rc;
            std::memcpy(u->original, u->newRecord, u->max);
        }
        u->newPacked = false;
        std::memcpy(u->pack, u->newRecord, u->max);
        unsigned callbackRc = packRecord(u, &u->pack, GENREG_PACK_BUFFER_SIZE, storedImage,
                                         storedImage ? u->length : 0, &size);
        if (callbackRc != 0) return packFailed(u, 28, callbackRc);
        u->newPacked = true;
        u->packSize = size;
        bytes = u->pack;
    }
    unsigned writeRc = writePacked(u, target, bytes, size);
    if (writeRc != 0)
        return fail(u, 29, writeFailRc, FID_WRITE_RECORD, writeRc, "write new record");
    return 0;
}

// The caller sees its record packed after the body, as if packed in place,
// when the packed form fits the caller's buffer.
void handPackedFormToCaller(BinUpdate* u) {
    if (!u->newPacked) return;
    uint64_t size = u->packSize;
    if (size == 0) {
        if (u->handle->GetPackedSize == nullptr) return;
        u->handle->GetPackedSize(u->pack, &size);
    }
    if (size <= u->max) std::memcpy(u->newRecord, u->pack, size);
}

// Gives the caller its record back as it was given, which is also what
// the verification checks the copy against: a packing that changed the
// record is then caught like any other wrong record in the copy.
void restoreMemoryForm(BinUpdate* u) {
    if (u->original != nullptr) std::memcpy(u->newRecord, u->original, u->max);
}

// An Add that appends in place writes past the file's end without reading
// the file, while a lookup reads from the first record on and stops at a
// damaged one (a record that runs past the end, stray bytes, a packed
// record that does not unpack): a record appended behind it would be out
// of reach although the Add reported it done. So the records are walked
// first, under the update lock and before the file is opened for
// appending, and a damaged file is refused, as an Add through a copy
// refuses it; the file stays as it was.
unsigned checkRecordsReachTheEnd(BinUpdate* u) {
    GenRegBin* h = u->handle;
    FILE* stream = nullptr;
    unsigned rc = GenRegOpenForInspection(h, &stream, u->functionId);
    if (rc != 0 || stream == nullptr) return rc;
    uint64_t records = 0;
    // Where the records read end: 1 to 3 stray bytes at the file's end read
    // as a record of length 0, yet an appended record would not start
    // behind them, so the records must end exactly at the file's end.
    int64_t end = 0;
    for (;;) {
        unsigned readRc = ReadRecordInto(h, stream, &u->record, u->capacity, &u->length);
        if (readRc == GENREG_RC_NOT_FOUND) {
            int64_t size = 0;
            if (ossStreamFileSize(stream, &size) != 0)
                readRc = GENREG_RC_READ_LENGTH_FAILED;
            else if (size != end)
                readRc = GENREG_RC_RECORD_PAST_EOF;
            else
                break;
        }
        end += GENREG_RECORD_PREFIX_SIZE + (int64_t)u->length;
        if (readRc == 0 && u->packed && BinUnpackStored(h, &u->record, u->length) != 0)
            readRc = GENREG_RC_UNPACK_FAILED;
        if (readRc != 0) {
            ossLogRC(u->functionId, 45, FID_READ_RECORD, readRc, GENREG_RC_READ_FAILED,
                     OSS_SEVERITY_ERROR,
                     "damaged record after %llu records: a record appended behind it would be "
                     "out of reach file=%s",
                     (unsigned long long)records, h->filePath);
            rc = GENREG_RC_READ_FAILED;
            break;
        }
        ++records;
    }
    // Nothing was written through it: a failed close changes nothing.
    ossStreamClose(stream);
    return rc;
}

unsigned addBody(BinUpdate* u) {
    GenRegBin* h = u->handle;
    OSSFileInfoRequest request = {OSS_INTERFACE_VERSION, h->filePath};
    OSSFileInfo info = {0, 0};
    unsigned infoRc = ossFileGetInfoV9(&request, &info);
    if (infoRc != 0) return fail(u, 40, GENREG_RC_FILE_INFO_FAILED, 0, infoRc, "file info");

    const bool inPlace = GenRegAppendsInPlace(h);
    if (!inPlace && info.size > 0) {
        const bool duplicatesAllowed = (h->features & GENREG_FEATURE_DUPLICATES) != 0;
        const void* key = duplicatesAllowed ? nullptr : u->newRecord;
        for (;;) {
            unsigned rc = nextRecord(u, key);
            if (rc != 0) return rc;
            if (u->readRc == GENREG_RC_NOT_FOUND) break;
            if ((rc = acceptStoredRecord(u)) != 0) return rc;
            if (keptVerbatim(u, key)) {
                if ((rc = copyStoredRecord(u)) != 0) return rc;
                continue;
            }
            keepStoredImage(u);
            if ((rc = unpackStoredRecord(u)) != 0) return rc;
            if (!duplicatesAllowed) {
                if (h->CompareRecord == nullptr) {
                    ossLog(u->functionId, 41, GENREG_RC_NO_COMPARE_SLOT, OSS_SEVERITY_ERROR,
                           "slot=CompareRecord");
                    return GENREG_RC_NO_COMPARE_SLOT;
                }
                if (h->CompareRecord(u->selector, u->record, u->newRecord) == 1) {
                    if (genregTracing())
                        _gtraceVar(ossThreadID(), u->functionId, 42, 1, OSS_TRACE_TEXT,
                                   (uint64_t)sizeof "Match found; duplicate record",
                                   "Match found; duplicate record");
                    ossLog(u->functionId, 42, GENREG_RC_DUPLICATE, OSS_SEVERITY_ERROR,
                           "selector=0x%llx file=%s", (unsigned long long)u->selector, h->filePath);
                    return GENREG_RC_DUPLICATE;
                }
            }
            if ((rc = copyStoredRecord(u)) != 0) return rc;
        }
    }

    FILE* target = inPlace ? h->stream : h->tempStream;
    int64_t oldEnd = -1;
    if (ossStreamSeek(target, 0, SEEK_END) != 0 || (oldEnd = ossStreamTell(target)) < 0) {
        ossLog(u->functionId, 43, GENREG_RC_SEEK_FAILED, OSS_SEVERITY_ERROR,
               "ferror=%d errno=%d file=%s", std::ferror(target), ossLastErrno(), h->filePath);
        return GENREG_RC_SEEK_FAILED;
    }
    unsigned rc = writeNewRecord(u, target, nullptr, GENREG_RC_APPEND_FAILED);
    // Appending in place writes the file itself: a record that failed
    // half-way is cut off again, so the file keeps its old content (I7).
    if (rc != 0 && inPlace && ossStreamTruncate(target, oldEnd) != 0)
        ossLog(u->functionId, 44, GENREG_RC_APPEND_FAILED, OSS_SEVERITY_ERROR,
               "errno=%d size=%lld file=%s: torn record left", ossLastErrno(), (long long)oldEnd,
               h->filePath);
    return rc;
}

// Counts one more matching record; a second one is refused unless the
// handle allows duplicates.
unsigned countMatch(BinUpdate* u) {
    if (u->matches > 0 && !(u->handle->features & GENREG_FEATURE_DUPLICATES)) {
        ossLog(u->functionId, 50, GENREG_RC_MULTIPLE_MATCHES, OSS_SEVERITY_ERROR,
               "selector=0x%llx file=%s", (unsigned long long)u->selector, u->handle->filePath);
        return GENREG_RC_MULTIPLE_MATCHES;
    }
    ++u->matches;
    return 0;
}

// The steps Change and Delete take on every stored record before they
// decide: check, stored image, unpack, compare slot. *matchesKey reports
// whether the record matches the caller's key.
unsigned examineStoredRecord(BinUpdate* u, bool* matchesKey) {
    unsigned rc = acceptStoredRecord(u);
    if (rc != 0) return rc;
    if (keptVerbatim(u, u->key)) {
        *matchesKey = false;
        return 0;
    }
    keepStoredImage(u);
    if ((rc = unpackStoredRecord(u)) != 0) return rc;
    if (u->handle->CompareRecord == nullptr) {
        ossLog(u->functionId, 51, GENREG_RC_NO_COMPARE_SLOT, OSS_SEVERITY_ERROR,
               "slot=CompareRecord");
        return GENREG_RC_NO_COMPARE_SLOT;
    }
    *matchesKey = u->handle->CompareRecord(u->selector, u->record, u->key) == 1;
    return 0;
}

unsigned changeBody(BinUpdate* u) {
    GenRegBin* h = u->handle;
    unsigned rc = BinAllocRecordBuffer(&u->image, u->capacity, u->max, u->functionId);
    if (rc != 0) return rc;
    u->imageCapacity = u->capacity;
    if ((rc = nextRecord(u, u->key)) != 0) return rc;
    if (u->readRc == GENREG_RC_NOT_FOUND) return GENREG_RC_NO_MATCH;

    unsigned result = 0;
    do {
        bool matchesKey = false;
        if ((rc = examineStoredRecord(u, &matchesKey)) != 0) return rc;
        if (matchesKey) {
            if (h->CompareRecord(GENREG_SELECT_ALL, u->record, u->newRecord) != 0)
                result = GENREG_RC_UNCHANGED;  // sticky for the rest of the call
            else if ((rc = countMatch(u)) != 0)
                return rc;
            rc = writeNewRecord(u, h->tempStream, u->image, GENREG_RC_COPY_FAILED);
        } else {
            rc = copyStoredRecord(u);
        }
        if (rc != 0 || (rc = nextRecord(u, u->key)) != 0) return rc;
    } while (u->readRc != GENREG_RC_NOT_FOUND);

    // No match is an answer, not a fault: not logged, as for Get.
    return u->matches == 0 && result == 0 ? GENREG_RC_NO_MATCH : result;
}

unsigned deleteBody(BinUpdate* u) {
    unsigned rc = nextRecord(u, u->key);
    if (rc != 0) return rc;
    if (u->readRc == GENREG_RC_NOT_FOUND) return GENREG_RC_NO_MATCH;
    do {
        bool matchesKey = false;
        rc = examineStoredRecord(u, &matchesKey);
        if (rc == 0) rc = matchesKey ? countMatch(u) : copyStoredRecord(u);
        if (rc == 0) rc = nextRecord(u, u->key);
        if (rc != 0) return rc;
    } while (u->readRc != GENREG_RC_NOT_FOUND);

    return u->matches == 0 ? (unsigned)GENREG_RC_NO_MATCH : 0U;
}

unsigned prologue(BinUpdate* u) {
    GenRegBin* h = u->handle;
    void* checked = u->type == GENREG_TXN_DELETE ? u->key : u->newRecord;
    if (checked == nullptr || (u->type == GENREG_TXN_CHANGE && u->key == nullptr)) {
        ossLog(u->functionId, 1, GENREG_RC_NULL_ARGUMENT, OSS_SEVERITY_ERROR, "key=%p record=%p",
               u->key, u->newRecord);
        return GENREG_RC_NULL_ARGUMENT;
    }
    unsigned rc = 0;
    if (u->type == GENREG_TXN_ADD && (rc = CheckBinSlots(h)) != 0)
        return fail(u, 2, GENREG_RC_SLOTS_INCOMPLETE, FID_CHECK_BIN_SLOTS, rc, "slots");
    if ((rc = BinValidate(h, u->functionId, u->selector, checked)) != 0) return rc;
    if ((rc = BinMaxRecordSize(h, u->functionId, &u->max)) != 0) return rc;
    u->capacity = u->packed ? GENREG_PACK_BUFFER_SIZE : u->max;
    return BinAllocRecordBuffer(&u->record, u->capacity, u->max, u->functionId);
}

// A clean-up failure: logged, and the last one is kept.
void keepSecondary(unsigned* secondary, BinUpdate* u, uint32_t probe, unsigned rc,
                   uint32_t calledId, unsigned cause, const char* what) {
    *secondary = fail(u, probe, rc, calledId, cause, what);
}

unsigned releaseLockAndBuffers(BinUpdate* u, unsigned secondary) {
    unsigned releaseRc = ReleaseStoreUpdateLock(u->handle);
    if (releaseRc != 0)
        keepSecondary(&secondary, u, 60, GENREG_RC_UNLOCK_FAILED, FID_TXN_RELEASE_LOCK, releaseRc,
                      "unlock");
    void** buffers[] = {&u->record, &u->image, &u->pack, &u->original};
    for (void** buffer : buffers) {
        if (*buffer == nullptr) continue;
        unsigned memRc = ossMemFree(buffer, GENREG_BIN_UNIT);
        if (memRc != 0) keepSecondary(&secondary, u, 61, GENREG_RC_FREE_FAILED, 0, memRc, "free");
    }
    return secondary;
}

// The hooks of a fully successful update (E5, E6).
unsigned runHooks(BinUpdate* u) {
    GenRegBin* h = u->handle;
    unsigned notifyRc = 0;
    if ((h->features & GENREG_FEATURE_NOTIFY) && h->NotifyUpdate != nullptr) {
        const void* first = u->type == GENREG_TXN_ADD ? u->newRecord : u->key;
        const void* second = u->type == GENREG_TXN_CHANGE ? u->newRecord : nullptr;
        notifyRc = h->NotifyUpdate(h, u->type, first, second);
    }
    if (!(h->features & GENREG_FEATURE_POST_UPDATE)) return 0;
    // A refusing NotifyUpdate vetoes PostUpdate for Change and Delete.
    if (notifyRc != 0 && u->type != GENREG_TXN_ADD) return 0;
    if (h->PostUpdate == nullptr) {
        ossLog(u->functionId, 62, GENREG_RC_NO_POST_UPDATE_SLOT, OSS_SEVERITY_ERROR,
               "slot=PostUpdate");
        return GENREG_RC_NO_POST_UPDATE_SLOT;
    }
    unsigned postRc = h->PostUpdate();
    if (postRc != 0)
        ossLog(u->functionId, 63, postRc, OSS_SEVERITY_ERROR, "PostUpdate file=%s", h->filePath);
    return 0;
}

// E2 for a refused or failed body: the copy goes, like that of every
// update that does not commit (I6); only an interrupted update leaves one.
unsigned discardCopy(BinUpdate* u, unsigned rc) {
    const bool discard = u->type != GENREG_TXN_ADD || rc == GENREG_RC_DUPLICATE;
    if (!discard) return rc;
    unsigned deleteRc = ossFileDelete(u->handle->tempPath);
    if (deleteRc != 0 && deleteRc != OSS_RC_FILE_NOT_FOUND)
        return fail(u, 64, GENREG_RC_TEMP_DELETE_FAILED, 0, deleteRc, u->handle->tempPath);
    return rc;
}

// E2 for a successful body. A failure of the pass's clean-up after its
// commit is no failed verification: the new content is in place, and the
// pass's own code (logged there) says what went wrong.
unsigned verify(BinUpdate* u) {
    restoreMemoryForm(u);
    const void* newRecord = u->type == GENREG_TXN_DELETE ? nullptr : u->newRecord;
    const void* key = u->type == GENREG_TXN_ADD ? nullptr : u->key;
    bool committed = false;
    unsigned verifyRc =
        VerifyBinUpdate(u->handle, u->type, u->selector, newRecord, key, &committed);
    if (verifyRc != 0 && !committed)
        return fail(u, 65, GENREG_RC_VERIFY_FAILED, FID_BIN_VERIFY, verifyRc, "verify");
    return verifyRc;
}

unsigned runUpdate(BinUpdate* u) {
    unsigned rc = prologue(u);
    if (rc != 0) {
        if (u->record != nullptr) ossMemFree(&u->record, GENREG_BIN_UNIT);
        return rc;
    }
    GenRegBin* h = u->handle;
    const unsigned lockOptions =
        GENREG_LOCK_EXCLUSIVE | GENREG_LOCK_WAIT |
        (u->type == GENREG_TXN_ADD ? (unsigned)GENREG_LOCK_CREATE_DIR : 0U);
    unsigned lockRc = AcquireStoreUpdateLock(h, lockOptions);
    if (lockRc != 0) {
        rc = fail(u, 3, GenRegIsTellingFailure(lockRc) ? lockRc : (unsigned)GENREG_RC_LOCK_FAILED,
                  FID_TXN_ACQUIRE_LOCK, lockRc, "lock");
        ossMemFree(&u->record, GENREG_BIN_UNIT);
        return rc;
    }
    if (u->type == GENREG_TXN_ADD && GenRegAppendsInPlace(h) &&
        (rc = checkRecordsReachTheEnd(u)) != 0) {
        releaseLockAndBuffers(u, 0);
        return rc;
    }
    unsigned openRc = BeginTransaction(h, u->type);
    if (openRc != 0) {
        rc = fail(u, 4, GenRegIsTellingFailure(openRc) ? openRc : (unsigned)GENREG_RC_OPEN_FAILED,
                  FID_TXN_BEGIN, openRc, "open");
        BinCloseLeftovers(h);
        releaseLockAndBuffers(u, 0);
        return rc;
    }

    rc = u->type == GENREG_TXN_ADD      ? addBody(u)
         : u->type == GENREG_TXN_CHANGE ? changeBody(u)
                                        : deleteBody(u);
    handPackedFormToCaller(u);

    // E1: commit (or hand over to the verification) only a finished body.
    const bool finished = rc == 0 || (u->type == GENREG_TXN_CHANGE && rc == GENREG_RC_UNCHANGED);
    unsigned secondary = 0;
    unsigned endRc = EndTransaction(h, finished ? u->type : GENREG_TXN_READ);
    if (finished) endRc = GenRegCommitOutcome(h, endRc, u->functionId, 6);
    if (endRc != 0) {
        keepSecondary(&secondary, u, 5, GENREG_RC_CLOSE_FAILED, FID_TXN_END, endRc, "end");
        BinCloseLeftovers(h);
    }

    // E2. A copy whose transaction did not end cleanly is never verified,
    // so never committed; a refused Change or Delete still drops it.
    if (h->features & GENREG_FEATURE_VERIFY) {
        if (rc != 0 && (u->type != GENREG_TXN_ADD || endRc == 0))
            rc = discardCopy(u, rc);
        else if (rc == 0 && endRc == 0)
            rc = verify(u);
    }

    secondary = releaseLockAndBuffers(u, secondary);  // E3, E4
    if (rc != 0) return rc;
    if (secondary != 0) return secondary;
    return runHooks(u);  // E5, E6
}

unsigned update(GenRegBin* handle, uint32_t functionId, unsigned type, uint64_t selector, void* key,
                void* newRecord) {
    BinUpdate u;
    std::memset(&u, 0, sizeof u);
    u.handle = handle;
    u.functionId = functionId;
    u.type = type;
    u.selector = selector;
    u.key = key;
    u.newRecord = newRecord;
    u.packed = (handle->features & GENREG_FEATURE_PACKED) != 0;
    u.shortcuts = u.packed ? BinStoredShortcutsOf(handle) : nullptr;
    return runUpdate(&u);
}

}  // namespace

unsigned GenRegBin::Add(uint64_t selector, void* newRecord) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_ADD, &rc);
    return rc = update(this, FID_BIN_ADD, GENREG_TXN_ADD, selector, nullptr, newRecord);
}

unsigned GenRegBin::Change(uint64_t selector, void* key, void* newRecord) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_CHANGE, &rc);
    return rc = update(this, FID_BIN_CHANGE, GENREG_TXN_CHANGE, selector, key, newRecord);
}

unsigned GenRegBin::Delete(uint64_t selector, void* key) {
    unsigned rc = 0;
    GENREG_TRACE(FID_BIN_DELETE, &rc);
    return rc = update(this, FID_BIN_DELETE, GENREG_TXN_DELETE, selector, key, nullptr);
}
