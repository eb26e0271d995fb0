#include "toolkit/controls/UILayout.h"

#include <algorithm>

#include "toolkit/core/UIManager.h"

namespace SkinUI {

namespace {

int ClampWidth(const CControlUI* c, int cx) { return std::max(c->GetMinWidth(), std::min(cx, c->GetMaxWidth())); }
int ClampHeight(const CControlUI* c, int cy) { return std::max(c->GetMinHeight(), std::min(cy, c->GetMaxHeight())); }
int WidthLimit(const CControlUI* c) { return c->GetFixedWidth() < 1 ? c->GetMaxWidth() : c->GetFixedWidth(); }
int HeightLimit(const CControlUI* c) { return c->GetFixedHeight() < 1 ? c->GetMaxHeight() : c->GetFixedHeight(); }
struct Pad {
  int left, top, right, bottom;
};
Pad PadOf(const CControlUI* c) {
  const RECT& p = c->GetPadding();
  return {static_cast<int>(p.left), static_cast<int>(p.top), static_cast<int>(p.right), static_cast<int>(p.bottom)};
}

bool InFlow(const CControlUI* c) { return c->IsVisible() && !c->IsFloat(); }

void FinishPlan(FlowPlan& plan, int available, int childPadding) {
  if (plan.count > 0) plan.fixedTotal += childPadding * (plan.count - 1);
  plan.share = plan.stretchy ? std::max(0, (available - plan.fixedTotal) / plan.stretchy) : 0;
}

}  // namespace

void* CVerticalLayoutUI::CastTo(const std::wstring& name) {
  return name == L"VerticalLayout" ? this : CContainerUI::CastTo(name);
}

void* CHorizontalLayoutUI::CastTo(const std::wstring& name) {
  return name == L"HorizontalLayout" ? this : CContainerUI::CastTo(name);
}

void* CTabLayoutUI::CastTo(const std::wstring& name) {
  return name == L"TabLayout" ? this : CContainerUI::CastTo(name);
}

void CVerticalLayoutUI::Place(RECT rc, bool invalidate) {
  CControlUI::Place(rc, invalidate);
  if (items_.empty()) return;
  const RECT area = ChildArea();
  StackChildren(area, PlanStack(area));
}

FlowPlan CVerticalLayoutUI::PlanStack(const RECT& area) const {
  const int availW = RectWidth(area), availH = RectHeight(area);
  FlowPlan plan;
  for (CControlUI* child : items_) {
    if (!InFlow(child)) continue;
    const Pad p = PadOf(child);
    SIZE sz = child->MeasureSize(
        {std::min(WidthLimit(child), availW - p.left - p.right), std::min(HeightLimit(child), availH)});
    ++plan.count;
    if (sz.cy == 0)
      ++plan.stretchy;
    else
      plan.fixedTotal += p.top + ClampHeight(child, sz.cy) + p.bottom;
  }
  FinishPlan(plan, availH, GetChildPadding());
  return plan;
}

void CVerticalLayoutUI::StackChildren(const RECT& area, const FlowPlan& plan) {
  const int availW = RectWidth(area), availH = RectHeight(area);
  int y = area.top, remaining = availH, remainingFixed = plan.fixedTotal, stretchSeen = 0;
  bool first = true;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* child = items_[i];
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      PlaceFloating(i);
      continue;
    }
    const Pad p = PadOf(child);
    remaining -= p.top;
    remainingFixed -= p.top + p.bottom + (first ? 0 : GetChildPadding());
    first = false;
    const int widthCap = std::min(WidthLimit(child), availW - p.left - p.right);
    SIZE sz = child->MeasureSize({widthCap, std::min(HeightLimit(child), remaining)});
    int height;
    if (sz.cy != 0) {
      height = ClampHeight(child, sz.cy);
      remainingFixed -= height;
    } else {
      height = ++stretchSeen == plan.stretchy ? std::max(0, remaining - p.bottom - remainingFixed) : plan.share;
      height = ClampHeight(child, height);
    }
    const int width = std::max(child->GetMinWidth(), std::min(widthCap, std::max(0, child->GetMaxWidth())));
    int left = area.left + p.left;
    if (GetChildAlign() == kAlignCenter)
      left = (area.left + area.right) / 2 - width / 2;
    else if (GetChildAlign() == kAlignRight)
      left = area.right - p.right - width;
    const int top = y + p.top;
    child->Place({left, top, left + width, top + height}, false);
    y += height + p.top + p.bottom + GetChildPadding();
    remaining -= height + GetChildPadding() + p.bottom;
  }
}

void CHorizontalLayoutUI::Place(RECT rc, bool invalidate) {
  CControlUI::Place(rc, invalidate);
  if (items_.empty()) return;
  const RECT area = ChildArea();
  LineUpChildren(area, PlanLine(area));
}

FlowPlan CHorizontalLayoutUI::PlanLine(const RECT& area) const {
  const int availW = RectWidth(area), availH = RectHeight(area);
  FlowPlan plan;
  for (CControlUI* child : items_) {
    if (!InFlow(child)) continue;
    const Pad p = PadOf(child);
    ++plan.count;
    if (child->GetFixedWidth() == 0) {
      ++plan.stretchy;
      continue;
    }
    SIZE sz = child->MeasureSize(
        {std::min(WidthLimit(child), availW), std::min(HeightLimit(child), availH - p.top - p.bottom)});
    if (sz.cx == 0)
      ++plan.stretchy;
    else
      plan.fixedTotal += p.left + ClampWidth(child, sz.cx) + p.right;
  }
  FinishPlan(plan, availW, GetChildPadding());
  return plan;
}

void CHorizontalLayoutUI::LineUpChildren(const RECT& area, const FlowPlan& plan) {
  const int availW = RectWidth(area), availH = RectHeight(area);
  int x = area.left, remaining = availW, remainingFixed = plan.fixedTotal, stretchSeen = 0;
  bool first = true;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* child = items_[i];
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      PlaceFloating(i);
      continue;
    }
    const Pad p = PadOf(child);
    remaining -= p.left;
    remainingFixed -= p.left + p.right + (first ? 0 : GetChildPadding());
    first = false;
    const int heightCap = std::min(HeightLimit(child), availH - p.top - p.bottom);
    SIZE sz = child->MeasureSize({std::min(WidthLimit(child), remaining), heightCap});
    int width;
    if (child->GetFixedWidth() != 0 && sz.cx != 0) {
      width = ClampWidth(child, sz.cx);
      remainingFixed -= width;
    } else {
      width = ++stretchSeen == plan.stretchy ? std::max(0, remaining - p.right - remainingFixed) : plan.share;
      width = ClampWidth(child, width);
    }
    const int height = std::max(child->GetMinHeight(), std::min(heightCap, std::max(0, child->GetMaxHeight())));
    int top = area.top + p.top;
    if (GetChildVAlign() == kAlignVCenter)
      top = (area.top + area.bottom) / 2 - height / 2;
    else if (GetChildVAlign() == kAlignBottom)
      top = area.bottom - p.bottom - height;
    const int left = x + p.left;
    child->Place({left, top, left + width, top + height}, false);
    x += width + p.left + p.right + GetChildPadding();
    remaining -= width + GetChildPadding() + p.right;
  }
}

bool CTabLayoutUI::Add(CControlUI* control) {
  if (!CContainerUI::Add(control)) return false;
  if (selected_ == -1 && control->IsVisible())
    selected_ = GetItemIndex(control);
  else
    control->SetVisible(false);
  return true;
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
  if (!CContainerUI::AddAt(control, index)) return false;
  if (selected_ == -1 && control->IsVisible())
    selected_ = GetItemIndex(control);
  else if (selected_ == -1 || index > selected_)
    control->SetVisible(false);
  else
    ++selected_;
  return true;
}

bool CTabLayoutUI::Remove(CControlUI* control, bool doNotDestroy) {
  const int index = GetItemIndex(control);
  if (index < 0 || !CContainerUI::Remove(control, doNotDestroy)) return false;
  if (index == selected_) {
    selected_ = GetCount() == 0 ? -1 : 0;
    if (selected_ == 0) items_[0]->SetVisible(true);
    NeedsParentUpdate();
  } else if (index < selected_) {
    --selected_;
  }
  return true;
}

void CTabLayoutUI::RemoveAll() {
  selected_ = -1;
  CContainerUI::RemoveAll();
  NeedsParentUpdate();
}

bool CTabLayoutUI::SelectIndex(int index, bool notify) {
  if (index < 0 || index >= GetCount()) return false;
  if (index == selected_) return true;
  const int old = selected_;
  selected_ = index;
  for (int i = 0; i < GetCount(); ++i) {
    if (i != index) items_[i]->SetVisible(false);
  }
  items_[index]->SetVisible(true);
  items_[index]->SetFocus();
  NeedsParentUpdate();
  if (manager_) manager_->RaiseAccessibleEvent(EVENT_OBJECT_REORDER, this);
  if (manager_) {
    manager_->MoveTabFocus(true);
    if (notify) manager_->RaiseNotification(this, L"tabselect", index, old);
  }
  return true;
}

void CTabLayoutUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") SelectIndex(Parse::Int(value));
  CContainerUI::ApplyAttribute(name, value);
}

void CTabLayoutUI::Place(RECT rc, bool invalidate) {
  CControlUI::Place(rc, invalidate);
  const RECT area = ChildArea();
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* child = items_[i];
    if (child->IsVisible() && child->IsFloat()) PlaceFloating(i);
  }
  CControlUI* child = GetItemAt(selected_);
  if (!child || child->IsFloat()) return;
  const Pad p = PadOf(child);
  const int availW = std::max(0, RectWidth(area) - p.left - p.right);
  const int availH = std::max(0, RectHeight(area) - p.top - p.bottom);
  SIZE sz = child->MeasureSize({availW, availH});
  const int width = ClampWidth(child, sz.cx == 0 ? availW : sz.cx);
  const int height = ClampHeight(child, sz.cy == 0 ? availH : sz.cy);
  const int left = area.left + p.left, top = area.top + p.top;
  child->Place({left, top, left + width, top + height}, false);
}

}  // namespace SkinUI
