#!/bin/bash
# Builds the library, the genreg command and the example programs (Release),
# then, in a temporary directory, runs the quick start and a handful of
# genreg verbs on copies of examples/, printing what they list.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# A fresh Debian machine lacks the compiler and cmake: install them (root),
# or say how.
. scripts/packages.sh
genreg_need_packages run-examples "${GENREG_BUILD_PACKAGES[@]}"

cmake --preset examples >/dev/null
cmake --build --preset examples
bin=$top/build/examples/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/profile.env examples/services examples/binvar.dat examples/machine.reg "$work"
cd "$work"

"$bin/quickstart" quickstart.prf
echo "--- quickstart.prf"
cat quickstart.prf

# Each step shows the command, then its output.
genreg() {
    printf '\n$ genreg'
    printf ' %q' "$@"
    echo
    "$bin/genreg" "$@"
}
genreg profile profile.env list
genreg profile profile.env set port 50001 --comment "moved"
genreg profile profile.env get port --int
genreg services services list
genreg services services add qvrinst3 50020/tcp inst3 --comment "instance QVRINST3"
genreg services services get qvrinst3 --json
genreg binvar binvar.dat list
genreg global --file global.reg add variable QVR DEFAULTINST QVRINST1
genreg global --file global.reg add service QVR 9.7.4.0 --level 3
genreg global --file global.reg add instance QVR QVRINST1 --version 9.7.4.0 --path 'C:\QVR\COPY1' --start-at-boot 1
genreg global --file global.reg list
genreg --registry machine.reg instances
genreg --registry machine.reg copies
genreg --registry machine.reg instance qvrinst1
genreg version 9070400
genreg rc 0x900001c4
