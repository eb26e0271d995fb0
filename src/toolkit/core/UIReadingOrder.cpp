#include "toolkit/core/UIReadingOrder.h"

#include <algorithm>

#include "toolkit/core/UIControl.h"

namespace SkinUI {

namespace {

struct Row {
  int top = 0, bottom = 0;
  std::vector<CControlUI*> controls;
};

bool JoinsRow(const Row& row, const RECT& rc) {
  const int centre = (rc.top + rc.bottom) / 2;
  return centre >= row.top && centre < row.bottom;
}

std::vector<Row> SplitIntoRows(std::vector<CControlUI*> controls) {
  std::stable_sort(controls.begin(), controls.end(),
                   [](CControlUI* a, CControlUI* b) { return a->Placement().top < b->Placement().top; });
  std::vector<Row> rows;
  for (CControlUI* control : controls) {
    const RECT& rc = control->Placement();
    if (rows.empty() || !JoinsRow(rows.back(), rc)) rows.push_back(Row{rc.top, rc.bottom, {}});
    Row& row = rows.back();
    row.bottom = std::max(row.bottom, static_cast<int>(rc.bottom));
    row.controls.push_back(control);
  }
  return rows;
}

void SortAlongRow(std::vector<CControlUI*>& row, bool rightToLeft) {
  std::stable_sort(row.begin(), row.end(), [rightToLeft](CControlUI* a, CControlUI* b) {
    const RECT &ra = a->Placement(), &rb = b->Placement();
    return rightToLeft ? ra.right > rb.right : ra.left < rb.left;
  });
}

}  // namespace

std::vector<CControlUI*> ReadingOrder(std::vector<CControlUI*> controls, bool rightToLeft) {
  std::vector<CControlUI*> ordered;
  ordered.reserve(controls.size());
  std::vector<Row> rows = SplitIntoRows(std::move(controls));
  for (Row& row : rows) {
    SortAlongRow(row.controls, rightToLeft);
    ordered.insert(ordered.end(), row.controls.begin(), row.controls.end());
  }
  return ordered;
}

}  // namespace SkinUI
