#pragma once

// Centring a top-level window: over its owner when it has one that is not minimised, otherwise in
// the work area of the monitor nearest to it, and always kept inside that work area.

#include <windows.h>

// Top-left corner for a window of `size` centred on `centre` and kept inside `bounds`. When the
// window is larger than the bounds, the left and top edges win.
POINT CentredPosition(SIZE size, const RECT& centre, const RECT& bounds);

// Moves the window to its centred place; its size, Z order and activation stay. Nothing happens to a
// handle that is no window.
void CenterWindow(HWND window);
