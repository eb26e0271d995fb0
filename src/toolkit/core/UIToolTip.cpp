#include "toolkit/core/UIToolTip.h"

#include "toolkit/core/UIControl.h"
#include "toolkit/skin/UIResource.h"

namespace SkinUI {

void CToolTip::Show(HWND owner, CControlUI* control, POINT pt) {
  const std::wstring text = MultiLanguage::Expand(control->ShownToolTip());
  if (text.empty()) return;
  text_ = text;
  info_ = {};
  info_.cbSize = sizeof(info_);
  info_.uFlags = TTF_IDISHWND;
  info_.hwnd = owner;
  info_.uId = reinterpret_cast<UINT_PTR>(owner);
  info_.hinst = Resource::ModuleInstance();
  info_.lpszText = &text_[0];
  info_.rect = control->Placement();
  if (!window_) {
    window_.reset(::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                    Resource::ModuleInstance(), nullptr));
    if (!window_) return;
    ::SendMessageW(window_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info_));
  }
  if (control != last_ || control->GetToolTipWidth() != lastWidth_) {
    ::SendMessageW(window_.get(), TTM_SETMAXTIPWIDTH, 0, control->GetToolTipWidth());
    last_ = control;
    lastWidth_ = control->GetToolTipWidth();
  }
  ::SendMessageW(window_.get(), TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info_));
  ::SendMessageW(window_.get(), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info_));
  ::SendMessageW(window_.get(), TTM_TRACKPOSITION, 0, MAKELPARAM(pt.x, pt.y));
}

void CToolTip::Hide() {
  if (window_) ::SendMessageW(window_.get(), TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info_));
}

void CToolTip::Close() {
  window_.reset();
  last_ = nullptr;
}

void CToolTip::Forget(CControlUI* control) {
  if (last_ == control) last_ = nullptr;
}

DWORD CToolTip::HoverTime(DWORD fallback) const {
  if (!window_) return fallback;
  return static_cast<DWORD>(::SendMessageW(window_.get(), TTM_GETDELAYTIME, TTDT_INITIAL, 0));
}

}  // namespace SkinUI
