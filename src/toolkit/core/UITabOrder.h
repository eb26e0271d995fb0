#pragma once

// The order Tab visits a window's controls: the visible, enabled Tab stops in the order a reader meets
// them, by where they are drawn (a mirrored skin lists its rows left to right like any other, yet is
// read from the right).

#include <vector>

namespace SkinUI {

class CControlUI;

namespace TabOrder {

std::vector<CControlUI*> Stops(CControlUI* root, bool rightToLeft);
// The stop after (or before) current, round the end; the first (or last) when current is none of them.
CControlUI* Next(const std::vector<CControlUI*>& stops, CControlUI* current, bool forward);
// Where the focus goes when control, which holds it, has just been disabled: the stop that followed it.
CControlUI* PastDisabled(CControlUI* root, CControlUI* control, bool rightToLeft);

}  // namespace TabOrder

}  // namespace SkinUI
