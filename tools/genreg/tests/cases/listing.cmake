# The registry readers: a mistyped or missing --registry fails naming the
# file, and one unreadable entry no longer hides a listing. Windows reads its
# real registry, so only POSIX runs this case.
if(WINDOWS)
  return()
endif()
genreg_copy(machine.reg)

foreach(verb "instances|list the instances" "copies|list the installed copies"
             "instance QVRINST1|find QVR instance QVRINST1")
  genreg_split_case("${verb}" words what)
  genreg_run(ARGS --registry machin.reg ${words} EXIT 1 STDERR
    "genreg: cannot ${what}: the registry export file machin.reg does not exist\n")
  genreg_run(ARGS ${words} EXIT 1 STDERR
    "genreg: cannot ${what}: no registry export is configured (use --registry FILE or set GENREG_REGISTRY_FILE)\n")
  genreg_run(ARGS --registry . ${words} EXIT 3 STDERR
    "genreg: cannot ${what}: the registry export file . is a directory, not a regular file\n")
endforeach()

# QVRCOPY3's first instance cannot be read (its profile directory and name do
# not fit the field) and the next one can; QVRCOPY4 has no level, so its
# entry fails at every call and ends the instances of that kind.
file(READ "${EXAMPLES}/machine.reg" machine)
string(REPEAT "a" 1000 long)
set(copies "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrin\\QVR\\INSTALLEDCOPIES")
set(broken "${machine}
[${copies}\\QVRCOPY3]
\"QVR Path Name\"=\"E:\\\\QVR\"

[${copies}\\QVRCOPY3\\CurrentVersion]
\"Version\"=\"11\"
\"Release\"=\"1\"
\"Modification\"=\"0\"
\"Service Level\"=\"0\"

[${copies}\\QVRCOPY3\\PROFILES\\QVRBADINSTANCE0000000000000000]
\"QVRINSTPROF\"=\"${long}\"

[${copies}\\QVRCOPY3\\PROFILES\\QVRINST5]
\"QVRINSTPROF\"=\"E:\\\\DATA\"

[${copies}\\QVRCOPY4\\PROFILES\\QVRINST6]
")
genreg_write(broken.reg "${broken}")
genreg_run(ARGS --registry broken.reg instances EXIT 3 STDOUT [[
TYPE  NAME      COPY      VERSION   START     LOCATION          INSTALL PATH                PROFILE PATH
QVR   QVRINST1  QVRCOPY1  9.7.4.0   auto      local             C:\Program Files\QVR\COPY1  C:\ProgramData\QVR\COPY1\QVRINST1
QVR   QVRINST2  QVRCOPY1  9.7.4.0   -         local             C:\Program Files\QVR\COPY1  C:\Program Files\QVR\COPY1\QVRINST2
QVR   QVRINST3  QVRCOPY2  10.1.0.0  -         cluster QVRCLUS1  D:\QVR\COPY2                -
QVR   QVRINST4  QVRCOPY2  10.1.0.0  disabled  local             D:\QVR\COPY2                D:\QVRDATA\QVRINST4
QVR   QVRINST5  QVRCOPY3  11.1.0.0  -         local             E:\QVR                      E:\DATA\QVRINST5
PLV   QVRADM    QVRCOPY1  9.7.4.0   disabled  local             C:\Program Files\QVR\COPY1  C:\ProgramData\QVR\ADMIN
]] STDERR [[
genreg: cannot read the QVR entry QVRBADINSTANCE0000000000000000: GENREG_RC_NEXT_INSTANCE_FAILED (0x90000266)
genreg: cannot read the QVR entry QVRINST6: GENREG_RC_NEXT_INSTANCE_FAILED (0x90000266)
]])
genreg_run(ARGS --registry broken.reg --json instances --type PLV STDOUT_BEGINS "{\n  \"instances\": [")

# copies: QVRCOPY4's entry fails (no level) and QVRCOPY5's (no installation
# path), and the list moves past both; it cannot move past a copy whose name
# does not fit (129 characters), so the listing ends there.
string(REPEAT "L" 121 tail)
genreg_write(copies.reg "${broken}
[${copies}\\QVRCOPY5\\CurrentVersion]
\"Version\"=\"11\"
\"Release\"=\"5\"
\"Modification\"=\"0\"
\"Service Level\"=\"0\"

[${copies}\\QVRCOPY6]
\"QVR Path Name\"=\"F:\\\\QVR\"

[${copies}\\QVRCOPY6\\CurrentVersion]
\"Version\"=\"11\"
\"Release\"=\"6\"
\"Modification\"=\"0\"
\"Service Level\"=\"0\"

[${copies}\\QVRCOPYZ${tail}]
")
set(copies_read [[
TYPE  COPY      VERSION   INSTALL PATH
PLV   QVRCOPY1  9.7.4.0   C:\Program Files\QVR\COPY1
QVR   QVRCOPY1  9.7.4.0   C:\Program Files\QVR\COPY1
QVR   QVRCOPY2  10.1.0.0  D:\QVR\COPY2
QVR   QVRCOPY3  11.1.0.0  E:\QVR
QVR   QVRCOPY6  11.6.0.0  F:\QVR
]])
set(copies_failed [[
genreg: cannot read the QVR entry of copy QVRCOPY4: GENREG_RC_NEXT_SERVICE_FAILED (0x90000265)
genreg: cannot read the QVR entry of copy QVRCOPY5: GENREG_RC_NEXT_SERVICE_FAILED (0x90000265)
genreg: cannot read the installed copy after QVRCOPY6: GENREG_RC_NEXT_SERVICE_FAILED (0x90000265)
]])
genreg_run(ARGS --registry copies.reg copies EXIT 3 STDOUT "${copies_read}" STDERR "${copies_failed}")
genreg_run(ARGS --registry copies.reg --json copies EXIT 3
  STDOUT_BEGINS "{\n  \"copies\": [\n    {\n      \"type\": \"PLV\"" STDERR "${copies_failed}")
