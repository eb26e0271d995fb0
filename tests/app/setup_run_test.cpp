#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "AppRun.h"
#include "base/Scoped.h"

using TestSupport::IsFile;
using TestSupport::IsFolder;
using namespace AppRun;

namespace {

const wchar_t* const kLanguages[] = {L"Arabic",     L"Chinese",  L"ChineseTW", L"English", L"French",
                                     L"Indonesian", L"Japanese", L"Korean",    L"Spanish", L"Swedish"};
const wchar_t* const kLanguageFiles[] = {L"pr_1.png", L"pr_2.png", L"pr_3.png", L"text.ini", L"UrlInfo.ini"};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(SetupRun, FirstStartUnpacksThePackAndLogsTheStartUpFacts) {
  InstallerCopy installer(L"setup.exe");
  ASSERT_EQ(kCancelled, RunInstaller(installer.path()));

  EXPECT_TRUE(IsFile(installer.pack() + L"language.ini"));
  EXPECT_TRUE(IsFile(installer.pack() + L"productInfo.ini"));
  for (const wchar_t* language : kLanguages) {
    for (const wchar_t* file : kLanguageFiles) {
      EXPECT_TRUE(IsFile(installer.pack() + language + L"\\" + file)) << TestSupport::Utf8(file);
    }
  }

  std::string log = installer.log();
  for (const char* line : {"LoadResZipFile", "Language Code:", "LoadDomainFile", "Domain:com_english\r\n",
                           "Windows Version:", "Windows Bit:x64", "downloader version:1.0.0.1",
                           "DownloadRatio:90  ==== ReadFileTimeout:1500"}) {
    EXPECT_TRUE(Contains(log, line)) << line << "\n" << log;
  }
  // Start-up order: the pack is unpacked before the language is chosen, the site tag read after.
  EXPECT_LT(log.find("LoadResZipFile"), log.find("Language Code:"));
  EXPECT_LT(log.find("Language Code:"), log.find("LoadDomainFile"));
}

TEST(SetupRun, TheLoopbackPackPointsEveryAddressAtLocalhost) {
  InstallerCopy installer(L"setup.exe");
  ASSERT_EQ(kCancelled, RunInstaller(installer.path()));
  std::string urls = ReadFileBytes(installer.pack() + L"English\\UrlInfo.ini");
  ASSERT_GE(urls.size(), 2u);
  std::wstring text(reinterpret_cast<const wchar_t*>(urls.data() + 2), (urls.size() - 2) / 2);
  EXPECT_NE(text.find(L"STR_DOWN_URL=https://localhost/solvetta/brenmark-solvetta_setup_x64.exe\r\n"),
            std::wstring::npos);
  EXPECT_NE(text.find(L"STR_LICENCE_URL=https://localhost/producturl?key=license_agreement&lang=English&pid=2100\r\n"),
            std::wstring::npos);
  EXPECT_EQ(text.find(L"@"), std::wstring::npos);
}

TEST(SetupRun, ASecondStartRewritesThePackAndKeepsForeignFiles) {
  InstallerCopy installer(L"setup.exe");
  ASSERT_EQ(kCancelled, RunInstaller(installer.path()));
  std::wstring text = installer.pack() + L"English\\text.ini";
  std::string original = ReadFileBytes(text);
  ASSERT_FALSE(original.empty());
  ASSERT_TRUE(TestSupport::WriteFileBytes(text, "damaged"));
  ASSERT_TRUE(TestSupport::WriteFileBytes(installer.pack() + L"notes.txt", "mine"));

  ASSERT_EQ(kCancelled, RunInstaller(installer.path()));
  EXPECT_EQ(ReadFileBytes(text), original);
  EXPECT_EQ(ReadFileBytes(installer.pack() + L"notes.txt"), "mine");
  // The log is appended to, not replaced.
  std::string log = installer.log();
  EXPECT_NE(log.find("LoadResZipFile"), log.rfind("LoadResZipFile"));
}

TEST(SetupRun, TheWorkFolderIsNamedAfterTheProgramFileUpToItsLastDot) {
  InstallerCopy installer(L"Install.beta.exe");
  ASSERT_EQ(kCancelled, RunInstaller(installer.path()));
  EXPECT_TRUE(IsFolder(WorkDirFor(L"Install.beta") + L"language"));
  EXPECT_TRUE(IsFile(WorkDirFor(L"Install.beta") + L"Log\\pelarin_down.log"));
}

// A second start of the same file ends at once with 1618 ("another install is running"), says so as
// its log's last line, and leaves the first copy running; a copy under another file name runs beside
// them.
TEST(SetupRun, ASecondCopyOfTheSameFileEndsWithAlreadyRunning) {
  InstallerCopy installer(L"setup.exe");
  RunningInstaller first(installer.path());
  HWND window = first.WaitForWindow();
  ASSERT_NE(nullptr, window);
  TestSupport::ScratchDir logs(L"app-log");
  RunningInstaller second(installer.path(), L"/quiet /log=\"" + (logs / L"second copy.log") + L"\"");
  EXPECT_EQ(1618, second.WaitForExit());
  EXPECT_TRUE(::IsWindow(window));
  const std::string log = ReadFileBytes(logs / L"second copy.log");
  const std::string last = "exit code 1618: another copy of this installer is running\r\n ";
  EXPECT_EQ(last, log.substr(log.size() < last.size() ? 0 : log.size() - last.size())) << log;

  InstallerCopy other(L"Setup (1).exe");
  RunningInstaller beside(other.path());
  HWND otherWindow = beside.WaitForWindow();
  EXPECT_NE(nullptr, otherWindow);
  if (otherWindow) ::PostMessageW(otherWindow, WM_CLOSE, kOwnCloseRequest, 0);
  EXPECT_EQ(kCancelled, beside.WaitForExit());

  ::PostMessageW(window, WM_CLOSE, kOwnCloseRequest, 0);
  EXPECT_EQ(kCancelled, first.WaitForExit());
}

// The window is centred in the work area of its monitor.
TEST(SetupRun, TheWindowOpensCentredInTheWorkArea) {
  InstallerCopy installer(L"setup.exe");
  RunningInstaller running(installer.path());
  HWND window = running.WaitForWindow();
  ASSERT_NE(nullptr, window);
  MONITORINFO info = {sizeof(info)};
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  const RECT& work = info.rcWork;
  // The window is created visible and centred right after, so a busy machine may show it in between.
  RECT rc = {};
  for (int waited = 0; waited < 5000; waited += 50, ::Sleep(50)) {
    ::GetWindowRect(window, &rc);
    if (rc.left != 0 || rc.top != 0) break;
  }
  EXPECT_EQ((work.left + work.right) / 2 - (rc.right - rc.left) / 2, rc.left);
  EXPECT_EQ((work.top + work.bottom) / 2 - (rc.bottom - rc.top) / 2, rc.top);
  EXPECT_EQ(650, rc.right - rc.left);
  EXPECT_EQ(360, rc.bottom - rc.top);
  ::PostMessageW(window, WM_CLOSE, kOwnCloseRequest, 0);
  EXPECT_EQ(kCancelled, running.WaitForExit());
}
