#!/usr/bin/env bash
# The memory download ("ovrel download") and the single-session upload
# ("ovrel add") against the device emulator, each compared with the floor
# the protocol allows: a settle delay of 99.36 ms per exchange, the line
# time of every command and reply frame at 38400 bit/s (10 bits a byte),
# the emulator's C delay, and for "ovrel add" the 6955.2 ms pause before the
# merged upload. Also prints the processor time of ovrel as a share of the
# wall time.
#   bench/device.sh [BUILD_DIR]      (default: build)
# C_DELAY_MS sets the emulator's C delay (default 50; see bench/emulator.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/emulator.sh "${1:-build}"

# The device holds a library of one session with 200 segments (1010
# bytes); the session added has 100 segments, so the merged library fills
# 1515 bytes.
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
def session(n):
    lines = ["version=23", "#", "%d,0," % n]
    lines += ["%d,10,12,100,120," % (36 + i % 5) for i in range(n)]
    return "\r\n".join(lines + ["0,", ""])
open(work + "/add.svs", "w", newline="").write(session(100))
img = bytearray([23, 1, 0, 0, 0, 6, 200, 0])
for i in range(200):
    img += bytes([36 + i % 5, 10, 12, 100, 120])
img.append(0)
L = len(img)
img[2:4] = bytes([L >> 8, L & 255])
cs = 0
for b in img:
    cs ^= b
img.append(cs)
open(work + "/memory.bin", "wb").write(img + bytes(2048 - len(img)))
PY

start_emulator

# measure NAME SETTLES LINE_BYTES EXTRA_MS COMMAND...: runs COMMAND and
# prints its wall time against the floor.
measure() {
  local name=$1 settles=$2 bytes=$3 extra=$4
  shift 4
  TIMEFORMAT='%3R %3U %3S'
  if ! { time OVREL_PORTS="" "$@" 2>"$work/ovrel.log"; } 2>"$work/time"; then
    cat "$work/ovrel.log" >&2
    exit 1
  fi
  read -r wall user sys <"$work/time"
  awk -v name="$name" -v wall="$wall" -v user="$user" -v sys="$sys" -v settles="$settles" \
    -v bytes="$bytes" -v extra="$extra" 'BEGIN {
    settle = settles * 99.36
    line = bytes * 10 / 38400 * 1000
    floor = settle + line + extra
    printf "%s: wall %.0f ms\n", name, wall * 1000
    printf "  protocol floor: %.0f ms (%d settles %.2f + line %.1f for %d bytes + %.1f)\n",
           floor, settles, settle, line, bytes, extra
    printf "  wall / floor: %.3f; without line time: %.3f (pseudo-terminals have no line time)\n",
           wall * 1000 / floor, wall * 1000 / (settle + extra)
    printf "  CPU time: %.0f ms (user %.0f + sys %.0f), %.2f%% of wall\n",
           (user + sys) * 1000, user * 1000, sys * 1000, (user + sys) / wall * 100
  }'
}

# Download: I, 16 r, O. Commands 5 + 16 x 8 + 5 bytes; replies 5 + 16 x 133 + 5.
measure "download of 2048 bytes (ovrel download)" 18 $((5 + 16 * 8 + 5 + 5 + 16 * 133 + 5)) 0 \
  "$ovrel" download --port "$port" --raw -o "$work/read.svl"
cmp -s "$work/read.svl" "$work/memory.bin" || { echo "bench: the download differs" >&2; exit 1; }

# Add: I, 16 r; the pause; C, W, 16 D, E, X, O. Commands 5 + 128 + 10 + 2128 +
# 15 bytes; replies 5 + 2128 + 10 + 80 + 5 + 6 + 5.
measure "single-session upload (ovrel add)" 38 $((5 + 128 + 10 + 2128 + 15 + 5 + 2128 + 10 + 80 + 16)) \
  "$(awk -v c="$c_delay" 'BEGIN { print 6955.2 + c }')" \
  "$ovrel" add --port "$port" "$work/add.svs"
size=$(( $(od -An -tu1 -j2 -N2 "$work/memory.bin" | awk '{ print $1 * 256 + $2 }') + 1 ))
echo "  the device now holds a library of $size bytes"
