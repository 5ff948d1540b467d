# genreg global: the three record types of the global registry file, built
# up from nothing, read back in every form, changed and removed.
if(WINDOWS)
  set(default_path ".\\global.reg")
else()
  set(default_path "./global.reg")
endif()
genreg_run(ARGS global path STDOUT "${default_path}\n")
genreg_run(ARGS global --file sub/g.reg path --json STDOUT "{\n  \"path\": \"sub/g.reg\"\n}\n")
genreg_env(QVR_GLOBAL_REG_PATHNAME reg/global.reg)
genreg_run(ARGS global path STDOUT "reg/global.reg\n")

# Reading a file that is not there fails and creates nothing.
genreg_run(ARGS global list EXIT 1 STDERR
  "genreg: cannot list reg/global.reg: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_run(ARGS global get variable QVR X EXIT 1 STDERR
  "genreg: cannot get variable QVR X in reg/global.reg: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_expect_missing(reg/global.reg)

# add creates the file and its directory.
genreg_run(ARGS global add instance QVR QVRINST1 --version 9.7.4.0 --path "C:\\QVR\\COPY1"
  --usage production --start-at-boot 1 --maintenance 0 --text128 a --text256 b
  --comment "first instance")
genreg_run(ARGS global add instance QVR QVRINST2 --version 10.1 --path /opt/qvr)
genreg_run(ARGS global add service QVR 9.7.4.0 --level 3 --text4 four --text8 eight
  --text16 sixteen --int64 64 --flag128 255 --int256 256 --int512 512)
genreg_run(ARGS global add service PLV 9070400 --level 3)
genreg_run(ARGS global add variable QVR DEFAULTINST QVRINST1 --text8 t8 --comment "the default")
genreg_run(ARGS global add variable PLV TOOLSDIR "C:\\QVR\\TOOLS")

genreg_run(ARGS global list STDOUT [[
Instances
SERVICE  VERSION   NAME      PATH          USAGE       BOOT  MAINT  TEXT128  TEXT256  COMMENT
QVR      9.7.4.0   QVRINST1  C:\QVR\COPY1  production  1     0      a        b        first instance
QVR      10.1.0.0  QVRINST2  /opt/qvr      -           -     -      -        -        -

Services
KIND  VERSION  TEXT4  TEXT8  TEXT16   LEVEL  INT64  FLAG128  INT256  INT512
QVR   9.7.4.0  four   eight  sixteen  3      64     255      256     512
PLV   9.7.4.0  -      -      -        3      -      -        -       -

Variables
SERVICE  NAME         VALUE         TEXT8  COMMENT
QVR      DEFAULTINST  QVRINST1      t8     the default
PLV      TOOLSDIR     C:\QVR\TOOLS  -      -
]])
genreg_run(ARGS global list --variables --json STDOUT [[
{
  "file": "reg/global.reg",
  "variables": [
    {
      "service": "QVR",
      "name": "DEFAULTINST",
      "value": "QVRINST1",
      "text8": "t8",
      "comment": "the default"
    },
    {
      "service": "PLV",
      "name": "TOOLSDIR",
      "value": "C:\\QVR\\TOOLS"
    }
  ]
}
]])
genreg_run(ARGS global list --services STDOUT [[
Services
KIND  VERSION  TEXT4  TEXT8  TEXT16   LEVEL  INT64  FLAG128  INT256  INT512
QVR   9.7.4.0  four   eight  sixteen  3      64     255      256     512
PLV   9.7.4.0  -      -      -        3      -      -        -       -
]])

genreg_run(ARGS global get instance QVR QVRINST1 STDOUT [[
service        QVR
version        9.7.4.0
name           QVRINST1
path           C:\QVR\COPY1
usage          production
start-at-boot  1
maintenance    0
text128        a
text256        b
comment        first instance
]])
genreg_run(ARGS global get service QVR 0x0009000700040000 --json STDOUT [[
{
  "kind": "QVR",
  "version": "9.7.4.0",
  "text4": "four",
  "text8": "eight",
  "text16": "sixteen",
  "level": 3,
  "int64": 64,
  "flag128": 255,
  "int256": 256,
  "int512": 512
}
]])
genreg_run(ARGS global get variable PLV TOOLSDIR STDOUT "C:\\QVR\\TOOLS\n")
genreg_run(ARGS global get variable PLV NOTHERE EXIT 1 STDERR
  "genreg: cannot get variable PLV NOTHERE in reg/global.reg: GENREG_RC_NO_MATCH (0x900001f6)\n")
genreg_run(ARGS global get service QVR 9.7.4.1 EXIT 1 STDERR
  "genreg: cannot get service QVR 9.7.4.1 in reg/global.reg: GENREG_RC_NO_MATCH (0x900001f6)\n")

# One record per identity.
genreg_run(ARGS global add instance QVR QVRINST1 --path /elsewhere EXIT 3 STDERR
  "genreg: cannot add instance QVR QVRINST1 to reg/global.reg: GENREG_RC_DUPLICATE (0x900001f1)\n")

# set changes the fields given and keeps the others, or adds the record.
genreg_run(ARGS global set instance QVR QVRINST2 --usage test --start-at-boot 0)
genreg_run(ARGS global set service PLV 9.7.4.0 --level 4)
genreg_run(ARGS global set variable QVR DEFAULTINST QVRINST2)
genreg_run(ARGS global set variable QVR NEWVAR new)
genreg_run(ARGS global set variable QVR NEWVAR new)
genreg_run(ARGS global remove instance QVR QVRINST1)
genreg_run(ARGS global remove service QVR 9.7.4.0)
genreg_run(ARGS global remove variable PLV TOOLSDIR)
genreg_run(ARGS global remove variable PLV TOOLSDIR EXIT 1 STDERR
  "genreg: cannot remove variable PLV TOOLSDIR from reg/global.reg: GENREG_RC_NO_MATCH (0x900001f6)\n")
genreg_run(ARGS global list --json STDOUT [[
{
  "file": "reg/global.reg",
  "instances": [
    {
      "service": "QVR",
      "version": "10.1.0.0",
      "name": "QVRINST2",
      "path": "/opt/qvr",
      "usage": "test",
      "startAtBoot": 0
    }
  ],
  "services": [
    {
      "kind": "PLV",
      "version": "9.7.4.0",
      "level": 4
    }
  ],
  "variables": [
    {
      "service": "QVR",
      "name": "DEFAULTINST",
      "value": "QVRINST2",
      "text8": "t8",
      "comment": "the default"
    },
    {
      "service": "QVR",
      "name": "NEWVAR",
      "value": "new"
    }
  ]
}
]])
file(SHA256 "${WORK}/reg/global.reg" before)

# What a field cannot hold is refused before the file is touched.
string(REPEAT "x" 64 long64)
set(cases
  "get|record type: instance, service or variable|get"
  "add|record type: instance, service or variable|add instances QVR X"
  "get|missing argument|get instance QVR"
  "get|unexpected argument 'extra'|get instance QVR X extra"
  "get|option --path does not apply here|get instance QVR X --path p"
  "add|option --level does not apply to instance records|add instance QVR X --level 1"
  "add|option --version does not apply to service records|add service QVR 9.7 --version 9.8"
  "add|the start-at-boot is a number from 0 to 1|add instance QVR X --start-at-boot 2"
  "add|the flag128 is a number from 0 to 255|add service QVR 9.7 --flag128 256"
  "add|the level is a number from 0 to 4294967295|add service QVR 9.7 --level -1"
  "add|the version is a version such as 9.7.4.0|add service QVR 9.7a"
  "add|the path is a text of 1 to 1023 characters|add instance QVR X --path="
  "add|the name is a text of 1 to 63 characters|add instance QVR ${long64}"
  "set|missing argument|set variable QVR NAME"
  "list|give at most one of --instances, --services, --variables|list --instances --services"
  "frob|unknown action 'frob'|frob")
foreach(case ${cases})
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 1 message)
  list(GET fields 2 words)
  separate_arguments(words UNIX_COMMAND "${words}")
  if(message MATCHES "^record type")
    set(message "give the record type: instance, service or variable")
  endif()
  genreg_run(ARGS global ${words} EXIT 2 STDERR
    "genreg global: ${message} (see genreg global --help)\n")
endforeach()
file(SHA256 "${WORK}/reg/global.reg" after)
if(NOT before STREQUAL after)
  message(SEND_ERROR "a refused command changed reg/global.reg")
  genreg_bump()
endif()

# upgrade-levels raises the QVR and PLV service records of the running
# version (set here through the installation library's overrides) to the
# running level, and no other record.
genreg_env(QVR_GLOBAL_REG_PATHNAME levels.reg)
genreg_env(GENREG_LEVEL_VERSION 9.7.4.0)
genreg_env(GENREG_LEVEL_NUMBER 5)
genreg_run(ARGS global add service QVR 9.7.4.0 --level 3)
genreg_run(ARGS global add service PLV 9.7.4.0 --level 4)
genreg_run(ARGS global add service qvr 9.7.4.0 --level 3)
genreg_run(ARGS global add service QVR 9.7.3.0 --level 1)
genreg_run(ARGS global add service OTHER 9.7.4.0 --level 1)
genreg_run(ARGS global upgrade-levels STDOUT "2 service records changed\n")
genreg_run(ARGS global upgrade-levels --json STDOUT
  "{\n  \"file\": \"levels.reg\",\n  \"changed\": 0\n}\n")
# A missing file is not found, as for remove, and stays missing.
genreg_run(ARGS global --file none.reg upgrade-levels EXIT 1 STDERR
  "genreg: cannot upgrade the service levels in none.reg: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_expect_missing(none.reg)
genreg_run(ARGS global list --services STDOUT [[
Services
KIND   VERSION  LEVEL
QVR    9.7.4.0  5
PLV    9.7.4.0  5
qvr    9.7.4.0  3
QVR    9.7.3.0  1
OTHER  9.7.4.0  1
]])
