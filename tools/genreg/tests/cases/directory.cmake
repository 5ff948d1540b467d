# genreg instances, copies and instance. On Linux they read the example
# machine's registry export through --registry (or GENREG_REGISTRY_FILE);
# the Windows build reads the real registry of the test prefix, which holds
# no product, so there the empty machine is what is checked.
if(WINDOWS)
  genreg_run(ARGS instances STDOUT
    "TYPE  NAME  COPY  VERSION  START  LOCATION  INSTALL PATH  PROFILE PATH\n")
  genreg_run(ARGS instances --type PLV --json STDOUT "{\n  \"instances\": []\n}\n")
  genreg_run(ARGS copies EXIT 3 STDERR
    "genreg: cannot list the installed copies: GENREG_RC_LIST_OPEN_FAILED (0x90000263)\n")
  genreg_run(ARGS instance QVRINST1 EXIT 1 STDERR
    "genreg: cannot find QVR instance QVRINST1: GENREG_RC_INSTANCE_INFO_FAILED (0x90000268)\n")
  return()
endif()

genreg_copy(machine.reg)

# A registry without the product: no instances, no copies.
genreg_write(empty.reg "Windows Registry Editor Version 5.00\n")
genreg_run(ARGS --registry empty.reg instances STDOUT
  "TYPE  NAME  COPY  VERSION  START  LOCATION  INSTALL PATH  PROFILE PATH\n")
genreg_run(ARGS --registry empty.reg copies EXIT 3 STDERR
  "genreg: cannot list the installed copies: GENREG_RC_LIST_OPEN_FAILED (0x90000263)\n")

genreg_run(ARGS --registry machine.reg instances STDOUT [[
TYPE  NAME      COPY      VERSION   START     LOCATION          INSTALL PATH                PROFILE PATH
QVR   QVRINST1  QVRCOPY1  9.7.4.0   auto      local             C:\Program Files\QVR\COPY1  C:\ProgramData\QVR\COPY1\QVRINST1
QVR   QVRINST2  QVRCOPY1  9.7.4.0   -         local             C:\Program Files\QVR\COPY1  C:\Program Files\QVR\COPY1\QVRINST2
QVR   QVRINST3  QVRCOPY2  10.1.0.0  -         cluster QVRCLUS1  D:\QVR\COPY2                -
QVR   QVRINST4  QVRCOPY2  10.1.0.0  disabled  local             D:\QVR\COPY2                D:\QVRDATA\QVRINST4
PLV   QVRADM    QVRCOPY1  9.7.4.0   disabled  local             C:\Program Files\QVR\COPY1  C:\ProgramData\QVR\ADMIN
]])
genreg_run(ARGS instances --registry machine.reg --type PLV --64 --json STDOUT [[
{
  "instances": [
    {
      "name": "QVRADM",
      "type": "PLV",
      "copy": "QVRCOPY1",
      "version": "9.7.4.0",
      "start": "disabled",
      "remote": null,
      "cluster": null,
      "installPath": "C:\\Program Files\\QVR\\COPY1",
      "profilePath": "C:\\ProgramData\\QVR\\ADMIN",
      "flags": 16
    }
  ]
}
]])

genreg_env(GENREG_REGISTRY_FILE machine.reg)
genreg_run(ARGS copies STDOUT [[
TYPE  COPY      VERSION   INSTALL PATH
PLV   QVRCOPY1  9.7.4.0   C:\Program Files\QVR\COPY1
QVR   QVRCOPY1  9.7.4.0   C:\Program Files\QVR\COPY1
QVR   QVRCOPY2  10.1.0.0  D:\QVR\COPY2
]])
genreg_run(ARGS copies --json STDOUT [[
{
  "copies": [
    {
      "type": "PLV",
      "copy": "QVRCOPY1",
      "version": "9.7.4.0",
      "installPath": "C:\\Program Files\\QVR\\COPY1"
    },
    {
      "type": "QVR",
      "copy": "QVRCOPY1",
      "version": "9.7.4.0",
      "installPath": "C:\\Program Files\\QVR\\COPY1"
    },
    {
      "type": "QVR",
      "copy": "QVRCOPY2",
      "version": "10.1.0.0",
      "installPath": "D:\\QVR\\COPY2"
    }
  ]
}
]])

# The lookup upper-cases the name it is given; copy and version narrow it.
genreg_run(ARGS instance qvrinst1 STDOUT [[
name          QVRINST1
type          QVR
copy          QVRCOPY1
version       9.7.4.0
start         auto
location      local
install path  C:\Program Files\QVR\COPY1
profile path  C:\ProgramData\QVR\COPY1\QVRINST1
]])
genreg_run(ARGS instance QVRINST3 --copy QVRCOPY2 --version 10.1 --json STDOUT [[
{
  "name": "QVRINST3",
  "type": "QVR",
  "copy": "QVRCOPY2",
  "version": "10.1.0.0",
  "start": null,
  "remote": null,
  "cluster": "QVRCLUS1",
  "installPath": "D:\\QVR\\COPY2",
  "profilePath": null,
  "flags": 8
}
]])
genreg_run(ARGS instance QVRADM --type PLV STDOUT [[
name          QVRADM
type          PLV
copy          QVRCOPY1
version       9.7.4.0
start         disabled
location      local
install path  C:\Program Files\QVR\COPY1
profile path  C:\ProgramData\QVR\ADMIN
]])
genreg_run(ARGS instance QVRINST3 --copy QVRCOPY1 EXIT 1 STDERR
  "genreg: cannot find QVR instance QVRINST3: GENREG_RC_INSTANCE_INFO_FAILED (0x90000268)\n")
genreg_run(ARGS instance QVRINST3 --version 9.7.4.0 EXIT 1 STDERR
  "genreg: cannot find QVR instance QVRINST3: GENREG_RC_INSTANCE_INFO_FAILED (0x90000268)\n")
genreg_run(ARGS instance QVRINST3 --type PLV EXIT 1 STDERR
  "genreg: cannot find PLV instance QVRINST3: GENREG_RC_INSTANCE_INFO_FAILED (0x90000268)\n")

# Usage errors.
genreg_run(ARGS instances --type qvr EXIT 2 STDERR
  "genreg instances: --type is QVR or PLV (see genreg instances --help)\n")
genreg_run(ARGS instance EXIT 2 STDERR
  "genreg instance: missing argument (see genreg instance --help)\n")
genreg_run(ARGS instance X --version 9.x EXIT 2 STDERR
  "genreg instance: --version is a version such as 9.7.4.0 (see genreg instance --help)\n")
genreg_run(ARGS copies --type QVR EXIT 2 STDERR
  "genreg copies: unknown option --type (see genreg copies --help)\n")
