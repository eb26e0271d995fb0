# Cross-build for 64-bit Windows with Debian's MinGW-w64: the test build on hosts whose kernel cannot run
# 32-bit programs (see tools/host-arch.sh).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
