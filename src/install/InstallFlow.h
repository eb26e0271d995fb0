#pragma once

// The install flow below the window: the folder test, the space check, the download with its
// progress, the check of the downloaded installer, the silent run and the finish. Workers run the
// steps; every step that touches the window goes to the window's thread through the dispatcher, in
// the order the steps are written here, through the IInstallFlowView the window implements.

#include <windows.h>

#include <shtypes.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "install/SilentRun.h"
#include "download/DownloadTypes.h"
#include "install/UiDispatcher.h"
#include "trust/HeldFile.h"
#include "trust/PayloadTrust.h"

class CPrefetch;
class LanguageManager;

// Window states (values fixed: the log names them).
enum WindowState { kWindow_Init = 0, kWindow_Downloading = 1, kWindow_Installing = 2, kWindow_Finish = 3 };

// ---- Folder and space rules ----

// The edited path as an install folder: always ending with a backslash (an empty text gives "\").
std::wstring InstallFolderFromText(const std::wstring& text);
// A folder that exists, or whose last level is missing under an existing parent, is accepted; a path
// whose drive or upper folders are missing is refused.
bool IsInstallFolderAccepted(const std::wstring& installFolder);
// On the window's thread: the edited path as the install folder, logged, and the folder test.
bool AcceptInstallFolder(const std::wstring& editText, std::wstring& installFolder);
// The file-system path of the folder the chooser returned. False, with a log line and `path` left
// as it was, for an item that has none ("This PC", a library, the network): the folder shown, and
// later installed into, then stays what it was instead of becoming empty.
bool ChosenFolderPath(PCIDLIST_ABSOLUTE item, std::wstring& path);
// The folder's text up to and including its first ":"; empty without one.
std::wstring DriveOfFolder(const std::wstring& installFolder);
// Whole MiB of a remote size (arithmetic shift: 1048575 bytes are 0 MiB).
long long SizeToMB(long long bytes);
// The drive must hold three times the installer, both in whole MiB.
bool HasRoomFor(long long sizeMB, long long freeMB);
// The storage message: "%s %d %s" of the storage text, the MiB needed and the unit ("MB" when empty).
std::wstring StorageMessage(const std::wstring& storageText, long long sizeMB, const std::wstring& unitText);

// ---- Download progress ----

// The bar's share of the download, from the downloader's byte counts. The count never goes back: a
// report below the last one (a retried range) moves it up by 10 bytes instead. Thread-safe.
class CDownloadProgress {
 public:
  // Percent of the bar for `bytes` of `total`; 0 while the total is unknown.
  int Map(long long bytes, long long total, int share);
  void Reset();
  long long LastBytes() const;

 private:
  mutable std::mutex lock_;
  long long lastBytes_ = 0;
};

// What a finished download leads to.
enum DownloadOutcome { kOutcome_Success, kOutcome_Failed };
// Only 0 is a success; every other result is a failure the user is asked about.
DownloadOutcome OutcomeOfResult(int result);

// ---- Payload check ----

// The download address and what the pack pins its file to: STR_DOWN_URL with STR_DOWN_SHA256,
// STR_DOWN_PUBLISHER and STR_DOWN_PUBLISHER_SHA256, or on 64-bit Windows the same keys ending "_X64".
struct PayloadSource {
  std::wstring url;
  std::wstring sha256;
  PublisherPin publisher;
};
PayloadSource GetPayloadSource(const LanguageManager& language, bool windows64);

// True when the held file meets every pin it is given: the digest when `expectedSha256` is set, the
// signature and its signer when `publisher` is set (no pin: no check), both read through the held
// handle. Otherwise logs why, lets the file go and deletes it, so that nothing can run it.
// `known` is the digest the download hashed as the file came, with the stamp of the file it hashed;
// it stands for the held file's when the stamps agree, so the file is not read once more for it.
struct KnownDigest {
  std::string sha256;
  Base::FileStamp stamp;
};
bool VerifyPayload(HeldFile& file, const std::wstring& expectedSha256, const PublisherPin& publisher = {},
                   const KnownDigest& known = {});

// ---- The flow ----

// Answers of the download-failure question.
enum FailureAnswer { kAnswer_Abort = IDABORT, kAnswer_Retry = IDRETRY, kAnswer_Ignore = IDIGNORE };

// Analytics moments the flow reports.
enum FlowEvent { kFlowEvent_StartInstall, kFlowEvent_Downloaded, kFlowEvent_Installed };

// What the flow asks of the window. Every call arrives on the window's thread.
class IInstallFlowView {
 public:
  virtual ~IInstallFlowView() = default;
  virtual void SetProgressPercent(int percent) = 0;
  // kWindow_Finish brings the whole finish view: its log line first, then the timers stopped, the
  // start button, the full taskbar progress and the window shown if it was hidden.
  virtual void UpdateWindowSate(int state) = 0;
  // A modal box owned by the window with its title and reading-direction styles; returns the answer.
  virtual int ShowMessage(const std::wstring& text, UINT style) = 0;
  virtual void SetTaskbarState(int state) = 0;
  virtual void StartProgressTimer(int intervalMs) = 0;
  virtual void StopProgressTimer() = 0;
  virtual void OpenInBrowser(const std::wstring& address) = 0;
  // Closes the window without the close question (it cleans up on the way).
  virtual void CloseWithoutQuestion() = 0;
  // What the program will end with (a SetupExitCode, or the full installer's own code) and why.
  virtual void SetOutcome(int exitCode, const std::string& why) = 0;
};

// Reports an analytics moment, called on the window's thread (the start) and on the flow's workers.
// It must return at once, whatever the analytics host does, and must not need the window, which may
// be gone by then.
using FlowEventSender = std::function<void(FlowEvent event)>;

// Everything the flow needs from the pack and the environment, fixed when the install starts.
struct InstallFlowSettings {
  std::wstring workDir;        // ends with a backslash
  std::wstring installFolder;  // ends with a backslash
  std::wstring downloadUrl;
  std::wstring payloadSha256;     // empty: no check
  PublisherPin payloadPublisher;  // empty: no check
  std::wstring productDir;        // below the install folder, ends with a backslash
  std::wstring productExeName;    // image name of a running product
  std::wstring domainTag;
  std::wstring installUrl;
  std::wstring storageText, unitText, networkErrorText, operateTipText, softRunText;
  std::wstring diskErrorText, proxyErrorText;  // the failure question when the disk or the proxy is to blame
  std::wstring payloadRefusedText;             // ... when the file arrived but is not the one the pack pins
  int downloadShare = 90;
  int progressIntervalMs = 1500;
  int downloadThreads = 5;
  // Nobody answers questions: each has its unattended answer, which ends the run with its exit code.
  bool unattended = false;

  // Plain HTTP, which anyone on the network who blocks port 443 can answer, is used only when a digest
  // names the one file that may run. A publisher's name, with or without its certificate, vouches
  // for every file that certificate ever signed (an older release, another program of the same
  // vendor), and nothing but the connection vouches for an unpinned file: both go over HTTPS only.
  bool SecureOnly() const;
  // The pins in force, for the log: "digest", "publisher" (with "+certificate" when the signer's
  // certificate is pinned too), both joined by "+", or "none".
  std::wstring PayloadPolicy() const;
  std::wstring InstallerPath() const { return InstallerPathIn(workDir); }
  std::wstring ProgressFilePath() const { return ProgressFilePathIn(workDir); }
  std::wstring ProductFolder() const { return installFolder + productDir; }
  // The download of the full installer these settings describe, for the callback's `user`.
  DownloadParam DownloadParameters(void* user) const;
};

// The settings the pack gives, for `installFolder` (the work folder and texts included).
InstallFlowSettings SettingsFromLanguage(const LanguageManager& language, const std::wstring& workDir,
                                         const std::wstring& installFolder, bool windows64);

// Drives one install from the accepted folder to the finish view. Owned through a shared pointer:
// its detached workers keep it alive while they run.
class CInstallFlow : public std::enable_shared_from_this<CInstallFlow> {
 public:
  CInstallFlow(const InstallFlowSettings& settings, IInstallFlowView& view, const CUiDispatcher& dispatcher,
               FlowEventSender sendEvent);

  // On the window's thread, once the folder is accepted: the space check on a worker of its own, the
  // start event, and the progress page, with their log lines.
  void Begin();
  // Starts the space check on a worker of its own; the download follows when there is room.
  void StartSpaceCheck();
  // Starts a download thread; false (nothing started) when the address or the target is empty.
  bool StartDownload();
  // Removes the temporary files: the installer's helper process, the downloaded installer, the
  // progress file.
  void CleanupInstallFiles(PartialDownload partial = PartialDownload::kDelete) const;

  const InstallFlowSettings& Settings() const { return settings_; }
  // The download the window began in the background, which the install takes over.
  void SetPrefetch(std::shared_ptr<CPrefetch> prefetch) { prefetch_ = std::move(prefetch); }
  CDownloadProgress& Progress() { return progress_; }

  // The worker bodies, public so that a caller may run one on a thread of its choice.
  void RunSpaceCheck();
  void RunDownload();

 private:
  // What the download callback is handed: the flow and the download's own parameter record.
  struct DownloadContext {
    CInstallFlow* flow;
    const DownloadParam* param;
  };
  static void DownloadCallback(int code, long long first, long long second, void* user);
  void OnDownloadProgress(long long bytes, long long total);
  void OnDownloadEnd(int result, const DownloadParam& param);
  // The verified installer stays held from its check until its process has started.
  void DownloadSuccess(std::shared_ptr<HeldFile> installer);
  // The failure question; `result` (a DownloadResult, or kDownloadResult_Success for a download whose
  // file was refused) picks its first line.
  void DownloadFailed(int result = kDownloadResult_ContentFail);
  std::wstring FailureText(int result) const;
  void AskAboutStorage(long long sizeMB, int freeMB);
  // Unattended: the run ends here with `exitCode`, without a question.
  void EndUnattended(int exitCode, const std::string& why);
  // The exit code and reason of a download that failed with `result` (success: its file was refused).
  static int FailureExitCode(int result);
  bool MakeRoomForInstall();
  void StartInstallExe(std::shared_ptr<HeldFile> installer);
  void RunInstall(HeldFile& installer);
  void InstallExeFinish();
  void RecordInstallerExit(HANDLE process);
  void Show(std::function<void(IInstallFlowView&)> step) const;
  // Like Show, but returns once the window has applied the step: for state changes, whose own steps
  // must come before what the worker does next. False when the window is gone.
  bool Apply(std::function<void(IInstallFlowView&)> step) const;
  int Ask(const std::wstring& text, UINT style) const;

  InstallFlowSettings settings_;
  IInstallFlowView& view_;
  CUiDispatcher dispatcher_;
  FlowEventSender sendEvent_;
  // The space check's answer, taken by the first download after it (a Retry asks the server again).
  std::shared_ptr<const RemoteFile> checkedFile_;
  std::shared_ptr<CPrefetch> prefetch_;
  friend class CPrefetch;  // hands its download's progress and end to the flow
  CDownloadProgress progress_;
  unsigned char cancelFlag_ = 0;  // handed to the downloader, which clears it; never set
};
