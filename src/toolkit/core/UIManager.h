#pragma once

// The per-window heart of the toolkit: owns the control tree and the name map, paints the tree
// off-screen and delivers notifications; its parts keep the rest (the focus and Tab order, the input
// routing, timers, fonts and pictures), and the manager answers their questions about the window.
// Everything runs on the thread that owns the window.

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/core/UIAccessibleRef.h"
#include "toolkit/core/UIDefs.h"
#include "toolkit/core/UIFocus.h"
#include "toolkit/core/UIInputRouter.h"
#include "toolkit/core/UITimers.h"
#include "toolkit/render/UIFontTable.h"
#include "toolkit/render/UIImageCache.h"
#include "toolkit/render/UIRenderHost.h"
#include "toolkit/skin/UIResource.h"
#include "base/Scoped.h"

namespace SkinUI {

struct ActionNames {
  std::wstring press = L"Press", jump = L"Jump", check = L"Check", uncheck = L"Uncheck";
};

// Posted notifications wait for this message; it also deletes the controls queued for clean-up.
constexpr UINT WM_UI_DELIVER = WM_APP + 1;

class CUIManager : public IRenderHost, private IInputHost {
 public:
  CUIManager();
  ~CUIManager();
  CUIManager(const CUIManager&) = delete;
  CUIManager& operator=(const CUIManager&) = delete;

  // Set-up and the tree.
  void Init(HWND hwnd, const std::wstring& name = std::wstring());
  HWND PaintWindow() const override { return hwnd_; }

  // The window's dots per inch (96 until a window is attached): every length the skin gives is
  // multiplied by Dpi() / 96 where it meets the screen.
  int Dpi() const override { return dpi_; }
  int Scale(int value) const { return ScaleByDpi(value, dpi_); }
  RECT Scale(const RECT& rc) const { return ScaleByDpi(rc, dpi_); }
  SIZE Scale(const SIZE& size) const { return ScaleByDpi(size, dpi_); }
  int Unscale(int value) const { return UnscaleByDpi(value, dpi_); }
  // Rebuilds fonts at the new density, drops pictures made for the old one and lays the tree out
  // again; the caller resizes the window.
  void SetDpi(int dpi);
  // What the window's monitor reports: GetDpiForWindow where Windows has it, else the system's.
  static int WindowDpi(HWND hwnd);
  HDC PaintContext() const override { return windowDc_.get(); }
  bool AttachRoot(CControlUI* root);
  void BindControls(CControlUI* control, CControlUI* parent);
  void ForgetControl(CControlUI* control);
  void QueueDeletion(CControlUI* control);
  void RenameControl(CControlUI* control, const std::wstring& oldName, const std::wstring& newName);
  CControlUI* GetRoot() const override { return root_; }
  void PaintTree(HDC dc, const RECT& rc, CControlUI* stop) override;
  CControlUI* LookupControl(const std::wstring& name) const;
  CControlUI* LookupControl(POINT pt) const override;

  // What screen readers ask for (WM_GETOBJECT), made at first need; null in a process without the
  // accessibility layer.
  IAccessibleObject* Accessible() { return accessible_.Get(*this); }
  // A WinEvent about control for readers; nothing before the manager has a window.
  void RaiseAccessibleEvent(DWORD event, CControlUI* control);

  // Focus.
  CControlUI* GetFocus() const { return focus_.Get(); }
  void SetFocus(CControlUI* control, bool takeWindowFocus = true) { focus_.Set(control, takeWindowFocus); }
  void RequestInitialFocus(CControlUI* control) { focus_.RequestInitial(control); }
  void MoveTabFocus(bool forward) { focus_.MoveTab(forward); }
  // When the focused control has just been disabled, the focus goes on to the Tab stop after it, as it
  // does in a dialog; a reader that cleared the licence box is not left on the greyed Install button.
  void FocusPastDisabled(CControlUI* control) { focus_.PastDisabled(control); }
  // The controls Tab visits, in the order it visits them.
  std::vector<CControlUI*> TabStops() const { return focus_.TabStops(); }
  // A right-to-left window reads its rows from the right.
  void SetRightToLeft(bool on);
  bool IsRightToLeft() const override;
  // Whether focus pictures are drawn: once a key moved the focus, or always when Windows is set so.
  bool ShowsFocusCues() const { return focus_.ShowsCues(); }
  // High contrast: the window draws with the system's colours instead of the skin's colours and
  // pictures. Read when the window is attached and again when Windows says a setting or the system
  // colours changed.
  bool UsesSystemColors() const override { return systemColors_; }
  void RefreshSystemColors();
  void KeyboardInUse() { focus_.KeyboardInUse(); }

  // Painting.
  void Invalidate(RECT rc);
  void MarkNeedsLayout() { updateNeeded_ = true; }
  bool IsLayoutPending() const override { return updateNeeded_; }
  void SetOffscreenPaint(bool on) { offscreen_ = on; }
  // The bitmap the last paint went into (null before the first paint or without off-screen painting).
  HBITMAP OffscreenBitmap() const { return offscreenBitmap_.get(); }

  // Timers.
  bool SetTimer(CControlUI* control, UINT id, UINT elapse);
  bool KillTimer(CControlUI* control, UINT id);
  void KillTimer(CControlUI* control);
  const ControlTimer* FindTimer(CControlUI* control, UINT id) const;

  // Capture and listeners.
  void SetCapture() { input_.SetCapture(); }
  void ReleaseCapture() { input_.ReleaseCapture(); }
  bool IsCaptured() const { return input_.IsCaptured(); }
  // Whether TrackMouseEvent is armed for this window's leave and hover messages.
  bool IsTrackingMouse() const { return input_.IsTrackingMouse(); }
  // How often TrackMouseEvent was asked to arm; each request with the pointer outside the client area
  // makes Windows post a WM_MOUSELEAVE.
  int TrackingRequests() const { return input_.TrackingRequests(); }
  void AddListener(INotifyUI* listener);
  void RemoveListener(INotifyUI* listener);
  void AddPreFilter(IMessageFilterUI* filter) { input_.AddPreFilter(filter); }
  void RemovePreFilter(IMessageFilterUI* filter) { input_.RemovePreFilter(filter); }
  void AddFilter(IMessageFilterUI* filter) { input_.AddFilter(filter); }
  void RemoveFilter(IMessageFilterUI* filter) { input_.RemoveFilter(filter); }
  void AddOverlay(CControlUI* control);
  void RemoveOverlay(CControlUI* control);
  void RequestMouseLeave(CControlUI* control) { input_.RequestMouseLeave(control); }
  // Objects that see keyboard messages before the manager's own pre-filter (menu accelerators).
  void AddAccelerator(ITranslateAccelerator* accelerator) { input_.AddAccelerator(accelerator); }
  void RemoveAccelerator(ITranslateAccelerator* accelerator) { input_.RemoveAccelerator(accelerator); }
  // Set by the first control with a virtual-window name; notifications then carry the sender's.
  void UseVirtualWindowNames() { useVirtualWnd_ = true; }
  // A native window shown inside a control; its focus follows the control's.
  void RegisterChildWindow(CControlUI* control, HWND child) { input_.RegisterChildWindow(control, child); }
  void UnregisterChildWindow(HWND child) { input_.UnregisterChildWindow(child); }
  HWND ToolTipWindow() const { return input_.ToolTipWindow(); }
  void DropMouseLeave(CControlUI* control) { input_.DropMouseLeave(control); }

  // Notifications.
  void RaiseNotification(UINotification& msg, bool async = false, bool allowRepeat = true);
  void RaiseNotification(CControlUI* sender, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0,
                         bool async = false, bool allowRepeat = true);

  // Fonts and colours.
  HFONT AddFont(int id, const std::wstring& face, int size, bool bold, bool underline, bool italic,
                bool shared = false);
  HFONT GetFont(int id) const override;
  const FontInfo* GetFontInfo(int id) const override;
  const FontInfo* FindFont(int id) const;
  // A font of this exact form for the markup renderer: found in the font table or added under the
  // next free id of a range the skin does not use.
  const FontInfo* DerivedFont(const std::wstring& face, int size, bool bold, bool underline, bool italic) override;
  void SetDefaultFontSpec(const std::wstring& face, int size, bool bold, bool underline, bool italic,
                          bool shared = false);
  const FontInfo* DefaultFontInfo() const;
  DWORD GetDefaultColor(DefaultColor which) const override { return colors_[which]; }
  // The words a screen reader says for a control's default action, in the window's language.
  const ActionNames& GetActionNames() const { return actionNames_; }
  void SetActionNames(const ActionNames& names) { actionNames_ = names; }
  void SetDefaultColor(DefaultColor which, DWORD color, bool shared = false);

  // Images (per-window table, then the shared one).
  ImageRecord* CacheImage(const std::wstring& name, const wchar_t* type, DWORD mask, bool shared = false,
                          bool adjust = false);
  ImageRecord* CachedImage(const std::wstring& name) const;
  ImageRecord* LookupImage(const std::wstring& name, const wchar_t* type, DWORD mask, bool adjust = false) override;
  void SetForceShared(bool on) { forceShared_ = on; }
  bool HoldsImage(const ImageRecord* image) const { return images_.Holds(image); }

  // Class defaults and custom window attributes.
  void AddClassDefaults(const std::wstring& className, const std::wstring& attributes, bool shared = false);
  const std::wstring* ClassDefaults(const std::wstring& className) const;
  void ApplyWindowAttribute(const std::wstring& name, const std::wstring& value);
  std::wstring WindowCustomAttribute(const std::wstring& name) const;
  // Window geometry in pixels at the window's density.
  SIZE InitSize() const { return Scale(initSize_); }
  RECT SizeBox() const { return Scale(sizeBox_); }
  RECT CaptionRect() const { return Scale(caption_); }
  SIZE RoundCorner() const { return Scale(roundCorner_); }
  SIZE MinInfo() const { return Scale(minInfo_); }
  SIZE MaxInfo() const { return Scale(maxInfo_); }
  bool ShowsDirty() const { return showDirty_; }
  BYTE Opacity() const { return opacity_; }

  // Option groups.
  void JoinGroup(const std::wstring& group, CControlUI* control);
  const std::vector<CControlUI*>* GroupMembers(const std::wstring& group) const;
  void LeaveGroup(const std::wstring& group, CControlUI* control);

  // Message entry points.
  bool FilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool PreFilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return input_.PreFilter(msg, wParam, lParam, result);
  }
  static bool TranslateMessage(const MSG* msg);
  static size_t LiveManagerCount();

 private:
  // Painting (UIManager_paint.cpp).
  bool OnPaint();
  void LayoutIfNeeded();
  bool EnsureOffscreen(const RECT& client);
  void PaintOffscreen(HDC windowDc, const RECT& update);
  void OnPrintClient(HDC dc, LPARAM flags);

  // The window's own messages (painting, size, timers, delivery, settings); the input router takes the rest.
  bool RouteWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void OnTimer(WPARAM wParam, LPARAM lParam);
  void OnMinMaxInfo(LPARAM lParam);
  void DeliverPosted();
  void DeliverNow(UINotification& msg);

  // What the focus and the input router ask of the window.
  bool OwnsControl(const CControlUI* control) const override;
  bool TakesActivation() const override { return !noActivate_; }
  void LayOutForHitTest() override;
  void FocusLost(CControlUI* control, CControlUI* successor) override;
  void FocusGained(CControlUI* control) override;

  // Attributes (UIManager_attributes.cpp).
  bool ApplyColorAttribute(const std::wstring& name, const std::wstring& value);
  bool ApplyGeometryAttribute(const std::wstring& name, const std::wstring& value);

  void DeleteDelayed();

  HWND hwnd_ = nullptr;
  int dpi_ = kBaseDpi;
  std::wstring name_;
  Scoped::ReleaseDC windowDc_;
  Scoped::DeleteDC offscreenDc_;
  Scoped::DeleteObject<HBITMAP> offscreenBitmap_;

  CControlUI* root_ = nullptr;

  SIZE initSize_ = {0, 0}, minInfo_ = {0, 0}, maxInfo_ = {0, 0}, roundCorner_ = {0, 0};
  RECT sizeBox_ = {0, 0, 0, 0}, caption_ = {0, 0, 0, 0};
  BYTE opacity_ = 255;
  bool noActivate_ = false, showDirty_ = false;

  bool firstLayout_ = true, updateNeeded_ = false, offscreen_ = true;
  bool painting_ = false, deliverPosted_ = false;
  bool forceShared_ = false, useVirtualWnd_ = false;
  bool rightToLeft_ = false;

  std::vector<INotifyUI*> listeners_;
  std::vector<CControlUI*> overlays_, delayed_;
  CFocus focus_{*this};
  CInputRouter input_{*this, focus_};
  std::vector<std::unique_ptr<UINotification>> posted_;
  CTimerTable timers_;

  std::map<std::wstring, CControlUI*> names_;
  std::map<std::wstring, std::wstring> customAttributes_;
  std::map<std::wstring, std::wstring> classDefaults_;
  std::map<std::wstring, std::vector<CControlUI*>> groups_;
  CImageCache images_{*this};
  CFontTable fonts_{*this};
  DWORD colors_[kColorCount];
  ActionNames actionNames_;
  bool systemColors_ = false;
  CAccessibleRef accessible_;
};

}  // namespace SkinUI
