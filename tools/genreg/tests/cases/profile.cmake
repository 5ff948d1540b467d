# genreg profile on a copy of examples/profile.env: listings, typed reads,
# edits that keep the file's layout, and the failures of each action.
genreg_copy(profile.env)

genreg_run(ARGS profile profile.env list STDOUT [[
NAME            VALUE     COMMENT
svcename        qvrinst1  service name of the instance
port            50000     -
start_timeout   30        seconds
diaglevel       3         -
authentication  SERVER    -
trace           off       -
buffer_pool     "64 MB"   quoted: the value holds a blank
ratio           0.75      -
]])

genreg_run(ARGS --json profile profile.env list STDOUT [[
{
  "file": "profile.env",
  "variables": [
    {
      "name": "svcename",
      "value": "qvrinst1",
      "comment": "service name of the instance"
    },
    {
      "name": "port",
      "value": "50000",
      "comment": null
    },
    {
      "name": "start_timeout",
      "value": "30",
      "comment": "seconds"
    },
    {
      "name": "diaglevel",
      "value": "3",
      "comment": null
    },
    {
      "name": "authentication",
      "value": "SERVER",
      "comment": null
    },
    {
      "name": "trace",
      "value": "off",
      "comment": null
    },
    {
      "name": "buffer_pool",
      "value": "\"64 MB\"",
      "comment": "quoted: the value holds a blank"
    },
    {
      "name": "ratio",
      "value": "0.75",
      "comment": null
    }
  ]
}
]])

# get: as written, and converted.
genreg_run(ARGS profile profile.env get port STDOUT "50000\n")
genreg_run(ARGS profile profile.env get buffer_pool STDOUT "\"64 MB\"\n")
genreg_run(ARGS profile profile.env get diaglevel --int STDOUT "3\n")
genreg_run(ARGS profile profile.env get port --uint STDOUT "50000\n")
genreg_run(ARGS profile profile.env get trace --bool STDOUT "false\n")
genreg_run(ARGS profile profile.env get ratio --double STDOUT "0.75\n")
genreg_run(ARGS profile profile.env get port --json STDOUT [[
{
  "name": "port",
  "value": "50000"
}
]])
genreg_run(ARGS profile profile.env get trace --bool --json STDOUT [[
{
  "name": "trace",
  "value": false
}
]])
genreg_run(ARGS profile profile.env get ratio --json --double STDOUT [[
{
  "name": "ratio",
  "value": 0.75
}
]])
genreg_run(ARGS profile profile.env get authentication --int EXIT 3 STDERR
  "genreg: cannot read authentication in profile.env as a signed integer: \"SERVER\"\n")
genreg_run(ARGS profile profile.env get ratio --bool EXIT 3 STDERR
  "genreg: cannot read ratio in profile.env as a boolean: \"0.75\"\n")
genreg_run(ARGS profile profile.env get missing EXIT 1 STDERR
  "genreg: cannot get missing in profile.env: GENREG_RC_NO_MATCH (0x900001f6)\n")
genreg_run(ARGS profile profile.env get port --int --uint EXIT 2 STDERR
  "genreg profile: give at most one of --bool, --int, --uint, --double (see genreg profile --help)\n")
genreg_expect_unchanged(profile.env)

# Reading a missing file fails and does not create it.
genreg_run(ARGS profile absent.env list EXIT 1 STDERR
  "genreg: cannot list absent.env: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_run(ARGS profile absent.env get port EXIT 1 STDERR
  "genreg: cannot get port in absent.env: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_run(ARGS profile absent.env unset port EXIT 1 STDERR
  "genreg: cannot unset port in absent.env: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_expect_missing(absent.env)

# Values that would not read back as written are refused; the file stays.
genreg_run(ARGS profile profile.env set port "5#0" EXIT 2 STDERR
  "genreg profile: a value cannot hold '#' (it starts a comment) (see genreg profile --help)\n")
genreg_run(ARGS profile profile.env set port " 50" EXIT 2 STDERR
  "genreg profile: a value cannot start or end with a blank (see genreg profile --help)\n")
genreg_run(ARGS profile profile.env set port "a  b" EXIT 2 STDERR
  "genreg profile: blanks in a value shrink to one unless it is quoted (see genreg profile --help)\n")
genreg_run(ARGS profile profile.env set port "\"a b" EXIT 2 STDERR
  "genreg profile: a quoted value must end with its closing quote (see genreg profile --help)\n")
genreg_run(ARGS profile profile.env set "a=b" 1 EXIT 2 STDERR
  "genreg profile: a variable name is one word without '=' or '#' (see genreg profile --help)\n")
genreg_expect_unchanged(profile.env)

# set keeps the indentation, the blanks around "=", the comment of the line
# it changes and the blanks before a kept or new comment; new variables go
# to the end.
genreg_run(ARGS profile profile.env set port 50001)
genreg_run(ARGS profile profile.env set start_timeout 60)
genreg_run(ARGS profile profile.env set svcename qvrinst9 --comment "renamed")
genreg_run(ARGS profile profile.env set buffer_pool "\"128 MB\"")
genreg_run(ARGS profile profile.env set newvar hello --comment "added by genreg")
genreg_run(ARGS profile profile.env set compact 1 --compact)
genreg_run(ARGS profile profile.env set ratio 0.75)
genreg_run(ARGS profile profile.env unset diaglevel)
genreg_expect_file(profile.env [[
# Profile of the instance QVRINST1, read by the server when it starts.
# Lines are "name = value"; a comment may follow a "#".

svcename = qvrinst9          # renamed
port = 50001
  start_timeout	=  60        # seconds
authentication = SERVER
trace = off
buffer_pool = "128 MB"       # quoted: the value holds a blank
ratio = 0.75
newvar = hello # added by genreg
compact=1
]])
genreg_run(ARGS profile profile.env get buffer_pool STDOUT "\"128 MB\"\n")

# A new comment alone on an unchanged value is written.
genreg_run(ARGS profile profile.env set port 50001 --comment "new")
genreg_capture(OUT listed ARGS profile profile.env list)
if(NOT listed MATCHES "\nport +50001 +new\n")
  message(SEND_ERROR "the new comment of port is missing:\n${listed}")
endif()
genreg_run(ARGS profile profile.env unset diaglevel EXIT 1 STDERR
  "genreg: cannot unset diaglevel in profile.env: GENREG_RC_NO_MATCH (0x900001f6)\n")

# Several lines setting one name: unset needs --all; set changes them all.
genreg_write(twice.env "port = 1\n# between\nport=2\n")
genreg_run(ARGS profile twice.env get port STDOUT "1\n")
genreg_run(ARGS profile twice.env unset port EXIT 3 STDERR
  "genreg: cannot unset port in twice.env: 2 lines set it (use --all to remove them all)\n")
genreg_run(ARGS profile twice.env set port 3)
genreg_expect_file(twice.env "port = 3\n# between\nport=3\n")
genreg_run(ARGS profile twice.env unset port --all)
genreg_expect_file(twice.env "# between\n")

# set creates a missing file.
genreg_run(ARGS profile new.env set answer 42)
genreg_expect_file(new.env "answer = 42\n")

# --json stays valid UTF-8 whatever bytes a file holds: well-formed UTF-8 is
# copied, any other byte is written as the code point of its value.
string(ASCII 233 latin1)
string(ASCII 195 lead)
string(ASCII 169 follow)
genreg_write(bytes.env "a = x${latin1}y\nb = ${lead}${follow}\nc = ${lead}\n")
genreg_run(ARGS --json profile bytes.env get a STDOUT "{\n  \"name\": \"a\",\n  \"value\": \"x\\u00e9y\"\n}\n")
genreg_run(ARGS --json profile bytes.env get b STDOUT "{\n  \"name\": \"b\",\n  \"value\": \"${lead}${follow}\"\n}\n")
genreg_run(ARGS --json profile bytes.env get c STDOUT "{\n  \"name\": \"c\",\n  \"value\": \"\\u00c3\"\n}\n")
