#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "TestServers.h"
#include "InstallerProcess.h"
#include "TestSupport.h"
#include "tool/ProcessHelper.h"
#include "tool/ScopedWin.h"
#include "tool/SystemInfo.h"

using TestSupport::IsFile;
using TestSupport::ReadFileBytes;
using TestSupport::Utf8;

namespace {

constexpr WPARAM kOwnCloseRequest = 1000;
constexpr DWORD kTimeoutMs = 90000;
const POINT kInstallButton = {241, 207};  // middle of "btn_install" in the shipped skin
// "btn_start" alone is centred on the finish view; this point lies inside it also where a hidden
// neighbour would keep its place.
const POINT kStartButton = {330, 207};
const wchar_t kProgramName[] = L"e2e-setup";

std::wstring BuildFile(const std::wstring& name) {
  std::wstring path = L"Z:" + TestSupport::Wide(SETUP_BINARY_DIR) + L"/" + name;
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

std::wstring WorkDir() { return GetProgramFilesDir() + L"pelarin_down\\" + kProgramName + L"\\"; }
std::string Log() { return ReadFileBytes(WorkDir() + L"Log\\pelarin_down.log"); }

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool InOrder(const std::string& text, std::initializer_list<const char*> parts) {
  size_t at = 0;
  for (const char* part : parts) {
    at = text.find(part, at);
    if (at == std::string::npos) return false;
  }
  return true;
}

template <typename Done>
bool WaitFor(Done done, DWORD timeoutMs = kTimeoutMs) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > timeoutMs) return false;
    ::Sleep(50);
  }
  return true;
}

// The pack's download address, read from the pack the program unpacked.
std::wstring DownloadUrl() {
  wchar_t url[512] = {};
  ::GetPrivateProfileStringW(L"URL", IsWindows64() ? L"STR_DOWN_URL_X64" : L"STR_DOWN_URL", L"", url, 512,
                             (WorkDir() + L"language\\English\\UrlInfo.ini").c_str());
  return url;
}

// Puts the sample installer where the address points on the loopback server.
bool ServeSampleInstaller(const std::wstring& url) {
  const std::wstring prefix = L"https://localhost/";
  if (url.rfind(prefix, 0) != 0) return false;
  std::wstring target = TestServers::WebRoot() + url.substr(prefix.size());
  for (wchar_t& c : target) c = c == L'/' ? L'\\' : c;
  ::CreateDirectoryW(target.substr(0, target.rfind(L'\\')).c_str(), nullptr);
  return ::CopyFileW(BuildFile(L"tests/fixtures/SampleInstaller.exe").c_str(), target.c_str(), FALSE) != FALSE;
}

// The installer started from a scratch folder under its own name, and its window.
class Installer {
 public:
  Installer() : path_(folder_ / (std::wstring(kProgramName) + L".exe")) {
    TestSupport::RemoveTree(WorkDir());
    ::CopyFileW(BuildFile(L"setup-loopback.exe").c_str(), path_.c_str(), FALSE);
    process_ = std::make_unique<TestSupport::InstallerProcess>(path_);
  }
  ~Installer() {
    process_.reset();  // ends a copy a failed test left running before its work folder goes
    TestSupport::RemoveTree(WorkDir());
  }
  HWND WaitForWindow() { return window_ = process_->WaitForWindow(kTimeoutMs); }
  // The toolkit places its controls when it paints; a click that overtook the first paint of a view
  // would find nothing under it, so the window paints what is pending first.
  void Click(POINT at) {
    ::UpdateWindow(window_);
    const LPARAM where = MAKELPARAM(at.x, at.y);
    ::PostMessageW(window_, WM_MOUSEMOVE, 0, where);
    ::PostMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, where);
    ::PostMessageW(window_, WM_LBUTTONUP, 0, where);
  }
  int WaitForExit() { return process_->WaitForExit(kTimeoutMs); }

 private:
  TestSupport::ScratchDir folder_{L"e2e"};
  std::wstring path_;
  std::unique_ptr<TestSupport::InstallerProcess> process_;
  HWND window_ = nullptr;
};

struct BoxSearch {
  HWND owner;
  HWND box;
};

BOOL CALLBACK MatchBox(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  wchar_t cls[16] = {};
  ::GetClassNameW(hwnd, cls, 16);
  if (std::wstring(cls) != L"#32770" || ::GetWindow(hwnd, GW_OWNER) != search->owner || !::IsWindowVisible(hwnd))
    return TRUE;
  search->box = hwnd;
  return FALSE;
}

// Waits for a message box of the window, returns its text and presses `answer` on it.
std::wstring AnswerBox(HWND owner, int answer) {
  BoxSearch search = {owner, nullptr};
  if (!WaitFor([&] { return ::EnumWindows(&MatchBox, reinterpret_cast<LPARAM>(&search)), search.box != nullptr; },
               30000))
    return L"(no box)";
  wchar_t text[1024] = {};
  ::GetWindowTextW(::GetDlgItem(search.box, 0xFFFF), text, 1024);
  ::PostMessageW(search.box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
  return text;
}

std::wstring PackText(const wchar_t* key) {
  wchar_t text[512] = {};
  ::GetPrivateProfileStringW(L"LANSTR", key, L"", text, 512, (WorkDir() + L"language\\English\\text.ini").c_str());
  return text;
}

}  // namespace

// Install clicked on the home page: the sample installer is downloaded from nginx, checked and run
// silently into the product folder; the finish view comes, the temporary files are gone, the three
// analytics events reached the server, and closing the finish view asks nothing.
TEST(EndToEnd, InstallsTheSampleProductThroughTheWindow) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring installFolder = GetProgramFilesDir();
  const std::wstring product = installFolder + L"Brenmark Solvetta\\";
  TestSupport::RemoveTree(product);
  TestServers::LogMark server(TestServers::ServerLog::kNginx);

  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller(DownloadUrl())) << Utf8(DownloadUrl());
  installer.Click(kInstallButton);

  ASSERT_TRUE(WaitFor([] { return Log().find("InstallExeFinish") != std::string::npos; })) << Log();
  EXPECT_TRUE(WaitFor([&] { return server.CountLines("collect?") >= 3; }, 20000)) << server.Text();
  EXPECT_EQ(1, server.CountLines("Downloader_Start_Install"));
  EXPECT_EQ(1, server.CountLines("Downloader_Installed"));
  EXPECT_EQ(1, server.CountLines("Installed_Succeed"));

  EXPECT_EQ("com_english", ReadFileBytes(product + L"domain"));
  EXPECT_TRUE(IsFile(product + L"Solvetta.exe"));
  EXPECT_EQ(Utf8(BuildSilentCommandLine(installFolder, WorkDir() + L"temp.progress")),
            ReadFileBytes(product + L"install-command-line.txt"));
  EXPECT_TRUE(WaitFor([] { return !IsFile(WorkDir() + L"pelarin-download.exe"); }, 5000));
  EXPECT_FALSE(IsFile(WorkDir() + L"temp.progress"));
  std::string log = Log();
  EXPECT_TRUE(InOrder(log, {"UpdateWindowSate:kWindow_Init", "OnClickInstall", "sel path end",
                            "UpdateWindowSate:kWindow_Downloading", "HttpDownloadEnd\xA3\xBASuccess",
                            "UpdateWindowSate:kWindow_Installing", "StartInstallExe\xA3\xBASilentInstallation",
                            "UpdateWindowSate:kWindow_Finish", "InstallExeFinish"}))
      << log;

  // Started with Arabic as the interface language, the installer ran in Arabic.
  const char* lang = std::getenv("LANG");
  if (lang && std::string(lang).rfind("ar", 0) == 0) {
    EXPECT_TRUE(Contains(log, "Language Code:1025")) << log;
  }

  ::PostMessageW(window, WM_CLOSE, 1, 0);  // the title bar's close: no question on the finish view
  EXPECT_EQ(0, installer.WaitForExit());
  TestSupport::RemoveTree(product);
}

// Closing the home page asks; No keeps the window, Yes ends the program with 0.
TEST(EndToEnd, ClosingTheHomePageAsksFirst) {
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  std::wstring asked = AnswerBox(window, IDNO);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP1"), asked);
  EXPECT_FALSE(asked.empty());
  ::Sleep(300);
  EXPECT_TRUE(::IsWindow(window));
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  AnswerBox(window, IDYES);
  EXPECT_EQ(0, installer.WaitForExit());
}

// A download that is not the pack's installer (its digest differs) asks the failure question;
// Abort closes the window without another question and leaves no installer behind.
TEST(EndToEnd, AFailedDownloadAnsweredAbortCloses) {
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  const std::wstring url = DownloadUrl();
  ASSERT_TRUE(ServeSampleInstaller(url));
  std::wstring target = TestServers::WebRoot() + url.substr(std::wstring(L"https://localhost/").size());
  for (wchar_t& c : target) c = c == L'/' ? L'\\' : c;
  ASSERT_TRUE(TestSupport::WriteFileBytes(target, std::string(4096, 'x')));
  installer.Click(kInstallButton);
  std::wstring asked = AnswerBox(window, IDABORT);
  EXPECT_EQ(PackText(L"STR_NETWORK_ERROR") + L"\n\n" + PackText(L"STR_OPERATE_TIP"), asked) << Utf8(asked);
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
  EXPECT_TRUE(InOrder(Log(), {"UpdateWindowSate:kWindow_Downloading", "HttpDownloadEnd\xA3\xBA" "Failed"})) << Log();
  ASSERT_TRUE(ServeSampleInstaller(url));  // the other suites expect the real one there
}

// Start on the finish view launches the installed product and closes the window without a question.
TEST(EndToEnd, StartLaunchesTheProductAndCloses) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring product = GetProgramFilesDir() + L"Brenmark Solvetta\\";
  TestSupport::RemoveTree(product);
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller(DownloadUrl()));
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitFor([] { return Log().find("InstallExeFinish") != std::string::npos; })) << Log();
  ::Sleep(200);  // the finish view is applied on the window's thread
  installer.Click(kStartButton);
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_TRUE(WaitFor([&] { return IsFile(product + L"launched.txt"); }, 20000));
  TestSupport::RemoveTree(product);
}
