#!/bin/bash
# Checks the shipped Windows DLL of a Release build (windows-release preset):
#   - no debug sections (.debug_*): the DLL is stripped;
#   - a version resource carrying the project's version and product name;
#   - no test-only code: neither the child-process helpers (platform/
#     process.h: no CreateProcess or TerminateProcess import, no ossProcess
#     symbol in the link map) nor the fault-injection hooks (no ossFault or
#     ossResource symbol in the link map).
#
#   check-release-dll.sh DLL LINK_MAP VERSION
# Prints each finding; exits 1 when a check fails.
set -euo pipefail
dll=$1
map=$2
version=$3
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null 2>&1 || objdump=objdump

failures=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

sections=$("$objdump" -h "$dll" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
# Import lines read "<tab>vma<tab> hint  Name".
imports=$("$objdump" -p "$dll" | sed -nE 's/^\t[0-9a-f]+\t *[0-9]+ +([A-Za-z_][A-Za-z0-9_]*)$/\1/p')
# The resource's texts are UTF-16LE.
texts=$(strings -e l "$dll")

check "no debug sections" bash -c '! grep -q "^\.debug" <<<"$1"' _ "$sections"
check "a resource section" grep -qx '.rsrc' <<<"$sections"
check "FileVersion $version" bash -c 'grep -qx FileVersion <<<"$1" && grep -qx "$2" <<<"$1"' _ \
    "$texts" "$version"
check "ProductName genreg" bash -c 'grep -qx ProductName <<<"$1" && grep -qx genreg <<<"$1"' _ "$texts"
check "imports read from the DLL" grep -q '^GetLastError$' <<<"$imports"
check "no child-process imports" bash -c '! grep -E "^(CreateProcess[AW]?|TerminateProcess)$" <<<"$1"' \
    _ "$imports"
check "no test-only symbols in the link map" bash -c '! grep -E "oss(Process|Fault|Resource)" "$1"' \
    _ "$map"
check "the link map lists the library's code" grep -q 'ossStreamOpen\|GenRegFile' "$map"

echo "$(basename "$dll"): $failures failed checks"
[ "$failures" -eq 0 ]
