# Concurrent edits: set verbs started together, round after round, on
# each kind of file. Every set reads the record and writes it back under
# one hold of the update lock, so
#   - sets of different fields of one record all survive;
#   - first-time sets of one name leave exactly one record, holding one
#     of the values (the last to commit);
#   - no set that exited 0 is lost.
# Each round starts the runs at the same time; what is counted is how
# many rounds end otherwise (it must be none). The runs' standard error
# is not compared: a run that waits long enough says so there.
set(rounds 12)

# Plays the rounds: FILE removed (or written with TEXT), FIRST run alone
# when given, the RUN groups of RUNS started together, then SHOW's output
# matched against EXPECT. WHAT names the rounds that went wrong.
function(concurrent_rounds)
  cmake_parse_arguments(PARSE_ARGV 0 r "" "FILE;TEXT;EXPECT;WHAT" "FIRST;RUNS;SHOW")
  set(all_ok)
  foreach(arg IN LISTS r_RUNS)
    if(arg STREQUAL "RUN")
      list(APPEND all_ok 0)
    endif()
  endforeach()
  set(failed 0)
  foreach(round RANGE 1 ${rounds})
    file(REMOVE "${WORK}/${r_FILE}")
    if(DEFINED r_TEXT)
      genreg_write(${r_FILE} "${r_TEXT}")
    endif()
    if(r_FIRST)
      genreg_run(ARGS ${r_FIRST})
    endif()
    genreg_together(OUT statuses ${r_RUNS})
    genreg_capture(OUT out ARGS ${r_SHOW})
    if(NOT "${statuses}" STREQUAL "${all_ok}" OR NOT out MATCHES "${r_EXPECT}")
      math(EXPR failed "${failed} + 1")
    endif()
  endforeach()
  genreg_expect_count(failed 0 "${r_WHAT}")
endfunction()

# profile: a value with a comment beside another value; first-time sets.
concurrent_rounds(FILE p.env TEXT "# shared\nport = 0\n"
  RUNS RUN profile p.env set port 1 --comment x RUN profile p.env set port 2
  SHOW profile p.env list EXPECT "\nport +[12] +x\n$"
  WHAT "profile rounds where a value or the comment was lost")
concurrent_rounds(FILE first.env
  RUNS RUN profile first.env set K 1 RUN profile first.env set K 2 RUN profile first.env set K 3
  SHOW profile first.env list EXPECT "^NAME +VALUE +COMMENT\nK +[123] +-\n$"
  WHAT "profile rounds without exactly one K line")

# services: aliases and a comment set together; first-time sets.
concurrent_rounds(FILE s.txt TEXT "svc\t\t100/tcp\n"
  RUNS RUN services s.txt set svc 100/tcp al1 al2 RUN services s.txt set svc 100/tcp --comment c
  SHOW services s.txt get svc EXPECT "\nsvc +100 +tcp +al1 al2 +c\n$"
  WHAT "services rounds where the aliases or the comment were lost")
concurrent_rounds(FILE first.txt
  RUNS RUN services first.txt set svc 1/udp RUN services first.txt set svc 2/udp
       RUN services first.txt set svc 3/udp
  SHOW services first.txt list
  EXPECT "^NAME +PORT +PROTOCOL +ALIASES +COMMENT\nsvc +[123] +udp +- +-\n$"
  WHAT "services rounds without exactly one svc/udp entry")

# binvar: a value with a comment beside another value; first-time sets.
concurrent_rounds(FILE b.dat FIRST binvar b.dat add v 0
  RUNS RUN binvar b.dat set v 1 --comment c RUN binvar b.dat set v 2
  SHOW binvar b.dat list EXPECT "^NAME +VALUE +COMMENT\nv +[12] +c\n$"
  WHAT "binvar rounds where the value or the comment was lost")
concurrent_rounds(FILE first.dat
  RUNS RUN binvar first.dat set K 1 RUN binvar first.dat set K 2 RUN binvar first.dat set K 3
  SHOW binvar first.dat list EXPECT "^NAME +VALUE +COMMENT\nK +[123] +-\n$"
  WHAT "binvar rounds without exactly one K record")

# global: four fields of one instance set together; first-time sets.
concurrent_rounds(FILE g.reg FIRST global --file g.reg add instance QVR I --version 9.7.4.0
  RUNS RUN global --file g.reg set instance QVR I --path /p
       RUN global --file g.reg set instance QVR I --comment c
       RUN global --file g.reg set instance QVR I --usage u
       RUN global --file g.reg set instance QVR I --text128 t
  SHOW global --file g.reg get instance QVR I
  EXPECT "\npath +/p\nusage +u\ntext128 +t\ncomment +c\n$"
  WHAT "global rounds where a field of the instance was lost")
concurrent_rounds(FILE first.reg
  RUNS RUN global --file first.reg set variable QVR K 1 RUN global --file first.reg set variable QVR K 2
       RUN global --file first.reg set variable QVR K 3
  SHOW global --file first.reg list --variables
  EXPECT "^Variables\nSERVICE +NAME +VALUE\nQVR +K +[123]\n$"
  WHAT "global rounds without exactly one K variable")
