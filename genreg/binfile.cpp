// The binary record file format: a plain sequence of records, each a 4-byte
// length L followed by L bytes; no file header of its own, no count, no
// padding. The length is little-endian unless the handle has
// GENREG_FEATURE_BIG_ENDIAN_LENGTH.
//
// A handle with GENREG_FEATURE_CHECKSUM keeps a 32-byte checksum header in
// front of the records. The transaction owns that header entirely: the copy
// an update writes holds records only, ending the update rewrites it as
// header + records, and every reader of a non-empty checksummed file finds
// its stream already positioned at offset 32. So these routines read and
// write at whatever position the stream stands and never see the header.
#include <genreg/rc.h>

#include <cstring>

#include "genreg/bin_store.h"
#include "genreg/binfile.h"
#include "genreg/trace.h"
#include "platform/oss.h"

namespace {

const char kUnit[] = GENREG_BIN_UNIT;
const size_t kPrefixSize = GENREG_RECORD_PREFIX_SIZE;

bool bigEndianLength(const GenRegBin* handle) {
    return (handle->features & GENREG_FEATURE_BIG_ENDIAN_LENGTH) != 0;
}

uint32_t decodeLength(const GenRegBin* handle, const unsigned char* prefix) {
    if (bigEndianLength(handle)) {
        int32_t value = 0;
        GetBigEndian32(prefix, &value);
        return (uint32_t)value;
    }
    return (uint32_t)prefix[0] | (uint32_t)prefix[1] << 8 | (uint32_t)prefix[2] << 16 |
           (uint32_t)prefix[3] << 24;
}

void encodeLength(const GenRegBin* handle, uint32_t length, unsigned char* prefix) {
    if (bigEndianLength(handle)) {
        PutBigEndian32(prefix, length);
        return;
    }
    for (size_t i = 0; i < kPrefixSize; ++i)
        prefix[i] = (unsigned char)(length >> (8 * i));
}

// Judges whether the record of recordLength bytes whose body began
// `consumed` bytes before the stream's position lies inside the file.
// 64-bit position and size: a file past 2 GiB must not be misjudged.
unsigned judgeRecordEnd(FILE* stream, uint32_t recordLength, size_t consumed) {
    unsigned rc = 0;
    const int64_t tell = ossStreamTell(stream);
    const int64_t position = tell < 0 ? tell : tell - (int64_t)consumed;
    int64_t size = 0;
    if (position < 0 || ossStreamFileSize(stream, &size) != 0) {
        rc = GENREG_RC_READ_LENGTH_FAILED;
        ossLog(FID_READ_RECORD, 2, rc, OSS_SEVERITY_ERROR, "position=%lld errno=%d",
               (long long)position, ossLastErrno());
        return rc;
    }
    if (position + (int64_t)recordLength > size) {
        rc = GENREG_RC_RECORD_PAST_EOF;
        ossLog(FID_READ_RECORD, 3, rc, OSS_SEVERITY_ERROR, "position=%lld length=%lu size=%lld",
               (long long)position, (unsigned long)recordLength, (long long)size);
    }
    return rc;
}

// A body read short although the file holds it: the file changed under the
// lock or the device failed.
unsigned bodyReadFailed(FILE* stream, uint32_t recordLength, size_t got) {
    ossLog(FID_READ_RECORD, 7, GENREG_RC_READ_BODY_FAILED, OSS_SEVERITY_ERROR,
           "read=%llu length=%lu ferror=%d", (unsigned long long)got, (unsigned long)recordLength,
           std::ferror(stream));
    return GENREG_RC_READ_BODY_FAILED;
}

}  // namespace

unsigned GetBigEndian32(const unsigned char* bytes, int32_t* value) {
    unsigned rc = 0;
    GENREG_TRACE(FID_GET_BIG_ENDIAN32, &rc);
    if (bytes == nullptr || value == nullptr) return rc = GENREG_RC_NULL_POINTER;
    uint32_t v = (uint32_t)bytes[0] << 24 | (uint32_t)bytes[1] << 16 | (uint32_t)bytes[2] << 8 |
                 (uint32_t)bytes[3];
    *value = (int32_t)v;
    return rc;
}

unsigned PutBigEndian32(unsigned char* bytes, uint32_t value) {
    unsigned rc = 0;
    GENREG_TRACE(FID_PUT_BIG_ENDIAN32, &rc);
    if (bytes == nullptr) return rc = GENREG_RC_NULL_POINTER;
    bytes[0] = (unsigned char)(value >> 24);
    bytes[1] = (unsigned char)(value >> 16);
    bytes[2] = (unsigned char)(value >> 8);
    bytes[3] = (unsigned char)value;
    return rc;
}

unsigned ReadRecordInto(GenRegBin* handle, FILE* stream, void** buffer, uint64_t capacity,
                        uint64_t* length) {
    unsigned rc = 0;
    GENREG_TRACE(FID_READ_RECORD, &rc);
    unsigned char prefix[kPrefixSize] = {0, 0, 0, 0};
    size_t got = ossStreamRead(prefix, 1, kPrefixSize, stream);
    // 1 to 3 stray bytes at the end of a file decode as a partial length
    // with the missing bytes zero; the end-of-file test below judges it.
    const uint32_t recordLength = decodeLength(handle, prefix);
    *length = recordLength;
    if (got == 0) {
        if (!std::ferror(stream) && std::feof(stream)) return rc = GENREG_RC_NOT_FOUND;
        // Nothing read and not at the end: a failed read, even when the
        // stream did not flag it.
        rc = GENREG_RC_READ_LENGTH_FAILED;
        ossLog(FID_READ_RECORD, 1, rc, OSS_SEVERITY_ERROR, "ferror=%d errno=%d",
               std::ferror(stream), ossLastErrno());
        return rc;
    }

    uint64_t fits = capacity;
    if (fits == 0 && handle->GetMaxRecordSize != nullptr) handle->GetMaxRecordSize(&fits);
    if (recordLength > 0 && recordLength <= fits) {
        // A record that fits the buffer is read at once, and the file is
        // asked for its position and size only when the body comes up
        // short: two system calls per record saved, the same verdicts.
        got = ossStreamRead(*buffer, 1, recordLength, stream);
        if (got == recordLength) return rc;
        if ((rc = judgeRecordEnd(stream, recordLength, got)) != 0) return rc;
        return rc = bodyReadFailed(stream, recordLength, got);
    }

    if ((rc = judgeRecordEnd(stream, recordLength, 0)) != 0) return rc;
    if (capacity == 0) {
        if (handle->GetMaxRecordSize == nullptr) {
            rc = GENREG_RC_NO_MAX_SIZE_SLOT;
            ossLog(FID_READ_RECORD, 4, rc, OSS_SEVERITY_ERROR, "slot=GetMaxRecordSize");
            return rc;
        }
        capacity = fits;
    }
    if (recordLength > capacity) {
        // Grow to exactly the record; the caller's buffer is untouched
        // unless the whole exchange succeeds.
        void* grown = nullptr;
        unsigned memRc = ossMemAlloc(&grown, recordLength, kUnit);
        if (memRc != 0) {
            rc = GENREG_RC_GROW_ALLOC_FAILED;
            ossLogRC(FID_READ_RECORD, 5, 0, memRc, rc, OSS_SEVERITY_ERROR, "length=%lu",
                     (unsigned long)recordLength);
            return rc;
        }
        memRc = ossMemFree(buffer, kUnit);
        if (memRc != 0) {
            rc = GENREG_RC_GROW_FREE_FAILED;
            ossLogRC(FID_READ_RECORD, 6, 0, memRc, rc, OSS_SEVERITY_ERROR, "length=%lu",
                     (unsigned long)recordLength);
            ossMemFree(&grown, kUnit);
            return rc;
        }
        *buffer = grown;
    }
    if (recordLength == 0) return rc;
    // The size check above guarantees the bytes are there, so a short read
    // means the file changed under the lock or the device failed.
    got = ossStreamRead(*buffer, 1, recordLength, stream);
    if (got != recordLength) rc = bodyReadFailed(stream, recordLength, got);
    return rc;
}

uint32_t RecordLengthAt(const GenRegBin* handle, const unsigned char* bytes) {
    return decodeLength(handle, bytes);
}

size_t WholeRecordAt(const GenRegBin* handle, const unsigned char* bytes, size_t size,
                     uint64_t capacity, uint64_t* length) {
    if (capacity == 0 && handle->GetMaxRecordSize != nullptr) handle->GetMaxRecordSize(&capacity);
    if (size < kPrefixSize) return 0;
    const uint32_t recordLength = decodeLength(handle, bytes);
    if (recordLength == 0 || recordLength > capacity || size - kPrefixSize < recordLength) return 0;
    *length = recordLength;
    return kPrefixSize + recordLength;
}

size_t WholeRecordsIn(const GenRegBin* handle, const unsigned char* bytes, size_t size,
                      uint64_t capacity) {
    if (capacity == 0 && handle->GetMaxRecordSize != nullptr) handle->GetMaxRecordSize(&capacity);
    size_t whole = 0;
    uint64_t length = 0;
    for (size_t next;
         (next = WholeRecordAt(handle, bytes + whole, size - whole, capacity, &length)) != 0;)
        whole += next;
    return whole;
}

unsigned ReadRecord(GenRegBin* handle, FILE* stream, void** buffer, uint64_t* length) {
    return ReadRecordInto(handle, stream, buffer, 0, length);
}

unsigned WriteRecord(GenRegBin* handle, FILE* stream, const void* record) {
    unsigned rc = 0;
    GENREG_TRACE(FID_WRITE_RECORD, &rc);
    uint64_t size = 0;
    if (handle->features & GENREG_FEATURE_PACKED) {
        if (handle->GetPackedSize == nullptr) {
            rc = GENREG_RC_NO_PACKED_SIZE_SLOT;
            ossLog(FID_WRITE_RECORD, 1, rc, OSS_SEVERITY_ERROR, "slot=GetPackedSize");
            return rc;
        }
        handle->GetPackedSize(record, &size);
    } else {
        if (handle->GetRecordSize == nullptr) {
            rc = GENREG_RC_NO_SIZE_SLOT;
            ossLog(FID_WRITE_RECORD, 2, rc, OSS_SEVERITY_ERROR, "slot=GetRecordSize");
            return rc;
        }
        handle->GetRecordSize(record, &size);
    }
    rc = WriteRecordOfSize(handle, stream, record, size);
    return rc;
}

unsigned WriteRecordOfSize(GenRegBin* handle, FILE* stream, const void* record, uint64_t size) {
    unsigned rc = 0;
    const uint32_t recordLength = (uint32_t)size;
    if (recordLength < GENREG_RECORD_MIN || recordLength > GENREG_RECORD_MAX) {
        rc = recordLength < GENREG_RECORD_MIN ? GENREG_RC_RECORD_TOO_SMALL
                                              : GENREG_RC_RECORD_TOO_LARGE;
        ossLog(FID_WRITE_RECORD, 3, rc, OSS_SEVERITY_ERROR, "length=%lu",
               (unsigned long)recordLength);
        return rc;
    }
    unsigned char prefix[kPrefixSize];
    encodeLength(handle, recordLength, prefix);
    if (ossStreamWrite(prefix, kPrefixSize, 1, stream) != 1) {
        rc = GENREG_RC_WRITE_LENGTH_FAILED;
        ossLog(FID_WRITE_RECORD, 4, rc, OSS_SEVERITY_ERROR, "ferror=%d errno=%d",
               std::ferror(stream), ossLastErrno());
        return rc;
    }
    // A short write is refused too: it would frame every later record wrongly.
    size_t written = ossStreamWrite(record, 1, recordLength, stream);
    if (written != recordLength) {
        rc = GENREG_RC_WRITE_BODY_FAILED;
        ossLog(FID_WRITE_RECORD, 5, rc, OSS_SEVERITY_ERROR, "written=%llu length=%lu ferror=%d",
               (unsigned long long)written, (unsigned long)recordLength, std::ferror(stream));
    }
    return rc;
}

unsigned WriteRecordRun(FILE* stream, const void* bytes, size_t size) {
    unsigned rc = 0;
    const size_t written = ossStreamWrite(bytes, 1, size, stream);
    if (written != size) {
        rc = GENREG_RC_WRITE_BODY_FAILED;
        ossLog(FID_WRITE_RECORD, 5, rc, OSS_SEVERITY_ERROR, "written=%llu length=%lu ferror=%d",
               (unsigned long long)written, (unsigned long)size, std::ferror(stream));
    }
    return rc;
}

unsigned CheckBinSlots(GenRegBin* handle) {
    unsigned rc = 0;
    GENREG_TRACE(FID_CHECK_BIN_SLOTS, &rc);
    if (handle->ValidateRecord == nullptr)
        rc = GENREG_RC_NO_VALIDATE_SLOT;
    else if (handle->GetMaxRecordSize == nullptr)
        rc = GENREG_RC_NO_MAX_SIZE_SLOT;
    else if (!(handle->features & GENREG_FEATURE_PACKED))
        return rc;
    else if (handle->PackRecord == nullptr)
        rc = GENREG_RC_NO_PACK_SLOT;
    else if (handle->UnpackRecord == nullptr)
        rc = GENREG_RC_NO_UNPACK_SLOT;
    if (rc != 0)
        ossLog(FID_CHECK_BIN_SLOTS, 1, rc, OSS_SEVERITY_ERROR, "features=0x%llx",
               (unsigned long long)handle->features);
    return rc;
}
