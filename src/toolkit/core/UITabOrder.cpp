#include "toolkit/core/UITabOrder.h"

#include <algorithm>

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

}  // namespace SkinUI
