#pragma once

// Owner of one WinHTTP handle. Kept apart from ScopedWin.h because winhttp.h must not meet wininet.h.

#include <windows.h>
#include <winhttp.h>

#include "tool/ScopedWin.h"

namespace Scoped {

struct WinHttpCloseHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::WinHttpCloseHandle(h); }
};
using WinHttpCloseHandle = Handle<WinHttpCloseHandleTraits>;

}  // namespace Scoped
