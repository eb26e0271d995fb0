#!/usr/bin/env bash
# A Wine drive with little room, for the tests of the "not enough space" answer: a tmpfs of a few
# MiB mounted at DIR and linked as a drive letter of the build's Wine prefix ($WINEPREFIX).
#
# usage: small-drive.sh start|stop DIR LETTER     (LETTER like s:)
# Mounting needs root (or sudo) and a host that allows it; where it is refused, start reports why and
# the drive is left out, and the tests that need it say so.
set -euo pipefail
usage="usage: small-drive.sh start|stop DIR LETTER"
dir=${2:?$usage}
letter=${3:?$usage}
letter=${letter,,}
link=${WINEPREFIX:?WINEPREFIX names the Wine prefix of the build}/dosdevices/$letter
size=8m
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo -n"; fi

log() { echo "small-drive: $*" >&2; }

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Wine's folder chooser lists the drives that were linked when the Wine session began, so a session
# that runs is started again once the drive is there.
restart_session() {
  if wineserver -k 2>/dev/null; then
    # The persistent server first, then Wine's services by a program whose output goes nowhere (see
    # tools/wine-session.sh).
    wineserver -w 2>/dev/null || true
    wineserver -p </dev/null >/dev/null 2>&1
    "$here/tools/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
  fi
}

case "${1:-}" in
  start)
    # A prefix folder made here before Wine made the prefix would be taken for a finished prefix
    # without its C: drive, and Wine's set-up would never end.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then "$here/tools/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true; fi
    mkdir -p "$dir"
    if ! mountpoint -q "$dir"; then
      if ! $SUDO mount -t tmpfs -o "size=$size,mode=0777" tmpfs "$dir" 2>/dev/null; then
        log "cannot mount a tmpfs at $dir on this host; the tests of a full drive are skipped"
        rm -f "$link"
        exit 0
      fi
    fi
    ln -sfn "$dir" "$link"
    restart_session
    log "$letter is a $size tmpfs at $dir"
    ;;
  stop)
    rm -f "$link"
    if mountpoint -q "$dir"; then $SUDO umount "$dir" || log "cannot unmount $dir"; fi
    ;;
  *)
    echo "usage: $0 start|stop DIR LETTER" >&2
    exit 2
    ;;
esac
