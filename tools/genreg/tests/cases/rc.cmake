# genreg rc: return codes by value, in hex or decimal, and by name.
genreg_run(ARGS rc 0x900001c4 STDOUT [[
name     GENREG_RC_LOCKED
value    0x900001c4 (2415919556)
meaning  the update lock is held by another handle or process, and the caller asked not to wait or its time to wait ran out
]])

# The four spellings of one code give the same answer.
foreach(code 2415919606 0x900001F6 GENREG_RC_NO_MATCH no_match)
  genreg_run(ARGS rc ${code} --json STDOUT [[
{
  "name": "GENREG_RC_NO_MATCH",
  "value": "0x900001f6",
  "decimal": 2415919606,
  "meaning": "no record matches the key (Get, Change, Delete)"
}
]])
endforeach()

genreg_run(ARGS rc 0 STDOUT [[
name     GENREG_RC_OK
value    0x00000000 (0)
meaning  success
]])

foreach(code 0x12345 NO_SUCH_CODE 0x1900001f6 -1)
  genreg_run(ARGS rc ${code} EXIT 1 STDERR
    "genreg: '${code}' is not a return code of the library\n")
endforeach()
genreg_run(ARGS rc EXIT 2 STDERR "genreg rc: missing argument (see genreg rc --help)\n")

# Every code the command prints can be looked up: the platform services'
# codes and the Windows error numbers passed through, by value and by name.
set(cases
  "0x90000001|OSS_RC_FAILED"
  "oss_rc_access_denied|OSS_RC_ACCESS_DENIED"
  "LOCK_NOT_AVAILABLE|OSS_RC_LOCK_NOT_AVAILABLE"
  "2|OSS_WINERR_FILE_NOT_FOUND"
  "0x3f1|OSS_WINERR_BADDB"
  "0xFFFFFFFF|OSS_WINERR_PROC_NOT_FOUND"
  "file_not_found|GENREG_RC_FILE_NOT_FOUND"
  "no_memory|GENREG_RC_NO_MEMORY")
foreach(case ${cases})
  genreg_split_case("${case}" code name)
  genreg_run(ARGS rc ${code} STDOUT_BEGINS "name     ${name}\nvalue    0x")
endforeach()
genreg_run(ARGS rc 0x90000001 --json STDOUT_BEGINS [[
{
  "name": "OSS_RC_FAILED",
  "value": "0x90000001",
  "decimal": 2415919105,
  "meaning": "a call of the operating-system services failed; the log says which]])
