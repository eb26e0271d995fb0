#include "Window/SetupFrameWnd.h"

#include "config/BuildConfig.h"
#include "install/ExitCode.h"
#include "Window/SkinTexts.h"
#include "log/Log.h"
#include "telemetry/GaSender.h"
#include "install/ProcessHelper.h"
#include "base/SystemInfo.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/controls/UILabel.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/controls/UIProgress.h"

using namespace SkinUI;

// Until the window exists, a run that ends has failed; from then on, until the install says more,
// an end is the user's.
CSetupFrameWnd::CSetupFrameWnd(HMODULE module, const SetupOptions& options)
    : options_(options),
      environment_(module, options.language),
      exitCode_(kExit_Failure),
      exitReason_("the window could not be created") {}

// The window may still exist when the entry's frame ends early; the base lets it go.
CSetupFrameWnd::~CSetupFrameWnd() { dispatcher_.Detach(); }

// ---- Lookups ----

CControlUI* CSetupFrameWnd::Find(const wchar_t* name) const { return manager_.LookupControl(name); }

template <typename T>
T* CSetupFrameWnd::FindAs(const wchar_t* name, const wchar_t* interfaceName) const {
  CControlUI* control = Find(name);
  return control ? static_cast<T*>(control->CastTo(interfaceName)) : nullptr;
}

CTabLayoutUI* CSetupFrameWnd::Switch() const { return FindAs<CTabLayoutUI>(L"switch", L"TabLayout"); }

void CSetupFrameWnd::SetControlVisible(const wchar_t* name, bool visible) {
  if (CControlUI* control = Find(name)) control->SetVisible(visible);
}

void CSetupFrameWnd::SelectPage(int page) {
  if (CTabLayoutUI* pages = Switch()) pages->SelectIndex(page, true);
}

// ---- Skin hooks ----

void CSetupFrameWnd::InitEnvironment() { environment_.InitEnvironment(); }

// The reading direction decides the skin, so the language must be known first.
std::wstring CSetupFrameWnd::SkinFile() {
  InitEnvironment();
  return environment_.Language().IsRightToLeft() ? L"main_rtl.xml" : L"main.xml";
}

void CSetupFrameWnd::OnTreeReady() {
  manager_.SetRightToLeft(environment_.Language().IsRightToLeft());
  dispatcher_.Attach(hwnd_);
  SetOutcome(kExit_Cancelled, "the window was closed before the install finished");
  InitData();
  SetupGaSender(environment_.Language().GetGaTitle(), options_.ModeName());
  // A timer comes after the first paint: what the home page does not show waits for it.
  ::SetTimer(hwnd_, kAfterPaintTimer, 0, nullptr);
  if (options_.Unattended()) StartUnattended();
}

// Before the window is first shown, so that a passive run's first view is the progress page.
// Running unattended is how an organisation accepts the licence for its machines.
void CSetupFrameWnd::StartUnattended() {
  LOG_INFO("unattended run (%s): the licence is taken as accepted and the install starts", options_.ModeName());
  OnClickInstall();
}

// The icon (only the taskbar shows it), the taskbar progress and the background download.
void CSetupFrameWnd::AfterFirstPaint() {
  ::KillTimer(hwnd_, kAfterPaintTimer);
  SetIcon(101);
  StartTaskbarProgress();
  if (windowState_ == kWindow_Init && !flow_) StartPrefetch();
}

void CSetupFrameWnd::StartTaskbarProgress() {
  if (taskbar_) return;
  taskbar_ = std::make_unique<TaskbarProgress>();
  taskbar_->Attach(hwnd_);
  taskbar_->SetState(TBPF_NORMAL);
}

// ---- Initial data ----

void CSetupFrameWnd::InitData() {
  pathEdit_ = nullptr;
  tipLabel_ = nullptr;
  foldBox_ = nullptr;
  progressLabel_ = nullptr;
  windowState_ = -1;
  installFolder_ = GetProgramFilesDir();
  InitEnvironment();
  environment_.LoadDomainFile();
  UpdateWindowSate(kWindow_Init);
  SetupControls();
  KeepControlReferences();
  downloadShare_ = environment_.Language().GetDownloadRatio();
  environment_.LogStartupLines();
  ::SetWindowTextW(hwnd_, Text(L"STR_MESSAGEBOX_TITLE").c_str());
}

// The install folder is not needed yet: the payload goes to the work folder whatever it will be.
void CSetupFrameWnd::StartPrefetch(bool clicked) {
  if (prefetch_) return;
  const InstallFlowSettings settings =
      SettingsFromLanguage(environment_.Language(), WorkDir(), installFolder_, IsWindows64());
  prefetch_ = CPrefetch::Begin(settings, IsPrefetchEnabled(), clicked);
}

void CSetupFrameWnd::KeepControlReferences() {
  progressLabel_ = FindAs<CLabelUI>(L"label_progress", L"Label");
  tipLabel_ = FindAs<CLabelUI>(L"label_tip", L"Label");
  progressBar_ = FindAs<CProgressUI>(L"progress_download", L"Progress");
}

void CSetupFrameWnd::SetupControls() {
  FillSkinTexts(manager_, environment_.Language());
  SetupTipPicture();
  SetupPathEdit();
  SetupCheckBoxes();
}

void CSetupFrameWnd::SetupTipPicture() {
  CControlUI* tip = Find(L"control_tip");
  if (!tip) return;
  std::wstring picture = environment_.GetPackDir() + environment_.Language().GetLanguage() + L"\\install_tips.png";
  if (FileExists(picture)) tip->SetBkImage(picture);
}

// Read-only: the path changes only through the folder chooser.
void CSetupFrameWnd::SetupPathEdit() {
  pathEdit_ = FindAs<CEditUI>(L"edit_path", L"Edit");
  if (!pathEdit_) return;
  pathEdit_->SetText(options_.installDir.empty() ? installFolder_ : options_.installDir);
  pathEdit_->SetReadOnly(true);
  // Focus on the path opens the chooser; Tab must not, so keyboard users reach it through Browse.
  pathEdit_->SetKeyboardEnabled(false);
}

void CSetupFrameWnd::SetupCheckBoxes() {
  if (auto* agree = FindAs<CCheckBoxUI>(L"chk_agree", L"CheckBox")) agree->Selected(true, true);
  foldBox_ = FindAs<CCheckBoxUI>(L"chk_fold", L"CheckBox");
  if (foldBox_) foldBox_->Selected(false, true);
}

// ---- Notifications ----

const NotifyMap* CSetupFrameWnd::RouteTable() const {
  static const NotifyMapRow rows[] = {
      RouteWhole(L"click", L"", &CSetupFrameWnd::OnClick),
      RouteWhole(L"selectchanged", L"", &CSetupFrameWnd::OnSelectChanged),
      RouteWhole(L"textchanged", L"", &CSetupFrameWnd::OnTextChanged),
      RouteEnd(),
  };
  static const NotifyMap map = {WindowImplBase::RouteTable(), rows};
  return &map;
}

// A click into the path opens the chooser; the focus then moves on so that coming back from the
// chooser does not open it again.
void CSetupFrameWnd::Notify(UINotification& msg) {
  if (msg.pSender && msg.pSender->GetName() == L"edit_path" && msg.sType == L"setfocus") {
    BrowseInstallFolder();
    if (CControlUI* browse = Find(L"btn_browse")) browse->SetFocus();
  }
  WindowImplBase::Notify(msg);
}

void CSetupFrameWnd::OnClick(UINotification& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
  if (name == L"btn_install")
    OnClickInstall();
  else if (name == L"btn_browse")
    BrowseInstallFolder();
  else if (name == L"btn_hide")
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else if (name == L"btn_start")
    StartProduct();
  else if (name == L"btn_lisence")
    OpenLicence();
  WindowImplBase::OnClick(msg);
}

void CSetupFrameWnd::OnSelectChanged(UINotification& msg) {
  const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
  if (name == L"examine")
    SelectPage(0);
  else if (name == L"trojan")
    SelectPage(1);
  else if (name == L"chk_fold")
    OnFoldChanged();
  else if (name == L"chk_agree")
    OnAgreeChanged();
}

void CSetupFrameWnd::OnTextChanged(UINotification& msg) {
  if (msg.pSender && msg.pSender->GetName() == L"edit_path") ShowTip(std::wstring());
}

void CSetupFrameWnd::OnAgreeChanged() {
  auto* agree = FindAs<COptionUI>(L"chk_agree", L"Option");
  if (CControlUI* install = Find(L"btn_install")) install->SetEnabled(agree && agree->IsSelected());
}

// The path area is 75 pixels high at 96 DPI; the window grows and shrinks with it.
void CSetupFrameWnd::OnFoldChanged() {
  CControlUI* bottom = Find(L"bottomLayout");
  if (!bottom) return;
  RECT client = {};
  ::GetClientRect(hwnd_, &client);
  const bool open = foldBox_ && foldBox_->IsSelected();
  bottom->ApplyAttribute(L"visible", open ? L"true" : L"false");
  const int fold = manager_.Scale(kFoldHeight);
  SetClientSize(client.right - client.left, client.bottom - client.top + (open ? fold : -fold));
}

void CSetupFrameWnd::OpenLicence() { ::OpenInBrowser(hwnd_, environment_.Language().GetLicenceUrl()); }
