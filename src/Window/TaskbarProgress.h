#pragma once

// Mirrors the installer's progress on its taskbar button. Where the shell offers no taskbar list
// (before Windows 7, some Wine set-ups) every call does nothing.

#include <windows.h>
#include <commctrl.h>
#include <shobjidl.h>

#include "base/Scoped.h"

class TaskbarProgress {
 public:
  TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // Binds to the window whose button shows the progress and starts it as indeterminate.
  void Attach(HWND window);
  // One of the TBPF_* states.
  void SetState(int state);
  void SetValue(int done, int total);

 private:
  // Kept for the overlay icons the button may carry one day; nothing draws into it yet.
  Scoped::ImageList_Destroy imageList_;
  Scoped::Release<ITaskbarList3> taskbar_;
  HWND window_ = nullptr;
};
