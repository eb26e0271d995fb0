#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "E2eSupport.h"
#include "TestServers.h"
#include "tool/ScopedWin.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::Utf8;

namespace {

const wchar_t kProductImage[] = L"Solvetta.exe";
const wchar_t kHelperImage[] = L"pelarin-download.tmp";
const wchar_t kSampleInstallerImage[] = L"pelarin-download.exe";

// A switch file of the loopback server, on for the lifetime of the object.
class ServerSwitch {
 public:
  explicit ServerSwitch(const wchar_t* name) : name_(name) { SetServerSwitch(name_, true); }
  ~ServerSwitch() { SetServerSwitch(name_, false); }

 private:
  const wchar_t* name_;
};

// Leaves no product folder and no sample installer or helper running behind a test.
class CleanProduct {
 public:
  CleanProduct() { Clean(); }
  ~CleanProduct() { Clean(); }

 private:
  static void Clean() {
    EndProcesses(kSampleInstallerImage);
    EndProcesses(kHelperImage);
    EndProcesses(kProductImage);
    TestSupport::RemoveTree(ProductDir());
  }
};

// The sample product started from a scratch folder under the product's image name, still running.
class RunningProduct {
 public:
  RunningProduct() {
    const std::wstring exe = folder_ / kProductImage;
    ::CopyFileW(BuildFile(L"tests/fixtures/SampleProduct.exe").c_str(), exe.c_str(), FALSE);
    std::wstring line = L"\"" + exe + L"\" /stay";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (::CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      process_.reset(info.hProcess);
      ::CloseHandle(info.hThread);
    }
  }
  ~RunningProduct() {
    if (Running()) ::TerminateProcess(process_.get(), 1);
  }
  bool Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  bool EndsWithin(DWORD ms) const { return process_ && ::WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0; }

 private:
  TestSupport::ScratchDir folder_{L"product"};
  Scoped::CloseHandle process_;
};

int WindowHeight(HWND window) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  return rect.bottom - rect.top;
}

// The question about the running product, as the window shows it: the pack's text names the product.
std::wstring RunningProductQuestion() {
  std::wstring text = PackText(L"STR_SOFT_RUN");
  const size_t at = text.find(L"PRODUCT");
  return at == std::wstring::npos ? text : text.replace(at, 7, L"Brenmark Solvetta");
}

const char kFailed[] = "HttpDownloadEnd\xA3\xBA" "Failed";
const char kSucceeded[] = "HttpDownloadEnd\xA3\xBA" "Success";

}  // namespace

// With HTTPS refused, the download falls back to plain HTTP; the digest in the pack still vouches for
// the file, so the installation goes on.
TEST(EndToEndAnswers, ARefusedHttpsConnectionDownloadsOverPlainHttp) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  CleanProduct clean;
  Installer installer;
  ASSERT_NE(nullptr, installer.WaitForWindow());
  ASSERT_TRUE(ServeSampleInstaller());
  const std::string path = Utf8(DownloadUrl().substr(std::wstring(L"https://localhost").size()));
  ServerSwitch refuse(L".refuse-https");
  TestServers::LogMark server(TestServers::ServerLog::kNginx);
  installer.Click(kInstallButton);

  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_GE(server.CountLines(("http 80 GET \"" + path + "\" 206").c_str()), 1) << server.Text();
  EXPECT_GE(server.CountLines(("https 443 GET \"" + path + "\" 444").c_str()), 1) << server.Text();
  EXPECT_EQ(0, server.CountLines(("https 443 GET \"" + path + "\" 2").c_str())) << server.Text();
  EXPECT_TRUE(IsFile(ProductDir() + kProductImage));
  ::PostMessageW(installer.window(), WM_CLOSE, 1, 0);
  EXPECT_EQ(0, installer.WaitForExit());
}

// The installer missing on the server fails the download; Retry once it is back installs.
TEST(EndToEndAnswers, AMissingInstallerAnsweredRetryInstallsOnceItIsBack) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  CleanProduct clean;
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  ::DeleteFileW(ServedInstallerPath().c_str());
  installer.Click(kInstallButton);

  ASSERT_TRUE(WaitForLog(kFailed)) << Log();
  ASSERT_TRUE(ServeSampleInstaller());
  EXPECT_EQ(PackText(L"STR_NETWORK_ERROR") + L"\n\n" + PackText(L"STR_OPERATE_TIP"), AnswerBox(window, IDRETRY));
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  const std::string log = Log();
  EXPECT_TRUE(InOrder(log, {kFailed, kSucceeded, "UpdateWindowSate:kWindow_Installing", "InstallExeFinish"})) << log;
  EXPECT_EQ(1, CountOf(log, "UpdateWindowSate:kWindow_Downloading")) << log;  // Retry keeps the page
  EXPECT_TRUE(IsFile(ProductDir() + kProductImage));
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(0, installer.WaitForExit());
}

// Ignore leaves the download to the browser and brings the home page back, from which Install works.
TEST(EndToEndAnswers, AFailedDownloadAnsweredIgnoreReturnsToTheHomePage) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  CleanProduct clean;
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  ASSERT_TRUE(TestSupport::WriteFileBytes(ServedInstallerPath(), std::string(4096, 'x')));
  installer.Click(kInstallButton);

  EXPECT_NE(L"(no box)", AnswerBox(window, IDIGNORE));
  ASSERT_TRUE(WaitFor([] { return CountOf(Log(), "UpdateWindowSate:kWindow_Init") == 2; })) << Log();
  EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
  EXPECT_TRUE(::IsWindowVisible(window));

  ASSERT_TRUE(ServeSampleInstaller());
  ::Sleep(200);  // the home page is applied on the window's thread
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_TRUE(InOrder(Log(), {kFailed, "UpdateWindowSate:kWindow_Init", "OnClickInstall", kSucceeded})) << Log();
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(0, installer.WaitForExit());
}

// A running product is named in a question; OK ends it and the installation goes on.
TEST(EndToEndAnswers, TheRunningProductIsEndedWhenTheUserAgrees) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  CleanProduct clean;
  RunningProduct product;
  ASSERT_TRUE(product.Running());
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  installer.Click(kInstallButton);

  EXPECT_EQ(RunningProductQuestion(), AnswerBox(window, IDOK));
  EXPECT_TRUE(product.EndsWithin(10000));
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_TRUE(InOrder(Log(), {"StartInstallExe\xA3\xBA" "FindProcess", "StartInstallExe\xA3\xBA" "SilentInstallation"}))
      << Log();
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(0, installer.WaitForExit());
}

// Cancel leaves the running product alone, installs nothing and closes without another question.
TEST(EndToEndAnswers, TheRunningProductStaysWhenTheUserCancels) {
  CleanProduct clean;
  RunningProduct product;
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  installer.Click(kInstallButton);

  EXPECT_EQ(RunningProductQuestion(), AnswerBox(window, IDCANCEL));
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_TRUE(product.Running());
  EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
  EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
  EXPECT_FALSE(Contains(Log(), "SilentInstallation")) << Log();
}

// The options box opens the path row below the window's body and closes it again.
TEST(EndToEndAnswers, TheFoldBoxGrowsAndShrinksTheWindow) {
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  const int closed = WindowHeight(window);
  installer.Click(kFoldBox);
  EXPECT_TRUE(WaitFor([&] { return WindowHeight(window) == closed + kFoldHeight; }, 10000)) << WindowHeight(window);
  installer.Click(kFoldBox);
  EXPECT_TRUE(WaitFor([&] { return WindowHeight(window) == closed; }, 10000)) << WindowHeight(window);
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  AnswerBox(window, IDYES);
  EXPECT_EQ(0, installer.WaitForExit());
}

// Closing during the download asks the installation question; No carries on, Yes ends the program.
TEST(EndToEndAnswers, ClosingDuringTheDownloadAsksTheInstallationQuestion) {
  CleanProduct clean;
  ServerSwitch slow(L".slow-downloads");
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Downloading")) << Log();

  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP2"), AnswerBox(window, IDNO));
  ::Sleep(300);
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_FALSE(Contains(Log(), "HttpDownloadEnd")) << Log();
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP2"), AnswerBox(window, IDYES));
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
}

// Closing while the full installer runs asks the same question; Yes ends the installer's helper.
TEST(EndToEndAnswers, ClosingDuringTheInstallationEndsTheInstallersHelper) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"3000");
  CleanProduct clean;
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Installing")) << Log();
  ASSERT_TRUE(WaitFor([] { return RunningProcess(kHelperImage) != 0; }, 20000));

  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP2"), AnswerBox(window, IDYES));
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_TRUE(WaitFor([] { return RunningProcess(kHelperImage) == 0; }, 10000));
  EXPECT_TRUE(Contains(Log(), "KillSilentInstallProcess")) << Log();
  EndProcesses(kSampleInstallerImage);  // it would go on writing into the work folder
}
