#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "E2eSupport.h"
#include "base/SystemInfo.h"

using namespace E2e;
using TestSupport::ReadFileBytes;

// The loopback installer signed by the test publisher and stamped "com_french" after signing
// (tests/tags): the stamp is its site tag, in the log at start and in the product's domain file after
// the install.
TEST(EndToEnd, AStampedInstallerLeavesItsStampedTagInTheProduct) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring product = ProductDir();
  TestSupport::RemoveTree(product);

  Installer installer(kProgramName, L"tests/tags/setup-french.exe");
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(Contains(Log(), "Domain:com_french\r\n")) << Log();
  EXPECT_TRUE(Contains(Log(), "site tag stamped into the signature: com_french")) << Log();
  ASSERT_TRUE(ServeSampleInstaller()) << TestSupport::Utf8(DownloadUrl());
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitFor([] { return Log().find("InstallExeFinish") != std::string::npos; })) << Log();

  EXPECT_EQ("com_french", ReadFileBytes(product + L"domain"));
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(0, installer.WaitForExit());
  TestSupport::RemoveTree(product);
}
