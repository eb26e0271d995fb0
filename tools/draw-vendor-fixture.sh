#!/usr/bin/env bash
# Draws the pictures that make the tests' second product (tests/fixtures/vendor) look like another
# vendor's: its logo and title mark in the brand orange, and its banner slides. The rest of that
# folder's skin is the shipped one with its dark grey turned navy (see its markup files).
#
# The logo's left part is plain brand colour with no text on it: the end-to-end test looks for that
# colour on screen where the skin puts the logo. Byte-stable for the same ImageMagick and fonts.
# Needs ImageMagick and fonts-dejavu-core.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/tests/fixtures/vendor"
IM=${IM:-/usr/bin/convert}
[ -x "$IM" ] || IM=convert

BRAND='#F28C28'   # STR_LISENCE_COLOR of the fixture's productInfo.ini
NAVY='#17324D'    # the fixture skin's background
FONT_BOLD='DejaVu-Sans-Bold'

save() { # draw-arguments... file: strips everything that would change between runs
  local file=${*: -1}
  "$IM" "${@:1:$#-1}" -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "PNG32:$file"
}

# Main logo, 266 x 52: a brand-colour plate, the product name on its right part.
save -size 266x52 xc:none -fill "$BRAND" -draw "roundrectangle 0,0 265,51 6,6" \
  -fill "$NAVY" -draw "rectangle 44,10 47,41" \
  -font "$FONT_BOLD" -pointsize 22 -fill white -annotate +58+34 'Harwick Lumen' \
  "$out/skin/img/logo.png"

# Title mark, 108 x 32: a brand-colour square and the maker's name.
save -size 108x32 xc:none -fill "$BRAND" -draw "roundrectangle 2,6 21,25 3,3" \
  -font "$FONT_BOLD" -pointsize 13 -fill white -annotate +28+21 'Harwick' \
  "$out/skin/img/left_log.png"

# Banner slides, 650 x 290, the same for every language of the fixture.
for lang in English French; do
  for n in 1 2 3; do
    save -size 650x290 "gradient:$NAVY-#0B1A29" -fill "$BRAND" -draw "rectangle 0,250 650,290" \
      -font "$FONT_BOLD" -pointsize 40 -fill "$BRAND" -annotate +60+140 "Lumen $n/3" \
      -pointsize 18 -fill white -annotate +62+180 'Harwick test product' \
      "$out/language/$lang/pr_$n.png"
  done
done
