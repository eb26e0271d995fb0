#pragma once

// A started copy of the built installer for tests that drive it as a user would: its visible window
// (class "SetupMainFrame") and its exit code. A copy still running when the object goes is ended.

#include <windows.h>

#include <string>

#include "base/Scoped.h"

namespace TestSupport {

class InstallerProcess {
 public:
  // `arguments` follow the quoted program path on the command line.
  explicit InstallerProcess(const std::wstring& exe, const std::wstring& arguments = std::wstring());
  ~InstallerProcess();
  InstallerProcess(const InstallerProcess&) = delete;
  InstallerProcess& operator=(const InstallerProcess&) = delete;

  bool Started() const { return static_cast<bool>(process_); }
  // The window once it is shown; null when the process ended or timeoutMs passed first.
  HWND WaitForWindow(DWORD timeoutMs);
  // The shown window right now, if any.
  HWND FindWindow() const;
  // The exit code, or -1001 when the process has not ended in time.
  int WaitForExit(DWORD timeoutMs);
  // The same, noting meanwhile whether any top-level window of the process was ever visible (every
  // 20 ms, which no window a program shows and then closes again by itself escapes).
  int WaitForExitWatching(DWORD timeoutMs, bool& sawWindow);

 private:
  Scoped::CloseHandle process_;
  DWORD pid_ = 0;
};

}  // namespace TestSupport
