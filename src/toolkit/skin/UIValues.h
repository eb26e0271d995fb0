#pragma once

// The values a skin writes and how they meet the screen: bounded readers for its integer, colour and
// rectangle texts, its numbered strings, and its 96-DPI units.

#include <windows.h>

#include <string>

namespace SkinUI {

// Readers for attribute texts. None of them looks past the end of the text; a malformed value
// leaves what was read so far and reports false.
namespace Parse {
// Reads up to count comma-separated decimal integers; returns how many were read.
int Ints(const std::wstring& text, long* values, int count);
bool Rect(const std::wstring& text, RECT& rc);
bool Size(const std::wstring& text, SIZE& size);
bool Point(const std::wstring& text, POINT& pt);
// Hexadecimal ARGB after an optional "#"; invalid digits end the number as strtoul would.
DWORD Color(const std::wstring& text);
// Like Color but first skips leading characters up to U+0020.
DWORD ColorSkipBlanks(const std::wstring& text);
long Int(const std::wstring& text);
inline bool Bool(const std::wstring& text) { return text == L"true"; }
}  // namespace Parse

// The process-wide multi-language strings: "%{12}" in a text stands for string 12.
namespace MultiLanguage {
void Set(int id, const std::wstring& text);
// Null when no string has that number.
const std::wstring* Find(int id);
void Clear();
// Replaces every token that has a string; tokens without one stay as written.
std::wstring Expand(const std::wstring& text);
}  // namespace MultiLanguage

inline int RectWidth(const RECT& rc) { return rc.right - rc.left; }
inline int RectHeight(const RECT& rc) { return rc.bottom - rc.top; }
inline bool RectEmpty(const RECT& rc) { return rc.right <= rc.left || rc.bottom <= rc.top; }

// Skins are written in 96-DPI units; a window on a denser screen multiplies them by dpi / 96.
constexpr int kBaseDpi = 96;
inline int ScaleByDpi(int value, int dpi) { return dpi == kBaseDpi ? value : ::MulDiv(value, dpi, kBaseDpi); }
inline int UnscaleByDpi(int value, int dpi) { return dpi == kBaseDpi ? value : ::MulDiv(value, kBaseDpi, dpi); }
inline RECT ScaleByDpi(const RECT& rc, int dpi) {
  return {ScaleByDpi(rc.left, dpi), ScaleByDpi(rc.top, dpi), ScaleByDpi(rc.right, dpi), ScaleByDpi(rc.bottom, dpi)};
}
inline SIZE ScaleByDpi(const SIZE& size, int dpi) { return {ScaleByDpi(size.cx, dpi), ScaleByDpi(size.cy, dpi)}; }
inline POINT ScaleByDpi(const POINT& pt, int dpi) { return {ScaleByDpi(pt.x, dpi), ScaleByDpi(pt.y, dpi)}; }

}  // namespace SkinUI
