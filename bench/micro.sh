#!/usr/bin/env bash
# Google Benchmark figures: reading and writing a 380-segment session,
# compiling a 30-session library, the merge, the receiver fed 1 MB of
# frames. Built as a project of its own in BUILD_DIR/micro-bench (Release).
#   bench/micro.sh [BUILD_DIR]      (default: build)
# OVREL_BENCH_SHORT=1: one pass of each benchmark (for the test suite).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
. bench/micro-build.sh ovrel_micro_bench
min_time=0.2
[ "${OVREL_BENCH_SHORT:-}" = 1 ] && min_time=0
"$dir/ovrel_micro_bench" --benchmark_min_time=$min_time
