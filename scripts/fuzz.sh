#!/bin/bash
# Builds the libFuzzer targets (preset "fuzz", clang with ASan and UBSan)
# and runs each one for a while on a scratch copy of its seed corpus
# (fuzz/corpus/<target>, which stays as it is).
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Default: 10 seconds for each of the ten targets (under two minutes): the
# parsers, and the stores' lookups and updates on files of any bytes.
# Prints the executions and corpus size of each run; a crash, a leak or a
# failed property stops with the reproducer's path and a non-zero exit.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-10}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(profile_line services_line read_record global_record version_text registry_export
        text_lookup text_update bin_update checksum_header)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for target in "${targets[@]}"; do
    corpus=$work/$target
    mkdir -p "$corpus" "$work/artifacts-$target"
    cp fuzz/corpus/"$target"/* "$corpus"/
    log=$work/$target.log
    if "build/fuzz/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/artifacts-$target/" \
        "$corpus" >"$log" 2>&1; then
        runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
        size=$(ls "$corpus" | wc -l)
        echo "fuzz_$target: ${runs:-?} executions in ${seconds}s, corpus ${size} inputs, no failure"
    else
        echo "fuzz_$target: FAILED"
        tail -n 40 "$log"
        mkdir -p build/fuzz/artifacts
        cp "$work/artifacts-$target"/* build/fuzz/artifacts/ 2>/dev/null || true
        echo "reproducers kept in build/fuzz/artifacts/"
        failed=1
    fi
done
exit $failed
