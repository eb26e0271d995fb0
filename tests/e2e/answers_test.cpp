#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "E2eSupport.h"
#include "TestServers.h"
#include "base/Scoped.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::Utf8;

namespace {

int WindowHeight(HWND window) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  return rect.bottom - rect.top;
}

std::wstring FailureQuestion() { return PackText(L"STR_NETWORK_ERROR") + L"\n\n" + PackText(L"STR_OPERATE_TIP"); }

// The question about a downloaded file that is not the one the pack pins.
std::wstring RefusedQuestion() { return ShownText(L"STR_PAYLOAD_REFUSED") + L"\n\n" + PackText(L"STR_OPERATE_TIP"); }

// The question about the running product: the pack's text names the product.
std::wstring RunningProductQuestion() { return ShownText(L"STR_SOFT_RUN"); }

const char kFailed[] =
    "HttpDownloadEnd\xA3\xBA"
    "Failed";
const char kSucceeded[] =
    "HttpDownloadEnd\xA3\xBA"
    "Success";

// Each test starts the installer with the sample installer served and no product installed; the
// sample installer steps its progress every `stepMs`.
class EndToEndAnswers : public ::testing::Test {
 protected:
  void Start(const wchar_t* stepMs = L"30", const wchar_t* build = L"setup-loopback.exe") {
    ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", stepMs);
    installer_ = std::make_unique<Installer>(kProgramName, build);
    window_ = installer_->WaitForWindow();
    ASSERT_NE(nullptr, window_);
    ASSERT_TRUE(ServeSampleInstaller());
  }
  // Serves a file that is not the pack's installer (its digest differs) and clicks Install.
  void InstallAWrongFile() {
    ASSERT_TRUE(TestSupport::WriteFileBytes(ServedInstallerPath(), std::string(4096, 'x')));
    installer_->Click(kInstallButton);
  }
  // Closes the finish view (no question there) and expects the program's exit code 0.
  void CloseFinished() {
    ::PostMessageW(window_, WM_CLOSE, 1, 0);
    EXPECT_EQ(0, installer_->WaitForExit());
  }
  void TearDown() override { ServeSampleInstaller(); }  // the other tests expect the real one there

  std::unique_ptr<Installer> installer_;
  HWND window_ = nullptr;
  CleanProduct clean_;  // goes first: ends the sample installer before the work folder is removed
};

}  // namespace

// A download that is not the pack's installer asks the failure question, saying the file was wrong
// and nothing ran; Abort closes the window without another question and leaves no installer behind.
TEST_F(EndToEndAnswers, AFailedDownloadAnsweredAbortCloses) {
  Start();
  InstallAWrongFile();
  EXPECT_EQ(RefusedQuestion(), AnswerBox(window_, IDABORT));
  EXPECT_EQ(1620, installer_->WaitForExit());
  EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
  EXPECT_TRUE(InOrder(Log(), {"UpdateWindowSate:kWindow_Downloading", kFailed})) << Log();
}

// The sample installer as another publisher signed it, and unsigned: the user gets the failure
// question, the file is gone before anything could start it, and nothing is installed.
TEST_F(EndToEndAnswers, AnInstallerNotSignedByThePinnedPublisherIsNeverStarted) {
  for (const wchar_t* variant :
       {L"tests/fixtures/SampleInstaller-other.exe", L"tests/fixtures/SampleInstaller-unsigned.exe"}) {
    CleanProduct clean;
    Start();
    ASSERT_TRUE(::CopyFileW(BuildFile(variant).c_str(), ServedInstallerPath().c_str(), FALSE));
    installer_->Click(kInstallButton);
    EXPECT_EQ(RefusedQuestion(), AnswerBox(window_, IDABORT));
    EXPECT_EQ(1620, installer_->WaitForExit());
    EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
    EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
    EXPECT_EQ(0u, RunningProcess(L"pelarin-download.tmp"));
    EXPECT_TRUE(InOrder(Log(), {"payload policy:", "ERR:VerifyPayload refused the download", kFailed})) << Log();
  }
}

// Every range's first connection breaks after 64 KiB (the fault server behind nginx); the downloader
// takes each range up again where it broke off and the installation completes.
TEST_F(EndToEndAnswers, ConnectionsCutMidwayAreRetriedAndTheInstallCompletes) {
  Start();
  const std::string path = Utf8(DownloadUrl().substr(std::wstring(L"https://localhost/").size()));
  ServerSwitch route(L".fault-route", "cutfirst/65536/" + TestServers::UniqueToken("e2e-cut"));
  TestServers::LogMark fault(TestServers::ServerLog::kFault);
  installer_->Click(kInstallButton);

  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_TRUE(Contains(Log(), kSucceeded)) << Log();
  // Each range asked again for what its first answer did not bring.
  EXPECT_EQ(fault.CountLines(("GET /route/" + path + " \"bytes=0-").c_str()), 1) << fault.Text();
  EXPECT_GE(fault.CountLines(("GET /route/" + path + " \"bytes=").c_str()), 10) << fault.Text();
  EXPECT_EQ(fault.CountLines(("GET /route/" + path + " \"bytes=65536-").c_str()), 1) << fault.Text();
  EXPECT_TRUE(IsFile(ProductDir() + kProductImage));
  CloseFinished();
}

// With HTTPS refused, the download falls back to plain HTTP, wholly: the digest in the pack names the
// one file that may run, so the installation goes on.
TEST_F(EndToEndAnswers, ARefusedHttpsConnectionDownloadsOverPlainHttp) {
  Start();
  const std::string path = Utf8(DownloadUrl().substr(std::wstring(L"https://localhost").size()));
  ServerSwitch refuse(L".refuse-https");
  TestServers::LogMark server(TestServers::ServerLog::kNginx);
  installer_->Click(kInstallButton);

  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_GE(server.CountLines(("http 80 GET \"" + path + "\" 206").c_str()), 1) << server.Text();
  // HTTPS is tried first (the size query), and once the size came over plain HTTP every range follows it.
  EXPECT_GE(server.CountLines(("https 443 HEAD \"" + path + "\" 444").c_str()), 1) << server.Text();
  EXPECT_EQ(0, server.CountLines(("https 443 GET \"" + path + "\" 2").c_str())) << server.Text();
  EXPECT_TRUE(IsFile(ProductDir() + kProductImage));
  CloseFinished();
}

// A pack that pins the publisher alone names no one file: anything that publisher ever signed would
// pass its check. With HTTPS refused the download fails instead of falling back, and not one request
// for the installer reaches port 80.
TEST_F(EndToEndAnswers, APublisherPinAloneNeverFallsBackToPlainHttp) {
  Start(L"30", L"setup-publisher-loopback.exe");
  const std::string path = Utf8(DownloadUrl().substr(std::wstring(L"https://localhost").size()));
  ServerSwitch refuse(L".refuse-https");
  TestServers::LogMark server(TestServers::ServerLog::kNginx);
  installer_->Click(kInstallButton);

  EXPECT_EQ(FailureQuestion(), AnswerBox(window_, IDABORT, kTimeoutMs)) << Log();
  EXPECT_EQ(1619, installer_->WaitForExit());
  EXPECT_GE(server.CountLines(("https 443 HEAD \"" + path + "\" 444").c_str()), 1) << server.Text();
  EXPECT_EQ(0, server.CountLines(("http 80 HEAD \"" + path).c_str())) << server.Text();
  EXPECT_EQ(0, server.CountLines(("http 80 GET \"" + path).c_str())) << server.Text();
  EXPECT_TRUE(InOrder(Log(), {"payload policy: publisher, publisher", "HTTPS only", kFailed})) << Log();
  EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
}

// The installer missing on the server fails the download; Retry once it is back installs.
TEST_F(EndToEndAnswers, AMissingInstallerAnsweredRetryInstallsOnceItIsBack) {
  Start();
  ::DeleteFileW(ServedInstallerPath().c_str());
  installer_->Click(kInstallButton);

  ASSERT_TRUE(WaitForLog(kFailed)) << Log();
  ASSERT_TRUE(ServeSampleInstaller());
  EXPECT_EQ(FailureQuestion(), AnswerBox(window_, IDRETRY));
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  const std::string log = Log();
  EXPECT_TRUE(InOrder(log, {kFailed, kSucceeded, "UpdateWindowSate:kWindow_Installing", "InstallExeFinish"})) << log;
  EXPECT_EQ(1, CountOf(log, "UpdateWindowSate:kWindow_Downloading")) << log;  // Retry keeps the page
  EXPECT_TRUE(IsFile(ProductDir() + kProductImage));
  CloseFinished();
}

// Ignore leaves the download to the browser and brings the home page back, from which Install works.
TEST_F(EndToEndAnswers, AFailedDownloadAnsweredIgnoreReturnsToTheHomePage) {
  Start();
  InstallAWrongFile();
  EXPECT_EQ(RefusedQuestion(), AnswerBox(window_, IDIGNORE));
  ASSERT_TRUE(WaitFor([] { return CountOf(Log(), "UpdateWindowSate:kWindow_Init") == 2; })) << Log();
  EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
  EXPECT_TRUE(::IsWindowVisible(window_));

  ASSERT_TRUE(ServeSampleInstaller());
  installer_->Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_TRUE(InOrder(Log(), {kFailed, "UpdateWindowSate:kWindow_Init", "OnClickInstall", kSucceeded})) << Log();
  CloseFinished();
}

// A running product is named in a question; OK ends it and the installation goes on.
TEST_F(EndToEndAnswers, TheRunningProductIsEndedWhenTheUserAgrees) {
  RunningProduct product;
  ASSERT_TRUE(product.Running());
  Start();
  installer_->Click(kInstallButton);

  EXPECT_EQ(RunningProductQuestion(), AnswerBox(window_, IDOK));
  EXPECT_TRUE(product.EndsWithin(10000));
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_TRUE(InOrder(Log(), {"UpdateWindowSate:kWindow_Installing",
                              "StartInstallExe\xA3\xBA"
                              "FindProcess",
                              "StartInstallExe\xA3\xBA"
                              "SilentInstallation",
                              "UpdateWindowSate:kWindow_Finish", "InstallExeFinish"}))
      << Log();
  CloseFinished();
}

// Cancel leaves the running product alone, installs nothing and closes without another question.
TEST_F(EndToEndAnswers, TheRunningProductStaysWhenTheUserCancels) {
  RunningProduct product;
  Start();
  installer_->Click(kInstallButton);

  EXPECT_EQ(RunningProductQuestion(), AnswerBox(window_, IDCANCEL));
  EXPECT_EQ(1602, installer_->WaitForExit());
  EXPECT_TRUE(product.Running());
  EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
  EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
  EXPECT_FALSE(Contains(Log(), "SilentInstallation")) << Log();
}

// The installer on the server needs three times its size on the drive chosen in the folder chooser,
// a drive of a few MiB: the storage message names what it needs, OK brings the home page back (the
// close question is the home page's), nothing is downloaded, and the log keeps both sizes.
TEST_F(EndToEndAnswers, AFullDriveShowsTheStorageMessageAndOkReturnsToTheHomePage) {
  int freeMB = 0;
  std::string why;
  if (!TestSupport::SmallDriveFreeMB(SETUP_SMALL_DRIVE L"\\", freeMB, why)) GTEST_SKIP() << why;
  Start();
  ASSERT_TRUE(TestServers::MakeHollowFile(ServedInstallerPath(), 16LL << 20));
  const int closed = WindowHeight(window_);
  installer_->Click(kFoldBox);
  ASSERT_TRUE(WaitFor([&] { return WindowHeight(window_) == closed + kFoldHeight; }, 10000));
  installer_->Click(kBrowseButton);
  ASSERT_TRUE(ChooseFolder(window_, SETUP_SMALL_DRIVE L"\\", SETUP_SMALL_DRIVE));
  // The path is set as the chooser returns, before the window takes its next message.
  ASSERT_TRUE(WaitFor([&] { return TestSupport::FindShownDialog(window_) == nullptr; }, 10000));
  installer_->Click(kInstallButton);

  const std::wstring unit = PackText(L"STR_MB").empty() ? L"MB" : PackText(L"STR_MB");
  EXPECT_EQ(PackText(L"STR_STORAGE") + L" 48 " + unit, AnswerBox(window_, IDOK));
  ASSERT_TRUE(WaitFor([] { return CountOf(Log(), "UpdateWindowSate:kWindow_Init") == 2; }, 10000)) << Log();
  const std::string log = Log();
  const std::string sizes =
      "OnClickInstall\xA3\xBA"
      "filesize:16MB--FreeSize:" +
      std::to_string(freeMB) + "MB";
  // The space check's worker may finish before the window shows the progress page: the background
  // download already knows the size.
  EXPECT_TRUE(InOrder(log, {("sel path:" + Utf8(SETUP_SMALL_DRIVE) + "\\").c_str(), "get disk size end", sizes.c_str(),
                            "UpdateWindowSate:kWindow_Init"}))
      << log;
  // No download of the install's own starts, nor does it take over the background one.
  const std::string afterClick = log.substr(log.rfind("OnClickInstall"));
  EXPECT_FALSE(Contains(afterClick, "Download....")) << log;
  EXPECT_FALSE(Contains(afterClick, "prefetch: the install takes over")) << log;
  EXPECT_FALSE(Contains(afterClick, "prefetch: the full installer was already there")) << log;

  ::PostMessageW(window_, WM_CLOSE, 1, 0);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP1"), AnswerBox(window_, IDYES));
  EXPECT_EQ(1602, installer_->WaitForExit());
}

// The drive of the work folder fills up during the download: the server names no size, so the space
// check cannot see it coming. The failure question says the disk is to blame, not the network, and
// Abort leaves no partial installer taking the room. The installer runs as "e2e-full.exe", whose work
// folder the e2e_full_workdir fixture links to the small drive.
TEST_F(EndToEndAnswers, AFullDiskDuringTheDownloadAsksAboutTheDisk) {
  int freeMB = 0;
  std::string why;
  if (!TestSupport::SmallDriveFreeMB(SETUP_SMALL_DRIVE L"\\", freeMB, why)) GTEST_SKIP() << why;
  const wchar_t* name = L"e2e-full";
  ServerSwitch route(L".fault-route", "stream");
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  installer_ = std::make_unique<Installer>(name);
  window_ = installer_->WaitForWindow();
  ASSERT_NE(nullptr, window_);
  ASSERT_TRUE(TestServers::MakeHollowFile(ServedInstallerPath(name), static_cast<long long>(freeMB + 8) << 20));
  const std::wstring question = PackText(L"STR_DISK_ERROR", name) + L"\n\n" + PackText(L"STR_OPERATE_TIP", name);
  ASSERT_NE(question.find(L"disk is full"), std::wstring::npos) << Utf8(question);
  installer_->Click(kInstallButton);
  EXPECT_EQ(question, AnswerBox(window_, IDABORT, 60000)) << LogOf(name);
  EXPECT_EQ(1619, installer_->WaitForExit());
  EXPECT_FALSE(IsFile(WorkDirOf(name) + L"pelarin-download.exe"));
  EXPECT_TRUE(Contains(LogOf(name), "the server names no size")) << LogOf(name);
}

// Hide minimises the window while the full installer runs; the finish view leaves it minimised, as
// the user put it away.
TEST_F(EndToEndAnswers, HideMinimisesAndTheFinishLeavesTheWindowMinimised) {
  Start(L"150");
  installer_->Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Installing")) << Log();
  installer_->Click(kHideButton);
  EXPECT_TRUE(WaitFor([&] { return ::IsIconic(window_) != FALSE; }, 10000));

  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  // The clean-up follows the finish view.
  ASSERT_TRUE(WaitFor([] { return !IsFile(WorkDir() + L"pelarin-download.exe"); }, 10000));
  EXPECT_TRUE(::IsIconic(window_));
  EXPECT_TRUE(::IsWindowVisible(window_));
  CloseFinished();
}

// The options box opens the path row below the window's body and closes it again.
TEST_F(EndToEndAnswers, TheFoldBoxGrowsAndShrinksTheWindow) {
  Start();
  const int closed = WindowHeight(window_);
  installer_->Click(kFoldBox);
  EXPECT_TRUE(WaitFor([&] { return WindowHeight(window_) == closed + kFoldHeight; }, 10000)) << WindowHeight(window_);
  installer_->Click(kFoldBox);
  EXPECT_TRUE(WaitFor([&] { return WindowHeight(window_) == closed; }, 10000)) << WindowHeight(window_);
  ::PostMessageW(window_, WM_CLOSE, 1, 0);
  AnswerBox(window_, IDYES);
  EXPECT_EQ(1602, installer_->WaitForExit());
}

// Closing during the download asks the installation question; No carries on, Yes ends the program and
// keeps the partial download with its state for the next run.
TEST_F(EndToEndAnswers, ClosingDuringTheDownloadAsksTheInstallationQuestion) {
  ServerSwitch slow(L".slow-downloads");
  Start();
  installer_->Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Downloading")) << Log();
  // Bytes have come (the size query's handshake may take longer than the questions below).
  ASSERT_TRUE(WaitFor([] { return IsFile(WorkDir() + L"pelarin-download.exe.state"); }, 20000)) << Log();

  ::PostMessageW(window_, WM_CLOSE, 1, 0);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP2"), AnswerBox(window_, IDNO));
  ::Sleep(300);
  EXPECT_TRUE(::IsWindow(window_));
  EXPECT_FALSE(Contains(Log(), "HttpDownloadEnd")) << Log();
  ::PostMessageW(window_, WM_CLOSE, 1, 0);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP2"), AnswerBox(window_, IDYES));
  EXPECT_EQ(1602, installer_->WaitForExit());
  EXPECT_TRUE(IsFile(WorkDir() + L"pelarin-download.exe")) << Log();
  EXPECT_TRUE(IsFile(WorkDir() + L"pelarin-download.exe.state"));
  EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
  ::DeleteFileW((WorkDir() + L"pelarin-download.exe").c_str());
  ::DeleteFileW((WorkDir() + L"pelarin-download.exe.state").c_str());
}

// Closing while the full installer runs asks the same question; Yes ends the installer's helper.
TEST_F(EndToEndAnswers, ClosingDuringTheInstallationEndsTheInstallersHelper) {
  Start(L"3000");
  installer_->Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Installing")) << Log();
  ASSERT_TRUE(WaitFor([] { return RunningProcess(kHelperImage) != 0; }, 20000));

  ::PostMessageW(window_, WM_CLOSE, 1, 0);
  EXPECT_EQ(PackText(L"STR_CLOSE_TIP2"), AnswerBox(window_, IDYES));
  EXPECT_EQ(1602, installer_->WaitForExit());
  EXPECT_TRUE(WaitFor([] { return RunningProcess(kHelperImage) == 0; }, 10000));
  EXPECT_TRUE(Contains(Log(), "KillSilentInstallProcess")) << Log();
}
