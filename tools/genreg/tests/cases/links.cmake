# A registry file named through a symbolic link: the edit changes the file
# the link points to, the link stays a link, and the companions of the
# update sit beside the target (a left-over copy there becomes the
# corruption marker there, which the next update removes). The Windows build reads the host's links
# through the emulator as plain files, so only POSIX runs this case.
if(WINDOWS)
  return()
endif()

function(expect_link name)
  if(NOT IS_SYMLINK "${WORK}/${name}")
    message(SEND_ERROR "${name} is no longer a symbolic link")
    genreg_bump()
  endif()
endfunction()

file(MAKE_DIRECTORY "${WORK}/real")
genreg_write(real/profile.env "port = 1\n")
genreg_write(real/profile.env.tmp "left over\n")
file(CREATE_LINK real/profile.env "${WORK}/link.env" SYMBOLIC)
file(CREATE_LINK link.env "${WORK}/chain.env" SYMBOLIC)

genreg_run(ARGS profile chain.env set port 2)
genreg_expect_file(real/profile.env.cor "left over\n")
genreg_run(ARGS profile link.env set trace on --comment x)
genreg_run(ARGS profile link.env get port STDOUT "2\n")
expect_link(link.env)
expect_link(chain.env)
genreg_expect_file(real/profile.env "port = 2\ntrace = on # x\n")
foreach(name link.env.cor link.env.tmp chain.env.cor .link.env.lock .chain.env.bkp)
  genreg_expect_missing(${name})
endforeach()

# A link whose target does not exist yet: the edit creates the target.
file(CREATE_LINK real/new.env "${WORK}/new.env" SYMBOLIC)
genreg_run(ARGS profile new.env set a 1)
expect_link(new.env)
genreg_expect_file(real/new.env "a = 1\n")

# The other kinds of file, the global registry file through --file too.
genreg_copy(services binvar.dat)
file(RENAME "${WORK}/services" "${WORK}/real/services")
file(RENAME "${WORK}/binvar.dat" "${WORK}/real/binvar.dat")
file(CREATE_LINK real/services "${WORK}/services.link" SYMBOLIC)
file(CREATE_LINK real/binvar.dat "${WORK}/binvar.link" SYMBOLIC)
file(CREATE_LINK real/global.reg "${WORK}/global.link" SYMBOLIC)
genreg_run(ARGS services services.link add extra 7000/tcp)
genreg_run(ARGS services real/services get extra STDOUT_BEGINS "NAME   PORT  PROTOCOL")
genreg_run(ARGS binvar binvar.link set port 1)
genreg_run(ARGS binvar real/binvar.dat get port STDOUT "1\n")
genreg_run(ARGS global --file global.link add variable QVR A 1)
genreg_run(ARGS global --file global.link set variable QVR A 2)
genreg_run(ARGS global --file real/global.reg get variable QVR A STDOUT "2\n")
foreach(name services.link binvar.link global.link)
  expect_link(${name})
endforeach()

# The file missing beside a backup that no update left (a link planted at
# the backup's name, a named pipe, a directory): check says so and
# --restore refuses it, since every later edit would follow a link put in
# the file's place. The link and what it points to stay as they were.
genreg_write(victim "secret\n")
file(CREATE_LINK victim "${WORK}/.planted.env.bkp" SYMBOLIC)
file(MAKE_DIRECTORY "${WORK}/.folder.env.bkp")
execute_process(COMMAND mkfifo "${WORK}/.pipe.env.bkp")
foreach(case "planted|a symbolic link" "folder|a directory" "pipe|a named pipe")
  genreg_split_case("${case}" name what)
  set(reason "its backup .${name}.env.bkp is ${what}, not a regular file")
  genreg_run(ARGS check ${name}.env EXIT 1 STDOUT
    "${name}.env: missing: ${reason} an update leaves: look at it, then remove it\nneeds attention\n")
  genreg_run(ARGS check ${name}.env --restore EXIT 3
    STDERR "genreg: cannot restore ${name}.env: ${reason}\n")
  genreg_expect_missing(${name}.env)
endforeach()
expect_link(.planted.env.bkp)
genreg_expect_file(victim "secret\n")

# A lock name that every update refuses (a link, a named pipe, a directory,
# a second name of another file) is reported as needing attention, never as
# a harmless left-over.
genreg_write(other "")
file(CREATE_LINK victim "${WORK}/.l1.env.lock" SYMBOLIC)
execute_process(COMMAND mkfifo "${WORK}/.l2.env.lock")
file(MAKE_DIRECTORY "${WORK}/.l3.env.lock")
file(CREATE_LINK "${WORK}/other" "${WORK}/.l4.env.lock")
foreach(case "l1|a symbolic link" "l2|a named pipe" "l3|a directory" "l4|a file with a second name")
  genreg_split_case("${case}" name what)
  genreg_write(${name}.env "a = 1\n")
  genreg_run(ARGS profile ${name}.env set a 2 EXIT 3 STDERR
    "genreg: cannot set a in ${name}.env: GENREG_RC_NOT_REGULAR_FILE (0x90000515)\n")
  genreg_run(ARGS check ${name}.env EXIT 1 STDOUT
    "${name}.env: reads whole (1 record)\n.${name}.env.lock: ${what}, not a regular file of its own: every update refuses it until it is removed\nneeds attention\n")
endforeach()

# A loop of links holds no file and no edit can create one there: every verb
# refuses it as it refuses a named pipe, and check says it needs attention.
file(CREATE_LINK loop2.env "${WORK}/loop1.env" SYMBOLIC)
file(CREATE_LINK loop1.env "${WORK}/loop2.env" SYMBOLIC)
set(loop "loop1.env is not a profile: it is a loop of symbolic links, not a regular file")
genreg_run(ARGS profile loop1.env list EXIT 3 STDERR "genreg: ${loop}\n")
genreg_run(ARGS profile loop1.env set a 1 EXIT 3 STDERR "genreg: ${loop}\n")
genreg_run(ARGS check loop1.env EXIT 1 STDOUT "${loop}\nneeds attention\n")
expect_link(loop1.env)
