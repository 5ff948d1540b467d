#!/bin/bash
# Builds the benchmark suite (preset "bench", Release) and runs it once,
# all operations and baselines in one run, then writes the tables and the
# plot: docs/performance-results.md and docs/performance.png.
#   scripts/bench.sh [REPETITIONS] [MIN_TIME_SECONDS] [FILTER]
# Defaults: 3 repetitions of at least 0.2 s each, every benchmark. The raw
# JSON is kept in build/bench/results.json. The plot needs python3-matplotlib.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
repetitions=${1:-3}
min_time=${2:-0.2}
filter=${3:-.}

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
export GENREG_BENCH_DIR=${GENREG_BENCH_DIR:-$(mktemp -d)}
build/bench/bin/genreg_bench --benchmark_repetitions="$repetitions" \
    --benchmark_min_time="$min_time" --benchmark_report_aggregates_only=true \
    --benchmark_filter="$filter" --benchmark_enable_random_interleaving=true \
    --benchmark_out=build/bench/results.json --benchmark_out_format=json
# The system interpreter: it is the one python3-matplotlib is installed for.
/usr/bin/python3 bench/report.py build/bench/results.json docs/performance-results.md docs/performance.png
