#include "base/ModuleResource.h"

namespace Base {

ResourceBytes FindModuleResource(HMODULE module, const wchar_t* name, const wchar_t* type) {
  HRSRC found = ::FindResourceW(module, name, type);
  HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return {};
  return {static_cast<const unsigned char*>(data), ::SizeofResource(module, found)};
}

bool CopyModuleResource(HMODULE module, const wchar_t* name, const wchar_t* type, std::vector<unsigned char>& out) {
  const ResourceBytes bytes = FindModuleResource(module, name, type);
  if (!bytes) return false;
  out.assign(bytes.data, bytes.data + bytes.size);
  return true;
}

}  // namespace Base
