#!/bin/bash
# Fails when a Windows program or DLL of the build imports a DLL of the
# MinGW-w64 runtime (libstdc++, libgcc, winpthread): those are not on a
# customer's machine, so the module would not load there. The build links
# them statically (-static); this catches a target that lost that.
#
#   check-imports.sh MODULE|DIRECTORY...   a directory stands for its .dll and .exe files
set -euo pipefail
shopt -s nullglob
modules=()
for argument in "$@"; do
    if [ -d "$argument" ]; then
        modules+=("$argument"/*.dll "$argument"/*.exe)
    else
        modules+=("$argument")
    fi
done
[ "${#modules[@]}" -gt 0 ] || { echo "check-imports: no modules given"; exit 2; }
status=0
for module in "${modules[@]}"; do
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
