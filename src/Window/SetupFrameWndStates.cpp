// The window states, the flow's display steps, timers, message boxes and closing.

#include <shlobj.h>

#include "install/ExitCode.h"
#include "Window/SetupFrameWnd.h"
#include "install/SilentRun.h"
#include "Window/SkinTexts.h"
#include "log/Log.h"
#include "resources/EmbeddedPackages.h"
#include "telemetry/GaSender.h"
#include "install/ProcessHelper.h"
#include "base/Scoped.h"
#include "base/SystemInfo.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/controls/UILabel.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/controls/UIProgress.h"

using namespace SkinUI;

namespace {

const char* StateName(int state) {
  switch (state) {
    case kWindow_Init:
      return "kWindow_Init";
    case kWindow_Downloading:
      return "kWindow_Downloading";
    case kWindow_Installing:
      return "kWindow_Installing";
    case kWindow_Finish:
      return "kWindow_Finish";
    default:
      return "unknown";
  }
}

// Each moment is reported on a thread of its own: the finish view must not wait for the analytics
// host, which may answer slowly or never.
void SendFlowEvent(FlowEvent event) {
  if (event == kFlowEvent_StartInstall)
    StartGaEventThread(kGaEvent_StartInstall);
  else if (event == kFlowEvent_Downloaded)
    StartGaEventThread(kGaEvent_Downloaded);
  else
    StartGaEventThread(kGaEvent_InstallSucceed);
}

}  // namespace

// ---- States ----

void CSetupFrameWnd::UpdateWindowSate(int state) {
  if (state == windowState_ || !Switch()) return;
  LOG_INFO("UpdateWindowSate:%s", StateName(state));
  ApplyState(state);
  windowState_ = state;
}

// The install itself is the flow's work; the installing state only keeps the progress page.
void CSetupFrameWnd::ApplyState(int state) {
  if (state == kWindow_Init) {
    SelectPage(0);
    SetControlVisible(L"btn_start", false);
    FocusFirst(L"btn_install");
  } else if (state == kWindow_Downloading) {
    EnterDownloading();
    FocusFirst(L"btn_hide");
  } else if (state == kWindow_Finish) {
    // An unattended run closes at once: a passive window stays on its progress page to the end.
    if (!options_.Unattended()) SelectPage(0);
    EnterFinish();
    if (!options_.Unattended()) FocusFirst(L"btn_start");
  }
}

// Each state's main button takes the focus, so that Enter does what the page is for.
void CSetupFrameWnd::FocusFirst(const wchar_t* name) {
  if (CControlUI* control = Find(name)) manager_.RequestInitialFocus(control);
}

void CSetupFrameWnd::EnterDownloading() {
  if (foldBox_) foldBox_->Selected(false, true);
  SelectPage(1);
  SetProgressPercent(0);
  ShowBanner(1);
  if (ClientAreaAnimationsOn()) ::SetTimer(hwnd_, kBannerTimer, kBannerIntervalMs, nullptr);
}

// A user who turned Windows' animations off keeps the first slide: moving pictures distract some
// readers.
bool CSetupFrameWnd::ClientAreaAnimationsOn() {
  BOOL on = TRUE;
  return !::SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &on, 0) || on;
}

// The log line comes first, so that it stands before whatever the finish sets off.
void CSetupFrameWnd::EnterFinish() {
  LOG_INFO("InstallExeFinish");
  ::KillTimer(hwnd_, kBannerTimer);
  ::KillTimer(hwnd_, kProgressTimer);
  SetControlVisible(L"btn_start", true);
  SetControlVisible(L"btn_install", false);
  if (CControlUI* line = Find(L"lineLayout")) line->ApplyAttribute(L"visible", L"false");
  if (CControlUI* options = Find(L"customLayout")) options->ApplyAttribute(L"visible", L"false");
  SetControlVisible(L"control_tip", false);
  SetTaskbarState(TBPF_NORMAL);
  if (taskbar_) taskbar_->SetValue(100, 100);
  // A quiet run's window is never shown, not even to finish.
  if (!::IsWindowVisible(hwnd_) && options_.mode != RunMode::kQuiet) ::ShowWindow(hwnd_, SW_SHOWNORMAL);
}

// ---- Display steps of the flow ----

// Right to left, the bar fills from the other end; the label still reads the real percentage.
void CSetupFrameWnd::SetProgressPercent(int percent) {
  const bool rtl = environment_.Language().IsRightToLeft();
  if (progressBar_) progressBar_->SetValue(rtl ? 100 - percent : percent);
  if (progressLabel_) progressLabel_->SetText(ProgressLabelText(percent));
  SetTaskbarState(TBPF_NORMAL);
  if (taskbar_) taskbar_->SetValue(percent, 100);
}

UINT CSetupFrameWnd::MessageBoxStyle(UINT style) const {
  return environment_.Language().IsRightToLeft() ? style | MB_RTLREADING | MB_RIGHT | MB_SETFOREGROUND : style;
}

// Unattended, the flow answers its questions itself; a question that still comes here gets the answer
// that changes nothing (No, Cancel, Abort) instead of waiting for a click that never comes.
int CSetupFrameWnd::UnattendedAnswer(const std::wstring& text, UINT style) const {
  LOG_INFOW(L"ERR:an unattended run does not ask: %ls", text.c_str());
  switch (style & MB_TYPEMASK) {
    case MB_OK:
      return IDOK;
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNO:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

int CSetupFrameWnd::ShowMessage(const std::wstring& text, UINT style) {
  if (options_.Unattended()) return UnattendedAnswer(text, style);
  return ::MessageBoxW(hwnd_, text.c_str(), Text(L"STR_MESSAGEBOX_TITLE").c_str(), MessageBoxStyle(style));
}

void CSetupFrameWnd::SetTaskbarState(int state) {
  if (taskbar_) taskbar_->SetState(state);
}

void CSetupFrameWnd::StartProgressTimer(int intervalMs) {
  ::SetTimer(hwnd_, kProgressTimer, static_cast<UINT>(intervalMs), nullptr);
}

void CSetupFrameWnd::StopProgressTimer() { ::KillTimer(hwnd_, kProgressTimer); }

void CSetupFrameWnd::OpenInBrowser(const std::wstring& address) { ::OpenInBrowser(hwnd_, address); }

void CSetupFrameWnd::CloseWithoutQuestion() { PostMessage(WM_CLOSE, kOwnCloseRequest, 0); }

void CSetupFrameWnd::SetOutcome(int exitCode, const std::string& why) {
  exitCode_ = exitCode;
  exitReason_ = why;
}

// ---- Handlers that start work ----

void CSetupFrameWnd::OnClickInstall() {
  LOG_INFO("OnClickInstall");
  ShowTip(std::wstring());
  const std::wstring text = pathEdit_ ? pathEdit_->GetText() : std::wstring();
  if (!AcceptInstallFolder(text, installFolder_)) {
    if (options_.Unattended()) {
      SetOutcome(kExit_InvalidSwitch, "the install folder cannot be installed into");
      return CloseWithoutQuestion();
    }
    ShowTip(Text(L"STR_PATH_INVALID"));
    return;
  }
  InstallFlowSettings settings =
      SettingsFromLanguage(environment_.Language(), WorkDir(), installFolder_, IsWindows64());
  settings.unattended = options_.Unattended();
  // A click before the background download began starts it now: the download then runs beside the
  // space check, which takes its size, instead of after it.
  StartPrefetch(true);
  flow_ = std::make_shared<CInstallFlow>(settings, *this, dispatcher_, &SendFlowEvent);
  flow_->SetPrefetch(prefetch_);
  flow_->Begin();
}

// A service account has no desktop of its own and no signed-in user to start the product as.
void CSetupFrameWnd::StartProduct() {
  const LanguageManager& language = environment_.Language();
  const std::wstring product = installFolder_ + language.GetProductExePath();
  if (IsServiceAccount())
    LOG_INFO("StartProduct skipped: the installer runs under a service account");
  else if (!StartProductProcess(product, language.IsRunAsAdmin()))
    ReportProductNotStarted(product);
  PostMessage(WM_CLOSE, kOwnCloseRequest, 0);
}

// The installation may still have worked: the user learns where the product should be, and whoever
// ran the installer learns from the exit code that it did not end well.
void CSetupFrameWnd::ReportProductNotStarted(const std::wstring& productPath) {
  SetOutcome(kExit_Failure, "the installed product did not start");
  LOG_INFOW(L"ERR:StartProduct the product did not start, the user is told where it is; exit code %d", exitCode_);
  ShowMessage(Text(L"STR_START_FAILED") + L"\n\n" + productPath, MB_OK | MB_ICONERROR);
}

void CSetupFrameWnd::BrowseInstallFolder() {
  wchar_t displayName[MAX_PATH] = {};
  const std::wstring title = Text(L"STR_SELECT_FOLDER");
  BROWSEINFOW info = {};
  info.hwndOwner = hwnd_;
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  // Only folders with a file-system path can be installed into; the chooser then refuses the others.
  info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_RETURNONLYFSDIRS;
  Scoped::CoTaskMemFree chosen(::SHBrowseForFolderW(&info));
  if (!chosen) return;
  std::wstring path = pathEdit_ ? pathEdit_->GetText() : std::wstring();
  if (!ChosenFolderPath(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), path)) return;
  if (pathEdit_) pathEdit_->SetText(path);
  ShowTip(std::wstring());
}

// A tip opens the path area so that it can be seen.
void CSetupFrameWnd::ShowTip(const std::wstring& text) {
  if (tipLabel_) {
    tipLabel_->SetText(text);
    tipLabel_->SetVisible(!text.empty());
  }
  if (!text.empty() && foldBox_) foldBox_->Selected(true, true);
}

// ---- Timers ----

bool CSetupFrameWnd::ShowBanner(int number) {
  CControlUI* banner = Find(L"banner");
  if (!banner) return false;
  environment_.WaitForPictures();
  const std::wstring picture =
      BannerPicturePath(environment_.GetPackDir(), environment_.Language().GetLanguage(), number);
  if (!FileExists(picture)) return false;
  banner->SetBkImage(picture);
  // The slide's words, for high contrast (where the picture gives way) and for screen readers.
  banner->SetText(Text((L"STR_SLIDE_" + std::to_wstring(number)).c_str()));
  return true;
}

void CSetupFrameWnd::AdvanceBanner() {
  if (!Find(L"banner")) return;
  bannerNumber_ = ShowBanner(bannerNumber_) ? bannerNumber_ + 1 : 1;
}

void CSetupFrameWnd::PollProgressFile() {
  int percent = 0;
  if (ProgressFilePercent(ProgressFilePathIn(WorkDir()), downloadShare_, percent)) SetProgressPercent(percent);
}

void CSetupFrameWnd::OnTimer(UINT_PTR id) {
  if (id == kProgressTimer)
    PollProgressFile();
  else if (id == kAfterPaintTimer)
    AfterFirstPaint();
  else
    AdvanceBanner();
}

// Every window timer is ours: none reaches the toolkit's own timer handling.
LRESULT CSetupFrameWnd::OnOtherMessage(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
  if (msg == WM_TIMER) {
    OnTimer(wParam);
    return 0;
  }
  if (dispatcher_.HandleMessage(msg)) return 0;
  handled = false;
  return 0;
}

// ---- Closing ----

// A download the user leaves half-way (closing the window, or Abort after a failure) stays on disk with
// its state: the next run goes on from it.
void CSetupFrameWnd::CleanupInstallFiles() {
  if (prefetch_ && windowState_ == kWindow_Init) prefetch_->Cancel();
  RemoveInstallFiles(WorkDir(),
                     windowState_ == kWindow_Downloading ? PartialDownload::kKeep : PartialDownload::kDelete);
}

// Unattended, closing the window is the answer: the run is cancelled (or, after the finish, done).
bool CSetupFrameWnd::ShouldCloseWithoutQuestion(WPARAM wParam) const {
  if (wParam == kOwnCloseRequest || options_.Unattended()) return true;
  CControlUI* start = Find(L"btn_start");
  return start && start->IsVisible();
}

// True when the user confirmed.
bool CSetupFrameWnd::AskToClose() {
  closeQuestionOpen_ = true;
  CTabLayoutUI* pages = Switch();
  std::wstring text = Text(pages && pages->GetCurSel() == 1 ? L"STR_CLOSE_TIP2" : L"STR_CLOSE_TIP1");
  int answer = ShowMessage(text, MB_YESNO | MB_ICONQUESTION);
  closeQuestionOpen_ = false;
  return answer == IDYES;
}

LRESULT CSetupFrameWnd::OnClose(UINT, WPARAM wParam, LPARAM, bool& handled) {
  if (ShouldCloseWithoutQuestion(wParam)) {
    CleanupInstallFiles();
    handled = false;
    return 0;
  }
  if (!Switch() || closeQuestionOpen_) return 0;
  if (!AskToClose()) return 0;
  CleanupInstallFiles();
  handled = false;
  return 0;
}

// Steps the workers still hand over are dropped from here on; the loop of the entry ends.
LRESULT CSetupFrameWnd::OnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
  dispatcher_.Detach();
  ::KillTimer(hwnd_, kBannerTimer);
  ::KillTimer(hwnd_, kProgressTimer);
  ::PostQuitMessage(0);
  handled = false;
  return 0;
}
