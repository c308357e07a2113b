#!/usr/bin/env bash
# Runs one benchmark in its short mode (OVREL_BENCH_SHORT=1: one run, a
# small input) and succeeds only when it ended well and printed the figure
# PATTERN (an extended regular expression) matches. The test suite runs
# every benchmark this way, so that a renamed window, option or file fails a
# test rather than the next measurement. Nothing about speed is checked.
#   bench/short.sh PATTERN BENCH [ARGUMENTS...]
set -uo pipefail
pattern=$1
shift
export OVREL_BENCH_SHORT=1
out=$(mktemp /tmp/ovrel-bench-short.XXXXXX)
trap 'rm -f "$out"' EXIT
"$@" 2>&1 | tee "$out"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "bench: $1 ended with status $status" >&2
  exit 1
fi
if ! grep -Eq -- "$pattern" "$out"; then
  echo "bench: $1 printed no figure matching \"$pattern\"" >&2
  exit 1
fi
