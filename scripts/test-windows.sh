#!/bin/bash
# Cross-builds the library and tests for Windows with MinGW-w64 and runs the
# tests under Wine through ctest. Extra arguments go to ctest
# (e.g. -R Text --output-on-failure).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/wine-env.sh

cmake --preset windows >/dev/null
genreg_wine_env "$top/build/windows"
genreg_wine_start
trap genreg_wine_stop EXIT
cmake --build --preset windows
ctest --preset windows "$@"
