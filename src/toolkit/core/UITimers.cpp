#include "toolkit/core/UITimers.h"

#include <algorithm>

namespace SkinUI {

CTimerTable::~CTimerTable() {
  for (ControlTimer& timer : timers_) {
    if (!timer.killed && ::IsWindow(timer.hwnd)) ::KillTimer(timer.hwnd, timer.systemId);
  }
}

bool CTimerTable::Set(HWND hwnd, CControlUI* control, UINT id, UINT elapse) {
  for (ControlTimer& timer : timers_) {
    if (timer.sender != control || timer.hwnd != hwnd || timer.localId != id) continue;
    if (!timer.killed) return false;
    if (!::SetTimer(hwnd, timer.systemId, elapse, nullptr)) return false;
    timer.killed = false;
    return true;
  }
  nextTimerId_ = (nextTimerId_ + 1) % 255;
  if (!::SetTimer(hwnd, nextTimerId_, elapse, nullptr)) return false;
  timers_.push_back({control, id, hwnd, nextTimerId_, false});
  return true;
}

bool CTimerTable::Kill(HWND hwnd, CControlUI* control, UINT id) {
  for (ControlTimer& timer : timers_) {
    if (timer.sender != control || timer.hwnd != hwnd || timer.localId != id) continue;
    if (!timer.killed && ::IsWindow(hwnd)) ::KillTimer(timer.hwnd, timer.systemId);
    timer.killed = true;
    return true;
  }
  return false;
}

void CTimerTable::KillAll(CControlUI* control) {
  for (ControlTimer& timer : timers_) {
    if (timer.sender == control && !timer.killed && ::IsWindow(timer.hwnd)) ::KillTimer(timer.hwnd, timer.systemId);
  }
  timers_.erase(
      std::remove_if(timers_.begin(), timers_.end(), [control](const ControlTimer& t) { return t.sender == control; }),
      timers_.end());
}

const ControlTimer* CTimerTable::Find(CControlUI* control, UINT id) const {
  for (const ControlTimer& timer : timers_)
    if (timer.sender == control && timer.localId == id) return &timer;
  return nullptr;
}

const ControlTimer* CTimerTable::Running(HWND hwnd, UINT_PTR systemId) const {
  for (const ControlTimer& timer : timers_)
    if (timer.hwnd == hwnd && timer.systemId == systemId && !timer.killed) return &timer;
  return nullptr;
}

}  // namespace SkinUI
