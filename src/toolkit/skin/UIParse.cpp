#include "toolkit/skin/UIValues.h"

#include <cwchar>
#include <map>

namespace SkinUI {
namespace Parse {

namespace {

// Reads an optionally signed decimal at pos; false when there are no digits.
bool ReadLong(const std::wstring& text, size_t& pos, long& value) {
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) negative = text[pos++] == L'-';
  size_t start = pos;
  long long result = 0;
  while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
    if (result < 0x7FFFFFFF) result = result * 10 + (text[pos] - L'0');
    ++pos;
  }
  if (pos == start) return false;
  if (result > 0x7FFFFFFF) result = 0x7FFFFFFF;
  value = static_cast<long>(negative ? -result : result);
  return true;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

DWORD HexFrom(const std::wstring& text, size_t pos) {
  if (pos < text.size() && text[pos] == L'#') ++pos;
  DWORD value = 0;
  for (; pos < text.size() && HexDigit(text[pos]) >= 0; ++pos) value = (value << 4) | HexDigit(text[pos]);
  return value;
}

}  // namespace

int Ints(const std::wstring& text, long* values, int count) {
  size_t pos = 0;
  int read = 0;
  while (read < count) {
    while (pos < text.size() && text[pos] == L' ') ++pos;
    if (!ReadLong(text, pos, values[read])) break;
    ++read;
    if (pos >= text.size() || text[pos] != L',') break;
    ++pos;
  }
  return read;
}

bool Rect(const std::wstring& text, RECT& rc) {
  long v[4] = {0, 0, 0, 0};
  int n = Ints(text, v, 4);
  rc = {v[0], v[1], v[2], v[3]};
  return n == 4;
}

bool Size(const std::wstring& text, SIZE& size) {
  long v[2] = {0, 0};
  int n = Ints(text, v, 2);
  size = {v[0], v[1]};
  return n == 2;
}

bool Point(const std::wstring& text, POINT& pt) {
  long v[2] = {0, 0};
  int n = Ints(text, v, 2);
  pt = {v[0], v[1]};
  return n == 2;
}

long Int(const std::wstring& text) {
  long v = 0;
  Ints(text, &v, 1);
  return v;
}

DWORD Color(const std::wstring& text) { return HexFrom(text, 0); }

DWORD ColorSkipBlanks(const std::wstring& text) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] <= L' ') ++pos;
  return HexFrom(text, pos);
}

}  // namespace Parse
namespace MultiLanguage {

namespace {
std::map<int, std::wstring>& Strings() {
  static std::map<int, std::wstring> strings;
  return strings;
}

// Reads "%{digits}" at pos; returns the length of the token, 0 when there is none.
size_t TokenAt(const std::wstring& text, size_t pos, int& id) {
  if (text.compare(pos, 2, L"%{") != 0) return 0;
  size_t end = pos + 2;
  long value = 0;
  while (end < text.size() && text[end] >= L'0' && text[end] <= L'9' && value < 100000000)
    value = value * 10 + (text[end++] - L'0');
  if (end == pos + 2 || end >= text.size() || text[end] != L'}') return 0;
  id = static_cast<int>(value);
  return end + 1 - pos;
}
}  // namespace

void Set(int id, const std::wstring& text) { Strings()[id] = text; }
const std::wstring* Find(int id) {
  auto it = Strings().find(id);
  return it == Strings().end() ? nullptr : &it->second;
}
void Clear() { Strings().clear(); }

std::wstring Expand(const std::wstring& text) {
  if (text.find(L"%{") == std::wstring::npos) return text;
  std::wstring out;
  for (size_t pos = 0; pos < text.size();) {
    int id = 0;
    size_t length = TokenAt(text, pos, id);
    auto it = length ? Strings().find(id) : Strings().end();
    if (it != Strings().end()) {
      out += it->second;
      pos += length;
    } else {
      out += text[pos++];
    }
  }
  return out;
}

}  // namespace MultiLanguage

}  // namespace SkinUI
