#include "Window/WindowPlacement.h"

namespace {

// Clamps one axis: the near edge first, so an oversized window starts at the area's edge.
LONG KeepInside(LONG pos, LONG size, LONG low, LONG high) {
  if (pos < low) return low;
  if (pos + size > high) return high - size;
  return pos;
}

RECT WorkAreaNear(HWND window) {
  MONITORINFO info = {sizeof(info)};
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

}  // namespace

POINT CentredPosition(SIZE size, const RECT& centre, const RECT& bounds) {
  POINT pt = {(centre.left + centre.right) / 2 - size.cx / 2, (centre.top + centre.bottom) / 2 - size.cy / 2};
  pt.x = KeepInside(pt.x, size.cx, bounds.left, bounds.right);
  pt.y = KeepInside(pt.y, size.cy, bounds.top, bounds.bottom);
  return pt;
}

void CenterWindow(HWND window) {
  if (!::IsWindow(window)) return;
  RECT rc = {};
  ::GetWindowRect(window, &rc);
  const SIZE size = {rc.right - rc.left, rc.bottom - rc.top};
  HWND owner = ::GetWindow(window, GW_OWNER);
  const RECT bounds = WorkAreaNear(owner ? owner : window);
  RECT centre = bounds;
  if (owner && !::IsIconic(owner)) ::GetWindowRect(owner, &centre);
  const POINT pt = CentredPosition(size, centre, bounds);
  ::SetWindowPos(window, nullptr, pt.x, pt.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
