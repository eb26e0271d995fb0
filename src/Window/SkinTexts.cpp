#include "Window/SkinTexts.h"

#include <windows.h>

#include "common/LanguageManager.h"
#include "toolkit/UIControl.h"
#include "toolkit/UIManager.h"
#include "toolkit/UIMarkupText.h"

using namespace SkinUI;

namespace {

struct ControlText {
  const wchar_t* control;
  const wchar_t* key;
};

const ControlText kTexts[] = {
    {L"btn_install", L"STR_INSTALL"},      {L"btn_hide", L"STR_HIDE"},
    {L"text_install", L"STR_INSTALLING"},  {L"btn_start", L"STR_START"},
    {L"label_path", L"STR_INSTALL_PATH"},  {L"btn_browse", L"STR_BROWSE"},
    {L"btn_lisence", L"STR_LISENCE"},      {L"label_install", L"STR_INSTALLING"},
    {L"chk_fold", L"STR_CUSTOMIZE_INSTALL"},
};

}  // namespace

void FillSkinTexts(CUIManager& manager, const LanguageManager& language) {
  for (const ControlText& entry : kTexts) {
    if (CControlUI* control = manager.LookupControl(entry.control)) control->SetText(language.GetString(entry.key));
  }
  // The box shows no words: a screen reader names it by its tooltip, the licence line beside it.
  if (CControlUI* agree = manager.LookupControl(L"chk_agree"))
    agree->SetToolTip(MarkupPlainText(language.GetString(L"STR_LISENCE")));
}

std::wstring ProgressLabelText(int percent) {
  wchar_t text[32] = {};
  ::wsprintfW(text, L"%d %%", percent);
  return text;
}
