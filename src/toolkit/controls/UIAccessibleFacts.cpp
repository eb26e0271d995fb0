// What each control tells a screen reader about itself: its role, the words it shows, the states only
// it knows and its value.

#include <oleacc.h>

#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/controls/UIProgress.h"
#include "toolkit/render/UIMarkupText.h"

namespace SkinUI {

namespace {

bool HasLinkMarkup(const std::wstring& text) {
  for (size_t at = text.find_first_of(L"{<"); at != std::wstring::npos; at = text.find_first_of(L"{<", at + 1)) {
    if (IsMarkupTagAt(text, at) && text[at + 1] == L'a') return true;
  }
  return false;
}

}  // namespace

long CLabelUI::AccessibleRole() const { return ROLE_SYSTEM_STATICTEXT; }

std::wstring CLabelUI::AccessibleText() const {
  return IsShowHtml() ? MarkupPlainText(GetText()) : MultiLanguage::Expand(GetText());
}

long CButtonUI::AccessibleRole() const {
  return IsShowHtml() && HasLinkMarkup(GetText()) ? ROLE_SYSTEM_LINK : ROLE_SYSTEM_PUSHBUTTON;
}

long CButtonUI::AccessibleState() const {
  long state = 0;
  if (ButtonState() & kStatePushed) state |= STATE_SYSTEM_PRESSED;
  if (ButtonState() & kStateHot) state |= STATE_SYSTEM_HOTTRACKED;
  return state;
}

long COptionUI::AccessibleRole() const {
  return GetGroup().empty() ? ROLE_SYSTEM_CHECKBUTTON : ROLE_SYSTEM_RADIOBUTTON;
}

long COptionUI::AccessibleState() const {
  return CButtonUI::AccessibleState() | (IsSelected() ? STATE_SYSTEM_CHECKED : 0);
}

long CProgressUI::AccessibleRole() const { return ROLE_SYSTEM_PROGRESSBAR; }

// What the bar shows filled, as a percentage of its range. A mirrored window's horizontal bar is
// read from its right end: its value counts the part left of the fill.
std::wstring CProgressUI::AccessibleValue(bool rightToLeft) const {
  const int range = GetMaxValue() - GetMinValue();
  int percent = range > 0 ? (GetValue() - GetMinValue()) * 100 / range : 0;
  if (rightToLeft && IsHorizontal()) percent = 100 - percent;
  wchar_t text[16] = {};
  ::wsprintfW(text, L"%d%%", percent);
  return text;
}

long CEditUI::AccessibleRole() const { return ROLE_SYSTEM_TEXT; }

long CEditUI::AccessibleState() const {
  long state = 0;
  if (IsReadOnly()) state |= STATE_SYSTEM_READONLY;
  if (IsPasswordMode()) state |= STATE_SYSTEM_PROTECTED;
  return state;
}

std::wstring CEditUI::AccessibleValue(bool rightToLeft) const { return IsPasswordMode() ? std::wstring() : GetText(); }

}  // namespace SkinUI
