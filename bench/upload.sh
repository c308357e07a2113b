#!/usr/bin/env bash
# Uploads a full 2048-byte session library to the device emulator with
# "ovrel upload --no-backup" (without the read that keeps a backup first:
# bench/device.sh measures that read as the download) and compares the wall
# time with the floor the protocol allows: 22 settle delays of 99.36 ms, the
# line time of every command and reply frame at 38400 bit/s (10 bits a
# byte) and the emulator's C delay.
# Also prints the processor time of ovrel as a share of the wall time.
#   bench/upload.sh [BUILD_DIR]      (default: build)
# C_DELAY_MS sets the emulator's C delay (default 50; see bench/emulator.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/emulator.sh "${1:-build}"

# A nearly full library in a 2048-byte image: version 23, two sessions of
# 200 segments each (2015 bytes with the checksum, the exclusive-or of the
# bytes before it), padded with zeros as the device's memory is.
python3 - "$work/full.svl" <<'PY'
import sys
sessions = 2
img = bytearray([23, sessions, 0, 0])
first = 4 + 2 * sessions
for k in range(sessions):
    at = first + k * (2 + 200 * 5 + 1)
    img += bytes([at >> 8, at & 255])
for k in range(sessions):
    img += bytes([200, 0])
    for i in range(200):
        img += bytes([36 + (i + k) % 5, 10, 12, 100 + i % 20, 120])
    img.append(0)
img[2:4] = bytes([len(img) >> 8, len(img) & 255])
cs = 0
for b in img:
    cs ^= b
img.append(cs)
open(sys.argv[1], "wb").write(img + bytes(2048 - len(img)))
PY

start_emulator

TIMEFORMAT='%3R %3U %3S'
if ! { time OVREL_PORTS="" "$ovrel" upload --no-backup --port "$port" "$work/full.svl" 2>"$work/ovrel.log"; } \
  2>"$work/time"; then
  cat "$work/ovrel.log" >&2
  exit 1
fi
cmp -s "$work/full.svl" "$work/memory.bin" || { echo "bench: the emulator's memory differs" >&2; exit 1; }

read -r wall user sys <"$work/time"
# The same command on a port that does not exist: the program's start and
# end without the upload, to tell the upload's own processor time.
{ time OVREL_PORTS="" "$ovrel" upload --port "$work/no-such-port" "$work/full.svl" \
    2>/dev/null || true; } 2>"$work/time0"
read -r wall0 user0 sys0 <"$work/time0"
awk -v wall="$wall" -v user="$user" -v sys="$sys" -v cdelay="$c_delay" \
    -v wall0="$wall0" -v user0="$user0" -v sys0="$sys0" 'BEGIN {
  settle = 22 * 99.36
  # Commands: I C W E X O of 5 bytes, 16 D of 133; replies: 21 of 5 bytes, X of 6.
  bytes = 6 * 5 + 16 * 133 + 21 * 5 + 6
  line = bytes * 10 / 38400 * 1000
  floor = settle + line + cdelay
  printf "upload of 2048 bytes: wall %.0f ms\n", wall * 1000
  printf "protocol floor:       %.0f ms (settle %.2f + line %.1f for %d bytes + C delay %d)\n",
         floor, settle, line, bytes, cdelay
  printf "wall / floor:         %.3f\n", wall * 1000 / floor
  # A pseudo-terminal moves bytes at once: without the line time the floor is lower.
  printf "wall / floor without line time: %.3f (pseudo-terminals have no line time)\n",
         wall * 1000 / (settle + cdelay)
  printf "CPU time:             %.0f ms (user %.0f + sys %.0f), %.2f%% of wall\n",
         (user + sys) * 1000, user * 1000, sys * 1000, (user + sys) / wall * 100
  cpu = (user + sys) - (user0 + sys0)
  printf "CPU time of the upload itself: %.0f ms, %.2f%% of its wall time (start and end of the program, %.0f ms CPU, taken off)\n",
         cpu * 1000, cpu / (wall - wall0) * 100, (user0 + sys0) * 1000
}'

# Inside the process: from the first command's step event to the last event,
# read as they arrive from "ovrel --json", against the 22 settle delays.
# This leaves out the process's own start and end.
python3 - "$ovrel" "$port" "$work/full.svl" <<'PY'
import os, subprocess, sys, time
ovrel, port, lib = sys.argv[1:4]
env = dict(os.environ, OVREL_PORTS="")
run = subprocess.Popen([ovrel, "--json", "upload", "--no-backup", "--port", port, lib],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
events = [(time.monotonic(), line) for line in run.stdout]
if run.wait() != 0:
    sys.exit("bench: the second upload failed")
steps = [t for t, line in events if '"step"' in line]
inside = (events[-1][0] - steps[0]) * 1000
print("inside the process:   %.0f ms from the first command to the result, %.4f of 22 settle delays"
      % (inside, inside / (22 * 99.36)))
PY
