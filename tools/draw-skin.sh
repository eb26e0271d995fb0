#!/usr/bin/env bash
# Draws the 22 pictures of the installer's skin into packages/skin/img: a dark theme with one blue
# accent, dark enough behind white captions (the progress bars keep a lighter cyan). Every size
# is the size the skin's layout gives the picture, so nothing is stretched on screen except the
# right-to-left logo (the skin gives it 226 pixels instead of 266) and the right-to-left hide button.
# Each picture comes at three scales for dense screens: NAME.png (96 DPI), NAME@1.5x.png and
# NAME@2x.png; the program picks the nearest at or above the window's scale.
#
# Shapes are drawn at four times their size and scaled down, which gives smooth edges on the small
# glyphs. The output is byte-stable for the same ImageMagick and fonts (no time stamps are written).
# Needs ImageMagick and fonts-dejavu-core.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/packages/skin/img"
mkdir -p "$out"

# /usr/local/bin may hold a wrapper named convert; the pictures must come from ImageMagick itself.
IM=${IM:-/usr/bin/convert}
[ -x "$IM" ] || IM=convert

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ACCENT_TOP='#1479B0'
ACCENT_BOTTOM='#0A6496'
ACCENT_BAR='#0ED4EF'
GLYPH='#A8A8A8'
FONT_BOLD='DejaVu-Sans-Bold'
FONT='DejaVu-Sans'
S=4  # supersampling factor

save() { # source file: strips everything that would change between runs
  "$IM" "$1" -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "PNG32:$out/$2"
}

# The three scales of one picture from its drawing at S times the 1x size. A half pixel rounds up,
# as the program rounds the size it gives the picture.
scales() { # big-drawing width height file
  local big=$1 w=$2 h=$3 file=$4 base=${4%.png}
  "$IM" "$big" -filter Box -resize ${w}x${h}! "$tmp/1x-$file"
  save "$tmp/1x-$file" "$file"
  "$IM" "$big" -filter Triangle -resize $(((w * 3 + 1) / 2))x$(((h * 3 + 1) / 2))! "$tmp/15x-$file"
  save "$tmp/15x-$file" "$base@1.5x.png"
  "$IM" "$big" -filter Box -resize $((w * 2))x$((h * 2))! "$tmp/2x-$file"
  save "$tmp/2x-$file" "$base@2x.png"
}

# Draws at S times the size on a transparent canvas and scales down. Coordinates in the draw
# commands are in the large canvas.
ss() { # width height file draw-arguments...
  local w=$1 h=$2 file=$3
  shift 3
  "$IM" -size $((w * S))x$((h * S)) xc:none "$@" "$tmp/big-$file"
  scales "$tmp/big-$file" "$w" "$h" "$file"
}

# A rounded button face: vertical gradient, a one-pixel border and a light line under the top edge.
face() { # width height radius top bottom border file
  local w=$1 h=$2 r=$3 top=$4 bottom=$5 border=$6 file=$7
  local W=$((w * S)) H=$((h * S)) R=$((r * S))
  "$IM" -size ${W}x${H} "gradient:$top-$bottom" \
    \( -size ${W}x${H} xc:none -fill white -draw "roundrectangle 0,0 $((W - 1)),$((H - 1)) $R,$R" \) \
    -alpha off -compose CopyOpacity -composite -compose Over \
    -fill none -stroke "$border" -strokewidth $S \
    -draw "roundrectangle $((S / 2)),$((S / 2)) $((W - 1 - S / 2)),$((H - 1 - S / 2)) $R,$R" \
    -stroke 'rgba(255,255,255,0.28)' -strokewidth $S \
    -draw "line $((R)),$((S * 3 / 2)) $((W - 1 - R)),$((S * 3 / 2))" \
    "$tmp/big-$file"
  scales "$tmp/big-$file" "$w" "$h" "$file"
}

# Install and start buttons: 168 x 46, white text on the accent (dark enough for 4.5:1 behind white).
face 168 46 5 "$ACCENT_TOP" "$ACCENT_BOTTOM" '#085A87' button_normal.png
face 168 46 5 '#1878B2' '#0E6CA2' '#0B6494' button_hover.png
face 168 46 5 '#0B6E95' '#0A5E80' '#084F6C' button_pressing.png
face 168 46 5 '#4A4A4A' '#3C3C3C' '#333333' button_disable.png

# Browse (90 x 32, black text, blue when hot) sits on the dark path area; hide (57 x 26, black text,
# white when hot) on the white progress row.
face 90 32 3 '#F7F7F7' '#DADADA' '#B8B8B8' browse-df.png
face 90 32 3 '#FFFFFF' '#E3EEFA' '#5B9BE0' browse-ho.png
face 57 26 3 '#F2F2F2' '#DCDCDC' '#C2C2C2' hide-df.png
face 57 26 3 "$ACCENT_TOP" "$ACCENT_BOTTOM" '#0B78A6' hide-ho.png

# Title buttons, 20 x 20: a plain glyph, and a filled square behind a white glyph when hot.
MINUS="line 24,44 56,44"
CROSS="line 26,26 54,54 line 54,26 26,54"
ss 20 20 minzoom-df.png -stroke "$GLYPH" -strokewidth 6 -draw "$MINUS"
ss 20 20 minzoom-ho.png -fill '#3C3C3C' -draw "roundrectangle 0,0 79,79 10,10" \
  -stroke white -strokewidth 6 -draw "$MINUS"
ss 20 20 close-df.png -stroke "$GLYPH" -strokewidth 6 -draw "stroke-linecap round $CROSS"
ss 20 20 close-ho.png -fill '#E0443E' -draw "roundrectangle 0,0 79,79 10,10" \
  -stroke white -strokewidth 6 -draw "stroke-linecap round $CROSS"

# Agreement box, 14 x 14.
ss 14 14 unchecked.png -fill '#2A2A2A' -stroke '#8C8C8C' -strokewidth 4 -draw "roundrectangle 2,2 53,53 9,9"
ss 14 14 checked.png -fill "$ACCENT_TOP" -stroke '#0B78A6' -strokewidth 4 -draw "roundrectangle 2,2 53,53 9,9" \
  -fill none -stroke white -strokewidth 6 -draw "stroke-linecap round stroke-linejoin round polyline 14,29 24,39 42,17"

# Fold box arrows, 14 x 14: closed points along the reading direction, open points down.
CHEVRON="stroke-linecap round stroke-linejoin round polyline"
ss 14 14 fold.png -fill none -stroke '#DDDDDD' -strokewidth 6 -draw "$CHEVRON 20,12 36,28 20,44"
ss 14 14 fold_rtl.png -fill none -stroke '#DDDDDD' -strokewidth 6 -draw "$CHEVRON 36,12 20,28 36,44"
ss 14 14 unfold.png -fill none -stroke "$ACCENT_BAR" -strokewidth 6 -draw "$CHEVRON 12,20 28,36 44,20"

# Progress fill (508 wide, the left-to-right bar) and the right-to-left bar's track (475 wide):
# there the coloured background is the done part and this picture covers what is still to come.
"$IM" -size $((6 * S))x$((508 * S)) "gradient:#1B9BE0-$ACCENT_BAR" -rotate -90 "$tmp/big-progress.png"
scales "$tmp/big-progress.png" 508 6 progress.png
"$IM" -size $((475 * S))x$((6 * S)) "gradient:#E4E4E4-#D4D4D4" "$tmp/big-progress_rtl.png"
scales "$tmp/big-progress_rtl.png" 475 6 progress_rtl.png

# Keyboard focus ring, 24 x 24, drawn as a nine-grid (corners 8) with a hole around any control.
ss 24 24 focus.png -fill none -stroke "$ACCENT_BAR" -strokewidth 8 -draw "roundrectangle 4,4 91,91 20,20"

# The mark: a rounded square in the accent with an arrow dropping into a tray. Drawn around its own
# 100 x 100 box and scaled to where it is used.
"$IM" -size 400x400 xc:none \
  \( -size 400x400 "gradient:$ACCENT_TOP-$ACCENT_BOTTOM" \
     \( -size 400x400 xc:none -fill white -draw "roundrectangle 0,0 399,399 84,84" \) \
     -alpha off -compose CopyOpacity -composite \) -compose Over -composite \
  -fill none -stroke white -strokewidth 34 \
  -draw "stroke-linecap round stroke-linejoin round line 200,84 200,236 polyline 128,168 200,240 272,168" \
  -draw "stroke-linecap round stroke-linejoin round polyline 96,252 96,316 304,316 304,252" \
  "$tmp/mark.png"

# Title logo, 108 x 32: the mark and the maker's name.
"$IM" -size 432x128 xc:none \
  \( "$tmp/mark.png" -resize 96x96 \) -geometry +0+16 -composite \
  -font "$FONT_BOLD" -pointsize 52 -fill white -annotate +112+84 'Brenmark' \
  "$tmp/big-left_log.png"
scales "$tmp/big-left_log.png" 108 32 left_log.png

# Main logo, 266 x 52: the mark, the product name and a line under it.
"$IM" -size 1064x208 xc:none \
  \( "$tmp/mark.png" -resize 192x192 \) -geometry +8+8 -composite \
  -font "$FONT" -pointsize 52 -fill "$ACCENT_BAR" -annotate +232+66 'BRENMARK' \
  -font "$FONT_BOLD" -pointsize 96 -fill white -annotate +228+180 'Solvetta' \
  "$tmp/big-logo.png"
scales "$tmp/big-logo.png" 266 52 logo.png

echo "draw-skin: $(ls "$out" | wc -l) pictures in $out"
