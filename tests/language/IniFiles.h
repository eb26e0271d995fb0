#pragma once

// Writes .ini files the way the language pack ships them: CR LF line ends, and UTF-16LE with a byte
// order mark unless plain 8-bit text is wanted.

#include <string>

#include "TestSupport.h"

template <typename Text>
Text WithCrLf(const Text& lines) {
  Text out;
  for (auto c : lines) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

inline bool WriteUtf16Ini(const std::wstring& path, const std::wstring& lines) {
  std::wstring content = L"\uFEFF" + WithCrLf(lines);
  return TestSupport::WriteFileBytes(
      path, std::string(reinterpret_cast<const char*>(content.data()), content.size() * sizeof(wchar_t)));
}

inline bool WriteAnsiIni(const std::wstring& path, const std::string& lines) {
  return TestSupport::WriteFileBytes(path, WithCrLf(lines));
}
