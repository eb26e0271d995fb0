#pragma once

// Turns a window's mouse and keyboard messages into toolkit events: which control is hot, pressed,
// right-clicked or gets the key-up, the mouse capture and tracking, the message filters and
// accelerators, the tooltip, the cursor, and the native child windows shown inside controls.

#include <windows.h>

#include <utility>
#include <vector>

#include "toolkit/core/UIDefs.h"
#include "toolkit/core/UIFocus.h"
#include "toolkit/core/UIToolTip.h"

namespace SkinUI {

class CInputRouter {
 public:
  CInputRouter(IInputHost& host, CFocus& focus) : host_(host), focus_(focus) {}
  CInputRouter(const CInputRouter&) = delete;
  CInputRouter& operator=(const CInputRouter&) = delete;

  // Before the window's own handling: remembers the pointer and asks the filters; true when a filter
  // consumed the message with result.
  bool Filter(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The input messages proper, after the window's own; true when handled with result.
  bool Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Keyboard messages before they are translated: pre-filters, Tab, Alt shortcuts.
  bool PreFilter(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool Translate(const MSG* msg);

  UIEvent MakeEvent(CControlUI* sender, UIEventType type, WPARAM wParam = 0, LPARAM lParam = 0, wchar_t key = 0) const;
  void SendEvent(CControlUI* control, UIEventType type, WPARAM wParam = 0, LPARAM lParam = 0, wchar_t key = 0);
  POINT LastMouse() const { return lastMouse_; }

  void SetCapture();
  void ReleaseCapture();
  bool IsCaptured() const { return captured_; }
  bool IsTrackingMouse() const { return mouseTracking_; }
  int TrackingRequests() const { return trackingRequests_; }

  void AddPreFilter(IMessageFilterUI* filter);
  void RemovePreFilter(IMessageFilterUI* filter);
  void AddFilter(IMessageFilterUI* filter);
  void RemoveFilter(IMessageFilterUI* filter);
  void AddAccelerator(ITranslateAccelerator* accelerator);
  void RemoveAccelerator(ITranslateAccelerator* accelerator);
  void RequestMouseLeave(CControlUI* control);
  void DropMouseLeave(CControlUI* control);

  void RegisterChildWindow(CControlUI* control, HWND child);
  void UnregisterChildWindow(HWND child);
  const std::vector<std::pair<CControlUI*, HWND>>& ChildWindows() const { return childWindows_; }
  HWND ToolTipWindow() const { return tooltip_.Window(); }

  void Forget(CControlUI* control);
  // A new tree: no control of the old one is hot, pressed or remembered by the tooltip.
  void ForgetTree();
  void ForgetChildWindows() { childWindows_.clear(); }

 private:
  void RememberMousePoint(UINT msg, LPARAM lParam);
  bool DispatchMouse(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool DispatchKeys(UINT msg, WPARAM wParam, LPARAM lParam);
  void ArmMouseTracking();
  void OnMouseMove(LPARAM lParam);
  void OnButtonDown(WPARAM wParam, LPARAM lParam, bool doubleClick);
  void OnButtonUp();
  void OnRightButtonDown(LPARAM lParam);
  void OnContextMenu(WPARAM wParam);
  void OnMouseWheel(WPARAM wParam, LPARAM lParam);
  void OnMouseLeave();
  bool OnMouseHover(WPARAM wParam, LPARAM lParam);
  void OnClose();
  bool OnSetCursor(LPARAM lParam);
  bool OnSysChar(WPARAM wParam);
  void OnKillFocus(HWND next);

  IInputHost& host_;
  CFocus& focus_;
  CControlUI* hot_ = nullptr;
  CControlUI* pushed_ = nullptr;
  CControlUI* keyTarget_ = nullptr;
  CControlUI* rightClicked_ = nullptr;
  POINT lastMouse_ = {-1, -1};
  bool mouseTracking_ = false, captured_ = false;
  int trackingRequests_ = 0;
  std::vector<IMessageFilterUI*> preFilters_, filters_;
  std::vector<ITranslateAccelerator*> accelerators_;
  std::vector<CControlUI*> mouseLeave_;
  std::vector<std::pair<CControlUI*, HWND>> childWindows_;
  CToolTip tooltip_;
};

}  // namespace SkinUI
