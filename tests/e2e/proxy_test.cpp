// The installer on a network whose names only its proxy resolves: the user's proxy set in Internet
// Settings, the pack's download address on "payload.corp.test", which the loopback squid
// (tools/test-proxy.sh) alone knows. Wine reports Windows 7 to the installer meanwhile (its
// AppDefaults Version), standing in for a system where the program reads the proxy settings itself;
// from Windows 8.1 on it leaves the choice to WinHTTP's automatic proxy, which Wine takes for direct.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "E2eSupport.h"
#include "ProxySettingsScope.h"
#include "TestServers.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::Utf8;

namespace {

class EndToEndProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
    TestSupport::RemoveTree(ProductDir());
  }
  void TearDown() override { TestSupport::RemoveTree(ProductDir()); }

  // Lines of the proxy's log with `part`, waiting up to 3 s for `least` of them: squid logs a tunnel
  // when it closes.
  static int ProxyLines(const TestServers::LogMark& mark, const char* part, int least) {
    int count = 0;
    WaitFor([&] { return (count = mark.CountLines(part)) >= least; }, 3000);
    return count;
  }

  ProxyTest::Scope settings_;
  ProxyTest::WineVersionFor windows7_{L"e2e-setup.exe", L"win7"};
};

}  // namespace

TEST_F(EndToEndProxy, InstallsFromAHostOnlyTheUsersProxyKnows) {
  ASSERT_TRUE(settings_.SetUser(L"127.0.0.4:3128", L"localhost", L""));
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  Installer installer(kProgramName, L"setup-proxyhost.exe");
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_EQ(DownloadUrl().rfind(L"https://payload.corp.test/", 0), 0u) << Utf8(DownloadUrl());
  ASSERT_TRUE(ServeSampleInstaller()) << Utf8(DownloadUrl());
  installer.Click(kInstallButton);

  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_TRUE(IsFile(ProductDir() + L"Solvetta.exe"));
  std::string log = Log();
  EXPECT_TRUE(InOrder(log, {"proxy for https://payload.corp.test/: 127.0.0.4:3128 (user settings, static; bypass "
                            "localhost)",
                            "HttpDownloadEnd\xA3\xBASuccess", "InstallExeFinish"}))
      << log;
  EXPECT_EQ(CountOf(log, "Request fail"), 0) << log;

  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(0, installer.WaitForExit());
  // The size query and the five ranges, each through its own tunnel, all closed by now.
  EXPECT_GE(ProxyLines(proxy, "3128 CONNECT payload.corp.test:443 200", 6), 6) << proxy.Text();
}

// A proxy that wants a password the installer does not have: the failure question names the proxy,
// within seconds, instead of minutes of retries ending in the network question.
TEST_F(EndToEndProxy, AProxyThatKeepsAskingForCredentialsGetsItsOwnQuestionQuickly) {
  ASSERT_TRUE(settings_.SetUser(L"127.0.0.4:3129", L"localhost", L""));
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  Installer installer(kProgramName, L"setup-proxyhost.exe");
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller()) << Utf8(DownloadUrl());
  const DWORD clicked = ::GetTickCount();
  installer.Click(kInstallButton);

  const std::wstring question = PackText(L"STR_PROXY_ERROR") + L"\n\n" + PackText(L"STR_OPERATE_TIP");
  ASSERT_FALSE(PackText(L"STR_PROXY_ERROR").empty());
  EXPECT_EQ(question, AnswerBox(window, IDABORT));
  EXPECT_LT(::GetTickCount() - clicked, 10000u);
  EXPECT_EQ(1619, installer.WaitForExit());
  std::string log = Log();
  EXPECT_TRUE(InOrder(log, {"proxy for https://payload.corp.test/: 127.0.0.4:3129 (user settings, static; bypass "
                            "localhost)",
                            "HttpDownloadEnd\xA3\xBA"
                            "Failed"}))
      << log;
  EXPECT_FALSE(IsFile(ProductDir() + L"Solvetta.exe"));
  EXPECT_GE(ProxyLines(proxy, "3129 ", 1), 1) << proxy.Text();
  EXPECT_EQ(proxy.CountLines(" 200 "), 0) << proxy.Text();
}

// What stands in for the SYSTEM account, which Wine cannot run as: a quiet install whose environment
// has no user profile, with no proxy of the user's and the machine's WinHTTP proxy as the only way to
// the download's host. Work folder, log, client identifier and route come out of machine-wide places.
TEST_F(EndToEndProxy, AQuietInstallWithoutAUserProfileTakesTheMachinesProxy) {
  ASSERT_TRUE(ServeSampleInstallerAhead());
  ASSERT_TRUE(settings_.SetMachine(L"127.0.0.4:3128", L"localhost"));
  std::unique_ptr<Installer> started;
  {
    TestSupport::EnvironmentScope service({{L"USERPROFILE", nullptr},
                                           {L"APPDATA", nullptr},
                                           {L"LOCALAPPDATA", nullptr},
                                           {L"HOMEDRIVE", nullptr},
                                           {L"HOMEPATH", nullptr},
                                           {L"USERNAME", L"SYSTEM"}});
    started = std::make_unique<Installer>(kProgramName, L"setup-proxyhost.exe", L"/quiet");
  }
  Installer& installer = *started;
  bool sawWindow = false;
  EXPECT_EQ(0, installer.WaitForExitUnseen(sawWindow)) << Log();
  EXPECT_FALSE(sawWindow);
  EXPECT_TRUE(IsFile(ProductDir() + L"Solvetta.exe"));
  EXPECT_TRUE(Contains(Log(), "proxy for https://payload.corp.test/: 127.0.0.4:3128 (machine WinHTTP settings"))
      << Log();
}
