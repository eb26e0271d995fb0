#pragma once

// What the window controller's tests share: the installer's window created from this program's own
// resources, a message pump, and a watcher that answers the window's message boxes from another
// thread while the window's thread sits in the box's modal loop.

#include <windows.h>

#include <shtypes.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "Window/SetupFrameWnd.h"

namespace FrameTest {

// A file of the source tree, as the window's process names it.
using TestSupport::BuildFile;
// Where the loopback server keeps the file the pack's download address names; empty when the
// address is not on the loopback server.
std::wstring ServedInstallerPath(const CSetupFrameWnd& window);

// Runs the window's messages for `ms` milliseconds, or until `done` says so.
void PumpFor(DWORD ms);
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > timeoutMs) return false;
    PumpFor(10);
  }
  return true;
}

// The installer's window, created as the entry creates it, and closed without a question at the end.
class Frame {
 public:
  Frame();
  ~Frame();
  CSetupFrameWnd& operator*() { return *window_; }
  CSetupFrameWnd* operator->() { return window_.get(); }
  HWND hwnd() const { return window_->GetHWND(); }
  bool alive() const { return ::IsWindow(window_->GetHWND()) != FALSE; }
  SkinUI::CControlUI* Find(const wchar_t* name) { return window_->Manager().LookupControl(name); }
  bool Visible(const wchar_t* name);
  int ClientHeight() const;
  std::string Log() const;

 private:
  std::unique_ptr<CSetupFrameWnd> window_;
};

// What a message box of the window showed, and the button pressed on it.
struct BoxSeen {
  std::wstring title;
  std::wstring text;
  LONG exStyle = 0;
};

// Watches for one message box owned by `owner` and presses `answer` on it.
class BoxAnswerer {
 public:
  BoxAnswerer(HWND owner, int answer);
  ~BoxAnswerer();
  // Waits for the watcher; false when no box came.
  bool Wait(BoxSeen& seen);

 private:
  void Watch();
  HWND owner_;
  int answer_;
  BoxSeen seen_;
  std::atomic<bool> found_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Drives the folder chooser the window opens, from another thread: selects `item` as a click in its
// tree would, notes whether the chooser then offers OK, and presses OK all the same, the way a
// chooser that returns the item anyway would end.
class ChooserDriver {
 public:
  ChooserDriver(HWND owner, PCIDLIST_ABSOLUTE item);
  ~ChooserDriver();
  // Waits for the watcher; false when no chooser came.
  bool Wait(bool& okOffered);

 private:
  void Drive();
  HWND owner_;
  PCIDLIST_ABSOLUTE item_;
  std::atomic<bool> found_{false};
  std::atomic<bool> okOffered_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace FrameTest
