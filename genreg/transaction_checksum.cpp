// The checksum header of binary files with GENREG_FEATURE_CHECKSUM
// (invariant I8 in transaction.cpp).
//
// Form on disk: an empty file has no header. Otherwise the first
// GENREG_CHECKSUM_HEADER_SIZE bytes hold ComputeChecksum of every byte
// after them as signed decimal text, a NUL, and zeros; the records follow.
//
// Who writes what: the copy an update writes holds records only. The
// update's EndTransaction (types 2, 4, 8) rewrites the copy into the form
// above before it is closed, flushed and, without GENREG_FEATURE_VERIFY,
// swapped in; the verification pass then reads the copy in that form.
// The first commit of a checksummed file clears headerPending, and from
// then on BeginTransaction verifies the header. Every reader starts at the
// first record whether or not it verified.
#include <cstdio>
#include <cstring>
#include <genreg/rc.h>

#include "genreg/transaction.h"
#include "genreg/transaction_internal.h"
#include "platform/oss.h"

namespace {

// Bytes read at a time while verifying; a multiple of 4, so the checksums
// of consecutive chunks combine by XOR.
const size_t kVerifyChunk = 64 * 1024;

void formatHeader(int32_t checksum, char* header) {
    std::memset(header, 0, GENREG_CHECKSUM_HEADER_SIZE);
    std::snprintf(header, GENREG_CHECKSUM_HEADER_SIZE, "%d", (int)checksum);
}

}  // namespace

int32_t ComputeChecksum(const void* data, uint64_t length) {
    uint32_t value = 0;
    GENREG_TRACE(FID_COMPUTE_CHECKSUM, &value);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    uint64_t words = length / 4;
    for (uint64_t i = 0; i < words; ++i) {
        const unsigned char* w = bytes + 4 * i;
        value ^= (uint32_t)w[0] | (uint32_t)w[1] << 8 | (uint32_t)w[2] << 16 | (uint32_t)w[3] << 24;
    }
    // The 0 to 3 trailing bytes each go into the low 8 bits, unshifted.
    for (uint64_t i = words * 4; i < length; ++i)
        value ^= bytes[i];
    return (int32_t)value;
}

unsigned GenRegVerifyChecksumHeader(GenRegFile* handle) {
    unsigned rc = 0;
    GENREG_TRACE(FID_VERIFY_CHECKSUM_HEADER, &rc);
    FILE* stream = handle->stream;
    int64_t size = -1;
    if (ossStreamSeek(stream, 0, SEEK_END) != 0 || (size = ossStreamTell(stream)) < 0 ||
        ossStreamSeek(stream, 0, SEEK_SET) != 0) {
        rc = GENREG_RC_READ_FAILED;
        ossLog(FID_BEGIN_TRANSACTION, 21, rc, OSS_SEVERITY_ERROR, "errno=%d file=%s",
               ossLastErrno(), handle->filePath);
        return rc;
    }
    // An update that leaves no record writes no header.
    if (size == 0) return rc;
    char header[GENREG_CHECKSUM_HEADER_SIZE];
    if (size < GENREG_CHECKSUM_HEADER_SIZE ||
        ossStreamRead(header, 1, sizeof header, stream) != sizeof header) {
        rc = GENREG_RC_READ_FAILED;
        ossLog(FID_BEGIN_TRANSACTION, 22, rc, OSS_SEVERITY_ERROR, "size=%lld file=%s",
               (long long)size, handle->filePath);
        return rc;
    }
    uint64_t remaining = (uint64_t)size - GENREG_CHECKSUM_HEADER_SIZE;
    size_t chunk = remaining < kVerifyChunk ? (size_t)remaining : kVerifyChunk;
    unsigned char* buffer = nullptr;
    unsigned ossRc = ossMemAlloc(&buffer, chunk ? chunk : 1, "GenRegFile");
    if (ossRc != 0) {
        rc = GENREG_RC_CHECKSUM_NO_MEMORY;
        ossLogRC(FID_BEGIN_TRANSACTION, 23, 0, ossRc, rc, OSS_SEVERITY_ERROR, "size=%zu", chunk);
        return rc;
    }
    int32_t checksum = 0;
    while (remaining > 0) {
        size_t want = remaining < chunk ? (size_t)remaining : chunk;
        size_t got = ossStreamRead(buffer, 1, want, stream);
        if (got != want) {
            rc = GENREG_RC_CHECKSUM_READ_FAILED;
            ossLog(FID_BEGIN_TRANSACTION, 24, rc, OSS_SEVERITY_ERROR,
                   "read=%zu wanted=%zu error=%d file=%s", got, want, ferror(stream) != 0,
                   handle->filePath);
            break;
        }
        checksum ^= ComputeChecksum(buffer, want);
        remaining -= want;
    }
    ossMemFree(&buffer, "GenRegFile");
    if (rc != 0) return rc;
    char expected[GENREG_CHECKSUM_HEADER_SIZE];
    formatHeader(checksum, expected);
    // The header's text ends at its NUL; a header without one matches nothing.
    if (std::memchr(header, '\0', sizeof header) == nullptr || std::strcmp(header, expected) != 0) {
        rc = GENREG_RC_CHECKSUM_MISMATCH;
        ossLog(FID_BEGIN_TRANSACTION, 25, rc, OSS_SEVERITY_ERROR,
               "header=%.31s computed=%s file=%s", header, expected, handle->filePath);
        return rc;
    }
    // Records begin right after the header; the data loop has passed them.
    if (ossStreamSeek(stream, GENREG_CHECKSUM_HEADER_SIZE, SEEK_SET) != 0) {
        rc = GENREG_RC_READ_FAILED;
        ossLog(FID_BEGIN_TRANSACTION, 26, rc, OSS_SEVERITY_ERROR, "errno=%d file=%s",
               ossLastErrno(), handle->filePath);
    }
    return rc;
}

unsigned GenRegWriteChecksumHeader(GenRegFile* handle, bool* wroteHeader) {
    unsigned rc = 0;
    GENREG_TRACE(FID_WRITE_CHECKSUM_HEADER, &rc);
    *wroteHeader = false;
    FILE* copy = handle->tempStream;
    int64_t size = -1;
    if (ossStreamSeek(copy, 0, SEEK_END) != 0 || (size = ossStreamTell(copy)) < 0) {
        rc = GENREG_RC_CHECKSUM_READ_FAILED;
        ossLog(FID_END_TRANSACTION, 21, rc, OSS_SEVERITY_ERROR, "errno=%d temp=%s", ossLastErrno(),
               handle->tempPath);
        return rc;
    }
    // A copy without records is committed as it is: no header (I8).
    if (size == 0) return rc;
    unsigned char* data = nullptr;
    unsigned ossRc = ossMemAlloc(&data, (size_t)size, "GenRegFile");
    if (ossRc != 0) {
        rc = GENREG_RC_CHECKSUM_NO_MEMORY;
        ossLogRC(FID_END_TRANSACTION, 22, 0, ossRc, rc, OSS_SEVERITY_ERROR, "size=%lld",
                 (long long)size);
        return rc;
    }
    size_t got = 0;
    if (ossStreamSeek(copy, 0, SEEK_SET) == 0) got = ossStreamRead(data, 1, (size_t)size, copy);
    if (got != (size_t)size) {
        // Writing a header over a partly read copy would bless wrong data.
        rc = GENREG_RC_CHECKSUM_READ_FAILED;
        ossLog(FID_END_TRANSACTION, 23, rc, OSS_SEVERITY_ERROR,
               "read=%zu size=%lld errno=%d temp=%s", got, (long long)size, ossLastErrno(),
               handle->tempPath);
    } else {
        char header[GENREG_CHECKSUM_HEADER_SIZE];
        formatHeader(ComputeChecksum(data, (uint64_t)size), header);
        if (genregTracing())
            _gtraceVar(ossThreadID(), FID_WRITE_CHECKSUM_HEADER, 1, 2, OSS_TRACE_U64,
                       (uint64_t)sizeof size, &size, OSS_TRACE_TEXT, (uint64_t)sizeof header,
                       header);
        // The seek between the read and the writes is what an update stream
        // needs to switch direction.
        if (ossStreamSeek(copy, 0, SEEK_SET) != 0 ||
            ossStreamWrite(header, 1, sizeof header, copy) != sizeof header ||
            ossStreamWrite(data, 1, (size_t)size, copy) != (size_t)size) {
            rc = GENREG_RC_COPY_FAILED;
            ossLog(FID_END_TRANSACTION, 24, rc, OSS_SEVERITY_ERROR, "errno=%d temp=%s",
                   ossLastErrno(), handle->tempPath);
        } else {
            *wroteHeader = true;
        }
    }
    ossMemFree(&data, "GenRegFile");
    return rc;
}
