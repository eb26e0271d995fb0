#pragma once

// wincrypt.h, wintrust.h and softpub.h for this program's delay-loaded crypt32 and wintrust.
// wincrypt.h declares its functions dllimport (WINIMPM), so calls would read the import slots
// directly; the linker then drops the delay-load thunks those slots start out pointing at and the
// first call jumps to address 0 (see WinInetApi.h). Declared as plain functions, calls go through the
// thunks. Include this before anything else that includes wincrypt.h.

#include <windows.h>

#ifdef WINIMPM
#error "wincrypt.h was included before tool/CryptApi.h"
#endif
#define WINIMPM
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#undef WINIMPM
