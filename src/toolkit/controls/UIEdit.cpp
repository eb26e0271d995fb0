#include "toolkit/controls/UIEdit.h"

#include <algorithm>

#include "toolkit/controls/UIButton.h"
#include "toolkit/core/UIManager.h"

namespace SkinUI {

namespace {

// The manager reflects child notifications back to the child as the message number plus this.
constexpr UINT kReflectBase = 0x2000;

std::wstring WindowText(HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  const int copied = ::GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

}  // namespace

// The native window.

bool CEditWnd::Init() {
  CUIManager* manager = owner_ ? owner_->Manager() : nullptr;
  if (!manager || !manager->PaintWindow()) return false;
  DWORD style = owner_->NativeStyle() | WS_CHILD | ES_AUTOHSCROLL;
  const UINT textStyle = owner_->GetTextStyle();
  if (textStyle & DT_CENTER)
    style |= ES_CENTER;
  else if (textStyle & DT_RIGHT)
    style |= ES_RIGHT;
  if (owner_->IsPasswordMode()) style |= ES_PASSWORD;
  if (!Create(manager->PaintWindow(), nullptr, style, 0, owner_->NativeRect())) return false;
  FillFromOwner();
  return true;
}

CEditWnd::~CEditWnd() {
  // Reached with a live window only when the owner dies first; the edit's own procedure still sees the
  // window's last messages, but nothing calls back into the owner.
  owner_ = nullptr;
  if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

void CEditWnd::FillFromOwner() {
  CUIManager* manager = owner_->Manager();
  ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(manager->GetFont(owner_->GetFont())), TRUE);
  ::SendMessageW(hwnd_, EM_LIMITTEXT, owner_->GetMaxChar(), 0);
  if (owner_->IsPasswordMode()) ::SendMessageW(hwnd_, EM_SETPASSWORDCHAR, owner_->GetPasswordChar(), 0);
  ::SetWindowTextW(hwnd_, owner_->GetText().c_str());
  ::SendMessageW(hwnd_, EM_SETMODIFY, FALSE, 0);
  ::SendMessageW(hwnd_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  ::EnableWindow(hwnd_, owner_->IsEnabled());
  ::SendMessageW(hwnd_, EM_SETREADONLY, owner_->IsReadOnly(), 0);
  ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  ::SetFocus(hwnd_);
  const int length = ::GetWindowTextLengthW(hwnd_);
  if (owner_->IsAutoSelAll())
    ::SendMessageW(hwnd_, EM_SETSEL, 0, std::max(length, 1));
  else
    ::SendMessageW(hwnd_, EM_SETSEL, length, length);
  initialised_ = true;
}

LRESULT CEditWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      const LRESULT result = CallPreviousProc(msg, wParam, lParam);
      if (result != -1) OnCreate();
      return result;
    }
    case WM_KEYDOWN:
      if (wParam != VK_RETURN || !owner_) break;
      if (CUIManager* manager = owner_->Manager()) manager->RaiseNotification(owner_, L"return");
      return 0;
    case WM_KILLFOCUS:
      return OnKillFocus(wParam, lParam);
    case WM_COMMAND + kReflectBase:
      OnCommand(wParam);
      return 0;
    case WM_CTLCOLOREDIT + kReflectBase:
    case WM_CTLCOLORSTATIC + kReflectBase:
      return OnColor(msg - kReflectBase, wParam, lParam);
    case WM_CLOSE:
      // A close posted when the focus left is stale once a click on the field gave the focus back.
      if (::GetFocus() == hwnd_) return 0;
      break;
    case WM_TIMER:
      if (wParam != kCaretTimer) break;
      if (owner_) owner_->Invalidate();
      return 0;
    default:
      break;
  }
  return CallPreviousProc(msg, wParam, lParam);
}

void CEditWnd::OnCreate() {
  CUIManager* manager = owner_ ? owner_->Manager() : nullptr;
  if (!manager) return;
  manager->RegisterChildWindow(owner_, hwnd_);
  // A layered window is printed, not painted, so the caret needs a timer of its own to blink.
  if (::GetWindowLongW(manager->PaintWindow(), GWL_EXSTYLE) & WS_EX_LAYERED)
    ::SetTimer(hwnd_, kCaretTimer, ::GetCaretBlinkTime(), nullptr);
}

LRESULT CEditWnd::OnKillFocus(WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CallPreviousProc(WM_KILLFOCUS, wParam, lParam);
  CUIManager* manager = owner_ ? owner_->Manager() : nullptr;
  HWND paint = manager ? manager->PaintWindow() : nullptr;
  if (paint && reinterpret_cast<HWND>(wParam) != paint) ::SendMessageW(paint, WM_KILLFOCUS, wParam, lParam);
  ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  return result;
}

void CEditWnd::OnCommand(WPARAM wParam) {
  const WORD code = HIWORD(wParam);
  if (code == EN_UPDATE) {
    ::InvalidateRect(hwnd_, nullptr, FALSE);
  } else if (code == EN_CHANGE && initialised_ && owner_) {
    owner_->OnNativeTextChanged(WindowText(hwnd_));
  }
}

LRESULT CEditWnd::OnColor(UINT msg, WPARAM wParam, LPARAM lParam) {
  // In high contrast the native field keeps the system's own colours.
  const bool system = owner_ && owner_->Manager() && owner_->Manager()->UsesSystemColors();
  const DWORD color = owner_ && !system ? owner_->GetNativeBkColor() : 0xFFFFFFFF;
  if (color == 0xFFFFFFFF) return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
  HDC dc = reinterpret_cast<HDC>(wParam);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ToColorRef(owner_->NativeTextColor()));
  return reinterpret_cast<LRESULT>(BackgroundBrush(color));
}

// An opaque colour needs one solid brush; a translucent one shows the skin behind the edit, which can
// change between paints, so that brush is made anew each time.
HBRUSH CEditWnd::BackgroundBrush(DWORD color) {
  if ((color >> 24) == 0xFF) {
    if (!brush_ || !brushIsSolid_) brush_.reset(::CreateSolidBrush(ToColorRef(color)));
    brushIsSolid_ = true;
    return brush_.get();
  }
  RECT rc;
  ::GetWindowRect(hwnd_, &rc);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&rc), 2);
  Scoped::DeleteObject<HBITMAP> behind = GenerateBitmap(owner_->Manager(), rc, owner_, color);
  brush_.reset(behind ? ::CreatePatternBrush(behind.get()) : ::CreateSolidBrush(ToColorRef(color)));
  brushIsSolid_ = false;
  return brush_.get();
}

void CEditWnd::OnWindowGone(HWND hwnd) {
  brush_.reset();
  if (!owner_) return;
  owner_->Invalidate();
  if (CUIManager* manager = owner_->Manager()) manager->UnregisterChildWindow(hwnd);
  owner_->OnNativeGone(this);  // deletes this
}

// The control.

CEditUI::CEditUI() = default;

CEditUI::~CEditUI() {
  if (!editWnd_) return;
  if (manager_) manager_->UnregisterChildWindow(editWnd_->GetHWND());
  editWnd_.reset();
}

void* CEditUI::CastTo(const std::wstring& name) { return name == L"Edit" ? this : CLabelUI::CastTo(name); }

UINT CEditUI::ControlFlags() const {
  if (!IsEnabled()) return 0u;
  return UINT{ControlFlagSetCursor} | (IsKeyboardEnabled() ? UINT{ControlFlagTabStop} : 0u);
}

// The native window keeps the font it was given; it takes the one made for the new density.
void CEditUI::OnDpiChanged() {
  CLabelUI::OnDpiChanged();
  HWND native = NativeWindow();
  if (!native || !manager_) return;
  ::SendMessageW(native, WM_SETFONT, reinterpret_cast<WPARAM>(manager_->GetFont(GetFont())), TRUE);
}

void CEditUI::SetText(const std::wstring& text) {
  CLabelUI::SetText(text);
  if (HWND native = NativeWindow()) ::SetWindowTextW(native, text_.c_str());
}

void CEditUI::SetEnabled(bool enabled) {
  CLabelUI::SetEnabled(enabled);
  if (!IsEnabled()) state_ = 0;
  if (HWND native = NativeWindow()) ::EnableWindow(native, IsEnabled());
}

void CEditUI::SetVisible(bool visible) {
  if (!visible && editWnd_ && manager_) manager_->SetFocus(nullptr, true);
  CLabelUI::SetVisible(visible);
}

void CEditUI::Place(RECT rc, bool invalidate) {
  CLabelUI::Place(rc, invalidate);
  MoveNative();
}

void CEditUI::Move(int dx, int dy, bool invalidate) {
  CLabelUI::Move(dx, dy, invalidate);
  MoveNative();
}

void CEditUI::MoveNative() {
  HWND native = NativeWindow();
  if (!native) return;
  const RECT pos = NativeRect();
  if (RectEmpty(pos)) {
    ::ShowWindow(native, SW_HIDE);
    return;
  }
  ::SetWindowPos(native, nullptr, pos.left, pos.top, RectWidth(pos), RectHeight(pos),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

RECT CEditUI::NativeRect() const {
  RECT rc = TextRect();
  const FontInfo* font = manager_ ? manager_->GetFontInfo(GetFont()) : nullptr;
  const LONG lineHeight = font ? font->metrics.tmHeight : 0;
  if (lineHeight > 0 && lineHeight < RectHeight(rc)) {
    rc.top += (RectHeight(rc) - lineHeight) / 2;
    rc.bottom = rc.top + lineHeight;
  }
  return ClippedByAncestors(rc);
}

DWORD CEditUI::NativeTextColor() {
  ResolveDefaultColors();
  return GetTextColor();
}

void CEditUI::SetMaxChar(UINT count) {
  maxChar_ = count;
  if (HWND native = NativeWindow()) ::SendMessageW(native, EM_LIMITTEXT, maxChar_, 0);
}

void CEditUI::SetReadOnly(bool on) {
  if (readOnly_ == on) return;
  readOnly_ = on;
  if (HWND native = NativeWindow()) ::SendMessageW(native, EM_SETREADONLY, readOnly_, 0);
  Invalidate();
}

void CEditUI::SetPasswordMode(bool on) {
  if (password_ == on) return;
  password_ = on;
  Invalidate();
}

void CEditUI::SetPasswordChar(wchar_t ch) {
  if (passwordChar_ == ch) return;
  passwordChar_ = ch;
  if (HWND native = NativeWindow(); native && password_) ::SendMessageW(native, EM_SETPASSWORDCHAR, ch, 0);
  Invalidate();
}

void CEditUI::SetNumberOnly(bool on) {
  nativeStyle_ = on ? nativeStyle_ | ES_NUMBER : nativeStyle_ & ~static_cast<UINT>(ES_NUMBER);
  HWND native = NativeWindow();
  if (!native) return;
  LONG_PTR style = ::GetWindowLongPtrW(native, GWL_STYLE);
  style = on ? style | ES_NUMBER : style & ~static_cast<LONG_PTR>(ES_NUMBER);
  ::SetWindowLongPtrW(native, GWL_STYLE, style);
}

void CEditUI::SetImage(ImageDrawInfo& info, const std::wstring& descriptor) {
  if (descriptor == info.descriptor && info.image) return;
  info.SetDescriptor(descriptor);
  Invalidate();
}

void CEditUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (!ApplyEditAttribute(name, value)) CLabelUI::ApplyAttribute(name, value);
}

bool CEditUI::ApplyEditAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"readonly")
    SetReadOnly(Parse::Bool(value));
  else if (name == L"numberonly")
    SetNumberOnly(Parse::Bool(value));
  else if (name == L"password")
    SetPasswordMode(Parse::Bool(value));
  else if (name == L"autoselall")
    SetAutoSelAll(Parse::Bool(value));
  else if (name == L"maxchar")
    SetMaxChar(static_cast<UINT>(std::max<long>(Parse::Int(value), 0)));
  else if (name == L"normalimage")
    SetImage(normal_, value);
  else if (name == L"hotimage")
    SetImage(hot_, value);
  else if (name == L"focusedimage")
    SetImage(focused_, value);
  else if (name == L"disabledimage")
    SetImage(disabled_, value);
  else if (name == L"nativebkcolor")
    SetNativeBkColor(Parse::Color(value));
  else
    return false;
  return true;
}

void CEditUI::HandleEvent(UIEvent& event) {
  if (ForwardWhenMouseDisabled(event)) return;
  switch (event.Type) {
    case UIEVENT_SETCURSOR:
      if (!IsEnabled()) break;
      ::SetCursor(::LoadCursorW(nullptr, IDC_IBEAM));
      return;
    case UIEVENT_WINDOWSIZE:
      if (!editWnd_) break;
      if (manager_) manager_->RequestInitialFocus(this);
      return;
    case UIEVENT_SCROLLWHEEL:
      if (!editWnd_) break;
      return;
    case UIEVENT_SETFOCUS:
      CLabelUI::HandleEvent(event);
      if (IsEnabled()) StartEditing();
      return;
    case UIEVENT_KILLFOCUS:
      CLabelUI::HandleEvent(event);
      CloseNative();
      return;
    default:
      if (HandleMouseEvent(event)) return;
      break;
  }
  CLabelUI::HandleEvent(event);
}

bool CEditUI::HandleMouseEvent(UIEvent& event) {
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
    case UIEVENT_RBUTTONDOWN:
      if (IsEnabled()) OnButtonDown(event);
      return true;
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_BUTTONUP:
    case UIEVENT_CONTEXTMENU:
      return true;
    case UIEVENT_MOUSEENTER:
      if (PtInRect(&item_, event.ptMouse) && IsEnabled()) {
        state_ |= kStateHot;
        Invalidate();
      }
      return true;
    case UIEVENT_MOUSELEAVE:
      OnMouseLeave(event);
      return true;
    default:
      return false;
  }
}

void CEditUI::OnButtonDown(const UIEvent& event) {
  if (manager_) manager_->ReleaseCapture();
  if (IsFocused()) StartEditing();
  HWND native = NativeWindow();
  if (!native || autoSelAll_) return;
  const RECT padding = GetTextPadding();
  const POINT pt = {event.ptMouse.x - item_.left - padding.left, event.ptMouse.y - item_.top - padding.top};
  ::SendMessageW(native, EM_SETSEL, 0, 0);
  ::SendMessageW(native, WM_LBUTTONDOWN, event.wParam, MAKELPARAM(pt.x, pt.y));
}

void CEditUI::OnMouseLeave(const UIEvent& event) {
  if (PtInRect(&item_, event.ptMouse)) {
    if (manager_) manager_->RequestMouseLeave(this);
    return;
  }
  state_ &= ~kStateHot;
  Invalidate();
  if (manager_) manager_->DropMouseLeave(this);
}

// A native window that lost the keyboard has a close queued; taking the keyboard back makes that close
// stale (the paint window takes the keyboard on every click and on a resize).
void CEditUI::StartEditing() {
  if (HWND native = NativeWindow()) {
    if (::GetFocus() != native) ::SetFocus(native);
    return;
  }
  auto wnd = std::make_unique<CEditWnd>(this);
  if (wnd->Init()) editWnd_ = std::move(wnd);
  Invalidate();
}

// The toolkit focus moved on (Tab, a click elsewhere, a hidden page) while the native window may still
// hold the keyboard: hand the keyboard back to the paint window, which closes the native window.
void CEditUI::CloseNative() {
  HWND native = NativeWindow();
  if (!native) return;
  HWND paint = manager_ ? manager_->PaintWindow() : nullptr;
  if (paint && ::GetFocus() == native)
    ::SetFocus(paint);
  else
    ::PostMessageW(native, WM_CLOSE, 0, 0);
}

void CEditUI::OnNativeTextChanged(const std::wstring& text) {
  text_ = text;  // the native window shows it already; no repaint
  if (manager_) manager_->RaiseNotification(this, L"textchanged");
}

void CEditUI::OnNativeGone(CEditWnd* wnd) {
  if (editWnd_.get() == wnd) editWnd_.reset();
}

bool CEditUI::DrawPart(HDC dc, ImageDrawInfo& info) { return DrawImage(dc, manager_, item_, paint_, info); }

void CEditUI::DrawStateImage(HDC dc) {
  state_ = IsEnabled() ? state_ & ~kStateDisabled : state_ | kStateDisabled;
  bool drawn = false;
  if (state_ & kStateDisabled)
    drawn = DrawPart(dc, disabled_);
  else if (IsFocused())
    drawn = DrawPart(dc, focused_);
  else if (state_ & kStateHot)
    drawn = DrawPart(dc, hot_);
  if (!drawn) DrawPart(dc, normal_);
}

void CEditUI::DrawTextContent(HDC dc) {
  if (text_.empty()) return;
  ResolveDefaultColors();
  const std::wstring shown = password_ ? std::wstring(text_.size(), passwordChar_) : text_;
  RECT rc = TextRect();
  DrawText(dc, manager_, rc, shown, IsEnabled() ? GetTextColor() : GetDisabledTextColor(), GetFont(),
           GetTextStyle() | DT_SINGLELINE);
}

}  // namespace SkinUI
