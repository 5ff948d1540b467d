# set does what it says: every line or record of the name is changed, a new
# comment alone is written, a services entry keeps its aliases and the
# layout of its comment, and numbers a type cannot hold are refused.

# A name on several lines: every one ends with the value, also when one
# already had it; a second set changes nothing.
genreg_write(p.env "a = 6\nb = 1\na = 5   # five\n")
genreg_run(ARGS profile p.env set a 6)
genreg_expect_file(p.env "a = 6\nb = 1\na = 6\n")
genreg_run(ARGS profile p.env set a 6 --comment both)
genreg_expect_file(p.env "a = 6 # both\nb = 1\na = 6 # both\n")
genreg_run(ARGS profile p.env set a 6 --comment both)
genreg_expect_file(p.env "a = 6 # both\nb = 1\na = 6 # both\n")

# The same value with a new comment writes the comment, after the blanks
# the old one had.
genreg_write(q.env "port = 1   # old\n")
genreg_run(ARGS profile q.env set port 1 --comment new)
genreg_expect_file(q.env "port = 1   # new\n")
genreg_run(ARGS profile q.env set port 1 --comment=)
genreg_expect_file(q.env "port = 1\n")

# A rewritten profile line keeps the blanks before its comment, kept or
# new, and a kept comment as it was written; a CR LF line keeps its CR LF,
# in services too. (Compared byte for byte: genreg_expect_file reads CR LF
# as LF. Windows writes text files with CR LF line ends.)
set(lf "\n")
if(WINDOWS)
  set(lf "\r\n")
endif()
genreg_write(c.env "a   =  1   #old\n  b=2\t# tabbed\r\n")
genreg_run(ARGS profile c.env set a 2)
genreg_run(ARGS profile c.env set b 3)
genreg_write(kept.env "a   =  2   #old${lf}  b=3\t# tabbed\r\n")
genreg_expect_same(c.env "${WORK}/kept.env")
genreg_run(ARGS profile c.env set a 4 --comment new)
genreg_run(ARGS profile c.env set b 5 --comment new)
genreg_write(new.env "a   =  4   # new${lf}  b=5\t# new\r\n")
genreg_expect_same(c.env "${WORK}/new.env")
genreg_write(crlf.txt "svc 1/tcp al   # kept\r\nx 2/tcp\r\n")
genreg_run(ARGS services crlf.txt set svc 3/tcp)
genreg_write(crlf-kept.txt "svc\t\t3/tcp\t\tal   # kept\r\nx 2/tcp\r\n")
genreg_expect_same(crlf.txt "${WORK}/crlf-kept.txt")

# Numbers the type cannot hold.
genreg_write(n.env "neg = -1\nbig = 99999999999999999999\nlow = -99999999999999999999\nok = 42\n")
foreach(case
    "neg --uint|an unsigned integer: \"-1\""
    "big --uint|an unsigned integer: \"99999999999999999999\""
    "big --int|a signed integer: \"99999999999999999999\""
    "low --int|a signed integer: \"-99999999999999999999\"")
  genreg_split_case("${case}" words message)
  list(GET words 0 name)
  genreg_run(ARGS profile n.env get ${words} EXIT 3 STDERR
    "genreg: cannot read ${name} in n.env as ${message}\n")
endforeach()
genreg_run(ARGS profile n.env get neg --int STDOUT "-1\n")
genreg_run(ARGS profile n.env get ok --uint STDOUT "42\n")

# services: the port changes, aliases and the comment with its blanks stay;
# a new comment, new aliases and --aliases '' are each written alone.
genreg_write(s.txt "svc 100/tcp al1 al2    # kept   comment\nother\t200/udp\n")
genreg_run(ARGS services s.txt set svc 101/tcp)
genreg_expect_file(s.txt "svc\t\t101/tcp\t\tal1 al2    # kept   comment\nother\t200/udp\n")
genreg_run(ARGS services s.txt set svc 101/tcp --comment new)
genreg_expect_file(s.txt "svc\t\t101/tcp\t\tal1 al2\t\t# new\nother\t200/udp\n")
genreg_run(ARGS services s.txt set svc 101/tcp --aliases "b1 b2")
genreg_expect_file(s.txt "svc\t\t101/tcp\t\tb1 b2\t\t# new\nother\t200/udp\n")
genreg_run(ARGS services s.txt set svc 101/tcp c1)
genreg_expect_file(s.txt "svc\t\t101/tcp\t\tc1\t\t# new\nother\t200/udp\n")
genreg_run(ARGS services s.txt set svc 101/tcp --aliases=)
genreg_expect_file(s.txt "svc\t\t101/tcp\t\t# new\nother\t200/udp\n")
genreg_run(ARGS services s.txt set svc 101/tcp)
genreg_expect_file(s.txt "svc\t\t101/tcp\t\t# new\nother\t200/udp\n")
genreg_run(ARGS services s.txt set svc 101/tcp x1 --aliases x2 EXIT 2 STDERR
  "genreg services: give the aliases as words or with --aliases, not both (see genreg services --help)\n")

# Two entries of one name and protocol: set says why it cannot choose.
genreg_write(d.txt "dup 1/tcp\ndup 2/tcp\n")
genreg_run(ARGS services d.txt set dup 3/tcp EXIT 3 STDERR
  "genreg: cannot set dup in d.txt: 2 entries have that name and protocol (a services file keeps one; remove the others first)\n")
genreg_expect_file(d.txt "dup 1/tcp\ndup 2/tcp\n")

# binvar: every record of the name, also when one already holds the value;
# as in profiles, each gets the comment of the first.
genreg_run(ARGS binvar b.dat add a 6)
genreg_run(ARGS binvar b.dat add b 1)
genreg_run(ARGS binvar b.dat add a 5 --comment five)
genreg_run(ARGS binvar b.dat set a 6)
genreg_run(ARGS binvar b.dat list STDOUT [[
NAME  VALUE  COMMENT
a     6      -
b     1      -
a     6      -
]])
genreg_run(ARGS binvar b.dat set a 6 --comment c)
genreg_run(ARGS binvar b.dat list STDOUT [[
NAME  VALUE  COMMENT
a     6      c
b     1      -
a     6      c
]])

# global: a new comment alone on an unchanged instance.
genreg_run(ARGS global --file g.reg set instance QVR I --path /p)
genreg_run(ARGS global --file g.reg set instance QVR I --path /p --comment c)
genreg_run(ARGS global --file g.reg get instance QVR I STDOUT [[
service  QVR
name     I
path     /p
comment  c
]])
