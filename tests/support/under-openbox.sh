#!/bin/sh
# Runs a command on a private X server with the openbox window manager, as
# a user's desktop places and frames the windows: Xvfb picks a free display
# number itself, and both end with the command.
set -eu
state=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" 2>"$state/xvfb.log" &
xvfb=$!
wm=
trap 'kill $wm $xvfb 2>/dev/null; rm -rf "$state"' EXIT
tries=0
until [ -s "$state/display" ]; do
  tries=$((tries + 1))
  if ! kill -0 $xvfb 2>/dev/null || [ $tries -gt 600 ]; then
    echo "Xvfb did not start:" >&2
    cat "$state/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
done
DISPLAY=:$(cat "$state/display")
export DISPLAY
openbox --sm-disable >"$state/openbox.log" 2>&1 &
wm=$!
# Windows shown before the window manager runs would not be framed at once.
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
  tries=$((tries + 1))
  if ! kill -0 $wm 2>/dev/null || [ $tries -gt 600 ]; then
    echo "openbox did not start:" >&2
    cat "$state/openbox.log" >&2
    exit 1
  fi
  sleep 0.1
done
QT_QPA_PLATFORM=xcb "$@"
