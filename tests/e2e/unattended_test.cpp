// Installs nobody watches: the loopback installer started with switches, as a software-distribution
// tool starts it, and judged by its exit code, its windows (none in a quiet run) and its log.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "E2eSupport.h"
#include "TestServers.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::Utf8;

namespace {

constexpr wchar_t kProductFolder[] = L"Brenmark Solvetta\\";

// The message of the last record of a log written by the installer: records end with a line end and
// a blank, and begin with the date and the time.
std::string LastRecord(const std::string& log) {
  const std::string trimmed = log.substr(0, log.find_last_not_of("\r\n ") + 1);
  const size_t start = trimmed.rfind("\r\n ");
  const std::string record = start == std::string::npos ? trimmed : trimmed.substr(start + 3);
  const size_t time = record.find(' ');
  const size_t message = time == std::string::npos ? time : record.find(' ', time + 1);
  return message == std::string::npos ? record : record.substr(message + 1);
}

class Unattended : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ServeSampleInstallerAhead()); }
  void TearDown() override { ServeSampleInstallerAhead(); }
  // A quiet run with `arguments` after "/quiet": its exit code, with no window seen on the way.
  int RunQuiet(const std::wstring& arguments, const wchar_t* build = L"setup-loopback.exe") {
    installer_ = std::make_unique<Installer>(kProgramName, build, L"/quiet " + arguments);
    bool sawWindow = false;
    const int code = installer_->WaitForExitUnseen(sawWindow);
    EXPECT_FALSE(sawWindow) << "a quiet run showed a window";
    return code;
  }

  // What the sample installer does, put back after each test (a test may change it).
  TestSupport::EnvironmentScope sample_{{L"SAMPLE_INSTALLER_STEP_MS", L"30"}, {L"SAMPLE_INSTALLER_EXIT_CODE", nullptr}};
  CleanProduct clean_;
  TestSupport::ScratchDir scratch_{L"unattended"};
  std::unique_ptr<Installer> installer_;
};

}  // namespace

// The install folder and the log copy come from the command line; a folder whose parent exists and a
// log whose folders do not are both fine. The product is installed there and never started, and both
// logs end with the exit code.
TEST_F(Unattended, AQuietInstallUsesTheGivenFolderAndLogAndStartsNothing) {
  const std::wstring folder = scratch_ / L"Target Folder\\";
  const std::wstring logCopy = scratch_ / L"logs\\deep\\setup.log";
  EXPECT_EQ(0, RunQuiet(L"/DIR=\"" + folder + L"\" -log \"" + logCopy + L"\""));

  EXPECT_TRUE(IsFile(folder + kProductFolder + kProductImage));
  EXPECT_EQ(0u, RunningProcess(kProductImage));
  EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
  const std::string copy = TestSupport::ReadFileBytes(logCopy);
  EXPECT_TRUE(
      InOrder(copy, {"command line:", "(quiet run)", "unattended run (quiet)", "UpdateWindowSate:kWindow_Finish"}))
      << copy;
  EXPECT_EQ("exit code 0: installed", LastRecord(copy)) << copy;
  EXPECT_EQ("exit code 0: installed", LastRecord(Log())) << Log();
  EXPECT_FALSE(Contains(Log(), "ERR:an unattended run does not ask")) << Log();
}

// Passive, in the language the command line names: the window shows the progress page from the start
// and closes itself; the full installer's own failure code is what the run ends with.
TEST_F(Unattended, APassiveInstallShowsProgressOnlyAndPassesTheInstallersCodeOn) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_EXIT_CODE", L"3010");
  installer_ = std::make_unique<Installer>(kProgramName, L"setup-loopback.exe", L"/passive /lang=1025");
  bool sawWindow = false;
  EXPECT_EQ(3010, installer_->WaitForExitUnseen(sawWindow));
  EXPECT_TRUE(sawWindow) << "the watcher that finds no window in quiet runs saw none here either";
  EXPECT_TRUE(IsFile(ProductDir() + kProductImage));
  EXPECT_EQ(0u, RunningProcess(kProductImage));
  const std::string log = Log();
  EXPECT_TRUE(InOrder(log, {"Language Code:1025", "unattended run (passive)", "UpdateWindowSate:kWindow_Downloading",
                            "the full installer ended with exit code 3010", "UpdateWindowSate:kWindow_Finish"}))
      << log;
  EXPECT_EQ("exit code 3010: the full installer ended with exit code 3010", LastRecord(log)) << log;
}

// Closing the passive window (Escape, the title button) cancels without a question.
TEST_F(Unattended, ClosingThePassiveWindowCancelsWithoutAsking) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"3000");
  installer_ = std::make_unique<Installer>(kProgramName, L"setup-loopback.exe", L"/passive");
  HWND window = installer_->WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Installing")) << Log();
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(1602, installer_->WaitForExit());
  EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
  EXPECT_EQ("exit code 1602: the window was closed before the install finished", LastRecord(Log())) << Log();
}

// Every way a quiet run can fail ends with its own code, shows nothing and installs nothing.
TEST_F(Unattended, EachFailureOfAQuietRunEndsWithItsCode) {
  struct Case {
    const char* what;
    std::function<std::wstring()> arrange;  // returns the arguments after "/quiet"
    const wchar_t* build;
    int code;
    const char* logPart;
  };
  std::unique_ptr<RunningProduct> product;
  std::unique_ptr<ServerSwitch> serverSwitch;
  const Case cases[] = {
      {"unknown switch", [] { return std::wstring(L"/bogus"); }, L"setup-loopback.exe", 87,
       "ERR:command line refused: unknown switch /bogus"},
      {"folder on a missing drive", [] { return std::wstring(L"/dir=Q:\\nowhere\\x"); }, L"setup-loopback.exe", 87,
       "cannot be installed into"},
      {"installer missing on the server",
       [] {
         ::DeleteFileW(ServedInstallerAhead().c_str());
         return std::wstring();
       },
       L"setup-loopback.exe", 1619, "the download failed"},
      {"HTTPS dropped, and no digest allows plain HTTP",
       [&] {
         serverSwitch = std::make_unique<ServerSwitch>(L".refuse-https");
         return std::wstring();
       },
       L"setup-publisher-loopback.exe", 1619, "the download failed"},
      {"a file that is not the pinned one",
       [] {
         TestSupport::WriteFileBytes(ServedInstallerAhead(), std::string(4096, 'x'));
         return std::wstring();
       },
       L"setup-loopback.exe", 1620, "the downloaded installer was refused"},
      {"the product is running",
       [&] {
         product = std::make_unique<RunningProduct>();
         return std::wstring();
       },
       L"setup-loopback.exe", 32, "the product is running"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CleanProduct clean;
    ASSERT_TRUE(ServeSampleInstallerAhead());
    const std::wstring arguments = c.arrange();
    EXPECT_EQ(c.code, RunQuiet(arguments, c.build)) << Log();
    const std::string log = Log();
    EXPECT_TRUE(Contains(log, c.logPart)) << log;
    EXPECT_EQ(0, LastRecord(log).rfind("exit code " + std::to_string(c.code) + ":", 0)) << log;
    EXPECT_FALSE(IsFile(ProductDir() + L"install-command-line.txt"));
    EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
    EXPECT_FALSE(Contains(log, "ERR:an unattended run does not ask")) << log;
    if (product) {
      EXPECT_TRUE(product->Running()) << "an unattended run closed the running product";
    }
    product.reset();
    serverSwitch.reset();
  }
}

// A drive without three times the installer's size: 112, before any download of the install's own.
TEST_F(Unattended, AQuietRunOnAFullDriveEndsWithDiskFull) {
  int freeMB = 0;
  std::string why;
  if (!TestSupport::SmallDriveFreeMB(SETUP_SMALL_DRIVE L"\\", freeMB, why)) GTEST_SKIP() << why;
  ASSERT_TRUE(TestServers::MakeHollowFile(ServedInstallerAhead(), 16LL << 20));
  EXPECT_EQ(112, RunQuiet(L"/dir=" SETUP_SMALL_DRIVE L"\\"));
  EXPECT_TRUE(Contains(LastRecord(Log()), "not enough space: the install drive needs 48 MiB")) << Log();
}

// "/?" and a refused command line show the usage with the exit codes in a box of their own, end with 0
// and 87, and start no install.
TEST_F(Unattended, TheUsageComesWithTheExitCodes) {
  struct {
    const wchar_t* arguments;
    const wchar_t* firstLine;
    int code;
  } const cases[] = {{L"-?", L"Usage: e2e-setup.exe [/quiet | /passive]", 0},
                     {L"/passive /lang=German", L"/lang=German: \"German\" is not a language id", 87}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.arguments));
    Installer installer(kProgramName, L"setup-loopback.exe", c.arguments);
    const std::wstring text = AnswerBox(nullptr, IDOK);
    EXPECT_EQ(0u, text.find(c.firstLine)) << Utf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"1620  the downloaded installer was refused")) << Utf8(text);
    EXPECT_EQ(c.code, installer.WaitForExit());
    EXPECT_FALSE(Contains(Log(), "OnClickInstall")) << Log();
  }
}
