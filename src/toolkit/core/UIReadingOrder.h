#pragma once

// The order in which a reader meets the controls of a window: by where they are drawn, not by where
// the skin lists them (a mirrored skin lists its rows left to right like any other).

#include <vector>

namespace SkinUI {

class CControlUI;

// Rows from top to bottom; within a row left to right, or right to left for a mirrored window. A
// control joins the row above it when its vertical centre lies within that row's band, so that a
// small check box and the taller text beside it read as one line.
std::vector<CControlUI*> ReadingOrder(std::vector<CControlUI*> controls, bool rightToLeft);

}  // namespace SkinUI
