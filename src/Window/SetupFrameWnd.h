#pragma once

// The installer's only window: it prepares the environment before its skin is chosen, fills the
// controls with the chosen language's texts, routes the toolkit's notifications, and moves through
// the four window states while the install flow below it reports. Workers never touch it directly:
// every step they hand over arrives through the dispatcher on the window's own thread.

#include <windows.h>

#include <memory>
#include <string>

#include "install/CommandLine.h"
#include "install/InstallFlow.h"
#include "install/Prefetch.h"
#include "Window/SetupEnvironment.h"
#include "install/UiDispatcher.h"
#include "Window/TaskbarProgress.h"
#include "toolkit/window/UIWindowImplBase.h"

namespace SkinUI {
class CButtonUI;
class CCheckBoxUI;
class CEditUI;
class CLabelUI;
class CProgressUI;
class CTabLayoutUI;
}  // namespace SkinUI

class CSetupFrameWnd : public SkinUI::WindowImplBase, public IInstallFlowView {
 public:
  // wParam of a WM_CLOSE the program sends itself: the window closes without asking.
  static constexpr WPARAM kOwnCloseRequest = 1000;
  static constexpr UINT_PTR kBannerTimer = 11;
  static constexpr UINT_PTR kProgressTimer = 12;
  static constexpr UINT_PTR kAfterPaintTimer = 13;
  static constexpr UINT kBannerIntervalMs = 5000;
  // Height of the install path area the fold box opens.
  static constexpr int kFoldHeight = 75;
  explicit CSetupFrameWnd(HMODULE module, const SetupOptions& options = SetupOptions());
  ~CSetupFrameWnd() override;

  // ---- IInstallFlowView ----
  void SetProgressPercent(int percent) override;
  void UpdateWindowSate(int state) override;
  int ShowMessage(const std::wstring& text, UINT style) override;
  void SetTaskbarState(int state) override;
  void StartProgressTimer(int intervalMs) override;
  void StopProgressTimer() override;
  void OpenInBrowser(const std::wstring& address) override;
  void CloseWithoutQuestion() override;
  void SetOutcome(int exitCode, const std::string& why) override;

  // ---- Set-up ----
  void InitEnvironment();
  void InitData();
  void SetupControls();

  // ---- Handlers ----
  void OnClickInstall();
  void BrowseInstallFolder();
  void ShowTip(const std::wstring& text);
  void OpenLicence();
  void StartProduct();
  void OnSelectChanged(SkinUI::UINotification& msg);
  void OnTextChanged(SkinUI::UINotification& msg);
  void OnFoldChanged();
  void OnAgreeChanged();
  bool ShowBanner(int number);
  void CleanupInstallFiles();

  // ---- What the window shows and holds ----
  int WindowState() const { return windowState_; }
  // What the program ends with (ExitCode.h) and why, for the log's last line.
  int ExitCode() const { return exitCode_; }
  const std::string& ExitReason() const { return exitReason_; }
  int BannerNumber() const { return bannerNumber_; }
  const std::wstring& InstallFolder() const { return installFolder_; }
  const std::wstring& WorkDir() const { return environment_.GetWorkDir(); }
  const LanguageManager& Language() const { return environment_.Language(); }
  std::wstring Text(const wchar_t* key) const { return environment_.Language().GetString(key); }

  void Notify(SkinUI::UINotification& msg) override;
  const SkinUI::NotifyMap* RouteTable() const override;

 protected:
  const wchar_t* WindowClassName() const override { return L"SetupMainFrame"; }
  void OnTreeReady() override;
  void OnClick(SkinUI::UINotification& msg) override;
  std::wstring SkinFolder() override { return std::wstring(); }
  std::wstring SkinFile() override;
  SkinUI::SkinSourceType SkinSource() const override { return SkinUI::kSkinZipResource; }
  std::wstring SkinZipName() const override { return L"skin.zip"; }
  const wchar_t* SkinResourceId() const override { return MAKEINTRESOURCEW(104); }
  LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT OnOtherMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  // Lookups by control name; null when the skin has no such control (or another class under it).
  SkinUI::CControlUI* Find(const wchar_t* name) const;
  template <typename T>
  T* FindAs(const wchar_t* name, const wchar_t* interfaceName) const;
  SkinUI::CTabLayoutUI* Switch() const;
  void SetControlVisible(const wchar_t* name, bool visible);
  void SelectPage(int page);
  void FocusFirst(const wchar_t* name);
  void SetupTipPicture();
  void SetupPathEdit();
  void SetupCheckBoxes();
  void KeepControlReferences();
  void StartTaskbarProgress();

  void ApplyState(int state);
  void EnterDownloading();
  void EnterFinish();
  void OnTimer(UINT_PTR id);
  void AdvanceBanner();
  static bool ClientAreaAnimationsOn();
  void PollProgressFile();
  void ReportProductNotStarted(const std::wstring& productPath);
  bool ShouldCloseWithoutQuestion(WPARAM wParam) const;
  void StartUnattended();
  int UnattendedAnswer(const std::wstring& text, UINT style) const;
  bool AskToClose();
  UINT MessageBoxStyle(UINT style) const;

  SetupOptions options_;
  CSetupEnvironment environment_;
  std::wstring installFolder_;
  int windowState_ = -1;
  int exitCode_;
  std::string exitReason_;
  SkinUI::CEditUI* pathEdit_ = nullptr;
  SkinUI::CLabelUI* tipLabel_ = nullptr;
  SkinUI::CCheckBoxUI* foldBox_ = nullptr;
  SkinUI::CLabelUI* progressLabel_ = nullptr;
  SkinUI::CProgressUI* progressBar_ = nullptr;
  std::unique_ptr<TaskbarProgress> taskbar_;
  int downloadShare_ = 90;

  // Touched only on the window's thread.
  bool closeQuestionOpen_ = false;
  int bannerNumber_ = 1;
  CUiDispatcher dispatcher_;
  std::shared_ptr<CInstallFlow> flow_;
  std::shared_ptr<CPrefetch> prefetch_;  // the payload fetched while the home page waits
  void StartPrefetch(bool clicked = false);
  void AfterFirstPaint();
};
