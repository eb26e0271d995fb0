#pragma once

// wininet.h for this program's delay-loaded WinINet. The header declares its functions dllimport, so
// calls would read the import slots directly; the linker then drops the delay-load thunks those
// slots start out pointing at (it takes them for unused import stubs) and the first call jumps to
// address 0. Declared as plain functions, calls go through the thunks, which keeps them.

#include <windows.h>

#pragma push_macro("DECLSPEC_IMPORT")
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <wininet.h>
#pragma pop_macro("DECLSPEC_IMPORT")
