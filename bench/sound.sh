#!/usr/bin/env bash
# Rendering a 30-minute session to a 16-bit WAV file with ovrel render, side
# by side with sox synthesising two sines of the same length into a 16-bit
# stereo WAV file: the two run in turn, RUNS times each, into the same
# folder, and the medians of their wall times are compared. Prints the
# samples a second, the real-time factor and the ratio to sox (the goal is
# at most 0.2). ovrel's time includes flushing the file to disk, as every
# file it writes is flushed before it takes its name; sox does not flush.
#   bench/sound.sh [BUILD_DIR] [RUNS]    (defaults: build, 3)
# OVREL_BENCH_SHORT=1: one run of a one-minute session (for the test suite).
# OVREL_BENCH_DIR chooses the folder the files are written to.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
runs=${2:-3}
minutes=30
if [ "${OVREL_BENCH_SHORT:-}" = 1 ]; then
  runs=1 minutes=1
fi
ovrel="$dir/bin/ovrel"
command -v sox >/dev/null || { echo "sox is not installed (scripts/setup installs it)" >&2; exit 1; }
[ -x "$ovrel" ] || cmake --build "$dir" --target ovrel
work=$(mktemp -d "${OVREL_BENCH_DIR:-${TMPDIR:-/tmp}}/ovrel-sound-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$ovrel" sweep 14 4 $minutes --pitch 200 -o "$work/session.svs" >/dev/null
seconds=$((minutes * 60))
rate=44100

# Wall seconds of one run of the command.
timed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>"$work/stderr" || { echo "bench: $1 failed: $(head -n 1 "$work/stderr")" >&2; return 1; }
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ours=() theirs=()
for ((i = 0; i < runs; i++)); do
  ours+=("$(timed "$ovrel" render "$work/session.svs" -o "$work/ovrel.wav")")
  theirs+=("$(timed sox -n -b 16 "$work/sox.wav" synth $seconds sine 200 sine 210 channels 2)")
  rm -f "$work/ovrel.wav" "$work/sox.wav"
done
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
echo "ovrel render, $minutes minutes to 16-bit WAV: ${ours[*]} s (median $a s)"
echo "sox, two sines, $minutes minutes to 16-bit WAV: ${theirs[*]} s (median $b s)"
awk -v a="$a" -v b="$b" -v n=$((seconds * rate)) -v s=$seconds 'BEGIN {
  printf "ovrel: %.1f million frames a second (%.1f million samples), %.0f times real time\n",
         n / a / 1e6, 2 * n / a / 1e6, s / a
  printf "sox:   %.1f million frames a second, %.0f times real time\n", n / b / 1e6, s / b
  printf "ovrel against sox: %.3f of its time (goal: at most 0.2)\n", a / b
}'
