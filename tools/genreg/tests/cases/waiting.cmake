# Waiting for the update lock: --no-wait, --timeout SECONDS, and the note
# of an edit that waits. genreg_run_locked holds the lock of the file while
# the edit runs (see run_case.cmake).
genreg_write(p.env "port = 1\n")
genreg_write(s.txt "svc\t\t100/tcp\n")

# Without waiting, or with a wait shorter than a second: the edit fails at
# once (exit 3) with GENREG_RC_LOCKED, says nothing about waiting, and the
# file stays as it was.
foreach(case
    "profile p.env set port 2 --no-wait|set port in p.env"
    "profile p.env unset port --timeout 0|unset port in p.env"
    "profile p.env set port 2 --timeout 0.2|set port in p.env"
    "services s.txt set svc 101/tcp --no-wait|set svc in s.txt"
    "services s.txt remove svc --timeout=0.1|remove svc from s.txt"
    "binvar b.dat add v 1 --no-wait|add v to b.dat"
    "global --file g.reg set variable QVR K 1 --no-wait|set variable QVR K in g.reg")
  genreg_split_case("${case}" words what)
  list(GET words 1 file)
  if(file STREQUAL "--file")
    list(GET words 2 file)
  endif()
  genreg_run_locked(FILE ${file} UNTIL exit ARGS ${words} EXIT 3 STDERR
    "genreg: cannot ${what}: GENREG_RC_LOCKED (0x900001c4)\n")
endforeach()
genreg_expect_file(p.env "port = 1\n")
genreg_expect_file(s.txt "svc\t\t100/tcp\n")
genreg_expect_missing(b.dat)
genreg_expect_missing(g.reg)

# A wait that runs out after more than a second says once that it waits.
genreg_run_locked(FILE p.env UNTIL exit ARGS profile p.env set port 2 --timeout 1.5 EXIT 3 STDERR
  "genreg: waiting for the update lock of p.env\ngenreg: cannot set port in p.env: GENREG_RC_LOCKED (0x900001c4)\n")
genreg_expect_file(p.env "port = 1\n")

# An edit that waits without a limit says so once, and goes on when the
# lock is given up (the holder gives it up on that line).
genreg_run_locked(FILE p.env UNTIL first-line ARGS profile p.env set port 3 STDERR
  "genreg: waiting for the update lock of p.env\n")
genreg_expect_file(p.env "port = 3\n")
genreg_run_locked(FILE s.txt UNTIL first-line ARGS services s.txt set svc 102/tcp --timeout 60 STDERR
  "genreg: waiting for the update lock of s.txt\n")
genreg_expect_file(s.txt "svc\t\t102/tcp\n")

# The options belong to the editing actions only, and take a number.
foreach(case
    "profile p.env get port --no-wait|option --no-wait does not apply here"
    "profile p.env set port 4 --no-wait --timeout 2|give --no-wait or --timeout, not both"
    "profile p.env set port 4 --timeout -1|--timeout takes a number of seconds from 0 to 4294967"
    "profile p.env set port 4 --timeout 1e3|--timeout takes a number of seconds from 0 to 4294967"
    "profile p.env set port 4 --timeout 5000000|--timeout takes a number of seconds from 0 to 4294967"
    "services s.txt list --timeout 1|option --timeout does not apply here")
  genreg_split_case("${case}" words message)
  list(GET words 0 verb)
  genreg_run(ARGS ${words} EXIT 2 STDERR "genreg ${verb}: ${message} (see genreg ${verb} --help)\n")
endforeach()
genreg_expect_file(p.env "port = 3\n")
