// The install with an analytics host that accepts connections and never answers: the loopback
// installer built with 127.0.0.5 as that host, where the test itself listens and stays silent.

#include <gtest/gtest.h>

#include <windows.h>

#include "E2eSupport.h"
#include "SilentHost.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::Utf8;

namespace {

// From the installing state to the finish view: the sample installer's run (well under a second with
// its steps shortened) and the finish itself; about 0.3 s with a host that answers.
constexpr DWORD kFinishWithinMs = 5000;
// From the close to the program's end, with its events still waiting on the host.
constexpr DWORD kExitWithinMs = 5000;

}  // namespace

// The events wait on their own threads: the finish view comes as quickly as with a host that
// answers, and closing it ends the program while they still wait.
TEST(EndToEndAnalytics, ASilentAnalyticsHostHoldsUpNeitherTheFinishViewNorTheExit) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  TestSupport::RemoveTree(ProductDir());
  TestServers::SilentHost analytics("127.0.0.5", {443, 80});
  ASSERT_TRUE(analytics.Listening());
  Installer installer(kProgramName, L"setup-silent-analytics.exe");
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller()) << Utf8(DownloadUrl());
  installer.Click(kInstallButton);

  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Installing")) << Log();
  EXPECT_TRUE(WaitForLog("InstallExeFinish", kFinishWithinMs)) << Log();
  EXPECT_TRUE(IsFile(ProductDir() + L"Solvetta.exe"));
  EXPECT_GE(analytics.Connections(), 1);  // the start event reached the host, which keeps it waiting
  EXPECT_TRUE(Contains(Log(), "proxy for https://127.0.0.5/: ")) << Log();  // the download's route rules

  const DWORD closing = ::GetTickCount();
  ::PostMessageW(window, WM_CLOSE, 1, 0);  // no question on the finish view
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_LT(::GetTickCount() - closing, kExitWithinMs);
  TestSupport::RemoveTree(ProductDir());
}
