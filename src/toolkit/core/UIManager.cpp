#include "toolkit/core/UIManager.h"

#include <algorithm>

#include "toolkit/core/UIContainer.h"
#include "toolkit/core/UIControl.h"
#include "toolkit/core/UITabOrder.h"

namespace SkinUI {

namespace {

std::vector<CUIManager*>& LiveManagers() {
  static std::vector<CUIManager*> managers;
  return managers;
}

const DWORD kInitialColors[kColorCount] = {0xFFA7A6AA, 0xFF000000, 0xFF0000FF, 0xFFD3215F, 0xFFBAE4FF};

DWORD* SharedColors() {
  static DWORD colors[kColorCount] = {kInitialColors[0], kInitialColors[1], kInitialColors[2], kInitialColors[3],
                                      kInitialColors[4]};
  return colors;
}

std::map<std::wstring, std::wstring>& SharedClassDefaults() {
  static std::map<std::wstring, std::wstring> defaults;
  return defaults;
}

template <typename T>
void EraseValue(std::vector<T>& list, const T& value) {
  list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

template <typename T>
void AddUnique(std::vector<T>& list, const T& value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

CControlUI* RegisterNameProc(CControlUI* control, void* data) {
  auto* names = static_cast<std::map<std::wstring, CControlUI*>*>(data);
  const std::wstring name = control->GetName();
  if (!name.empty()) names->emplace(name, control);
  return nullptr;
}

}  // namespace

CUIManager::CUIManager() { std::copy(SharedColors(), SharedColors() + kColorCount, colors_); }

CUIManager::~CUIManager() {
  EraseValue(LiveManagers(), this);
  DeleteDelayed();
  posted_.clear();
  CControlUI* root = std::exchange(root_, nullptr);
  if (root) root->Delete();
}

void CUIManager::Init(HWND hwnd, const std::wstring& name) {
  if (LiveManagers().empty()) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
  }
  hwnd_ = hwnd;
  name_ = name;
  names_.clear();
  windowDc_ = Scoped::ReleaseDC(hwnd);
  if (hwnd) dpi_ = WindowDpi(hwnd);
  systemColors_ = IsHighContrastOn();
  AddUnique(LiveManagers(), this);
}

void CUIManager::RefreshSystemColors() {
  const bool on = IsHighContrastOn();
  if (on == systemColors_) return;
  systemColors_ = on;
  Invalidate(RECT{0, 0, 0x7FFF, 0x7FFF});
}

size_t CUIManager::LiveManagerCount() { return LiveManagers().size(); }

// GetDpiForWindow arrived with Windows 10 1607; before it a process has one density, the system's.
int CUIManager::WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow && hwnd) {
    const UINT dpi = getDpiForWindow(hwnd);
    if (dpi >= 48 && dpi <= 960) return static_cast<int>(dpi);
  }
  Scoped::ReleaseDC screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi >= 48 && dpi <= 960 ? dpi : kBaseDpi;
}

void CUIManager::SetDpi(int dpi) {
  if (dpi < 48 || dpi > 960 || dpi == dpi_) return;
  dpi_ = dpi;
  fonts_.Rebuild();
  if (!root_) return;
  root_->LookupControl(
      [](CControlUI* control, void*) -> CControlUI* {
        control->OnDpiChanged();
        return nullptr;
      },
      nullptr, 0);
  root_->MarkNeedsLayout();
  updateNeeded_ = true;
  Invalidate(RECT{0, 0, 0x7FFF, 0x7FFF});
}

bool CUIManager::AttachRoot(CControlUI* root) {
  SetFocus(nullptr, true);
  keyTarget_ = hot_ = pushed_ = rightClicked_ = nullptr;
  tooltip_.ForgetAll();
  if (root_) {
    DeleteDelayed();
    posted_.clear();
    names_.clear();
    overlays_.clear();
    childWindows_.clear();
    QueueDeletion(root_);
  }
  root_ = root;
  if (!root_) return false;
  firstLayout_ = updateNeeded_ = focusNeeded_ = true;
  BindControls(root_, nullptr);
  Invalidate(RECT{0, 0, 0x7FFF, 0x7FFF});
  return true;
}

void CUIManager::BindControls(CControlUI* control, CControlUI* parent) {
  control->AttachManager(this, parent, true);
  control->LookupControl(RegisterNameProc, &names_, 0);
}

void CUIManager::QueueDeletion(CControlUI* control) {
  if (!control) return;
  control->AttachManager(nullptr, nullptr, false);
  // A detached tree no longer reaches this manager, so drop its references now.
  control->LookupControl(
      [](CControlUI* c, void* data) -> CControlUI* {
        static_cast<CUIManager*>(data)->ForgetControl(c);
        return nullptr;
      },
      this, 0);
  AddUnique(delayed_, control);
  if (hwnd_) ::PostMessageW(hwnd_, WM_UI_DELIVER, 0, 0);
}

void CUIManager::DeleteDelayed() {
  std::vector<CControlUI*> doomed;
  doomed.swap(delayed_);
  for (CControlUI* control : doomed) control->Delete();
}

void CUIManager::ForgetControl(CControlUI* control) {
  if (keyTarget_ == control) keyTarget_ = nullptr;
  if (hot_ == control) hot_ = nullptr;
  if (pushed_ == control) pushed_ = nullptr;
  if (focus_ == control) focus_ = nullptr;
  if (rightClicked_ == control) rightClicked_ = nullptr;
  if (initialFocus_ == control) initialFocus_ = nullptr;
  KillTimer(control);
  const std::wstring name = control->GetName();
  auto it = names_.find(name);
  if (it != names_.end() && it->second == control) names_.erase(it);
  for (auto& posted : posted_)
    if (posted->pSender == control) posted->pSender = nullptr;
  EraseValue(overlays_, control);
  EraseValue(mouseLeave_, control);
  tooltip_.Forget(control);
  childWindows_.erase(std::remove_if(childWindows_.begin(), childWindows_.end(),
                                     [control](const auto& child) { return child.first == control; }),
                      childWindows_.end());
  for (auto& group : groups_) EraseValue(group.second, control);
  accessible_.Forget(control);
}

void CUIManager::RenameControl(CControlUI* control, const std::wstring& oldName, const std::wstring& newName) {
  auto it = names_.find(oldName);
  if (it != names_.end() && it->second == control) names_.erase(it);
  if (!newName.empty()) names_.emplace(newName, control);
}

CControlUI* CUIManager::LookupControl(const std::wstring& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

CControlUI* CUIManager::LookupControl(POINT pt) const {
  if (!root_) return nullptr;
  return root_->LookupControl([](CControlUI* c, void*) { return c; }, &pt, FindVisible | FindHitTest | FindTopFirst);
}

bool CUIManager::OwnsControl(const CControlUI* control) const { return control && control->Manager() == this; }

void CUIManager::RaiseAccessibleEvent(DWORD event, CControlUI* control) {
  if (hwnd_) accessible_.Raise(*this, event, control);
}

void CUIManager::SetFocus(CControlUI* control, bool takeWindowFocus) {
  if (takeWindowFocus && hwnd_ && ::GetFocus() != hwnd_ && control != focus_ && !noActivate_) ::SetFocus(hwnd_);
  if (control == focus_) return;
  const bool accepted = control && OwnsControl(control) && control->IsVisible() && control->IsEnabled();
  if (CControlUI* old = std::exchange(focus_, nullptr)) {
    // The losing control learns which control takes the focus from it (none when it is refused).
    UIEvent event = MakeEvent(accepted ? control : nullptr, UIEVENT_KILLFOCUS);
    old->Event(event);
    RaiseNotification(old, L"killfocus");
  }
  if (!accepted) return;
  focus_ = control;
  RaiseAccessibleEvent(EVENT_OBJECT_FOCUS, control);
  SendEvent(control, UIEVENT_SETFOCUS);
  RaiseNotification(control, L"setfocus");
}

// Tab visits the controls in the order a reader meets them, by where they are drawn: a mirrored skin
// lists its rows left to right like any other, yet is read from the right.
std::vector<CControlUI*> CUIManager::TabStops() const { return TabOrder::Stops(root_, IsRightToLeft()); }

void CUIManager::FocusPastDisabled(CControlUI* control) {
  if (!root_ || !control || focus_ != control) return;
  SetFocus(TabOrder::PastDisabled(root_, control, IsRightToLeft()), false);
}

CControlUI* CUIManager::FindTabStop(bool forward) const { return TabOrder::Next(TabStops(), focus_, forward); }

// The window says so (its language reads right to left) or its skin does (direction="rtl").
bool CUIManager::IsRightToLeft() const { return rightToLeft_ || WindowCustomAttribute(L"direction") == L"rtl"; }

void CUIManager::SetRightToLeft(bool on) { rightToLeft_ = on; }

// Focus pictures stay hidden while the mouse alone is used, as Windows hides its focus rectangles,
// unless the user asked Windows to always show them.
bool CUIManager::ShowsFocusCues() const {
  if (focusCues_) return true;
  BOOL always = FALSE;
  return ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &always, 0) && always;
}

void CUIManager::KeyboardInUse() {
  if (focusCues_) return;
  focusCues_ = true;
  if (focus_) focus_->Invalidate();
}

void CUIManager::MoveTabFocus(bool forward) {
  if (!root_) return;
  if (updateNeeded_ && forward) {
    focusNeeded_ = true;
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, FALSE);
    return;
  }
  focusNeeded_ = false;
  if (CControlUI* next = FindTabStop(forward)) SetFocus(next, true);
}

void CUIManager::RequestInitialFocus(CControlUI* control) {
  // A window still being made takes the focus when it is shown, not from inside its creation.
  if (hwnd_ && !noActivate_ && ::IsWindowVisible(hwnd_)) ::SetFocus(hwnd_);
  SetFocus(nullptr, false);
  initialFocus_ = control
                      ? control->LookupControl(
                            [](CControlUI* c, void*) { return (c->ControlFlags() & ControlFlagTabStop) ? c : nullptr; },
                            nullptr, FindVisible | FindEnabled | FindMeFirst)
                      : nullptr;
  focusNeeded_ = true;
  if (root_) root_->MarkNeedsLayout();
}

// The focus that waited for the layout: the requested initial control, else the next Tab stop.
void CUIManager::ApplyPendingFocus() {
  CControlUI* initial = std::exchange(initialFocus_, nullptr);
  if (initial && OwnsControl(initial) && initial->IsVisible() && initial->IsEnabled()) {
    focusNeeded_ = false;
    SetFocus(initial, true);
    return;
  }
  MoveTabFocus(true);
}

void CUIManager::Invalidate(RECT rc) {
  if (!hwnd_) return;
  if (rc.left < 0) rc.left = 0;
  if (rc.top < 0) rc.top = 0;
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  ::InvalidateRect(hwnd_, &rc, FALSE);
}

bool CUIManager::SetTimer(CControlUI* control, UINT id, UINT elapse) { return timers_.Set(hwnd_, control, id, elapse); }

bool CUIManager::KillTimer(CControlUI* control, UINT id) { return timers_.Kill(hwnd_, control, id); }

void CUIManager::KillTimer(CControlUI* control) { timers_.KillAll(control); }

const ControlTimer* CUIManager::FindTimer(CControlUI* control, UINT id) const { return timers_.Find(control, id); }

void CUIManager::SetCapture() {
  ::SetCapture(hwnd_);
  captured_ = true;
}

void CUIManager::ReleaseCapture() {
  ::ReleaseCapture();
  captured_ = false;
}

void CUIManager::AddListener(INotifyUI* listener) { AddUnique(listeners_, listener); }
void CUIManager::RemoveListener(INotifyUI* listener) { EraseValue(listeners_, listener); }
void CUIManager::AddPreFilter(IMessageFilterUI* filter) { AddUnique(preFilters_, filter); }
void CUIManager::RemovePreFilter(IMessageFilterUI* filter) { EraseValue(preFilters_, filter); }
void CUIManager::AddFilter(IMessageFilterUI* filter) { AddUnique(filters_, filter); }
void CUIManager::RemoveFilter(IMessageFilterUI* filter) { EraseValue(filters_, filter); }
void CUIManager::AddOverlay(CControlUI* control) { AddUnique(overlays_, control); }
void CUIManager::RemoveOverlay(CControlUI* control) { EraseValue(overlays_, control); }
void CUIManager::RequestMouseLeave(CControlUI* control) { AddUnique(mouseLeave_, control); }
void CUIManager::AddAccelerator(ITranslateAccelerator* accelerator) { AddUnique(accelerators_, accelerator); }
void CUIManager::RemoveAccelerator(ITranslateAccelerator* accelerator) { EraseValue(accelerators_, accelerator); }
void CUIManager::DropMouseLeave(CControlUI* control) { EraseValue(mouseLeave_, control); }

void CUIManager::RaiseNotification(CControlUI* sender, const std::wstring& type, WPARAM wParam, LPARAM lParam,
                                   bool async, bool allowRepeat) {
  UINotification msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  RaiseNotification(msg, async, allowRepeat);
}

void CUIManager::RaiseNotification(UINotification& msg, bool async, bool allowRepeat) {
  msg.ptMouse = lastMouse_;
  msg.dwTimestamp = ::GetTickCount();
  if (useVirtualWnd_ && msg.pSender) msg.sVirtualWnd = msg.pSender->GetVirtualWnd();
  if (!async) {
    DeliverNow(msg);
    return;
  }
  if (!allowRepeat) {
    for (auto& queued : posted_) {
      if (queued->pSender == msg.pSender && queued->sType == msg.sType) {
        *queued = msg;
        return;
      }
    }
  }
  posted_.push_back(std::make_unique<UINotification>(msg));
  if (!deliverPosted_ && hwnd_) deliverPosted_ = ::PostMessageW(hwnd_, WM_UI_DELIVER, 0, 0) != FALSE;
}

void CUIManager::DeliverNow(UINotification& msg) {
  if (msg.pSender) msg.pSender->OnNotify.Fire(msg);
  const std::vector<INotifyUI*> listeners = listeners_;
  for (INotifyUI* listener : listeners) listener->Notify(msg);
}

void CUIManager::DeliverPosted() {
  deliverPosted_ = false;
  while (!posted_.empty()) {
    std::unique_ptr<UINotification> msg = std::move(posted_.front());
    posted_.erase(posted_.begin());
    DeliverNow(*msg);
  }
  DeleteDelayed();
}

void CUIManager::JoinGroup(const std::wstring& group, CControlUI* control) {
  if (!group.empty() && control) AddUnique(groups_[group], control);
}

const std::vector<CControlUI*>* CUIManager::GroupMembers(const std::wstring& group) const {
  auto it = groups_.find(group);
  return it == groups_.end() ? nullptr : &it->second;
}

void CUIManager::LeaveGroup(const std::wstring& group, CControlUI* control) {
  auto it = groups_.find(group);
  if (it == groups_.end()) return;
  EraseValue(it->second, control);
  if (it->second.empty()) groups_.erase(it);
}

void CUIManager::AddClassDefaults(const std::wstring& className, const std::wstring& attributes, bool shared) {
  (shared || forceShared_ ? SharedClassDefaults() : classDefaults_)[className] = attributes;
}

const std::wstring* CUIManager::ClassDefaults(const std::wstring& className) const {
  auto it = classDefaults_.find(className);
  if (it != classDefaults_.end()) return &it->second;
  it = SharedClassDefaults().find(className);
  return it == SharedClassDefaults().end() ? nullptr : &it->second;
}

void CUIManager::SetDefaultColor(DefaultColor which, DWORD color, bool shared) {
  colors_[which] = color;
  if (shared) SharedColors()[which] = color;
}

// A message to a child window may concern every window it lies in, the innermost (the last made)
// first; a top-level window's message concerns its own manager alone.
bool CUIManager::TranslateMessage(const MSG* msg) {
  if (!msg || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
  const bool child = (::GetWindowLongW(msg->hwnd, GWL_STYLE) & WS_CHILD) != 0;
  const std::vector<CUIManager*> managers = LiveManagers();
  for (auto it = managers.rbegin(); it != managers.rend(); ++it) {
    CUIManager* manager = *it;
    const HWND hwnd = manager->PaintWindow();
    const bool concerned = msg->hwnd == hwnd || (child && ::IsChild(hwnd, msg->hwnd));
    if (concerned && manager->TranslateForWindow(msg)) return true;
  }
  return false;
}

bool CUIManager::TranslateForWindow(const MSG* msg) {
  const std::vector<ITranslateAccelerator*> accelerators = accelerators_;
  for (ITranslateAccelerator* accelerator : accelerators)
    if (accelerator->TranslateAccelerator(msg)) return true;
  LRESULT result = 0;
  return PreFilterMessage(msg->message, msg->wParam, msg->lParam, result);
}

}  // namespace SkinUI
