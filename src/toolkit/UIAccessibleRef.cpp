#include "toolkit/UIAccessibleRef.h"

#include "toolkit/UIAccessible.h"

namespace SkinUI {

CAccessibleRef::~CAccessibleRef() {
  if (!object_) return;
  object_->Disconnect();
  object_->Release();
}

CUIAccessible& CAccessibleRef::Get(CUIManager& manager) {
  if (!object_) object_ = new CUIAccessible(manager);
  return *object_;
}

bool CAccessibleRef::HandleMessage(CUIManager& manager, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_GETOBJECT) return Get(manager).HandleMessage(msg, wParam, lParam, result);
  return object_ && object_->HandleMessage(msg, wParam, lParam, result);
}

void CAccessibleRef::Forget(CControlUI* control) {
  if (object_) object_->Forget(control);
}

}  // namespace SkinUI
