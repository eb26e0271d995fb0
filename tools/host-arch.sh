#!/usr/bin/env bash
# Prints the Windows architecture this host runs tests for: "i686" where the kernel runs 32-bit
# programs natively (Wine's 32-bit loader works), otherwise "x86_64". Some kernels are built without
# 32-bit support; emulating the 32-bit loader there makes every Wine process start in about a minute,
# so such hosts test a 64-bit build of the same sources instead. SETUP_TEST_ARCH overrides the choice.
set -u
if [ -n "${SETUP_TEST_ARCH:-}" ]; then echo "$SETUP_TEST_ARCH"; exit 0; fi
emulated() { grep -qs 'qemu-i386' /proc/sys/fs/binfmt_misc/* 2>/dev/null; }
if ! emulated && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
