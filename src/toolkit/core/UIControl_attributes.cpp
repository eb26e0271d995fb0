#include "toolkit/core/UIControl.h"

#include <cwchar>

namespace SkinUI {

namespace {

// Four comma-separated decimals (read as floating point) for the float shares.
bool ReadShares(const std::wstring& value, FloatShares& shares) {
  double v[4] = {0, 0, 0, 0};
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (pos >= value.size()) return false;
    size_t end = value.find(L',', pos);
    std::wstring piece = value.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
    v[i] = wcstod(piece.c_str(), nullptr);
    if (end == std::wstring::npos) {
      if (i != 3) return false;
      break;
    }
    pos = end + 1;
  }
  shares = {v[0], v[1], v[2], v[3]};
  return true;
}

}  // namespace

void CControlUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (ApplyGeometryAttribute(name, value) || ApplyLookAttribute(name, value) || ApplyStateAttribute(name, value))
    return;
  if (!name.empty() && !value.empty()) custom_.emplace(name, value);
}

bool CControlUI::ApplyGeometryAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"pos") {
    RECT rc;
    Parse::Rect(value, rc);
    fixedXY_ = {rc.left, rc.top};
    SetFixedWidth(rc.right - rc.left);
    SetFixedHeight(rc.bottom - rc.top);
  } else if (name == L"padding") {
    RECT rc;
    Parse::Rect(value, rc);
    SetPadding(rc);
  } else if (name == L"width") {
    SetFixedWidth(Parse::Int(value));
  } else if (name == L"height") {
    SetFixedHeight(Parse::Int(value));
  } else if (name == L"minwidth") {
    SetMinWidth(Parse::Int(value));
  } else if (name == L"minheight") {
    SetMinHeight(Parse::Int(value));
  } else if (name == L"maxwidth") {
    SetMaxWidth(Parse::Int(value));
  } else if (name == L"maxheight") {
    SetMaxHeight(Parse::Int(value));
  } else if (name == L"float") {
    ApplyFloatAttribute(value);
  } else {
    return false;
  }
  return true;
}

void CControlUI::ApplyFloatAttribute(const std::wstring& value) {
  if (value.find(L',') == std::wstring::npos) {
    SetFloat(Parse::Bool(value));
    return;
  }
  FloatShares shares;
  if (ReadShares(value, shares)) SetAnchorShares(shares);
  SetFloat(true);
}

bool CControlUI::ApplyLookAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"bkcolor" || name == L"bkcolor1") {
    SetBkColor(Parse::ColorSkipBlanks(value), 0);
  } else if (name == L"bkcolor2") {
    SetBkColor(Parse::ColorSkipBlanks(value), 1);
  } else if (name == L"bkcolor3") {
    SetBkColor(Parse::ColorSkipBlanks(value), 2);
  } else if (name == L"bordercolor") {
    SetBorderColor(Parse::Color(value));
  } else if (name == L"focusbordercolor") {
    SetFocusBorderColor(Parse::Color(value));
  } else if (name == L"colorhsl") {
    // Accepted and ignored: this program never sets a hue adjustment for colours to pass through.
  } else if (name == L"bordersize") {
    RECT rc = {0, 0, 0, 0};
    if (value.find(L',') == std::wstring::npos) {
      long n = Parse::Int(value);
      rc = {n, n, n, n};
    } else {
      Parse::Rect(value, rc);
    }
    SetBorderSize(rc);
  } else if (name == L"borderstyle") {
    borderStyle_ = Parse::Int(value);
  } else if (name == L"borderround") {
    SIZE round;
    Parse::Size(value, round);
    SetBorderRound(round);
  } else if (name == L"bkimage") {
    SetBkImage(value);
  } else if (name == L"highcontrastimage") {
    keepImageInHighContrast_ = Parse::Bool(value);
  } else if (name == L"focusimage") {
    SetFocusImage(value);
  } else {
    return false;
  }
  return true;
}

bool CControlUI::ApplyStateAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"name")
    SetName(value);
  else if (name == L"text")
    SetText(value);
  else if (name == L"tooltip")
    SetToolTip(value);
  else if (name == L"userdata")
    SetUserData(value);
  else if (name == L"tag")
    SetTag(static_cast<UINT_PTR>(Parse::Int(value)));
  else if (name == L"enabled")
    SetEnabled(Parse::Bool(value));
  else if (name == L"mouse")
    SetMouseEnabled(Parse::Bool(value));
  else if (name == L"keyboard")
    SetKeyboardEnabled(Parse::Bool(value));
  else if (name == L"visible")
    SetVisible(Parse::Bool(value));
  else if (name == L"shortcut")
    SetShortcut(value.empty() ? 0 : value[0]);
  else if (name == L"menu")
    SetWantsContextMenu(Parse::Bool(value));
  else if (name == L"virtualwnd")
    SetVirtualWnd(value);
  else
    return false;
  return true;
}

void CControlUI::ApplyAttributeList(const std::wstring& text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eq = text.find(L'=', pos);
    if (eq == std::wstring::npos || eq + 1 >= text.size() || text[eq + 1] != L'"') return;
    size_t close = text.find(L'"', eq + 2);
    if (close == std::wstring::npos) return;
    ApplyAttribute(text.substr(pos, eq - pos), text.substr(eq + 2, close - eq - 2));
    pos = close + 1;
    if (pos >= text.size() || text[pos] != L' ') return;
    ++pos;
  }
}

}  // namespace SkinUI
