#pragma once

// Running copies of the built loopback installer for the suite that drives the real program.

#include <windows.h>

#include <string>

#include "InstallerProcess.h"
#include "TestSupport.h"
#include "base/SystemInfo.h"

namespace AppRun {

using TestSupport::ReadFileBytes;

// The build folder as Wine sees it (the Unix root is drive Z:).
inline std::wstring BuildDir() { return TestSupport::BuildFile(L""); }

inline std::wstring WorkDirFor(const std::wstring& baseName) {
  return GetProgramFilesDir() + L"pelarin_down\\" + baseName + L"\\";
}

constexpr WPARAM kOwnCloseRequest = 1000;  // the program's own close: no question
constexpr int kCancelled = 1602;           // the exit code of a run closed before it installed
constexpr DWORD kStartTimeoutMs = 60000;

// One started copy of the installer, ended by force if a test leaves it running.
class RunningInstaller : public TestSupport::InstallerProcess {
 public:
  using InstallerProcess::InstallerProcess;
  // The installer's window once it is shown (its set-up has run by then); null when none came.
  HWND WaitForWindow() { return InstallerProcess::WaitForWindow(kStartTimeoutMs); }
  int WaitForExit(DWORD timeoutMs = kStartTimeoutMs) { return InstallerProcess::WaitForExit(timeoutMs); }
};

// Starts the installer, waits for its window and closes it the way the program closes itself.
inline int RunInstaller(const std::wstring& exe) {
  RunningInstaller installer(exe);
  HWND window = installer.WaitForWindow();
  if (!window) return -1002;
  ::PostMessageW(window, WM_CLOSE, kOwnCloseRequest, 0);
  return installer.WaitForExit();
}

// A copy of the loopback installer under another file name, in a scratch folder, so each test owns
// its work folder (named after the program file) and can start from nothing.
class InstallerCopy {
 public:
  explicit InstallerCopy(const std::wstring& fileName) : path_(folder_ / fileName) {
    ::CopyFileW((BuildDir() + L"setup-loopback.exe").c_str(), path_.c_str(), FALSE);
    std::wstring base = fileName.substr(0, fileName.find_last_of(L'.'));
    workDir_ = WorkDirFor(base);
    TestSupport::RemoveTree(workDir_);
  }
  ~InstallerCopy() { TestSupport::RemoveTree(workDir_); }
  const std::wstring& path() const { return path_; }
  const std::wstring& workDir() const { return workDir_; }
  std::wstring pack() const { return workDir_ + L"language\\"; }
  std::string log() const { return ReadFileBytes(workDir_ + L"Log\\pelarin_down.log"); }

 private:
  TestSupport::ScratchDir folder_{L"app"};
  std::wstring path_;
  std::wstring workDir_;
};

}  // namespace AppRun
