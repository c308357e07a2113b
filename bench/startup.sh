#!/usr/bin/env bash
# Start-up of the desktop program on a virtual X display, against a floor:
# the time from starting a program until its first window is drawn on
# screen, for BUILD_DIR/bin/ovrelware (its splash) and for a bare Qt program
# that shows one label (bench/floor), started in turns on the same display.
# bench/window-on-screen starts each one, waits for the window to be mapped
# and reads one of its pixels until the program has painted it. Prints the
# medians and their ratio, and the program's resident memory once its main
# window has been shown (5 s after the start).
#   bench/startup.sh [BUILD_DIR] [RUNS]      (default: build, 21 runs each)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-21}
exe=$build/bin/ovrelware
[ -x "$exe" ] || { echo "bench: $exe is missing; build first (scripts/build $build)" >&2; exit 1; }
for tool in xvfb-run xdotool pkg-config g++ gcc; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/setup)" >&2; exit 1; }
done
mkdir -p "$build/bench"
floor=$build/bench/startup-floor
if [ ! -x "$floor" ] || [ bench/floor/main.cpp -nt "$floor" ]; then
  # shellcheck disable=SC2046
  g++ -std=c++20 -O2 -fPIC -I"$build/generated" bench/floor/main.cpp -o "$floor" \
    $(pkg-config --cflags --libs Qt6Widgets)
fi
watch=$build/bench/window-on-screen
if [ ! -x "$watch" ] || [ bench/window-on-screen/main.c -nt "$watch" ]; then
  # shellcheck disable=SC2046
  gcc -std=c11 -O2 bench/window-on-screen/main.c -o "$watch" $(pkg-config --cflags --libs xcb)
fi

# Everything below runs inside the virtual display, with a private session
# bus when there is one to start (the program offers its remote control on it).
bus=()
command -v dbus-run-session >/dev/null && bus=(dbus-run-session --)
exec xvfb-run -a -s "-screen 0 1280x1024x24" "${bus[@]}" bash -s "$exe" "$floor" "$watch" "$runs" <<'INNER'
set -euo pipefail
exe=$1 floor=$2 watch=$3 runs=$4
export OVREL_PORTS="" QT_QPA_PLATFORM=xcb
runtime=$(mktemp -d /tmp/ovrel-bench-run.XXXXXX)
chmod 0700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# Waits until a visible window with exactly this title exists, other than
# the window EXCEPT (an X window id) when given; fails when the program
# ended first or after 30 s. Prints the window's id.
wait_window() {
  local title=$1 except=${2:-none} limit=$(( $(now_ms) + 30000 )) found
  until found=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | grep -vx "$except" | head -n1) &&
        [ -n "$found" ]; do
    kill -0 "$pid" 2>/dev/null || return 1
    [ "$(now_ms)" -lt "$limit" ] || { echo "bench: no window \"$title\"" >&2; return 1; }
    sleep 0.005
  done
  echo "$found"
}
pid=
stop() {
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
  # Let the display server finish with the ended client before the next
  # start; without the pause it refuses a connection now and then.
  sleep 0.2
}
trap 'stop; rm -rf "$runtime"' EXIT
# Sets took to the milliseconds from the start of "$@" until its window
# titled $1 shows the colour $2 (red,green,blue) at (5, 5); the watcher then
# ends the program. The virtual display now and then refuses a connection
# on a loaded machine; such a start is tried again (three times at most).
took=
time_to_window() {
  local title=$1 colour=$2 attempt
  shift 2
  for attempt in 1 2 3; do
    if took=$("$watch" "$title" "$colour" "$@" 2>"$runtime/stderr"); then
      # Let the display server finish with the ended client before the
      # next start; without the pause it refuses a connection now and then.
      sleep 0.2
      return 0
    fi
    echo "bench: $1 did not show its window (attempt $attempt): $(head -n1 "$runtime/stderr")" >&2
    sleep 0.2
  done
  return 1
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Both windows are sky blue where the watcher looks. The splash carries the
# product's caption, which --version prints.
sky=166,202,240
splash=$("$exe" --version)
# One run of each first, to fill the file cache.
time_to_window "Startup floor" $sky "$floor"
time_to_window "$splash" $sky "$exe"
floor_ms=() program_ms=()
for _ in $(seq "$runs"); do
  time_to_window "Startup floor" $sky "$floor"
  floor_ms+=("$took")
  time_to_window "$splash" $sky "$exe"
  program_ms+=("$took")
done
f=$(printf '%s\n' "${floor_ms[@]}" | median)
p=$(printf '%s\n' "${program_ms[@]}" | median)
echo "bare Qt window with one label drawn: median $f ms (${floor_ms[*]})"
echo "ovrelware's splash drawn:            median $p ms (${program_ms[*]})"
awk -v p="$p" -v f="$f" 'BEGIN { printf "start-up ratio (splash / floor): %.2f\n", p / f }'

# The splash first, then the main window, which has the same title. A start
# that the virtual display refused (the program ends at once) is tried
# again, as above.
shown=
for attempt in 1 2 3; do
  start=$(now_ms)
  "$exe" >/dev/null 2>"$runtime/main-stderr" &
  pid=$!
  if first=$(wait_window "$splash") && wait_window "$splash" "$first" >/dev/null; then
    shown=yes
    break
  fi
  echo "bench: the main window did not show (attempt $attempt): $(head -n1 "$runtime/main-stderr")" >&2
  stop
done
[ -n "$shown" ] || exit 1
main=$(now_ms)
sleep 0.5
rss=$(awk '/^VmRSS:/ { print $2 }' /proc/$pid/status)
hwm=$(awk '/^VmHWM:/ { print $2 }' /proc/$pid/status)
echo "main window shown after: $((main - start)) ms (the splash stays 5000 ms)"
echo "resident memory with the main window shown: $((rss / 1024)) MB ($rss kB; peak $hwm kB)"
INNER
