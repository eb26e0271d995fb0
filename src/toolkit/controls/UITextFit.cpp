#include "toolkit/controls/UITextFit.h"

#include "toolkit/core/UIContainer.h"
#include "toolkit/controls/UILabel.h"

namespace SkinUI {

namespace {

void Collect(CControlUI* control, std::vector<ClippedText>& clipped) {
  if (!control || !control->IsVisible()) return;
  if (auto* container = static_cast<IContainerUI*>(control->CastTo(L"IContainer"))) {
    for (int i = 0; i < container->GetCount(); ++i) Collect(container->GetItemAt(i), clipped);
    return;
  }
  auto* label = static_cast<CLabelUI*>(control->CastTo(L"Label"));
  if (!label || control->CastTo(L"Edit") || label->GetText().empty() || label->TextFits()) return;
  const std::wstring name = control->GetName().empty() ? control->ClassName() : control->GetName();
  clipped.push_back({name, label->GetText(), label->NeededTextSize(), label->TextAreaSize()});
}

}  // namespace

std::vector<ClippedText> FindClippedTexts(CControlUI* root) {
  std::vector<ClippedText> clipped;
  Collect(root, clipped);
  return clipped;
}

}  // namespace SkinUI
