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
