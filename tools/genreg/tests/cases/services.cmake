# genreg services on a copy of examples/services: listings, lookups by
# name, port and protocol, and edits that keep every other line.
genreg_copy(services)

genreg_run(ARGS services services list STDOUT [[
NAME          PORT   PROTOCOL  ALIASES       COMMENT
qvrinst1      50000  tcp       inst1         instance QVRINST1
qvrinst1_int  50001  tcp       -             -
qvrinst2      50010  tcp       inst2 second  instance QVRINST2
qvradmin      523    tcp       -             administration server
qvradmin      523    udp       -             -
]])

genreg_run(ARGS services services get qvradmin STDOUT [[
NAME      PORT  PROTOCOL  ALIASES  COMMENT
qvradmin  523   tcp       -        administration server
qvradmin  523   udp       -        -
]])
genreg_run(ARGS services services get qvradmin --proto udp --json STDOUT [[
{
  "file": "services",
  "services": [
    {
      "name": "qvradmin",
      "port": 523,
      "protocol": "udp",
      "aliases": [],
      "comment": null
    }
  ]
}
]])
genreg_run(ARGS services services get qvrinst2 --port 50010 --json STDOUT [[
{
  "file": "services",
  "services": [
    {
      "name": "qvrinst2",
      "port": 50010,
      "protocol": "tcp",
      "aliases": [
        "inst2",
        "second"
      ],
      "comment": "instance QVRINST2"
    }
  ]
}
]])
genreg_run(ARGS services services get qvrinst2 --port 50011 EXIT 1 STDERR
  "genreg: cannot get qvrinst2 in services: GENREG_RC_NO_MATCH (0x900001f6)\n")
genreg_run(ARGS services services get qvrinst2 --port 70000 EXIT 2 STDERR
  "genreg services: --port takes a port from 1 to 65535 (see genreg services --help)\n")

# Arguments the file could not hold are refused before anything is written.
genreg_run(ARGS services services add qvrinst3 50020 EXIT 2 STDERR
  "genreg services: '50020' is not PORT/PROTO with a port from 1 to 65535 (see genreg services --help)\n")
genreg_run(ARGS services services add qvrinst3 0/tcp EXIT 2 STDERR
  "genreg services: '0/tcp' is not PORT/PROTO with a port from 1 to 65535 (see genreg services --help)\n")
genreg_run(ARGS services services add qvrinst3 50020/TCP EXIT 2 STDERR
  "genreg services: the protocol must be one of tcp, udp, ddp, divert (see genreg services --help)\n")
genreg_run(ARGS services services add "qvr inst" 50020/tcp EXIT 2 STDERR
  "genreg services: a service name is one word without '#' (see genreg services --help)\n")
genreg_run(ARGS services services add qvrinst3 50020/tcp "a#b" EXIT 2 STDERR
  "genreg services: an alias is one word without '#' (see genreg services --help)\n")
genreg_expect_unchanged(services)

# The store refuses a second entry for a name and protocol, and a removal
# that would take several entries.
genreg_run(ARGS services services add qvrinst1 50002/tcp EXIT 3 STDERR
  "genreg: cannot add qvrinst1 to services: GENREG_RC_DUPLICATE (0x900001f1)\n")
genreg_run(ARGS services services remove qvradmin EXIT 3 STDERR
  "genreg: cannot remove qvradmin from services: 2 entries have that name (use --proto to say which)\n")
genreg_run(ARGS services services remove nothere EXIT 1 STDERR
  "genreg: cannot remove nothere from services: GENREG_RC_NO_MATCH (0x900001f6)\n")
genreg_expect_unchanged(services)

genreg_run(ARGS services services add qvrinst3 50020/tcp inst3 --comment "instance QVRINST3")
genreg_run(ARGS services services add qvrinst3 50020/udp)
genreg_run(ARGS services services set qvrinst1 50005/tcp inst1 one)
genreg_run(ARGS services services set qvrinst1_int 50001/tcp)
genreg_run(ARGS services services set qvrlongname 60000/tcp --comment "set adds")
genreg_run(ARGS services services remove qvradmin --proto udp)
genreg_expect_file(services "# Network services of the product's instances.
qvrinst1	50005/tcp	inst1 one		# instance QVRINST1
qvrinst1_int	50001/tcp
qvrinst2	50010/tcp	inst2 second	# instance QVRINST2

qvradmin	523/tcp				# administration server
qvrinst3	50020/tcp	inst3		# instance QVRINST3
qvrinst3	50020/udp
qvrlongname	60000/tcp			# set adds
")

# New aliases alone on an unchanged port are written.
genreg_run(ARGS services services set qvrinst1_int 50001/tcp extra)
genreg_run(ARGS services services get qvrinst1_int STDOUT_BEGINS "NAME          PORT   PROTOCOL  ALIASES  COMMENT\nqvrinst1_int  50001  tcp       extra")
genreg_run(ARGS services absent list EXIT 1 STDERR
  "genreg: cannot list absent: GENREG_RC_FILE_NOT_FOUND (0x90000513)\n")
genreg_expect_missing(absent)

# Several entries for a name: remove names the option that says which, in
# the one style of hint of every verb.
genreg_write(twice "svc 1/tcp\nsvc 1/udp\n")
genreg_run(ARGS services twice remove svc EXIT 3 STDERR
  "genreg: cannot remove svc from twice: 2 entries have that name (use --proto to say which)\n")
genreg_run(ARGS services twice remove svc --proto udp)
genreg_expect_file(twice "svc 1/tcp\n")
