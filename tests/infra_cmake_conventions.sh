#!/bin/bash
# The build's switches, checked by configuring (nothing is compiled):
#   - -DBUILD_TESTING=OFF leaves every test program out;
#   - added to another project with add_subdirectory, genreg gives only the
#     library: no tests, no command, no benchmarks, unless asked for;
#   - warnings are errors only with GENREG_WARNINGS_AS_ERRORS=ON.
#
#   infra_cmake_conventions.sh SOURCE_DIR
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
# targets BUILD_DIR: the names of the build's targets, one a line.
targets() {
    cmake --build "$1" --target help | sed -nE 's/^\.\.\. ([A-Za-z0-9_]+).*/\1/p' | sort
}
expect() {
    local what=$1 build=$2 pattern=$3 wanted=$4
    if targets "$build" | grep -qxE "$pattern"; then found=yes; else found=no; fi
    if [ "$found" = "$wanted" ]; then
        echo "ok: $what"
    else
        echo "FAIL: $what (target matching $pattern: $found)"
        failures=$((failures + 1))
    fi
}
# flags_of BUILD_DIR: the compile flags of the library's objects.
flags_of() {
    cat "$1"/CMakeFiles/genreg_objects.dir/flags.make
}

cmake -S "$source" -B "$work/no-tests" -G "Unix Makefiles" -DBUILD_TESTING=OFF >/dev/null
expect "BUILD_TESTING=OFF: no test program" "$work/no-tests" 'genreg_tests|infra_dll_probe' no
expect "BUILD_TESTING=OFF: the library" "$work/no-tests" 'genreg' yes
expect "BUILD_TESTING=OFF: the command" "$work/no-tests" 'genreg_cli' yes
if grep -q -- '-Werror' <(flags_of "$work/no-tests"); then
    echo "FAIL: a plain build turns warnings into errors"
    failures=$((failures + 1))
else
    echo "ok: a plain build keeps warnings warnings"
fi

mkdir "$work/parent"
cat >"$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
include(CTest)
add_subdirectory("$source" genreg)
CMAKE
cmake -S "$work/parent" -B "$work/sub" -G "Unix Makefiles" >/dev/null
expect "subproject: the library" "$work/sub" 'genreg' yes
expect "subproject: no tests" "$work/sub" 'genreg_tests|infra_dll_probe' no
expect "subproject: no command" "$work/sub" 'genreg_cli' no
expect "subproject: no benchmarks" "$work/sub" 'genreg_bench.*' no
cmake -S "$work/parent" -B "$work/sub-asked" -G "Unix Makefiles" -DGENREG_BUILD_TOOLS=ON \
    -DGENREG_WARNINGS_AS_ERRORS=ON >/dev/null
expect "subproject asking for the command" "$work/sub-asked" 'genreg_cli' yes
if grep -q -- '-Werror' <(flags_of "$work/sub-asked/genreg"); then
    echo "ok: GENREG_WARNINGS_AS_ERRORS=ON turns warnings into errors"
else
    echo "FAIL: GENREG_WARNINGS_AS_ERRORS=ON has no -Werror"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
