#pragma once

// msimg32 is delay-loaded. Its header declares the functions dllimport, so calls go through the import
// slot only; nothing then refers to the delay-load thunk itself and the linker's section garbage
// collection drops it, leaving a null slot. Binding these names to the thunks keeps them alive.

#include <windows.h>

#if defined(_WIN64)
#define SKINUI_MSIMG_SYMBOL(name, bytes) #name
#else
#define SKINUI_MSIMG_SYMBOL(name, bytes) "_" #name "@" #bytes
#endif

namespace SkinUI {

extern "C" BOOL __stdcall DelayedAlphaBlend(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, int scx,
                                            int scy, BLENDFUNCTION blend) __asm__(SKINUI_MSIMG_SYMBOL(AlphaBlend, 44));
extern "C" BOOL __stdcall DelayedGradientFill(HDC dc, PTRIVERTEX vertices, ULONG count, PVOID mesh, ULONG meshCount,
                                              ULONG mode) __asm__(SKINUI_MSIMG_SYMBOL(GradientFill, 24));

}  // namespace SkinUI
