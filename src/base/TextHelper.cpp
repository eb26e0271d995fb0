#include "base/TextHelper.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kNarrow64Size = 64;

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Length of the character starting at `pos`: a surrogate pair counts as one.
size_t WideCharLength(const std::wstring& text, size_t pos) {
  bool pair = IsHighSurrogate(text[pos]) && pos + 1 < text.size() && IsLowSurrogate(text[pos + 1]);
  return pair ? 2 : 1;
}

// The runtime converts whole strings and fails them as a whole; converting one character at a time
// keeps everything before the first one the code page lacks.
bool AppendNarrowChar(const wchar_t* wide, size_t length, std::string& out) {
  wchar_t piece[3] = {};
  for (size_t i = 0; i < length; ++i) piece[i] = wide[i];
  char bytes[2 * MB_LEN_MAX + 1] = {};
  size_t written = std::wcstombs(bytes, piece, sizeof(bytes) - 1);
  if (written == static_cast<size_t>(-1) || written == 0) return false;
  out.append(bytes, written);
  return true;
}

bool AppendWideChar(const char* narrow, size_t length, std::wstring& out) {
  char piece[MB_LEN_MAX + 1] = {};
  for (size_t i = 0; i < length; ++i) piece[i] = narrow[i];
  wchar_t wide[3] = {};
  size_t written = std::mbstowcs(wide, piece, 2);
  if (written == static_cast<size_t>(-1) || written == 0) return false;
  out.append(wide, written);
  return true;
}

}  // namespace

void ReplaceAll(std::wstring& text, const std::wstring& search, const std::wstring& replacement) {
  if (search.empty()) return;
  for (size_t pos = text.find(search); pos != std::wstring::npos; pos = text.find(search, pos + replacement.size())) {
    text.replace(pos, search.size(), replacement);
  }
}

std::string WideToNarrow(const std::wstring& text) {
  std::setlocale(LC_CTYPE, "");
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size() && text[pos] != L'\0';) {
    size_t length = WideCharLength(text, pos);
    if (!AppendNarrowChar(text.data() + pos, length, out)) break;
    pos += length;
  }
  return out;
}

std::wstring NarrowToWide(const std::string& text) {
  std::setlocale(LC_CTYPE, "");
  std::wstring out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size() && text[pos] != '\0';) {
    int length = std::mblen(text.data() + pos, text.size() - pos);
    if (length <= 0 || length > MB_LEN_MAX) break;
    if (!AppendWideChar(text.data() + pos, static_cast<size_t>(length), out)) break;
    pos += static_cast<size_t>(length);
  }
  return out;
}

int FormatWide(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
  if (!buffer || count == 0) return -1;
  va_list args;
  va_start(args, format);
  // The runtime leaves the text unterminated when it fills the room exactly; the last slot is ours.
  int written = _vsnwprintf(buffer, count - 1, format, args);
  va_end(args);
  buffer[count - 1] = L'\0';
  return written;
}

int FormatNarrow64(char* buffer, size_t count, const char* format, ...) {
  if (!buffer) return -1;
  // With a count that does not fit the buffer the runtime would reject the call instead of cutting.
  size_t limit = count < kNarrow64Size ? count : _TRUNCATE;
  va_list args;
  va_start(args, format);
  int written = _vsnprintf_s(buffer, kNarrow64Size, limit, format, args);
  va_end(args);
  return written;
}

bool ParseDecimal(const std::wstring& text, long long largest, long long& value) {
  if (text.empty()) return false;
  long long number = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    const int digit = c - L'0';
    if (number > (largest - digit) / 10) return false;  // checked before it could overflow
    number = number * 10 + digit;
  }
  value = number;
  return true;
}
