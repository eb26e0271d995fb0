#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need. Safe to run again: it does
# nothing when all of them are present. Needs root (or sudo) on Debian 12.
set -euo pipefail

packages=(
  cmake ninja-build make
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-i686-dev binutils-mingw-w64-i686
  libz-mingw-w64-dev libstb-dev libspdlog-dev libfmt-dev googletest
  wine wine64 wine32:i386 qemu-user-static xvfb xdotool imagemagick
  fonts-wqy-microhei fonts-dejavu-core
  nginx-light squid openssl osslsigncode ca-certificates python3 zip unzip file
  curl aria2
  cppcheck clang-format
)

missing() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

need=$(missing)
if [ -z "$need" ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "Installing: $(echo $need | tr '\n' ' ')"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# nginx-light and squid must not start system instances on :80 and :3128; the tests run their own.
$SUDO mkdir -p /usr/sbin
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod +x /usr/sbin/policy-rc.d
  trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
fi
$SUDO apt-get install -y -qq --no-install-recommends $need
