#!/usr/bin/env bash
# Draws the three slides that fill the banner area while the product downloads, for every language
# folder under packages/language, at 1x (pr_N.png, 650 x 290) and 2x (pr_N@2x.png) for dense screens:
# every length below is a 1x length scaled by K (percent) as it is drawn, so each scale is drawn from
# the shapes and text, not stretched. SCALES="100 150 200" adds 1.5x (pr_N@1.5x.png); it is not shipped
# by default because the 30 slides would add 356 KB to the installer, and the program shrinks the 2x
# slide for a 1.5x screen instead (the skin's small pictures do come at all three scales). Run it again after changing a
# headline; the output is byte-stable for the same ImageMagick, Pango and fonts, so unchanged slides do
# not show up as diffs.
#
# Needs ImageMagick with its Pango coder (Debian: imagemagick + libmagickcore-6.q16-6-extra), because
# only Pango shapes Arabic; the plain label: coder would print it as unjoined letters.
# Fonts: fonts-dejavu-core for Latin and Arabic, fonts-wqy-microhei for Chinese, Japanese and Korean.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/packages/language"

# /usr/local/bin may hold a wrapper named convert; the slides must come from ImageMagick itself.
IM=${IM:-/usr/bin/convert}
[ -x "$IM" ] || IM=convert
formats=$("$IM" -list format 2>/dev/null || true)
if ! grep -qi "^ *PANGO" <<<"$formats"; then
  echo "draw-banners: ImageMagick lacks the Pango coder (install libmagickcore-6.q16-6-extra)" >&2
  exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

W=650
H=290
K=100  # the scale being drawn, in percent

# A 1x length at the scale being drawn, rounded.
k() { echo $((($1 * K + 50) / 100)); }
# The same for a fraction-friendly factor in MVG ("1.5").
kf() { printf '%d.%02d' $((K / 100)) $((K % 100)); }
ACCENT='#55E0FF'      # same cyan as the licence link colour in productInfo.ini
PRODUCT='Brenmark Solvetta'

# One row per language: folder | font for the headline | direction | headline 1 | 2 | 3.
# Slide 1 is about speed, 2 about safety, 3 about ease of use.
languages() {
  cat <<'EOF'
English|DejaVu Sans Bold|ltr|Fast and light|Safe and secure|Easy to use
Chinese|WenQuanYi Micro Hei Bold|ltr|快速轻巧|安全可靠|简单易用
ChineseTW|WenQuanYi Micro Hei Bold|ltr|快速輕巧|安全可靠|簡單易用
Japanese|WenQuanYi Micro Hei Bold|ltr|速くて軽い|安全・安心|かんたん操作
French|DejaVu Sans Bold|ltr|Rapide et léger|Sûr et fiable|Simple à utiliser
Spanish|DejaVu Sans Bold|ltr|Rápido y ligero|Seguro y fiable|Fácil de usar
Korean|WenQuanYi Micro Hei Bold|ltr|빠르고 가볍게|안전하고 든든하게|쉽고 간편하게
Arabic|DejaVu Sans Bold|rtl|سريع وخفيف|آمن وموثوق|سهل الاستخدام
Indonesian|DejaVu Sans Bold|ltr|Cepat dan ringan|Aman dan andal|Mudah digunakan
Swedish|DejaVu Sans Bold|ltr|Snabbt och lätt|Tryggt och säkert|Enkelt att använda
EOF
}

# Per slide: background, the disc behind the symbol, the scattered dots.
BG=('#12355B' '#0F4C5C' '#2E2A6B')
DISC=('#1B4A7A' '#166274' '#3D3A85')
DOT=('#2A5F94' '#1F7A8C' '#524EA3')

# The symbols are drawn around (0,0) so the same strings serve both layouts; the scale in each draw
# string grows their stroke widths with them.
symbol() {
  case $1 in
    1) # lightning bolt with speed streaks
      printf '%s\n' \
        -fill "$ACCENT" -stroke none \
        -draw "translate $2,$3 scale $(kf),$(kf) polygon 12,-74 -40,10 -6,10 -18,74 40,-14 6,-14 26,-74" \
        -stroke white -strokewidth 8 -fill none \
        -draw "translate $2,$3 scale $(kf),$(kf) stroke-linecap round line -82,-22 -58,-22 line -92,2 -56,2 line -82,26 -62,26"
      ;;
    2) # shield with a tick
      printf '%s\n' \
        -fill white -stroke none \
        -draw "translate $2,$3 scale $(kf),$(kf) path 'M 0,-72 L 58,-50 L 58,0 C 58,40 28,64 0,78 C -28,64 -58,40 -58,0 L -58,-50 Z'" \
        -stroke "$ACCENT" -strokewidth 13 -fill none \
        -draw "translate $2,$3 scale $(kf),$(kf) stroke-linecap round stroke-linejoin round polyline -26,2 -6,24 28,-18"
      ;;
    3) # program window with a button being clicked
      printf '%s\n' \
        -stroke none -fill white \
        -draw "translate $2,$3 scale $(kf),$(kf) roundrectangle -78,-62 78,56 12,12" \
        -fill '#D6F6FF' \
        -draw "translate $2,$3 scale $(kf),$(kf) roundrectangle -78,-62 78,-36 12,12 rectangle -78,-44 78,-36" \
        -fill "$ACCENT" \
        -draw "translate $2,$3 scale $(kf),$(kf) roundrectangle -50,-8 50,28 10,10" \
        -fill "${BG[2]}" -stroke white -strokewidth 3 \
        -draw "translate $2,$3 scale $(kf),$(kf) polygon 18,6 18,54 30,42 39,62 48,58 39,38 56,38"
      ;;
  esac
}

# Renders Pango markup to a tightly trimmed transparent picture. On a busy machine the Pango coder
# now and then aborts (SIGABRT, nothing on stderr) for text it renders fine the next time, so a call
# gets three tries before the run gives up.
text() { # file font size colour text
  local try
  for try in 1 2 3; do
    if "$IM" -background none -define pango:align=left \
      pango:"<span font=\"$2 $3\" foreground=\"$4\">$5</span>" \
      -trim +repage "$1"; then
      return 0
    fi
  done
  echo "draw-banners: Pango could not render '$5' with $2" >&2
  return 1
}

# Headline no wider than this (1x), so it never runs into the symbol disc.
MAXW=316

slide() { # folder n font dir headline file
  local dir=$1 n=$2 font=$3 rtl=$4 head=$5 file=$6 i=$(($2 - 1))
  local w h cx cy gravity=West
  w=$(k $W) h=$(k $H) cx=$(k 512) cy=$(k 145)
  if [ "$rtl" = rtl ]; then cx=$((w - $(k 512))); gravity=East; fi

  local size=28 hw
  while :; do
    text "$tmp/head.png" "$font" "$(k $size)" white "$head"
    hw=$("$IM" "$tmp/head.png" -format '%w' info:)
    [ "$hw" -le "$(k $MAXW)" ] || [ "$size" -le 20 ] && break
    size=$((size - 2))
  done
  text "$tmp/name.png" "DejaVu Sans" "$(k 15)" "$ACCENT" "$PRODUCT"
  "$IM" -size "$(k 46)x$(k 6)" xc:none -fill "$ACCENT" \
    -draw "roundrectangle 0,0 $(($(k 46) - 1)),$(($(k 6) - 1)) $(k 3),$(k 3)" "$tmp/bar.png"

  "$IM" -background none -gravity "$gravity" \
    "$tmp/bar.png" -size "1x$(k 20)" xc:none "$tmp/head.png" -size "1x$(k 16)" xc:none "$tmp/name.png" \
    -append +repage "$tmp/block.png"

  # Scattered dots, mirrored with the layout.
  local dots='' d x y r
  for d in 300,38,5 372,252,7 34,262,4 616,26,4 630,210,6 250,272,3 410,30,3; do
    IFS=, read -r x y r <<<"$d"
    [ "$rtl" = rtl ] && x=$((W - x))
    x=$(k "$x") y=$(k "$y") r=$(k "$r")
    dots+="circle $x,$y $((x + r)),$y "
  done

  local sym
  mapfile -t sym < <(symbol "$n" "$cx" "$cy")

  "$IM" -size ${w}x${h} "xc:${BG[$i]}" \
    -fill "${DOT[$i]}" -draw "$dots" \
    -fill "${DISC[$i]}" -draw "circle $cx,$cy $((cx + $(k 112))),$cy" \
    -fill none -stroke "${DOT[$i]}" -strokewidth "$(k 2)" -draw "circle $cx,$cy $((cx + $(k 126))),$cy" \
    "${sym[@]}" \
    -stroke none "$tmp/block.png" -gravity "$gravity" -geometry "+$(k 54)+0" -composite \
    +dither -colors 32 -strip -define png:exclude-chunks=date,time -define png:compression-level=9 \
    "PNG8:$out/$dir/$file"
}

while IFS='|' read -r dir font rtl h1 h2 h3; do
  mkdir -p "$out/$dir"
  for K in ${SCALES:-100 200}; do
    suffix=''
    [ "$K" = 150 ] && suffix='@1.5x'
    [ "$K" = 200 ] && suffix='@2x'
    slide "$dir" 1 "$font" "$rtl" "$h1" "pr_1$suffix.png"
    slide "$dir" 2 "$font" "$rtl" "$h2" "pr_2$suffix.png"
    slide "$dir" 3 "$font" "$rtl" "$h3" "pr_3$suffix.png"
  done
  echo "drew $dir"
done < <(languages)
