#include "toolkit/access/UIAccessibleElement.h"

#include <oleacc.h>

#include "toolkit/core/UIControl.h"
#include "toolkit/core/UIManager.h"

namespace SkinUI {

namespace {

// "&Close\tAlt+F4" reads "Close".
std::wstring MenuItemWords(const wchar_t* text) {
  std::wstring words;
  for (const wchar_t* p = text; *p && *p != L'\t'; ++p) {
    if (*p != L'&') words.push_back(*p);
  }
  return words;
}

UINT CaptionCommand(const std::wstring& name) {
  if (name == L"closebtn") return SC_CLOSE;
  if (name == L"minbtn") return SC_MINIMIZE;
  if (name == L"maxbtn") return SC_MAXIMIZE;
  if (name == L"restorebtn") return SC_RESTORE;
  return 0;
}

}  // namespace

CAccessibleElement::CAccessibleElement(CControlUI& control, HWND window, bool rightToLeft)
    : control_(control), window_(window), rightToLeft_(rightToLeft), role_(control.AccessibleRole()) {}

bool CAccessibleElement::IsExposed(CControlUI& control) {
  if (!control.IsVisible()) return false;
  const CAccessibleElement element(control, nullptr, false);
  switch (element.role_) {
    case 0:
      return false;
    case ROLE_SYSTEM_STATICTEXT:
      return !element.ShownText().empty();
    case ROLE_SYSTEM_GRAPHIC:
      return !control.GetToolTip().empty();
    default:
      return true;
  }
}

long CAccessibleElement::Role() const { return role_ ? role_ : ROLE_SYSTEM_GRAPHIC; }

std::wstring CAccessibleElement::ShownText() const { return control_.AccessibleText(); }

std::wstring CAccessibleElement::Name() const {
  std::wstring name = ShownText();
  if (name.empty()) name = MultiLanguage::Expand(control_.GetToolTip());
  if (name.empty() && role_ == ROLE_SYSTEM_PUSHBUTTON) name = CaptionButtonName();
  return name;
}

// The window's system menu carries the same commands in the user's language.
std::wstring CAccessibleElement::CaptionButtonName() const {
  const UINT command = CaptionCommand(control_.GetName());
  HMENU menu = command && window_ ? ::GetSystemMenu(window_, FALSE) : nullptr;
  wchar_t text[128] = {};
  if (!menu || ::GetMenuStringW(menu, command, text, 128, MF_BYCOMMAND) <= 0) return std::wstring();
  return MenuItemWords(text);
}

bool CAccessibleElement::IsSelected() const { return (control_.AccessibleState() & STATE_SYSTEM_CHECKED) != 0; }

long CAccessibleElement::State(bool focused) const {
  long state = 0;
  if (!control_.IsVisible()) state |= STATE_SYSTEM_INVISIBLE;
  if (!control_.IsEnabled()) state |= STATE_SYSTEM_UNAVAILABLE;
  if (control_.IsEnabled() && (control_.ControlFlags() & ControlFlagTabStop)) state |= STATE_SYSTEM_FOCUSABLE;
  if (focused) state |= STATE_SYSTEM_FOCUSED;
  state |= control_.AccessibleState();
  if (role_ == ROLE_SYSTEM_LINK) state |= STATE_SYSTEM_LINKED;
  if (role_ == ROLE_SYSTEM_STATICTEXT || role_ == ROLE_SYSTEM_PROGRESSBAR || role_ == ROLE_SYSTEM_GRAPHIC)
    state |= STATE_SYSTEM_READONLY;
  return state;
}

std::wstring CAccessibleElement::DefaultAction() const {
  static const ActionNames kEnglish;
  const ActionNames& names = control_.Manager() ? control_.Manager()->GetActionNames() : kEnglish;
  switch (role_) {
    case ROLE_SYSTEM_PUSHBUTTON:
      return names.press;
    case ROLE_SYSTEM_LINK:
      return names.jump;
    case ROLE_SYSTEM_CHECKBUTTON:
      return IsSelected() ? names.uncheck : names.check;
    case ROLE_SYSTEM_RADIOBUTTON:
      return names.check;
    default:
      return std::wstring();
  }
}

bool CAccessibleElement::DoDefaultAction() const {
  if (DefaultAction().empty()) return false;
  return control_.Activate();
}

std::wstring CAccessibleElement::Value() const { return control_.AccessibleValue(rightToLeft_); }

std::wstring CAccessibleElement::KeyboardShortcut() const {
  const wchar_t letter = control_.GetShortcut();
  if (!letter) return std::wstring();
  wchar_t upper[2] = {letter, 0};
  ::CharUpperW(upper);
  return std::wstring(L"Alt+") + upper;
}

}  // namespace SkinUI
