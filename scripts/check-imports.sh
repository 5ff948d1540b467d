#!/bin/bash
# Fails when a Windows program or DLL of the build imports a DLL of the
# MinGW-w64 runtime (libstdc++, libgcc, winpthread): those are not on a
# customer's machine, so the module would not load there. The build links
# them statically (-static); this catches a target that lost that.
#
#   check-imports.sh MODULE...
set -euo pipefail
status=0
for module in "$@"; do
    imports=$(x86_64-w64-mingw32-objdump -p "$module" | sed -n 's/^[[:space:]]*DLL Name: //p')
    runtime=$(grep -i -E '^(lib.*|.*stdc\+\+.*|.*pthread.*)\.dll$' <<<"$imports" || true)
    if [ -n "$runtime" ]; then
        echo "$(basename "$module") imports runtime DLLs: $(tr '\n' ' ' <<<"$runtime")"
        status=1
    else
        echo "$(basename "$module"): $(tr '\n' ' ' <<<"$imports")"
    fi
done
exit "$status"
