#!/usr/bin/env bash
# start: make sure the build's Wine prefix exists, a private X display runs (Xvfb) and one persistent
#        wineserver runs, so each test program starts warm.
# stop:  stop that wineserver and the Xvfb this script started.
# Xvfb picks a free display itself (recorded in "$WINEPREFIX.display", which tools/wine-run.sh reads),
# so parallel builds and stale locks of killed servers never collide; SETUP_XVFB_DISPLAY forces one.
# SETUP_USE_DISPLAY names a running X display to use instead of starting Xvfb.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/tools/wine-env.sh"
pidfile="$WINEPREFIX.xvfb.pid"
displayfile="$WINEPREFIX.display"

xvfb_running() { [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }

start_xvfb() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if xvfb_running && [ -s "$displayfile" ]; then return; fi
  rm -f "$displayfile"
  if [ -n "${SETUP_USE_DISPLAY:-}" ]; then  # a display that is already there (the demo on a desktop)
    echo "$SETUP_USE_DISPLAY" >"$displayfile"
    return
  fi
  if [ -n "${SETUP_XVFB_DISPLAY:-}" ]; then
    Xvfb "$SETUP_XVFB_DISPLAY" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
    echo "$SETUP_XVFB_DISPLAY" >"$displayfile"
  else
    Xvfb -displayfd 5 -screen 0 1600x1200x24 -nolisten tcp 5>"$displayfile.tmp" >/dev/null 2>&1 &
  fi
  echo $! >"$pidfile"
  for _ in $(seq 100); do
    if [ -s "$displayfile.tmp" ]; then
      echo ":$(tr -dc 0-9 <"$displayfile.tmp")" >"$displayfile"
      rm -f "$displayfile.tmp"
    fi
    if [ -s "$displayfile" ] && [ -e "/tmp/.X11-unix/X$(tr -dc 0-9 <"$displayfile")" ]; then return; fi
    sleep 0.1
  done
  echo "Xvfb did not come up" >&2
  exit 1
}

# A server that Wine starts by itself ends as soon as its last program does (it runs with -p0), and
# "wineserver -p" cannot make a running one persistent. Were it to end between two tests, the next
# test's program would start it again together with Wine's background services, which would inherit
# that test's output and keep ctest waiting for it to close. So the persistent server is started first
# (after making the prefix, which needs a server of its own), and then the services, by a program whose
# output goes nowhere.
start_persistent_server() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then "$here/tools/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true; fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p </dev/null >/dev/null 2>&1  # the daemon must not hold the caller's output open
  "$here/tools/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
}

case "${1:-}" in
  start)
    start_xvfb
    start_persistent_server
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -f "$pidfile" ]; then kill "$(cat "$pidfile")" 2>/dev/null || true; rm -f "$pidfile"; fi
    rm -f "$displayfile" "$displayfile.tmp"
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
