#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks what it holds:
# its control fields, its files, that no maintainer script of its own
# updates the desktop caches (the triggers of the desktop, MIME and icon
# packages do), and that lintian finds no error.
#   DebPackageTest.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

tmp=$(mktemp -d /tmp/ovrel-deb.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1) ||
  { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/ovrelware_*.deb)

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ovrelware ] || fail "Package is $(field Package)"
[ "$(field Version)" = 1.5 ] || fail "Version is $(field Version)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
# Computed from the binaries: the libraries they really link.
for library in libqt6widgets6 libqt6dbus6 libjpeg62-turbo libc6 libpulse0; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"

dpkg-deb -c "$deb" | awk '{ print $6 }' >"$tmp/contents"
for file in ./usr/bin/ovrelware ./usr/bin/ovrel ./usr/bin/ovrel-devsim \
            ./usr/libexec/ovrelware/ovrel-sound-output.so \
            ./usr/share/applications/org.sorvani.Ovrelware.desktop \
            ./usr/share/mime/packages/ovrelware.xml \
            ./usr/share/icons/hicolor/48x48/apps/ovrelware.png \
            ./usr/share/ovrelware/Sessions/relax.svs ./usr/share/ovrelware/Libraries/Examples.svl \
            "./usr/share/doc/ovrelware/Sorvani" ./usr/share/doc/ovrelware/copyright; do
  grep -q "^$file" "$tmp/contents" || fail "the package lacks $file"
done
# Executables that are not stripped make the package ten times larger.
dpkg-deb -x "$deb" "$tmp/root"
for binary in usr/bin/ovrelware usr/libexec/ovrelware/ovrel-sound-output.so; do
  file "$tmp/root/$binary" | grep -q 'not stripped' && fail "$binary is not stripped"
done

dpkg-deb -e "$deb" "$tmp/control"
if grep -qs 'update-mime-database\|update-desktop-database\|gtk-update-icon-cache' "$tmp"/control/post*; then
  fail "a maintainer script updates the caches by hand"
fi

lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 || fail "lintian: $(cat "$tmp/lintian.log")"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "ok: $deb"
