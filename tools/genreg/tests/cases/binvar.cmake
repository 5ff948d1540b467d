# genreg binvar on a copy of examples/binvar.dat: listings, lookups, and
# edits of a file whose names may repeat.
genreg_copy(binvar.dat)

genreg_run(ARGS binvar binvar.dat list STDOUT [[
NAME       VALUE  COMMENT
maxagents  200    agent limit
port       50000  instance port
diaglevel  3      -
timeout    -1     no limit
]])
genreg_run(ARGS binvar binvar.dat get timeout STDOUT "-1\n")
genreg_run(ARGS binvar binvar.dat get port --json STDOUT [[
{
  "name": "port",
  "value": 50000,
  "comment": "instance port"
}
]])
genreg_run(ARGS binvar binvar.dat get missing EXIT 1 STDERR
  "genreg: cannot get missing in binvar.dat: GENREG_RC_NO_MATCH (0x900001f6)\n")

# What a record cannot hold is refused before the file is touched.
set(cases
  "add|0123456789abcdef|1|a name has 1 to 15 characters"
  "add|x|2147483648|a value is a signed 32-bit decimal number"
  "add|x|12x|a value is a signed 32-bit decimal number"
  "set|0123456789abcdef|1|a name has 1 to 15 characters")
foreach(case ${cases})
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 action)
  list(GET fields 1 name)
  list(GET fields 2 value)
  list(GET fields 3 message)
  genreg_run(ARGS binvar binvar.dat ${action} ${name} -- ${value} EXIT 2 STDERR
    "genreg binvar: ${message} (see genreg binvar --help)\n")
endforeach()
genreg_run(ARGS binvar binvar.dat add x 1 --comment 0123456789abcdef EXIT 2 STDERR
  "genreg binvar: a comment has at most 15 characters (see genreg binvar --help)\n")
string(ASCII 127 del)
genreg_run(ARGS binvar binvar.dat add "a${del}" 1 EXIT 2 STDERR
  "genreg binvar: a name cannot hold control characters (see genreg binvar --help)\n")
genreg_run(ARGS binvar binvar.dat add x 1 --comment "a${del}" EXIT 2 STDERR
  "genreg binvar: a comment cannot hold control characters (see genreg binvar --help)\n")
genreg_expect_unchanged(binvar.dat)

# add appends even a name that is taken; remove then needs --all.
genreg_run(ARGS binvar binvar.dat add port -2147483648 --comment "second port")
genreg_run(ARGS binvar binvar.dat remove port EXIT 3 STDERR
  "genreg: cannot remove port from binvar.dat: 2 records have that name (use --all to remove them all)\n")
genreg_run(ARGS binvar binvar.dat set diaglevel 4 --comment "raised")
genreg_run(ARGS binvar binvar.dat set maxagents 300)
genreg_run(ARGS binvar binvar.dat set timeout -1)
genreg_run(ARGS binvar binvar.dat set newvar 2147483647)
genreg_run(ARGS binvar binvar.dat list --json STDOUT [[
{
  "file": "binvar.dat",
  "variables": [
    {
      "name": "maxagents",
      "value": 300,
      "comment": "agent limit"
    },
    {
      "name": "port",
      "value": 50000,
      "comment": "instance port"
    },
    {
      "name": "diaglevel",
      "value": 4,
      "comment": "raised"
    },
    {
      "name": "timeout",
      "value": -1,
      "comment": "no limit"
    },
    {
      "name": "port",
      "value": -2147483648,
      "comment": "second port"
    },
    {
      "name": "newvar",
      "value": 2147483647,
      "comment": null
    }
  ]
}
]])
genreg_run(ARGS binvar binvar.dat remove port --all)
genreg_run(ARGS binvar binvar.dat remove port EXIT 1 STDERR
  "genreg: cannot remove port from binvar.dat: GENREG_RC_NO_MATCH (0x900001f6)\n")
genreg_run(ARGS binvar binvar.dat list STDOUT [[
NAME       VALUE       COMMENT
maxagents  300         agent limit
diaglevel  4           raised
timeout    -1          no limit
newvar     2147483647  -
]])

# Undoing the edits gives back the example's records, the re-added one last;
# an empty --comment= drops a comment.
genreg_run(ARGS binvar binvar.dat remove newvar)
genreg_run(ARGS binvar binvar.dat set maxagents 200)
genreg_run(ARGS binvar binvar.dat set diaglevel 3 --comment=)
genreg_run(ARGS binvar binvar.dat add port 50000 --comment "instance port")
genreg_run(ARGS binvar binvar.dat list STDOUT [[
NAME       VALUE  COMMENT
maxagents  200    agent limit
diaglevel  3      -
timeout    -1     no limit
port       50000  instance port
]])

genreg_run(ARGS binvar absent.dat get port EXIT 1 STDERR
  "genreg: cannot get port in absent.dat: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_expect_missing(absent.dat)
genreg_run(ARGS binvar new.dat set answer 42)
genreg_run(ARGS binvar new.dat list --json STDOUT [[
{
  "file": "new.dat",
  "variables": [
    {
      "name": "answer",
      "value": 42,
      "comment": null
    }
  ]
}
]])
