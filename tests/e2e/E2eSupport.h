#pragma once

// What the end-to-end tests share: the loopback installer started under its own name from a scratch
// folder, clicks into its window, its message boxes, its work folder and log, and the sample full
// installer put where the unpacked pack says the full installer is.

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "InstallerProcess.h"
#include "base/Scoped.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace E2e {

// The name the loopback installer is started under; its work folder is named after it.
constexpr wchar_t kProgramName[] = L"e2e-setup";
constexpr DWORD kTimeoutMs = 90000;
const POINT kInstallButton = {241, 207};  // inside "btn_install" (220..430 when alone) in the shipped skin
// "btn_start" alone is centred on the finish view; this point lies inside it also where a hidden
// neighbour would keep its place.
const POINT kStartButton = {330, 207};
const POINT kFoldBox = {615, 337};  // "chk_fold", left-to-right skin
constexpr int kFoldHeight = 75;
const POINT kBrowseButton = {565, 398};  // "btn_browse" in the open path area, left-to-right skin
const POINT kHideButton = {591, 323};    // "btn_hide" on the progress page, left-to-right skin

using TestSupport::BuildFile;
std::wstring WorkDir();
std::string Log();
// The same for the installer started under another name.
std::wstring WorkDirOf(const wchar_t* programName);
std::string LogOf(const wchar_t* programName);
std::wstring ProductDir();

bool Contains(const std::string& text, const char* part);
// True when the parts occur in this order.
using TestSupport::InOrder;
// Occurrences of part in text.
int CountOf(const std::string& text, const char* part);

template <typename Done>
bool WaitFor(Done done, DWORD timeoutMs = kTimeoutMs) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > timeoutMs) return false;
    ::Sleep(50);
  }
  return true;
}
bool WaitForLog(const char* part, DWORD timeoutMs = kTimeoutMs);

// The pack's download address, read from the pack the program unpacked, and where the loopback
// server keeps the file it names (also when the address names the host only the tests' proxy knows,
// whose requests the proxy brings to the same server).
std::wstring DownloadUrl(const wchar_t* programName = kProgramName);
std::wstring ServedInstallerPath(const wchar_t* programName = kProgramName);
// Puts the sample installer at that place; false when the address is not on the loopback server.
bool ServeSampleInstaller();
// The same place and the same copy for runs that start downloading at once (unattended ones): the
// place is learnt once per suite from the pack of an interactive run. Empty / false when it cannot be.
const std::wstring& ServedInstallerAhead();
bool ServeSampleInstallerAhead();
// A text of the unpacked English pack.
std::wstring PackText(const wchar_t* key, const wchar_t* programName = kProgramName);
// The same text as the window shows it: PRODUCT is the loopback pack's product name.
std::wstring ShownText(const wchar_t* key);

// Waits for a message box of the window, returns its text and presses `answer` on it; "(no box)"
// when none came.
std::wstring AnswerBox(HWND owner, int answer, DWORD timeoutMs = 30000);

// Waits for the folder chooser of the window, selects `folder` in it as a click in its tree would,
// and presses OK once the tree's selected item shows `itemText`; false (and the chooser cancelled)
// when no chooser came, the tree never showed the folder, or OK was not offered for it.
bool ChooseFolder(HWND owner, const std::wstring& folder, const std::wstring& itemText);

// A process that runs under the given image name, found by name; 0 when none.
DWORD RunningProcess(const wchar_t* imageName);
void EndProcesses(const wchar_t* imageName);

constexpr wchar_t kProductImage[] = L"Solvetta.exe";
constexpr wchar_t kHelperImage[] = L"pelarin-download.tmp";
constexpr wchar_t kSampleInstallerImage[] = L"pelarin-download.exe";

// A switch file of the loopback server, on for the lifetime of the object.
using TestServers::ServerSwitch;

// Leaves no product folder and no sample installer or helper running behind a test.
class CleanProduct {
 public:
  CleanProduct() { Clean(); }
  ~CleanProduct() { Clean(); }

 private:
  static void Clean();
};

// The sample product started from a scratch folder under the product's image name, still running.
class RunningProduct {
 public:
  RunningProduct();
  ~RunningProduct();
  bool Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  bool EndsWithin(DWORD ms) const { return process_ && ::WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0; }

 private:
  TestSupport::ScratchDir folder_{L"product"};
  Scoped::CloseHandle process_;
};

// The installer started from a scratch folder under its own name, and its window.
class Installer {
 public:
  // The built installer `build` (the loopback one unless a test needs another pack) copied under
  // `programName` (its work folder's name) and started with `arguments`.
  explicit Installer(const wchar_t* programName = kProgramName, const wchar_t* build = L"setup-loopback.exe",
                     const std::wstring& arguments = std::wstring());
  ~Installer();
  HWND WaitForWindow();
  // Posted as the system would queue a click; it may overtake the paint of a view just switched to.
  void Click(POINT at);
  int WaitForExit();
  // The exit code of a run that must never show a window; `sawWindow` says whether one was seen.
  int WaitForExitUnseen(bool& sawWindow);
  HWND window() const { return window_; }

 private:
  TestSupport::ScratchDir folder_;
  std::wstring path_;
  std::wstring workDir_;
  std::unique_ptr<TestSupport::InstallerProcess> process_;
  HWND window_ = nullptr;
};

}  // namespace E2e
