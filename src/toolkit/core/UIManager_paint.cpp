#include "toolkit/core/UIControl.h"
#include "toolkit/core/UIManager.h"

namespace SkinUI {

namespace {

CControlUI* CollectUpdateProc(CControlUI* control, void* data) {
  if (!control->NeedsUpdate()) return nullptr;
  static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
  return control;
}

void OutlineDirty(HDC dc, const RECT& rc) {
  static Scoped::DeleteObject<HPEN> pen(::CreatePen(PS_SOLID, 1, RGB(220, 0, 0)));
  Scoped::SelectObject selectPen(dc, pen.get());
  Scoped::SelectObject selectBrush(dc, ::GetStockObject(HOLLOW_BRUSH));
  ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
}

}  // namespace

bool CUIManager::OnPaint() {
  if (!root_) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd_, &ps);
    ::FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::EndPaint(hwnd_, &ps);
    return true;
  }
  RECT update;
  if (!::GetUpdateRect(hwnd_, &update, FALSE)) return true;
  painting_ = true;
  LayoutIfNeeded();
  if (focus_.IsPending()) focus_.ApplyPending();
  RECT client;
  ::GetClientRect(hwnd_, &client);
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd_, &ps);
  if (offscreen_ && EnsureOffscreen(client)) {
    PaintOffscreen(dc, update);
  } else {
    Scoped::RestoreDC restore(dc);
    root_->Paint(dc, update, nullptr);
  }
  ::EndPaint(hwnd_, &ps);
  painting_ = false;
  if (updateNeeded_) ::InvalidateRect(hwnd_, nullptr, FALSE);
  return true;
}

void CUIManager::PaintTree(HDC dc, const RECT& rc, CControlUI* stop) {
  if (root_) root_->Paint(dc, rc, stop);
}

void CUIManager::LayoutIfNeeded() {
  if (!updateNeeded_) return;
  updateNeeded_ = false;
  RECT client;
  ::GetClientRect(hwnd_, &client);
  if (!RectEmpty(client)) {
    if (root_->NeedsUpdate()) {
      offscreenDc_.reset();
      offscreenBitmap_.reset();
      root_->Place(client, true);
    } else {
      std::vector<CControlUI*> pending;
      root_->LookupControl(CollectUpdateProc, &pending, FindVisible | FindUpdateTest | FindMeFirst);
      for (CControlUI* control : pending)
        control->Place(control->IsFloat() ? control->OffsetInParent() : control->Placement(), true);
    }
  }
  if (firstLayout_) {
    firstLayout_ = false;
    RaiseNotification(root_, L"windowinit");
  }
}

bool CUIManager::EnsureOffscreen(const RECT& client) {
  if (offscreenBitmap_) return true;
  if (RectEmpty(client)) return false;
  HDC windowDc = PaintContext();
  offscreenDc_.reset(::CreateCompatibleDC(windowDc));
  offscreenBitmap_.reset(::CreateCompatibleBitmap(windowDc, RectWidth(client), RectHeight(client)));
  if (offscreenDc_ && offscreenBitmap_) return true;
  offscreenDc_.reset();
  offscreenBitmap_.reset();
  return false;
}

void CUIManager::PaintOffscreen(HDC windowDc, const RECT& update) {
  HDC dc = offscreenDc_.get();
  Scoped::SelectObject select(dc, offscreenBitmap_.get());
  {
    Scoped::RestoreDC restore(dc);
    root_->Paint(dc, update, nullptr);
    const std::vector<CControlUI*> overlays = overlays_;
    for (CControlUI* control : overlays) control->PaintOverlay(dc, update);
  }
  ::BitBlt(windowDc, update.left, update.top, RectWidth(update), RectHeight(update), dc, update.left, update.top,
           SRCCOPY);
  if (showDirty_) OutlineDirty(windowDc, update);
}

void CUIManager::OnPrintClient(HDC dc, LPARAM flags) {
  if (!root_) return;
  RECT client;
  ::GetClientRect(hwnd_, &client);
  {
    Scoped::RestoreDC restore(dc);
    root_->Paint(dc, client, nullptr);
  }
  if (!(flags & PRF_CHILDREN)) return;
  for (const auto& child : input_.ChildWindows()) {
    RECT rc;
    ::GetWindowRect(child.second, &rc);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rc), 2);
    Scoped::RestoreDC restore(dc);
    ::OffsetViewportOrgEx(dc, rc.left, rc.top, nullptr);
    ::SendMessageW(child.second, WM_PRINT, reinterpret_cast<WPARAM>(dc), flags | PRF_NONCLIENT);
  }
}

}  // namespace SkinUI
