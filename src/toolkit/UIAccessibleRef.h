#pragma once

// The manager's hold on its window's accessible object: made when a reader first asks (or when the
// first event names a control), disconnected and let go with the manager.

#include <windows.h>

namespace SkinUI {

class CControlUI;
class CUIAccessible;
class CUIManager;

class CAccessibleRef {
 public:
  CAccessibleRef() = default;
  ~CAccessibleRef();
  CAccessibleRef(const CAccessibleRef&) = delete;
  CAccessibleRef& operator=(const CAccessibleRef&) = delete;

  CUIAccessible& Get(CUIManager& manager);
  // Made only for WM_GETOBJECT; other messages reach an object that exists.
  bool HandleMessage(CUIManager& manager, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void Forget(CControlUI* control);

 private:
  CUIAccessible* object_ = nullptr;
};

}  // namespace SkinUI
