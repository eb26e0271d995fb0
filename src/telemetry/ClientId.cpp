#include "telemetry/ClientId.h"

#include <windows.h>
#include <objbase.h>

#include "base/Scoped.h"

const wchar_t kClientIdParentKey[] = L"SOFTWARE\\WOW6432Node\\Pelarin";
const wchar_t kClientIdKey[] = L"SOFTWARE\\WOW6432Node\\Pelarin\\PelarinDown";
const wchar_t kClientIdValue[] = L"GUID";

namespace {

// Creates or opens `path` with write access; `created` tells whether it was new.
bool CreateKey(const wchar_t* path, Scoped::RegCloseKey& key, bool& created) {
  DWORD disposition = 0;
  LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                  key.put(), &disposition);
  created = disposition == REG_CREATED_NEW_KEY;
  return status == ERROR_SUCCESS;
}

// The key is read in the view it was written in (the process's own). Under WOW64 Windows maps the
// explicit WOW6432Node path onto one key in either view; Wine nests it once more for a 32-bit
// process, where the 64-bit view would miss what was written and a new identifier would be made on
// every run.
enum class StoredId { kFound, kMissing, kUnreadable };

StoredId ReadStoredId(std::wstring& id) {
  Scoped::RegCloseKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientIdKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return StoredId::kUnreadable;
  wchar_t buffer[1024] = {};  // 2048 bytes
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), kClientIdValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return StoredId::kMissing;
  }
  id.assign(buffer);
  return StoredId::kFound;
}

void StoreId(HKEY key, const std::wstring& id) {
  DWORD bytes = static_cast<DWORD>((id.size() + 1) * sizeof(wchar_t));
  ::RegSetValueExW(key, kClientIdValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(id.c_str()), bytes);
}

}  // namespace

std::wstring MakeClientId() {
  GUID guid = {};
  if (FAILED(::CoCreateGuid(&guid))) return {};
  char text[64] = {};
  _snprintf(text, sizeof(text) - 1, "%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X",
            static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
            guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  wchar_t wide[64] = {};
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
  return wide;
}

// A key that exists but cannot be read may hold the machine's identifier: a new one would replace it
// for good, so this run goes without. An identifier that could not be made is never stored, or every
// later run would send the empty text as the machine's identity.
std::wstring GetClientId(ClientIdMaker make) {
  Scoped::RegCloseKey parent, key;
  bool parentCreated = false, created = false;
  if (!CreateKey(kClientIdParentKey, parent, parentCreated) || !CreateKey(kClientIdKey, key, created)) return {};
  std::wstring id;
  if (!created) {
    const StoredId stored = ReadStoredId(id);
    if (stored == StoredId::kFound) return id;
    if (stored == StoredId::kUnreadable) return {};
  }
  id = make();
  if (!id.empty()) StoreId(key.get(), id);
  return id;
}
