#include "Window/SkinTexts.h"

#include <windows.h>

#include <utility>

#include "language/LanguageManager.h"
#include "toolkit/core/UIControl.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/render/UIMarkupText.h"

using namespace SkinUI;

namespace {

struct ControlText {
  const wchar_t* control;
  const wchar_t* key;
};

const ControlText kTexts[] = {
    {L"btn_install", L"STR_INSTALL"},        {L"btn_hide", L"STR_HIDE"},
    {L"text_install", L"STR_INSTALLING"},    {L"btn_start", L"STR_START"},
    {L"label_path", L"STR_INSTALL_PATH"},    {L"btn_browse", L"STR_BROWSE"},
    {L"btn_lisence", L"STR_LISENCE"},        {L"label_install", L"STR_INSTALLING"},
    {L"chk_fold", L"STR_CUSTOMIZE_INSTALL"},
};

// What a screen reader says a control's default action is; a pack without the words keeps English.
ActionNames ActionNamesOf(const LanguageManager& language) {
  ActionNames names;
  const std::pair<std::wstring*, const wchar_t*> keys[] = {{&names.press, L"STR_ACTION_PRESS"},
                                                           {&names.jump, L"STR_ACTION_JUMP"},
                                                           {&names.check, L"STR_ACTION_CHECK"},
                                                           {&names.uncheck, L"STR_ACTION_UNCHECK"}};
  for (const auto& key : keys) {
    const std::wstring words = language.GetString(key.second);
    if (!words.empty()) *key.first = words;
  }
  return names;
}

}  // namespace

void FillSkinTexts(CUIManager& manager, const LanguageManager& language) {
  for (const ControlText& entry : kTexts) {
    if (CControlUI* control = manager.LookupControl(entry.control)) control->SetText(language.GetString(entry.key));
  }
  manager.SetActionNames(ActionNamesOf(language));
  // The box shows no words: a screen reader names it by its tooltip, the licence line beside it.
  if (CControlUI* agree = manager.LookupControl(L"chk_agree"))
    agree->SetToolTip(MarkupPlainText(language.GetString(L"STR_LISENCE")));
}

std::wstring ProgressLabelText(int percent) {
  wchar_t text[32] = {};
  ::wsprintfW(text, L"%d %%", percent);
  return text;
}
