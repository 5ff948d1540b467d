#!/bin/bash
# Drives the bash completion of genreg (tools/genreg/completion.bash) as bash
# does on a TAB: fills COMP_WORDS and COMP_CWORD, calls the completion
# function and compares the offered words, in a directory holding copies of
# examples/.
#
#   completion_test.sh COMPLETION_SCRIPT GENREG_PROGRAM EXAMPLES_DIR
set -euo pipefail
script=$1
program=$2
examples=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples/profile.env" "$examples/services" "$examples/binvar.dat" "$examples/machine.reg" \
    "$work"
mkdir "$work/bin"
ln -s "$program" "$work/bin/genreg"
PATH=$work/bin:$PATH
cd "$work"
unset GENREG_REGISTRY_FILE QVR_GLOBAL_REG_PATHNAME
# shellcheck disable=SC1090
. "$script"

# offered LINE: the words offered for the last word of LINE (split at
# blanks; a line ending in a blank completes an empty word), sorted.
offered() {
    local line=$1
    read -r -a COMP_WORDS <<<"$line"
    [ "${line% }" != "$line" ] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _genreg
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

failures=0
count=0
# Each case: "line|the words offered".
cases=(
    "genreg |binvar check copies global instance instances profile rc services version"
    "genreg pro|profile"
    "genreg --json ser|services"
    "genreg profile pro|profile.env"
    "genreg profile profile.env |get list set unset"
    "genreg profile profile.env get |authentication buffer_pool diaglevel port ratio start_timeout svcename trace"
    "genreg profile profile.env unset s|start_timeout svcename"
    "genreg profile profile.env get port --|--bool --double --help --int --json --log --registry --trace --uint --version"
    "genreg profile profile.env set port 1 --comment |"
    "genreg services services remove qvri|qvrinst1 qvrinst1_int qvrinst2"
    "genreg services services get qvrinst1 --proto |"
    "genreg services services add svc 1/tcp alias1 alias2 --c|--comment"
    "genreg binvar binvar.dat get |diaglevel maxagents port timeout"
    "genreg binvar missing.dat get |"
    "genreg global |add get list path remove set upgrade-levels"
    "genreg global --file x.reg |add get list path remove set upgrade-levels"
    "genreg global add |instance service variable"
    "genreg global remove s|service"
    "genreg global list --|--file --help --instances --json --log --registry --services --trace --variables --version"
    "genreg global set instance QVR QVRINST1 --start-at-boot |0 1"
    "genreg global set instance QVR QVRINST1 --start-at-boot 1 --m|--maintenance"
    "genreg instances --type |PLV QVR"
    "genreg --registry machine.reg instance |QVRADM QVRINST1 QVRINST2 QVRINST3 QVRINST4"
    "genreg --registry machine.reg instance QVRINST1 --type P|PLV"
    "genreg instance |"
    "genreg --log pro|profile.env"
    "genreg --registry mach|machine.reg"
    "genreg --log = pro|profile.env"
    "genreg --|--help --json --log --registry --trace --version"
    "genreg version |"
    "genreg frobnicate |"
)
for entry in "${cases[@]}"; do
    line=${entry%%|*}
    expected=${entry#*|}
    actual=$(offered "$line")
    count=$((count + 1))
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: '$line'"
        echo "    expected: $expected"
        echo "    offered:  $actual"
        failures=$((failures + 1))
    fi
done
echo "$((count - failures)) of $count completions as expected"
[ "$failures" -eq 0 ]
