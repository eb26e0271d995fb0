#!/usr/bin/env bash
# Draws the program icon src/res/setup.ico: a navy rounded square with a cyan arrow dropping onto a
# white tray, in the colours of the download banners. Holds 16, 32 and 48 pixel pictures as 32-bit
# bitmaps, which every Windows shell reads, and the 256 pixel one PNG-compressed, so the file stays
# small. Every size is reduced from one large drawing, so they match; the output is byte-stable.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
ico="$root/src/res/setup.ico"

# /usr/local/bin may hold a wrapper named convert; the icon must come from ImageMagick itself.
IM=${IM:-/usr/bin/convert}
[ -x "$IM" ] || IM=convert

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

NAVY='#12355B'
CYAN='#55E0FF'

# Drawn at 1024 pixels; the arrow and tray are thick enough to survive the step down to 16.
"$IM" -size 1024x1024 xc:none \
  -fill "$NAVY" -draw 'roundrectangle 40,40 983,983 200,200' \
  -fill "$CYAN" -draw 'polygon 420,170 604,170 604,470 760,470 512,730 264,470 420,470' \
  -fill white -draw 'roundrectangle 230,780 793,870 45,45' \
  "$tmp/master.png"

for s in 256 48 32 16; do
  "$IM" "$tmp/master.png" -filter Lanczos -resize ${s}x${s} -strip \
    -define png:exclude-chunks=date,time -define png:compression-level=9 \
    "PNG32:$tmp/icon-$s.png"
done

# ImageMagick stores entries of 256 pixels as PNG and smaller ones as bitmaps.
"$IM" "$tmp/icon-16.png" "$tmp/icon-32.png" "$tmp/icon-48.png" "$tmp/icon-256.png" "$ico"
echo "wrote $ico ($(stat -c %s "$ico") bytes)"
