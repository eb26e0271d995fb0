#pragma once

// The bytes of a resource inside a module's own file. They stay mapped as long as the module is
// loaded, so callers may read them in place.

#include <windows.h>

#include <vector>

namespace Base {

struct ResourceBytes {
  const unsigned char* data = nullptr;
  DWORD size = 0;
  explicit operator bool() const { return data != nullptr && size != 0; }
};

// Empty when the module has no such resource, or an empty one; GetLastError then tells why.
ResourceBytes FindModuleResource(HMODULE module, const wchar_t* name, const wchar_t* type);
// A copy of the resource; false (and `out` untouched) when FindModuleResource gives nothing.
bool CopyModuleResource(HMODULE module, const wchar_t* name, const wchar_t* type, std::vector<unsigned char>& out);

}  // namespace Base
