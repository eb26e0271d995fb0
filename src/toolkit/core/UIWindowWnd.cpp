#include "toolkit/core/UIWindowWnd.h"

#include "log/Log.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/skin/UIResource.h"

namespace SkinUI {

namespace {

HINSTANCE Instance() {
  HINSTANCE instance = Resource::ModuleInstance();
  return instance ? instance : ::GetModuleHandleW(nullptr);
}

bool RegisteredOrExists(ATOM atom) { return atom != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS; }

// Icons in the sizes the shell asks for, rounded up to whole 16-pixel steps.
int IconSide(int metric) {
  const int side = ::GetSystemMetrics(metric);
  return (side + 15) / 16 * 16;
}

HICON LoadIconAt(UINT resourceId, int side) {
  return static_cast<HICON>(
      ::LoadImageW(Instance(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
}

}  // namespace

HWND CWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, const RECT& rc, HMENU menu) {
  return Create(parent, name, style, exStyle, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, menu);
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy,
                        HMENU menu) {
  const bool registered = BaseWindowClass() ? RegisterSuperclass() : RegisterWindowClass();
  if (!registered) return nullptr;
  hwnd_ = ::CreateWindowExW(exStyle, WindowClassName(), name, style, x, y, cx, cy, parent, menu, Instance(), this);
  if (!hwnd_) LOG_INFOW(L"ERR: cannot create window of class %ls, error %lu", WindowClassName(), ::GetLastError());
  return hwnd_;
}

bool CWindowWnd::RegisterWindowClass() {
  WNDCLASSW wc = {};
  wc.style = ClassStyle();
  wc.lpfnWndProc = &CWindowWnd::WindowProc;
  wc.hInstance = Instance();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = WindowClassName();
  if (RegisteredOrExists(::RegisterClassW(&wc))) return true;
  LOG_INFOW(L"ERR: cannot register window class %ls, error %lu", WindowClassName(), ::GetLastError());
  return false;
}

bool CWindowWnd::RegisterSuperclass() {
  WNDCLASSEXW wc = {sizeof(wc)};
  if (!::GetClassInfoExW(nullptr, BaseWindowClass(), &wc) && !::GetClassInfoExW(Instance(), BaseWindowClass(), &wc)) {
    LOG_INFOW(L"ERR: no window class %ls to build %ls on", BaseWindowClass(), WindowClassName());
    return false;
  }
  previousProc_ = wc.lpfnWndProc;
  wc.lpfnWndProc = &CWindowWnd::ControlProc;
  wc.hInstance = Instance();
  wc.lpszClassName = WindowClassName();
  if (RegisteredOrExists(::RegisterClassExW(&wc))) return true;
  LOG_INFOW(L"ERR: cannot register window class %ls, error %lu", WindowClassName(), ::GetLastError());
  return false;
}

HWND CWindowWnd::Subclass(HWND hwnd) {
  if (!::IsWindow(hwnd) || hwnd_) return nullptr;
  ::SetPropW(hwnd, kWindowObjectProperty, this);
  previousProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindowWnd::ControlProc)));
  if (!previousProc_) {
    ::RemovePropW(hwnd, kWindowObjectProperty);
    previousProc_ = ::DefWindowProcW;
    return nullptr;
  }
  subclassed_ = true;
  hwnd_ = hwnd;
  return hwnd_;
}

void CWindowWnd::Unsubclass() {
  if (!subclassed_ || !::IsWindow(hwnd_)) return;
  ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
  ::RemovePropW(hwnd_, kWindowObjectProperty);
  previousProc_ = ::DefWindowProcW;
  subclassed_ = false;
  hwnd_ = nullptr;
}

LRESULT CALLBACK CWindowWnd::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* window = nullptr;
  if (msg == WM_NCCREATE) {
    window = static_cast<CWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  } else {
    window = reinterpret_cast<CWindowWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  return Route(window, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* window = nullptr;
  if (msg == WM_NCCREATE) {
    window = static_cast<CWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    ::SetPropW(hwnd, kWindowObjectProperty, window);
  } else {
    window = static_cast<CWindowWnd*>(::GetPropW(hwnd, kWindowObjectProperty));
  }
  return Route(window, hwnd, msg, wParam, lParam);
}

LRESULT CWindowWnd::Route(CWindowWnd* window, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!window) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) return window->OnFinalMessage(msg, wParam, lParam);
  return window->OnMessage(msg, wParam, lParam);
}

// The previous procedure sees the last message first; only then is the object let go, so that
// OnWindowGone may delete it.
LRESULT CWindowWnd::OnFinalMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = hwnd_;
  const LRESULT result = ::CallWindowProcW(previousProc_, hwnd, msg, wParam, lParam);
  if (subclassed_) Unsubclass();
  // Only the attachment this object made is undone: the user data of a superclassed or subclassed
  // window belongs to its original class.
  if (::GetPropW(hwnd, kWindowObjectProperty) == this) ::RemovePropW(hwnd, kWindowObjectProperty);
  if (::GetWindowLongPtrW(hwnd, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
  bigIcon_.reset();
  smallIcon_.reset();
  OnWindowGone(hwnd);
  return result;
}

CWindowWnd::~CWindowWnd() { Detach(); }

void CWindowWnd::Detach() {
  if (!::IsWindow(hwnd_)) return;
  if (subclassed_) {
    Unsubclass();
    return;
  }
  if (::GetPropW(hwnd_, kWindowObjectProperty) == this) ::RemovePropW(hwnd_, kWindowObjectProperty);
  if (::GetWindowLongPtrW(hwnd_, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
}

LRESULT CWindowWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) { return CallPreviousProc(msg, wParam, lParam); }

LRESULT CWindowWnd::CallPreviousProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(previousProc_, hwnd_, msg, wParam, lParam);
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  if (!::IsWindow(hwnd_)) return;
  ::ShowWindow(hwnd_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

namespace {

void ReturnToOwner(HWND owner) {
  if (!owner) return;
  ::EnableWindow(owner, TRUE);
  ::SetFocus(owner);
}

void Deliver(MSG& msg) {
  if (CUIManager::TranslateMessage(&msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

}  // namespace

UINT_PTR CWindowWnd::RunModalLoop(bool show) {
  UINT_PTR result = 0;
  if (show) ShowWindow(true, true);
  const HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  if (owner) ::EnableWindow(owner, FALSE);
  MSG msg = {};
  BOOL got = FALSE;
  // GetMessage answers -1 on failure; treating that as a message would spin forever.
  while (::IsWindow(hwnd_) && (got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    if (msg.hwnd == hwnd_ && msg.message == WM_CLOSE) {
      result = msg.wParam;
      ReturnToOwner(owner);
    }
    Deliver(msg);
  }
  ReturnToOwner(owner);
  if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
  return result;
}

void CWindowWnd::Close(UINT_PTR result) {
  if (::IsWindow(hwnd_)) ::PostMessageW(hwnd_, WM_CLOSE, result, 0);
}

void CWindowWnd::SetIcon(UINT resourceId) {
  Scoped::DestroyIcon big(LoadIconAt(resourceId, IconSide(SM_CXICON)));
  Scoped::DestroyIcon small(LoadIconAt(resourceId, IconSide(SM_CXSMICON)));
  if (!big || !small) LOG_INFO("ERR: icon %u cannot be loaded", resourceId);
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  // The window keeps using the icons until it is gone; the old pair is released only now.
  bigIcon_ = std::move(big);
  smallIcon_ = std::move(small);
}

void CWindowWnd::SetClientSize(int cx, int cy) {
  RECT rc = {};
  if (!::GetClientRect(hwnd_, &rc)) return;
  if (cx != -1) rc.right = cx;
  if (cy != -1) rc.bottom = cy;
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  const BOOL menu = !(style & WS_CHILD) && ::GetMenu(hwnd_) != nullptr;
  ::AdjustWindowRectEx(&rc, style, menu, exStyle);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageW(hwnd_, msg, wParam, lParam);
}

BOOL CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageW(hwnd_, msg, wParam, lParam);
}

}  // namespace SkinUI
