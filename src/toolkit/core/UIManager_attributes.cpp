#include <cwctype>

#include "toolkit/core/UIManager.h"

namespace SkinUI {

namespace {

bool SameNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

}  // namespace

void CUIManager::ApplyWindowAttribute(const std::wstring& name, const std::wstring& value) {
  if (ApplyGeometryAttribute(name, value) || ApplyColorAttribute(name, value)) return;
  if (SameNoCase(name, L"showdirty")) {
    showDirty_ = Parse::Bool(value);
  } else if (name == L"noactivate") {
    noActivate_ = Parse::Bool(value);
  } else if (SameNoCase(name, L"opacity")) {
    opacity_ = static_cast<BYTE>(Parse::Int(value));
    if (!hwnd_) return;
    ::SetWindowLongW(hwnd_, GWL_EXSTYLE, ::GetWindowLongW(hwnd_, GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(hwnd_, 0, opacity_, LWA_ALPHA);
  } else if (name == L"layeredopacity" || name == L"layeredimage") {
    // Per-pixel layered windows are not supported; the attribute is kept for whoever asks.
    customAttributes_.emplace(name, value);
  } else if (!name.empty() && !value.empty()) {
    customAttributes_.emplace(name, value);
  }
}

bool CUIManager::ApplyGeometryAttribute(const std::wstring& name, const std::wstring& value) {
  if (SameNoCase(name, L"size")) {
    Parse::Size(value, initSize_);
    const SIZE size = InitSize();
    if (hwnd_ && !root_)
      ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  } else if (SameNoCase(name, L"sizebox")) {
    Parse::Rect(value, sizeBox_);
  } else if (SameNoCase(name, L"caption")) {
    Parse::Rect(value, caption_);
  } else if (SameNoCase(name, L"roundcorner")) {
    Parse::Size(value, roundCorner_);
  } else if (SameNoCase(name, L"mininfo")) {
    Parse::Size(value, minInfo_);
  } else if (SameNoCase(name, L"maxinfo")) {
    Parse::Size(value, maxInfo_);
  } else {
    return false;
  }
  return true;
}

bool CUIManager::ApplyColorAttribute(const std::wstring& name, const std::wstring& value) {
  static const struct {
    const wchar_t* name;
    DefaultColor which;
  } kColors[] = {{L"disabledfontcolor", kDisabledColor},
                 {L"defaultfontcolor", kTextColor},
                 {L"linkfontcolor", kLinkColor},
                 {L"linkhoverfontcolor", kLinkHoverColor},
                 {L"selectedcolor", kSelectedColor}};
  for (const auto& entry : kColors) {
    if (!SameNoCase(name, entry.name)) continue;
    SetDefaultColor(entry.which, Parse::Color(value));
    return true;
  }
  return false;
}

std::wstring CUIManager::WindowCustomAttribute(const std::wstring& name) const {
  auto it = customAttributes_.find(name);
  return it == customAttributes_.end() ? std::wstring() : it->second;
}

}  // namespace SkinUI
