#include "toolkit/core/UIInputRouter.h"

#include <windowsx.h>

#include <algorithm>
#include <cwctype>

#include "toolkit/core/UIControl.h"

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

// How long the pointer rests before a hover, until the tooltip window can tell the system's time.
constexpr DWORD kHoverTime = 1000;

bool PassesShortcutOn(const CControlUI* control) { return (control->ControlFlags() & ControlFlagCaption) != 0; }

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

bool Reflect(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  HWND sender = reinterpret_cast<HWND>(lParam);
  if (msg == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    sender = header ? header->hwndFrom : nullptr;
  }
  if (!sender) return false;
  result = ::SendMessageW(sender, msg + kReflectBase, wParam, lParam);
  return true;
}

}  // namespace

bool CInputRouter::Filter(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  RememberMousePoint(msg, lParam);
  return AskFilters(filters_, msg, wParam, lParam, result);
}

void CInputRouter::RememberMousePoint(UINT msg, LPARAM lParam) {
  if (msg == WM_CONTEXTMENU || msg == WM_MOUSEWHEEL) {
    POINT pt = ClientPoint(lParam);
    ::ScreenToClient(host_.PaintWindow(), &pt);
    lastMouse_ = pt;
  } else if (msg >= WM_MOUSEMOVE && msg <= WM_LBUTTONDBLCLK) {
    lastMouse_ = ClientPoint(lParam);
  }
}

bool CInputRouter::Route(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_CLOSE:
      OnClose();
      return false;
    case WM_SETCURSOR:
      result = TRUE;
      return OnSetCursor(lParam);
    case WM_NOTIFY:
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return Reflect(msg, wParam, lParam, result);
    case WM_KILLFOCUS:
      OnKillFocus(reinterpret_cast<HWND>(wParam));
      return false;
    default:
      break;
  }
  if (DispatchMouse(msg, wParam, lParam, result)) return true;
  return DispatchKeys(msg, wParam, lParam);
}

bool CInputRouter::DispatchMouse(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const bool locates = msg == WM_MOUSEMOVE || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK ||
                       msg == WM_RBUTTONDOWN || msg == WM_MOUSEWHEEL;
  if (locates) host_.LayOutForHitTest();
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
      OnContextMenu(wParam);
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

bool CInputRouter::DispatchKeys(UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto key = static_cast<wchar_t>(wParam);
  switch (msg) {
    case WM_KEYDOWN:
      if (CControlUI* focus = focus_.Get()) {
        SendEvent(focus, UIEVENT_KEYDOWN, wParam, lParam, key);
        keyTarget_ = focus;
      }
      break;
    case WM_KEYUP:
      if (keyTarget_) SendEvent(std::exchange(keyTarget_, nullptr), UIEVENT_KEYUP, wParam, lParam, key);
      break;
    case WM_CHAR:
      SendEvent(focus_.Get(), UIEVENT_CHAR, wParam, lParam, key);
      break;
    default:
      break;
  }
  return false;
}

UIEvent CInputRouter::MakeEvent(CControlUI* sender, UIEventType type, WPARAM wParam, LPARAM lParam, wchar_t key) const {
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

void CInputRouter::SendEvent(CControlUI* control, UIEventType type, WPARAM wParam, LPARAM lParam, wchar_t key) {
  if (!control) return;
  UIEvent event = MakeEvent(control, type, wParam, lParam, key);
  control->Event(event);
}

void CInputRouter::ArmMouseTracking() {
  if (mouseTracking_) return;
  TRACKMOUSEEVENT track = {sizeof(track), TME_HOVER | TME_LEAVE, host_.PaintWindow(), tooltip_.HoverTime(kHoverTime)};
  ++trackingRequests_;
  mouseTracking_ = ::TrackMouseEvent(&track) != FALSE;
}

void CInputRouter::OnMouseMove(LPARAM lParam) {
  if (!host_.GetRoot()) return;
  ArmMouseTracking();
  CControlUI* control = host_.LookupControl(ClientPoint(lParam));
  if (control && !host_.OwnsControl(control)) return;
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

void CInputRouter::OnButtonDown(WPARAM wParam, LPARAM lParam, bool doubleClick) {
  if (host_.TakesActivation()) ::SetFocus(host_.PaintWindow());
  CControlUI* control = host_.LookupControl(ClientPoint(lParam));
  if (!host_.OwnsControl(control)) return;
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
void CInputRouter::OnButtonUp() {
  if (captured_) ReleaseCapture();
  if (pushed_) SendEvent(std::exchange(pushed_, nullptr), UIEVENT_BUTTONUP);
}

void CInputRouter::OnRightButtonDown(LPARAM lParam) {
  CControlUI* control = host_.LookupControl(ClientPoint(lParam));
  if (!host_.OwnsControl(control)) return;
  control->SetFocus();
  SendEvent(control, UIEVENT_RBUTTONDOWN, 0, lParam);
  rightClicked_ = control;
}

void CInputRouter::OnContextMenu(WPARAM wParam) {
  if (captured_ || !rightClicked_) return;
  CControlUI* target = std::exchange(rightClicked_, nullptr);
  SendEvent(target, UIEVENT_CONTEXTMENU, wParam, reinterpret_cast<LPARAM>(target));
}

void CInputRouter::OnMouseWheel(WPARAM wParam, LPARAM lParam) {
  CControlUI* control = host_.LookupControl(lastMouse_);
  if (host_.OwnsControl(control))
    SendEvent(control, UIEVENT_SCROLLWHEEL, GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? 1 : 0, lParam);
  ::SendMessageW(host_.PaintWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(lastMouse_.x, lastMouse_.y));
}

// The move is sent while tracking still counts as armed, and only then disarmed: a move handled with
// tracking disarmed would call TrackMouseEvent with the pointer outside the client area, which on
// Windows posts the next WM_MOUSELEAVE at once, and the two messages would chase each other for ever.
void CInputRouter::OnMouseLeave() {
  tooltip_.Hide();
  if (!mouseTracking_) return;
  HWND hwnd = host_.PaintWindow();
  POINT pt;
  ::GetCursorPos(&pt);
  RECT window;
  ::GetWindowRect(hwnd, &window);
  const bool inside = !::IsIconic(hwnd) && ::GetActiveWindow() == hwnd && ::PtInRect(&window, pt) &&
                      ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)) == HTCLIENT;
  ::ScreenToClient(hwnd, &pt);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, inside ? MAKELPARAM(pt.x, pt.y) : static_cast<LPARAM>(-1));
  mouseTracking_ = false;
}

bool CInputRouter::OnMouseHover(WPARAM wParam, LPARAM lParam) {
  if (hot_) SendEvent(hot_, UIEVENT_MOUSEHOVER, wParam, lParam);
  const POINT pt = ClientPoint(lParam);
  CControlUI* control = host_.LookupControl(pt);
  if (!control) return false;
  tooltip_.Show(host_.PaintWindow(), control, pt);
  return true;
}

// A closing window lets go of its controls and hands the native focus back to its owner (or, as a
// child, its parent).
void CInputRouter::OnClose() {
  if (hot_) SendEvent(hot_, UIEVENT_MOUSELEAVE);
  if (pushed_) SendEvent(pushed_, UIEVENT_BUTTONUP);
  focus_.Set(nullptr, true);
  tooltip_.Close();
  HWND hwnd = host_.PaintWindow();
  if (::GetActiveWindow() != hwnd) return;
  HWND next = ::GetWindow(hwnd, GW_OWNER);
  if (!next && (::GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) next = ::GetParent(hwnd);
  if (next) ::SetFocus(next);
}

bool CInputRouter::OnSetCursor(LPARAM lParam) {
  if (!host_.GetRoot() || LOWORD(lParam) != HTCLIENT) return false;
  if (captured_) return true;
  POINT pt;
  ::GetCursorPos(&pt);
  ::ScreenToClient(host_.PaintWindow(), &pt);
  CControlUI* control = host_.LookupControl(pt);
  if (!host_.OwnsControl(control) || !(control->ControlFlags() & ControlFlagSetCursor)) return false;
  SendEvent(control, UIEVENT_SETCURSOR);
  return true;
}

// The native focus moving into a hosted child window brings the toolkit focus to its control.
void CInputRouter::OnKillFocus(HWND next) {
  for (const auto& child : childWindows_) {
    if (child.second == next && ::IsChild(host_.PaintWindow(), next) && child.first != focus_.Get())
      focus_.Set(child.first, false);
  }
}

bool CInputRouter::PreFilter(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (AskFilters(preFilters_, msg, wParam, lParam, result)) return true;
  switch (msg) {
    case WM_KEYDOWN:
      if (wParam != VK_TAB) return false;
      focus_.KeyboardInUse();
      focus_.MoveTab(::GetKeyState(VK_SHIFT) >= 0);
      return true;
    case WM_SYSKEYDOWN:
      focus_.KeyboardInUse();
      SendEvent(focus_.Get(), UIEVENT_SYSKEY, wParam, lParam, static_cast<wchar_t>(wParam));
      return false;
    case WM_SYSCHAR:
      return OnSysChar(wParam);
    default:
      return false;
  }
}

// A caption's shortcut goes to the control after it, as a dialog's label hands its access key on.
bool CInputRouter::OnSysChar(WPARAM wParam) {
  CControlUI* root = host_.GetRoot();
  if (!root) return false;
  struct Search {
    wchar_t key;
    CControlUI* match = nullptr;
    CControlUI* afterCaption = nullptr;
  } search{static_cast<wchar_t>(towupper(static_cast<wint_t>(wParam)))};
  root->LookupControl(
      [](CControlUI* c, void* data) -> CControlUI* {
        auto* s = static_cast<Search*>(data);
        if (!c->IsVisible()) return nullptr;
        if (s->match && PassesShortcutOn(s->match)) {
          if (PassesShortcutOn(c)) return nullptr;
          s->afterCaption = c;
          return c;
        }
        if (!s->match && c->GetShortcut() && towupper(c->GetShortcut()) == s->key) {
          s->match = c;
          return PassesShortcutOn(c) ? nullptr : c;
        }
        return nullptr;
      },
      &search, FindEnabled | FindTopFirst | FindMeFirst);
  CControlUI* target = search.match && PassesShortcutOn(search.match) ? search.afterCaption : search.match;
  if (!target) return false;
  target->SetFocus();
  target->Activate();
  return true;
}

bool CInputRouter::Translate(const MSG* msg) {
  const std::vector<ITranslateAccelerator*> accelerators = accelerators_;
  for (ITranslateAccelerator* accelerator : accelerators)
    if (accelerator->TranslateAccelerator(msg)) return true;
  LRESULT result = 0;
  return PreFilter(msg->message, msg->wParam, msg->lParam, result);
}

void CInputRouter::SetCapture() {
  ::SetCapture(host_.PaintWindow());
  captured_ = true;
}

void CInputRouter::ReleaseCapture() {
  ::ReleaseCapture();
  captured_ = false;
}

void CInputRouter::AddPreFilter(IMessageFilterUI* filter) { AddUnique(preFilters_, filter); }
void CInputRouter::RemovePreFilter(IMessageFilterUI* filter) { EraseValue(preFilters_, filter); }
void CInputRouter::AddFilter(IMessageFilterUI* filter) { AddUnique(filters_, filter); }
void CInputRouter::RemoveFilter(IMessageFilterUI* filter) { EraseValue(filters_, filter); }
void CInputRouter::AddAccelerator(ITranslateAccelerator* accelerator) { AddUnique(accelerators_, accelerator); }
void CInputRouter::RemoveAccelerator(ITranslateAccelerator* accelerator) { EraseValue(accelerators_, accelerator); }
void CInputRouter::RequestMouseLeave(CControlUI* control) { AddUnique(mouseLeave_, control); }
void CInputRouter::DropMouseLeave(CControlUI* control) { EraseValue(mouseLeave_, control); }

void CInputRouter::RegisterChildWindow(CControlUI* control, HWND child) {
  if (control && child) childWindows_.emplace_back(control, child);
}

void CInputRouter::UnregisterChildWindow(HWND child) {
  childWindows_.erase(std::remove_if(childWindows_.begin(), childWindows_.end(),
                                     [child](const auto& entry) { return entry.second == child; }),
                      childWindows_.end());
}

void CInputRouter::Forget(CControlUI* control) {
  if (keyTarget_ == control) keyTarget_ = nullptr;
  if (hot_ == control) hot_ = nullptr;
  if (pushed_ == control) pushed_ = nullptr;
  if (rightClicked_ == control) rightClicked_ = nullptr;
  EraseValue(mouseLeave_, control);
  tooltip_.Forget(control);
  childWindows_.erase(std::remove_if(childWindows_.begin(), childWindows_.end(),
                                     [control](const auto& entry) { return entry.first == control; }),
                      childWindows_.end());
}

void CInputRouter::ForgetTree() {
  keyTarget_ = hot_ = pushed_ = rightClicked_ = nullptr;
  tooltip_.ForgetAll();
}

}  // namespace SkinUI
