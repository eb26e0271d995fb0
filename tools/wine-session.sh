#!/usr/bin/env bash
# start: make sure the build's Wine prefix exists, a display is there (Xvfb when none is set) and one
#        persistent wineserver runs, so each test program starts warm.
# stop:  stop that wineserver and the Xvfb this script started.
# The display number and the prefix come from the environment the Makefile sets.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=${WINEARCH:-win64}
display=${SETUP_XVFB_DISPLAY:-:87}
pidfile="$WINEPREFIX.xvfb.pid"

start_xvfb() {
  if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then return; fi
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  echo $! >"$pidfile"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && return
    sleep 0.1
  done
  echo "Xvfb did not come up on $display" >&2
  exit 1
}

case "${1:-}" in
  start)
    start_xvfb
    export DISPLAY=$display
    "$here/tools/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
    wineserver -p 2>/dev/null || true  # one may already run for this prefix
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -f "$pidfile" ]; then kill "$(cat "$pidfile")" 2>/dev/null || true; rm -f "$pidfile"; fi
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
