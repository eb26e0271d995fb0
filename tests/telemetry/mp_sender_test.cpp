#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestServers.h"
#include "TestSupport.h"
#include "install/InstallFlow.h"
#include "download/DownloadTypes.h"
#include "telemetry/ClientId.h"
#include "telemetry/GaSender.h"
#include "telemetry/MpEventBody.h"

using TestServers::LogMark;
using TestServers::ServerLog;

namespace {

// What the capture log gained since the mark was taken: "scheme port method "uri" "type" body" lines.
class CaptureMark {
 public:
  CaptureMark() : start_(All().size()) {}
  std::string Text() const { return All().substr(start_); }
  bool WaitForLines(int count) const {
    for (int i = 0; i < 100; ++i) {
      if (Lines() >= count) return true;
      ::Sleep(50);
    }
    return false;
  }

 private:
  static std::string All() {
    std::wstring path = L"Z:" + TestSupport::Wide(SETUP_CAPTURE_LOG);
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    return TestSupport::ReadFileBytes(path);
  }
  int Lines() const {
    std::string text = Text();
    int count = 0;
    for (char c : text) count += c == '\n';
    return count;
  }
  size_t start_;
};

MpTarget LoopbackTarget(const std::wstring& clientId, const std::wstring& title) {
  MpTarget target;
  target.host = L"localhost";
  target.measurementId = L"G-TEST0001";
  target.apiSecret = L"s3cr3t_-x";
  target.clientId = clientId;
  target.category = GaCategory(title);
  target.label = clientId;
  return target;
}

std::string Line(const std::string& body) {
  return "https 443 POST \"/mp/collect?measurement_id=G-TEST0001&api_secret=s3cr3t_-x\" \"application/json\" " + body +
         "\n";
}

// The session and the engagement time every event carries: this process's session, and "#" for the
// engagement time, which Engagements() puts in place of the milliseconds sent.
std::string SessionAndEngagement() {
  return ",\"session_id\":" + std::to_string(GaSessionId()) + ",\"engagement_time_msec\":#";
}

std::string EventBody(const std::string& cid, const char* name, const char* reason = nullptr) {
  std::string params = "\"event_category\":\"Brenmark Solvetta (Windows version)\",\"event_label\":\"" + cid + "\"" +
                       SessionAndEngagement();
  if (reason) params += std::string(",\"failure_reason\":\"") + reason + "\"";
  return "{\"client_id\":\"" + cid + "\",\"events\":[{\"name\":\"" + name + "\",\"params\":{" + params + "}}]}";
}

// The number that follows each `key` in `text`, in order.
std::vector<unsigned long long> NumbersAfter(const std::string& text, const std::string& key) {
  std::vector<unsigned long long> numbers;
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    numbers.push_back(std::strtoull(text.c_str() + at + key.size(), nullptr, 10));
  }
  return numbers;
}

// `text` with each engagement time replaced by "#", after checking that it is a positive integer;
// the times go to `times`.
std::string Engagements(const std::string& text, std::vector<unsigned long long>* times = nullptr) {
  static const std::string key = "\"engagement_time_msec\":";
  std::string out;
  size_t from = 0;
  for (size_t at; (at = text.find(key, from)) != std::string::npos;) {
    size_t digits = at + key.size(), end = digits;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    const unsigned long long value = std::strtoull(text.substr(digits, end - digits).c_str(), nullptr, 10);
    EXPECT_GT(value, 0u) << text.substr(at, end - at);
    if (times) times->push_back(value);
    out += text.substr(from, digits - from) + "#";
    from = end;
  }
  return out + text.substr(from);
}

unsigned long long UnixSecondsNow() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER value;
  value.LowPart = now.dwLowDateTime;
  value.HighPart = now.dwHighDateTime;
  return (value.QuadPart - 116444736000000000ULL) / 10000000;
}

// A window that has nothing to show: the flow's failure question gets no answer and returns.
class SilentView : public IInstallFlowView {
 public:
  void SetProgressPercent(int) override {}
  void UpdateWindowSate(int) override {}
  int ShowMessage(const std::wstring&, UINT) override { return 0; }
  void SetTaskbarState(int) override {}
  void StartProgressTimer(int) override {}
  void StopProgressTimer() override {}
  void OpenInBrowser(const std::wstring&) override {}
  void CloseWithoutQuestion() override {}
  void SetOutcome(int, const std::string&) override {}
};

// One download of the install flow, run on this thread to its end (and its failure question).
void RunFlowDownload(const std::wstring& url, const std::wstring& workDir, const std::wstring& sha256) {
  InstallFlowSettings settings;
  settings.workDir = workDir;
  settings.installFolder = workDir;
  settings.downloadUrl = url;
  settings.payloadSha256 = sha256;
  SilentView view;
  CUiDispatcher dispatcher;
  auto flow = std::make_shared<CInstallFlow>(settings, view, dispatcher, [](FlowEvent) {});
  flow->RunDownload();
}

}  // namespace

// The three moments and a failed download, each one POST over HTTPS whose body arrives byte for
// byte; nothing goes to the v1 endpoint. All carry this run's session; each its engagement time, the
// milliseconds since the event before it.
TEST(MpSender, PostsTheThreeEventsAndTheFailureAsJson) {
  const std::string cid = TestServers::UniqueToken("mp");
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetMpTarget(LoopbackTarget(TestSupport::Wide(cid), L"Brenmark Solvetta"));
  CaptureMark capture;
  LogMark server(ServerLog::kNginx);
  EXPECT_TRUE(sender.SendStartInstall());
  EXPECT_TRUE(sender.SendDownloaded());
  ::Sleep(400);
  EXPECT_TRUE(sender.SendInstallSucceed());
  EXPECT_TRUE(sender.SendDownloadFailed("payload_mismatch"));
  ASSERT_TRUE(capture.WaitForLines(4)) << capture.Text();
  std::vector<unsigned long long> engagement;
  EXPECT_EQ(Line(EventBody(cid, "Downloader_Start_Install")) + Line(EventBody(cid, "Downloader_Installed")) +
                Line(EventBody(cid, "Installed_Succeed")) +
                Line(EventBody(cid, "Downloader_Failed", "payload_mismatch")),
            Engagements(capture.Text(), &engagement));
  ASSERT_EQ(4u, engagement.size());
  EXPECT_GE(engagement[2], 400u);
  EXPECT_LT(engagement[3], engagement[2]);  // counted from the event before, not from the start
  EXPECT_EQ(4, server.CountLines("POST \"/mp/collect?")) << server.Text();
  EXPECT_EQ(0, server.CountLines("/collect?v=1"));
}

// The failure event goes out on a thread of its own, with the reason class of the download's result.
TEST(MpSender, TheFailureThreadReportsTheReasonOfTheResult) {
  const std::string cid = TestServers::UniqueToken("mp-thread");
  CGaSender::GetInstance().SetMpTarget(LoopbackTarget(TestSupport::Wide(cid), L"Brenmark Solvetta"));
  CaptureMark capture;
  ASSERT_TRUE(StartDownloadFailedEvent(kDownloadResult_ContentFail));
  ASSERT_TRUE(capture.WaitForLines(1)) << capture.Text();
  EXPECT_EQ(Line(EventBody(cid, "Downloader_Failed", "network")), Engagements(capture.Text()));
}

// Quotes, backslashes, control characters and text beyond ASCII (the title comes from the pack, in
// any language) reach the server as valid JSON in UTF-8.
TEST(MpSender, EscapesTheTextsItCarries) {
  const std::wstring title = L"Sol\"vet\\ta\t\x0001 \x00E9\x4E2D\xD83D\xDE00";
  const std::string cid = TestServers::UniqueToken("mp-text");
  CGaSender::GetInstance().SetMpTarget(LoopbackTarget(TestSupport::Wide(cid), title));
  CaptureMark capture;
  ASSERT_TRUE(CGaSender::GetInstance().SendStartInstall());
  ASSERT_TRUE(capture.WaitForLines(1)) << capture.Text();
  EXPECT_EQ(Line("{\"client_id\":\"" + cid +
                 "\",\"events\":[{\"name\":\"Downloader_Start_Install\",\"params\":{\"event_category\":"
                 "\"Sol\\\"vet\\\\ta\\t\\u0001 \xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80 (Windows version)\","
                 "\"event_label\":\"" +
                 cid + "\"" + SessionAndEngagement() + "}}]}"),
            Engagements(capture.Text()));
}

TEST(MpSender, JsonStringsCutAtWholeCharactersAndReplaceLoneSurrogates) {
  EXPECT_EQ("\"a\\r\\nb\\u001f\\b\\f/\"", JsonString(L"a\r\nb\x001F\b\f/"));
  EXPECT_EQ(
      "\"\xEF\xBF\xBD"
      "x\xEF\xBF\xBD\"",
      JsonString(L"\xDC00x\xD800"));
  EXPECT_EQ("\"ab\"", JsonString(L"abc", 2));
  EXPECT_EQ("\"a\xF0\x9F\x98\x80\"", JsonString(L"a\xD83D\xDE00z", 2));  // a pair is one character
  MpEvent event{"Installed_Succeed", std::wstring(150, L'c'), L"L"};
  EXPECT_NE(BuildMpEventBody(L"C", event).find("\"event_category\":\"" + std::string(100, 'c') + "\","),
            std::string::npos);
  // How the run was started closes the parameters when the run says it.
  EXPECT_EQ(std::string::npos, BuildMpEventBody(L"C", event).find("install_mode"));
  event.installMode = "quiet";
  EXPECT_NE(BuildMpEventBody(L"C", event).find(",\"install_mode\":\"quiet\"}}]}"), std::string::npos);
}

// v1 has no failure event: nothing is sent; and switching back to v1 sends v1 requests again.
TEST(MpSender, TheV1ProtocolSendsNoFailureEvent) {
  const std::string cid = TestServers::UniqueToken("v1-fail");
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetTarget(L"localhost", BuildGaBasePath(L"UA-1-2", TestSupport::Wide(cid), L"T"));
  LogMark server(ServerLog::kNginx);
  CaptureMark capture;
  EXPECT_FALSE(sender.SendDownloadFailed("network"));
  EXPECT_TRUE(sender.SendInstallSucceed());
  EXPECT_EQ(1, server.CountLines(cid)) << server.Text();
  EXPECT_EQ(1, server.CountLines("HEAD \"/collect?v=1&t=event&tid=UA-1-2&cid=" + cid));
  EXPECT_EQ("", capture.Text());
}

// The install flow reports each failed download once, with the class of what went wrong.
TEST(MpSender, TheInstallFlowReportsAFailedDownloadWithItsReason) {
  const std::string cid = TestServers::UniqueToken("mp-flow");
  CGaSender::GetInstance().SetMpTarget(LoopbackTarget(TestSupport::Wide(cid), L"Brenmark Solvetta"));
  TestSupport::ScratchDir work(L"mpflow");
  const std::string name = TestServers::UniqueToken("mp-payload") + ".exe";
  TestServers::MakeFile(TestSupport::Wide(name), 4096);
  const std::wstring served = L"https://localhost/" + TestSupport::Wide(name);

  CaptureMark missing;
  RunFlowDownload(L"https://localhost/" + TestSupport::Wide(name) + L".missing", work.path(), L"");
  ASSERT_TRUE(missing.WaitForLines(1)) << missing.Text();
  EXPECT_EQ(Line(EventBody(cid, "Downloader_Failed", "no_size")), Engagements(missing.Text()));

  CaptureMark refused;
  RunFlowDownload(served, work.path(), std::wstring(64, L'0'));
  ASSERT_TRUE(refused.WaitForLines(1)) << refused.Text();
  EXPECT_EQ(Line(EventBody(cid, "Downloader_Failed", "payload_mismatch")), Engagements(refused.Text()));

  // A file where the work folder should be: nothing can be written there.
  ASSERT_TRUE(TestSupport::WriteFileBytes(work / L"file", "x"));
  CaptureMark noFolder;
  RunFlowDownload(served, work / L"file\\", L"");
  ASSERT_TRUE(noFolder.WaitForLines(1)) << noFolder.Text();
  EXPECT_EQ(Line(EventBody(cid, "Downloader_Failed", "disk")), Engagements(noFolder.Text()));

  CaptureMark success;
  RunFlowDownload(served, work.path(), L"");
  ::Sleep(500);  // a failure event would have come by now
  EXPECT_EQ("", success.Text());
}

// A build configured for the current protocol sets its sender up with its measurement id and API
// secret, this machine's client identifier and the pack's title. Its session is its own run's: the
// second it started in.
TEST(MpSender, ABuildForTheCurrentProtocolSetsItselfUpForIt) {
  CaptureMark capture;
  const unsigned long long before = UnixSecondsNow();
  ASSERT_EQ(0, TestSupport::RunProcess(L"\"" + TestSupport::ExeDir() + L"mp_setup_probe.exe\""));
  const unsigned long long after = UnixSecondsNow();
  ASSERT_TRUE(capture.WaitForLines(1)) << capture.Text();
  const std::string cid = TestSupport::Utf8(GetClientId());
  ASSERT_FALSE(cid.empty());
  const std::vector<unsigned long long> session = NumbersAfter(capture.Text(), "\"session_id\":");
  ASSERT_EQ(1u, session.size()) << capture.Text();
  EXPECT_GE(session[0], before);
  EXPECT_LE(session[0], after);
  EXPECT_EQ(
      "https 443 POST \"/mp/collect?measurement_id=G-PROBE1&api_secret=probe_secret\" \"application/json\" "
      "{\"client_id\":\"" +
          cid +
          "\",\"events\":[{\"name\":\"Downloader_Start_Install\",\"params\":{"
          "\"event_category\":\"Probe \\\"Title\\\" (Windows version)\",\"event_label\":\"" +
          cid + "\",\"session_id\":" + std::to_string(session[0]) + ",\"engagement_time_msec\":#}}]}\n",
      Engagements(capture.Text()));
}
