#!/usr/bin/env bash
# Runs a Windows program under the build's own Wine prefix. The prefix is created on first use, quietly
# (no Mono or Gecko prompts). WINEPREFIX may be set by the caller; otherwise it is build/wineprefix.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/tools/wine-env.sh"
# Programs draw on the private Xvfb display that wine-session.sh started for this prefix.
if [ -n "${SETUP_XVFB_DISPLAY:-}" ]; then
  export DISPLAY=$SETUP_XVFB_DISPLAY
elif [ -s "$WINEPREFIX.display" ]; then
  export DISPLAY=$(cat "$WINEPREFIX.display")
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (flock 9
   if [ ! -f "$WINEPREFIX/system.reg" ]; then
     "$SETUP_WINE" wineboot -i >/dev/null 2>&1 || true
     # A crashing test must end at once with its exit code, not wait in Wine's crash debugger.
     "$SETUP_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1 || true
     "$SETUP_WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
     "$SETUP_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
   fi) 9>"$WINEPREFIX.lock"
fi
exec "$SETUP_WINE" "$@"
