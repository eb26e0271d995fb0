#include "language/ProfileReader.h"

#include <windows.h>

#include <vector>

namespace {

constexpr DWORD kValueChars = 256;
constexpr DWORD kSectionChars = 4096;

void AddEntry(const std::wstring& entry, std::map<std::wstring, std::wstring>& target) {
  size_t equals = entry.find(L'=');
  if (equals == std::wstring::npos)
    target[entry].clear();
  else
    target[entry.substr(0, equals)] = entry.substr(equals + 1);
}

}  // namespace

std::wstring ReadProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  wchar_t value[kValueChars] = {};
  DWORD length = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, kValueChars, file.c_str());
  return std::wstring(value, length < kValueChars ? length : kValueChars - 1);
}

void ReadProfileSection(const std::wstring& file, const std::wstring& section,
                        std::map<std::wstring, std::wstring>& target) {
  std::vector<wchar_t> buffer(kSectionChars, L'\0');
  DWORD length = ::GetPrivateProfileSectionW(section.c_str(), buffer.data(), kSectionChars, file.c_str());
  // Entries are zero-separated; only the reported length is trusted, so a cut-off last entry without
  // its terminator still ends inside the buffer.
  const wchar_t* end = buffer.data() + (length < kSectionChars ? length : kSectionChars);
  for (const wchar_t* entry = buffer.data(); entry < end;) {
    const wchar_t* stop = entry;
    while (stop < end && *stop != L'\0') ++stop;
    if (stop > entry) AddEntry(std::wstring(entry, stop), target);
    entry = stop + 1;
  }
}
