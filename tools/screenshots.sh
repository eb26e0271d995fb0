#!/usr/bin/env bash
# Regenerates docs/window-{home,progress}[-hc]-{ltr,rtl}.png (-hc: in a high-contrast scheme): the window
# suite opens the installer's skin from the skin zip built into its test program (both reading
# directions, both pages), checks it and saves what the window shows.
#   tools/screenshots.sh [BUILD_DIR [OUT_DIR]]    BUILD_DIR defaults to build/x64 (or build on 32-bit
#   hosts), OUT_DIR to docs/
# The build directory must be configured; the suite's program is built here if needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=$("$root/tools/host-arch.sh")
default_build="$root/build/x64"
[ "$arch" = i686 ] && default_build="$root/build"
build=$(cd "${1:-$default_build}" && pwd)
export SETUP_SCREENSHOT_DIR=$(mkdir -p "${2:-$root/docs}" && cd "${2:-$root/docs}" && pwd)

cmake --build "$build" --target test_toolkit_window
export WINEPREFIX="$build/wineprefix"
"$root/tools/wine-session.sh" start
trap '"$root/tools/wine-session.sh" stop' EXIT
# Wine would otherwise wait for a window manager that a bare Xvfb does not have (see tests/toolkit/window).
"$root/tools/wine-run.sh" reg add 'HKCU\Software\Wine\AppDefaults\test_toolkit_window.exe\X11 Driver' \
  /v Managed /t REG_SZ /d N /f >/dev/null
(cd "$build/tests/toolkit/window" &&
  "$root/tools/wine-run.sh" ./test_toolkit_window.exe --gtest_brief=1 --gtest_filter='Directions/InstallerSkinTest.*')
ls -l "$SETUP_SCREENSHOT_DIR"/window-*.png
