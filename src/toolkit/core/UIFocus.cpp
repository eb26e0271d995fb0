#include "toolkit/core/UIFocus.h"

#include <algorithm>
#include <utility>

#include "toolkit/core/UIContainer.h"
#include "toolkit/core/UIReadingOrder.h"

namespace SkinUI {

namespace {

void CollectTabStops(CControlUI* control, std::vector<CControlUI*>& stops) {
  if (!control->IsVisible() || !control->IsEnabled()) return;
  if (control->ControlFlags() & ControlFlagTabStop) stops.push_back(control);
  auto* container = static_cast<CContainerUI*>(control->CastTo(L"Container"));
  if (!container) return;
  for (int i = 0; i < container->GetCount(); ++i) CollectTabStops(container->GetItemAt(i), stops);
}

}  // namespace

namespace TabOrder {

std::vector<CControlUI*> Stops(CControlUI* root, bool rightToLeft) {
  std::vector<CControlUI*> stops;
  if (root) CollectTabStops(root, stops);
  return ReadingOrder(std::move(stops), rightToLeft);
}

CControlUI* Next(const std::vector<CControlUI*>& stops, CControlUI* current, bool forward) {
  if (stops.empty()) return nullptr;
  auto at = std::find(stops.begin(), stops.end(), current);
  if (at == stops.end()) return forward ? stops.front() : stops.back();
  const size_t index = static_cast<size_t>(at - stops.begin());
  if (forward) return stops[(index + 1) % stops.size()];
  return stops[(index + stops.size() - 1) % stops.size()];
}

// The disabled control is put back among the stops to find its place in the reading order.
CControlUI* PastDisabled(CControlUI* root, CControlUI* control, bool rightToLeft) {
  std::vector<CControlUI*> stops;
  CollectTabStops(root, stops);
  stops.push_back(control);
  stops = ReadingOrder(std::move(stops), rightToLeft);
  const size_t index = static_cast<size_t>(std::find(stops.begin(), stops.end(), control) - stops.begin());
  return stops.size() > 1 ? stops[(index + 1) % stops.size()] : nullptr;
}

}  // namespace TabOrder

void CFocus::Set(CControlUI* control, bool takeWindowFocus) {
  HWND hwnd = host_.PaintWindow();
  if (takeWindowFocus && hwnd && ::GetFocus() != hwnd && control != focus_ && host_.TakesActivation()) ::SetFocus(hwnd);
  if (control == focus_) return;
  const bool accepted = control && host_.OwnsControl(control) && control->IsVisible() && control->IsEnabled();
  if (CControlUI* old = std::exchange(focus_, nullptr)) host_.FocusLost(old, accepted ? control : nullptr);
  if (!accepted) return;
  focus_ = control;
  host_.FocusGained(control);
}

std::vector<CControlUI*> CFocus::TabStops() const { return TabOrder::Stops(host_.GetRoot(), host_.IsRightToLeft()); }

// When the focused control has just been disabled, the focus goes on to the Tab stop after it.
void CFocus::PastDisabled(CControlUI* control) {
  CControlUI* root = host_.GetRoot();
  if (!root || !control || focus_ != control) return;
  Set(TabOrder::PastDisabled(root, control, host_.IsRightToLeft()), false);
}

// A Tab pressed before the new page is laid out waits for the layout, so it counts the stops where
// they will be drawn.
void CFocus::MoveTab(bool forward) {
  if (!host_.GetRoot()) return;
  if (host_.IsLayoutPending() && forward) {
    pending_ = true;
    if (HWND hwnd = host_.PaintWindow()) ::InvalidateRect(hwnd, nullptr, FALSE);
    return;
  }
  pending_ = false;
  if (CControlUI* next = TabOrder::Next(TabStops(), focus_, forward)) Set(next, true);
}

void CFocus::RequestInitial(CControlUI* control) {
  // A window still being made takes the focus when it is shown, not from inside its creation.
  HWND hwnd = host_.PaintWindow();
  if (hwnd && host_.TakesActivation() && ::IsWindowVisible(hwnd)) ::SetFocus(hwnd);
  Set(nullptr, false);
  initial_ = control ? control->LookupControl(
                           [](CControlUI* c, void*) { return (c->ControlFlags() & ControlFlagTabStop) ? c : nullptr; },
                           nullptr, FindVisible | FindEnabled | FindMeFirst)
                     : nullptr;
  pending_ = true;
  if (CControlUI* root = host_.GetRoot()) root->MarkNeedsLayout();
}

void CFocus::ApplyPending() {
  CControlUI* initial = std::exchange(initial_, nullptr);
  if (initial && host_.OwnsControl(initial) && initial->IsVisible() && initial->IsEnabled()) {
    pending_ = false;
    Set(initial, true);
    return;
  }
  MoveTab(true);
}

// Focus pictures stay hidden while the mouse alone is used, as Windows hides its focus rectangles,
// unless the user asked Windows to always show them.
bool CFocus::ShowsCues() const {
  if (cues_) return true;
  BOOL always = FALSE;
  return ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &always, 0) && always;
}

void CFocus::KeyboardInUse() {
  if (cues_) return;
  cues_ = true;
  if (focus_) focus_->Invalidate();
}

void CFocus::Forget(CControlUI* control) {
  if (focus_ == control) focus_ = nullptr;
  if (initial_ == control) initial_ = nullptr;
}

}  // namespace SkinUI
