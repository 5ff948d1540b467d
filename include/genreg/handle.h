// The registry handle: the object every registry-file operation works on.
//
// A handle is a plain structure without virtual functions. A record schema
// makes it specific by filling the table of callbacks at its head and by
// deriving the names of the file's companion files; the stores (GenRegText
// for files of text lines, GenRegBin for files of length-prefixed binary
// records) implement lookup and update by scanning the file and calling
// those callbacks.
//
//   GenRegBase  callbacks, state word, feature word
//   GenRegFile  the file path and its companions, lock file, open streams,
//               and the scan cursor
//   GenRegText / GenRegBin   Get, GetNext, Add, Change, Delete
//
// A handle serves one thread at a time. Between operations it holds no
// open file and no lock, except a scan the caller keeps open between
// OpenScan and CloseScan.
#ifndef GENREG_HANDLE_H
#define GENREG_HANDLE_H

#include <cstdint>
#include <cstdio>
#include <genreg/export.h>
#include <genreg/oss_file.h>

// Capacity of each of the five path fields, terminator included.
#define GENREG_PATH_MAX 260
// Capacity of a text line buffer, terminator included.
#define GENREG_LINE_MAX 2048
// A selector that asks for the equality of two whole records.
#define GENREG_SELECT_ALL 0xFFFFFFFFFFFFFFFFULL
// Bounds of a schema's largest record size (GetMaxRecordSize).
#define GENREG_RECORD_MIN 3
#define GENREG_RECORD_MAX 0x100000

// The state word.
enum : uint64_t {
    GENREG_STATE_INITIAL = 0x1,       // nothing open; the word is exactly 0x1
    GENREG_STATE_LOCK_HELD = 0x10,    // lockFile is open and locked
    GENREG_STATE_UPDATE_HOLD = 0x20,  // the caller holds the lock (LockForUpdate)
    GENREG_STATE_SCAN_OPEN = 0x40,    // an explicit scan holds stream open
    GENREG_STATE_SCAN_AT_END = 0x80,  // the scan has reached end of file
    GENREG_STATE_PATHS_SET = 0x100,   // the five paths are valid
};

// The feature word; setFeature and unsetFeature accept 1 to 256.
enum : uint64_t {
    GENREG_FEATURE_VERIFY = 0x1,             // verify the copy before the swap
    GENREG_FEATURE_DUPLICATES = 0x2,         // several records may share a key
    GENREG_FEATURE_PACKED = 0x4,             // binary: records stored packed
    GENREG_FEATURE_BIG_ENDIAN_LENGTH = 0x8,  // binary: big-endian length prefix
    GENREG_FEATURE_GET_IN_SCAN = 0x10,       // Get may search an open scan
    GENREG_FEATURE_NOTIFY = 0x20,            // binary: NotifyUpdate after updates
    GENREG_FEATURE_POST_UPDATE = 0x40,       // PostUpdate after updates
    GENREG_FEATURE_JOIN_LINES = 0x80,        // text: backslash-newline joins lines
    GENREG_FEATURE_CHECKSUM = 0x100,         // binary: 32-byte checksum header
};

// Wait limits of GenRegFile::LockForUpdate, in milliseconds; any value in
// between waits at most that long.
#define GENREG_WAIT_NONE 0U
#define GENREG_WAIT_FOREVER 0xFFFFFFFFU

// storeKind
enum : uint64_t { GENREG_STORE_BINARY = 1, GENREG_STORE_TEXT = 2 };

// File transaction types; 2, 4 and 8 are also NotifyUpdate's operation codes.
enum : unsigned {
    GENREG_TXN_READ = 1,
    GENREG_TXN_CHANGE = 2,
    GENREG_TXN_ADD = 4,
    GENREG_TXN_DELETE = 8,
    GENREG_TXN_VERIFY = 16,
};

// Update-lock options (a bit set).
enum : unsigned {
    GENREG_LOCK_EXCLUSIVE = 0x1,
    GENREG_LOCK_SHARED = 0x2,  // ignored when EXCLUSIVE is also set
    GENREG_LOCK_WAIT = 0x4,
    GENREG_LOCK_NOWAIT = 0x8,  // wins over WAIT
    GENREG_LOCK_CREATE_DIR = 0x10,
};

class GenRegBase;

// The callback table. Each schema fills the slots it supports; an operation
// that needs an empty slot fails with that slot's own return code.
//
// CompareRecord: 1 when the stored record matches the key on the fields the
// selector names; with GENREG_SELECT_ALL, non-zero when two whole records
// are equal.
typedef int (*GenRegCompareFn)(uint64_t selector, const void* stored, const void* key);
// ValidateRecord: 0 accepts the caller's key or record. May normalise it.
typedef unsigned (*GenRegValidateFn)(uint64_t selector, void* record);
typedef unsigned (*GenRegPrintFn)(const void* record);
// NotifyUpdate: after a binary update; operation 4 (Add), 2 (Change), 8 (Delete).
typedef unsigned (*GenRegNotifyFn)(GenRegBase* handle, uint64_t operation, const void* first,
                                   const void* second);
typedef unsigned (*GenRegPostUpdateFn)(void);
typedef unsigned (*GenRegRecordSizeFn)(const void* record, uint64_t* size);
typedef unsigned (*GenRegMaxRecordSizeFn)(uint64_t* size);
// Text store: format the record into line (GENREG_LINE_MAX characters),
// which holds the line being replaced, or is empty for a new line.
typedef unsigned (*GenRegTextPackFn)(void* record, char* line);
// Text store: parse one logical line into the record.
typedef unsigned (*GenRegTextUnpackFn)(void* record, const char* line);
// Binary store: convert *record in place to its packed form. storedImage is
// the record's bytes as last read from the file, or null for a new record.
typedef unsigned (*GenRegBinPackFn)(void** record, const void* storedImage);
// Binary store: convert the packed *record in place to its in-memory form.
typedef unsigned (*GenRegBinUnpackFn)(void** record);
typedef unsigned (*GenRegPackedSizeFn)(const void* packed, uint64_t* size);
// Binary store: convert the packed *record, of exactly length bytes as the
// file stored it, in place to its in-memory form; refuse a record whose
// contents do not fill exactly those bytes instead of reading past them.
typedef unsigned (*GenRegBinUnpackStoredFn)(void** record, uint64_t length);

class GENREG_API GenRegBase {
public:
    GenRegCompareFn CompareRecord;
    GenRegValidateFn ValidateRecord;
    GenRegPrintFn PrintRecord;
    GenRegNotifyFn NotifyUpdate;
    GenRegPostUpdateFn PostUpdate;
    uint64_t state;
    uint64_t features;
    uint64_t storeKind;
    // Identifier an internal updater stores while it updates; callbacks
    // that receive the handle may read it.
    uint32_t updateOriginator;
    GenRegRecordSizeFn GetRecordSize;
    GenRegMaxRecordSizeFn GetMaxRecordSize;

    // True when any bit of feature is set. No range check.
    bool isFeatureSet(uint64_t feature) const;
    // Sets the bits of feature (1 to 256), else GENREG_RC_BAD_FEATURE.
    unsigned setFeature(uint64_t feature);
    // Clears the bits of feature (1 to 256): GENREG_RC_BAD_FEATURE out of
    // range, GENREG_RC_FEATURE_NOT_SET when none of them is set.
    unsigned unsetFeature(uint64_t feature);

    GenRegBase(const GenRegBase&) = delete;
    GenRegBase& operator=(const GenRegBase&) = delete;

protected:
    GenRegBase();
    ~GenRegBase() = default;
};

class GENREG_API GenRegFile : public GenRegBase {
public:
    char filePath[GENREG_PATH_MAX];     // the registry file
    char backupPath[GENREG_PATH_MAX];   // exists only while a commit swaps
    char tempPath[GENREG_PATH_MAX];     // temporary copy written by an update
    char corruptPath[GENREG_PATH_MAX];  // copy left by an interrupted update
    char lockPath[GENREG_PATH_MAX];     // lock file that serialises updates
    OSSHFile lockFile;                  // open while GENREG_STATE_LOCK_HELD
    OSSFileOpenParam lockOpenParam;
    FILE* stream;            // the registry file, during a transaction or a scan
    FILE* tempStream;        // the temporary copy, during an update transaction
    uint64_t fileMode;       // permissions of a created file; 0 means 0600
    uint64_t lockFileMode;   // permissions of the lock file; 0 means 0600
    uint64_t headerPending;  // 1 until this handle committed a checksummed file

    // The scan cursor: keeps the registry file open, shared-locked, between
    // calls. While a scan is open, file transactions on this handle refuse
    // to start; GetNext reads from the scan.
    unsigned OpenScan();
    // Harmless without an open scan.
    unsigned CloseScan();
    unsigned Rewind();
    // An opaque position, valid only for the scan it was taken from.
    unsigned getRegFilePosition(int64_t* position);
    unsigned setRegFilePosition(const int64_t* position);

    // The update hold: the update lock taken for the caller, so that a
    // lookup and the update that depends on it (read a record, then Change
    // it with fields carried over, or Add it when it was missing) run while
    // no other updater can come between them.
    //
    // LockForUpdate takes the exclusive update lock on lockPath, the same
    // lock every Add, Change and Delete of any handle on this file takes,
    // in this process or another, and keeps it until UnlockForUpdate or the
    // handle's teardown. It first creates the registry file's directory when
    // it is missing (the lock file lives there), as Add does.
    //   waitMilliseconds  GENREG_WAIT_NONE: GENREG_RC_LOCKED at once when
    //                     another handle holds the lock; GENREG_WAIT_FOREVER:
    //                     wait until it is granted; any other value: wait at
    //                     most about that long, then GENREG_RC_LOCKED.
    // Other failures: GENREG_RC_NOT_INITIALIZED (paths not set),
    // GENREG_RC_LOCK_ALREADY_HELD (this handle holds it already; the hold
    // stays as it was), GENREG_RC_DIR_CREATE_FAILED, GENREG_RC_LOCK_OPEN_FAILED
    // or the OS library's code. A failure leaves nothing held and the state
    // word as it was.
    //
    // While the hold lasts (GENREG_STATE_UPDATE_HOLD set):
    //   - Add, Change and Delete on this handle run under it: they neither
    //     take the lock again nor release it, and otherwise work as always
    //     (their own transaction, copy, verification and swap). A failed
    //     update leaves the file as it was and the hold in place.
    //   - Get, GetNext and the scan work as always; they never take the
    //     update lock. A scan may be open when the hold is taken or given
    //     up; an update still refuses to start while a scan is open.
    //   - Readers on other handles are not blocked; updaters on other
    //     handles, of this process too, wait (or fail) as for any holder.
    //
    // UnlockForUpdate gives the lock up and removes the lock file; 0 and
    // nothing done without a hold. GENREG_RC_UNLOCK_FILE_FAILED when the
    // OS refuses to unlock: the hold stays, and teardown closes the lock
    // file; GENREG_RC_LOCK_CLOSE_FAILED or GENREG_RC_LOCK_DELETE_FAILED
    // when the lock was given up but the lock file not closed or removed.
    // Teardown gives up a hold still taken as UnlockForUpdate does.
    unsigned LockForUpdate(uint32_t waitMilliseconds);
    unsigned UnlockForUpdate();

protected:
    GenRegFile();
    ~GenRegFile();
};

// A store of text lines. Records are logical lines; a schema's UnpackRecord
// parses a line and PackRecord formats one. Lines an update does not touch
// are copied byte for byte.
class GENREG_API GenRegText : public GenRegFile {
public:
    GenRegTextPackFn PackRecord;
    GenRegTextUnpackFn UnpackRecord;

    GenRegText();
    ~GenRegText();

    // The first record that matches key on the fields of selector, copied
    // into result (GetMaxRecordSize bytes). GENREG_RC_NO_MATCH when none.
    unsigned Get(uint64_t selector, void* key, void* result);
    // The next matching record of the open scan; selector 0 matches every
    // line. GENREG_RC_NOT_FOUND at the end.
    unsigned GetNext(uint64_t selector, void* key, void* result);
    // Appends record as a new line at the end of the file.
    unsigned Add(uint64_t selector, void* record);
    // Replaces the lines matching key by newRecord, each in its place.
    unsigned Change(uint64_t selector, void* key, void* newRecord);
    // Removes the lines matching key.
    unsigned Delete(uint64_t selector, void* key);
};

// A store of length-prefixed binary records.
class GENREG_API GenRegBin : public GenRegFile {
public:
    GenRegBinPackFn PackRecord;
    GenRegBinUnpackFn UnpackRecord;
    GenRegPackedSizeFn GetPackedSize;
    // Optional. When set, the store unpacks every record it read from the
    // file through this slot instead of UnpackRecord, giving the length the
    // file gave the record: a damaged record whose entries run past its end
    // is then refused rather than read past its bytes. UnpackRecord remains
    // for records the schema packed itself.
    GenRegBinUnpackStoredFn UnpackStoredRecord;

    GenRegBin();
    ~GenRegBin();

    // The first record that matches key on the fields of selector, copied
    // into result (GetMaxRecordSize bytes); GENREG_RC_NO_MATCH, with result
    // zeroed, when none does; GENREG_RC_FILE_NOT_FOUND, result untouched,
    // when the file does not exist.
    unsigned Get(uint64_t selector, void* key, void* result);
    // The next matching record of the open scan; GENREG_RC_NOT_FOUND, with
    // result zeroed once, at the end (sticky until Rewind or CloseScan).
    unsigned GetNext(uint64_t selector, void* key, void* result);
    // Appends newRecord after the last record. GENREG_RC_DUPLICATE when a
    // record matches it and duplicates are not allowed.
    //
    // With GENREG_FEATURE_PACKED newRecord (GetMaxRecordSize bytes) is
    // never packed in the caller's buffer: the store copies it into a
    // buffer of its own of GENREG_PACK_BUFFER_SIZE bytes, packs and writes
    // it from there, since a packed form may be larger than the record.
    // Afterwards the caller's buffer holds
    //   - with GENREG_FEATURE_VERIFY, once the copy was written completely
    //     (whatever the verification then finds): the record in memory form
    //     again, exactly as the caller gave it; the verification compares
    //     the file's new record, unpacked, with this form;
    //   - otherwise, once the record was packed: its packed form, when that
    //     fits in GetMaxRecordSize bytes; when it does not, the caller's
    //     record is left in memory form, untouched.
    // Change treats its newRecord the same way.
    unsigned Add(uint64_t selector, void* newRecord);
    // Replaces every record matching key by newRecord, each in its place;
    // GENREG_RC_UNCHANGED when a matching record already equals it,
    // GENREG_RC_MULTIPLE_MATCHES for a second match without duplicates,
    // GENREG_RC_NO_MATCH when nothing matches.
    unsigned Change(uint64_t selector, void* key, void* newRecord);
    // Removes the records matching key (one, unless duplicates are allowed).
    unsigned Delete(uint64_t selector, void* key);
};

#endif
