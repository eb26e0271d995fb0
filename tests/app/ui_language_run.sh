#!/usr/bin/env bash
# Starts the built installer under a given Unix locale and checks the Windows UI language it read
# (Wine maps LANG to the user's UI language the way Windows gives the display language).
# usage: ui_language_run.sh SETUP_EXE LOCALE EXPECTED_CODE
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
exe=$1 locale=$2 expected=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
name="langprobe-$expected"
cp "$exe" "$scratch/$name.exe"
# A 32-bit program's Program Files is the (x86) one; the 64-bit test build's is the other.
works=("$WINEPREFIX/drive_c/Program Files (x86)/pelarin_down/$name" "$WINEPREFIX/drive_c/Program Files/pelarin_down/$name")
rm -rf "${works[@]}"
LANG=$locale LC_ALL=$locale "$here/tools/wine-run.sh" "$scratch/$name.exe" 2>/dev/null &
runner=$!
# The installer stays with its window open; the language is logged before the window exists, so
# the copy is ended once the line is there (or after 30 s).
log=
for _ in $(seq 1 300); do
  for work in "${works[@]}"; do
    [ -f "$work/Log/pelarin_down.log" ] && log="$work/Log/pelarin_down.log"
  done
  [ -n "$log" ] && grep -aq "Language Code:" "$log" && break
  sleep 0.1
done
"$here/tools/wine-run.sh" taskkill /f /im "$name.exe" >/dev/null 2>&1 || true
wait "$runner" 2>/dev/null || true
work=${works[0]}
[ -d "$work" ] || work=${works[1]}
log="$work/Log/pelarin_down.log"
if grep -aq "Language Code:$expected" "$log"; then
  echo "ok: $locale -> Language Code:$expected"
  rm -rf "$work"
  exit 0
fi
echo "FAIL: $locale did not log Language Code:$expected"; cat "$log" 2>/dev/null
exit 1
