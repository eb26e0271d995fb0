#include "InstallerProcess.h"

#include "TestSupport.h"

namespace TestSupport {

InstallerProcess::InstallerProcess(const std::wstring& exe, const std::wstring& arguments)
    : process_(StartProcess(L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments))),
      pid_(process_ ? ::GetProcessId(process_.get()) : 0) {}

// Ending is asynchronous: the copy is waited for, so that the next copy under the same name does not
// find its instance mutex still held.
InstallerProcess::~InstallerProcess() {
  if (!process_ || ::WaitForSingleObject(process_.get(), 0) != WAIT_TIMEOUT) return;
  ::TerminateProcess(process_.get(), 99);
  ::WaitForSingleObject(process_.get(), 10000);
}

HWND InstallerProcess::FindWindow() const {
  const DWORD pid = pid_;
  return FindTopWindow([pid](HWND window) {
    return WindowProcess(window) == pid && WindowClass(window) == L"SetupMainFrame" && ::IsWindowVisible(window);
  });
}

HWND InstallerProcess::WaitForWindow(DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (process_ && ::GetTickCount() - start < timeoutMs) {
    if (HWND window = FindWindow()) return window;
    if (::WaitForSingleObject(process_.get(), 50) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

int InstallerProcess::WaitForExit(DWORD timeoutMs) {
  if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return -1001;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return static_cast<int>(code);
}

int InstallerProcess::WaitForExitWatching(DWORD timeoutMs, bool& sawWindow) {
  const DWORD pid = pid_;
  const DWORD start = ::GetTickCount();
  while (process_ && ::WaitForSingleObject(process_.get(), 20) == WAIT_TIMEOUT) {
    if (FindTopWindow([pid](HWND window) { return WindowProcess(window) == pid && ::IsWindowVisible(window); }))
      sawWindow = true;
    if (::GetTickCount() - start > timeoutMs) return -1001;
  }
  return WaitForExit(0);
}

}  // namespace TestSupport
