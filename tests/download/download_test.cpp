#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HttpDownload.h"
#include "tool/BaseRequest.h"
#include "SuiteLog.h"
#include "TestServers.h"
#include "TestSupport.h"

using TestServers::ServerLog;
using TestServers::LogMark;

namespace {

struct Call {
  int code, first, second;
};

// Runs one download and keeps every callback it made.
class Recorded {
 public:
  Recorded(const std::wstring& url, const std::wstring& savePath, int threads) {
    param.nDownloadThread = threads;
    param.pUserData = this;
    param.strDownloadUrl = url;
    param.strSavePath = savePath;
  }
  bool Run() {
    unsigned char flag = 1;
    bool ok = RunHttpDownload(param, &Recorded::Callback, &flag);
    EXPECT_EQ(flag, 0);
    return ok;
  }
  int Result() const { return calls.empty() || calls.back().code != 3 ? 1 : calls.back().first; }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const Call& call : calls) {
      if (codes.empty() || codes.back() != call.code) codes.push_back(call.code);
    }
    return codes;
  }
  int LastProgress() const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
      if (it->code == 2) return it->first;
    }
    return -1;
  }

  DownloadParam param;
  std::vector<Call> calls;

 private:
  static void Callback(int code, int first, int second, void* user) {
    Recorded* self = static_cast<Recorded*>(user);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->calls.push_back(Call{code, first, second});
  }
  std::mutex lock_;
};

class Download : public testing::Test {
 protected:
  TestSupport::ScratchDir dir_{L"dl"};
};

const std::vector<int> kFullSequence = {0, 1, 2, 3};

}  // namespace

TEST_F(Download, IsByteExactOverTlsWithOneAndFiveRanges) {
  const int size = 3 * 1024 * 1024 + 12345;
  std::string bytes = TestServers::MakeFile(L"dl-exact.bin", size);
  for (int threads : {1, 5}) {
    Recorded download(L"https://localhost/dl-exact.bin", dir_ / L"out\\exact.bin", threads);
    ASSERT_TRUE(download.Run()) << threads;
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"out\\exact.bin") == bytes) << threads;
    EXPECT_EQ(download.Codes(), kFullSequence);
    EXPECT_EQ(download.calls[1].first, size);
    EXPECT_EQ(download.LastProgress(), size);
    EXPECT_EQ(download.calls.back().first, 0);
  }
}

TEST_F(Download, CutsAHundredRequestedRangesToSixtyFour) {
  std::string bytes = TestServers::MakeFile(L"dl-64.bin", 6400 * 1024 + 63);
  LogMark server(ServerLog::kNginx);
  SuiteLog::Tail log;
  Recorded download(L"https://localhost/dl-64.bin", dir_ / L"64.bin", 100);
  ASSERT_TRUE(download.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"64.bin") == bytes);
  EXPECT_TRUE(log.Has("DownLoadContent: ThreadNum = 64 (request thread num = 100)")) << log.Text();
  EXPECT_EQ(server.CountLines("GET \"/dl-64.bin\" 206"), 64);
  EXPECT_EQ(log.Count("] SUCCCESS!"), 64);
}

TEST_F(Download, IsByteExactOverPlainHttpWhenOnlyPort80Answers) {
  std::string bytes = TestServers::MakeFile(L"dl-plain.bin", 777777);
  LogMark fault(ServerLog::kFault);
  Recorded download(L"http://127.0.0.2/plain/dl-plain.bin", dir_ / L"plain.bin", 5);
  ASSERT_TRUE(download.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"plain.bin") == bytes);
  EXPECT_EQ(fault.CountLines("GET /plain/dl-plain.bin \"bytes="), 5);
}

TEST_F(Download, SplitsAThousandBytesIntoThreeRangesTheLastTakingTheRest) {
  std::string bytes = TestServers::MakeFile(L"dl-1000.bin", 1000);
  LogMark server(ServerLog::kNginx);
  Recorded download(L"https://localhost/dl-1000.bin", dir_ / L"1000.bin", 3);
  ASSERT_TRUE(download.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"1000.bin") == bytes);
  EXPECT_EQ(server.CountLines("\"/dl-1000.bin\" 206 333 \"bytes=0-332\""), 1) << server.Text();
  EXPECT_EQ(server.CountLines("\"/dl-1000.bin\" 206 333 \"bytes=333-665\""), 1) << server.Text();
  EXPECT_EQ(server.CountLines("\"/dl-1000.bin\" 206 334 \"bytes=666-999\""), 1) << server.Text();
}

TEST_F(Download, AskesNothingForEmptyRangesOfATinyOrEmptyFile) {
  std::string bytes = TestServers::MakeFile(L"dl-tiny.bin", 3);
  TestServers::MakeFile(L"dl-empty.bin", 0);
  LogMark server(ServerLog::kNginx);
  Recorded tiny(L"https://localhost/dl-tiny.bin", dir_ / L"tiny.bin", 5);
  ASSERT_TRUE(tiny.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"tiny.bin") == bytes);
  EXPECT_EQ(server.CountLines("GET \"/dl-tiny.bin\""), 1) << server.Text();
  EXPECT_EQ(server.CountLines("\"bytes=0-2\""), 1) << server.Text();

  Recorded empty(L"https://localhost/dl-empty.bin", dir_ / L"empty.bin", 5);
  ASSERT_TRUE(empty.Run());
  EXPECT_EQ(TestSupport::FileSize(dir_ / L"empty.bin"), 0);
  EXPECT_EQ(server.CountLines("GET \"/dl-empty.bin\""), 0) << server.Text();
}

TEST_F(Download, RejectsBadParametersBeforeAnyTrafficWithMinusOne) {
  SuiteLog::Tail log;
  Recorded noThreads(L"https://localhost/dl-1000.bin", dir_ / L"x.bin", 0);
  EXPECT_FALSE(noThreads.Run());
  EXPECT_EQ(noThreads.Result(), -1);
  EXPECT_EQ(noThreads.Codes(), (std::vector<int>{0, 3}));
  EXPECT_TRUE(log.Has("ERR:invalid param (nDownloadThread = 0)")) << log.Text();

  Recorded noUrl(L"", dir_ / L"x.bin", 5);
  EXPECT_FALSE(noUrl.Run());
  EXPECT_EQ(noUrl.Result(), -1);
  EXPECT_TRUE(log.Has("ERR:invalid param (strDownloadUrl)"));

  Recorded noFolder(L"https://localhost/dl-1000.bin", L"bare-name.bin", 5);
  EXPECT_FALSE(noFolder.Run());
  EXPECT_EQ(noFolder.Result(), -1);
  EXPECT_TRUE(log.Has("ERR:make dir () fail!"));

  TestSupport::WriteFileBytes(dir_ / L"plainfile", "x");
  Recorded underAFile(L"https://localhost/dl-1000.bin", dir_ / L"plainfile\\sub\\x.bin", 5);
  EXPECT_EQ((underAFile.Run(), underAFile.Result()), -1);
  EXPECT_TRUE(log.Has("ERR:CheckParam fail!"));
  EXPECT_FALSE(log.Has("GetDownloadFileSize...."));
}

TEST_F(Download, NormalizesTheCallersSavePathAndCreatesItsFolders) {
  std::string bytes = TestServers::MakeFile(L"dl-norm.bin", 4096);
  std::wstring slashed = dir_.path();
  for (wchar_t& c : slashed) {
    if (c == L'\\') c = L'/';
  }
  Recorded download(L"https://localhost/dl-norm.bin", slashed + L"a//b/c.bin", 2);
  ASSERT_TRUE(download.Run());
  EXPECT_EQ(download.param.strSavePath, dir_ / L"a\\b\\c.bin");
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"a\\b\\c.bin") == bytes);
}

TEST_F(Download, WithoutASizeEndsWithMinusThreeAndOpensNoFile) {
  TestServers::MakeFile(L"dl-nolength.bin", 5000);
  SuiteLog::Tail log;
  EXPECT_EQ(GetRemoteFileSize(L"http://127.0.0.3/dl-1000.bin"), 0);
  EXPECT_EQ(GetRemoteFileSize(L"https://localhost/dl-nolength.bin"), 5000);
  Recorded unreachable(L"http://127.0.0.3/dl-1000.bin", dir_ / L"u.bin", 5);
  EXPECT_FALSE(unreachable.Run());
  EXPECT_EQ(unreachable.Result(), -3);
  EXPECT_EQ(unreachable.Codes(), (std::vector<int>{0, 3}));
  Recorded noLength(L"https://localhost/fault/nolength/dl-nolength.bin", dir_ / L"n.bin", 5);
  EXPECT_EQ((noLength.Run(), noLength.Result()), -3);
  EXPECT_TRUE(log.Has("ERR:GetDownloadFileSize fail!"));
  EXPECT_FALSE(TestSupport::IsFile(dir_ / L"u.bin") || TestSupport::IsFile(dir_ / L"n.bin"));
}

TEST_F(Download, ThatCannotOpenItsFileEndsWithMinusFour) {
  TestServers::MakeFile(L"dl-small.bin", 100);
  ::CreateDirectoryW((dir_ / L"taken").c_str(), nullptr);
  SuiteLog::Tail log;
  Recorded download(L"https://localhost/dl-small.bin", dir_ / L"taken", 1);
  EXPECT_EQ((download.Run(), download.Result()), -4);
  EXPECT_EQ(download.Codes(), (std::vector<int>{0, 1, 3}));
  EXPECT_TRUE(log.Has("ERR:DownLoadContent fail!"));
}

TEST_F(Download, SucceedsWithOneRangeWhenTheServerIgnoresRange) {
  std::string bytes = TestServers::MakeFile(L"dl-norange1.bin", 500000);
  Recorded download(L"https://localhost/fault/norange/dl-norange1.bin", dir_ / L"nr.bin", 1);
  ASSERT_TRUE(download.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"nr.bin") == bytes);
}

TEST_F(Download, RetriesCutConnectionsAndStillWritesTheExactFile) {
  std::string bytes = TestServers::MakeFile(L"dl-cut.bin", 2 * 1024 * 1024 + 7);
  std::string token = TestServers::UniqueToken("cut");
  std::wstring url = L"https://localhost/fault/cutfirst/150000/" + TestSupport::Wide(token) + L"/dl-cut.bin";
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  Recorded download(url, dir_ / L"cut.bin", 5);
  ASSERT_TRUE(download.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"cut.bin") == bytes);
  EXPECT_EQ(fault.CountLines("GET /cutfirst/150000/" + token), 10);  // every range twice
  EXPECT_EQ(log.Count("Request fail,  retry 0..."), 5) << log.Text();
  EXPECT_EQ(download.LastProgress(), static_cast<int>(bytes.size()));
  bool droppedBack = false;
  for (size_t i = 1; i < download.calls.size(); ++i) {
    if (download.calls[i].code == 2 && download.calls[i - 1].code == 2 &&
        download.calls[i].first < download.calls[i - 1].first) {
      droppedBack = true;
    }
  }
  EXPECT_TRUE(droppedBack) << "progress never fell back after a failed attempt";
}

TEST_F(Download, WaitsOutSlowAndStallingAnswers) {
  std::string bytes = TestServers::MakeFile(L"dl-slow.bin", 300000);
  Recorded trickle(L"https://localhost/fault/trickle/20000/40/dl-slow.bin", dir_ / L"t.bin", 2);
  ASSERT_TRUE(trickle.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"t.bin") == bytes);
  Recorded stall(L"https://localhost/fault/stall/1000/3/dl-slow.bin", dir_ / L"s.bin", 1);
  ASSERT_TRUE(stall.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"s.bin") == bytes);
}

TEST(DownloadBackend, PrefersTheBackendThatFailedLessAndAlternatesOnATie) {
  EXPECT_EQ(CHttpDownload::ChooseBackend(0, 0, 0), 0);
  EXPECT_EQ(CHttpDownload::ChooseBackend(0, 0, 1), 1);
  EXPECT_EQ(CHttpDownload::ChooseBackend(3, 3, 10), 0);
  EXPECT_EQ(CHttpDownload::ChooseBackend(1, 0, 0), 1);
  EXPECT_EQ(CHttpDownload::ChooseBackend(1, 0, 1), 1);
  EXPECT_EQ(CHttpDownload::ChooseBackend(2, 5, 1), 0);
}

// In a fresh process: WinHTTP fails one range once, WinINet then succeeds; from then on every range
// of the next download starts with WinINet.
TEST_F(Download, AfterOneWinHttpFailureEveryRangeStartsWithWinInet) {
  std::string bytes = TestServers::MakeFile(L"dl-prefer.bin", 900000);
  std::wstring first = L"https://localhost/fault/cutfirst/1000/" + TestSupport::Wide(TestServers::UniqueToken("p1")) +
                       L"/dl-prefer.bin";
  std::wstring second = L"https://localhost/fault/cutfirst/1000/" + TestSupport::Wide(TestServers::UniqueToken("p2")) +
                        L"/dl-prefer.bin";
  std::wstring command = L"\"" + TestSupport::ExeDir() + L"backend_probe.exe\" \"" + (dir_ / L"log") + L"\" \"" +
                         (dir_ / L"save") + L"\" " + first + L" 1 " + second + L" 3";
  ASSERT_EQ(TestSupport::RunProcess(command, 60000), 0);
  std::string log = TestSupport::ReadFileBytes(dir_ / L"log\\pelarin_down.log");
  auto count = [&log](const std::string& text) {
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("[WinHttp] Request fail,  retry 0...(WinHttp fail:1, Internet fail:0)"), 1) << log;
  EXPECT_EQ(count("[Internet] Request fail,  retry 0..."), 3) << log;
  EXPECT_EQ(count("[WinHttp] Request fail"), 1) << log;
  EXPECT_EQ(count("(WinHttp fail:1, Internet fail:3)"), 1) << log;
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"save\\probe5.bin") == bytes);
}

namespace {

// Thread id of the range whose "beging..." line names `header`, as text.
std::string RangeThreadId(const std::string& log, const std::string& header) {
  size_t at = log.find("][0][" + header + "] beging...");
  if (at == std::string::npos) return "";
  size_t open = log.rfind("[Thread][", at);
  return log.substr(open + 9, at - open - 9);
}

}  // namespace

// Three downloads that can never succeed, run side by side so the eleven attempts with their ten
// two-second pauses are waited out once: an error page exactly as long as the range, a server that
// ignores Range while five ranges ask for parts, and a range whose request objects cannot be made
// (which once retried without counting, for ever).
TEST_F(Download, GivesUpAfterElevenAttemptsOnErrorPagesIgnoredRangesAndNoRequestObject) {
  TestServers::MakeFile(L"dl-status.bin", 777);
  TestServers::MakeFile(L"dl-norange5.bin", 400000);
  TestServers::MakeFile(L"dl-noobject.bin", 1000);
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  Recorded errorPage(L"https://localhost/fault/status/500/dl-status.bin", dir_ / L"status.bin", 1);
  Recorded noRange(L"https://localhost/fault/norange/dl-norange5.bin", dir_ / L"norange.bin", 5);
  DownloadParam noObjectParam;
  noObjectParam.nDownloadThread = 1;
  noObjectParam.strDownloadUrl = L"https://localhost/dl-noobject.bin";
  noObjectParam.strSavePath = dir_ / L"noobject.bin";
  int noObjectResult = 1;
  DWORD begin = ::GetTickCount();
  std::thread other([&noRange] { noRange.Run(); });
  std::thread third([&noObjectParam, &noObjectResult] {
    CHttpDownload download(noObjectParam, nullptr, nullptr);
    download.SetRequestFactory([](int) { return std::unique_ptr<CBaseRequest>(); });
    noObjectResult = download.Download();
  });
  errorPage.Run();
  other.join();
  third.join();
  DWORD elapsed = ::GetTickCount() - begin;
  EXPECT_EQ(noObjectResult, -4);
  EXPECT_EQ(log.Count("ERR:CBaseRequest::CreateInstance fail! (attempt "), 11);
  EXPECT_TRUE(log.Has("ERR:CBaseRequest::CreateInstance fail! (attempt 10)"));

  EXPECT_EQ(errorPage.Result(), -4);
  EXPECT_EQ(noRange.Result(), -4);
  EXPECT_EQ(errorPage.Codes(), (std::vector<int>{0, 1, 3}));  // no block of the error page was written
  EXPECT_EQ(TestSupport::FileSize(dir_ / L"status.bin"), 0);
  EXPECT_GE(elapsed, 20000u);
  EXPECT_LT(elapsed, 40000u);
  EXPECT_EQ(fault.CountLines("GET /status/500/dl-status.bin \"bytes=0-776\""), 11);
  EXPECT_EQ(fault.CountLines("GET /norange/dl-norange5.bin \"bytes="), 55);

  std::string text = log.Text();
  std::string id = RangeThreadId(text, "Range:bytes=0-776");
  ASSERT_FALSE(id.empty()) << text;
  std::string prefix = "[Thread][" + id + "][0][";
  for (int retry = 0; retry <= 10; ++retry) {
    std::string tail = "] Request fail,  retry " + std::to_string(retry) + "...";
    EXPECT_TRUE(log.Has(prefix + "WinHttp" + tail) || log.Has(prefix + "Internet" + tail)) << retry;
  }
  EXPECT_EQ(log.Count("[Thread][" + id + "][0][WinHttp] Request fail") +
                log.Count("[Thread][" + id + "][0][Internet] Request fail"),
            11);
  EXPECT_FALSE(log.Has("[Thread][" + id + "][0] SUCCCESS!"));
  EXPECT_EQ(log.Count("HTTP status 500"), 11);
  EXPECT_EQ(log.Count("] SUCCCESS!"), 0);
}

// The ranges' memory is freed once the wait returns, so a wait that the platform refuses must still
// not return before the threads have ended. A handle without the right to wait on it makes
// WaitForMultipleObjects fail at once.
std::atomic<bool> g_sleeperEnded{false};

DWORD WINAPI SleepThenMark(LPVOID) {
  ::Sleep(400);
  g_sleeperEnded = true;
  return 0;
}

TEST(WaitForThreads, OutlastsEveryThreadEvenWhenThePlatformWaitFails) {
  g_sleeperEnded = false;
  HANDLE thread = ::CreateThread(nullptr, 0, &SleepThenMark, nullptr, 0, nullptr);
  ASSERT_TRUE(thread);
  HANDLE blind = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread, ::GetCurrentProcess(), &blind,
                                THREAD_QUERY_LIMITED_INFORMATION, FALSE, 0));
  ASSERT_EQ(WAIT_FAILED, ::WaitForMultipleObjects(1, &blind, TRUE, 0));
  EXPECT_EQ(WAIT_FAILED, WaitForThreads({blind}));
  EXPECT_TRUE(g_sleeperEnded);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForThreads({thread}));
  ::CloseHandle(blind);
  ::CloseHandle(thread);
}
