#pragma once

// What one control tells a screen reader: its role, name, state, default action and value. An
// element is made for one question and dropped after it; it holds only the control and the facts of
// its window.

#include <windows.h>

#include <string>

namespace SkinUI {

class CControlUI;

class CAccessibleElement {
 public:
  // Whether a reader meets the control at all: what a user perceives or works (buttons, boxes, texts
  // with words, the progress bar, the edit, pictures that carry a tooltip); never a layout.
  static bool IsExposed(CControlUI& control);

  // rightToLeft: the window is mirrored, so a horizontal bar fills from its right end.
  CAccessibleElement(CControlUI& control, HWND window, bool rightToLeft);

  long Role() const;
  // The words the control shows with the markup removed, else its tooltip; a caption button without
  // either takes the window's own menu text for what it does. Empty when nothing names it.
  std::wstring Name() const;
  long State(bool focused) const;
  // Empty when a click does nothing a reader could ask for.
  std::wstring DefaultAction() const;
  // Empty when the control has no value (only the progress bar and the edit have one).
  std::wstring Value() const;
  // "Alt+X" for a control with a shortcut letter; empty otherwise.
  std::wstring KeyboardShortcut() const;
  // The click a mouse user would make; false when the control refuses it (hidden or disabled).
  bool DoDefaultAction() const;

 private:
  std::wstring ShownText() const;
  std::wstring CaptionButtonName() const;
  bool IsSelected() const;

  CControlUI& control_;
  HWND window_;
  bool rightToLeft_;
  long role_;  // 0: a control no reader meets
};

}  // namespace SkinUI
