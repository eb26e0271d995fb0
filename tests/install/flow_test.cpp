#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FlowTestSupport.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "install/InstallFlow.h"
#include "language/LanguageManager.h"
#include "resources/EmbeddedPackages.h"
#include "trust/FileDigest.h"
#include "trust/HeldFile.h"
#include "install/ProcessHelper.h"
#include "base/Scoped.h"

using FlowTest::BuildFile;
using FlowTest::LogTail;
using FlowTest::RecordingView;
using FlowTest::UiWindow;
using TestSupport::IsFile;
using TestSupport::ReadFileBytes;
using TestSupport::ScratchDir;
using TestSupport::Utf8;

namespace {

const std::string kFailureBox = "box:" + std::to_string(MB_ABORTRETRYIGNORE | MB_ICONWARNING);
const std::string kRunningBox = "box:" + std::to_string(MB_OKCANCEL | MB_ICONWARNING);
constexpr DWORD kFlowTimeoutMs = 60000;

// The pack the loopback program carries, unpacked once per test, English.
class LoopbackPack {
 public:
  LoopbackPack() {
    Scoped::FreeLibrary program(::LoadLibraryExW(BuildFile(L"setup-loopback.exe").c_str(), nullptr,
                                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    loaded_ = program && LoadResZipFile(program.get(), dir_ / L"pack\\");
    language_.InitForLanguage(dir_ / L"pack\\", 0x409);
    if (program) LoadDomainFile(program.get(), language_);
  }
  bool loaded() const { return loaded_; }
  const LanguageManager& language() const { return language_; }

 private:
  ScratchDir dir_{L"pack"};
  LanguageManager language_;
  bool loaded_ = false;
};

// Puts the sample installer (signed by the pack's test publisher, or another build of it) where the
// loopback pack's download address points.
bool ServeSampleInstaller(const std::wstring& url, const wchar_t* build = L"tests/fixtures/SampleInstaller.exe") {
  const std::wstring prefix = L"https://localhost/";
  if (url.rfind(prefix, 0) != 0) return false;
  std::wstring target = TestServers::WebRoot() + url.substr(prefix.size());
  for (wchar_t& c : target) c = c == L'/' ? L'\\' : c;
  ::CreateDirectoryW(target.substr(0, target.rfind(L'\\')).c_str(), nullptr);
  return ::CopyFileW(BuildFile(build).c_str(), target.c_str(), FALSE) != FALSE;
}

// A product the flow finds running: SleepyChild under its own image name, ended with the object.
class RunningProduct {
 public:
  RunningProduct() : process_(TestSupport::StartProcess(L"\"" + path_ + L"\" 60000")) {}
  ~RunningProduct() {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.get(), 1);
  }
  bool started() const { return static_cast<bool>(process_); }
  HANDLE process() const { return process_.get(); }
  static const wchar_t* ImageName() { return L"SleepyChild.exe"; }

 private:
  std::wstring path_ = BuildFile(L"tests/install/SleepyChild.exe");
  Scoped::CloseHandle process_;
};

// Serves another file when the question comes, as a network that delivered a wrong file may deliver
// the right one next time.
class ServingView : public RecordingView {
 public:
  std::function<void()> beforeAnswer;
  int ShowMessage(const std::wstring& text, UINT style) override {
    if (beforeAnswer) beforeAnswer();
    return RecordingView::ShowMessage(text, style);
  }
};

// A window whose thread is slow to apply a state, as one busy painting is, and which logs each state
// when it applies it, as the installer's window does.
class SlowStateView : public RecordingView {
 public:
  void UpdateWindowSate(int state) override {
    ::Sleep(300);
    LOG_INFO("view applies state %d", state);
    RecordingView::UpdateWindowSate(state);
  }
};

class InstallFlowRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pack_.loaded());
    settings_ = SettingsFromLanguage(pack_.language(), dir_ / L"work\\", dir_ / L"Apps\\", false);
    ASSERT_TRUE(::CreateDirectoryW(settings_.workDir.c_str(), nullptr));
    ASSERT_TRUE(ServeSampleInstaller(settings_.downloadUrl)) << Utf8(settings_.downloadUrl);
    ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  }

  // Runs the flow from the accepted folder until `last` is recorded (or a close, or time runs out).
  void Run(const std::string& last) {
    CUiDispatcher dispatcher;
    UiWindow window(dispatcher);
    auto flow = std::make_shared<CInstallFlow>(settings_, *view_, dispatcher, view_->Sender());
    flow->Begin();
    EXPECT_TRUE(UiWindow::PumpUntil([&] { return view_->Has(last) || view_->Has("close"); }, kFlowTimeoutMs))
        << Joined();
    UiWindow::PumpUntil([] { return false; }, 100);  // nothing more may follow
    EXPECT_EQ(0, view_->offThreadCalls);
  }

  // The recorded events without the download's progress steps.
  std::vector<std::string> Milestones() const {
    std::vector<std::string> kept;
    for (const std::string& e : view_->events)
      if (e.rfind("percent:", 0) != 0) kept.push_back(e);
    return kept;
  }
  std::string Joined() const {
    std::string all;
    for (const std::string& e : view_->events) all += e + " ";
    return all;
  }

  LoopbackPack pack_;
  ScratchDir dir_{L"flow"};
  InstallFlowSettings settings_;
  std::unique_ptr<RecordingView> view_ = std::make_unique<RecordingView>();
};

}  // namespace

// From the accepted folder to the finish view with the sample installer served by nginx over TLS: the
// pack's digest accepts it, it runs silently with the exact command line, and everything temporary
// is gone at the end.
TEST_F(InstallFlowRun, DownloadsChecksInstallsAndFinishes) {
  ASSERT_FALSE(settings_.payloadSha256.empty());
  ASSERT_EQ(SETUP_TEST_PUBLISHER, settings_.payloadPublisher.name);
  LogTail log;
  const std::string browser = "browser:" + Utf8(settings_.installUrl);
  Run(browser);
  EXPECT_EQ((std::vector<std::string>{"state:1", "state:2", "timer:1500", "state:3", "taskbar:0", browser}),
            Milestones());
  std::vector<int> percents = view_->Percents();
  ASSERT_FALSE(percents.empty());
  for (size_t i = 1; i < percents.size(); ++i) EXPECT_LE(percents[i - 1], percents[i]);
  EXPECT_EQ(90, percents.back());
  EXPECT_EQ((std::vector<int>{kFlowEvent_StartInstall, kFlowEvent_Downloaded, kFlowEvent_Installed}),
            view_->SentEvents());

  const std::wstring product = settings_.ProductFolder();
  EXPECT_EQ(dir_ / L"Apps\\Brenmark Solvetta\\", product);
  EXPECT_EQ("com_english", ReadFileBytes(product + L"domain"));
  EXPECT_EQ(Utf8(BuildSilentCommandLine(settings_.installFolder, settings_.ProgressFilePath())),
            ReadFileBytes(product + L"install-command-line.txt"));
  EXPECT_TRUE(IsFile(product + L"Solvetta.exe"));
  EXPECT_FALSE(IsFile(settings_.InstallerPath()));
  EXPECT_FALSE(IsFile(settings_.ProgressFilePath()));
  DWORD helper = 0;
  EXPECT_FALSE(FindProcess(L"pelarin-download.tmp", helper));
  // One size query per install (the space check's answer is the download's), and the digest hashed
  // while the file came stands for the held file's.
  EXPECT_TRUE(log.InOrder({"sel path end", "payload policy: digest+publisher", "get file size begin",
                           "get disk size end", "the space check's answer is the download's",
                           "SHA-256 of the download, hashed as it came: " + Utf8(settings_.payloadSha256),
                           "VerifyPayload takes the digest hashed during the download",
                           "VerifyPublisher accepted, signed by \"" + Utf8(SETUP_TEST_PUBLISHER),
                           "HttpDownloadEnd\xA3\xBASuccess", "StartInstallExe\xA3\xBASilentInstallation",
                           "KillSilentInstallProcess"}))
      << log.Text();
  EXPECT_EQ(log.Count("GetDownloadFileSize...."), 1) << log.Text();
  EXPECT_EQ(log.Count("size query answered"), 0) << log.Text();
}

// A download whose digest is not the pack's is refused: both digests and the reason are logged, the
// file is deleted before anything could run it, the question says the file was wrong (not the
// network), and Abort closes the window. A pack without that text, as a vendor's may be, asks with the
// network's.
TEST_F(InstallFlowRun, RefusesAnInstallerWhoseDigestDiffers) {
  std::string sample;
  ASSERT_TRUE(FileDigest::Sha256File(BuildFile(L"tests/fixtures/SampleInstaller.exe"), sample));
  EXPECT_TRUE(FileDigest::Sha256Equal(settings_.payloadSha256, sample));  // the pack carries the real one
  ASSERT_FALSE(settings_.payloadRefusedText.empty());
  settings_.payloadSha256 = std::wstring(64, L'0');
  view_->answers = {IDABORT};
  LogTail log;
  Run("close");
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, "close"}), Milestones());
  EXPECT_FALSE(IsFile(settings_.InstallerPath()));
  EXPECT_FALSE(TestSupport::IsFolder(settings_.ProductFolder()));
  EXPECT_TRUE(log.InOrder({std::string(64, '0'), sample, "ERR:VerifyPayload refused the download: its SHA-256",
                           "HttpDownloadEnd\xA3\xBA"
                           "Failed"}))
      << log.Text();
  ASSERT_EQ(1u, view_->boxes.size());
  EXPECT_EQ(settings_.payloadRefusedText + L"\n\n" + settings_.operateTipText, view_->boxes[0].first);

  settings_.payloadRefusedText.clear();
  view_ = std::make_unique<RecordingView>();
  view_->answers = {IDABORT};
  Run("close");
  ASSERT_EQ(1u, view_->boxes.size());
  EXPECT_EQ(settings_.networkErrorText + L"\n\n" + settings_.operateTipText, view_->boxes[0].first);
}

// Retry after a refused file downloads it again, for a proxy or a mirror that delivered a wrong file
// may deliver the right one next time: here the server holds another publisher's build until the
// question comes, and the real one from then on.
TEST_F(InstallFlowRun, RetryAfterARefusedFileDownloadsItAgain) {
  ASSERT_TRUE(ServeSampleInstaller(settings_.downloadUrl, L"tests/fixtures/SampleInstaller-other.exe"));
  settings_.payloadSha256.clear();
  auto view = std::make_unique<ServingView>();
  const std::wstring url = settings_.downloadUrl;
  view->beforeAnswer = [url] { ServeSampleInstaller(url); };
  view->answers = {IDRETRY};
  view_ = std::move(view);
  LogTail log;
  const std::string browser = "browser:" + Utf8(settings_.installUrl);
  Run(browser);
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, "state:2", "timer:1500", "state:3",
                                      "taskbar:0", browser}),
            Milestones());
  ASSERT_EQ(1u, view_->boxes.size());
  EXPECT_EQ(settings_.payloadRefusedText + L"\n\n" + settings_.operateTipText, view_->boxes[0].first);
  EXPECT_TRUE(log.InOrder({"HttpDownload,ret = 0", "ERR:VerifyPayload refused the download: its signature",
                           "HttpDownload,ret = 0", "VerifyPublisher accepted", "HttpDownloadEnd\xA3\xBASuccess"}))
      << log.Text();
  EXPECT_TRUE(IsFile(settings_.ProductFolder() + L"Solvetta.exe"));
}

// The failure question names what is to blame: a file that cannot be saved (a folder holds the
// installer's name) asks about the disk, a proxy that keeps asking for credentials (a 407 to the size
// query) about the proxy; neither download retried anything.
TEST_F(InstallFlowRun, TheFailureQuestionNamesTheDiskOrTheProxy) {
  ASSERT_FALSE(settings_.diskErrorText.empty());
  ASSERT_FALSE(settings_.proxyErrorText.empty());
  ASSERT_TRUE(::CreateDirectoryW(settings_.InstallerPath().c_str(), nullptr) ||
              TestSupport::IsFolder(settings_.InstallerPath()));
  view_->answers = {IDABORT};
  LogTail log;
  Run("close");
  ::RemoveDirectoryW(settings_.InstallerPath().c_str());
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, "close"}), Milestones());
  ASSERT_EQ(1u, view_->boxes.size());
  EXPECT_EQ(settings_.diskErrorText + L"\n\n" + settings_.operateTipText, view_->boxes[0].first);
  EXPECT_TRUE(log.InOrder({"ERR:Open file fail!", "HttpDownload,ret = -5"})) << log.Text();
}

TEST_F(InstallFlowRun, AProxyThatKeepsAskingForCredentialsAsksAboutTheProxy) {
  const std::wstring prefix = L"https://localhost/";
  ASSERT_EQ(0u, settings_.downloadUrl.rfind(prefix, 0));
  settings_.downloadUrl = prefix + L"fault/status/407/" + settings_.downloadUrl.substr(prefix.size());
  view_->answers = {IDABORT};
  LogTail log;
  Run("close");
  ASSERT_EQ(1u, view_->boxes.size());
  EXPECT_EQ(settings_.proxyErrorText + L"\n\n" + settings_.operateTipText, view_->boxes[0].first);
  EXPECT_TRUE(log.InOrder({"size query answered HTTP status 407", "HttpDownload,ret = -6"})) << log.Text();
  EXPECT_EQ(std::string::npos, log.Text().find("DownLoadContent")) << log.Text();
}

// A download the pinned publisher did not sign is a failed download, the digest aside: the signer is
// logged, the file is deleted before anything could run it, nothing is installed, and Abort closes
// the window. Under Wine a root in no store is accepted, so the signer's name is what refuses it here;
// on Windows the test root itself would already be refused (CERT_E_UNTRUSTEDROOT).
TEST_F(InstallFlowRun, RefusesAnInstallerSignedByAnotherPublisher) {
  ASSERT_TRUE(ServeSampleInstaller(settings_.downloadUrl, L"tests/fixtures/SampleInstaller-other.exe"));
  settings_.payloadSha256.clear();
  view_->answers = {IDABORT};
  LogTail log;
  Run("close");
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, "close"}), Milestones());
  EXPECT_FALSE(IsFile(settings_.InstallerPath()));
  EXPECT_FALSE(TestSupport::IsFolder(settings_.ProductFolder()));
  DWORD helper = 0;
  EXPECT_FALSE(FindProcess(L"pelarin-download.tmp", helper));
  EXPECT_TRUE(log.InOrder({"payload policy: publisher", "signed by \"" + Utf8(SETUP_OTHER_PUBLISHER) + "\"",
                           "HttpDownloadEnd\xA3\xBA"
                           "Failed"}))
      << log.Text();
}

TEST(PayloadCheck, NoDigestNoCheckAndAnUnreadableFileFails) {
  ScratchDir dir(L"payload");
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a.exe", "abc"));
  HeldFile file(dir / L"a.exe");
  EXPECT_TRUE(VerifyPayload(file, L""));
  EXPECT_TRUE(IsFile(dir / L"a.exe"));
  EXPECT_TRUE(VerifyPayload(file, L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"));
  EXPECT_TRUE(VerifyPayload(file, L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));  // read again
  EXPECT_FALSE(VerifyPayload(file, L"not a digest"));
  EXPECT_FALSE(IsFile(dir / L"a.exe"));
  HeldFile missing(dir / L"missing.exe");
  EXPECT_FALSE(VerifyPayload(missing, std::wstring(64, L'a')));

  LanguageManager none;
  PayloadSource plain = GetPayloadSource(none, false);
  EXPECT_TRUE(plain.url.empty() && plain.sha256.empty());
}

// A missing file is a failed download; Retry deletes what is left and tries again, Ignore hands the
// address to the browser and returns to the home page at 0 %.
TEST_F(InstallFlowRun, RetryThenIgnoreAfterAFailedDownload) {
  // Nobody listens on that port: the failure comes at once, not after the engine's retries.
  settings_.downloadUrl =
      L"https://localhost:1/" + TestSupport::Wide(TestServers::UniqueToken("flow-missing")) + L".exe";
  settings_.payloadSha256.clear();
  view_->answers = {IDRETRY, IDIGNORE};
  Run("state:0");
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, "taskbar:4", kFailureBox,
                                      "browser:" + Utf8(settings_.downloadUrl), "state:0"}),
            Milestones());
  EXPECT_EQ(0, view_->Percents().back());
}

// The dead ends become the failure question: no address, no free-space answer, an installer that
// cannot start.
TEST_F(InstallFlowRun, DeadEndsAskTheFailureQuestion) {
  settings_.downloadUrl.clear();
  view_->answers = {IDRETRY, IDABORT};  // nothing to retry with: asked again
  Run("close");
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, kFailureBox, "close"}), Milestones());
}

TEST_F(InstallFlowRun, AFreeSpaceQueryThatFailsAsksTheFailureQuestion) {
  DWORD drives = ::GetLogicalDrives();
  wchar_t letter = L'Q';
  while (letter < L'Z' && (drives & (1u << (letter - L'A')))) ++letter;
  settings_.installFolder = std::wstring(1, letter) + L":\\Apps\\";
  view_->answers = {IDIGNORE};
  LogTail log;
  Run("state:0");
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, "browser:" + Utf8(settings_.downloadUrl),
                                      "state:0"}),
            Milestones());
  EXPECT_TRUE(log.InOrder({"get disk size end", "OnClickInstall\xA3\xBAGetFreeSize Failed"})) << log.Text();
}

TEST_F(InstallFlowRun, AnInstallerThatCannotStartAsksTheFailureQuestion) {
  std::string name = TestServers::UniqueToken("flow-junk") + ".exe";
  TestServers::MakeFile(TestSupport::Wide(name), 300000);
  settings_.downloadUrl = L"https://localhost/" + TestSupport::Wide(name);
  settings_.payloadSha256.clear();
  settings_.payloadPublisher = PublisherPin{};
  view_->answers = {IDABORT};
  Run("close");
  EXPECT_EQ(
      (std::vector<std::string>{"state:1", "state:2", "timer:1500", "timer:stop", "taskbar:4", kFailureBox, "close"}),
      Milestones());
}

// Nothing vouches for an unpinned payload but the connection, so with HTTPS refused it is never
// fetched over plain HTTP (a network that blocks port 443 would choose the file run as administrator):
// the download fails and not one request reaches port 80. With a digest the same network installs
// over plain HTTP, the digest vouching for the bytes.
TEST_F(InstallFlowRun, AnUnpinnedPayloadNeverComesOverPlainHttp) {
  const std::wstring refuse = TestServers::WebRoot() + L".refuse-https";
  ASSERT_TRUE(TestSupport::WriteFileBytes(refuse, "on"));
  std::string name = TestServers::UniqueToken("flow-unpinned") + ".exe";
  TestServers::MakeFile(TestSupport::Wide(name), 300000);
  settings_.downloadUrl = L"https://localhost/" + TestSupport::Wide(name);
  settings_.payloadSha256.clear();
  settings_.payloadPublisher = PublisherPin{};
  view_->answers = {IDABORT};
  TestServers::LogMark server(TestServers::ServerLog::kNginx);
  LogTail log;
  Run("close");
  ::DeleteFileW(refuse.c_str());
  EXPECT_EQ((std::vector<std::string>{"state:1", "taskbar:4", kFailureBox, "close"}), Milestones());
  EXPECT_EQ(0, server.CountLines("http 80 GET \"/" + name)) << server.Text();
  EXPECT_EQ(0, server.CountLines("http 80 HEAD \"/" + name)) << server.Text();
  EXPECT_GE(server.CountLines("https 443 "), 1) << server.Text();
  EXPECT_TRUE(log.InOrder({"payload policy: none", "HTTPS only", "plain HTTP refused"})) << log.Text();
  EXPECT_FALSE(IsFile(settings_.InstallerPath()));
}

// A running product is asked about: Cancel closes without installing; OK ends it and installs.
TEST_F(InstallFlowRun, ARunningProductIsEndedOnlyWhenTheUserAgrees) {
  RunningProduct running;
  ASSERT_TRUE(running.started());
  HANDLE process = running.process();
  settings_.productExeName = RunningProduct::ImageName();

  view_->answers = {IDCANCEL};
  Run("close");
  EXPECT_EQ((std::vector<std::string>{"state:1", "state:2", "taskbar:8", kRunningBox, "close"}), Milestones());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(process, 0));
  EXPECT_FALSE(TestSupport::IsFolder(settings_.ProductFolder()));

  view_ = std::make_unique<RecordingView>();
  view_->answers = {IDOK};
  const std::string browser = "browser:" + Utf8(settings_.installUrl);
  Run(browser);
  EXPECT_EQ((std::vector<std::string>{"state:1", "state:2", "taskbar:8", kRunningBox, "taskbar:2", "timer:1500",
                                      "state:3", "taskbar:0", browser}),
            Milestones());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process, 5000));
  EXPECT_TRUE(IsFile(settings_.ProductFolder() + L"Solvetta.exe"));
}

// Nothing can put another file in the checked installer's place before it starts: while the
// running-product question is open (after the check, before the start) a program tries to rename its
// own file over it. That fails, and the installer that was checked is the one that runs.
TEST_F(InstallFlowRun, TheCheckedInstallerCannotBeReplacedBeforeItStarts) {
  RunningProduct running;
  ASSERT_TRUE(running.started());
  settings_.productExeName = RunningProduct::ImageName();
  const std::wstring planted = dir_ / L"planted.exe";  // ends at once, installing nothing
  ASSERT_TRUE(::CopyFileW(BuildFile(L"tests/install/SleepyChild.exe").c_str(), planted.c_str(), FALSE));
  const std::wstring installer = settings_.InstallerPath();
  auto view = std::make_unique<ServingView>();
  DWORD replaceError = ERROR_SUCCESS;
  view->beforeAnswer = [&] {
    if (!::MoveFileExW(planted.c_str(), installer.c_str(), MOVEFILE_REPLACE_EXISTING)) replaceError = ::GetLastError();
  };
  view->answers = {IDOK};
  view_ = std::move(view);
  Run("browser:" + Utf8(settings_.installUrl));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), replaceError);
  EXPECT_TRUE(IsFile(settings_.ProductFolder() + L"Solvetta.exe"));
  EXPECT_TRUE(IsFile(settings_.ProductFolder() + L"install-command-line.txt"));
}

// However slowly the window applies a state, the worker's next steps wait for it: the installing
// state comes before the running-product question and the silent run, the finish view before the
// clean-up that ends the installer's helper.
TEST_F(InstallFlowRun, TheWorkersStepsWaitForTheWindowsStates) {
  RunningProduct running;
  ASSERT_TRUE(running.started());
  settings_.productExeName = RunningProduct::ImageName();
  view_ = std::make_unique<SlowStateView>();
  view_->answers = {IDOK};
  LogTail log;
  Run("browser:" + Utf8(settings_.installUrl));
  EXPECT_TRUE(
      log.InOrder({"HttpDownloadEnd\xA3\xBASuccess", "view applies state 2",
                   "StartInstallExe\xA3\xBA"
                   "FindProcess",
                   "StartInstallExe\xA3\xBASilentInstallation", "view applies state 3", "KillSilentInstallProcess"}))
      << log.Text();
}
