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

case "${1:-}" in
  start)
    mkdir -p "$dir" "$WINEPREFIX/dosdevices"
    if ! mountpoint -q "$dir"; then
      if ! $SUDO mount -t tmpfs -o "size=$size,mode=0777" tmpfs "$dir" 2>/dev/null; then
        log "cannot mount a tmpfs at $dir on this host; the tests of a full drive are skipped"
        rm -f "$link"
        exit 0
      fi
    fi
    ln -sfn "$dir" "$link"
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
