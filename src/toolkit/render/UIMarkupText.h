#pragma once

// What a marked-up text says without its markup: the words a screen reader speaks for a control
// whose text the markup renderer draws.

#include <cstddef>
#include <string>

namespace SkinUI {

// Whether a markup tag ("{b}", "</a>", "{c #FF0000FF}") starts at text[i]; the renderer's own rule.
bool IsMarkupTagAt(const std::wstring& text, size_t i);

// The text with its multi-language tokens expanded and every tag removed; raw runs keep their
// characters, line and paragraph breaks become blanks, and runs of blanks shrink to one.
std::wstring MarkupPlainText(const std::wstring& text);

}  // namespace SkinUI
