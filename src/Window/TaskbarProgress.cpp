#include "Window/TaskbarProgress.h"

namespace {

ITaskbarList3* CreateTaskbarList(DWORD context) {
  void* taskbar = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, context, IID_ITaskbarList3, &taskbar))) return nullptr;
  return static_cast<ITaskbarList3*>(taskbar);
}

}  // namespace

TaskbarProgress::TaskbarProgress() : imageList_(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 0)) {
  // The apartment stays for the rest of the thread: the window's other shell dialogs use it too.
  ::CoInitialize(nullptr);
  taskbar_.reset(CreateTaskbarList(CLSCTX_INPROC_SERVER));
}

void TaskbarProgress::Attach(HWND window) {
  window_ = window;
  // The shell may not have been ready when we were built; by the time a window exists it usually is.
  if (!taskbar_) taskbar_.reset(CreateTaskbarList(CLSCTX_ALL));
  if (taskbar_) taskbar_.get()->SetProgressState(window_, TBPF_INDETERMINATE);
}

void TaskbarProgress::SetState(int state) {
  if (taskbar_) taskbar_.get()->SetProgressState(window_, static_cast<TBPFLAG>(state));
}

void TaskbarProgress::SetValue(int done, int total) {
  if (taskbar_)
    taskbar_.get()->SetProgressValue(window_, static_cast<ULONGLONG>(static_cast<LONGLONG>(done)),
                                     static_cast<ULONGLONG>(static_cast<unsigned>(total)));
}
