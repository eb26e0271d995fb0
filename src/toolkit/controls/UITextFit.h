#pragma once

// Which words of a window do not fit the place the layout gives them, measured by the painter that
// draws them: what a translation or a denser screen makes too long shows up here before a user sees
// it cut.

#include <windows.h>

#include <string>
#include <vector>

namespace SkinUI {

class CControlUI;

struct ClippedText {
  std::wstring control;  // the control's name, or its class when it has none
  std::wstring text;     // the words as the control holds them (markup included)
  SIZE needed;
  SIZE available;
};

// Every shown text control under root (edits excepted: their text scrolls) whose words need more room
// than its text area, in tree order. The tree must have been laid out.
std::vector<ClippedText> FindClippedTexts(CControlUI* root);

}  // namespace SkinUI
