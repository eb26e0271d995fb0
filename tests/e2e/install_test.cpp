#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "E2eSupport.h"
#include "TestServers.h"
#include "install/ProcessHelper.h"
#include "base/SystemInfo.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::ReadFileBytes;
using TestSupport::Utf8;

// Install clicked on the home page: the sample installer is downloaded from nginx, checked and run
// silently into the product folder; the finish view comes, the temporary files are gone, the three
// analytics events reached the server, and closing the finish view asks nothing.
TEST(EndToEnd, InstallsTheSampleProductThroughTheWindow) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring installFolder = GetProgramFilesDir();
  const std::wstring product = ProductDir();
  TestSupport::RemoveTree(product);
  TestServers::LogMark server(TestServers::ServerLog::kNginx);

  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller()) << Utf8(DownloadUrl()) << " error " << ::GetLastError();
  installer.Click(kInstallButton);

  ASSERT_TRUE(WaitFor([] { return Log().find("InstallExeFinish") != std::string::npos; })) << Log();
  EXPECT_TRUE(WaitFor([&] { return server.CountLines("collect?") >= 3; }, 20000)) << server.Text() << Log();
  EXPECT_EQ(1, server.CountLines("Downloader_Start_Install"));
  EXPECT_EQ(1, server.CountLines("Downloader_Installed"));
  EXPECT_EQ(1, server.CountLines("Installed_Succeed"));

  EXPECT_EQ("com_english", ReadFileBytes(product + L"domain"));
  EXPECT_TRUE(IsFile(product + L"Solvetta.exe"));
  EXPECT_EQ(Utf8(BuildSilentCommandLine(installFolder, WorkDir() + L"temp.progress")),
            ReadFileBytes(product + L"install-command-line.txt"));
  // The clean-up deletes the downloaded installer, then the progress file: each is waited for.
  EXPECT_TRUE(WaitFor([] { return !IsFile(WorkDir() + L"pelarin-download.exe"); }, 5000));
  EXPECT_TRUE(WaitFor([] { return !IsFile(WorkDir() + L"temp.progress"); }, 5000));
  // The helper is ended by the clean-up, the last step of the finish.
  EXPECT_TRUE(WaitForLog("KillSilentInstallProcess", 5000)) << Log();
  std::string log = Log();
  // The window's thread, from its start to the progress page.
  EXPECT_TRUE(InOrder(
      log, {"UpdateWindowSate:kWindow_Init", "Windows Version:", "Windows Bit:", "downloader version:",
            "DownloadRatio:90  ==== ReadFileTimeout:1500", "OnClickInstall",
            ("sel path:" + Utf8(installFolder)).c_str(), "sel path end", "send ga begin", "send ga end",
            "change page downloading begin", "UpdateWindowSate:kWindow_Downloading", "change page downloading end"}))
      << log;
  // The workers, each step after the window has applied the state before it.
  // The pack pins both the digest and the test publisher that signed the sample installer.
  EXPECT_TRUE(InOrder(log, {"sel path end", "payload policy: digest+publisher", "get file size begin",
                            "get file size end", "get disk size begin", "get disk size end",
                            "VerifyPublisher accepted, signed by", "HttpDownloadEnd\xA3\xBASuccess",
                            "UpdateWindowSate:kWindow_Installing", "StartInstallExe\xA3\xBASilentInstallation",
                            "UpdateWindowSate:kWindow_Finish", "InstallExeFinish", "KillSilentInstallProcess"}))
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

// Closing the home page asks, and so does Escape; No keeps the window, Yes ends the program with 0.
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
  ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 1);
  EXPECT_EQ(asked, AnswerBox(window, IDNO));
  ::Sleep(300);
  EXPECT_TRUE(::IsWindow(window));
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  AnswerBox(window, IDYES);
  EXPECT_EQ(1602, installer.WaitForExit());
}

// Start on the finish view launches the installed product and closes the window without a question.
TEST(EndToEnd, StartLaunchesTheProductAndCloses) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring product = ProductDir();
  TestSupport::RemoveTree(product);
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitFor([] { return Log().find("InstallExeFinish") != std::string::npos; })) << Log();
  ::Sleep(200);  // the finish view is applied on the window's thread
  installer.Click(kStartButton);
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_TRUE(WaitFor([&] { return IsFile(product + L"launched.txt"); }, 20000));
  TestSupport::RemoveTree(product);
}

// A product that cannot be started after the install (here its executable is no program any more) is
// not a silent success: a box names its full path, the log says why, and the program ends with 1603.
TEST(EndToEnd, AProductThatCannotStartIsNamedAndEndsWith1603) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring exe = ProductDir() + L"Solvetta.exe";
  TestSupport::RemoveTree(ProductDir());
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller());
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  ASSERT_TRUE(TestSupport::WriteFileBytes(exe, std::string(4096, 'x')));
  ::Sleep(200);  // the finish view is applied on the window's thread
  installer.Click(kStartButton);

  const std::wstring text = ShownText(L"STR_START_FAILED");
  EXPECT_EQ(text + L"\n\n" + exe, AnswerBox(window, IDOK));
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(1603, installer.WaitForExit());
  EXPECT_TRUE(InOrder(Log(), {"InstallExeFinish", "ERR:StartProduct", Utf8(exe), "exit code 1603"})) << Log();
  EXPECT_FALSE(IsFile(ProductDir() + L"launched.txt"));
  TestSupport::RemoveTree(ProductDir());
}

// The window fetches the full installer in the background while the home page waits, and reports
// nothing before the click; Install then goes on from what is there without fetching it again, with
// the three events in their order. Closing the home page deletes what was fetched.
TEST(EndToEnd, TheHomePageFetchesTheInstallerAheadOfTheClick) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  std::string path;
  {
    Installer first;  // unpacks the pack, so that the sample installer can be served where it points
    HWND window = first.WaitForWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(ServeSampleInstaller()) << Utf8(DownloadUrl());
    const std::wstring url = DownloadUrl();
    path = Utf8(url.substr(url.find(L'/', 8)));
    ::PostMessageW(window, WM_CLOSE, 1000, 0);
    first.WaitForExit();
  }
  for (const bool install : {true, false}) {
    TestServers::LogMark server(TestServers::ServerLog::kNginx);
    const size_t logStart = Log().size();
    auto logSince = [logStart] { return Log().substr(logStart); };
    Installer installer;
    HWND window = installer.WaitForWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(
        WaitFor([&] { return Contains(logSince(), "prefetch: ended with 0, before Install was clicked"); }, 20000))
        << logSince();
    const int fetched = server.CountLines("GET \"" + path + "\" 206");
    EXPECT_GE(fetched, 1) << server.Text();
    EXPECT_EQ(0, server.CountLines("collect?")) << server.Text();  // nothing reported before the click
    if (!install) {
      ::PostMessageW(window, WM_CLOSE, 1, 0);
      EXPECT_EQ(PackText(L"STR_CLOSE_TIP1"), AnswerBox(window, IDYES));
      EXPECT_EQ(1602, installer.WaitForExit());
      EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe"));
      EXPECT_FALSE(IsFile(WorkDir() + L"pelarin-download.exe.state"));
      continue;
    }
    installer.Click(kInstallButton);
    ASSERT_TRUE(WaitFor([&] { return Contains(logSince(), "InstallExeFinish"); })) << logSince();
    EXPECT_TRUE(InOrder(logSince(), {"prefetch: ended with 0", "OnClickInstall",
                                     "the background download's size query answers the space check",
                                     "prefetch: the full installer was already there when Install was clicked",
                                     "VerifyPayload takes the digest hashed during the download",
                                     "UpdateWindowSate:kWindow_Installing", "InstallExeFinish"}))
        << logSince();
    EXPECT_EQ(fetched, server.CountLines("GET \"" + path + "\" 206")) << server.Text();
    EXPECT_TRUE(WaitFor([&] { return server.CountLines("collect?") >= 3; }, 20000)) << server.Text();
    for (const char* event : {"Downloader_Start_Install", "Downloader_Installed", "Installed_Succeed"}) {
      EXPECT_EQ(1, server.CountLines(event)) << event << server.Text();
    }
    ::PostMessageW(window, WM_CLOSE, 1, 0);
    EXPECT_EQ(0, installer.WaitForExit());
    TestSupport::RemoveTree(ProductDir());
  }
}
