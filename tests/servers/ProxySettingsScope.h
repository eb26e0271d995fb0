#pragma once

// Proxy settings written the way Windows keeps them, for one test, and the previous values put back
// afterwards: the user's Internet Settings (the ProxyEnable, ProxyServer, ProxyOverride and
// AutoConfigURL values and the DefaultConnectionSettings record the Internet Options dialog writes)
// and the machine's WinHTTP proxy (the WinHttpSettings record "netsh winhttp set proxy" writes).

#include <windows.h>

#include <string>
#include <vector>

#include "base/Scoped.h"

namespace ProxyTest {

// One registry value as it was (or its absence), written back on destruction.
class SavedValue {
 public:
  SavedValue(HKEY root, const wchar_t* key, const wchar_t* name) : root_(root), key_(key), name_(name) {
    Scoped::RegCloseKey handle;
    if (::RegOpenKeyExW(root_, key_.c_str(), 0, KEY_QUERY_VALUE, handle.put()) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (::RegQueryValueExW(handle.get(), name_.c_str(), nullptr, &type_, nullptr, &size) != ERROR_SUCCESS) return;
    data_.resize(size);
    existed_ = ::RegQueryValueExW(handle.get(), name_.c_str(), nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
  }
  ~SavedValue() {
    Scoped::RegCloseKey handle;
    if (::RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.put(), nullptr) !=
        ERROR_SUCCESS) {
      return;
    }
    if (existed_) {
      ::RegSetValueExW(handle.get(), name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    } else {
      ::RegDeleteValueW(handle.get(), name_.c_str());
    }
  }
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

 private:
  HKEY root_;
  std::wstring key_, name_;
  bool existed_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

inline bool WriteValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  Scoped::RegCloseKey handle;
  return ::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.put(), nullptr) == ERROR_SUCCESS &&
         ::RegSetValueExW(handle.get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

inline bool WriteText(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& text) {
  return WriteValue(root, key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

inline bool WriteNumber(HKEY root, const wchar_t* key, const wchar_t* name, DWORD number) {
  return WriteValue(root, key, name, REG_DWORD, &number, sizeof(number));
}

inline void DeleteValue(HKEY root, const wchar_t* key, const wchar_t* name) {
  Scoped::RegCloseKey handle;
  if (::RegOpenKeyExW(root, key, 0, KEY_SET_VALUE, handle.put()) == ERROR_SUCCESS) {
    ::RegDeleteValueW(handle.get(), name);
  }
}

// The connection record both Windows and Wine read: a version, a change counter (0 in the machine's
// record, which Wine insists on), the PROXY_TYPE_*
// flags, then counted narrow strings (proxy, bypass list and, in the user's record, the script
// address), then fields this program never sets.
inline std::vector<BYTE> ConnectionRecord(DWORD version, DWORD counter, DWORD flags,
                                          const std::vector<std::string>& texts) {
  std::vector<BYTE> record;
  auto put = [&record](DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    record.insert(record.end(), bytes, bytes + sizeof(value));
  };
  put(version);
  put(counter);
  put(flags);
  for (const std::string& text : texts) {
    put(static_cast<DWORD>(text.size()));
    record.insert(record.end(), text.begin(), text.end());
  }
  record.resize(record.size() + 32, 0);
  return record;
}

constexpr DWORD kProxyTypeDirect = 1, kProxyTypeProxy = 2, kProxyTypeScript = 4;

constexpr const wchar_t* kUserKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const wchar_t* kUserConnections =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr const wchar_t* kMachineConnections =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// Everything a test may change, saved on construction and put back on destruction.
class Scope {
 public:
  Scope()
      : enable_(HKEY_CURRENT_USER, kUserKey, L"ProxyEnable"),
        server_(HKEY_CURRENT_USER, kUserKey, L"ProxyServer"),
        override_(HKEY_CURRENT_USER, kUserKey, L"ProxyOverride"),
        script_(HKEY_CURRENT_USER, kUserKey, L"AutoConfigURL"),
        record_(HKEY_CURRENT_USER, kUserConnections, L"DefaultConnectionSettings"),
        machine_(HKEY_LOCAL_MACHINE, kMachineConnections, L"WinHttpSettings") {
    SetUser(L"", L"", L"");
    SetMachine(L"", L"");
  }

  // The user's settings: a static proxy with its bypass list, or a proxy script, or neither.
  bool SetUser(const std::wstring& proxy, const std::wstring& bypass, const std::wstring& scriptUrl) {
    bool ok = WriteNumber(HKEY_CURRENT_USER, kUserKey, L"ProxyEnable", proxy.empty() ? 0 : 1);
    SetOrDelete(L"ProxyServer", proxy);
    SetOrDelete(L"ProxyOverride", bypass);
    SetOrDelete(L"AutoConfigURL", scriptUrl);
    DWORD flags = kProxyTypeDirect | (proxy.empty() ? 0 : kProxyTypeProxy) | (scriptUrl.empty() ? 0 : kProxyTypeScript);
    std::vector<BYTE> record = ConnectionRecord(0x46, 1, flags, {Narrow(proxy), Narrow(bypass), Narrow(scriptUrl)});
    return ok && WriteValue(HKEY_CURRENT_USER, kUserConnections, L"DefaultConnectionSettings", REG_BINARY,
                            record.data(), static_cast<DWORD>(record.size()));
  }

  // The machine's WinHTTP proxy as "netsh winhttp set proxy PROXY BYPASS" records it; an empty proxy
  // is "netsh winhttp reset proxy" (direct).
  bool SetMachine(const std::wstring& proxy, const std::wstring& bypass) {
    DWORD flags = kProxyTypeDirect | (proxy.empty() ? 0 : kProxyTypeProxy);
    std::vector<BYTE> record = ConnectionRecord(0x18, 0, flags, {Narrow(proxy), Narrow(bypass)});
    record.resize(record.size() - 32);
    return WriteValue(HKEY_LOCAL_MACHINE, kMachineConnections, L"WinHttpSettings", REG_BINARY, record.data(),
                      static_cast<DWORD>(record.size()));
  }

 private:
  static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
  void SetOrDelete(const wchar_t* name, const std::wstring& text) {
    if (text.empty()) {
      DeleteValue(HKEY_CURRENT_USER, kUserKey, name);
    } else {
      WriteText(HKEY_CURRENT_USER, kUserKey, name, text);
    }
  }

  SavedValue enable_, server_, override_, script_, record_, machine_;
};

// The Windows version Wine reports to one program (HKCU\Software\Wine\AppDefaults\EXE\Version), put
// back on destruction. Under Wine it stands in for running that program on that Windows version.
class WineVersionFor {
 public:
  WineVersionFor(const std::wstring& exe, const wchar_t* version)
      : key_(L"Software\\Wine\\AppDefaults\\" + exe), saved_(HKEY_CURRENT_USER, key_.c_str(), L"Version") {
    WriteText(HKEY_CURRENT_USER, key_.c_str(), L"Version", version);
  }

 private:
  std::wstring key_;
  SavedValue saved_;
};

}  // namespace ProxyTest
