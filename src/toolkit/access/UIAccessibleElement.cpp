#include "toolkit/access/UIAccessibleElement.h"

#include <oleacc.h>

#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/render/UIMarkupText.h"
#include "toolkit/controls/UIProgress.h"

namespace SkinUI {

namespace {

bool HasLinkMarkup(const std::wstring& text) {
  for (size_t at = text.find_first_of(L"{<"); at != std::wstring::npos; at = text.find_first_of(L"{<", at + 1)) {
    if (IsMarkupTagAt(text, at) && text[at + 1] == L'a') return true;
  }
  return false;
}

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
    : control_(control), window_(window), rightToLeft_(rightToLeft), kind_(KindOf(control)) {}

// The classes derive from one another, so the most derived is asked for first.
CAccessibleElement::Kind CAccessibleElement::KindOf(CControlUI& control) {
  if (control.CastTo(L"Container")) return kNone;
  if (control.CastTo(L"Edit")) return kEditText;
  if (control.CastTo(L"Progress")) return kProgressBar;
  if (auto* option = static_cast<COptionUI*>(control.CastTo(L"Option")))
    return option->GetGroup().empty() ? kCheckButton : kRadioButton;
  if (auto* button = static_cast<CButtonUI*>(control.CastTo(L"Button"))) {
    return button->IsShowHtml() && HasLinkMarkup(button->GetText()) ? kLink : kPushButton;
  }
  if (control.CastTo(L"Label")) return kStaticText;
  return kGraphic;
}

bool CAccessibleElement::IsExposed(CControlUI& control) {
  if (!control.IsVisible()) return false;
  const CAccessibleElement element(control, nullptr, false);
  switch (element.kind_) {
    case kNone: return false;
    case kStaticText: return !element.ShownText().empty();
    case kGraphic: return !control.GetToolTip().empty();
    default: return true;
  }
}

long CAccessibleElement::Role() const {
  switch (kind_) {
    case kPushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case kLink: return ROLE_SYSTEM_LINK;
    case kCheckButton: return ROLE_SYSTEM_CHECKBUTTON;
    case kRadioButton: return ROLE_SYSTEM_RADIOBUTTON;
    case kProgressBar: return ROLE_SYSTEM_PROGRESSBAR;
    case kStaticText: return ROLE_SYSTEM_STATICTEXT;
    case kEditText: return ROLE_SYSTEM_TEXT;
    case kGraphic:
    case kNone: break;
  }
  return ROLE_SYSTEM_GRAPHIC;
}

// An edit's text is its value, not its name; the progress bar shows no words.
std::wstring CAccessibleElement::ShownText() const {
  if (kind_ == kEditText || kind_ == kProgressBar || kind_ == kGraphic || kind_ == kNone) return std::wstring();
  auto* label = static_cast<CLabelUI*>(control_.CastTo(L"Label"));
  if (!label) return std::wstring();
  return label->IsShowHtml() ? MarkupPlainText(label->GetText()) : MultiLanguage::Expand(label->GetText());
}

std::wstring CAccessibleElement::Name() const {
  std::wstring name = ShownText();
  if (name.empty()) name = MultiLanguage::Expand(control_.GetToolTip());
  if (name.empty() && (kind_ == kPushButton)) name = CaptionButtonName();
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

bool CAccessibleElement::IsSelected() const {
  auto* option = static_cast<COptionUI*>(control_.CastTo(L"Option"));
  return option && option->IsSelected();
}

long CAccessibleElement::State(bool focused) const {
  long state = 0;
  if (!control_.IsVisible()) state |= STATE_SYSTEM_INVISIBLE;
  if (!control_.IsEnabled()) state |= STATE_SYSTEM_UNAVAILABLE;
  if (control_.IsEnabled() && (control_.ControlFlags() & ControlFlagTabStop)) state |= STATE_SYSTEM_FOCUSABLE;
  if (focused) state |= STATE_SYSTEM_FOCUSED;
  if (IsSelected()) state |= STATE_SYSTEM_CHECKED;
  if (kind_ == kLink) state |= STATE_SYSTEM_LINKED;
  if (kind_ == kStaticText || kind_ == kProgressBar || kind_ == kGraphic) state |= STATE_SYSTEM_READONLY;
  if (auto* button = static_cast<CButtonUI*>(control_.CastTo(L"Button"))) {
    if (button->ButtonState() & kStatePushed) state |= STATE_SYSTEM_PRESSED;
    if (button->ButtonState() & kStateHot) state |= STATE_SYSTEM_HOTTRACKED;
  }
  if (auto* edit = static_cast<CEditUI*>(control_.CastTo(L"Edit"))) {
    if (edit->IsReadOnly()) state |= STATE_SYSTEM_READONLY;
    if (edit->IsPasswordMode()) state |= STATE_SYSTEM_PROTECTED;
  }
  return state;
}

std::wstring CAccessibleElement::DefaultAction() const {
  static const ActionNames kEnglish;
  const ActionNames& names = control_.Manager() ? control_.Manager()->GetActionNames() : kEnglish;
  switch (kind_) {
    case kPushButton: return names.press;
    case kLink: return names.jump;
    case kCheckButton: return IsSelected() ? names.uncheck : names.check;
    case kRadioButton: return names.check;
    default: return std::wstring();
  }
}

bool CAccessibleElement::DoDefaultAction() const {
  if (DefaultAction().empty()) return false;
  return control_.Activate();
}

std::wstring CAccessibleElement::Value() const {
  if (kind_ == kProgressBar) return ProgressValue();
  auto* edit = kind_ == kEditText ? static_cast<CEditUI*>(control_.CastTo(L"Edit")) : nullptr;
  if (!edit || edit->IsPasswordMode()) return std::wstring();
  return edit->GetText();
}

// What the bar shows filled, as a percentage of its range. A mirrored window's horizontal bar is
// read from its right end: its value counts the part left of the fill.
std::wstring CAccessibleElement::ProgressValue() const {
  auto* bar = static_cast<CProgressUI*>(control_.CastTo(L"Progress"));
  const int range = bar->GetMaxValue() - bar->GetMinValue();
  int percent = range > 0 ? (bar->GetValue() - bar->GetMinValue()) * 100 / range : 0;
  if (rightToLeft_ && bar->IsHorizontal()) percent = 100 - percent;
  wchar_t text[16] = {};
  ::wsprintfW(text, L"%d%%", percent);
  return text;
}

std::wstring CAccessibleElement::KeyboardShortcut() const {
  const wchar_t letter = control_.GetShortcut();
  if (!letter) return std::wstring();
  wchar_t upper[2] = {letter, 0};
  ::CharUpperW(upper);
  return std::wstring(L"Alt+") + upper;
}

}  // namespace SkinUI
