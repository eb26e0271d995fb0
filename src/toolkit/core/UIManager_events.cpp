#include <windowsx.h>

#include <cwctype>

#include "toolkit/core/UIControl.h"
#include "toolkit/core/UIManager.h"

namespace SkinUI {

namespace {

uint16_t KeyboardState() {
  uint16_t state = 0;
  if (::GetKeyState(VK_LBUTTON) < 0) state |= UIKEY_LBUTTON;
  if (::GetKeyState(VK_RBUTTON) < 0) state |= UIKEY_RBUTTON;
  if (::GetKeyState(VK_SHIFT) < 0) state |= UIKEY_SHIFT;
  if (::GetKeyState(VK_CONTROL) < 0) state |= UIKEY_CONTROL;
  if (::GetKeyState(VK_MENU) < 0) state |= UIKEY_ALT;
  return state;
}

POINT ClientPoint(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// Messages sent back to the native child that sent them, as the child's own reflected message.
constexpr UINT kReflectBase = 0x2000;

bool IsLabel(const CControlUI* control) { return wcsstr(control->ClassName(), L"Label") != nullptr; }

// The first filter that says it handled the message consumes it with its answer. A copy is walked, so
// a filter may remove itself.
bool AskFilters(const std::vector<IMessageFilterUI*>& list, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const std::vector<IMessageFilterUI*> filters = list;
  for (IMessageFilterUI* filter : filters) {
    bool handled = false;
    const LRESULT answer = filter->MessageHandler(msg, wParam, lParam, handled);
    if (handled) {
      result = answer;
      return true;
    }
  }
  return false;
}

}  // namespace

bool CUIManager::FilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (!hwnd_) return false;
  if (accessible_.HandleMessage(*this, msg, wParam, lParam, result)) return true;
  RememberMousePoint(msg, lParam);
  if (AskFilters(filters_, msg, wParam, lParam, result)) return true;
  return RouteMessage(msg, wParam, lParam, result);
}

void CUIManager::RememberMousePoint(UINT msg, LPARAM lParam) {
  if (msg == WM_CONTEXTMENU || msg == WM_MOUSEWHEEL) {
    POINT pt = ClientPoint(lParam);
    ::ScreenToClient(hwnd_, &pt);
    lastMouse_ = pt;
  } else if (msg >= WM_MOUSEMOVE && msg <= WM_LBUTTONDBLCLK) {
    lastMouse_ = ClientPoint(lParam);
  }
}

bool CUIManager::RouteMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_CLOSE:
      OnClose();
      return false;
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PAINT:
      result = 0;
      return OnPaint();
    case WM_SIZE:
      if (focus_) SendEvent(focus_, UIEVENT_WINDOWSIZE);
      if (root_) root_->MarkNeedsLayout();
      updateNeeded_ = true;
      result = 0;
      return true;
    case WM_TIMER:
      OnTimer(wParam, lParam);
      return false;
    case WM_SETCURSOR:
      result = TRUE;
      return OnSetCursor(lParam);
    case WM_MOUSEACTIVATE:
      if (!noActivate_) return false;
      result = MA_NOACTIVATE;
      return true;
    case WM_NOTIFY:
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return Reflect(msg, wParam, lParam, result);
    case WM_KILLFOCUS:
      OnKillFocus(reinterpret_cast<HWND>(wParam));
      return false;
    case WM_GETMINMAXINFO:
      OnMinMaxInfo(lParam);
      return false;
    case WM_PRINTCLIENT:
      OnPrintClient(reinterpret_cast<HDC>(wParam), lParam);
      return false;
    case WM_UI_DELIVER:
      DeliverPosted();
      return false;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      RefreshSystemColors();
      if (msg == WM_SYSCOLORCHANGE && systemColors_) Invalidate(RECT{0, 0, 0x7FFF, 0x7FFF});
      return false;
    default:
      break;
  }
  if (DispatchMouse(msg, wParam, lParam, result)) return true;
  return DispatchKeys(msg, wParam, lParam, result);
}

bool CUIManager::DispatchMouse(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // Controls are placed when the window paints; a click that overtakes a pending paint (a page just
  // switched, a window just shown) must still find them where they will be drawn.
  const bool locates = msg == WM_MOUSEMOVE || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK ||
                       msg == WM_RBUTTONDOWN || msg == WM_MOUSEWHEEL;
  if (locates && root_ && !painting_) LayoutIfNeeded();
  switch (msg) {
    case WM_MOUSEMOVE:
      OnMouseMove(lParam);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      OnButtonDown(wParam, lParam, msg == WM_LBUTTONDBLCLK);
      break;
    case WM_LBUTTONUP:
      OnButtonUp();
      break;
    case WM_RBUTTONDOWN:
      OnRightButtonDown(lParam);
      break;
    case WM_CONTEXTMENU:
      if (!captured_ && rightClicked_) {
        CControlUI* target = std::exchange(rightClicked_, nullptr);
        SendEvent(target, UIEVENT_CONTEXTMENU, wParam, reinterpret_cast<LPARAM>(target));
      }
      break;
    case WM_MOUSEWHEEL:
      OnMouseWheel(wParam, lParam);
      break;
    case WM_MOUSEHOVER:
      result = 0;
      return OnMouseHover(wParam, lParam);
    case WM_MOUSELEAVE:
      OnMouseLeave();
      break;
    default:
      break;
  }
  return false;
}

bool CUIManager::DispatchKeys(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_KEYDOWN:
      if (focus_) {
        SendEvent(focus_, UIEVENT_KEYDOWN, wParam, lParam, static_cast<wchar_t>(wParam));
        keyTarget_ = focus_;
      }
      break;
    case WM_KEYUP:
      if (keyTarget_)
        SendEvent(std::exchange(keyTarget_, nullptr), UIEVENT_KEYUP, wParam, lParam, static_cast<wchar_t>(wParam));
      break;
    case WM_CHAR:
      if (focus_) SendEvent(focus_, UIEVENT_CHAR, wParam, lParam, static_cast<wchar_t>(wParam));
      break;
    default:
      break;
  }
  return false;
}

UIEvent CUIManager::MakeEvent(CControlUI* sender, UIEventType type, WPARAM wParam, LPARAM lParam, wchar_t key) const {
  UIEvent event;
  event.Type = type;
  event.pSender = sender;
  event.dwTimestamp = ::GetTickCount();
  event.ptMouse = lastMouse_;
  event.chKey = key;
  event.wKeyState = KeyboardState();
  event.wParam = wParam;
  event.lParam = lParam;
  return event;
}

void CUIManager::SendEvent(CControlUI* control, UIEventType type, WPARAM wParam, LPARAM lParam, wchar_t key) {
  if (!control) return;
  UIEvent event = MakeEvent(control, type, wParam, lParam, key);
  control->Event(event);
}

void CUIManager::ArmMouseTracking() {
  if (mouseTracking_) return;
  TRACKMOUSEEVENT track = {sizeof(track), TME_HOVER | TME_LEAVE, hwnd_, tooltip_.HoverTime(hoverTime_)};
  ++trackingRequests_;
  mouseTracking_ = ::TrackMouseEvent(&track) != FALSE;
}

void CUIManager::OnMouseMove(LPARAM lParam) {
  if (!root_) return;
  ArmMouseTracking();
  CControlUI* control = LookupControl(ClientPoint(lParam));
  if (control && !OwnsControl(control)) return;
  if (!captured_ && control != hot_) {
    if (hot_) SendEvent(hot_, UIEVENT_MOUSELEAVE);
    const std::vector<CControlUI*> leavers = mouseLeave_;
    for (CControlUI* leaver : leavers)
      if (leaver != hot_) SendEvent(leaver, UIEVENT_MOUSELEAVE);
    tooltip_.Hide();
    hot_ = control;
    if (hot_) SendEvent(hot_, UIEVENT_MOUSEENTER);
  }
  CControlUI* target = pushed_ ? pushed_ : control;
  if (target) SendEvent(target, UIEVENT_MOUSEMOVE, 0, lParam);
}

void CUIManager::OnButtonDown(WPARAM wParam, LPARAM lParam, bool doubleClick) {
  if (!noActivate_) ::SetFocus(hwnd_);
  CControlUI* control = LookupControl(ClientPoint(lParam));
  if (!OwnsControl(control)) return;
  pushed_ = control;
  if (!doubleClick) control->SetFocus();
  SetCapture();
  UIEvent event;
  event.Type = doubleClick ? UIEVENT_DBLCLICK : UIEVENT_BUTTONDOWN;
  event.pSender = control;
  event.dwTimestamp = ::GetTickCount();
  event.ptMouse = ClientPoint(lParam);
  event.wKeyState = static_cast<uint16_t>(wParam);
  event.wParam = wParam;
  event.lParam = lParam;
  control->Event(event);
}

// The capture is released even when the pressed control went away while the button was held:
// a capture kept by nobody would stop hover and cursor updates until the next click.
void CUIManager::OnButtonUp() {
  if (captured_) ReleaseCapture();
  if (pushed_) SendEvent(std::exchange(pushed_, nullptr), UIEVENT_BUTTONUP);
}

void CUIManager::OnRightButtonDown(LPARAM lParam) {
  CControlUI* control = LookupControl(ClientPoint(lParam));
  if (!OwnsControl(control)) return;
  control->SetFocus();
  SendEvent(control, UIEVENT_RBUTTONDOWN, 0, lParam);
  rightClicked_ = control;
}

void CUIManager::OnMouseWheel(WPARAM wParam, LPARAM lParam) {
  CControlUI* control = LookupControl(lastMouse_);
  if (OwnsControl(control)) SendEvent(control, UIEVENT_SCROLLWHEEL, GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? 1 : 0, lParam);
  ::SendMessageW(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(lastMouse_.x, lastMouse_.y));
}

// The move is sent while tracking still counts as armed, and only then disarmed: a move handled with
// tracking disarmed would call TrackMouseEvent with the pointer outside the client area, which on
// Windows posts the next WM_MOUSELEAVE at once, and the two messages would chase each other for ever.
void CUIManager::OnMouseLeave() {
  tooltip_.Hide();
  if (!mouseTracking_) return;
  POINT pt;
  ::GetCursorPos(&pt);
  RECT window;
  ::GetWindowRect(hwnd_, &window);
  const bool inside = !::IsIconic(hwnd_) && ::GetActiveWindow() == hwnd_ && ::PtInRect(&window, pt) &&
                      ::SendMessageW(hwnd_, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)) == HTCLIENT;
  ::ScreenToClient(hwnd_, &pt);
  ::SendMessageW(hwnd_, WM_MOUSEMOVE, 0, inside ? MAKELPARAM(pt.x, pt.y) : static_cast<LPARAM>(-1));
  mouseTracking_ = false;
}

void CUIManager::OnClose() {
  if (hot_) SendEvent(hot_, UIEVENT_MOUSELEAVE);
  if (pushed_) SendEvent(pushed_, UIEVENT_BUTTONUP);
  SetFocus(nullptr, true);
  tooltip_.Close();
  if (::GetActiveWindow() != hwnd_) return;
  HWND next = ::GetWindow(hwnd_, GW_OWNER);
  if (!next && (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD)) next = ::GetParent(hwnd_);
  if (next) ::SetFocus(next);
}

bool CUIManager::OnSetCursor(LPARAM lParam) {
  if (!root_ || LOWORD(lParam) != HTCLIENT) return false;
  if (captured_) return true;
  POINT pt;
  ::GetCursorPos(&pt);
  ::ScreenToClient(hwnd_, &pt);
  CControlUI* control = LookupControl(pt);
  if (!OwnsControl(control) || !(control->ControlFlags() & ControlFlagSetCursor)) return false;
  SendEvent(control, UIEVENT_SETCURSOR);
  return true;
}

void CUIManager::OnTimer(WPARAM wParam, LPARAM lParam) {
  if (const ControlTimer* timer = timers_.Running(hwnd_, wParam))
    SendEvent(timer->sender, UIEVENT_TIMER, timer->localId, lParam);
}

void CUIManager::OnMinMaxInfo(LPARAM lParam) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  if (!info) return;
  if (minInfo_.cx > 0) info->ptMinTrackSize.x = Scale(minInfo_.cx);
  if (minInfo_.cy > 0) info->ptMinTrackSize.y = Scale(minInfo_.cy);
  if (maxInfo_.cx > 0) info->ptMaxTrackSize.x = Scale(maxInfo_.cx);
  if (maxInfo_.cy > 0) info->ptMaxTrackSize.y = Scale(maxInfo_.cy);
}

bool CUIManager::PreFilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (AskFilters(preFilters_, msg, wParam, lParam, result)) return true;
  switch (msg) {
    case WM_KEYDOWN:
      if (wParam != VK_TAB) return false;
      KeyboardInUse();
      MoveTabFocus(::GetKeyState(VK_SHIFT) >= 0);
      return true;
    case WM_SYSKEYDOWN:
      KeyboardInUse();
      if (focus_) SendEvent(focus_, UIEVENT_SYSKEY, wParam, lParam, static_cast<wchar_t>(wParam));
      return false;
    case WM_SYSCHAR:
      return OnSysChar(wParam);
    default:
      return false;
  }
}

bool CUIManager::OnSysChar(WPARAM wParam) {
  if (!root_) return false;
  struct Search {
    wchar_t key;
    CControlUI* match = nullptr;
    CControlUI* afterLabel = nullptr;
  } search{static_cast<wchar_t>(towupper(static_cast<wint_t>(wParam)))};
  root_->LookupControl(
      [](CControlUI* c, void* data) -> CControlUI* {
        auto* s = static_cast<Search*>(data);
        if (!c->IsVisible()) return nullptr;
        if (s->match && IsLabel(s->match)) {
          if (IsLabel(c)) return nullptr;
          s->afterLabel = c;
          return c;
        }
        if (!s->match && c->GetShortcut() && towupper(c->GetShortcut()) == s->key) {
          s->match = c;
          return IsLabel(c) ? nullptr : c;
        }
        return nullptr;
      },
      &search, FindEnabled | FindTopFirst | FindMeFirst);
  CControlUI* target = search.match && IsLabel(search.match) ? search.afterLabel : search.match;
  if (!target) return false;
  target->SetFocus();
  target->Activate();
  return true;
}

bool CUIManager::OnMouseHover(WPARAM wParam, LPARAM lParam) {
  if (hot_) SendEvent(hot_, UIEVENT_MOUSEHOVER, wParam, lParam);
  const POINT pt = ClientPoint(lParam);
  CControlUI* control = LookupControl(pt);
  if (!control) return false;
  tooltip_.Show(hwnd_, control, pt);
  return true;
}

void CUIManager::RegisterChildWindow(CControlUI* control, HWND child) {
  if (control && child) childWindows_.emplace_back(control, child);
}

bool CUIManager::Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  HWND sender = reinterpret_cast<HWND>(lParam);
  if (msg == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    sender = header ? header->hwndFrom : nullptr;
  }
  if (!sender) return false;
  result = ::SendMessageW(sender, msg + kReflectBase, wParam, lParam);
  return true;
}

// The native focus moving into a hosted child window brings the toolkit focus to its control.
void CUIManager::OnKillFocus(HWND next) {
  for (const auto& child : childWindows_) {
    if (child.second == next && ::IsChild(hwnd_, next) && child.first != focus_) SetFocus(child.first, false);
  }
}

}  // namespace SkinUI
