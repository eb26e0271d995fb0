#include "toolkit/core/UIAccessibleRef.h"

namespace SkinUI {

namespace {

AccessibleObjectMaker& Maker() {
  static AccessibleObjectMaker maker = nullptr;
  return maker;
}

}  // namespace

void CAccessibleRef::SetMaker(AccessibleObjectMaker maker) { Maker() = maker; }

CAccessibleRef::~CAccessibleRef() {
  if (object_) object_->Detach();
}

IAccessibleObject* CAccessibleRef::Get(CUIManager& manager) {
  if (!object_ && Maker()) object_ = Maker()(manager);
  return object_;
}

bool CAccessibleRef::HandleMessage(CUIManager& manager, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_GETOBJECT) {
    IAccessibleObject* object = Get(manager);
    return object && object->HandleMessage(msg, wParam, lParam, result);
  }
  return object_ && object_->HandleMessage(msg, wParam, lParam, result);
}

void CAccessibleRef::Raise(CUIManager& manager, DWORD event, CControlUI* control) {
  if (IAccessibleObject* object = Get(manager)) object->RaiseFor(event, control);
}

void CAccessibleRef::Forget(CControlUI* control) {
  if (object_) object_->Forget(control);
}

}  // namespace SkinUI
