#!/usr/bin/env bash
# Installs the Debian package with dpkg as on a user's machine, uses it as a
# user, removes and purges it, and checks that nothing stays behind:
#   - dpkg -i succeeds and the triggers of the MIME and desktop packages
#     register the file types and the menu entry;
#   - a double-clicked session (gio open, as a file manager does) starts the
#     program through the menu entry's command and opens in the editor;
#   - the program, installed where the user cannot write, finds the device
#     emulator, uploads a library and adds the double-clicked session;
#   - dpkg -r and dpkg --purge leave no file of the package, no entry in the
#     caches and nothing else on the system.
# dpkg works on a copy-on-write view of this machine's root (an overlay in
# a private mount and PID namespace, entered with chroot): the machine's
# own package state never changes, and whatever the test leaves running
# ends with the namespace. Needs root; as another user it reports that it
# cannot run (exit status 77, shown by ctest as skipped).
#   DpkgInstallTest.sh BUILD_DIR          the package made from this build
#   DpkgInstallTest.sh --deb FILE.deb     a package made before (scripts/package)
set -uo pipefail
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
finish() {
  [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

# --- As the user, on a virtual display with a session bus -------------------
as_user() {
  local documents=$HOME/Documents folder=$HOME/.local/share/ovrelware
  "/usr/bin/ovrel-devsim" --memory "$HOME/device.bin" >"$HOME/devsim.out" 2>&1 &
  wait_for 100 test -s "$HOME/devsim.out"
  OVREL_PORTS=$(head -n1 "$HOME/devsim.out")
  export OVREL_PORTS QT_QPA_PLATFORM=xcb

  # The double-click: gio finds the file's type and the program that takes
  # it, and starts the menu entry's command with the file.
  gio open "$documents/evening.svs" || fail "gio open of a session file failed"
  local title="Sorvani Ovrelware 1.5 - Session Editor - [evening]"
  editor_shown() {
    xdotool search --onlyvisible --name "^$(printf '%s' "$title" | sed 's/[][]/\\&/g')\$" >/dev/null 2>&1
  }
  # The file opens once the 5 s splash has gone.
  wait_for 300 editor_shown || { fail "the double-clicked session did not open in the editor"; finish; }

  told=$(dbus-send --session --print-reply --dest=org.sorvani.Ovrelware /org/sorvani/Ovrelware \
    org.freedesktop.DBus.Properties.Get string:org.sorvani.Ovrelware.Remote string:ProgramFolder)
  grep -qF "\"$folder\"" <<<"$told" || fail "ProgramFolder is not the per-user folder: $told"
  [ -s "$folder/Sessions/relax.svs" ] || fail "the per-user folder has no example sessions"

  request() {
    dbus-send --session --dest=org.sorvani.Ovrelware --type=method_call /org/sorvani/Ovrelware \
      org.sorvani.Ovrelware.Remote.Request "uint32:$1" string:""
  }
  # Whether the device holds $1 sessions, as ovrel info counts them (it
  # also says that the 2048-byte memory is longer than the library in it).
  device_sessions() {
    cp "$HOME/device.bin" "$HOME/device.svl" 2>/dev/null || return 1
    grep -qx "Sessions: $1" <<<"$(ovrel info "$HOME/device.svl" 2>/dev/null)"
  }
  local library=/usr/share/ovrelware/Libraries/Examples.svl
  cp "$library" "$folder/LibToUpl.svl"
  request 991
  request 993
  wait_for 300 device_sessions 3 || fail "the library from the per-user folder did not reach the device"
  cmp -s -n "$(stat -c %s "$library")" "$library" "$HOME/device.bin" ||
    fail "the device holds other bytes than the uploaded library"
  cp "$documents/evening.svs" "$folder/SesToUpl.svs"
  request 992
  wait_for 300 device_sessions 4 || fail "the double-clicked session was not added to the device"
  # The merged library is kept once the upload has ended.
  for file in SVPMemImg.svl TempSesLib.svl; do
    wait_for 100 test -s "$folder/$file" || fail "no working file $file in the per-user folder"
  done

  # The program that gio started, as the bus knows it.
  local program
  program=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.sorvani.Ovrelware | awk '/uint32/ { print $2 }')
  request 999
  wait_for 100 sh -c "! kill -0 $program 2>/dev/null" || fail "the program did not end on request 999"
  finish
}

# --- Inside the copy of the machine's root ----------------------------------
in_root() {
  local deb=$1 user=65534
  export HOME=/tmp/admin DEBIAN_FRONTEND=noninteractive
  mkdir -p "$HOME"
  if ! dpkg -i "$deb" >/tmp/dpkg-install.log 2>&1; then
    fail "dpkg -i: $(cat /tmp/dpkg-install.log)"
    finish
  fi
  [ "$(dpkg-query -W -f '${Status}' ovrelware)" = "install ok installed" ] ||
    fail "dpkg does not count the package as installed"
  dpkg -L ovrelware | while read -r path; do [ -d "$path" ] || echo "$path"; done >/tmp/package-files
  grep -qx /usr/bin/ovrelware /tmp/package-files || fail "dpkg -L does not list /usr/bin/ovrelware"
  # The triggers of shared-mime-info and desktop-file-utils, not scripts of
  # the package, register the file types and the menu entry.
  grep -q '^[0-9]*:application/x-sorvani-session:\*\.svs$' /usr/share/mime/globs2 ||
    fail "the MIME database does not know .svs after the install"
  grep -q '^application/x-sorvani-session=.*org\.sorvani\.Ovrelware\.desktop' \
    /usr/share/applications/mimeinfo.cache || fail "the menu entry is not registered for sessions"
  local handler
  handler=$(gio mime application/x-sorvani-session 2>&1)
  grep -q '^Default application.*: org\.sorvani\.Ovrelware\.desktop$' <<<"$handler" ||
    fail "gio knows no program for sessions: $handler"

  local home=/tmp/home
  mkdir -p "$home/Documents" "$home/runtime"
  chmod 0700 "$home/runtime"
  cp /usr/share/ovrelware/Sessions/relax.svs "$home/Documents/evening.svs"
  chown -R "$user:$user" "$home"
  if setpriv --reuid="$user" --regid="$user" --clear-groups test -w /usr/bin; then
    fail "the user can write /usr/bin"
  fi
  setpriv --reuid="$user" --regid="$user" --clear-groups \
    env -i HOME="$home" USER=nobody PATH=/usr/bin:/bin LANG=C.UTF-8 XDG_RUNTIME_DIR="$home/runtime" \
    ASAN_OPTIONS=detect_leaks=0 \
    xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- \
    bash "$0" --as-user >/tmp/user.log 2>&1 || fail "as the user: $(grep -v '^dbus-daemon' /tmp/user.log)"

  if ! dpkg -r ovrelware >/tmp/dpkg-remove.log 2>&1; then fail "dpkg -r: $(cat /tmp/dpkg-remove.log)"; fi
  while read -r path; do
    [ ! -e "$path" ] || fail "dpkg -r left $path"
  done </tmp/package-files
  if ! dpkg --purge ovrelware >/tmp/dpkg-purge.log 2>&1; then fail "dpkg --purge: $(cat /tmp/dpkg-purge.log)"; fi
  local status
  status=$(dpkg-query -W -f '${Status}' ovrelware 2>/dev/null)
  case "$status" in
    "" | *not-installed) ;;
    *) fail "dpkg still knows the package after the purge: $status" ;;
  esac
  grep -qs 'sorvani' /usr/share/mime/globs2 /usr/share/applications/mimeinfo.cache &&
    fail "the caches still name the package's types after the purge"
  for type in /usr/share/mime/application/x-sorvani-*; do
    [ ! -e "$type" ] || fail "the MIME database keeps $type after the purge"
  done
  finish
}

# --- In the private namespaces: the copy-on-write root --------------------
in_namespace() {
  local tmp=$1 deb=$2 layers=$1/layers root=$1/root
  mkdir -p "$layers" "$root"
  mount -t tmpfs -o mode=0755 ovrel-dpkg-test "$layers" || { fail "no tmpfs"; finish; }
  mkdir -p "$layers/upper" "$layers/work"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$layers/upper,workdir=$layers/work" "$root" ||
    { fail "no overlay of the root"; finish; }
  mount --rbind /dev "$root/dev"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  mount -t tmpfs -o mode=0755 tmpfs "$root/run"
  # The serial ports' lock folder, as a booted Debian has it: every user may
  # lock a port there.
  mkdir -m 1777 "$root/run/lock"
  cp "$deb" "$root/tmp/ovrelware.deb"
  cp "$0" "$root/tmp/DpkgInstallTest.sh"
  chmod 0755 "$root/tmp/DpkgInstallTest.sh"
  chroot "$root" /bin/bash /tmp/DpkgInstallTest.sh --in-root /tmp/ovrelware.deb || failures=$((failures + 1))

  # Everything the install, the use and the purge changed on the system is
  # in the overlay's upper layer. Allowed there: dpkg's own records and log,
  # and the caches that the triggers rebuilt (the MIME database rewrites all
  # its files; that none of them names the package was checked above).
  local left
  left=$(cd "$layers/upper" && find . -mindepth 1 ! -type d | sed 's|^\./|/|' | grep -v -E \
    -e '^/var/lib/dpkg/' -e '^/var/log/dpkg\.log$' -e '^/var/cache/man/' \
    -e '^/usr/share/mime/' -e '^/usr/share/applications/mimeinfo\.cache$' \
    -e '^/usr/share/icons/hicolor/icon-theme\.cache$')
  [ -z "$left" ] || fail "left on the system after the purge: $left"
  left=$(cd "$layers/upper" && ls var/lib/dpkg/info/ovrelware.* 2>/dev/null)
  [ -z "$left" ] || fail "dpkg keeps records of the package: $left"
  if grep -q '^Package: ovrelware$' "$layers/upper/var/lib/dpkg/status" 2>/dev/null; then
    fail "the package is still in dpkg's status"
  fi
  finish
}

case "${1:-}" in
  --as-user) as_user; exit ;;
  --in-root) in_root "$2"; exit ;;
  --in-namespace) in_namespace "$2" "$3"; exit ;;
esac

# --- Outside: build the package, enter the namespaces ----------------------
if [ "$(id -u)" -ne 0 ]; then
  echo "cannot run: dpkg into a copy of the root needs root (mount and PID namespaces)" >&2
  exit 77
fi
for tool in unshare chroot dpkg cpack xvfb-run dbus-run-session gio xdotool setpriv; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup)" >&2; exit 1; }
done
tmp=$(mktemp -d /tmp/ovrel-dpkg.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
if [ "${1:-}" = --deb ]; then
  deb=$(readlink -f "$2")
else
  build=$(cd "$1" && pwd)
  (cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1) ||
    { cat "$tmp/cpack.log"; exit 1; }
  deb=$(ls "$tmp"/ovrelware_*.deb)
fi
unshare --mount --pid --fork --propagation private -- \
  bash "$(readlink -f "$0")" --in-namespace "$tmp" "$deb" || exit 1
echo "ok: $(basename "$deb") installed with dpkg, used, removed and purged without traces"
