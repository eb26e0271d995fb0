#include "toolkit/window/UIWindowImplBase.h"

#include <windowsx.h>

#include "toolkit/core/UIControl.h"

namespace SkinUI {

namespace {

using Handler = LRESULT (WindowImplBase::*)(UINT, WPARAM, LPARAM, bool&);

bool SameNoCase(const wchar_t* a, const wchar_t* b) { return ::lstrcmpiW(a, b) == 0; }

// Controls the user clicks on; the caption never swallows them.
bool IsClickable(const wchar_t* className) {
  return SameNoCase(className, L"Button") || SameNoCase(className, L"Option") || SameNoCase(className, L"Text");
}

// The work area of the window's monitor, relative to the monitor's origin.
RECT MonitorWorkArea(HWND hwnd) {
  MONITORINFO info = {sizeof(info)};
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info);
  RECT work = info.rcWork;
  ::OffsetRect(&work, -info.rcMonitor.left, -info.rcMonitor.top);
  return work;
}

}  // namespace

// Let go of a window that is still there before the manager and the tree go away under it.
WindowImplBase::~WindowImplBase() { Detach(); }

const NotifyMap* WindowImplBase::RouteTable() const {
  static const NotifyMapRow rows[] = {RouteWhole(L"click", L"", &WindowImplBase::OnClick), RouteEnd()};
  static const NotifyMap map = {CNotifyPump::RouteTable(), rows};
  return &map;
}

void WindowImplBase::Notify(UINotification& msg) { RouteNotification(msg); }

LRESULT WindowImplBase::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  bool handled = true;
  LRESULT result = Dispatch(msg, wParam, lParam, handled);
  if (handled) return result;
  handled = false;
  result = OnOtherMessage(msg, wParam, lParam, handled);
  if (handled) return result;
  if (manager_.FilterMessage(msg, wParam, lParam, result)) return result;
  return CallPreviousProc(msg, wParam, lParam);
}

// The messages that have a handler slot of their own; anything else arrives not handled.
LRESULT WindowImplBase::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  static const struct {
    UINT msg;
    Handler handler;
  } routes[] = {
      {WM_CREATE, &WindowImplBase::OnCreate},
      {WM_DESTROY, &WindowImplBase::OnDestroy},
      {WM_SIZE, &WindowImplBase::OnSize},
      {WM_SETFOCUS, &WindowImplBase::OnSetFocus},
      {WM_KILLFOCUS, &WindowImplBase::OnKillFocus},
      {WM_CLOSE, &WindowImplBase::OnClose},
      {WM_GETMINMAXINFO, &WindowImplBase::OnGetMinMaxInfo},
      {WM_NCCALCSIZE, &WindowImplBase::OnNcCalcSize},
      {WM_NCHITTEST, &WindowImplBase::OnNcHitTest},
      {WM_NCPAINT, &WindowImplBase::OnNcPaint},
      {WM_NCACTIVATE, &WindowImplBase::OnNcActivate},
      {WM_KEYDOWN, &WindowImplBase::OnKeyDown},
      {WM_CHAR, &WindowImplBase::OnChar},
      {WM_SYSCOMMAND, &WindowImplBase::OnSysCommand},
      {WM_MOUSEMOVE, &WindowImplBase::OnMouseMove},
      {WM_LBUTTONDOWN, &WindowImplBase::OnLButtonDown},
      {WM_LBUTTONUP, &WindowImplBase::OnLButtonUp},
      {WM_MOUSEWHEEL, &WindowImplBase::OnMouseWheel},
      {WM_MOUSEHOVER, &WindowImplBase::OnMouseHover},
      {WM_DPICHANGED, &WindowImplBase::OnDpiChanged},
  };
  for (const auto& route : routes) {
    if (route.msg == msg) return (this->*route.handler)(msg, wParam, lParam, handled);
  }
  handled = false;
  return 0;
}

void WindowImplBase::OnWindowGone(HWND hwnd) {
  manager_.RemovePreFilter(this);
  manager_.RemoveListener(this);
  if (CControlUI* root = manager_.GetRoot()) {
    root->LookupControl(
        [](CControlUI* control, void* data) -> CControlUI* {
          static_cast<CUIManager*>(data)->ForgetControl(control);
          return nullptr;
        },
        &manager_, 0);
  }
}

#define SKINUI_NOT_HANDLED(name)                                      \
  LRESULT WindowImplBase::name(UINT, WPARAM, LPARAM, bool& handled) { \
    handled = false;                                                  \
    return 0;                                                         \
  }
SKINUI_NOT_HANDLED(OnClose)
SKINUI_NOT_HANDLED(OnDestroy)
SKINUI_NOT_HANDLED(OnMouseWheel)
SKINUI_NOT_HANDLED(OnMouseHover)
SKINUI_NOT_HANDLED(OnChar)
SKINUI_NOT_HANDLED(OnKeyDown)
SKINUI_NOT_HANDLED(OnKillFocus)
SKINUI_NOT_HANDLED(OnSetFocus)
SKINUI_NOT_HANDLED(OnLButtonDown)
SKINUI_NOT_HANDLED(OnLButtonUp)
SKINUI_NOT_HANDLED(OnMouseMove)
SKINUI_NOT_HANDLED(OnOtherMessage)
#undef SKINUI_NOT_HANDLED

DWORD WindowImplBase::GetStyle() const {
  return static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)) & ~static_cast<DWORD>(WS_CAPTION);
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, bool& handled) {
  if (::IsIconic(hwnd_)) handled = false;
  return wParam == 0 ? TRUE : FALSE;
}

// The whole window is client area; a maximized window fills its monitor's work area.
LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM wParam, LPARAM lParam, bool&) {
  if (!::IsZoomed(hwnd_) || !lParam) return 0;
  RECT* proposed = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
  const RECT work = MonitorWorkArea(hwnd_);
  proposed->right = proposed->left + (work.right - work.left);
  proposed->bottom = proposed->top + (work.bottom - work.top);
  return WVR_REDRAW;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, bool&) {
  POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ::ScreenToClient(hwnd_, &pt);
  return HitTest(pt);
}

LRESULT WindowImplBase::HitTest(POINT pt) const {
  RECT client = {};
  ::GetClientRect(hwnd_, &client);
  if (!::IsZoomed(hwnd_)) {
    const LRESULT edge = SizeBoxHit(pt, client);
    if (edge != HTCLIENT) return edge;
  }
  if (InCaption(pt, client)) {
    CControlUI* control = manager_.LookupControl(pt);
    if (control && !IsClickable(control->ClassName())) return HTCAPTION;
  }
  return HTCLIENT;
}

// Size box widths count inwards from each client edge.
LRESULT WindowImplBase::SizeBoxHit(POINT pt, const RECT& client) const {
  const RECT box = manager_.SizeBox();
  const bool left = pt.x < client.left + box.left;
  const bool right = pt.x >= client.right - box.right;
  if (pt.y < client.top + box.top) return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
  if (pt.y >= client.bottom - box.bottom) return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
  return left ? HTLEFT : right ? HTRIGHT : HTCLIENT;
}

// Left and right of the caption are insets; its top and bottom are client coordinates.
bool WindowImplBase::InCaption(POINT pt, const RECT& client) const {
  const RECT caption = manager_.CaptionRect();
  return pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= caption.top &&
         pt.y < caption.bottom;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, bool& handled) {
  handled = false;  // the manager then applies the skin's mininfo and maxinfo
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  if (!info) return 0;
  const RECT work = MonitorWorkArea(hwnd_);
  info->ptMaxPosition = {work.left, work.top};
  info->ptMaxTrackSize = {work.right - work.left, work.bottom - work.top};
  const SIZE minimum = manager_.MinInfo();
  info->ptMinTrackSize = {minimum.cx, minimum.cy};
  return 0;
}

LRESULT WindowImplBase::OnDpiChanged(UINT, WPARAM wParam, LPARAM lParam, bool&) {
  manager_.SetDpi(HIWORD(wParam));
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  if (suggested) {
    ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ApplyRoundCorners();
  ::InvalidateRect(hwnd_, nullptr, FALSE);
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;  // the manager lays the tree out again
  ApplyRoundCorners();
  return 0;
}

void WindowImplBase::ApplyRoundCorners() {
  const SIZE corner = manager_.RoundCorner();
  if ((corner.cx == 0 && corner.cy == 0) || ::IsIconic(hwnd_)) return;
  RECT rc = {};
  ::GetWindowRect(hwnd_, &rc);
  ::OffsetRect(&rc, -rc.left, -rc.top);
  Scoped::DeleteObject<HRGN> region(::CreateRoundRectRgn(0, 0, rc.right + 1, rc.bottom + 1, corner.cx, corner.cy));
  // Once SetWindowRgn succeeds the region belongs to the system and must not be deleted here.
  if (region && ::SetWindowRgn(hwnd_, region.get(), TRUE)) region.release();
}

LRESULT WindowImplBase::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  // The low four bits of the command are the system's own.
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    SendMessage(WM_CLOSE);
    return 0;
  }
  const bool wasMaximized = ::IsZoomed(hwnd_) != FALSE;
  const LRESULT result = CallPreviousProc(msg, wParam, lParam);
  if (::IsWindow(hwnd_) && wasMaximized != (::IsZoomed(hwnd_) != FALSE)) SwapMaxRestoreButtons(wasMaximized);
  return result;
}

void WindowImplBase::SwapMaxRestoreButtons(bool wasMaximized) {
  CControlUI* maxButton = manager_.LookupControl(L"maxbtn");
  CControlUI* restoreButton = manager_.LookupControl(L"restorebtn");
  if (!maxButton || !restoreButton) return;
  maxButton->SetVisible(wasMaximized);
  restoreButton->SetVisible(!wasMaximized);
}

void WindowImplBase::OnClick(UINotification& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
  if (name == L"closebtn") {
    Close(1);
  } else if (name == L"minbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == L"maxbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  } else if (name == L"restorebtn") {
    SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  }
}

LRESULT WindowImplBase::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool&) {
  if (msg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) return OnDefaultKey(wParam);
  return 0;
}

LRESULT WindowImplBase::OnDefaultKey(WPARAM key) {
  if (key != VK_ESCAPE) return 0;
  Close(1);
  return 1;
}

}  // namespace SkinUI
