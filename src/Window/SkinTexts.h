#pragma once

// The words the installer's window shows, from the chosen language, put on the skin's controls by
// name. The window fills itself with them at start, and the text-fit check fills the same controls
// in every language of a product folder.

#include <string>

class LanguageManager;

namespace SkinUI {
class CUIManager;
}

void FillSkinTexts(SkinUI::CUIManager& manager, const LanguageManager& language);

// The progress label's words for a percentage ("42 %").
std::wstring ProgressLabelText(int percent);
