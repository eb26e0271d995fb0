#pragma once

// Owner of one WinHTTP handle. Kept apart from base/Scoped.h because winhttp.h must not meet wininet.h.

#include <windows.h>
#include <winhttp.h>

#include "base/Scoped.h"

namespace Scoped {

using WinHttpCloseHandle = Handle<ZeroIsEmpty<HINTERNET, &::WinHttpCloseHandle>>;

}  // namespace Scoped
