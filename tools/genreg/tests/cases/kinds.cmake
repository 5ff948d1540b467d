# Every verb refuses a file of another kind before it reads or writes it:
# one line naming the file and what it looks like, exit 3, the file byte
# for byte as it was. An empty file is of every kind.
genreg_copy(profile.env services binvar.dat)
genreg_run(ARGS global --file global.reg add instance QVR I1 --path /p)
genreg_write(tail "xx")
genreg_concat(mixed.reg global.reg binvar.dat)
genreg_concat(damaged.dat binvar.dat tail)
genreg_concat(joined.dat binvar.dat global.reg)
foreach(name global.reg mixed.reg damaged.dat joined.dat)
  genreg_concat(${name}.saved ${name})
endforeach()

# "words|message", the words split at blanks.
set(cases
  "profile binvar.dat set port 1|binvar.dat is not a profile: it looks like a binary variable/value file"
  "profile binvar.dat list|binvar.dat is not a profile: it looks like a binary variable/value file"
  "profile damaged.dat get port|damaged.dat is not a profile: it looks like binary data (byte 1 is a NUL byte)"
  "services global.reg add x 1/tcp|global.reg is not a services file: it looks like a global registry file"
  "services mixed.reg list|mixed.reg is not a services file: it looks like a binary record file of another kind"
  "binvar global.reg list|global.reg is not a binary variable/value file: it looks like a global registry file"
  "binvar profile.env add x 1|profile.env is not a binary variable/value file: it looks like a text file"
  "binvar damaged.dat set port 1|damaged.dat is a damaged binary variable/value file: the record at byte 160 runs past the end of the file"
  "binvar mixed.reg remove x|mixed.reg is not a binary variable/value file: it looks like a binary record file of another kind"
  "binvar joined.dat get x|joined.dat is a damaged binary variable/value file: the record at byte 160 is not a 36-byte record"
  "global --file services list|services is not a global registry file: it looks like a text file"
  "global --file binvar.dat set variable QVR X 1|binvar.dat is not a global registry file: it looks like a binary variable/value file"
  "global --file mixed.reg get variable QVR X|mixed.reg is a damaged global registry file: the record at byte 44 is not a global registry record"
  "global --file damaged.dat upgrade-levels|damaged.dat is not a global registry file: it looks like binary data (byte 1 is a NUL byte)")
foreach(case ${cases})
  genreg_split_case("${case}" words message)
  genreg_run(ARGS ${words} EXIT 3 STDERR "genreg: ${message}\n")
endforeach()
genreg_expect_unchanged(profile.env)
genreg_expect_unchanged(services)
genreg_expect_unchanged(binvar.dat)
foreach(name global.reg mixed.reg damaged.dat joined.dat)
  genreg_expect_same(${name} "${WORK}/${name}.saved")
endforeach()
foreach(companion .binvar.dat.lock binvar.dat.tmp global.reg.tmp .profile.env.lock)
  genreg_expect_missing(${companion})
endforeach()

# An empty file is of every kind: each verb reads it and adds to it.
genreg_write(empty.env "")
genreg_write(empty.dat "")
genreg_write(empty.reg "")
genreg_run(ARGS profile empty.env list STDOUT "NAME  VALUE  COMMENT\n")
genreg_run(ARGS profile empty.env set a 1)
genreg_expect_file(empty.env "a = 1\n")
genreg_run(ARGS binvar empty.dat list STDOUT "NAME  VALUE  COMMENT\n")
genreg_run(ARGS binvar empty.dat add a 1)
genreg_run(ARGS binvar empty.dat get a STDOUT "1\n")
genreg_run(ARGS global --file empty.reg list --variables STDOUT "Variables\nSERVICE  NAME\n")
genreg_run(ARGS global --file empty.reg add variable QVR A 1)
genreg_run(ARGS global --file empty.reg get variable QVR A STDOUT "1\n")

# A name that holds no regular file is refused before it is opened: a named
# pipe would make a reading verb wait for a writer for ever.
file(MAKE_DIRECTORY "${WORK}/folder.env")
set(refused "profile folder.env get a|folder.env is not a profile"
            "services folder.env list|folder.env is not a services file"
            "binvar folder.env add a 1|folder.env is not a binary variable/value file")
if(NOT WINDOWS)
  execute_process(COMMAND mkfifo "${WORK}/pipe.env" RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(SEND_ERROR "mkfifo failed: ${made}")
  endif()
  list(APPEND refused "profile pipe.env set a 1|pipe.env is not a profile"
                      "global --file pipe.env list|pipe.env is not a global registry file")
endif()
foreach(case ${refused})
  genreg_split_case("${case}" words message)
  set(what "a directory")
  if(message MATCHES "^pipe")
    set(what "a named pipe")
  endif()
  genreg_run(ARGS ${words} EXIT 3 STDERR "genreg: ${message}: it is ${what}, not a regular file\n")
endforeach()
genreg_run(ARGS check folder.env --restore EXIT 1
           STDOUT "folder.env is not a profile: it is a directory, not a regular file\nneeds attention\n")
