#!/usr/bin/env bash
# Installs the program into a temporary prefix and uses it as a user who
# cannot write that prefix: the tree and its desktop files, the per-user
# program folder, `ovrel add` against the emulator, and a second start that
# hands its session file to the running program.
#   InstallTest.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
failures=0
section=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# Says ok for a group of checks when none of them failed.
pass() {
  [ "$failures" -ne "$section" ] || echo "ok: $*"
  section=$failures
}

tmp=$(mktemp -d /tmp/ovrel-install.XXXXXX)
chmod 0755 "$tmp"
prefix=$tmp/prefix
cleanup() {
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

# --- The tree ---------------------------------------------------------------
expected=(
  bin/ovrelware bin/ovrel bin/ovrel-devsim libexec/ovrelware/ovrel-sound-output.so
  share/ovrelware/Sessions/relax.svs share/ovrelware/Libraries/Examples.svl
  "share/doc/ovrelware/Sorvani Ovrel Help.pdf"
  share/applications/org.sorvani.Ovrelware.desktop
  share/metainfo/org.sorvani.Ovrelware.metainfo.xml
  share/mime/packages/ovrelware.xml
  share/man/man1/ovrel.1.gz share/man/man1/ovrelware.1.gz share/man/man1/ovrel-devsim.1.gz
  share/doc/ovrelware/copyright share/doc/ovrelware/changelog.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/ovrelware.png")
done
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "not installed: $file"
done
for size in 16 48 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/ovrelware.png
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  width=$(od -An -tu1 -j16 -N4 "$icon" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }')
  [ "$width" = "$size" ] || fail "the ${size}x${size} icon is $width pixels wide"
done
# The sound output is opened at the first Play, never loaded at the start:
# the program does not link the sound server's client, the library does,
# and everything it needs is there.
output=$prefix/libexec/ovrelware/ovrel-sound-output.so
if ldd "$prefix/bin/ovrelware" | grep -q 'libpulse'; then fail "ovrelware links the sound server's client"; fi
ldd "$output" | grep -q 'libpulse' || fail "the sound output does not link the sound server's client"
if ldd "$output" | grep -q 'not found'; then fail "the sound output lacks: $(ldd "$output" | grep 'not found')"; fi
# Nothing of the build folder may leak into the install.
if find "$prefix" -name 'CMake*' -o -name '*.a' | grep -q .; then fail "build files installed"; fi
pass "install tree"

# --- Desktop files ----------------------------------------------------------
desktop=$prefix/share/applications/org.sorvani.Ovrelware.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -q '^MimeType=.*application/x-sorvani-session;' "$desktop" || fail "menu entry lacks the session type"
grep -q '^Exec=ovrelware %F$' "$desktop" || fail "menu entry does not pass the files"
appstreamcli validate --no-net "$prefix/share/metainfo/org.sorvani.Ovrelware.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate"
mime=$tmp/mime-check/mime
mkdir -p "$mime/packages"
cp "$prefix/share/mime/packages/ovrelware.xml" "$mime/packages/"
XDG_DATA_DIRS=$tmp/mime-check update-mime-database "$mime" 2>"$tmp/mime.err" || fail "update-mime-database: $(cat "$tmp/mime.err")"
[ ! -s "$tmp/mime.err" ] || fail "update-mime-database complains: $(cat "$tmp/mime.err")"
for pair in svs:application/x-sorvani-session svl:application/x-sorvani-library \
            rvx:application/x-sorvani-legacy-session; do
  grep -q "^[0-9]*:${pair#*:}:\*\.${pair%%:*}$" "$mime/globs2" || fail "no type for .${pair%%:*}"
done
pass "desktop, metainfo and MIME files"

# --- As a user who cannot write the install --------------------------------
home=$tmp/home
data=$home/data
runtime=$tmp/runtime
mkdir -p "$home" "$runtime" "$tmp/work"
if [ "$(id -u)" -eq 0 ]; then
  # root writes everywhere: run the installed programs as nobody.
  chown -R 65534:65534 "$home" "$runtime" "$tmp/work"
  run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  chmod -R a-w "$prefix"
  run_as=()
fi
as_user() { "${run_as[@]}" "$@"; }
chmod 0700 "$runtime"
if as_user touch "$prefix/bin/probe" 2>/dev/null; then fail "the test user can write the prefix"; fi
export HOME=$home XDG_DATA_HOME=$data XDG_RUNTIME_DIR=$runtime
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0
# The leak suppressions may lie where the test user cannot read them.
unset LSAN_OPTIONS
unset DBUS_SESSION_BUS_ADDRESS
folder=$data/ovrelware

# A library of the user's own is already there: it must survive the first run.
as_user mkdir -p "$folder/Libraries"
as_user sh -c "printf mine > '$folder/Libraries/Examples.svl'"

# ovrel add against the emulator, from a folder that is not the program's.
devsim_out=$tmp/work/devsim.out
# The device holds the example library.
head -c 2048 <(cat "$prefix/share/ovrelware/Libraries/Examples.svl" /dev/zero) >"$tmp/work/memory.bin"
[ "$(id -u)" -ne 0 ] || chown 65534:65534 "$tmp/work/memory.bin"
# Started directly, so that $! is the emulator itself (setpriv execs it).
"${run_as[@]}" "$prefix/bin/ovrel-devsim" --memory "$tmp/work/memory.bin" >"$devsim_out" 2>&1 &
devsim=$!
for _ in $(seq 100); do [ -s "$devsim_out" ] && break; sleep 0.1; done
port=$(head -n1 "$devsim_out")
[ -n "$port" ] || fail "the emulator printed no port"
session=$prefix/share/ovrelware/Sessions/relax.svs
if (cd "$tmp/work" && as_user "$prefix/bin/ovrel" add --port "$port" "$session" >"$tmp/add.log" 2>&1); then
  for file in SVPMemImg.svl TempSesLib.svl; do
    [ -s "$folder/$file" ] || fail "ovrel add left no $file in $folder"
    [ ! -e "$tmp/work/$file" ] || fail "ovrel add wrote $file into the current folder"
  done
else
  fail "installed ovrel add failed: $(cat "$tmp/add.log")"
fi
kill "$devsim" 2>/dev/null || true
wait "$devsim" 2>/dev/null || true
[ -s "$folder/Sessions/relax.svs" ] || fail "the per-user folder has no example sessions"
[ "$(cat "$folder/Libraries/Examples.svl")" = mine ] || fail "the user's own library was overwritten"
pass "per-user folder and ovrel add"

# The installed program on a virtual display with its own session bus: it
# serves the program folder over D-Bus, a second start with a session file
# makes it open that file in the editor and ends at once, and a library put
# into its program folder reaches the emulated device.
inner=$tmp/inner.sh
cat >"$inner" <<'INNER'
set -u
prefix=$1 folder=$2 session=$3
export QT_QPA_PLATFORM=xcb
rc=0
"$prefix/bin/ovrel-devsim" --memory "$HOME/device.bin" >"$HOME/devsim.out" 2>/dev/null &
devsim=$!
for _ in $(seq 100); do [ -s "$HOME/devsim.out" ] && break; sleep 0.1; done
export OVREL_PORTS=$(head -n1 "$HOME/devsim.out")
"$prefix/bin/ovrelware" >"$HOME/first.log" 2>&1 &
first=$!
owned() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.sorvani.Ovrelware 2>/dev/null | grep -q 'boolean true'
}
for _ in $(seq 300); do owned && break; sleep 0.1; done
owned || { echo "FAIL: the program never took its D-Bus name: $(cat "$HOME/first.log")"; kill $first; exit 1; }
told=$(dbus-send --session --print-reply --dest=org.sorvani.Ovrelware /org/sorvani/Ovrelware \
  org.freedesktop.DBus.Properties.Get string:org.sorvani.Ovrelware.Remote string:ProgramFolder)
echo "$told" | grep -qF "\"$folder\"" || { echo "FAIL: ProgramFolder says: $told"; rc=1; }
# A second start must hand over and end, not open a second set of windows.
if ! timeout 20 "$prefix/bin/ovrelware" "$session" >"$HOME/second.log" 2>&1; then
  echo "FAIL: the second start did not end by itself: $(cat "$HOME/second.log")"; rc=1
fi
title="Sorvani Ovrelware 1.5 - Session Editor - [relax]"
opened=no
for _ in $(seq 300); do  # the file opens once the 5 s splash has gone
  if xdotool search --onlyvisible --name "^$(printf '%s' "$title" | sed 's/[][]/\\&/g')\$" >/dev/null 2>&1; then
    opened=yes; break
  fi
  sleep 0.1
done
[ $opened = yes ] || { echo "FAIL: the running program did not open $session"; rc=1; }
request() {
  dbus-send --session --dest=org.sorvani.Ovrelware --type=method_call /org/sorvani/Ovrelware \
    org.sorvani.Ovrelware.Remote.Request "uint32:$1" string:""
}
library=$prefix/share/ovrelware/Libraries/Examples.svl
cp "$library" "$folder/LibToUpl.svl"
request 991
request 993
size=$(stat -c %s "$library")
uploaded=no
for _ in $(seq 300); do
  if [ -s "$HOME/device.bin" ] && cmp -s -n "$size" "$library" "$HOME/device.bin"; then
    uploaded=yes; break
  fi
  sleep 0.1
done
[ $uploaded = yes ] || { echo "FAIL: LibToUpl.svl from the program folder did not reach the device"; rc=1; }
request 999
for _ in $(seq 100); do kill -0 $first 2>/dev/null || break; sleep 0.1; done
kill $first 2>/dev/null && { echo "FAIL: the program did not end on request 999"; rc=1; }
wait $first 2>/dev/null
kill $devsim 2>/dev/null
wait $devsim 2>/dev/null
exit $rc
INNER
chmod 0755 "$inner"
if as_user xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- \
    bash "$inner" "$prefix" "$folder" "$session"; then
  pass "second start hands its session over; an upload from the per-user folder"
else
  fail "single program with files"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
