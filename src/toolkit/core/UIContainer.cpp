#include "toolkit/core/UIContainer.h"

#include <algorithm>

#include "toolkit/core/UIManager.h"

namespace SkinUI {

CContainerUI::~CContainerUI() {
  std::vector<CControlUI*> children;
  children.swap(items_);
  if (!autoDestroy_) return;
  for (CControlUI* child : children) child->Delete();
}

void* CContainerUI::CastTo(const std::wstring& name) {
  if (name == L"IContainer") return static_cast<IContainerUI*>(this);
  if (name == L"Container") return this;
  return CControlUI::CastTo(name);
}

void CContainerUI::AttachManager(CUIManager* manager, CControlUI* parent, bool init) {
  for (CControlUI* child : items_) child->AttachManager(manager, this, init);
  CControlUI::AttachManager(manager, parent, init);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  return index >= 0 && index < GetCount() ? items_[index] : nullptr;
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
  auto it = std::find(items_.begin(), items_.end(), control);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
  int current = GetItemIndex(control);
  if (current < 0 || index < 0 || index >= GetCount()) return false;
  items_.erase(items_.begin() + current);
  items_.insert(items_.begin() + index, control);
  MarkNeedsLayout();
  return true;
}

bool CContainerUI::Add(CControlUI* control) { return CContainerUI::AddAt(control, GetCount()); }

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (!control) return false;
  if (index < 0 || index > GetCount()) {
    control->Delete();
    return false;
  }
  // The parent is set even without a manager so that trees built before attaching lay out alike.
  if (manager_)
    manager_->BindControls(control, this);
  else
    control->AttachManager(nullptr, this, false);
  if (IsVisible())
    MarkNeedsLayout();
  else
    control->SetShownByParent(false);
  items_.insert(items_.begin() + index, control);
  return true;
}

void CContainerUI::ReleaseChild(CControlUI* control, bool doNotDestroy) {
  if (doNotDestroy || !autoDestroy_) return;
  if (delayedDestroy_ && manager_)
    manager_->QueueDeletion(control);
  else
    control->Delete();
}

bool CContainerUI::Remove(CControlUI* control, bool doNotDestroy) {
  int index = GetItemIndex(control);
  return index >= 0 && RemoveAt(index, doNotDestroy);
}

bool CContainerUI::RemoveAt(int index, bool doNotDestroy) {
  CControlUI* control = GetItemAt(index);
  if (!control) return false;
  MarkNeedsLayout();
  items_.erase(items_.begin() + index);
  ReleaseChild(control, doNotDestroy);
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> children;
  children.swap(items_);
  for (CControlUI* child : children) ReleaseChild(child, false);
  MarkNeedsLayout();
}

RECT CContainerUI::ChildArea() const {
  RECT rc = item_;
  const RECT inset = GetInset();
  rc.left += inset.left;
  rc.top += inset.top;
  rc.right -= inset.right;
  rc.bottom -= inset.bottom;
  return rc;
}

RECT CContainerUI::ContentRect() const { return ChildArea(); }

void CContainerUI::PlaceFloating(int index) {
  CControlUI* child = GetItemAt(index);
  if (!child || !child->IsVisible() || !child->IsFloat()) return;
  const int width = GetWidth(), height = GetHeight();
  const FloatShares& p = child->AnchorShares();
  const POINT xy = child->FloatOffset();
  RECT rc = {static_cast<int>(width * p.left) + xy.x, static_cast<int>(height * p.top) + xy.y,
             static_cast<int>(width * p.right) + xy.x + child->GetFixedWidth(),
             static_cast<int>(height * p.bottom) + xy.y + child->GetFixedHeight()};
  child->Place(rc, false);
}

void CContainerUI::Place(RECT rc, bool invalidate) {
  CControlUI::Place(rc, invalidate);
  const RECT area = ChildArea();
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* child = items_[i];
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      PlaceFloating(i);
      continue;
    }
    int width = std::clamp<int>(RectWidth(area), child->GetMinWidth(), child->GetMaxWidth());
    int height = std::clamp<int>(RectHeight(area), child->GetMinHeight(), child->GetMaxHeight());
    child->Place({area.left, area.top, area.left + width, area.top + height}, false);
  }
}

void CContainerUI::Move(int dx, int dy, bool invalidate) {
  CControlUI::Move(dx, dy, invalidate);
  for (CControlUI* child : items_) child->Move(dx, dy, false);
}

void CContainerUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  for (CControlUI* child : items_) child->SetShownByParent(IsVisible());
}

void CContainerUI::SetShownByParent(bool shown) {
  CControlUI::SetShownByParent(shown);
  for (CControlUI* child : items_) child->SetShownByParent(IsVisible());
}

CControlUI* CContainerUI::LookupControl(FindControlProc proc, void* data, UINT flags) {
  if ((flags & FindVisible) && !IsVisible()) return nullptr;
  if ((flags & FindEnabled) && !IsEnabled()) return nullptr;
  const bool hitTest = (flags & FindHitTest) != 0;
  if (hitTest && !PtInRect(&item_, *static_cast<POINT*>(data))) return nullptr;
  if ((flags & FindUpdateTest) && proc(this, data)) return nullptr;
  const bool askMe = !hitTest || IsMouseEnabled();
  if ((flags & FindMeFirst) && askMe) {
    if (CControlUI* found = proc(this, data)) return found;
  }
  if (CControlUI* found = LookupCover(proc, data, flags)) return found;
  if (!hitTest || IsMouseChildEnabled()) {
    const RECT area = ChildArea();
    const bool topFirst = (flags & FindTopFirst) != 0;
    for (int n = 0; n < GetCount(); ++n) {
      CControlUI* child = items_[topFirst ? GetCount() - 1 - n : n];
      if (hitTest && !PtInRect(&area, *static_cast<POINT*>(data))) continue;
      if (CControlUI* found = child->LookupControl(proc, data, flags)) return found;
    }
  }
  return (!(flags & FindMeFirst) && askMe) ? proc(this, data) : nullptr;
}

bool CContainerUI::Render(HDC dc, const RECT& paint, CControlUI* stop) {
  Scoped::RestoreDC restore(dc);
  RECT clip;
  IntersectRect(&clip, &paint, &item_);
  ::IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
  CControlUI::Render(dc, paint, stop);
  return PaintChildren(dc, paint, stop);
}

bool CContainerUI::PaintChildren(HDC dc, const RECT& paint, CControlUI* stop) {
  if (items_.empty()) return true;
  const RECT area = ChildArea();
  RECT meet, tmp;
  const bool areaVisible = IntersectRect(&meet, &area, &paint) != FALSE;
  for (CControlUI* child : items_) {
    if (!child->IsVisible() || !IntersectRect(&tmp, &paint, &child->Placement())) continue;
    if (child->IsFloat()) {
      if (!IntersectRect(&tmp, &item_, &child->Placement())) continue;
      Scoped::RestoreDC restore(dc);
      ::IntersectClipRect(dc, item_.left, item_.top, item_.right, item_.bottom);
      if (!child->Paint(dc, paint, stop)) return false;
    } else if (areaVisible && IntersectRect(&tmp, &area, &child->Placement())) {
      Scoped::RestoreDC restore(dc);
      ::IntersectClipRect(dc, meet.left, meet.top, meet.right, meet.bottom);
      if (!child->Paint(dc, paint, stop)) return false;
    }
  }
  return true;
}

void CContainerUI::SetInset(const RECT& inset) {
  inset_ = inset;
  MarkNeedsLayout();
}

void CContainerUI::SetChildPadding(int padding) {
  childPadding_ = padding < 0 ? 0 : padding;
  MarkNeedsLayout();
}

void CContainerUI::SetChildAlign(int align) {
  childAlign_ = align;
  MarkNeedsLayout();
}

void CContainerUI::SetChildVAlign(int align) {
  childVAlign_ = align;
  MarkNeedsLayout();
}

void CContainerUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") {
    RECT rc;
    Parse::Rect(value, rc);
    SetInset(rc);
  } else if (name == L"mousechild") {
    SetMouseChildEnabled(Parse::Bool(value));
  } else if (name == L"childpadding") {
    SetChildPadding(Parse::Int(value));
  } else if (name == L"childalign") {
    if (value == L"left")
      SetChildAlign(kAlignLeft);
    else if (value == L"center")
      SetChildAlign(kAlignCenter);
    else if (value == L"right")
      SetChildAlign(kAlignRight);
  } else if (name == L"childvalign") {
    if (value == L"top")
      SetChildVAlign(kAlignTop);
    else if (value == L"vcenter")
      SetChildVAlign(kAlignVCenter);
    else if (value == L"bottom")
      SetChildVAlign(kAlignBottom);
  } else {
    CControlUI::ApplyAttribute(name, value);
  }
}

}  // namespace SkinUI
