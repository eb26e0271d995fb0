#include "toolkit/core/UIManager.h"

#include <algorithm>

#include "toolkit/core/UIContainer.h"
#include "toolkit/core/UIControl.h"

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
  focus_.Set(nullptr, true);
  input_.ForgetTree();
  if (root_) {
    DeleteDelayed();
    posted_.clear();
    names_.clear();
    overlays_.clear();
    input_.ForgetChildWindows();
    QueueDeletion(root_);
  }
  root_ = root;
  if (!root_) return false;
  firstLayout_ = updateNeeded_ = true;
  focus_.AwaitLayout();
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
  input_.Forget(control);
  focus_.Forget(control);
  KillTimer(control);
  const std::wstring name = control->GetName();
  auto it = names_.find(name);
  if (it != names_.end() && it->second == control) names_.erase(it);
  for (auto& posted : posted_)
    if (posted->pSender == control) posted->pSender = nullptr;
  EraseValue(overlays_, control);
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

void CUIManager::LayOutForHitTest() {
  if (root_ && !painting_) LayoutIfNeeded();
}

void CUIManager::RaiseAccessibleEvent(DWORD event, CControlUI* control) {
  if (hwnd_) accessible_.Raise(*this, event, control);
}

void CUIManager::FocusLost(CControlUI* control, CControlUI* successor) {
  // The losing control learns which control takes the focus from it (none when it is refused).
  UIEvent event = input_.MakeEvent(successor, UIEVENT_KILLFOCUS);
  control->Event(event);
  RaiseNotification(control, L"killfocus");
}

void CUIManager::FocusGained(CControlUI* control) {
  RaiseAccessibleEvent(EVENT_OBJECT_FOCUS, control);
  input_.SendEvent(control, UIEVENT_SETFOCUS);
  RaiseNotification(control, L"setfocus");
}

// The window says so (its language reads right to left) or its skin does (direction="rtl").
bool CUIManager::IsRightToLeft() const { return rightToLeft_ || WindowCustomAttribute(L"direction") == L"rtl"; }

void CUIManager::SetRightToLeft(bool on) { rightToLeft_ = on; }

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

void CUIManager::AddListener(INotifyUI* listener) { AddUnique(listeners_, listener); }
void CUIManager::RemoveListener(INotifyUI* listener) { EraseValue(listeners_, listener); }
void CUIManager::AddOverlay(CControlUI* control) { AddUnique(overlays_, control); }
void CUIManager::RemoveOverlay(CControlUI* control) { EraseValue(overlays_, control); }

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
  msg.ptMouse = input_.LastMouse();
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
    if (concerned && manager->input_.Translate(msg)) return true;
  }
  return false;
}

bool CUIManager::FilterMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (!hwnd_) return false;
  if (accessible_.HandleMessage(*this, msg, wParam, lParam, result)) return true;
  if (input_.Filter(msg, wParam, lParam, result)) return true;
  return RouteWindowMessage(msg, wParam, lParam, result) || input_.Route(msg, wParam, lParam, result);
}

bool CUIManager::RouteWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PAINT:
      result = 0;
      return OnPaint();
    case WM_SIZE:
      input_.SendEvent(focus_.Get(), UIEVENT_WINDOWSIZE);
      if (root_) root_->MarkNeedsLayout();
      updateNeeded_ = true;
      result = 0;
      return true;
    case WM_TIMER:
      OnTimer(wParam, lParam);
      return false;
    case WM_MOUSEACTIVATE:
      if (!noActivate_) return false;
      result = MA_NOACTIVATE;
      return true;
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
      return false;
  }
}

void CUIManager::OnTimer(WPARAM wParam, LPARAM lParam) {
  if (const ControlTimer* timer = timers_.Running(hwnd_, wParam))
    input_.SendEvent(timer->sender, UIEVENT_TIMER, timer->localId, lParam);
}

void CUIManager::OnMinMaxInfo(LPARAM lParam) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  if (!info) return;
  if (minInfo_.cx > 0) info->ptMinTrackSize.x = Scale(minInfo_.cx);
  if (minInfo_.cy > 0) info->ptMinTrackSize.y = Scale(minInfo_.cy);
  if (maxInfo_.cx > 0) info->ptMaxTrackSize.x = Scale(maxInfo_.cx);
  if (maxInfo_.cy > 0) info->ptMaxTrackSize.y = Scale(maxInfo_.cy);
}

}  // namespace SkinUI
