#!/bin/bash
# Lists the C++ files that clang-format (with the repository's .clang-format)
# would change; exits 1 when there is one. With --fix, formats them in place.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
unformatted=()
for file in "${files[@]}"; do
    if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done
if [ "${#unformatted[@]}" -gt 0 ]; then
    printf 'not formatted: %s\n' "${unformatted[@]}"
    exit 1
fi
echo "all ${#files[@]} C++ files are formatted"
