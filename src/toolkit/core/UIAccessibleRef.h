#pragma once

// The manager's hold on its window's accessible object: made when a reader first asks (or when the
// first event names a control), disconnected and let go with the manager. The object itself belongs
// to the accessibility layer above the controls, which installs its maker once; a manager in a
// process without that layer answers no reader.

#include <windows.h>

namespace SkinUI {

class CControlUI;
class CUIManager;

class IAccessibleObject {
 public:
  // WM_GETOBJECT for the client area, the calls carried over from other threads, and WM_DESTROY.
  virtual bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
  // A WinEvent about control (or about the client area itself for a page change); nothing when the
  // control is not one a reader meets.
  virtual void RaiseFor(DWORD event, CControlUI* control) = 0;
  // The control is going away: its id is never handed out again.
  virtual void Forget(CControlUI* control) = 0;
  // The manager is going away: readers that still hold the object get failures from now on.
  virtual void Detach() = 0;

 protected:
  ~IAccessibleObject() = default;
};

using AccessibleObjectMaker = IAccessibleObject* (*)(CUIManager& manager);

class CAccessibleRef {
 public:
  CAccessibleRef() = default;
  ~CAccessibleRef();
  CAccessibleRef(const CAccessibleRef&) = delete;
  CAccessibleRef& operator=(const CAccessibleRef&) = delete;

  // Process-wide; null removes the maker.
  static void SetMaker(AccessibleObjectMaker maker);

  // Null when no maker is installed.
  IAccessibleObject* Get(CUIManager& manager);
  // Made only for WM_GETOBJECT; other messages reach an object that exists.
  bool HandleMessage(CUIManager& manager, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void Raise(CUIManager& manager, DWORD event, CControlUI* control);
  void Forget(CControlUI* control);

 private:
  IAccessibleObject* object_ = nullptr;
};

}  // namespace SkinUI
