# genreg version: the three forms of a product level, from each form.
foreach(form 9.7.4.0 9070400 0x0009000700040000 0X9000700040000)
  genreg_run(ARGS version ${form} STDOUT [[
text    9.7.4.0
number  9070400
code    0x0009000700040000
]])
endforeach()

# Short texts fill the missing groups with zeros; a product number keeps
# only its lowest eight digits; a group keeps its low 16 bits, and one above
# 99 leaves no product number.
set(cases
  "10.1|10.1.0.0|10010000|0x000a000100000000"
  "9..4|9.0.4.0|9000400|0x0009000000040000"
  "5|0.0.0.5|5|0x0000000000000005"
  "123456789|23.45.67.89|23456789|0x0017002d00430059"
  "70000.1|4464.1.0.0|null|0x1170000100000000"
  "9.7.100.0|9.7.100.0|null|0x0009000700640000")
foreach(case ${cases})
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 input)
  list(GET fields 1 text)
  list(GET fields 2 number)
  list(GET fields 3 code)
  genreg_run(ARGS version ${input} --json STDOUT
    "{\n  \"text\": \"${text}\",\n  \"number\": ${number},\n  \"code\": \"${code}\"\n}\n")
endforeach()

# Texts the library refuses, numbers out of range and bad hex codes.
foreach(bad 9.7a 9.7.4.0.1 -9 0x 0xg1 4294967296)
  genreg_run(ARGS version ${bad} EXIT 2 STDERR
    "genreg: cannot read the version '${bad}': GENREG_RC_VERSION_SYNTAX (0x9000025f)\n")
endforeach()
genreg_run(ARGS version EXIT 2 STDERR
  "genreg version: missing argument (see genreg version --help)\n")
genreg_run(ARGS version 9 --64 EXIT 2 STDERR
  "genreg version: unknown option --64 (see genreg version --help)\n")
