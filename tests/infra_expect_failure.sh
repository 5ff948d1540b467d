#!/bin/sh
# Runs a command that must fail: exits 0 when the command ended with a
# non-zero status or a signal, 1 when it claimed success.
"$@"
rc=$?
if [ "$rc" -eq 0 ]; then
    echo "expected a failure, but the command exited 0: $*"
    exit 1
fi
echo "failed as expected (status $rc)"
