// Return codes of the genreg library.
//
// Every operation that can fail returns an unsigned 32-bit code: 0 is
// success, and every failure code of the library has the form 0x9000xxxx.
// The values are fixed: callers and stored logs compare against them.
//
// GENREG_RC_LIST(X) is the one list of the codes. It produces the
// constants below and the name and meaning tables behind genregRcName()
// and genregRcMeaning(), so a name and its value can never drift apart.
// Each entry is X(NAME, value, "meaning").
#ifndef GENREG_RC_H
#define GENREG_RC_H

#include <genreg/export.h>

// clang-format off
#define GENREG_RC_LIST(X) \
    /* registry handle, file transaction and scan cursor */ \
    X(GENREG_RC_NOT_INITIALIZED, 0x900001baU, "the handle's paths were never set (constructor failed): the update lock and OpenScan refuse") \
    X(GENREG_RC_LOCK_ALREADY_HELD, 0x900001bbU, "the update lock is already held by this handle") \
    X(GENREG_RC_FILE_OPEN_FAILED, 0x900001bfU, "opening or locking-and-attaching the registry file failed (OS open, or no stream could be attached to the handle)") \
    X(GENREG_RC_TEMP_OPEN_FAILED, 0x900001c0U, "the temporary copy could not be created or opened") \
    X(GENREG_RC_LOCKED, 0x900001c4U, "the update lock is held by another handle or process, and the caller asked not to wait or its time to wait ran out") \
    X(GENREG_RC_FILE_CLOSE_FAILED, 0x900001c7U, "closing the registry file's stream failed") \
    X(GENREG_RC_TEMP_CLOSE_FAILED, 0x900001c8U, "closing the temporary copy's stream failed") \
    X(GENREG_RC_LOCK_OPEN_FAILED, 0x900001daU, "the lock file could not be opened or created") \
    X(GENREG_RC_LOCK_CLOSE_FAILED, 0x900001dcU, "closing the lock file failed") \
    X(GENREG_RC_REWIND_FAILED, 0x900001e0U, "Rewind: seeking the scan stream back to its start failed") \
    X(GENREG_RC_BACKUP_RENAME_FAILED, 0x900001e1U, "renaming the registry file to its backup name failed during a commit") \
    X(GENREG_RC_TEMP_RENAME_FAILED, 0x900001e2U, "renaming the temporary copy to the registry file's name failed during a commit") \
    X(GENREG_RC_CHECKSUM_NO_MEMORY, 0x900001ebU, "no memory for the buffer that a checksum is computed over") \
    X(GENREG_RC_BAD_ARGUMENT, 0x900001f2U, "an argument is null, zero or an invalid combination (lock options, line reader and writer arguments)") \
    X(GENREG_RC_BAD_FEATURE, 0x90000202U, "feature value given to setFeature or unsetFeature is 0 or above 256") \
    X(GENREG_RC_FEATURE_NOT_SET, 0x90000203U, "unsetFeature: none of the given feature bits is set") \
    X(GENREG_RC_MARKER_RENAME_FAILED, 0x90000224U, "renaming a left-over temporary copy to the corruption marker failed (logged only)") \
    X(GENREG_RC_MARKER_DELETE_FAILED, 0x90000225U, "deleting an old corruption marker failed") \
    X(GENREG_RC_FILE_MODE_FAILED, 0x90000256U, "reading the registry file's information (its permissions) before creating the temporary copy failed") \
    X(GENREG_RC_TEMP_MODE_FAILED, 0x90000257U, "giving the temporary copy the registry file's permissions failed") \
    X(GENREG_RC_SCAN_OPEN, 0x9000025bU, "a file transaction cannot start or end while an explicit scan is open on the handle") \
    X(GENREG_RC_FILE_LOCK_FAILED, 0x90000272U, "locking the registry file (shared for reading, exclusive for appending) failed") \
    X(GENREG_RC_GET_POSITION_FAILED, 0x90000287U, "getRegFilePosition: the runtime library could not report the scan position") \
    X(GENREG_RC_SET_POSITION_FAILED, 0x90000288U, "setRegFilePosition: the runtime library could not restore the scan position") \
    X(GENREG_RC_LOCK_DELETE_FAILED, 0x900003f5U, "deleting the lock file after releasing the update lock failed") \
    X(GENREG_RC_BACKUP_DELETE_FAILED, 0x900003f6U, "deleting the backup after a successful swap failed") \
    X(GENREG_RC_UNLOCK_FILE_FAILED, 0x900003f7U, "unlocking the lock file failed") \
    X(GENREG_RC_LOCK_FILE_MISSING, 0x900003f8U, "the lock file was already gone when it was to be deleted (logged only; success)") \
    X(GENREG_RC_DIR_CREATE_FAILED, 0x90000512U, "creating the missing directory of the registry file failed") \
    X(GENREG_RC_CHECKSUM_MISMATCH, 0x900005a4U, "the checksum header of a binary registry file does not match its contents") \
    X(GENREG_RC_CHECKSUM_READ_FAILED, 0x900005a5U, "reading the data covered by the checksum failed or came up short") \
    X(GENREG_RC_PERMISSION_DENIED, 0x90000514U, "the system refused a file of the protocol (registry file, lock file, copy) for lack of permission; the log names the path") \
    X(GENREG_RC_NOT_REGULAR_FILE, 0x90000515U, "a name of the protocol is held by something other than a regular file (FIFO, device, directory, or a link where none is accepted); the log names the path") \
    /* binary record store */ \
    X(GENREG_RC_NULL_POINTER, 0x9000000cU, "a required pointer argument of a helper is null (big-endian integer encode/decode, file position save/restore)") \
    X(GENREG_RC_RECORD_PAST_EOF, 0x900001b3U, "a record's length prefix reaches past the end of the file (damaged binary file)") \
    X(GENREG_RC_LOCK_FAILED, 0x900001bcU, "taking the registry lock before an update failed") \
    X(GENREG_RC_UNLOCK_FAILED, 0x900001bdU, "releasing the registry lock after an update failed") \
    X(GENREG_RC_OPEN_FAILED, 0x900001c5U, "opening the file transaction failed") \
    X(GENREG_RC_CLOSE_FAILED, 0x900001c6U, "ending the file transaction failed") \
    X(GENREG_RC_FILE_INFO_FAILED, 0x900001cbU, "reading the registry file's size and permissions failed (Add)") \
    X(GENREG_RC_READ_FAILED, 0x900001cdU, "reading a record during a scan failed (wraps the reader's code)") \
    X(GENREG_RC_COPY_FAILED, 0x900001d0U, "writing a kept record into the temporary copy failed") \
    X(GENREG_RC_APPEND_FAILED, 0x900001d2U, "writing the added record failed") \
    X(GENREG_RC_TEMP_DELETE_FAILED, 0x900001d3U, "deleting the temporary copy after an abandoned update failed") \
    X(GENREG_RC_WRITE_LENGTH_FAILED, 0x900001d4U, "writing a record's 4-byte length prefix failed") \
    X(GENREG_RC_WRITE_BODY_FAILED, 0x900001d5U, "writing a record's bytes after its length prefix failed") \
    X(GENREG_RC_READ_LENGTH_FAILED, 0x900001d6U, "reading a record's length prefix failed with a stream error") \
    X(GENREG_RC_READ_BODY_FAILED, 0x900001d7U, "reading a record's bytes failed with a stream error") \
    X(GENREG_RC_SEEK_FAILED, 0x900001dfU, "seeking to the end of the file before appending failed (Add)") \
    X(GENREG_RC_RECORD_TOO_SMALL, 0x900001e5U, "a record size (largest size of the schema, or size of one record) is below 3 bytes") \
    X(GENREG_RC_RECORD_TOO_LARGE, 0x900001e6U, "a record size is above 1,048,576 bytes (0x100000); also a largest record size below 8 when a found record is copied out") \
    X(GENREG_RC_ALLOC_FAILED, 0x900001e7U, "allocating a record buffer failed") \
    X(GENREG_RC_VERIFY_ALLOC_OLD, 0x900001e8U, "verification: allocating the buffer for the old file's records failed") \
    X(GENREG_RC_VERIFY_ALLOC_COPY, 0x900001e9U, "verification: allocating the buffer for the rewritten copy's records failed") \
    X(GENREG_RC_FREE_FAILED, 0x900001eeU, "freeing a record buffer failed") \
    X(GENREG_RC_VERIFY_FREE_OLD, 0x900001efU, "verification: freeing the buffer for the old file's records failed") \
    X(GENREG_RC_VERIFY_FREE_COPY, 0x900001f0U, "verification: freeing the buffer for the rewritten copy's records failed") \
    X(GENREG_RC_DUPLICATE, 0x900001f1U, "Add: a stored record already matches the new record and duplicates are not allowed") \
    X(GENREG_RC_NO_MATCH, 0x900001f6U, "no record matches the key (Get, Change, Delete)") \
    X(GENREG_RC_UNCHANGED, 0x900001f7U, "Change: a matching record already equals the new record; nothing is committed") \
    X(GENREG_RC_MULTIPLE_MATCHES, 0x900001f8U, "Change or Delete: a second record matches the key and duplicates are not allowed") \
    X(GENREG_RC_VERIFY_FAILED, 0x900001fbU, "the verification of the rewritten copy failed; the update is not committed") \
    X(GENREG_RC_INVALID_RECORD, 0x900001fcU, "the schema's ValidateRecord callback refused the key or record") \
    X(GENREG_RC_VERIFY_WRONG_RECORD, 0x900001fdU, "verification: a record is not the one the update had to write (Change) or a left-over old record does not match the key (Delete)") \
    X(GENREG_RC_VERIFY_NOTHING_CHANGED, 0x90000200U, "verification: the rewritten copy shows no changed, removed or added record") \
    X(GENREG_RC_GROW_ALLOC_FAILED, 0x90000219U, "allocating a work buffer failed: the larger buffer for a record longer than the largest record size, or the line normaliser's buffer") \
    X(GENREG_RC_GROW_FREE_FAILED, 0x9000021aU, "freeing a work buffer failed: the previous buffer while growing it for a long record, or the line normaliser's buffer") \
    X(GENREG_RC_NO_VALIDATE_SLOT, 0x9000021bU, "the ValidateRecord slot is empty") \
    X(GENREG_RC_NO_COMPARE_SLOT, 0x9000021cU, "the CompareRecord slot is empty") \
    X(GENREG_RC_NO_MAX_SIZE_SLOT, 0x9000021dU, "the GetMaxRecordSize slot is empty") \
    X(GENREG_RC_NO_SIZE_SLOT, 0x9000021eU, "the GetRecordSize slot is empty (records not packed)") \
    X(GENREG_RC_NO_PACKED_SIZE_SLOT, 0x9000021fU, "the GetPackedSize slot is empty (records packed)") \
    X(GENREG_RC_NO_UNPACK_SLOT, 0x90000222U, "the UnpackRecord slot is empty while records are packed") \
    X(GENREG_RC_NO_PACK_SLOT, 0x90000223U, "the PackRecord slot is empty while records are packed") \
    X(GENREG_RC_UNPACK_FAILED, 0x90000254U, "the schema's UnpackRecord callback failed") \
    X(GENREG_RC_PACK_FAILED, 0x90000255U, "the schema's PackRecord callback failed") \
    X(GENREG_RC_NO_SCAN, 0x9000025aU, "GetNext called while no scan is open on the handle") \
    X(GENREG_RC_VERIFY_KEY_MISMATCH, 0x90000274U, "verification (Change): an old record that was replaced does not match the key") \
    X(GENREG_RC_VERIFY_UNEXPECTED_CHANGE, 0x90000275U, "verification (Add, or an operation of another kind): a record pair differs where no change is allowed") \
    X(GENREG_RC_VERIFY_READ_COPY_FAILED, 0x90000276U, "verification: reading the rewritten copy failed") \
    X(GENREG_RC_VERIFY_COPY_SHORT, 0x90000277U, "verification (Change): the rewritten copy ends before the old file") \
    X(GENREG_RC_VERIFY_EXTRA_RECORD, 0x90000278U, "verification (Delete): the rewritten copy holds a record that the old file lacks") \
    X(GENREG_RC_VERIFY_NO_ADDED_RECORD, 0x90000279U, "verification (Add): the copy does not go on past the end of the old file") \
    X(GENREG_RC_VERIFY_ADDED_MISMATCH, 0x9000027aU, "verification (Add): the record past the end of the old file is not the added record") \
    X(GENREG_RC_VERIFY_TOO_MANY_ADDED, 0x9000027bU, "verification (Add): the copy holds more than one record past the end of the old file") \
    X(GENREG_RC_VERIFY_DUPLICATES, 0x9000027cU, "verification: more than one record changed or removed while duplicates are not allowed") \
    X(GENREG_RC_SLOTS_INCOMPLETE, 0x9000027dU, "the callback slots that the binary store needs are not all set") \
    X(GENREG_RC_VERIFY_DELETE_MISMATCH, 0x9000027eU, "verification (Delete): an old record missing from the copy does not match the key") \
    X(GENREG_RC_NO_POST_UPDATE_SLOT, 0x900003f2U, "feature 0x40 is set but the PostUpdate slot is empty") \
    X(GENREG_RC_FILE_NOT_FOUND, 0x90000513U, "the registry file does not exist (opening a read transaction); Get passes it through") \
    /* text line store */ \
    X(GENREG_RC_BUFFER_TOO_SMALL, 0x90000008U, "a line (with the line end that Add appends) does not fit in the 2048-character line buffer") \
    X(GENREG_RC_END_OF_INPUT, 0x900001c1U, "no further line or token: the line reader reached the end of the file, or the tokenizer found no further token") \
    X(GENREG_RC_LINE_PACK_FAILED, 0x90000201U, "text store: the schema PackRecord callback could not format the new line") \
    X(GENREG_RC_LINE_UNPACK_FAILED, 0x90000215U, "text store: UnpackRecord could not parse a line (logged only; the line is kept or compared as parsed so far)") \
    X(GENREG_RC_NO_LINE_UNPACK_SLOT, 0x90000220U, "text store: the UnpackRecord slot (line to record) is empty") \
    X(GENREG_RC_NO_LINE_PACK_SLOT, 0x90000221U, "text store: the PackRecord slot (record to line) is empty") \
    X(GENREG_RC_OPEN_LINE_BACKSLASH, 0x90000709U, "text store Add with joining off: the file's last line has no line end and ends in a backslash, which a reader drops; any line end would make it part of the line's text, so the file is left as it is") \
    /* record schemas */ \
    X(GENREG_RC_BAD_STORED_TYPE, 0x900001b4U, "a stored global registry record has a record type other than 1, 2 or 4") \
    X(GENREG_RC_BASENAME_FAILED, 0x900001b8U, "the base (file) name of a registry file path could not be taken") \
    X(GENREG_RC_DIRNAME_FAILED, 0x900001b9U, "the directory name of a registry file path could not be taken") \
    X(GENREG_RC_NULL_ARGUMENT, 0x900001f3U, "a required argument (path, record, text) is null or empty") \
    X(GENREG_RC_PATH_TOO_LONG, 0x900001f4U, "registry file path is 254 characters or longer") \
    X(GENREG_RC_EMPTY_RECORD, 0x900001f5U, "record holds nothing (its content flags are zero)") \
    X(GENREG_RC_NO_EQUAL_SIGN, 0x90000207U, "a profile line (or the line used as layout template) has no \"=\" after the variable name") \
    X(GENREG_RC_UNTERMINATED_QUOTE, 0x90000208U, "a quoted profile value has no closing double quote") \
    X(GENREG_RC_VARIABLE_MISSING, 0x9000020aU, "variable name required by the match flags but missing") \
    X(GENREG_RC_VALUE_MISSING, 0x9000020bU, "value required by the match flags but missing") \
    X(GENREG_RC_SERVICE_NO_PORT, 0x9000020cU, "services line: a name without a port/protocol word") \
    X(GENREG_RC_SERVICE_NO_SLASH, 0x9000020dU, "services line: port/protocol word has no '/' (logged with severity 4; parse succeeds)") \
    X(GENREG_RC_SERVICE_BAD_PROTOCOL, 0x9000020eU, "services line: protocol is not udp, tcp, ddp or divert (logged with severity 4; parse succeeds)") \
    X(GENREG_RC_SERVICE_NAME_REQUIRED, 0x9000020fU, "services record: selector needs the name, record has none") \
    X(GENREG_RC_SERVICE_PORT_REQUIRED, 0x90000210U, "services record: selector needs the port, record's port is 0") \
    X(GENREG_RC_SERVICE_PROTOCOL_REQUIRED, 0x90000211U, "services record: selector needs the protocol, record has none") \
    X(GENREG_RC_SERVICE_NAME_MISSING, 0x90000212U, "formatting a services entry without a name") \
    X(GENREG_RC_SERVICE_PORT_MISSING, 0x90000213U, "formatting a services entry with port 0") \
    X(GENREG_RC_SERVICE_PROTOCOL_MISSING, 0x90000214U, "formatting a services entry without a protocol") \
    X(GENREG_RC_SERVICE_FIELD_UNWRITABLE, 0x90000740U, "formatting a services entry whose field a line cannot hold so that it reads back the same: a name, protocol or alias that is empty or holds a blank or '#', aliases behind an unknown protocol or more than the alias table holds, a comment with a line end or a character that is not printable") \
    X(GENREG_RC_BAD_RECORD_TYPE, 0x90000226U, "global registry record type is 0 or greater than 4") \
    X(GENREG_RC_EMPTY_FIELD_MASK, 0x90000227U, "global registry record has an empty field mask") \
    X(GENREG_RC_INST_SERVICE_EMPTY, 0x90000229U, "instance record: Service present but empty") \
    X(GENREG_RC_INST_NAME_EMPTY, 0x9000022bU, "instance record: InstanceName present but empty") \
    X(GENREG_RC_INST_PATH_EMPTY, 0x9000022cU, "instance record: InstancePath present but empty") \
    X(GENREG_RC_INST_USAGE_EMPTY, 0x9000022dU, "instance record: Usage present but empty") \
    X(GENREG_RC_INST_START_AT_BOOT_INVALID, 0x9000022eU, "instance record: StartAtBoot present and not 0 or 1") \
    X(GENREG_RC_INST_MAINTENANCE_INVALID, 0x9000022fU, "instance record: Maintenance present and not 0 or 1") \
    X(GENREG_RC_INST_TEXT128_EMPTY, 0x90000230U, "instance record: field bit 0x80 present but empty") \
    X(GENREG_RC_INST_TEXT256_EMPTY, 0x90000231U, "instance record: field bit 0x100 present but empty") \
    X(GENREG_RC_INST_COMMENT_EMPTY, 0x90000232U, "instance record: Comment present but empty") \
    X(GENREG_RC_INST_SERVICE_REQUIRED, 0x90000233U, "instance record: match flags need Service, field mask lacks it") \
    X(GENREG_RC_INST_VERSION_REQUIRED, 0x90000234U, "instance record: match flags need VersionCode, field mask lacks it") \
    X(GENREG_RC_INST_NAME_REQUIRED, 0x90000235U, "instance record: match flags need InstanceName, field mask lacks it") \
    X(GENREG_RC_INST_PATH_REQUIRED, 0x90000236U, "instance record: match flags need InstancePath, field mask lacks it") \
    X(GENREG_RC_INST_USAGE_REQUIRED, 0x90000237U, "instance record: match flags need Usage, field mask lacks it") \
    X(GENREG_RC_INST_START_AT_BOOT_REQUIRED, 0x90000238U, "instance record: match flags need StartAtBoot, field mask lacks it") \
    X(GENREG_RC_INST_MAINTENANCE_REQUIRED, 0x90000239U, "instance record: match flags need Maintenance, field mask lacks it") \
    X(GENREG_RC_INST_TEXT128_REQUIRED, 0x9000023aU, "instance record: match flags need field bit 0x80, field mask lacks it") \
    X(GENREG_RC_INST_TEXT256_REQUIRED, 0x9000023bU, "instance record: match flags need field bit 0x100, field mask lacks it") \
    X(GENREG_RC_INST_COMMENT_REQUIRED, 0x9000023cU, "instance record: match flags need Comment, field mask lacks it") \
    X(GENREG_RC_SVC_SERVICE_EMPTY, 0x9000023dU, "service record: Service present but empty") \
    X(GENREG_RC_SVC_TEXT4_EMPTY, 0x9000023fU, "service record: field bit 0x4 present but empty") \
    X(GENREG_RC_SVC_TEXT8_EMPTY, 0x90000240U, "service record: field bit 0x8 present but empty") \
    X(GENREG_RC_SVC_TEXT16_EMPTY, 0x90000241U, "service record: field bit 0x10 present but empty") \
    X(GENREG_RC_SVC_SERVICE_REQUIRED, 0x90000242U, "service record: match flags need Service, field mask lacks it") \
    X(GENREG_RC_SVC_VERSION_REQUIRED, 0x90000243U, "service record: match flags need VersionCode, field mask lacks it") \
    X(GENREG_RC_SVC_TEXT4_REQUIRED, 0x90000244U, "service record: match flags need field bit 0x4, field mask lacks it") \
    X(GENREG_RC_SVC_TEXT8_REQUIRED, 0x90000245U, "service record: match flags need field bit 0x8, field mask lacks it") \
    X(GENREG_RC_SVC_TEXT16_REQUIRED, 0x90000246U, "service record: match flags need field bit 0x10, field mask lacks it") \
    X(GENREG_RC_VAR_SERVICE_EMPTY, 0x90000247U, "variable record: Service present but empty") \
    X(GENREG_RC_VAR_VARIABLE_EMPTY, 0x90000248U, "variable record: Variable present but empty") \
    X(GENREG_RC_VAR_VALUE_EMPTY, 0x90000249U, "variable record: Value present but empty") \
    X(GENREG_RC_VAR_COMMENT_EMPTY, 0x9000024aU, "variable record: Comment present but empty") \
    X(GENREG_RC_VAR_SERVICE_REQUIRED, 0x9000024bU, "variable record: match flags need Service, field mask lacks it") \
    X(GENREG_RC_VAR_VARIABLE_REQUIRED, 0x9000024cU, "variable record: match flags need Variable, field mask lacks it") \
    X(GENREG_RC_VAR_VALUE_REQUIRED, 0x9000024dU, "variable record: match flags need Value, field mask lacks it") \
    X(GENREG_RC_VAR_COMMENT_REQUIRED, 0x9000024eU, "variable record: match flags need Comment, field mask lacks it") \
    X(GENREG_RC_PACK_NO_MEMORY, 0x9000024fU, "buffer for packing a global registry record could not be allocated or grown") \
    X(GENREG_RC_PACK_FREE_FAILED, 0x90000250U, "packing buffer could not be released") \
    X(GENREG_RC_PACK_SIZE_MISMATCH, 0x90000251U, "bytes written while packing differ from the size computed beforehand") \
    X(GENREG_RC_UNPACK_NO_MEMORY, 0x90000252U, "work block for unpacking a global registry record could not be allocated") \
    X(GENREG_RC_UNPACK_FREE_FAILED, 0x90000253U, "work block for unpacking could not be released") \
    X(GENREG_RC_GLOBAL_PATH_TOO_LONG, 0x90000258U, "the global registry path does not fit: the environment value is longer than 260 characters, or the caller's buffer is shorter than the path plus terminator") \
    X(GENREG_RC_GLOBAL_PATH_NO_BUFFER, 0x90000259U, "no buffer was given for the global registry path") \
    X(GENREG_RC_LINE_TOO_LONG, 0x90000273U, "a line does not fit the 2048-character line buffer: a formatted line would reach 2047 characters, or a lookup met a line of the file that long (the log entry gives its line number and length)") \
    X(GENREG_RC_SVC_INT64_REQUIRED, 0x9000050eU, "service record: match flags need field bit 0x40, field mask lacks it") \
    X(GENREG_RC_SVC_INT256_REQUIRED, 0x9000050fU, "service record: match flags need field bit 0x100, field mask lacks it") \
    X(GENREG_RC_SVC_FLAG128_REQUIRED, 0x90000510U, "service record: match flags need field bit 0x80, field mask lacks it") \
    X(GENREG_RC_SVC_INT512_REQUIRED, 0x90000511U, "service record: match flags need field bit 0x200, field mask lacks it") \
    X(GENREG_RC_VAR_TEXT8_EMPTY, 0x900005e6U, "variable record: field bit 0x8 present but empty") \
    X(GENREG_RC_STORED_ENTRY_PAST_END, 0x90000700U, "a stored global registry record is damaged: its header, an entry or its checksum runs past the record's end") \
    X(GENREG_RC_STORED_ENTRY_TOO_LONG, 0x90000701U, "a stored global registry record is damaged: a text entry is longer than its field") \
    X(GENREG_RC_STORED_TEXT_MALFORMED, 0x90000702U, "a stored global registry record is damaged: a text entry is not one text ending in its terminator") \
    X(GENREG_RC_STORED_NUMBER_LENGTH, 0x90000703U, "a stored global registry record is damaged: a numeric entry has the wrong length") \
    X(GENREG_RC_STORED_LENGTH_MISMATCH, 0x90000704U, "a stored global registry record is damaged: its entries end before the end of the stored record") \
    X(GENREG_RC_PACK_UNKNOWN_FIELDS, 0x90000705U, "a global registry record announces fields unknown to its type that its previous stored form does not carry") \
    X(GENREG_RC_PACK_TOO_LARGE, 0x90000706U, "the stored form of a global registry record would not fit: it would exceed 1,048,576 bytes, or the buffer it is packed into (a record's size, 2608 bytes, for the PackRecord slot)") \
    X(GENREG_RC_PACK_TEXT_UNTERMINATED, 0x90000707U, "a text field of a global registry record to store fills its field without a terminator") \
    X(GENREG_RC_LEVEL_QUERY_FAILED, 0x90000708U, "the running product level (version text and level number) could not be learned") \
    /* installed-copy and service directory */ \
    X(GENREG_RC_NOT_SUPPORTED, 0x90000005U, "operation not supported: setting or removing instance or service information") \
    X(GENREG_RC_NO_MEMORY, 0x9000000dU, "a memory allocation failed") \
    X(GENREG_RC_NOT_FOUND, 0x900001beU, "no (further) matching record or entry: end of a scan or of a list, or nothing matched") \
    X(GENREG_RC_VERSION_NULL_STRING, 0x9000025cU, "version text or its output buffer is null") \
    X(GENREG_RC_VERSION_FORMAT_FAILED, 0x9000025dU, "formatting the version text failed") \
    X(GENREG_RC_VERSION_BUFFER_TOO_SMALL, 0x9000025eU, "output buffer too small for the version text and its terminator") \
    X(GENREG_RC_VERSION_SYNTAX, 0x9000025fU, "version text holds a character other than digits and dots, or more than four groups") \
    X(GENREG_RC_NULL_SERVICE_INFO, 0x90000260U, "service information record pointer is null") \
    X(GENREG_RC_NULL_INSTANCE_INFO, 0x90000261U, "instance information record pointer is null") \
    X(GENREG_RC_NULL_LIST_HANDLE, 0x90000262U, "instance or service list handle is null") \
    X(GENREG_RC_LIST_OPEN_FAILED, 0x90000263U, "an instance or service list could not be opened (unknown type, no profiles, registry failure)") \
    X(GENREG_RC_NEXT_SERVICE_FAILED, 0x90000265U, "reading the next service entry failed") \
    X(GENREG_RC_NEXT_INSTANCE_FAILED, 0x90000266U, "reading the next instance entry failed") \
    X(GENREG_RC_SERVICE_INFO_FAILED, 0x90000267U, "no matching service entry, or it could not be read") \
    X(GENREG_RC_INSTANCE_INFO_FAILED, 0x90000268U, "no matching instance entry, or it could not be read") \
    X(GENREG_RC_NULL_LIST_TYPE, 0x90000280U, "the type text of an instance list is null") \
    X(GENREG_RC_REGISTRY_KEY_NOT_FOUND, 0x90000282U, "a product registry key that must exist does not exist")
// clang-format on

// The list above is plain preprocessor text that C can use too
// (genreg/genreg_c.h makes its constants from it); the rest is C++.
#ifdef __cplusplus
#define GENREG_RC_DEFINE_(name, value, meaning) name = value,
enum : unsigned int { GENREG_RC_OK = 0U, GENREG_RC_LIST(GENREG_RC_DEFINE_) };
#undef GENREG_RC_DEFINE_

// The constant name of a return code ("GENREG_RC_LOCKED"), "GENREG_RC_OK"
// for 0, or null for a value that is not one of the library's codes (a
// code passed through from the operating system, for instance).
GENREG_API const char* genregRcName(unsigned int rc);

// One line saying when the library produces the code, or null.
GENREG_API const char* genregRcMeaning(unsigned int rc);

// Looks a code up by its constant name; 0 and false when unknown.
GENREG_API bool genregRcFromName(const char* name, unsigned int* rc);
#endif  // __cplusplus

#endif
