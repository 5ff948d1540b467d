# The command line itself: help, version, and the usage errors of every
# verb, each with exit status 2 and nothing on standard output.
genreg_run(ARGS --help STDOUT_BEGINS
  "usage: genreg [--json] [--log FILE] [--trace FILE] [--registry FILE] VERB ...\n")
genreg_run(ARGS -h STDOUT_BEGINS "usage: genreg ")
genreg_run(ARGS --version STDOUT_BEGINS "genreg ")
genreg_run(ARGS rc --version STDOUT_BEGINS "genreg ")

# --help describes each verb, wherever it stands.
foreach(verb profile services rc)
  genreg_run(ARGS ${verb} --help STDOUT_BEGINS "usage: genreg ${verb} ")
endforeach()
genreg_run(ARGS profile p.env set --help STDOUT_BEGINS "usage: genreg profile FILE list\n")
genreg_run(ARGS --help services STDOUT_BEGINS "usage: genreg services FILE list\n")

genreg_run(ARGS EXIT 2 STDERR "genreg: give a verb (see genreg --help)\n")
genreg_run(ARGS --json EXIT 2 STDERR "genreg: give a verb (see genreg --help)\n")
genreg_run(ARGS frobnicate EXIT 2 STDERR "genreg: unknown verb 'frobnicate' (see genreg --help)\n")
genreg_run(ARGS --frob rc 0 EXIT 2 STDERR "genreg: unknown option --frob (see genreg --help)\n")
genreg_run(ARGS --log EXIT 2 STDERR "genreg: option --log needs a value (see genreg --help)\n")

# Verb by verb: a table of "arguments|message".
set(cases
  "profile|give a FILE and one of list, get, set, unset"
  "profile p.env|give a FILE and one of list, get, set, unset"
  "profile p.env frob|unknown action 'frob'"
  "profile p.env list extra|unexpected argument 'extra'"
  "profile p.env get|missing argument"
  "profile p.env set port|missing argument"
  "profile p.env list --all|option --all does not apply here"
  "profile p.env get port --comment x|option --comment does not apply here"
  "profile p.env get port --bool=yes|option --bool takes no value"
  "profile p.env set port 1 --comment|option --comment needs a value"
  "profile p.env unset port --port 1|unknown option --port"
  "services s|give a FILE and one of list, get, add, set, remove"
  "services s add svc|missing argument"
  "services s remove svc --comment x|option --comment does not apply here"
  "services s get svc --all|unknown option --all"
  "rc 1 2|unexpected argument '2'"
  "rc 1 --json=yes|option --json takes no value")
foreach(case ${cases})
  genreg_split_case("${case}" words message)
  list(GET words 0 verb)
  genreg_run(ARGS ${words} EXIT 2 STDERR
    "genreg ${verb}: ${message} (see genreg ${verb} --help)\n")
endforeach()

# "--" ends the options: a word that looks like one is taken as a word.
genreg_run(ARGS rc -- --json EXIT 1 STDERR "genreg: '--json' is not a return code of the library\n")

# Short options other than -h are named as unknown options, before or after
# the verb; a dash and a digit is still a word (a negative number).
genreg_run(ARGS -q rc 0 EXIT 2 STDERR "genreg: unknown option -q (see genreg --help)\n")
genreg_run(ARGS -V EXIT 2 STDERR "genreg: unknown option -V (see genreg --help)\n")
genreg_run(ARGS rc 0 -V EXIT 2 STDERR "genreg rc: unknown option -V (see genreg rc --help)\n")
genreg_run(ARGS profile p.env get -x EXIT 2 STDERR
  "genreg profile: unknown option -x (see genreg profile --help)\n")
