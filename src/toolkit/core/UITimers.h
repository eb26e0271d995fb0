#pragma once

// The controls' timers of one window: each control numbers its own timers, the window's timer ids
// are handed out here, and a timer killed keeps its entry so that setting it again reuses its id.

#include <windows.h>

#include <vector>

namespace SkinUI {

class CControlUI;

struct ControlTimer {
  CControlUI* sender = nullptr;
  UINT localId = 0;
  HWND hwnd = nullptr;
  UINT systemId = 0;
  bool killed = false;
};

class CTimerTable {
 public:
  CTimerTable() = default;
  ~CTimerTable();
  CTimerTable(const CTimerTable&) = delete;
  CTimerTable& operator=(const CTimerTable&) = delete;

  // False when the control's timer runs already or Windows refuses one.
  bool Set(HWND hwnd, CControlUI* control, UINT id, UINT elapse);
  bool Kill(HWND hwnd, CControlUI* control, UINT id);
  // Every timer of the control, gone for good.
  void KillAll(CControlUI* control);
  const ControlTimer* Find(CControlUI* control, UINT id) const;
  // The running timer behind a WM_TIMER of hwnd; null for a timer that is not a control's.
  const ControlTimer* Running(HWND hwnd, UINT_PTR systemId) const;

 private:
  std::vector<ControlTimer> timers_;
  UINT nextTimerId_ = 4096;
};

}  // namespace SkinUI
