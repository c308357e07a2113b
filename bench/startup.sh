#!/usr/bin/env bash
# Start-up of the desktop program on a virtual X display: the time from
# starting build/bin/ovrelware until its splash window is on screen, and the
# resident memory once the main window has been shown (5 s later).
#   bench/startup.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exe=$build/bin/ovrelware
[ -x "$exe" ] || { echo "bench: $exe is missing; build first (scripts/build $build)" >&2; exit 1; }
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/setup)" >&2; exit 1; }
done

# Everything below runs inside the virtual display, with a private session
# bus when there is one to start (the program offers its remote control on it).
bus=()
command -v dbus-run-session >/dev/null && bus=(dbus-run-session --)
exec xvfb-run -a -s "-screen 0 1280x1024x24" "${bus[@]}" bash -s "$exe" <<'INNER'
set -euo pipefail
exe=$1
export OVREL_PORTS="" QT_QPA_PLATFORM=xcb
runtime=$(mktemp -d /tmp/ovrel-bench-run.XXXXXX)
chmod 0700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# Waits until a visible window with exactly this title exists.
wait_window() {
  local title=$1 limit=$(( $(now_ms) + 30000 ))
  until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
    [ "$(now_ms)" -lt "$limit" ] || { echo "bench: no window \"$title\"" >&2; return 1; }
    sleep 0.005
  done
}
start=$(now_ms)
"$exe" &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT
wait_window About2  # the splash window's title
splash=$(now_ms)
wait_window "Sorvani Ovrelware 1.5"
main=$(now_ms)
sleep 0.5
rss=$(awk '/^VmRSS:/ { print $2 }' /proc/$pid/status)
hwm=$(awk '/^VmHWM:/ { print $2 }' /proc/$pid/status)
echo "start-up to the splash on screen: $((splash - start)) ms"
echo "main window shown after: $((main - start)) ms (the splash stays 5000 ms)"
echo "resident memory with the main window shown: $((rss / 1024)) MB ($rss kB; peak $hwm kB)"
cleanup
trap - EXIT
INNER
