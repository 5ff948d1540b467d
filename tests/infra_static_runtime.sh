#!/bin/bash
# The Linux library and command carry the C++ runtime inside them: neither
# may need libstdc++ or libgcc_s as a shared object (start-up cost), and
# the library exports none of the runtime's names (check-exports.sh).
#   infra_static_runtime.sh LIBRARY [COMMAND]
set -u
status=0
for file in "$@"; do
    needed=$(readelf -d "$file" | grep -E 'NEEDED.*(libstdc\+\+|libgcc_s)')
    if [ -n "$needed" ]; then
        echo "$(basename "$file") still needs the shared C++ runtime:"
        echo "$needed"
        status=1
    fi
done
[ $status -eq 0 ] && echo "no shared C++ runtime needed by: $(for f in "$@"; do basename "$f"; done | tr '\n' ' ')"
exit $status
