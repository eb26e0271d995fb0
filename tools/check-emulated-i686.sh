#!/usr/bin/env bash
# shellcheck disable=SC2317  # functions that run from traps
# Start-up check of the shipped 32-bit loopback installer on a kernel that cannot start 32-bit
# programs: Wine's 32-bit loader runs under qemu user emulation (qemu-i386-static through binfmt_misc).
# The program must unpack its language pack exactly, log kWindow_Init, show and paint its 650 x 360
# window, and end with exit code 0 when its close button is clicked and the question answered Yes.
# Screenshots, the program's log and Wine's output are kept in BUILD/emulated-i686/.
#
# The i386 entry goes into the binfmt_misc of a private user and mount namespace where the kernel
# allows it (Linux 6.7 and later), so nothing else on the machine sees it. Elsewhere it is registered
# machine-wide for the run only: while it is there, every 32-bit part of a 64-bit Wine prefix runs
# emulated too (creating the test suite's prefix takes three minutes instead of seven seconds).
# Prints "SKIPPED: ..." and exits 0 where binfmt_misc cannot be used, or where the kernel runs 32-bit
# programs itself (the suite then runs the shipped build directly).
#
# usage: tools/check-emulated-i686.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
self="$here/tools/check-emulated-i686.sh"
binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386-static
wine32=/usr/lib/wine/wine
entry='qemu-i386-check'
lockfile=/run/lock/setup-emulated-i686.lock
# ELF, 32-bit, little-endian, version 1, any OS ABI, executable or position-independent (e_type 2 or
# 3), machine i386. The F flag opens the interpreter now, so it works from any mount namespace.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xff\xff\x00\x00\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# The installer's window and what it leaves, fixed by its skin and the pack it embeds.
window_size=650x360
close_button=(630 21)     # the title row's close button on the left-to-right home page
min_colours=64            # an unpainted or blank window has a handful
window_timeout=420        # the first 32-bit start in a prefix takes about 1.5 minutes emulated
prefix_timeout=600        # wineboot with its 32-bit half emulated takes about 3 minutes

skip() { echo "SKIPPED: emulated 32-bit start-up check: $*"; exit 0; }
die() { echo "FAIL: $*" >&2; exit 1; }

runs_32bit() { "$wine32" --version >/dev/null 2>&1; }

# An enabled binfmt_misc entry that hands i386 programs to qemu (ours or the machine's own).
qemu_entry_active() {
  local f
  for f in "$binfmt"/*; do
    grep -qs '^interpreter .*qemu-i386' "$f" && [ "$(head -n1 "$f")" = enabled ] && return 0
  done
  return 1
}

register_entry() { printf '%s' ":$entry:M::$magic:$mask:$qemu:F" >"$binfmt/register"; }

# ---- The check itself, run where i386 programs already start through qemu ----

problems=0
problem() { echo "FAIL: $*" >&2; problems=$((problems + 1)); }

elapsed() { echo "$((SECONDS - $1)) s"; }

log_has() { [ -f "$log" ] && grep -aq "$1" "$log"; }

wait_log() {  # TEXT SECONDS
  local deadline=$((SECONDS + $2))
  until log_has "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 1
  done
}

visible_windows() { xdotool search --onlyvisible --classname 'setup-loopback\.exe' 2>/dev/null || true; }

size_of() { xdotool getwindowgeometry --shell "$1" | awk -F= '/^WIDTH/ { w = $2 } /^HEIGHT/ { h = $2 } END { print w "x" h }'; }

colours_of() { identify -format '%k' "$1" 2>/dev/null || echo 0; }

shot() {  # WINDOW NAME
  import -window "$1" "$out/$2.png" 2>/dev/null || import -window root "$out/$2.png"
}

# The program's first shown window; the program must still run while it is awaited.
wait_for_first_window() {
  local deadline=$((SECONDS + window_timeout)) ids
  while [ "$SECONDS" -lt "$deadline" ]; do
    ids=$(visible_windows)
    [ -n "$ids" ] && { echo "$ids" | head -n1; return 0; }
    kill -0 "$runner" 2>/dev/null || return 1
    sleep 1
  done
  return 1
}

# Wine may map the window before its final size is set, so the size gets a few seconds to settle.
wait_for_size() {  # WINDOW
  local size
  for _ in $(seq 10); do
    size=$(size_of "$1")
    [ "$size" = "$window_size" ] && return 0
    sleep 1
  done
  echo "$size"
  return 1
}

# Painting is slow under emulation: the window is photographed until it shows the page.
wait_for_paint() {  # WINDOW
  local colours=0
  for _ in $(seq 30); do
    shot "$1" 1-home
    colours=$(colours_of "$out/1-home.png")
    [ "$colours" -ge "$min_colours" ] && return 0
    sleep 1
  done
  echo "$colours"
  return 1
}

# The unpacked pack must equal the pack the loopback build embeds, file for file and byte for byte.
check_pack() {
  local expected
  expected=$(mktemp -d)
  unzip -q "$build/packages/language-loopback.zip" -d "$expected"
  if ! diff -r "$expected" "$work/language" >"$out/pack.diff" 2>&1; then
    problem "the unpacked pack differs from $build/packages/language-loopback.zip:"
    head -n 20 "$out/pack.diff" >&2
  fi
  rm -rf "$expected"
}

# The home page asks before it closes; Yes is the question's default button.
close_through_question() {  # WINDOW
  local box=
  xdotool mousemove --window "$1" "${close_button[@]}" sleep 0.3 click 1
  for _ in $(seq 60); do
    box=$(visible_windows | grep -vx "$1" | head -n1 || true)
    [ -n "$box" ] && break
    sleep 1
  done
  if [ -z "$box" ]; then
    problem "clicking the close button brought no question within 60 s"
    return 1
  fi
  sleep 1
  shot "$box" 2-close-question
  timeout 20 xdotool windowfocus --sync "$box" || true
  xdotool key Return
}

wait_for_exit() {  # SECONDS; sets exit_code
  local deadline=$((SECONDS + $1))
  while kill -0 "$runner" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 1
  done
  exit_code=0
  wait "$runner" || exit_code=$?
}

show_evidence() {
  echo "--- the program's log:" >&2
  [ -f "$log" ] && tr -d '\r' <"$log" | iconv -f GB18030 -t UTF-8 >&2 2>/dev/null || echo "(none)" >&2
  echo "--- Wine's output (last lines):" >&2
  tail -n 20 "$out/console.txt" >&2 || true
}

finish_check() {
  local status=$?
  "$here/tools/wine-session.sh" stop >/dev/null 2>&1 || true
  [ -f "$log" ] && cp "$log" "$out/pelarin_down.log"
  if [ "$status" -ne 0 ] || [ "$problems" -ne 0 ]; then
    show_evidence
    echo "FAIL: the shipped 32-bit installer did not start and close cleanly under emulation; see $out" >&2
    exit 1
  fi
}

prepare_prefix() {
  local started=$SECONDS
  # A prefix whose creation was cut short is made again from nothing.
  [ -f "$WINEPREFIX/.complete" ] || rm -rf "$WINEPREFIX"
  timeout "$prefix_timeout" "$here/tools/wine-session.sh" start ||
    die "the Wine prefix and session did not come up within $prefix_timeout s"
  [ -f "$WINEPREFIX/system.reg" ] || die "wineboot made no prefix in $WINEPREFIX"
  touch "$WINEPREFIX/.complete"
  echo "   Wine prefix and session ready in $(elapsed "$started")"
}

run_check() {
  build=$1
  exe=$build/setup-loopback.exe
  out=$build/emulated-i686
  # Inside this run the qemu entry makes tools/host-arch.sh choose Wine's 64-bit loader, which hands
  # the 32-bit program to the emulated 32-bit loader: a 64-bit prefix, as the users' Windows is.
  unset SETUP_TEST_ARCH SETUP_XVFB_DISPLAY SETUP_USE_DISPLAY
  export WINEPREFIX=$build/wineprefix-i686-emulated
  work="$WINEPREFIX/drive_c/Program Files (x86)/pelarin_down/setup-loopback"
  log=$work/Log/pelarin_down.log
  runner=
  rm -rf "$out"
  mkdir -p "$out"
  trap finish_check EXIT
  trap 'exit 143' TERM INT
  local started=$SECONDS step window size colours

  echo "== $(basename "$exe") under Wine's 32-bit loader through qemu-i386 (prefix $WINEPREFIX)"
  prepare_prefix
  DISPLAY=$(cat "$WINEPREFIX.display")
  export DISPLAY
  rm -rf "$work"

  step=$SECONDS
  env -u LC_ALL -u LC_MESSAGES LANG=en_US.UTF-8 "$here/tools/wine-run.sh" "$exe" >"$out/console.txt" 2>&1 &
  runner=$!
  window=$(wait_for_first_window) || die "no window within $window_timeout s (program still running: $(kill -0 "$runner" 2>/dev/null && echo yes || echo no))"
  echo "   window shown $(elapsed "$step") after the start"
  size=$(wait_for_size "$window") || problem "the window is $size, not $window_size"
  colours=$(wait_for_paint "$window") || problem "the window was not painted ($colours colours in $out/1-home.png)"
  wait_log "UpdateWindowSate:kWindow_Init" 30 || problem "the log has no kWindow_Init"
  check_pack

  step=$SECONDS
  close_through_question "$window" || die "the window could not be closed"
  wait_for_exit 120 || die "the program still ran 120 s after Yes was answered"
  [ "$exit_code" -eq 0 ] || problem "the program ended with exit code $exit_code"
  [ -z "$(visible_windows)" ] || problem "windows of the program are still shown after it ended"
  echo "   closed through its question $(elapsed "$step") after the click, exit code $exit_code"
  [ "$problems" -eq 0 ] || exit 1
  echo "ok: unpacked its pack, logged kWindow_Init, showed its $window_size window, closed cleanly" \
       "($(elapsed "$started") in all; screenshots in $out)"
}

# ---- Where qemu gets registered ----

# Bounded, in case the mount point is an automount whose daemon lives outside the namespace.
private_binfmt_works() {
  timeout 60 unshare --user --map-root-user --mount "$self" --probe-private >/dev/null 2>&1
}

# The first line of an error, without the shell's "script: line N: " in front.
first_line() {
  local text=${1%%$'\n'*}
  text=${text#"$0: line "*": "}
  echo "${text:-no reason given}"
}

release_machine_entry() {
  if [ -n "${registered:-}" ] && [ -e "$binfmt/$entry" ]; then echo -1 >"$binfmt/$entry" || true; fi
  if [ -n "${mounted:-}" ]; then umount "$binfmt" || true; fi
}

# One run at a time holds the machine-wide entry, so no run removes it under another.
lock_machine() {
  if : 2>/dev/null >>"$lockfile"; then
    exec 8>>"$lockfile"
    flock -w 1800 8 || die "another emulated check held $lockfile for 30 minutes"
  fi
}

run_with_machine_entry() {
  local build=$1 why status=0
  lock_machine
  mounted='' registered=''
  if ! mountpoint -q "$binfmt"; then
    why=$(mount -t binfmt_misc binfmt_misc "$binfmt" 2>&1) || skip "binfmt_misc cannot be mounted ($(first_line "$why"))"
    mounted=1
  fi
  trap release_machine_entry EXIT
  trap 'exit 143' TERM INT
  # Our entry still there is the leftover of a run that was killed: it goes at the end like a new one.
  [ -e "$binfmt/$entry" ] && registered=1
  if ! qemu_entry_active; then
    why=$(register_entry 2>&1) || skip "no i386 entry can be registered in binfmt_misc ($(first_line "$why"))"
    registered=1
  fi
  runs_32bit || die "Wine's 32-bit loader does not start even through qemu-i386 ($("$wine32" --version 2>&1 | head -n1))"
  echo "== qemu-i386 registered machine-wide for this run"
  "$self" --emulated "$build" || status=$?
  exit "$status"
}

case "${1:-}" in
  --probe-private)
    mount -t binfmt_misc binfmt_misc "$binfmt" && register_entry && runs_32bit
    exit ;;
  --private)
    { mount -t binfmt_misc binfmt_misc "$binfmt" && register_entry; } || die "the private binfmt_misc refused the i386 entry"
    runs_32bit || die "Wine's 32-bit loader does not start even through qemu-i386"
    run_check "$2"
    exit ;;
  --emulated)
    run_check "$2"
    exit ;;
esac

build=$(cd "${1:-$here/build}" && pwd)
[ -f "$build/setup-loopback.exe" ] || die "$build/setup-loopback.exe is missing; build first (make build)"
[ -f "$build/packages/language-loopback.zip" ] || die "$build/packages/language-loopback.zip is missing"
# Our entry machine-wide is another run's (it is waited for) or the leftover of a killed one.
[ -e "$binfmt/$entry" ] && run_with_machine_entry "$build"
if runs_32bit; then
  qemu_entry_active || skip "this kernel runs 32-bit programs itself; the test suite runs the shipped build"
  echo "== the machine's own qemu-i386 entry starts Wine's 32-bit loader"
  exec "$self" --emulated "$build"
fi
[ -x "$qemu" ] || die "$qemu is missing (tools/install-deps.sh installs qemu-user-static)"
# Not for other users: inside the namespace they would be root, and Wine refuses root's own
# /tmp/.wine-0 when it belongs to the real root.
if [ "$(id -u)" -eq 0 ] && private_binfmt_works; then
  echo "== qemu-i386 registered in a private binfmt_misc (own user and mount namespace)"
  exec unshare --user --map-root-user --mount "$self" --private "$build"
fi
run_with_machine_entry "$build"
