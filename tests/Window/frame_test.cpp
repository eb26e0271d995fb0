#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "FrameTestSupport.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "Window/WindowPlacement.h"
#include "install/ProcessHelper.h"
#include "base/Scoped.h"
#include "base/SystemInfo.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/controls/UIProgress.h"

using FrameTest::BoxAnswerer;
using FrameTest::BoxSeen;
using FrameTest::BuildFile;
using FrameTest::ChooserDriver;
using FrameTest::Frame;
using FrameTest::PumpFor;
using FrameTest::PumpUntil;
using TestSupport::IsFile;
using TestSupport::Utf8;
using namespace SkinUI;

// The installer's window on a real window under Xvfb, built from the installer's own skin, pack and
// site tag: set-up and texts, the licence and fold boxes, the tip, the window states, the progress
// display, the banner rotation, closing with and without the question, and right-to-left.

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

COptionUI* Option(Frame& frame, const wchar_t* name) {
  CControlUI* control = frame.Find(name);
  return control ? static_cast<COptionUI*>(control->CastTo(L"Option")) : nullptr;
}

int Page(Frame& frame) {
  CControlUI* control = frame.Find(L"switch");
  return control ? static_cast<CTabLayoutUI*>(control->CastTo(L"TabLayout"))->GetCurSel() : -2;
}

int BarValue(Frame& frame) {
  return static_cast<CProgressUI*>(frame.Find(L"progress_download")->CastTo(L"Progress"))->GetValue();
}

std::wstring ControlText(Frame& frame, const wchar_t* name) { return frame.Find(name)->GetText(); }

// The downloaded installer and progress file a closing window must remove.
void LeaveInstallFiles(Frame& frame) {
  TestSupport::WriteFileBytes(frame->WorkDir() + L"pelarin-download.exe", "MZ");
  TestSupport::WriteFileBytes(frame->WorkDir() + L"temp.progress", "40");
}

bool InstallFilesGone(Frame& frame) {
  return !IsFile(frame->WorkDir() + L"pelarin-download.exe") && !IsFile(frame->WorkDir() + L"temp.progress");
}

// What the window's log gained since the mark was taken (the log lives as long as the work folder).
class LogMark {
 public:
  explicit LogMark(Frame& frame) : frame_(frame), start_(frame.Log().size()) {}
  std::string Text() const { return frame_.Log().substr(start_); }

 private:
  Frame& frame_;
  size_t start_;
};

using TestSupport::InOrder;

}  // namespace

TEST(Frame, OpensInTheInitialStateWithTheLanguagesTexts) {
  Frame frame;
  ASSERT_TRUE(frame.alive());
  wchar_t cls[64] = {};
  ::GetClassNameW(frame.hwnd(), cls, 64);
  EXPECT_STREQ(L"SetupMainFrame", cls);
  wchar_t title[256] = {};
  ::GetWindowTextW(frame.hwnd(), title, 256);
  EXPECT_EQ(frame->Text(L"STR_MESSAGEBOX_TITLE"), title);
  EXPECT_FALSE(frame->Text(L"STR_MESSAGEBOX_TITLE").empty());
  EXPECT_EQ(kWindow_Init, frame->WindowState());
  EXPECT_EQ(0, Page(frame));

  EXPECT_EQ(frame->Text(L"STR_INSTALL"), ControlText(frame, L"btn_install"));
  EXPECT_EQ(frame->Text(L"STR_START"), ControlText(frame, L"btn_start"));
  EXPECT_EQ(frame->Text(L"STR_BROWSE"), ControlText(frame, L"btn_browse"));
  EXPECT_EQ(frame->Text(L"STR_CUSTOMIZE_INSTALL"), ControlText(frame, L"chk_fold"));
  EXPECT_EQ(frame->Text(L"STR_INSTALL_PATH"), ControlText(frame, L"label_path"));
  EXPECT_EQ(frame->Text(L"STR_HIDE"), ControlText(frame, L"btn_hide"));

  auto* edit = static_cast<CEditUI*>(frame.Find(L"edit_path")->CastTo(L"Edit"));
  EXPECT_EQ(frame->InstallFolder(), edit->GetText());
  EXPECT_EQ(L'\\', frame->InstallFolder().back());
  EXPECT_TRUE(edit->IsReadOnly());
  EXPECT_TRUE(Option(frame, L"chk_agree")->IsSelected());
  EXPECT_FALSE(Option(frame, L"chk_fold")->IsSelected());
  EXPECT_TRUE(frame.Find(L"btn_install")->IsEnabled());
  EXPECT_FALSE(frame.Visible(L"btn_start"));
  EXPECT_FALSE(frame.Visible(L"bottomLayout"));

  // The pack was unpacked into the work folder before the skin was chosen.
  EXPECT_TRUE(IsFile(frame->WorkDir() + L"language\\language.ini"));
  std::string log = frame.Log();
  for (const char* line : {"UpdateWindowSate:kWindow_Init",
                           "Windows Version:", "downloader version:", "DownloadRatio:90  ==== ReadFileTimeout:1500"}) {
    EXPECT_TRUE(Contains(log, line)) << line;
  }
}

TEST(Frame, TheLicenceBoxEnablesTheInstallButton) {
  Frame frame;
  COptionUI* agree = Option(frame, L"chk_agree");
  agree->Selected(false, true);
  PumpFor(30);
  EXPECT_FALSE(frame.Find(L"btn_install")->IsEnabled());
  agree->Selected(true, true);
  PumpFor(30);
  EXPECT_TRUE(frame.Find(L"btn_install")->IsEnabled());
}

TEST(Frame, TheFoldBoxGrowsAndShrinksTheWindowBy75Pixels) {
  Frame frame;
  const int height = frame.ClientHeight();
  Option(frame, L"chk_fold")->Selected(true, true);
  PumpFor(30);
  EXPECT_EQ(height + 75, frame.ClientHeight());
  EXPECT_TRUE(frame.Visible(L"bottomLayout"));
  EXPECT_TRUE(frame.Visible(L"edit_path"));
  Option(frame, L"chk_fold")->Selected(false, true);
  PumpFor(30);
  EXPECT_EQ(height, frame.ClientHeight());
  EXPECT_FALSE(frame.Visible(L"bottomLayout"));
}

TEST(Frame, ATipOpensThePathAreaAndAnEmptyOneHidesIt) {
  Frame frame;
  const int height = frame.ClientHeight();
  frame->ShowTip(L"wrong folder");
  PumpFor(30);
  EXPECT_TRUE(frame.Visible(L"label_tip"));
  EXPECT_EQ(L"wrong folder", ControlText(frame, L"label_tip"));
  EXPECT_EQ(height + 75, frame.ClientHeight());
  frame->ShowTip(L"");
  PumpFor(30);
  EXPECT_FALSE(frame.Visible(L"label_tip"));
  EXPECT_EQ(height + 75, frame.ClientHeight());  // the area stays open
}

// A drive that does not exist: the red tip, the open path area, and no install.
TEST(Frame, ARefusedFolderShowsTheTipAndStaysInTheInitialState) {
  Frame frame;
  static_cast<CEditUI*>(frame.Find(L"edit_path")->CastTo(L"Edit"))->SetText(L"Q:\\missing\\deeper\\Apps");
  frame->OnClickInstall();
  PumpFor(30);
  EXPECT_EQ(kWindow_Init, frame->WindowState());
  EXPECT_TRUE(frame.Visible(L"label_tip"));
  EXPECT_EQ(frame->Text(L"STR_PATH_INVALID"), ControlText(frame, L"label_tip"));
  EXPECT_TRUE(Option(frame, L"chk_fold")->IsSelected());
  EXPECT_EQ(L"Q:\\missing\\deeper\\Apps\\", frame->InstallFolder());
  EXPECT_TRUE(Contains(frame.Log(), "sel path:Q:\\missing\\deeper\\Apps\\"));
}

// A click into the path opens the folder chooser; after it the focus is on the browse button, and a
// cancelled chooser leaves the path as it was.
TEST(Frame, ThePathFieldOpensTheFolderChooserAndHandsTheFocusOn) {
  Frame frame;
  Option(frame, L"chk_fold")->Selected(true, true);
  PumpFor(30);
  const std::wstring path = ControlText(frame, L"edit_path");
  BoxAnswerer chooser(frame.hwnd(), IDCANCEL);
  frame->Manager().RaiseNotification(frame.Find(L"edit_path"), L"setfocus");
  BoxSeen seen;
  ASSERT_TRUE(chooser.Wait(seen));
  PumpFor(30);
  EXPECT_EQ(frame.Find(L"btn_browse"), frame->Manager().GetFocus());
  EXPECT_EQ(path, ControlText(frame, L"edit_path"));
  EXPECT_TRUE(frame.alive());
}

// "This PC" has no file-system path: the chooser does not offer OK for it, and should it return it
// all the same, the path stays what it was instead of becoming empty.
TEST(Frame, TheFolderChooserKeepsThePathForAFolderWithoutAFileSystemPath) {
  Frame frame;
  Scoped::CoTaskMemFree thisPc;
  ASSERT_EQ(S_OK,
            ::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, reinterpret_cast<PIDLIST_ABSOLUTE*>(thisPc.put())));
  const std::wstring path = ControlText(frame, L"edit_path");
  ASSERT_FALSE(path.empty());
  LogMark log(frame);
  ChooserDriver chooser(frame.hwnd(), static_cast<PCIDLIST_ABSOLUTE>(thisPc.get()));
  frame->BrowseInstallFolder();
  bool okOffered = true;
  ASSERT_TRUE(chooser.Wait(okOffered));
  EXPECT_FALSE(okOffered);
  EXPECT_EQ(path, ControlText(frame, L"edit_path"));
  EXPECT_TRUE(Contains(log.Text(), "ERR:BrowseInstallFolder")) << log.Text();
}

// A file-system folder chosen replaces the path (as the chooser names it, without a final
// backslash) and clears the red tip.
TEST(Frame, AFolderChosenReplacesThePathAndClearsTheTip) {
  Frame frame;
  const std::wstring chosen = GetProgramFilesDir().substr(0, GetProgramFilesDir().size() - 1);
  Scoped::CoTaskMemFree folder(::ILCreateFromPathW(chosen.c_str()));
  ASSERT_TRUE(folder);
  ASSERT_NE(chosen, ControlText(frame, L"edit_path"));
  frame->ShowTip(L"wrong folder");
  ChooserDriver chooser(frame.hwnd(), static_cast<PCIDLIST_ABSOLUTE>(folder.get()));
  frame->BrowseInstallFolder();
  bool okOffered = false;
  ASSERT_TRUE(chooser.Wait(okOffered));
  EXPECT_TRUE(okOffered);
  EXPECT_EQ(chosen, ControlText(frame, L"edit_path"));
  EXPECT_FALSE(frame.Visible(L"label_tip"));
}

TEST(Frame, TheSameStateAgainChangesNothingAndLogsNothing) {
  Frame frame;
  const size_t before = Count(frame.Log(), "UpdateWindowSate:");
  frame->UpdateWindowSate(kWindow_Init);
  EXPECT_EQ(before, Count(frame.Log(), "UpdateWindowSate:"));
}

TEST(Frame, DownloadingClosesThePathAreaAndShowsTheProgressPage) {
  Frame frame;
  const int height = frame.ClientHeight();
  Option(frame, L"chk_fold")->Selected(true, true);
  PumpFor(30);
  frame->UpdateWindowSate(kWindow_Downloading);
  PumpFor(30);
  EXPECT_EQ(kWindow_Downloading, frame->WindowState());
  EXPECT_EQ(1, Page(frame));
  EXPECT_EQ(height, frame.ClientHeight());
  EXPECT_FALSE(Option(frame, L"chk_fold")->IsSelected());
  EXPECT_EQ(0, BarValue(frame));
  EXPECT_EQ(L"0 %", ControlText(frame, L"label_progress"));
  EXPECT_TRUE(Contains(frame.Log(), "UpdateWindowSate:kWindow_Downloading"));
  // The banner timer runs: killing it succeeds only when it was set.
  EXPECT_TRUE(::KillTimer(frame.hwnd(), CSetupFrameWnd::kBannerTimer));
}

// Windows' "Show animations in Windows" turned off, for one test, through the same setting a user changes.
class AnimationsOff {
 public:
  AnimationsOff() {
    ::SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &before_, 0);
    set_ = ::SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(FALSE), 0) != FALSE;
  }
  ~AnimationsOff() {
    ::SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(before_)), 0);
  }
  bool set() const { return set_; }

 private:
  BOOL before_ = TRUE;
  bool set_ = false;
};

TEST(Frame, TheSlidesStayStillWhenWindowsAnimationsAreOff) {
  AnimationsOff off;
  ASSERT_TRUE(off.set()) << ::GetLastError();
  BOOL on = TRUE;
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &on, 0));
  ASSERT_FALSE(on);
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  EXPECT_EQ(1, frame->BannerNumber());
  EXPECT_FALSE(::KillTimer(frame.hwnd(), CSetupFrameWnd::kBannerTimer));
}

TEST(Frame, TheProgressShowsThePercentOnBarAndLabel) {
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  frame->SetProgressPercent(45);
  EXPECT_EQ(45, BarValue(frame));
  EXPECT_EQ(L"45 %", ControlText(frame, L"label_progress"));
}

// Pictures 1 to 3 exist: the rotation runs 1, 2, 3, then a miss that keeps picture 3 and starts over.
TEST(Frame, AnyOtherTimerAdvancesTheBannerAndAMissingPictureStartsOver) {
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  EXPECT_EQ(1, frame->BannerNumber());
  const int expected[] = {2, 3, 4, 1, 2};
  for (int next : expected) {
    ::SendMessageW(frame.hwnd(), WM_TIMER, 99, 0);
    EXPECT_EQ(next, frame->BannerNumber());
  }
  EXPECT_FALSE(frame->ShowBanner(4));
  EXPECT_TRUE(frame->ShowBanner(3));
}

// The finish view's own log line follows the state's, so that it stands before whatever the finish
// sets off (the clean-up, the installed page).
TEST(Frame, TheFinishViewShowsOnlyTheStartButton) {
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  frame->StartProgressTimer(1500);
  frame->UpdateWindowSate(kWindow_Installing);
  EXPECT_EQ(1, Page(frame));
  LogMark log(frame);
  frame->UpdateWindowSate(kWindow_Finish);
  EXPECT_TRUE(InOrder(log.Text(), {"UpdateWindowSate:kWindow_Finish", "InstallExeFinish"})) << log.Text();
  PumpFor(30);
  EXPECT_EQ(kWindow_Finish, frame->WindowState());
  EXPECT_EQ(0, Page(frame));
  EXPECT_TRUE(frame.Visible(L"btn_start"));
  EXPECT_FALSE(frame.Visible(L"btn_install"));
  EXPECT_FALSE(frame.Visible(L"lineLayout"));
  EXPECT_FALSE(frame.Visible(L"customLayout"));
  EXPECT_FALSE(::KillTimer(frame.hwnd(), CSetupFrameWnd::kBannerTimer));
  EXPECT_FALSE(::KillTimer(frame.hwnd(), CSetupFrameWnd::kProgressTimer));
}

// The sample installer steps its progress file while it runs; each tick of the progress timer shows
// the file's percentage on the last tenth of the bar, up to 100 once the installer is done. (The
// pack's period is 1500 ms; a shorter one keeps the test short.)
TEST(Frame, TheProgressTimerMovesTheBarWithTheInstallersProgressFile) {
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  frame->SetProgressPercent(90);
  TestSupport::ScratchDir folder(L"frameinstall");
  const std::wstring progressFile = frame->WorkDir() + L"temp.progress";
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"200");
  std::atomic<bool> ended{false};
  std::thread installer([&] {
    RunSilentInstaller(BuildFile(L"tests/fixtures/SampleInstaller.exe"), folder.path(), progressFile);
    ended = true;
  });
  frame->StartProgressTimer(250);
  std::set<int> shown;
  EXPECT_TRUE(PumpUntil(
      [&] {
        shown.insert(BarValue(frame));
        return ended && BarValue(frame) == 100;
      },
      30000));
  installer.join();
  EXPECT_EQ(L"100 %", ControlText(frame, L"label_progress"));
  // Steps in between were shown, never a value below the download's share.
  EXPECT_GE(*shown.begin(), 90);
  EXPECT_GE(std::count_if(shown.begin(), shown.end(), [](int v) { return v > 90 && v < 100; }), 2)
      << ::testing::PrintToString(shown);
}

// The installer on the server needs three times its size on the chosen drive, which has a few MiB:
// the storage message, then the home page again with the bar and label at 0, and both sizes in the
// log. The size comes from nginx, the room from the drive itself.
TEST(Frame, AFullDriveShowsTheStorageMessageAndReturnsToTheHomePageAtZero) {
  int freeMB = 0;
  std::string why;
  if (!TestSupport::SmallDriveFreeMB(SETUP_SMALL_DRIVE L"\\", freeMB, why)) GTEST_SKIP() << why;
  Frame frame;
  const std::wstring served = FrameTest::ServedInstallerPath(*frame);
  ASSERT_FALSE(served.empty());
  ASSERT_TRUE(TestServers::MakeHollowFile(served, 16LL << 20));
  static_cast<CEditUI*>(frame.Find(L"edit_path")->CastTo(L"Edit"))->SetText(SETUP_SMALL_DRIVE L"\\");
  LogMark log(frame);
  BoxAnswerer answerer(frame.hwnd(), IDOK);
  frame->OnClickInstall();
  EXPECT_EQ(kWindow_Downloading, frame->WindowState());
  EXPECT_TRUE(PumpUntil([&] { return Contains(log.Text(), "UpdateWindowSate:kWindow_Init"); }, 30000)) << log.Text();
  PumpFor(50);
  ::DeleteFileW(served.c_str());

  BoxSeen seen;
  ASSERT_TRUE(answerer.Wait(seen));
  const std::wstring unit = frame->Text(L"STR_MB").empty() ? L"MB" : frame->Text(L"STR_MB");
  EXPECT_EQ(frame->Text(L"STR_STORAGE") + L" 48 " + unit, seen.text);
  EXPECT_EQ(frame->Text(L"STR_MESSAGEBOX_TITLE"), seen.title);
  EXPECT_EQ(kWindow_Init, frame->WindowState());
  EXPECT_EQ(0, Page(frame));
  EXPECT_EQ(0, BarValue(frame));
  EXPECT_EQ(L"0 %", ControlText(frame, L"label_progress"));
  const std::string sizes =
      "OnClickInstall\xA3\xBA"
      "filesize:16MB--FreeSize:" +
      std::to_string(freeMB) + "MB";
  EXPECT_TRUE(InOrder(log.Text(), {"sel path:" + Utf8(SETUP_SMALL_DRIVE) + "\\", "UpdateWindowSate:kWindow_Downloading",
                                   "get disk size end", sizes, "UpdateWindowSate:kWindow_Init"}))
      << log.Text();
  EXPECT_FALSE(Contains(log.Text(), "Download....")) << log.Text();
}

TEST(Frame, ClosingAtTheStartAsksAndNoKeepsTheWindow) {
  Frame frame;
  BoxAnswerer answerer(frame.hwnd(), IDNO);
  ::SendMessageW(frame.hwnd(), WM_CLOSE, 1, 0);
  BoxSeen seen;
  ASSERT_TRUE(answerer.Wait(seen));
  EXPECT_EQ(frame->Text(L"STR_CLOSE_TIP1"), seen.text);
  EXPECT_EQ(frame->Text(L"STR_MESSAGEBOX_TITLE"), seen.title);
  EXPECT_EQ(0, seen.exStyle & WS_EX_LAYOUTRTL);
  PumpFor(30);
  EXPECT_TRUE(frame.alive());
}

TEST(Frame, ClosingOnTheProgressPageAsksTheOtherQuestionAndYesCleansUp) {
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  LeaveInstallFiles(frame);
  BoxAnswerer answerer(frame.hwnd(), IDYES);
  ::SendMessageW(frame.hwnd(), WM_CLOSE, 1, 0);
  BoxSeen seen;
  ASSERT_TRUE(answerer.Wait(seen));
  EXPECT_EQ(frame->Text(L"STR_CLOSE_TIP2"), seen.text);
  PumpFor(30);
  EXPECT_FALSE(frame.alive());
  EXPECT_TRUE(InstallFilesGone(frame));
}

TEST(Frame, TheProgramsOwnCloseRequestClosesWithoutAQuestion) {
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  LeaveInstallFiles(frame);
  frame->CloseWithoutQuestion();
  EXPECT_TRUE(PumpUntil([&] { return !frame.alive(); }, 3000));
  EXPECT_TRUE(InstallFilesGone(frame));
}

TEST(Frame, ClosingTheFinishViewAsksNothing) {
  Frame frame;
  frame->UpdateWindowSate(kWindow_Downloading);
  frame->UpdateWindowSate(kWindow_Finish);
  LeaveInstallFiles(frame);
  ::SendMessageW(frame.hwnd(), WM_CLOSE, 1, 0);
  PumpFor(30);
  EXPECT_FALSE(frame.alive());
  EXPECT_TRUE(InstallFilesGone(frame));
}

// Destroying the window ends the entry's loop.
TEST(Frame, DestructionPostsTheQuitRequest) {
  Frame frame;
  frame->CloseWithoutQuestion();
  bool quit = false;
  const DWORD start = ::GetTickCount();
  while (!quit && ::GetTickCount() - start < 3000) {
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) continue;
    if (msg.message == WM_QUIT)
      quit = true;
    else
      ::DispatchMessageW(&msg);
  }
  EXPECT_TRUE(quit);
  EXPECT_FALSE(frame.alive());
}

// Run with Arabic as the interface language (the Window_rtl test); elsewhere these cases are skipped.
class FrameRtl : public testing::Test {
 protected:
  void SetUp() override {
    if (!frame_->Language().IsRightToLeft()) {
      if (std::getenv("LANG") && std::string(std::getenv("LANG")).rfind("ar", 0) == 0)
        FAIL() << "Arabic was not chosen";
      GTEST_SKIP() << "not an Arabic interface language";
    }
  }
  Frame frame_;
};

TEST_F(FrameRtl, TheMirroredSkinIsLoaded) {
  // The mirrored skin puts the close button at the left.
  RECT close = frame_.Find(L"closebtn")->Placement();
  EXPECT_LT(close.left, 100);
}

TEST_F(FrameRtl, TheBarFillsFromTheOtherEndWhileTheLabelShowsThePercent) {
  frame_->UpdateWindowSate(kWindow_Downloading);
  frame_->SetProgressPercent(30);
  EXPECT_EQ(70, BarValue(frame_));
  EXPECT_EQ(L"30 %", ControlText(frame_, L"label_progress"));
}

TEST_F(FrameRtl, MessageBoxesReadRightToLeft) {
  BoxAnswerer answerer(frame_.hwnd(), IDNO);
  ::SendMessageW(frame_.hwnd(), WM_CLOSE, 1, 0);
  BoxSeen seen;
  ASSERT_TRUE(answerer.Wait(seen));
  EXPECT_EQ(frame_->Text(L"STR_CLOSE_TIP1"), seen.text);
  EXPECT_NE(0, seen.exStyle & (WS_EX_LAYOUTRTL | WS_EX_RTLREADING | WS_EX_RIGHT)) << std::hex << seen.exStyle;
}

// ---- Centring ----

TEST(Centring, AWindowIsCentredInTheWorkArea) {
  const RECT work = {0, 0, 1920, 1040};
  POINT pt = CentredPosition({650, 360}, work, work);
  EXPECT_EQ(635, pt.x);
  EXPECT_EQ(340, pt.y);
}

TEST(Centring, AnOversizedWindowStartsAtTheAreasLeftAndTopEdges) {
  const RECT work = {100, 50, 900, 650};
  POINT pt = CentredPosition({1000, 700}, work, work);
  EXPECT_EQ(100, pt.x);
  EXPECT_EQ(50, pt.y);
}

TEST(Centring, AWindowCentredOverAnOwnerNearTheEdgeStaysInside) {
  const RECT work = {0, 0, 1000, 800};
  POINT right = CentredPosition({400, 300}, RECT{800, 600, 1000, 800}, work);
  EXPECT_EQ(600, right.x);
  EXPECT_EQ(500, right.y);
  // Odd sums and sizes truncate separately: (1 + 10) / 2 - 5 / 2 = 5 - 2.
  POINT odd = CentredPosition({5, 5}, RECT{1, 1, 10, 10}, work);
  EXPECT_EQ(3, odd.x);
  EXPECT_EQ(3, odd.y);
}

// A real window with the installer's size lands where the arithmetic says.
TEST(Centring, CenterWindowMovesARealWindow) {
  Frame frame;
  ::SetWindowPos(frame.hwnd(), nullptr, 3, 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  CenterWindow(frame.hwnd());
  RECT rc = {};
  ::GetWindowRect(frame.hwnd(), &rc);
  MONITORINFO info = {sizeof(info)};
  ::GetMonitorInfoW(::MonitorFromWindow(frame.hwnd(), MONITOR_DEFAULTTONEAREST), &info);
  POINT expected = CentredPosition({rc.right - rc.left, rc.bottom - rc.top}, info.rcWork, info.rcWork);
  EXPECT_EQ(expected.x, rc.left);
  EXPECT_EQ(expected.y, rc.top);
}
