#pragma once

// Text helpers: replacement, conversion through the user's code page, decimal numbers, and bounded
// formatting with the C runtime's own printf rules ("%s" in a wide format takes a wide string).

#include <cstddef>
#include <string>

// Replaces every occurrence of `search` (case matters), scanning on after each inserted replacement,
// so a replacement that contains `search` is not replaced again. An empty `search` changes nothing.
void ReplaceAll(std::wstring& text, const std::wstring& search, const std::wstring& replacement);

// Converts through the user's ANSI code page. A character the code page cannot hold ends the
// conversion: the result is everything before it.
std::string WideToNarrow(const std::wstring& text);

// Converts from the user's ANSI code page. A byte sequence that is not a character there ends the
// conversion: the result is everything before it.
std::wstring NarrowToWide(const std::string& text);

// A whole decimal number from 0 to `largest`, digits only (no sign, no blanks, not empty).
bool ParseDecimal(const std::wstring& text, long long largest, long long& value);

// Formats into `buffer` holding `count` characters, always terminated. Returns the characters
// written, or -1 when the text was cut (or `count` is 0).
int FormatWide(wchar_t* buffer, size_t count, const wchar_t* format, ...);

// Formats into a 64-byte `buffer`, keeping at most `count` characters, always terminated. Returns the
// characters written, or -1 when the text was cut.
int FormatNarrow64(char* buffer, size_t count, const char* format, ...);
