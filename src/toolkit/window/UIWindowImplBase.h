#pragma once

// The skinned top-level window: no native frame, the skin loaded at creation (from a folder, a zip
// file, a numbered "xml" resource or the "ZIPRES" archive resource), non-client hit testing from the
// skin's caption and size box, rounded corners, the built-in close, minimise, maximise and restore
// buttons, Escape to close, and notifications routed through the class's tables.

#include <windows.h>

#include <string>

#include "toolkit/core/UIManager.h"
#include "toolkit/window/UINotifyPump.h"
#include "toolkit/window/UISkinBuilder.h"
#include "toolkit/core/UIWindowWnd.h"

namespace SkinUI {

// Where the skin comes from (SkinSource).
enum SkinSourceType : int {
  kSkinFiles = 1,        // loose files in the skin folder
  kSkinZipFile = 2,      // a zip file in the skin folder
  kSkinXmlResource = 3,  // the skin markup as a numbered resource of type "xml"
  kSkinZipResource = 4,  // a zip archive stored as a resource of type "ZIPRES"
};

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
 public:
  WindowImplBase() = default;
  ~WindowImplBase() override;

  CUIManager& Manager() { return manager_; }
  const NotifyMap* RouteTable() const override;
  void Notify(UINotification& msg) override;
  // Pre-message filter: Return and Escape go to OnDefaultKey; the key is never consumed.
  LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  CControlUI* MakeControl(const std::wstring& className) override { return nullptr; }

 protected:
  UINT ClassStyle() const override { return CS_DBLCLKS; }
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnWindowGone(HWND hwnd) override;

  // Called once, after the skin's tree is attached to the manager.
  virtual void OnTreeReady() {}
  virtual void OnClick(UINotification& msg);
  virtual std::wstring SkinFolder() = 0;
  virtual std::wstring SkinFile() = 0;
  virtual LRESULT OnDefaultKey(WPARAM key);
  virtual SkinSourceType SkinSource() const { return kSkinFiles; }
  virtual std::wstring SkinZipName() const { return std::wstring(); }
  // A resource name or MAKEINTRESOURCE number; the empty default finds nothing.
  virtual const wchar_t* SkinResourceId() const { return L""; }

  // Message handlers. Each clears handled when it leaves the message to the manager and the
  // previous window procedure.
  virtual LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnNcActivate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnNcCalcSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnNcPaint(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnNcHitTest(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnGetMinMaxInfo(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnMouseWheel(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnChar(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnKeyDown(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnKillFocus(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnSetFocus(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT OnOtherMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  // The window moved to a screen of another density (or the user changed the scale): the manager
  // rebuilds fonts and pictures and the window takes the size Windows suggests.
  virtual LRESULT OnDpiChanged(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual DWORD GetStyle() const;

  // Hit-test code for a client point: size box, caption, or client.
  LRESULT HitTest(POINT client) const;

  CUIManager manager_;

 private:
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  void DropNativeFrame();
  bool OpenSkinSource();
  bool OpenSkinResource();
  CControlUI* BuildSkin();
  [[noreturn]] void FailSkinLoad();
  LRESULT SizeBoxHit(POINT pt, const RECT& client) const;
  bool InCaption(POINT pt, const RECT& client) const;
  void ApplyRoundCorners();
  void SwapMaxRestoreButtons(bool wasMaximized);
};

}  // namespace SkinUI
