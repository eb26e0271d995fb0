#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/HttpDownload.h"
#include "download/BaseRequest.h"
#include "trust/FileDigest.h"
#include "Recorded.h"
#include "SuiteLog.h"
#include "TestServers.h"
#include "TestSupport.h"

using TestServers::LogMark;
using TestServers::ServerLog;

namespace {

class Download : public testing::Test {
 protected:
  TestSupport::ScratchDir dir_{L"dl"};
};

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

// The digest follows the file's gap-free start; on a link of 4 MiB/s per connection it keeps up, so
// after the last byte only the last pieces are left to hash, not the bulk of the file.
TEST_F(Download, HashesAsItComesSoThatLittleIsLeftToHashAfterTheLastByte) {
  const int size = 16 * 1024 * 1024;
  std::string bytes = TestServers::MakeFile(L"dl-digest.bin", size);
  std::string expected;
  ASSERT_TRUE(FileDigest::Sha256Bytes(bytes.data(), size, expected));
  SuiteLog::Tail log;
  Recorded download(L"https://localhost/slow/dl-digest.bin", dir_ / L"digest.bin", 5);
  download.param.bComputeSha256 = true;
  ASSERT_TRUE(download.Run());
  EXPECT_EQ(download.param.strSha256, expected);
  const std::string text = log.Text();
  const size_t at = text.find("which left ");
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_LE(std::stoll(text.substr(at + 11)), size / 4) << text.substr(at - 120, 200);
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
  SuiteLog::Tail log;
  Recorded download(L"http://127.0.0.2/plain/dl-plain.bin", dir_ / L"plain.bin", 5);
  ASSERT_TRUE(download.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"plain.bin") == bytes);
  EXPECT_EQ(fault.CountLines("GET /plain/dl-plain.bin \"bytes="), 5);
  // The size query came over plain HTTP, so every range goes there with WinHTTP, the backend that
  // speaks it, and none is first tried over TLS.
  EXPECT_FALSE(log.Has("] Request fail,")) << log.Text();
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

TEST_F(Download, AsksNothingForEmptyRangesOfATinyFileAndRefusesAnEmptyOne) {
  std::string bytes = TestServers::MakeFile(L"dl-tiny.bin", 3);
  TestServers::MakeFile(L"dl-empty.bin", 0);
  LogMark server(ServerLog::kNginx);
  SuiteLog::Tail log;
  Recorded tiny(L"https://localhost/dl-tiny.bin", dir_ / L"tiny.bin", 5);
  ASSERT_TRUE(tiny.Run());
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"tiny.bin") == bytes);
  EXPECT_EQ(server.CountLines("GET \"/dl-tiny.bin\""), 1) << server.Text();
  EXPECT_EQ(server.CountLines("\"bytes=0-2\""), 1) << server.Text();

  // Nothing runs an empty installer: an empty file is no file.
  Recorded empty(L"https://localhost/dl-empty.bin", dir_ / L"empty.bin", 5);
  EXPECT_FALSE(empty.Run());
  EXPECT_EQ(empty.Result(), -3);
  EXPECT_TRUE(log.Has("ERR:the remote file is empty")) << log.Text();
  EXPECT_FALSE(TestSupport::IsFile(dir_ / L"empty.bin"));
  EXPECT_EQ(server.CountLines("GET \"/dl-empty.bin\""), 0) << server.Text();
}

// An error page's length is no file size, whether the page is empty or not; the size check of the
// space question (GetRemoteFileSize) reads it as "unknown", 0.
TEST_F(Download, TakesTheSizeOnlyFromA200) {
  TestServers::MakeFile(L"dl-errsize.bin", 777);
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  for (const wchar_t* fault : {L"status/404", L"empty/404", L"empty/503"}) {
    std::wstring url = std::wstring(L"https://localhost/fault/") + fault + L"/dl-errsize.bin";
    EXPECT_EQ(GetRemoteFileSize(url), 0) << Narrow(url);
    Recorded download(url, dir_ / L"errsize.bin", 5);
    EXPECT_FALSE(download.Run());
    EXPECT_EQ(download.Result(), -3) << Narrow(url);
    EXPECT_EQ(download.Codes(), (std::vector<int>{0, 3}));
  }
  EXPECT_EQ(fault.CountLines("dl-errsize.bin \"bytes="), 0) << fault.Text();
  EXPECT_TRUE(log.Has("] size query answered HTTP status 404")) << log.Text();
  EXPECT_TRUE(log.Has("] size query answered HTTP status 503")) << log.Text();
}

// Ranges carry the size query's validator as If-Range: a Last-Modified at least a minute older than
// the answer (the same on every node of a farm), else a strong ETag, else the date (a weak ETag is
// not allowed there); a server whose file is unchanged then answers every range. On a farm whose
// nodes each name their own ETag the date keeps every range valid.
TEST_F(Download, SendsAStrongDateOrElseAStrongETagOrElseTheDateAsIfRange) {
  std::string bytes = TestServers::MakeFile(L"dl-ifrange.bin", 300000);
  const char* date = "if-range=Mon, 01 Jan 2024 00:00:00 GMT";
  for (const char* kind : {"strong", "fresh", "weak", "date", "farm"}) {
    std::string token = TestServers::UniqueToken(kind);
    const bool farm = std::string(kind) == "farm";
    std::wstring url = L"https://localhost/fault/" +
                       (farm ? std::wstring(L"farm") : L"versioned/" + TestSupport::Wide(kind)) + L"/" +
                       TestSupport::Wide(token) + L"/dl-ifrange.bin";
    LogMark fault(ServerLog::kFault);
    Recorded download(url, dir_ / L"ifrange.bin", farm ? 4 : 1);  // unversioned: size query and ranges agree
    ASSERT_TRUE(download.Run()) << kind;
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"ifrange.bin") == bytes) << kind;
    std::string expected = std::string(kind) == "fresh" ? "if-range=\"v1-" + token + "\"" : date;
    EXPECT_EQ(fault.CountLines(token + "/dl-ifrange.bin \"bytes="), farm ? 4 : 1) << fault.Text();
    EXPECT_EQ(fault.CountLines(token + "/dl-ifrange.bin \"bytes=0-"), 1) << fault.Text();
    EXPECT_EQ(fault.CountLines("\" " + expected), fault.CountLines(token + "/dl-ifrange.bin \"bytes=")) << kind;
  }
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

TEST_F(Download, WithoutAnAnswerEndsWithMinusThreeAndOpensNoFile) {
  SuiteLog::Tail log;
  EXPECT_EQ(GetRemoteFileSize(L"http://127.0.0.3/dl-1000.bin"), 0);
  Recorded unreachable(L"http://127.0.0.3/dl-1000.bin", dir_ / L"u.bin", 5);
  EXPECT_FALSE(unreachable.Run());
  EXPECT_EQ(unreachable.Result(), -3);
  EXPECT_EQ(unreachable.Codes(), (std::vector<int>{0, 3}));
  EXPECT_TRUE(log.Has("ERR:GetDownloadFileSize fail!"));
  EXPECT_FALSE(TestSupport::IsFile(dir_ / L"u.bin"));
}

// A size query answered without a length (nginx passes the fault server's length-less answers on
// chunked): the size comes from the Content-Range of a one-byte range answer, and five ranges fetch
// the file; a server that also ignores Range gives its whole body as one stream, whose end is the
// file's end. The space check (GetRemoteFileSize) learns the first size and counts the second as 0.
TEST_F(Download, LearnsAnUnnamedSizeFromARangeAnswerOrStreamsTheWholeBody) {
  std::string bytes = TestServers::MakeFile(L"dl-nolength.bin", 1500000);
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  EXPECT_EQ(GetRemoteFileSize(L"https://localhost/fault/nolength/dl-nolength.bin"), 1500000);
  EXPECT_EQ(GetRemoteFileSize(L"https://localhost/fault/stream/dl-nolength.bin"), 0);

  Recorded chunked(L"https://localhost/fault/nolength/dl-nolength.bin", dir_ / L"n.bin", 5);
  ASSERT_TRUE(chunked.Run()) << log.Text();
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"n.bin") == bytes);
  EXPECT_EQ(chunked.calls[1].first, 1500000);
  EXPECT_TRUE(log.Has("the size comes from a range answer: 1500000 bytes (bytes 0-0/1500000)")) << log.Text();
  EXPECT_EQ(fault.CountLines("GET /nolength/dl-nolength.bin \"bytes=0-0\""), 2) << fault.Text();
  EXPECT_EQ(fault.CountLines("GET /nolength/dl-nolength.bin \"bytes=1200000-1499999\""), 1) << fault.Text();

  Recorded stream(L"https://localhost/fault/stream/dl-nolength.bin", dir_ / L"s.bin", 5);
  ASSERT_TRUE(stream.Run()) << log.Text();
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"s.bin") == bytes);
  EXPECT_EQ(stream.calls[1].first, 0);  // no size to show
  EXPECT_EQ(stream.LastProgress(), 1500000);
  EXPECT_TRUE(log.Has("the server names no size: the file comes as one stream")) << log.Text();
  EXPECT_TRUE(log.Has("the body ended after 1500000 bytes: that is the file's size")) << log.Text();
  EXPECT_EQ(fault.CountLines("GET /stream/dl-nolength.bin \"\""), 1) << fault.Text();
}

// The file cannot be made (a folder of that name, a file another program holds without sharing): the
// download stops before any range with its own result, and the log says why.
TEST_F(Download, ThatCannotCreateItsFileEndsWithMinusFiveAndAsksForNoRange) {
  TestServers::MakeFile(L"dl-small.bin", 100);
  ::CreateDirectoryW((dir_ / L"taken").c_str(), nullptr);
  TestSupport::WriteFileBytes(dir_ / L"held.bin", "x");
  LogMark server(ServerLog::kNginx);
  SuiteLog::Tail log;
  Recorded folder(L"https://localhost/dl-small.bin", dir_ / L"taken", 1);
  EXPECT_EQ((folder.Run(), folder.Result()), -5);
  EXPECT_EQ(folder.Codes(), (std::vector<int>{0, 1, 3}));
  EXPECT_TRUE(log.Has("error 5: writing is not allowed there")) << log.Text();

  HANDLE held = ::CreateFileW((dir_ / L"held.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Recorded locked(L"https://localhost/dl-small.bin", dir_ / L"held.bin", 1);
  EXPECT_EQ((locked.Run(), locked.Result()), -5);
  ::CloseHandle(held);
  EXPECT_TRUE(log.Has("error 32: another program holds the file")) << log.Text();
  EXPECT_TRUE(log.Has("ERR:DownLoadContent fail!"));
  EXPECT_EQ(server.CountLines("\"bytes="), 0) << server.Text();
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
  // The second request of a range asks for what the first did not bring, and what arrived stays
  // counted: progress never falls back.
  EXPECT_EQ(fault.CountLines(token + "/dl-cut.bin \"bytes=0-419430\""), 1) << fault.Text();
  EXPECT_EQ(fault.CountLines(token + "/dl-cut.bin \"bytes=150000-419430\""), 1) << fault.Text();
  for (size_t i = 1; i < download.calls.size(); ++i) {
    if (download.calls[i].code == 2 && download.calls[i - 1].code == 2) {
      EXPECT_GT(download.calls[i].first, download.calls[i - 1].first) << i;
    }
  }
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
  std::wstring first =
      L"https://localhost/fault/cutfirst/1000/" + TestSupport::Wide(TestServers::UniqueToken("p1")) + L"/dl-prefer.bin";
  std::wstring second =
      L"https://localhost/fault/cutfirst/1000/" + TestSupport::Wide(TestServers::UniqueToken("p2")) + L"/dl-prefer.bin";
  std::string log;
  ASSERT_EQ(RunBackendProbe(dir_.path(), first + L" 1 " + second + L" 3", log), 0) << log;
  auto count = [&log](const std::string& text) { return CountIn(log, text); };
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

// Two downloads that can never succeed, run side by side: an error page exactly as long as the range
// (after a size query the server answered with 200), and a range whose request objects cannot be made
// (which once retried without counting, for ever). Neither attempt brings a byte, so each range gives
// up after eleven attempts, with pauses that grow.
TEST_F(Download, GivesUpAfterElevenAttemptsThatBringNothing) {
  TestServers::MakeFile(L"dl-status.bin", 777);
  TestServers::MakeFile(L"dl-noobject.bin", 1000);
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  const RetryPolicy quick = QuickRetries();
  Recorded errorPage(L"https://localhost/fault/rangestatus/500/dl-status.bin", dir_ / L"status.bin", 1);
  errorPage.policy = &quick;
  DownloadParam noObjectParam;
  noObjectParam.nDownloadThread = 1;
  noObjectParam.strDownloadUrl = L"https://localhost/dl-noobject.bin";
  noObjectParam.strSavePath = dir_ / L"noobject.bin";
  int noObjectResult = 1;
  DWORD begin = ::GetTickCount();
  std::thread third([&noObjectParam, &noObjectResult, &quick] {
    CHttpDownload download(noObjectParam, nullptr, nullptr);
    download.SetRequestFactory([](int) { return std::unique_ptr<CBaseRequest>(); });
    download.SetRetryPolicy(quick);
    noObjectResult = download.Download();
  });
  errorPage.Run();
  third.join();
  DWORD elapsed = ::GetTickCount() - begin;
  EXPECT_EQ(noObjectResult, -4);
  EXPECT_EQ(log.Count("ERR:CBaseRequest::CreateInstance fail! (attempt "), 11);
  EXPECT_TRUE(log.Has("ERR:CBaseRequest::CreateInstance fail! (attempt 10)"));

  EXPECT_EQ(errorPage.Result(), -4);
  EXPECT_EQ(errorPage.Codes(), (std::vector<int>{0, 1, 3}));  // no block of the error page was written
  EXPECT_EQ(TestSupport::FileSize(dir_ / L"status.bin"), 0);
  // Ten pauses: 100, 200 and eight of 400 ms, each within a quarter.
  EXPECT_GE(elapsed, 3000u * 3 / 4);
  EXPECT_LT(elapsed, 15000u);
  EXPECT_EQ(fault.CountLines("GET /rangestatus/500/dl-status.bin \"bytes=0-776\""), 11);

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
  EXPECT_TRUE(log.Has("ERR:[Thread][" + id + "][0] gives up: 11 attempts in a row brought nothing")) << text;
  EXPECT_FALSE(log.Has("[Thread][" + id + "][0] SUCCCESS!"));
  EXPECT_EQ(log.Count("HTTP status 500"), 11);
  EXPECT_EQ(log.Count("] SUCCCESS!"), 0);
}

TEST(RetryPause, DoublesFromTheFirstToTheLongestWithAQuarterEitherWay) {
  RetryPolicy policy;  // the installer's: 1 s doubling to 8 s
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 1, 0.5), 1000u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 2, 0.5), 2000u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 3, 0.5), 4000u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 4, 0.5), 8000u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 10, 0.5), 8000u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 1000, 0.5), 8000u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 1, 0.0), 750u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 4, 1.0), 10000u);
  EXPECT_EQ(CHttpDownload::RetryPauseMs(policy, 0, 7.0), 1250u);  // out-of-range draws are clamped
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

using TestServers::ServerSwitch;

// HTTPS dropped by the server, and HTTPS whose certificate the platform rejects (Wine's check refuses
// the loopback certificate for "127.0.0.1", standing in for a certificate of another name): in
// secure-only mode not one plain-HTTP request goes out; otherwise the whole download, size query and
// ranges, moves to plain HTTP as it always could, and no range is first tried over HTTPS. (Wine's
// WinINet reports a dropped HTTPS connection as an answer of status 0, which the size query refuses.)
TEST_F(Download, SecureOnlyNeverFallsBackToPlainHttp) {
  std::string bytes = TestServers::MakeFile(L"dl-secure.bin", 400000);
  struct Case {
    const wchar_t* url;
    bool refuseHttps;
  };
  for (const Case& c :
       {Case{L"https://localhost/dl-secure.bin", true}, Case{L"https://127.0.0.1/dl-secure.bin", false}}) {
    std::string name = Narrow(c.url);
    std::unique_ptr<ServerSwitch> refuse(c.refuseHttps ? new ServerSwitch(L".refuse-https") : nullptr);
    LogMark server(ServerLog::kNginx);
    SuiteLog::Tail log;
    EXPECT_EQ(GetRemoteFileSize(c.url, true), 0) << name;
    Recorded secure(c.url, dir_ / L"secure.bin", 3);
    secure.param.bSecureOnly = true;
    EXPECT_FALSE(secure.Run()) << name;
    EXPECT_EQ(secure.Result(), -3) << name;
    EXPECT_TRUE(log.Has("[WinHttp] HTTPS attempt failed; plain HTTP refused")) << log.Text();
    EXPECT_EQ(server.CountLines("http 80 "), 0) << name << server.Text();

    Recorded fallback(c.url, dir_ / L"fallback.bin", 3);
    ASSERT_TRUE(fallback.Run()) << name;
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"fallback.bin") == bytes) << name;
    EXPECT_EQ(server.CountLines("http 80 GET \"/dl-secure.bin\" 206"), 3) << name << server.Text();
    EXPECT_EQ(server.CountLines("https 443 GET \"/dl-secure.bin\" 444 0 \"bytes="), 0) << name << server.Text();
  }
}

// Downloads that must end in failure, not in a file stitched from what does not belong together; run
// side by side so that their attempts are waited out once:
//  - each range answered N bytes further on, with a Content-Range that says so;
//  - HTTPS answers the size query but drops ranges while plain HTTP serves other bytes;
//  - a file that is a new version at every request: the download starts once more after the first
//    change and ends at the second, without waiting out any attempts.
TEST_F(Download, NeverStitchesOneFileFromVersionsRangesOrSchemesThatDiffer) {
  TestServers::MakeFile(L"dl-onefile.bin", 1024 * 1024);
  LogMark fault(ServerLog::kFault);
  LogMark server(ServerLog::kNginx);
  SuiteLog::Tail log;
  const RetryPolicy quick = QuickRetries();
  std::vector<std::unique_ptr<Recorded>> downloads;
  for (const std::wstring& path :
       {std::wstring(L"fault/shifted/1000/dl-onefile.bin"), std::wstring(L"mixed/dl-onefile.bin"),
        L"fault/versioned/restless/" + TestSupport::Wide(TestServers::UniqueToken("restless")) + L"/dl-onefile.bin"}) {
    std::wstring save = dir_ / (L"onefile" + std::to_wstring(downloads.size()) + L".bin");
    downloads.push_back(std::make_unique<Recorded>(L"https://localhost/" + path, save, 4));
    downloads.back()->policy = &quick;
  }
  std::vector<std::thread> threads;
  DWORD restlessMs = 0;
  for (auto& download : downloads) {
    threads.emplace_back([&download, &restlessMs] {
      const DWORD begin = ::GetTickCount();
      download->Run();
      if (download->param.strDownloadUrl.find(L"restless") != std::wstring::npos) restlessMs = ::GetTickCount() - begin;
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (auto& download : downloads) EXPECT_EQ(download->Result(), -4) << Narrow(download->param.strDownloadUrl);
  EXPECT_TRUE(log.Has("] Content-Range (bytes 1000-263143/1048576) is not bytes 0-262143/1048576")) << log.Text();
  EXPECT_EQ(server.CountLines("http 80 "), 0) << server.Text();
  EXPECT_EQ(fault.CountLines("GET /altered/"), 0) << fault.Text();
  // Every attempt of every range went to 443 and was dropped (Wine's WinINet resends some of them).
  EXPECT_GE(server.CountLines("https 443 GET \"/mixed/dl-onefile.bin\" 444"), 44) << server.Text();
  EXPECT_EQ(log.Count("starting once more from a new size query"), 1) << log.Text();
  EXPECT_TRUE(log.Has("ERR:the file changed on the server again: the download ends")) << log.Text();
  EXPECT_LT(restlessMs, 5000u);
}

// A file replaced on the server during the download, whether the server honours If-Range (the other
// ranges get the whole new file), ignores it (they get the new version's ranges, with its ETag) or
// the file grew after the size query (another total): the download starts once more from a new size
// query and ends with the new file whole, at once instead of after every range's attempts.
TEST_F(Download, AFileReplacedDuringTheDownloadIsFetchedOnceMoreAsItNowIs) {
  std::string bytes = TestServers::MakeFile(L"dl-replaced.bin", 1024 * 1024);
  std::string inverted = bytes;
  for (char& byte : inverted) byte = static_cast<char>(~byte);
  SuiteLog::Tail log;
  const RetryPolicy quick = QuickRetries();
  struct Case {
    const char* kind;
    const std::string* expected;
  };
  for (const Case& c :
       {Case{"versioned/strong", &inverted}, Case{"versioned/blind", &inverted}, Case{"grown/65536", &bytes}}) {
    const std::wstring url = L"https://localhost/fault/" + TestSupport::Wide(c.kind) + L"/" +
                             TestSupport::Wide(TestServers::UniqueToken("replaced")) + L"/dl-replaced.bin";
    Recorded download(url, dir_ / L"replaced.bin", 4);
    download.policy = &quick;
    const DWORD begin = ::GetTickCount();
    ASSERT_TRUE(download.Run()) << c.kind << log.Text();
    EXPECT_LT(::GetTickCount() - begin, 5000u) << c.kind;
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"replaced.bin") == *c.expected) << c.kind;
  }
  EXPECT_EQ(log.Count("starting once more from a new size query"), 3) << log.Text();
  EXPECT_FALSE(log.Has("gives up")) << log.Text();
}

// A partial file goes on only when its state file vouches for it against what the server has now;
// otherwise the download starts from its first byte and the log says why. The state is made as an
// earlier run leaves it (the first half written), then changed one way per case.
TEST_F(Download, GoesOnFromAPartialFileOnlyWhenItsStateStillMatches) {
  const long long size = 600000;
  std::string bytes = TestServers::MakeFile(L"dl-partial.bin", static_cast<int>(size));
  const std::wstring url = L"https://localhost/dl-partial.bin";
  RemoteFile remote;
  ASSERT_EQ(QueryRemoteFile(url, true, CAttemptWatch::Limits(), remote), SizeQuery::kAnswered);
  ASSERT_FALSE(remote.Validator().empty());
  struct Case {
    const char* change;
    const char* why;  // empty: the download goes on
  };
  const Case cases[] = {{"none", ""},
                        {"size", "the file's size on the server is 600000 bytes, not 600001"},
                        {"validator", "the file changed on the server (another validator)"},
                        {"url", "the state file belongs to another download"},
                        {"short", "the partial file is shorter than its state says"},
                        {"damaged", "the state file is damaged"},
                        {"foreign", "the state file is not one of this program's"}};
  for (const Case& c : cases) {
    const std::string change = c.change;
    const std::wstring target = dir_ / L"partial.bin";
    TestSupport::WriteFileBytes(target, bytes.substr(0, change == "short" ? size / 4 : size / 2));
    ResumeState state;
    state.strUrl = change == "url" ? url + L"?other" : url;
    state.nSize = change == "size" ? size + 1 : size;
    state.strValidator = change == "validator" ? L"\"another\"" : remote.Validator();
    state.bOverTls = true;
    state.vecPieces = {RangePiece{0, state.nSize - 1, size / 2}};
    ASSERT_TRUE(state.Save(ResumeState::PathFor(target)));
    if (change == "damaged") TestSupport::WriteFileBytes(ResumeState::PathFor(target), "download-state 1\nsize x\n");
    if (change == "foreign") TestSupport::WriteFileBytes(ResumeState::PathFor(target), "<xml/>");
    LogMark server(ServerLog::kNginx);
    SuiteLog::Tail log;
    Recorded download(url, target, 1);
    ASSERT_TRUE(download.Run()) << change;
    EXPECT_TRUE(TestSupport::ReadFileBytes(target) == bytes) << change;
    EXPECT_FALSE(TestSupport::IsFile(ResumeState::PathFor(target))) << change;
    if (*c.why) {
      EXPECT_TRUE(log.Has(std::string("the download starts from its first byte: ") + c.why)) << change << log.Text();
      EXPECT_EQ(server.CountLines("\"bytes=0-599999\""), 1) << change << server.Text();
    } else {
      EXPECT_TRUE(log.Has("resume range 0 from byte 300000 to 599999")) << log.Text();
      EXPECT_EQ(server.CountLines("\"bytes=300000-599999\""), 1) << server.Text();
      EXPECT_EQ(download.calls[2].first, 300000);  // the bar starts at what is already there
    }
  }
}
