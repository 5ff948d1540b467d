// Pieces shared by the units of the file transaction (transaction_lock.cpp,
// transaction_begin.cpp, transaction_end.cpp, transaction_checksum.cpp)
// and the scan cursor (scan.cpp). Not used outside those units.
#ifndef GENREG_TRANSACTION_INTERNAL_H
#define GENREG_TRANSACTION_INTERNAL_H

#include <cstdint>
#include <cstdio>
#include <genreg/handle.h>

#include "genreg/trace.h"

// Function identifiers (trace and log) of the transaction range 0x0010 and
// the scan-cursor range 0x0030.
enum : uint32_t {
    FID_ACQUIRE_UPDATE_LOCK = GENREG_FID(0x0010),
    FID_RELEASE_UPDATE_LOCK = GENREG_FID(0x0011),
    FID_BEGIN_TRANSACTION = GENREG_FID(0x0012),
    FID_END_TRANSACTION = GENREG_FID(0x0013),
    FID_COMPUTE_CHECKSUM = GENREG_FID(0x0014),
    FID_VERIFY_CHECKSUM_HEADER = GENREG_FID(0x0015),
    FID_WRITE_CHECKSUM_HEADER = GENREG_FID(0x0016),
    FID_SEEK_FIRST_RECORD = GENREG_FID(0x0017),
    FID_OPEN_LOCKED_STREAM = GENREG_FID(0x0018),
    FID_RECOVER_LEFT_OVER = GENREG_FID(0x0019),
    FID_OPEN_COPY = GENREG_FID(0x001A),
    FID_SWAP_IN_COPY = GENREG_FID(0x001B),
    FID_OPEN_LOCK_FILE = GENREG_FID(0x001C),
    FID_LOCK_FILE_STILL_NAMED = GENREG_FID(0x001D),
    FID_REMOVE_LOCK_NAME = GENREG_FID(0x001E),
    FID_CREATE_FILE_DIRECTORY = GENREG_FID(0x001F),
    FID_CLOSE_FILE_STREAM = GENREG_FID(0x0020),
    FID_CLOSE_COPY = GENREG_FID(0x0021),
    FID_DISCARD_COPY = GENREG_FID(0x0022),
    FID_OPEN_SCAN = GENREG_FID(0x0030),
    FID_CLOSE_SCAN = GENREG_FID(0x0031),
    FID_REWIND = GENREG_FID(0x0032),
    FID_GET_POSITION = GENREG_FID(0x0033),
    FID_SET_POSITION = GENREG_FID(0x0034),
};

// Permission bits used when a creation mode field is 0: owner read and write.
const uint64_t kGenRegDefaultFileMode = 0600;
// Permission bits of a directory the transaction creates.
const uint64_t kGenRegDirectoryMode = 0700;

// How to open, lock and attach a stream to the registry file.
struct GenRegStreamRequest {
    const char* path;
    uint32_t access;       // OSS_ACCESS_*
    uint32_t lockKind;     // OSS_LOCK_EXCLUSIVE or OSS_LOCK_SHARED; always waits
    int fdFlags;           // OSS_FD_* of the runtime-library descriptor
    const char* mode;      // stream mode ("rb", "rt", "ab", "at")
    uint64_t permissions;  // of a file the open creates
    uint32_t options;      // OSS_OPEN_*: OSS_OPEN_EXISTING unless the open may create
};

// Opens request->path through an OSSHFile, locks it and attaches a stream
// that from then on owns the file and its lock (closing the stream ends
// both). On success *stream is the new stream; on failure *stream is
// untouched, nothing stays open or locked, and the failure is logged under
// functionId: GENREG_RC_FILE_NOT_FOUND (missing, opened existing only),
// GENREG_RC_PERMISSION_DENIED, GENREG_RC_NOT_REGULAR_FILE,
// GENREG_RC_FILE_OPEN_FAILED (any other failure of the open, or no stream
// could be attached) or GENREG_RC_FILE_LOCK_FAILED.
unsigned GenRegOpenLockedStream(const GenRegStreamRequest* request, FILE** stream,
                                uint32_t functionId);

// The library's code for a refusal of the OS library that tells its cause
// (GENREG_RC_PERMISSION_DENIED for OSS_RC_ACCESS_DENIED,
// GENREG_RC_NOT_REGULAR_FILE for OSS_RC_NOT_REGULAR_FILE), else otherwise.
unsigned GenRegRefusalCode(unsigned ossRc, unsigned otherwise);

// Creates the registry file's directory when it is missing (permissions
// octal 0700; option 1 from BeginTransaction, 2 from AcquireUpdateLock).
// The OS library's code when the directory name cannot be taken,
// GENREG_RC_DIR_CREATE_FAILED when the creation fails; logged under
// functionId.
unsigned GenRegCreateFileDirectory(const GenRegFile* handle, uint32_t option, uint32_t functionId);

// Positions stream at the handle's first record: offset 0, or for a
// checksummed file that is not empty, GENREG_CHECKSUM_HEADER_SIZE. A
// non-empty checksummed file shorter than its header gives
// GENREG_RC_READ_FAILED; a failing seek gives seekFailedRc. Failures are
// logged under functionId.
unsigned GenRegSeekFirstRecord(const GenRegFile* handle, FILE* stream, unsigned seekFailedRc,
                               uint32_t functionId);

// Verifies the checksum header of the handle's open registry stream and
// leaves the stream at the first record. An empty file has no header and
// passes. GENREG_RC_READ_FAILED (shorter than a header, or the header
// cannot be read), GENREG_RC_CHECKSUM_NO_MEMORY, GENREG_RC_CHECKSUM_READ_FAILED
// (data shorter than the size), GENREG_RC_CHECKSUM_MISMATCH; all logged.
unsigned GenRegVerifyChecksumHeader(GenRegFile* handle);

// Rewrites the handle's open copy (records only, opened "w+b") into its
// committed form: the 32-byte header followed by the records. An empty
// copy stays empty and *wroteHeader is false. GENREG_RC_CHECKSUM_NO_MEMORY,
// GENREG_RC_CHECKSUM_READ_FAILED, GENREG_RC_COPY_FAILED; all logged.
unsigned GenRegWriteChecksumHeader(GenRegFile* handle, bool* wroteHeader);

#endif
