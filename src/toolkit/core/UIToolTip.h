#pragma once

// A window's one tooltip window, made at the first hover over a control that has words to show and
// moved from control to control after that.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/Scoped.h"

namespace SkinUI {

class CControlUI;

class CToolTip {
 public:
  CToolTip() = default;
  CToolTip(const CToolTip&) = delete;
  CToolTip& operator=(const CToolTip&) = delete;

  // pt is in owner's client coordinates.
  void Show(HWND owner, CControlUI* control, POINT pt);
  void Hide();
  // The window closes: the tooltip window goes with it.
  void Close();
  void Forget(CControlUI* control);
  // A new tree: no control of the old one is remembered.
  void ForgetAll() { last_ = nullptr; }
  HWND Window() const { return window_.get(); }
  // How long the pointer rests before the tip shows; fallback before the tip window exists.
  DWORD HoverTime(DWORD fallback) const;

 private:
  Scoped::DestroyWindow window_;
  TOOLINFOW info_ = {};
  std::wstring text_;
  CControlUI* last_ = nullptr;
  int lastWidth_ = -1;
};

}  // namespace SkinUI
