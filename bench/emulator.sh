# Shared by the device benchmarks (sourced, not run): finds ovrel and the
# emulator in the build folder given as $1, makes a scratch folder $work that
# is removed on exit, and start_emulator starts ovrel-devsim on
# $work/memory.bin and sets $port.
# C_DELAY_MS sets the emulator's C delay (default 50).
build=${1:-build}
ovrel=$build/bin/ovrel
devsim=$build/bin/ovrel-devsim
c_delay=${C_DELAY_MS:-50}
for exe in "$ovrel" "$devsim"; do
  [ -x "$exe" ] || { echo "bench: $exe is missing; build first (scripts/build $build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/ovrel-bench.XXXXXX)
# The backups of the device reads go to the scratch folder, not the user's.
export XDG_DATA_HOME=$work/data
devsim_pid=
cleanup() {
  [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null && wait "$devsim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_emulator() {
  "$devsim" --c-delay "$c_delay" --memory "$work/memory.bin" >"$work/port" 2>"$work/devsim.log" &
  devsim_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
  done
  port=$(head -n 1 "$work/port")
  [ -n "$port" ] || { echo "bench: the emulator printed no port" >&2; exit 1; }
}
