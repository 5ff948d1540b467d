#!/bin/bash
# Builds the library and the example programs (Release) and runs the quick
# start on a profile in a temporary directory, then shows the file it wrote.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
cmake --preset examples >/dev/null
cmake --build --preset examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/examples/bin/quickstart "$work/quickstart.prf"
echo "--- $work/quickstart.prf"
cat "$work/quickstart.prf"
