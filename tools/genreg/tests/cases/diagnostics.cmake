# --log and --trace switch on the library's diagnostic log and trace; the
# environment variables do the same when the options are absent.
genreg_copy(profile.env)
genreg_write(broken "svc\nok 1/tcp\n")

# A line without a port is a failure the services schema logs; the listing
# still shows the name it holds.
genreg_run(ARGS --log log.txt services broken list STDOUT [[
NAME  PORT  PROTOCOL  ALIASES  COMMENT
svc   -     -         -        -
ok    1     tcp       -        -
]])
file(READ "${WORK}/log.txt" log)
if(NOT log MATCHES "GENREG_RC_SERVICE_NO_PORT")
  message(SEND_ERROR "log.txt lacks the failure:\n${log}")
  genreg_bump()
endif()

file(SIZE "${WORK}/log.txt" logSize)
genreg_run(ARGS profile profile.env get port --trace trace.txt STDOUT "50000\n")
file(READ "${WORK}/trace.txt" trace)
if(NOT trace MATCHES "ENTER func=0x082a")
  message(SEND_ERROR "trace.txt lacks function entries:\n${trace}")
  genreg_bump()
endif()

genreg_env(GENREG_LOG_FILE env-log.txt)
genreg_run(ARGS services broken list STDOUT [[
NAME  PORT  PROTOCOL  ALIASES  COMMENT
svc   -     -         -        -
ok    1     tcp       -        -
]])
file(READ "${WORK}/env-log.txt" log)
if(NOT log MATCHES "GENREG_RC_SERVICE_NO_PORT")
  message(SEND_ERROR "env-log.txt lacks the failure:\n${log}")
  genreg_bump()
endif()
# Each log went to its own file only.
file(SIZE "${WORK}/log.txt" logSizeAfter)
if(NOT logSize EQUAL logSizeAfter)
  message(SEND_ERROR "log.txt grew without --log")
  genreg_bump()
endif()

# Without --log, a failure still says what the library found: the file and
# line of a malformed registry export (Linux reads the registry from one).
if(NOT WINDOWS)
  genreg_write(bad.reg "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\n")
  genreg_run(ARGS --registry bad.reg instances EXIT 3 STDERR
    "genreg: cannot list the QVR instances: OSS_RC_FAILED (0x90000001)
genreg: malformed registry export file bad.reg line 3: key line without closing ]\n")
  # instance too: a registry it cannot read is a failure, not a missing instance.
  genreg_run(ARGS --registry bad.reg instance QVRINST1 EXIT 3 STDERR
    "genreg: cannot find QVR instance QVRINST1: GENREG_RC_INSTANCE_INFO_FAILED (0x90000268)
genreg: malformed registry export file bad.reg line 3: key line without closing ]\n")
endif()

# A permission problem says so and names the path. Root passes every
# permission check, so the program then runs as the unprivileged user.
if(NOT WINDOWS)
  execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_program(SETPRIV setpriv)
  if(NOT uid STREQUAL "0" OR SETPRIV)
    set(saved_emulator "${EMULATOR}")
    if(uid STREQUAL "0")
      set(EMULATOR ${SETPRIV} --reuid=65534 --regid=65534 --clear-groups)
    endif()
    file(MAKE_DIRECTORY "${WORK}/closed")
    genreg_write(closed/profile.env "port = 1\n")
    file(CHMOD "${WORK}/closed/profile.env" PERMISSIONS OWNER_READ OWNER_WRITE)
    file(CHMOD "${WORK}/closed" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    genreg_run(ARGS profile closed/profile.env list EXIT 3 STDERR
      "genreg: cannot list closed/profile.env: GENREG_RC_PERMISSION_DENIED (0x90000514)
genreg: permission denied: closed/profile.env\n")
    # An update's copy must get the file's owner and group: a file of a
    # group the user is not in cannot be updated, and the message says so.
    if(uid STREQUAL "0")
      file(MAKE_DIRECTORY "${WORK}/open")
      file(CHMOD "${WORK}/open" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
        GROUP_READ GROUP_WRITE GROUP_EXECUTE WORLD_READ WORLD_WRITE WORLD_EXECUTE)
      genreg_write(open/profile.env "port = 1\n")
      execute_process(COMMAND chown 65534:0 "${WORK}/open/profile.env")
      genreg_run(ARGS profile open/profile.env set port 2 EXIT 3 STDERR
        "genreg: cannot set port in open/profile.env: GENREG_RC_OPEN_FAILED (0x900001c5)
genreg: permission denied: the update's copy open/profile.env.tmp cannot be given the owner and group of open/profile.env\n")
      genreg_expect_file(open/profile.env "port = 1\n")
      genreg_expect_missing(open/profile.env.tmp)
    endif()
    set(EMULATOR "${saved_emulator}")
  endif()
endif()

# An over-long line is named with its number and length, without --log,
# whether a lookup meets it or an edit; the edit leaves the file as it was.
string(REPEAT "x" 3000 long)
genreg_write(long.env "a = 1\nlong = ${long}\nb = 2\n")
genreg_write(long.services "svc 1/tcp\nlong ${long} 2/tcp\n")
foreach(case
    "profile long.env get long|get long in long.env: GENREG_RC_LINE_TOO_LONG (0x90000273)"
    "profile long.env list|list long.env: GENREG_RC_LINE_TOO_LONG (0x90000273)"
    "profile long.env set b 3|set b in long.env: GENREG_RC_BUFFER_TOO_SMALL (0x90000008)"
    "services long.services add x 9/tcp|add x to long.services: GENREG_RC_BUFFER_TOO_SMALL (0x90000008)")
  genreg_split_case("${case}" words failure)
  list(GET words 1 file)
  set(length 3007)
  if(file STREQUAL "long.services")
    set(length 3011)
  endif()
  genreg_run(ARGS ${words} EXIT 3 STDERR "genreg: cannot ${failure}
genreg: line 2 of ${file} is ${length} characters long, more than a line can hold (2047)\n")
endforeach()
genreg_expect_file(long.env "a = 1\nlong = ${long}\nb = 2\n")
genreg_expect_file(long.services "svc 1/tcp\nlong ${long} 2/tcp\n")

# A record whose own line would be too long is refused saying so.
genreg_write(short.env "a = 1\n")
genreg_run(ARGS profile short.env set c ${long} EXIT 3 STDERR
  "genreg: cannot set c in short.env: GENREG_RC_LINE_PACK_FAILED (0x90000201)
genreg: the record's line would be longer than a line can hold (2046 characters)\n")
genreg_expect_file(short.env "a = 1\n")
