#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick: the 81 x 81 splash picture
# (JPEG), the 32 x 32 about icon and the 64 x 64 application icon (PNG), and
# the desktop icons of the install in packaging/icons (16 to 256 pixels).
# Run once; the results are committed beside this script.
set -euo pipefail
cd "$(dirname "$0")"

# An open arc of radius r around (c, c) from -a to +a degrees, on the right
# (side 1) or on the left (side -1), as short lines for -draw.
arc() {  # c r a side
  awk -v c="$1" -v r="$2" -v a="$3" -v s="$4" 'BEGIN {
    n = 16
    for (i = 0; i < n; i++) {
      t1 = (-a + 2 * a * i / n) * atan2(0, -1) / 180
      t2 = (-a + 2 * a * (i + 1) / n) * atan2(0, -1) / 180
      printf "line %.2f,%.2f %.2f,%.2f ", c + s * r * cos(t1), c + r * sin(t1), c + s * r * cos(t2), c + r * sin(t2)
    }
  }'
}

# A light source in the middle of dark blue, with sound waves on both sides.
draw_emblem() {  # size strokewidth output
  local s=$1 w=$2 out=$3
  local c r1 r2 r3
  c=$(awk -v s="$s" 'BEGIN { printf "%.2f", (s - 1) / 2 }')
  r1=$((s * 3 / 20)) r2=$((s * 6 / 20)) r3=$((s * 9 / 20))
  convert -size "${s}x${s}" radial-gradient:'#fff4b0-#14306a' \
    -fill '#fffbe6' -stroke none -draw "circle $c,$c $c,$(awk -v c="$c" -v r="$r1" 'BEGIN { print c - r }')" \
    -fill none -draw 'stroke-linecap round' -stroke '#ffd54a' -strokewidth "$w" \
    -draw "$(arc "$c" "$r2" 40 1)" -draw "$(arc "$c" "$r2" 40 -1)" \
    -stroke '#a6caf0' \
    -draw "$(arc "$c" "$r3" 35 1)" -draw "$(arc "$c" "$r3" 35 -1)" \
    -depth 8 "$out"
}

draw_emblem 81 4 /tmp/ovrel-splash.png
convert /tmp/ovrel-splash.png -quality 92 -sampling-factor 1x1 splash.jpg
rm -f /tmp/ovrel-splash.png
draw_emblem 32 2 about.png
draw_emblem 64 3 ovrelware.png
for size in 16 32 48 64 128 256; do
  stroke=$(( size / 20 > 1 ? size / 20 : 1 ))
  draw_emblem "$size" "$stroke" "../../packaging/icons/ovrelware-$size.png"
done
