#!/usr/bin/env bash
# The installer's whole job on loopback, as a user does it: nginx serves the sample full installer
# over HTTPS, the loopback build of the installer runs under Wine, and xdotool clicks through its real
# window (options open, Install, Start). Each state is photographed and the log is kept:
#   BUILD/demo/<language>/1-home.png 2-options.png 3-downloading.png 4-installing.png 5-finish.png
#   BUILD/demo/<language>/pelarin_down.log, install-command-line.txt, analytics.txt, console.txt
# It runs once in English and once in Arabic (mirrored window); DEMO_LANGUAGES="English" runs one.
# The window appears on $DISPLAY when there is one that answers, else on a private Xvfb.
#
# usage: tools/demo.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
servers=$build/servers
out=$build/demo
exe=$build/setup-loopback.exe
sample=$build/tests/fixtures/SampleInstaller.exe
languages=${DEMO_LANGUAGES:-English Arabic}

for f in "$exe" "$sample"; do
  [ -f "$f" ] || { echo "demo: $f is missing; build first (make demo does)" >&2; exit 1; }
done

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  export SETUP_USE_DISPLAY=$DISPLAY
fi

cleanup() {
  rm -f "$servers/www/.slow-downloads"
  "$here/tools/test-servers.sh" stop "$servers" >/dev/null 2>&1 || true
  "$here/tools/wine-session.sh" stop
}
"$here/tools/wine-session.sh" start
trap cleanup EXIT
"$here/tools/test-servers.sh" start "$servers"
export DISPLAY=$(cat "$WINEPREFIX.display")
echo "== Display $DISPLAY, Wine prefix $WINEPREFIX"

# The installer's folders inside the prefix: its work folder and the default install folder (Program
# Files of the installer's own kind).
program_files() {
  local pe machine
  pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
  if [ "$machine" = 8664 ]; then
    echo "$WINEPREFIX/drive_c/Program Files"
  else
    echo "$WINEPREFIX/drive_c/Program Files (x86)"
  fi
}
pf=$(program_files)
work="$pf/pelarin_down/setup-loopback"
log="$work/Log/pelarin_down.log"
product="$pf/Brenmark Solvetta"

log_has() { [ -f "$log" ] && grep -aq "$1" "$log"; }

wait_log() {  # TEXT SECONDS
  local tries=$(($2 * 10))
  while ! log_has "$1"; do
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then
      echo "demo: the log never showed \"$1\"" >&2
      return 1
    fi
    sleep 0.1
  done
}

# The installer's window on the X display (Wine names X windows after the program).
find_window() {
  local id
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --classname 'setup-loopback.exe' 2>/dev/null | tail -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "demo: the installer's window did not appear" >&2
  return 1
}

shot() {  # WINDOW NAME
  import -window "$1" "$dir/$2.png" 2>/dev/null || import -window root "$dir/$2.png"
  echo "   $2.png  ($(xdotool getwindowgeometry "$1" | awk '/Geometry/ { print $2 }'))"
}

click() {  # WINDOW X Y  (client coordinates; the window has no frame)
  xdotool mousemove --window "$1" "$2" "$3" sleep 0.2 click 1
}

# The address the unpacked pack names for the full installer, and the sample installer put there.
serve_sample() {
  local url
  url=$(iconv -f UTF-16 -t UTF-8 "$work/language/English/UrlInfo.ini" | tr -d '\r' |
        sed -n 's/^STR_DOWN_URL_X64=//p')
  case "$url" in
    https://localhost/*) ;;
    *) echo "demo: unexpected download address \"$url\"" >&2; return 1 ;;
  esac
  local target="$servers/www/${url#https://localhost/}"
  mkdir -p "$(dirname "$target")"
  cp "$sample" "$target"
  echo "   serving $(basename "$sample") ($(stat -c %s "$sample") bytes) at $url"
}

run_language() {  # English | Arabic
  local language=$1 locale=en_US.UTF-8 fold_x=615
  if [ "$language" = Arabic ]; then locale=ar_SA.UTF-8; fold_x=40; fi
  dir=$out/$language
  mkdir -p "$dir"
  rm -rf "$work" "$product"
  local mark
  mark=$(wc -l <"$servers/logs/access.log" 2>/dev/null || echo 0)

  echo
  echo "== $language: $(basename "$exe") starts (LANG=$locale)"
  touch "$servers/www/.slow-downloads"
  # What the program and Wine print (the downloader's range plan, Wine's notes) goes to a file.
  LANG=$locale LC_ALL=$locale SAMPLE_INSTALLER_STEP_MS=500 "$here/tools/wine-run.sh" "$exe" \
    >"$dir/console.txt" 2>&1 &
  local runner=$! win
  wait_log "UpdateWindowSate:kWindow_Init" 60 && serve_sample && win=$(find_window) || return 1
  sleep 1
  shot "$win" 1-home
  click "$win" "$fold_x" 337
  sleep 1
  shot "$win" 2-options
  click "$win" 241 207
  wait_log "UpdateWindowSate:kWindow_Downloading" 20 || return 1
  sleep 2.5
  shot "$win" 3-downloading
  rm -f "$servers/www/.slow-downloads"
  wait_log "UpdateWindowSate:kWindow_Installing" 120 || return 1
  sleep 2.2
  shot "$win" 4-installing
  wait_log "UpdateWindowSate:kWindow_Finish" 60 || return 1
  sleep 1
  shot "$win" 5-finish
  echo "   Start clicked"
  click "$win" 330 207
  local code=0
  wait "$runner" || code=$?
  echo "   installer ended with exit code $code"

  cp "$log" "$dir/pelarin_down.log"
  cp "$product/install-command-line.txt" "$dir/" 2>/dev/null || true
  tail -n +"$((mark + 1))" "$servers/logs/access.log" | grep 'collect?' >"$dir/analytics.txt" || true
  report "$dir"
  [ "$code" -eq 0 ] && [ -f "$product/launched.txt" ]
}

report() {
  echo "   window states and steps (from the log):"
  tr -d '\r' <"$1/pelarin_down.log" | iconv -f GB18030 -t UTF-8 2>/dev/null |
    grep -aE 'UpdateWindowSate|OnClickInstall$|HttpDownloadEnd|StartInstallExe|InstallExeFinish|LaunchProduct' |
    sed 's/^ */     /'
  echo "   product folder: $(cd "$product" && ls | tr '\n' ' ')"
  echo "   domain file: $(cat "$product/domain" 2>/dev/null)"
  echo "   silent command line:$(cat "$1/install-command-line.txt" 2>/dev/null)"
  echo "   analytics requests: $(wc -l <"$1/analytics.txt")"
  echo "   downloaded installer and progress file left behind: $(ls "$work" | grep -cE 'pelarin-download.exe|temp.progress' || true)"
  echo "   product started by Start: $([ -f "$product/launched.txt" ] && echo yes || echo no)"
}

rm -rf "$out"
status=0
for language in $languages; do
  run_language "$language" || status=1
done
echo
echo "== Screenshots and logs: $out"
[ "$status" -eq 0 ] && echo "The sample product was installed and started in: $languages" ||
  echo "demo: an install did not complete; see the logs above" >&2
exit "$status"
