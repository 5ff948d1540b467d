# genreg check FILE: what each companion left beside a file means, whether
# the file reads whole, exit 0 when all is well and 1 when something needs
# attention; no file changes unless --restore puts a backup back.
genreg_copy(profile.env binvar.dat)
genreg_run(ARGS check profile.env STDOUT "profile.env: reads whole (11 records)\nall is well\n")
genreg_run(ARGS check binvar.dat STDOUT "binvar.dat: reads whole (4 records)\nall is well\n")

# Every companion at once, none held by a running update.
genreg_write(profile.env.tmp "copy\n")
genreg_write(profile.env.cor "marker\n")
genreg_write(.profile.env.bkp "backup\n")
genreg_write(.profile.env.lock "")
genreg_run(ARGS check profile.env EXIT 1 STDOUT [[
profile.env: reads whole (11 records)
.profile.env.bkp: the previous content, left by an update that swapped its copy in but stopped before removing the backup; the file holds the new content: remove the backup when it is not needed
profile.env.tmp: the copy of an update that was interrupted; the file does not hold its content, and the next update sets it aside as profile.env.cor
profile.env.cor: the copy of an update that was interrupted or failed, set aside by a later update; the file does not hold its content: look at it, then remove it
.profile.env.lock: left over by an update that ended without removing it; harmless (the next update takes it and removes it)
needs attention
]])
# --restore leaves a backup alone while the file exists.
genreg_run(ARGS check profile.env --restore EXIT 1 STDOUT_BEGINS "profile.env: reads whole")
genreg_expect_unchanged(profile.env)
genreg_expect_file(profile.env.tmp "copy\n")
genreg_expect_file(profile.env.cor "marker\n")
genreg_expect_file(.profile.env.bkp "backup\n")
genreg_expect_file(.profile.env.lock "")

# A stale lock alone is harmless.
file(REMOVE "${WORK}/profile.env.tmp" "${WORK}/profile.env.cor" "${WORK}/.profile.env.bkp")
genreg_run(ARGS check profile.env STDOUT [[
profile.env: reads whole (11 records)
.profile.env.lock: left over by an update that ended without removing it; harmless (the next update takes it and removes it)
all is well
]])

# The file missing beside its backup: the one case left to a person.
file(REMOVE "${WORK}/.profile.env.lock")
file(RENAME "${WORK}/profile.env" "${WORK}/.profile.env.bkp")
genreg_run(ARGS check profile.env EXIT 1 STDOUT [[
profile.env: missing: an update stopped between setting the file aside as its backup and putting the new copy in its place; genreg check profile.env --restore puts the backup back
needs attention
]])
genreg_expect_missing(profile.env)
genreg_run(ARGS check profile.env --restore STDOUT [[
.profile.env.bkp: put back as profile.env
profile.env: reads whole (11 records)
all is well
]])
genreg_expect_unchanged(profile.env)
genreg_expect_missing(.profile.env.bkp)
genreg_expect_missing(.profile.env.lock)

# A file that does not read as the kind asked for, or whole.
genreg_run(ARGS check profile.env --kind binvar EXIT 1 STDOUT
  "profile.env is not a binary variable/value file: it looks like a text file\nneeds attention\n")
genreg_write(tail "xx")
genreg_concat(damaged.dat binvar.dat tail)
genreg_run(ARGS check damaged.dat --kind binvar EXIT 1 STDOUT
  "damaged.dat is a damaged binary variable/value file: the record at byte 160 runs past the end of the file\nneeds attention\n")
genreg_run(ARGS check missing.env STDOUT "missing.env: missing\nall is well\n")
genreg_run(ARGS check profile.env --kind frob EXIT 2 STDERR
  "genreg check: --kind is profile, services, binvar or global (see genreg check --help)\n")

# --json: the same findings for scripts, with the same status.
genreg_write(j.env.tmp "copy\n")
genreg_write(.j.env.bkp "a = 1\n")
genreg_run(ARGS --json check j.env EXIT 1 STDOUT [[
{
  "file": "j.env",
  "kind": "profile",
  "state": "missing",
  "records": null,
  "code": null,
  "message": "j.env: missing: an update stopped between setting the file aside as its backup and putting the new copy in its place; genreg check j.env --restore puts the backup back",
  "restorable": true,
  "restored": false,
  "companions": [
    {
      "path": "j.env.tmp",
      "role": "copy",
      "state": "interrupted",
      "message": "j.env.tmp: the copy of an update that was interrupted; the file does not hold its content, and the next update sets it aside as j.env.cor"
    }
  ],
  "attention": true
}
]])
genreg_run(ARGS check j.env --restore --json EXIT 1 STDOUT_BEGINS [[
{
  "file": "j.env",
  "kind": "profile",
  "state": "whole",
  "records": 1,
  "code": null,
  "message": "j.env: reads whole (1 record)",
  "restorable": false,
  "restored": true,
]])
genreg_expect_file(j.env "a = 1\n")

# A file that does not read whole says why when the library tells it.
string(REPEAT "x" 3000 long)
genreg_write(long.env "a = 1\nlong = ${long}\n")
genreg_run(ARGS check long.env EXIT 1 STDOUT
  "long.env: does not read whole: GENREG_RC_LINE_TOO_LONG (0x90000273): line 2 of long.env is 3007 characters long, more than a line can hold (2047)\nneeds attention\n")
genreg_run(ARGS check long.env --json EXIT 1 STDOUT_BEGINS [[
{
  "file": "long.env",
  "kind": "profile",
  "state": "unreadable",
  "records": null,
  "code": {
    "name": "GENREG_RC_LINE_TOO_LONG",
    "value": "0x90000273"
  },
]])
