#include "toolkit/core/UIControl.h"

#include <oleacc.h>

#include <algorithm>

#include "toolkit/core/UIManager.h"

namespace SkinUI {

CControlUI::CControlUI() = default;

long CControlUI::AccessibleRole() const { return ROLE_SYSTEM_GRAPHIC; }

CControlUI::~CControlUI() {
  if (CControlUI* cover = std::exchange(cover_, nullptr)) cover->Delete();
  OnDestroy.Fire(this);
  if (manager_) manager_->ForgetControl(this);
}

void CControlUI::Delete() {
  if (manager_) manager_->DropMouseLeave(this);
  delete this;
}

void CControlUI::SetName(const std::wstring& name) {
  if (name == name_) return;
  std::wstring old = std::move(name_);
  name_ = name;
  if (manager_) manager_->RenameControl(this, old, name_);
}

int CControlUI::Scaled(int value) const { return manager_ ? manager_->Scale(value) : value; }
RECT CControlUI::Scaled(const RECT& rc) const { return manager_ ? manager_->Scale(rc) : rc; }
int CControlUI::Unscaled(int value) const { return manager_ ? manager_->Unscale(value) : value; }

void* CControlUI::CastTo(const std::wstring& name) { return name == L"Control" ? this : nullptr; }

void CControlUI::AttachManager(CUIManager* manager, CControlUI* parent, bool init) {
  if (cover_) cover_->AttachManager(manager, this, init);
  manager_ = manager;
  parent_ = parent;
  if (manager_ && !virtualWnd_.empty()) manager_->UseVirtualWindowNames();
  if (init && parent) Init();
}

std::wstring CControlUI::GetVirtualWnd() const {
  for (const CControlUI* control = this; control; control = control->parent_)
    if (!control->virtualWnd_.empty()) return control->virtualWnd_;
  return std::wstring();
}

void CControlUI::SetVirtualWnd(const std::wstring& name) {
  virtualWnd_ = name;
  if (manager_ && !name.empty()) manager_->UseVirtualWindowNames();
}

void CControlUI::Init() {
  OnAttached();
  OnInit.Fire(this);
}

void CControlUI::SetText(const std::wstring& text) {
  if (text == text_) return;
  text_ = text;
  Invalidate();
}

RECT CControlUI::OffsetInParent() const {
  RECT rc = item_;
  if (parent_) OffsetRect(&rc, -parent_->item_.left, -parent_->item_.top);
  return rc;
}

RECT CControlUI::ClippedByAncestors(RECT rc) const {
  for (const CControlUI* p = parent_; p; p = p->parent_) {
    if (!p->IsVisible()) return RECT{0, 0, 0, 0};
    if (!IntersectRect(&rc, &rc, &p->item_)) return RECT{0, 0, 0, 0};
  }
  return rc;
}

void CControlUI::Place(RECT rc, bool invalidate) {
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  RECT repaint = RectEmpty(item_) ? rc : item_;
  if (float_ && parent_) {
    const RECT& pr = parent_->item_;
    const int width = RectWidth(pr), height = RectHeight(pr);
    OffsetRect(&rc, pr.left, pr.top);
    item_ = rc;
    // Kept in 96-DPI units like everything the skin gives.
    const int x = rc.left - static_cast<int>(shares_.left * width);
    const int y = rc.top - static_cast<int>(shares_.top * height);
    fixedXY_ = {Unscaled(x), Unscaled(y)};
    fixedWidth_ = Unscaled(rc.right - x - static_cast<int>(shares_.right * width));
    fixedHeight_ = Unscaled(rc.bottom - y - static_cast<int>(shares_.bottom * height));
  } else {
    item_ = rc;
  }
  if (!manager_) return;
  if (!inOnSize_) {
    inOnSize_ = true;
    OnSize.Fire(this);
    inOnSize_ = false;
  }
  updateNeeded_ = false;
  if (invalidate && IsVisible()) {
    UnionRect(&repaint, &repaint, &item_);
    RECT clipped = ClippedByAncestors(repaint);
    if (!RectEmpty(clipped)) manager_->Invalidate(clipped);
  }
  PlaceCover();
}

void CControlUI::PlaceCover() {
  if (!cover_ || !cover_->IsVisible()) return;
  const int width = GetWidth(), height = GetHeight();
  if (cover_->IsFloat()) {
    const FloatShares& p = cover_->AnchorShares();
    const POINT xy = cover_->FloatOffset();
    cover_->Place(
        {item_.left + static_cast<int>(width * p.left) + xy.x, item_.top + static_cast<int>(height * p.top) + xy.y,
         item_.left + static_cast<int>(width * p.right) + xy.x + cover_->GetFixedWidth(),
         item_.top + static_cast<int>(height * p.bottom) + xy.y + cover_->GetFixedHeight()},
        false);
    return;
  }
  const int cx = std::max(cover_->GetMinWidth(), std::min(width, cover_->GetMaxWidth()));
  const int cy = std::max(cover_->GetMinHeight(), std::min(height, cover_->GetMaxHeight()));
  cover_->Place({item_.left, item_.top, item_.left + cx, item_.top + cy}, false);
}

void CControlUI::SetCoverControl(CControlUI* cover) {
  if (cover == cover_) return;
  if (CControlUI* old = std::exchange(cover_, cover)) old->Delete();
  if (!cover_) return;
  cover_->AttachManager(manager_, this, manager_ != nullptr);
  if (IsVisible())
    MarkNeedsLayout();
  else
    cover_->SetShownByParent(false);
}

CControlUI* CControlUI::LookupCover(FindControlProc proc, void* data, UINT flags) {
  return cover_ ? cover_->LookupControl(proc, data, flags) : nullptr;
}

void CControlUI::Move(int dx, int dy, bool invalidate) {
  OffsetRect(&item_, dx, dy);
  if (cover_ && cover_->IsVisible()) cover_->Move(dx, dy, false);
  if (invalidate) Invalidate();
}

void CControlUI::Invalidate() {
  if (!IsVisible() || !manager_) return;
  RECT rc = ClippedByAncestors(item_);
  if (!RectEmpty(rc)) manager_->Invalidate(rc);
}

void CControlUI::MarkNeedsLayout() {
  if (!IsVisible()) return;
  updateNeeded_ = true;
  Invalidate();
  if (manager_) manager_->MarkNeedsLayout();
}

void CControlUI::NeedsParentUpdate() {
  if (parent_) {
    parent_->MarkNeedsLayout();
    parent_->Invalidate();
  } else {
    MarkNeedsLayout();
  }
  if (manager_) manager_->MarkNeedsLayout();
}

void CControlUI::SetPadding(const RECT& padding) {
  padding_ = padding;
  NeedsParentUpdate();
}

void CControlUI::SetFloatOffset(POINT pt) {
  fixedXY_ = pt;
  NeedsParentUpdate();
}

void CControlUI::SetAnchorShares(const FloatShares& shares) {
  shares_ = shares;
  NeedsParentUpdate();
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0) return;
  fixedWidth_ = cx;
  NeedsParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0) return;
  fixedHeight_ = cy;
  NeedsParentUpdate();
}

void CControlUI::SetMinWidth(int cx) {
  if (cx < 0 || cx == minWidth_) return;
  minWidth_ = cx;
  NeedsParentUpdate();
}

void CControlUI::SetMaxWidth(int cx) {
  if (cx < 0 || cx == maxWidth_) return;
  maxWidth_ = cx;
  NeedsParentUpdate();
}

void CControlUI::SetMinHeight(int cy) {
  if (cy < 0 || cy == minHeight_) return;
  minHeight_ = cy;
  NeedsParentUpdate();
}

void CControlUI::SetMaxHeight(int cy) {
  if (cy < 0 || cy == maxHeight_) return;
  maxHeight_ = cy;
  NeedsParentUpdate();
}

void CControlUI::SetToolTip(const std::wstring& text) {
  tooltip_.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, L"<n>") == 0) {
      tooltip_ += L"\r\n";
      i += 2;
    } else {
      tooltip_ += text[i];
    }
  }
}

void CControlUI::SetVisible(bool visible) {
  if (visible == visible_) return;
  const bool wasVisible = IsVisible();
  visible_ = visible;
  focused_ = false;
  if (!visible && manager_ && manager_->GetFocus() == this) manager_->SetFocus(nullptr, false);
  if (IsVisible() != wasVisible) NeedsParentUpdate();
  if (cover_) cover_->SetShownByParent(IsVisible());
}

void CControlUI::SetShownByParent(bool shown) {
  shownByParent_ = shown;
  if (!IsVisible() && manager_ && manager_->GetFocus() == this) manager_->SetFocus(nullptr, false);
  if (cover_) cover_->SetShownByParent(IsVisible());
}

void CControlUI::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (manager_) manager_->RaiseAccessibleEvent(EVENT_OBJECT_STATECHANGE, this);
  if (!enabled && manager_) manager_->FocusPastDisabled(this);
  Invalidate();
}

void CControlUI::SetFocus() {
  if (manager_) manager_->SetFocus(this, false);
}

void CControlUI::SetFloat(bool on) {
  if (on == float_) return;
  float_ = on;
  NeedsParentUpdate();
}

CControlUI* CControlUI::LookupControl(FindControlProc proc, void* data, UINT flags) {
  if ((flags & FindVisible) && !IsVisible()) return nullptr;
  if ((flags & FindEnabled) && !IsEnabled()) return nullptr;
  if ((flags & FindHitTest) && !PtInRect(&item_, *static_cast<POINT*>(data))) return nullptr;
  if ((flags & FindUpdateTest) && proc(this, data)) return nullptr;
  const bool askMe = !(flags & FindHitTest) || mouseEnabled_;
  if ((flags & FindMeFirst) && askMe) {
    if (CControlUI* found = proc(this, data)) return found;
  }
  if (CControlUI* found = LookupCover(proc, data, flags)) return found;
  return (!(flags & FindMeFirst) && askMe) ? proc(this, data) : nullptr;
}

void CControlUI::Event(UIEvent& event) {
  if (OnEvent.Fire(event)) HandleEvent(event);
}

void CControlUI::HandleEvent(UIEvent& event) {
  switch (event.Type) {
    case UIEVENT_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
      return;
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      focused_ = event.Type == UIEVENT_SETFOCUS;
      Invalidate();
      return;
    case UIEVENT_TIMER:
      if (manager_) manager_->RaiseNotification(this, L"timer", event.wParam, event.lParam);
      return;
    case UIEVENT_CONTEXTMENU:
      if (contextMenu_) {
        if (manager_) manager_->RaiseNotification(this, L"menu", event.wParam, event.lParam);
        return;
      }
      break;
    default:
      break;
  }
  if (parent_) parent_->HandleEvent(event);
}

std::wstring CControlUI::GetCustomAttribute(const std::wstring& name) const {
  auto it = custom_.find(name);
  return it == custom_.end() ? std::wstring() : it->second;
}

void CControlUI::SetBkColor(DWORD color, int index) {
  bkColor_[index] = color;
  Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& descriptor) {
  if (descriptor == bkImage_.descriptor) return;
  bkImage_.SetDescriptor(descriptor);
  Invalidate();
}

}  // namespace SkinUI
