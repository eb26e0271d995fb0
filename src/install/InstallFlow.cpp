#include "install/InstallFlow.h"

#include <process.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "download/HttpDownload.h"
#include "install/ExitCode.h"
#include "install/Prefetch.h"
#include "install/SilentRun.h"
#include "language/LanguageManager.h"
#include "log/Log.h"
#include "resources/EmbeddedPackages.h"
#include "telemetry/GaSender.h"
#include "trust/FileDigest.h"
#include "install/ProcessHelper.h"
#include "base/Scoped.h"
#include "base/SystemInfo.h"
#include "base/TextHelper.h"

namespace {

// The bar's forward step when the downloader lowers its count (a range started over).
constexpr int kProgressNudgeBytes = 10;
// How long the finish view shows full progress on the taskbar button before it is cleared.
constexpr DWORD kTaskbarFullMs = 1000;

unsigned __stdcall RunDetachedBody(void* parameter) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}

// Runs `body` on a thread nobody joins; false when the thread could not be made.
bool StartDetached(std::function<void()> body, const char* what) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  Scoped::CloseHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &RunDetachedBody, owned.get(), 0, nullptr)));
  if (!thread) {
    LOG_INFO("ERR:%s thread could not start, errno %d", what, errno);
    return false;
  }
  owned.release();  // the thread owns it now
  return true;
}

}  // namespace

// ---- Folder and space rules ----

std::wstring InstallFolderFromText(const std::wstring& text) {
  if (!text.empty() && text.back() == L'\\') return text;
  return text + L"\\";
}

namespace {

// The folder test proper: a path that fails only because the path itself is missing is fine.
bool ProbeAccepts(std::wstring folder) {
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  folder += L"\\.";
  ::SetLastError(ERROR_SUCCESS);
  if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return ::GetLastError() != ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool IsInstallFolderAccepted(const std::wstring& installFolder) {
  // Wine answers "file not found" for a folder on a missing drive, where Windows says "path not
  // found"; the drive's root is asked as well so that a missing drive is refused on both.
  std::wstring drive = DriveOfFolder(installFolder);
  if (!drive.empty() && !ProbeAccepts(drive + L"\\")) return false;
  return ProbeAccepts(installFolder);
}

bool AcceptInstallFolder(const std::wstring& editText, std::wstring& installFolder) {
  installFolder = InstallFolderFromText(editText);
  LOG_INFOW(L"sel path:%ls", installFolder.c_str());
  return IsInstallFolderAccepted(installFolder);
}

bool ChosenFolderPath(PCIDLIST_ABSOLUTE item, std::wstring& path) {
  wchar_t chosen[MAX_PATH] = {};
  if (item && ::SHGetPathFromIDListW(item, chosen) && chosen[0] != L'\0') {
    path = chosen;
    return true;
  }
  LOG_INFOW(L"ERR:BrowseInstallFolder the chosen item has no file-system path, keeping %ls", path.c_str());
  return false;
}

std::wstring DriveOfFolder(const std::wstring& installFolder) {
  size_t colon = installFolder.find(L':');
  return colon == std::wstring::npos ? std::wstring() : installFolder.substr(0, colon + 1);
}

long long SizeToMB(long long bytes) { return bytes >> 20; }

bool HasRoomFor(long long sizeMB, long long freeMB) { return freeMB >= 3 * sizeMB; }

std::wstring StorageMessage(const std::wstring& storageText, long long sizeMB, const std::wstring& unitText) {
  wchar_t message[1024] = {};
  FormatWide(message, 1024, L"%s %lld %s", storageText.c_str(), 3 * sizeMB,
             unitText.empty() ? L"MB" : unitText.c_str());
  return message;
}

// ---- Download progress ----

int CDownloadProgress::Map(long long bytes, long long total, int share) {
  std::lock_guard<std::mutex> hold(lock_);
  long long shown = bytes < lastBytes_ ? lastBytes_ + kProgressNudgeBytes : bytes;
  if (shown > total) shown = total;
  lastBytes_ = shown;
  if (total <= 0) return 0;  // a size of 0 would divide by zero
  return static_cast<int>(static_cast<double>(shown) / total * share);
}

void CDownloadProgress::Reset() {
  std::lock_guard<std::mutex> hold(lock_);
  lastBytes_ = 0;
}

long long CDownloadProgress::LastBytes() const {
  std::lock_guard<std::mutex> hold(lock_);
  return lastBytes_;
}

DownloadOutcome OutcomeOfResult(int result) { return result == 0 ? kOutcome_Success : kOutcome_Failed; }

// ---- Payload check ----

PayloadSource GetPayloadSource(const LanguageManager& language, bool windows64) {
  const std::wstring suffix = windows64 ? L"_X64" : L"";
  PayloadSource source;
  source.url = language.GetUrlValue(L"STR_DOWN_URL" + suffix);
  source.sha256 = language.GetUrlValue(L"STR_DOWN_SHA256" + suffix);
  source.publisher.name = language.GetUrlValue(L"STR_DOWN_PUBLISHER" + suffix);
  source.publisher.certSha256 = language.GetUrlValue(L"STR_DOWN_PUBLISHER_SHA256" + suffix);
  return source;
}

namespace {

// The digest hashed during the download stands for the held file's when both name the same file as
// the download left it; otherwise the file is read through the held handle.
bool HeldDigest(HANDLE file, const KnownDigest& known, std::string& actual) {
  Base::FileStamp held;
  if (!known.sha256.empty() && Base::ReadFileStamp(file, held) && held == known.stamp) {
    LOG_INFO("VerifyPayload takes the digest hashed during the download: the held file is the one it wrote");
    actual = known.sha256;
    return true;
  }
  return FileDigest::Sha256Handle(file, actual);
}

bool DigestMatches(HANDLE file, const std::wstring& expectedSha256, const KnownDigest& known) {
  if (expectedSha256.empty()) return true;
  std::string actual;
  bool read = HeldDigest(file, known, actual);
  if (read && FileDigest::Sha256Equal(expectedSha256, actual)) return true;
  LOG_INFOW(L"ERR:VerifyPayload digest mismatch, expected %ls", expectedSha256.c_str());
  LOG_INFO("ERR:VerifyPayload digest of the download %s", read ? actual.c_str() : "(unreadable)");
  return false;
}

// The reason of a refusal, for the log; null when every pin holds.
const char* RefusalOf(const HeldFile& file, const std::wstring& expectedSha256, const PublisherPin& publisher,
                      const KnownDigest& known) {
  if (!file.IsHeld()) {
    LOG_INFOW(L"ERR:VerifyPayload cannot open %ls, error %lu", file.path().c_str(), file.OpenError());
    return "the file cannot be opened";
  }
  if (!DigestMatches(file.get(), expectedSha256, known)) return "its SHA-256 is not the pinned one";
  if (VerifyPublisher(file.path(), publisher, file.get()) != kPublisher_Accepted)
    return "its signature or signer is not the pinned one";
  return nullptr;
}

}  // namespace

bool VerifyPayload(HeldFile& file, const std::wstring& expectedSha256, const PublisherPin& publisher,
                   const KnownDigest& known) {
  const char* refusal = RefusalOf(file, expectedSha256, publisher, known);
  if (!refusal) return true;
  LOG_INFO("ERR:VerifyPayload refused the download: %s; it is deleted and nothing was run", refusal);
  file.Release();
  if (!::DeleteFileW(file.path().c_str())) LOG_INFO("ERR:VerifyPayload DeleteFile failed, error %lu", ::GetLastError());
  return false;
}

// ---- Settings ----

InstallFlowSettings SettingsFromLanguage(const LanguageManager& language, const std::wstring& workDir,
                                         const std::wstring& installFolder, bool windows64) {
  InstallFlowSettings settings;
  PayloadSource source = GetPayloadSource(language, windows64);
  settings.workDir = workDir;
  settings.installFolder = installFolder;
  settings.downloadUrl = source.url;
  settings.payloadSha256 = source.sha256;
  settings.payloadPublisher = source.publisher;
  settings.productDir = language.GetProductDir();
  settings.productExeName = language.GetExeName();
  settings.domainTag = language.GetDomain();
  settings.installUrl = language.GetInstallUrl();
  settings.storageText = language.GetString(L"STR_STORAGE");
  settings.unitText = language.GetString(L"STR_MB");
  settings.networkErrorText = language.GetString(L"STR_NETWORK_ERROR");
  settings.diskErrorText = language.GetString(L"STR_DISK_ERROR");
  settings.proxyErrorText = language.GetString(L"STR_PROXY_ERROR");
  settings.payloadRefusedText = language.GetString(L"STR_PAYLOAD_REFUSED");
  settings.operateTipText = language.GetString(L"STR_OPERATE_TIP");
  settings.softRunText = language.GetString(L"STR_SOFT_RUN");
  settings.downloadShare = language.GetDownloadRatio();
  settings.progressIntervalMs = language.GetReadFileTimeout();
  return settings;
}

bool InstallFlowSettings::SecureOnly() const { return !FileDigest::IsSha256Text(payloadSha256); }

std::wstring InstallFlowSettings::PayloadPolicy() const {
  std::wstring publisher;
  if (payloadPublisher.IsSet()) publisher = L"publisher";
  if (!payloadPublisher.certSha256.empty()) publisher += L"+certificate";
  if (payloadSha256.empty()) return publisher.empty() ? L"none" : publisher;
  return publisher.empty() ? L"digest" : L"digest+" + publisher;
}

// ---- The flow ----

CInstallFlow::CInstallFlow(const InstallFlowSettings& settings, IInstallFlowView& view, const CUiDispatcher& dispatcher,
                           FlowEventSender sendEvent)
    : settings_(settings), view_(view), dispatcher_(dispatcher), sendEvent_(std::move(sendEvent)) {}

void CInstallFlow::Show(std::function<void(IInstallFlowView&)> step) const {
  IInstallFlowView* view = &view_;
  dispatcher_.Post([view, step = std::move(step)] { step(*view); });
}

bool CInstallFlow::Apply(std::function<void(IInstallFlowView&)> step) const {
  IInstallFlowView* view = &view_;
  return dispatcher_.Call(
             [view, step = std::move(step)] {
               step(*view);
               return 1;
             },
             0) == 1;
}

int CInstallFlow::Ask(const std::wstring& text, UINT style) const {
  IInstallFlowView* view = &view_;
  return dispatcher_.Call([view, text, style] { return view->ShowMessage(text, style); }, 0);
}

void CInstallFlow::Begin() {
  LOG_INFO("sel path end");
  LOG_INFOW(L"payload policy: %ls, publisher \"%ls\", %ls", settings_.PayloadPolicy().c_str(),
            settings_.payloadPublisher.name.c_str(),
            settings_.SecureOnly() ? L"HTTPS only: no digest names the file, so never plain HTTP"
                                   : L"HTTPS, then plain HTTP if HTTPS fails: the digest names the file");
  StartSpaceCheck();
  LOG_INFO("send ga begin");
  sendEvent_(kFlowEvent_StartInstall);
  LOG_INFO("send ga end");
  LOG_INFO("change page downloading begin");
  view_.UpdateWindowSate(kWindow_Downloading);
  LOG_INFO("change page downloading end");
}

void CInstallFlow::StartSpaceCheck() {
  auto self = shared_from_this();
  if (!StartDetached([self] { self->RunSpaceCheck(); }, "space check")) DownloadFailed();
}

void CInstallFlow::RunSpaceCheck() {
  LOG_INFO("get file size begin");
  auto checked = std::make_shared<RemoteFile>();
  long long size = prefetch_ ? prefetch_->WaitForSize() : 0;
  if (size > 0) {
    LOG_INFO("the background download's size query answers the space check: %lld bytes", size);
  } else if (GetRemoteFile(settings_.downloadUrl, settings_.SecureOnly(), *checked)) {
    size = checked->nSize == CRangePlan::kUnknownSize ? 0 : checked->nSize;
    std::atomic_store(&checkedFile_, std::shared_ptr<const RemoteFile>(checked));
  }
  const long long sizeMB = SizeToMB(size);
  LOG_INFO("get file size end");
  std::wstring drive = DriveOfFolder(settings_.installFolder);
  LOG_INFO("get disk size begin");
  int freeMB = 0;
  bool known = GetDiskFreeMB(drive, freeMB);
  LOG_INFO("get disk size end");
  if (!known) {
    LOG_INFO("OnClickInstall\xA3\xBAGetFreeSize Failed");
    DownloadFailed();  // rather than a progress page that never moves
  } else if (HasRoomFor(sizeMB, freeMB)) {
    if (!StartDownload()) DownloadFailed();
  } else {
    LOG_INFO(
        "OnClickInstall\xA3\xBA"
        "filesize:%lldMB--FreeSize:%dMB",
        sizeMB, freeMB);
    AskAboutStorage(sizeMB, freeMB);
  }
}

void CInstallFlow::EndUnattended(int exitCode, const std::string& why) {
  LOG_INFO("unattended run: %s; it ends with exit code %d", why.c_str(), exitCode);
  Show([exitCode, why](IInstallFlowView& view) {
    view.SetOutcome(exitCode, why);
    view.CloseWithoutQuestion();
  });
}

void CInstallFlow::AskAboutStorage(long long sizeMB, int freeMB) {
  if (prefetch_) prefetch_->Release(this);
  if (settings_.unattended) {
    return EndUnattended(kExit_DiskFull, "not enough space: the install drive needs " + std::to_string(3 * sizeMB) +
                                             " MiB, " + std::to_string(freeMB) + " MiB are free");
  }
  if (Ask(StorageMessage(settings_.storageText, sizeMB, settings_.unitText), MB_OK) != IDOK) return;
  Show([](IInstallFlowView& view) { view.SetProgressPercent(0); });
  progress_.Reset();
  Show([](IInstallFlowView& view) { view.UpdateWindowSate(kWindow_Init); });
}

bool CInstallFlow::StartDownload() {
  if (settings_.downloadUrl.empty() || settings_.workDir.empty()) {
    LOG_INFO("ERR:StartDownload no download address or target");
    return false;
  }
  auto self = shared_from_this();
  if (prefetch_ && prefetch_->Adopt(self)) return true;
  return StartDetached([self] { self->RunDownload(); }, "download");
}

DownloadParam InstallFlowSettings::DownloadParameters(void* user) const {
  DownloadParam param;
  param.nDownloadThread = downloadThreads;
  param.pUserData = user;
  param.strDownloadUrl = downloadUrl;
  param.strSavePath = InstallerPath();
  param.bSecureOnly = SecureOnly();
  param.bComputeSha256 = !payloadSha256.empty();
  return param;
}

void CInstallFlow::RunDownload() {
  DownloadContext context{this, nullptr};
  DownloadParam param = settings_.DownloadParameters(&context);
  context.param = &param;
  param.pKnownFile = std::atomic_exchange(&checkedFile_, std::shared_ptr<const RemoteFile>());
  RunHttpDownload(param, &CInstallFlow::DownloadCallback, &cancelFlag_);
}

void CInstallFlow::DownloadCallback(int code, long long first, long long second, void* user) {
  const DownloadContext& context = *static_cast<DownloadContext*>(user);
  if (code == kDownload_Progress) context.flow->OnDownloadProgress(first, second);
  if (code == kDownload_End) context.flow->OnDownloadEnd(static_cast<int>(first), *context.param);
}

void CInstallFlow::OnDownloadProgress(long long bytes, long long total) {
  int percent = progress_.Map(bytes, total, settings_.downloadShare);
  Show([percent](IInstallFlowView& view) { view.SetProgressPercent(percent); });
}

void CInstallFlow::OnDownloadEnd(int result, const DownloadParam& param) {
  if (OutcomeOfResult(result) == kOutcome_Success) {
    auto installer = std::make_shared<HeldFile>(settings_.InstallerPath());
    const KnownDigest known{param.strSha256, param.writtenStamp};
    if (VerifyPayload(*installer, settings_.payloadSha256, settings_.payloadPublisher, known)) {
      DownloadSuccess(std::move(installer));
      return;
    }
  }
  StartDownloadFailedEvent(result);  // a result of success here means the file was refused
  DownloadFailed(result);
}

void CInstallFlow::DownloadSuccess(std::shared_ptr<HeldFile> installer) {
  LOG_INFO("HttpDownloadEnd\xA3\xBASuccess");
  sendEvent_(kFlowEvent_Downloaded);
  if (!Apply([](IInstallFlowView& view) { view.UpdateWindowSate(kWindow_Installing); })) return;
  StartInstallExe(std::move(installer));
}

// A pack without the disk, proxy or refusal line says what it always said.
std::wstring CInstallFlow::FailureText(int result) const {
  if (result == kDownloadResult_LocalWrite && !settings_.diskErrorText.empty()) return settings_.diskErrorText;
  if (result == kDownloadResult_ProxyAuth && !settings_.proxyErrorText.empty()) return settings_.proxyErrorText;
  if (result == kDownloadResult_Success && !settings_.payloadRefusedText.empty()) return settings_.payloadRefusedText;
  return settings_.networkErrorText;
}

int CInstallFlow::FailureExitCode(int result) {
  return result == kDownloadResult_Success ? kExit_PayloadRefused : kExit_DownloadFailed;
}

namespace {

const char* FailureReason(int exitCode) {
  return exitCode == kExit_PayloadRefused ? "the downloaded installer was refused" : "the download failed";
}

}  // namespace

// Unattended, nobody fetches the installer by hand: no browser, and a partial download stays for the
// next run to go on from.
void CInstallFlow::DownloadFailed(int result) {
  LOG_INFO(
      "HttpDownloadEnd\xA3\xBA"
      "Failed");
  Show([](IInstallFlowView& view) { view.SetTaskbarState(TBPF_ERROR); });
  const int exitCode = FailureExitCode(result);
  if (settings_.unattended) return EndUnattended(exitCode, FailureReason(exitCode));
  std::wstring message = FailureText(result) + L"\n\n" + settings_.operateTipText;
  for (;;) {
    int answer = Ask(message, MB_ABORTRETRYIGNORE | MB_ICONWARNING);
    if (answer == IDABORT) {
      Show([exitCode](IInstallFlowView& view) {
        view.SetOutcome(exitCode, std::string(FailureReason(exitCode)) + " and the user chose Abort");
        view.CloseWithoutQuestion();
      });
    } else if (answer == IDRETRY) {
      // A download that broke off goes on from its partial file; a refused one is gone already.
      CleanupInstallFiles(result == kDownloadResult_Success ? PartialDownload::kDelete : PartialDownload::kKeep);
      if (!StartDownload()) continue;  // nothing to retry with: ask again instead of a dead end
    } else if (answer == IDIGNORE) {
      std::wstring url = settings_.downloadUrl;
      Show([url](IInstallFlowView& view) { view.OpenInBrowser(url); });
      CleanupInstallFiles();
      Show([](IInstallFlowView& view) { view.SetProgressPercent(0); });
      progress_.Reset();
      Show([](IInstallFlowView& view) { view.UpdateWindowSate(kWindow_Init); });
    }
    return;
  }
}

// False when the user would rather keep the running product.
bool CInstallFlow::MakeRoomForInstall() {
  DWORD pid = 0;
  if (settings_.productExeName.empty() || !FindProcess(settings_.productExeName, pid)) return true;
  LOG_INFO(
      "StartInstallExe\xA3\xBA"
      "FindProcess");
  if (settings_.unattended) {
    EndUnattended(kExit_ProductRunning, "the product is running and an unattended run does not close it");
    return false;
  }
  Show([](IInstallFlowView& view) { view.SetTaskbarState(TBPF_PAUSED); });
  if (Ask(settings_.softRunText, MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
    Show([](IInstallFlowView& view) { view.SetOutcome(kExit_Cancelled, "the user kept the running product"); });
    return false;
  }
  KillProcess(pid);
  Show([](IInstallFlowView& view) { view.SetTaskbarState(TBPF_NORMAL); });
  return true;
}

void CInstallFlow::StartInstallExe(std::shared_ptr<HeldFile> installer) {
  if (!MakeRoomForInstall()) {
    installer->Release();  // before the window's clean-up deletes it
    if (!settings_.unattended) Show([](IInstallFlowView& view) { view.CloseWithoutQuestion(); });
    return;
  }
  CreateProductFolder(settings_.ProductFolder());
  WriteDomainFile(settings_.domainTag, settings_.ProductFolder());
  // Before the installer starts, so that its first report cannot be taken for a stale one.
  DeleteStaleProgressFile(settings_.ProgressFilePath());
  // The timer and the download's full share go to the window before the installer can report
  // anything, so that none of the installer's own steps can overtake them.
  int interval = settings_.progressIntervalMs;
  int share = settings_.downloadShare;
  Show([interval](IInstallFlowView& view) { view.StartProgressTimer(interval); });
  Show([share](IInstallFlowView& view) { view.SetProgressPercent(share); });
  auto self = shared_from_this();
  if (!StartDetached([self, installer] { self->RunInstall(*installer); }, "install")) {
    installer->Release();
    Show([](IInstallFlowView& view) { view.StopProgressTimer(); });
    if (settings_.unattended) return EndUnattended(kExit_Failure, "the install thread could not start");
    DownloadFailed();
  }
}

void CInstallFlow::RunInstall(HeldFile& installer) {
  Scoped::CloseHandle process =
      StartSilentInstaller(installer.path(), settings_.installFolder, settings_.ProgressFilePath());
  installer.Release();  // the running installer's image is protected by the system from here on
  if (!process) {
    LOG_INFOW(L"ERR:StartInstallExe cannot start %ls", installer.path().c_str());
    Show([](IInstallFlowView& view) { view.StopProgressTimer(); });
    if (settings_.unattended) return EndUnattended(kExit_Failure, "the full installer could not be started");
    DownloadFailed();  // the user may fetch it again instead of watching a bar that never moves
    return;
  }
  ::WaitForSingleObject(process.get(), INFINITE);
  RecordInstallerExit(process.get());
  sendEvent_(kFlowEvent_Installed);
  LOG_INFO(
      "StartInstallExe\xA3\xBA"
      "SilentInstallation");
  InstallExeFinish();
}

// Whoever started this installer learns what the full installer said: its own code when it failed.
void CInstallFlow::RecordInstallerExit(HANDLE process) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) {
    LOG_INFO("ERR:StartInstallExe the full installer's exit code cannot be read, error %lu", ::GetLastError());
    code = kExit_Failure;
  }
  LOG_INFO("StartInstallExe the full installer ended with exit code %lu", code);
  const std::string why = code == 0 ? "installed" : "the full installer ended with exit code " + std::to_string(code);
  const int exitCode = static_cast<int>(code);
  Show([exitCode, why](IInstallFlowView& view) { view.SetOutcome(exitCode, why); });
}

// The window stops the timers and shows the finish view before anything is cleaned up. Unattended,
// nobody reads a web page: the window closes instead.
void CInstallFlow::InstallExeFinish() {
  Apply([](IInstallFlowView& view) { view.UpdateWindowSate(kWindow_Finish); });
  CleanupInstallFiles();
  if (settings_.unattended) {
    Show([](IInstallFlowView& view) { view.CloseWithoutQuestion(); });
    return;
  }
  ::Sleep(kTaskbarFullMs);
  Show([](IInstallFlowView& view) { view.SetTaskbarState(TBPF_NOPROGRESS); });
  std::wstring installUrl = settings_.installUrl;
  if (!installUrl.empty()) Show([installUrl](IInstallFlowView& view) { view.OpenInBrowser(installUrl); });
}

void CInstallFlow::CleanupInstallFiles(PartialDownload partial) const {
  RemoveInstallFiles(settings_.workDir, partial);
}
