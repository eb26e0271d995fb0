#!/usr/bin/env bash
# Runs the loopback build of the installer under Wine, as a user would start it, leaves its window on
# screen for a moment and ends it, and shows what it did: the language pack it unpacked into its work
# folder and its log; then opens the installer's window from its real skin in English and Arabic (both
# pages) and saves what it shows.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build}
build=$(cd "$build" && pwd)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}

"$here/tools/wine-session.sh" start
trap '"$here/tools/wine-session.sh" stop' EXIT

exe="$build/setup-loopback.exe"
echo "== Running $(basename "$exe") under Wine (prefix $WINEPREFIX)"
works=("$WINEPREFIX/drive_c/Program Files (x86)/pelarin_down/setup-loopback"
       "$WINEPREFIX/drive_c/Program Files/pelarin_down/setup-loopback")
marks=0
for w in "${works[@]}"; do
  [ -f "$w/Log/pelarin_down.log" ] && marks=$((marks + $(grep -ac "UpdateWindowSate:kWindow_Init" "$w/Log/pelarin_down.log")))
done
set +e
"$here/tools/wine-run.sh" "$exe" &
runner=$!
# The installer now stays with its window open: wait until its window has started (its first state
# is logged), give it a moment on screen, then end it.
for _ in $(seq 1 300); do
  now=0
  for w in "${works[@]}"; do
    [ -f "$w/Log/pelarin_down.log" ] && now=$((now + $(grep -ac "UpdateWindowSate:kWindow_Init" "$w/Log/pelarin_down.log")))
  done
  [ "$now" -gt "$marks" ] && break
  sleep 0.1
done
sleep 2
mkdir -p "$build/demo-screenshots"
shot="$build/demo-screenshots/installer-window.png"
# The window is centred on the 1280x1024 Xvfb screen.
if DISPLAY=$(cat "$WINEPREFIX.display") import -window root -crop 650x360+315+332 +repage "$shot" 2>/dev/null; then
  echo "window opened; what it shows: $shot"
fi
echo "closing it"
"$here/tools/wine-run.sh" taskkill /f /im setup-loopback.exe >/dev/null 2>&1
wait "$runner"
set -e
code=0
[ "$now" -gt "$marks" ] || code=1
echo "window started: $([ "$code" -eq 0 ] && echo yes || echo no)"

work=${works[0]}
[ -d "$work" ] || work=${works[1]}
if [ ! -d "$work" ]; then
  echo "The work folder was not created: $work" >&2
  exit 1
fi

echo
echo "== Work folder: C:\\$(echo "${work#"$WINEPREFIX/drive_c/"}" | tr / "\\\\")"
(cd "$work" && find . -mindepth 1 -maxdepth 2 | sort | sed 's|^\./|   |')
pack="$work/language"
folders=$(find "$pack" -mindepth 1 -maxdepth 1 -type d | wc -l)
files=$(find "$pack" -mindepth 2 -type f | wc -l)
echo "language pack: $folders language folders, $files files in them"

english="$pack/English"
if [ -f "$english/text.ini" ]; then
  echo
  echo "== English texts and addresses (UTF-16 files shown as UTF-8)"
  iconv -f UTF-16 -t UTF-8 "$english/text.ini" | tr -d '\r' | head -5 | sed 's/^/   /'
  iconv -f UTF-16 -t UTF-8 "$english/UrlInfo.ini" | tr -d '\r' | sed 's/^/   /'
fi

echo
echo "== Log: $work/Log/pelarin_down.log (last run)"
tail -c 2000 "$work/Log/pelarin_down.log" | tr -d '\r' | tail -n 9 | sed 's/^ *//; s/^/   /'
[ "$code" -eq 0 ]

echo
echo "== The installer's window from its skin, left-to-right and right-to-left, home and progress pages"
"$here/tools/screenshots.sh" "$build" "$build/demo-screenshots"
