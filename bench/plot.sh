#!/usr/bin/env bash
# Google Benchmark figures for the timeline picture: redrawing a 380-segment
# session and a one-segment session into a 1200 x 400 image, and writing the
# 380-segment picture as SVG. Prints the redraw against its 2 ms budget.
# Built with the other benchmarks in BUILD_DIR/micro-bench (Release).
#   bench/plot.sh [BUILD_DIR]      (default: build)
# OVREL_BENCH_SHORT=1: one pass of each benchmark (for the test suite).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
. bench/micro-build.sh ovrel_plot_bench
min_time=0.5
[ "${OVREL_BENCH_SHORT:-}" = 1 ] && min_time=0
XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)} "$dir/ovrel_plot_bench" \
  --benchmark_min_time=$min_time --benchmark_format=console | tee "$dir/result.txt"
awk '/^BM_RedrawTimeline380 /{ printf "Redraw of 380 segments: %.3f of the 2 ms budget\n", $4 / 2000 }
     /^BM_RedrawTimeline1 /{ one = $4 } /^BM_RedrawTimeline380 /{ all = $4 }
     END { if (one > 0) printf "380 segments against 1 segment: %.2f times\n", all / one }' "$dir/result.txt"
