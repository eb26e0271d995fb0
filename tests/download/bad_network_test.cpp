// Downloads over networks and disks that go wrong on the way: each ends in the exact file or in a
// clear failure of its own, never in a success with wrong bytes.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "download/HttpDownload.h"
#include "Recorded.h"
#include "SuiteLog.h"
#include "TestServers.h"
#include "TestSupport.h"

using TestServers::LogMark;
using TestServers::ServerLog;

namespace {

class BadNetwork : public testing::Test {
 protected:
  TestSupport::ScratchDir dir_{L"dl"};
};

bool Increasing(const Recorded& download) {
  int last = -1;
  for (const Call& call : download.calls) {
    if (call.code != 2) continue;
    if (call.first <= last) return false;
    last = call.first;
  }
  return true;
}

// What nginx's log says it sent of all bodies: each line is SCHEME PORT METHOD "URI" STATUS BYTES ...
long long BodyBytesSent(const std::string& log) {
  long long total = 0;
  for (size_t begin = 0; begin < log.size();) {
    size_t end = log.find('\n', begin);
    if (end == std::string::npos) end = log.size();
    const size_t uri = log.find('"', begin);
    const size_t close = uri < end ? log.find('"', uri + 1) : std::string::npos;
    int status = 0;
    long long bytes = 0;
    if (close < end && std::sscanf(log.c_str() + close + 1, " %d %lld", &status, &bytes) == 2) total += bytes;
    begin = end + 1;
  }
  return total;
}

}  // namespace

// Every answer breaks off after 1 MiB, a body shorter than its Content-Length: each range resumes
// where it stopped, the attempts that brought bytes never count toward giving up, and the file is
// whole.
TEST_F(BadNetwork, EveryAnswerCutAfterOneMegabyteStillGivesTheWholeFile) {
  const int size = 16 * 1024 * 1024;
  std::string bytes = TestServers::MakeFile(L"bad-cut.bin", size);
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  const RetryPolicy quick = QuickRetries();
  Recorded download(L"https://localhost/fault/cut/1048576/bad-cut.bin", dir_ / L"cut.bin", 5);
  download.policy = &quick;
  ASSERT_TRUE(download.Run()) << log.Text();
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"cut.bin") == bytes);
  EXPECT_TRUE(Increasing(download));
  EXPECT_FALSE(log.Has("gives up")) << log.Text();
  // 16 MiB in answers of at most 1 MiB, each range resuming at its first missing byte.
  const int requests = fault.CountLines("GET /cut/1048576/bad-cut.bin \"bytes=");
  EXPECT_GE(requests, 16) << fault.Text();
  EXPECT_LE(requests, 30) << fault.Text();
  // Each answer was either cut, and counted as a failed attempt, or completed its piece: the first
  // pieces (1.6 MiB) were all cut, later ones shrink below the cut.
  const int failed = log.Count("] Request fail,  retry ");
  EXPECT_GE(failed, 5) << log.Text();
  EXPECT_EQ(failed + log.Count("] SUCCCESS!"), requests) << log.Text();
}

// A server that answers every range with the whole file (200): the first such answer becomes the one
// stream of the whole download, the other ranges stop, and nothing is split off it again.
TEST_F(BadNetwork, AServerThatIgnoresRangeGivesOneStreamOfTheWholeFile) {
  const int size = 3 * 1024 * 1024 + 5;
  std::string bytes = TestServers::MakeFile(L"bad-norange.bin", size);
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  const RetryPolicy quick = QuickRetries();
  Recorded download(L"https://localhost/fault/norange/bad-norange.bin", dir_ / L"norange.bin", 5);
  download.policy = &quick;
  ASSERT_TRUE(download.Run()) << log.Text();
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"norange.bin") == bytes);
  EXPECT_EQ(download.LastProgress(), size);
  EXPECT_EQ(log.Count("the server sends whole files only"), 1) << log.Text();
  EXPECT_FALSE(log.Has("takes bytes")) << log.Text();
  EXPECT_FALSE(log.Has("Request fail")) << log.Text();
  EXPECT_LE(fault.CountLines("GET /norange/bad-norange.bin \"bytes="), 5) << fault.Text();
}

// One range's connection goes quiet after 200000 bytes and never speaks again (every answer for that
// start does): the connection is abandoned after the stall bound, the range resumes further on, and
// the ranges that finished first take tails of it. Without the bound the download waited minutes.
TEST_F(BadNetwork, AStalledConnectionIsAbandonedAndItsRangeFinishedElsewhere) {
  const int size = 8 * 1024 * 1024;
  std::string bytes = TestServers::MakeFile(L"bad-stall.bin", size);
  const int stalled = size / 5 * 2;  // the third range's first byte
  LogMark fault(ServerLog::kFault);
  SuiteLog::Tail log;
  RetryPolicy policy = QuickRetries();
  policy.nStallMs = 2000;
  const std::wstring url = L"https://localhost/fault/stallfrom/" + std::to_wstring(stalled) + L"/200000/bad-stall.bin";
  Recorded download(url, dir_ / L"stall.bin", 5);
  download.policy = &policy;
  const DWORD begin = ::GetTickCount();
  ASSERT_TRUE(download.Run()) << log.Text();
  const DWORD elapsed = ::GetTickCount() - begin;
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"stall.bin") == bytes);
  EXPECT_LT(elapsed, 15000u);
  EXPECT_TRUE(log.Has("takes bytes")) << log.Text();
  // Asked again from where the stalled answer left off (once more from its start at most, when the
  // stall came before the first block was whole).
  EXPECT_LE(fault.CountLines("\"bytes=" + std::to_string(stalled) + "-"), 2) << fault.Text();
  EXPECT_TRUE(Increasing(download));
}

// The drive fills up during the download: the first write that fails stops every range at once with
// its own result, no attempt is retried, and the log says the disk is full.
TEST_F(BadNetwork, AFullDiskStopsEveryRangeAtTheFirstFailedWrite) {
  int freeMB = 0;
  std::string why;
  if (!TestSupport::SmallDriveFreeMB(SETUP_SMALL_DRIVE L"\\", freeMB, why)) GTEST_SKIP() << why;
  const int size = (freeMB + 4) * 1024 * 1024;
  TestServers::MakeFile(L"bad-full.bin", size);
  const std::wstring target = SETUP_SMALL_DRIVE L"\\bad-full\\full.bin";
  SuiteLog::Tail log;
  Recorded download(L"https://localhost/bad-full.bin", target, 5);
  const DWORD begin = ::GetTickCount();
  EXPECT_FALSE(download.Run());
  const DWORD elapsed = ::GetTickCount() - begin;
  ::DeleteFileW(target.c_str());
  ::RemoveDirectoryW(SETUP_SMALL_DRIVE L"\\bad-full");
  EXPECT_EQ(download.Result(), -5);
  EXPECT_TRUE(log.Has("error 112: the disk is full")) << log.Text();
  EXPECT_FALSE(log.Has("Request fail")) << log.Text();
  EXPECT_FALSE(log.Has("gives up")) << log.Text();
  EXPECT_LT(elapsed, 10000u);
}

// In a fresh process both backends start even, so every range starts on WinHTTP. The first range
// completes there; the third range's connection stalls after its first block, and WinHTTP's failure
// count rises above WinINet's. The retry still goes to WinHTTP, the backend that completed a range of
// this download.
TEST_F(BadNetwork, TheBackendThatCompletedARangeKeepsTheDownload) {
  const int size = 3 * 400000;
  std::string bytes = TestServers::MakeFile(L"bad-prefer.bin", size);
  std::wstring url = L"https://localhost/fault/stallfrom/800000/150000/bad-prefer.bin";
  std::string log;
  ASSERT_EQ(RunBackendProbe(dir_.path(), url + L" 3", log), 0) << log;
  auto count = [&log](const std::string& text) { return CountIn(log, text); };
  EXPECT_EQ(count("[WinHttp] Request fail,  retry 0...(WinHttp fail:1, Internet fail:0)"), 1) << log;
  EXPECT_EQ(count("probe: new WinHttp request"), 4) << log;
  EXPECT_EQ(count("probe: new Internet request"), 0) << log;
  EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"save\\probe3.bin") == bytes);
}

// Answers a retry cannot change end the download after a few of them, with the content failure, in
// seconds rather than after every range's attempts; a refused answer's body is not read to its end
// (nginx counts what it could send before the connection closed: far less than the refused bodies).
// In a fresh process, where WinHTTP takes the first attempts: Wine's WinINet reads a whole body when
// its request is closed, whatever the request asked.
TEST_F(BadNetwork, AnswersThatARetryCannotChangeEndTheDownloadAtOnce) {
  TestServers::MakeFile(L"bad-permanent.bin", 48 * 1024 * 1024);
  for (const char* fault : {"rangestatus/416", "encoded"}) {
    LogMark server(ServerLog::kNginx);
    std::string log;
    const DWORD begin = ::GetTickCount();
    const std::wstring folder = dir_ / (TestSupport::Wide(fault).substr(0, 4) + L"\\");
    EXPECT_EQ(
        RunBackendProbe(folder, L"https://localhost/fault/" + TestSupport::Wide(fault) + L"/bad-permanent.bin 3", log),
        1)
        << fault;
    EXPECT_LT(::GetTickCount() - begin, 8000u) << fault;
    EXPECT_EQ(CountIn(log, "HttpDownload,ret = -4"), 1) << log;
    EXPECT_EQ(CountIn(log, "a retry cannot mend it, the download ends"), 1) << log;
    EXPECT_EQ(CountIn(log, "gives up"), 0) << log;
    // Read to their ends, the three refused bodies would be 48 MiB; socket buffers hold a few MiB.
    EXPECT_LT(BodyBytesSent(server.Text()), 24LL * 1024 * 1024) << fault << server.Text();
  }
}

// Every request has a deadline that the engine keeps itself, whatever the platform's time-outs do: a
// TLS handshake the server never answers and a connect that never completes end the size query, and
// headers that come a byte a second end each range's attempt. No attempt outlives its bound by more
// than the watch's grace.
TEST_F(BadNetwork, EveryAttemptEndsWithinItsDeadline) {
  TestServers::MakeFile(L"bad-deadline.bin", 300000);
  SuiteLog::Tail log;
  RetryPolicy policy = QuickRetries();
  policy.nAnswerMs = 1500;
  policy.nDeadAttempts = 2;
  struct Case {
    const wchar_t* url;
    int result;
  };
  for (const Case& c :
       {Case{L"https://127.0.0.2:8444/bad-deadline.bin", -3}, Case{L"https://127.0.0.2:8445/bad-deadline.bin", -3},
        Case{L"http://127.0.0.2/slowheaders/1000/bad-deadline.bin", -4}}) {
    Recorded download(c.url, dir_ / L"deadline.bin", 2);
    download.policy = &policy;
    download.param.bSecureOnly = c.result == -3;
    const DWORD begin = ::GetTickCount();
    EXPECT_FALSE(download.Run()) << Narrow(c.url);
    const DWORD elapsed = ::GetTickCount() - begin;
    EXPECT_EQ(download.Result(), c.result) << Narrow(c.url) << log.Text();
    // Two size-query requests, or two attempts and a pause per range, each at most 1.5 s + 1 s.
    EXPECT_LT(elapsed, 7000u) << Narrow(c.url) << log.Text();
  }
  // WinHTTP's own response bound may end a wait first; WinINet's waits under Wine only the watch ends.
  EXPECT_GE(log.Count("size query: no answer in time within 1500 ms"), 3) << log.Text();
  EXPECT_GE(log.Count("no answer in time: the attempt is given up"), 2) << log.Text();
}

// Sixty-four ranges of which the first comes at once and the others slowly: the first range's thread
// takes work off the others while the rest are still being started, which grows the plan under the
// loop that starts them. Every byte still has exactly one fetcher and the file is whole.
TEST_F(BadNetwork, ARangeThatEndsWhileOthersStartSplitsSafely) {
  const int size = 64 * 48 * 1024;
  std::string bytes = TestServers::MakeFile(L"bad-race.bin", size);
  RetryPolicy policy = QuickRetries();
  policy.nMinSplitBytes = 4096;
  policy.nMinTailSplitBytes = 4096;
  for (int run = 0; run < 3; ++run) {
    SuiteLog::Tail log;
    Recorded download(L"http://127.0.0.2/slowtail/16384/20/bad-race.bin", dir_ / L"race.bin", 64);
    download.policy = &policy;
    ASSERT_TRUE(download.Run()) << log.Text();
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"race.bin") == bytes) << run;
    EXPECT_EQ(download.LastProgress(), size);
    EXPECT_TRUE(log.Has("takes bytes")) << log.Text();
  }
}

// A download that TLS must carry and whose address redirects to plain HTTP fails; not one request
// reaches port 80.
TEST_F(BadNetwork, ASecureOnlyDownloadRedirectedToPlainHttpFailsWithoutTouchingPort80) {
  TestServers::MakeFile(L"bad-down.bin", 100000);
  LogMark server(ServerLog::kNginx);
  SuiteLog::Tail log;
  Recorded download(L"https://localhost/tohttp/bad-down.bin", dir_ / L"down.bin", 3);
  download.param.bSecureOnly = true;
  EXPECT_FALSE(download.Run());
  EXPECT_EQ(download.Result(), -3);
  EXPECT_TRUE(log.Has("refused a redirect from HTTPS to plain HTTP")) << log.Text();
  EXPECT_EQ(server.CountLines("http 80 "), 0) << server.Text();
}

// One connection four times slower than the others (nginx's /uneven/: the range from byte 0 at
// 1 MiB/s, every other request at 4 MiB/s): the fast connections take its tail halves, the answer it
// had asked for before a split stands up to the range's new end instead of being refused, and a last
// piece too short to split gets a second connection, the first copy to finish winning.
TEST_F(BadNetwork, ASlowConnectionDoesNotSetTheFinishTime) {
  const int size = 16 * 1024 * 1024;
  std::string bytes = TestServers::MakeFile(L"bad-uneven.bin", size);
  const struct {
    long long nMinTailSplit;
    const char* sTakeOver;
  } cases[] = {{RetryPolicy().nMinTailSplitBytes, "off a slower range"},
               {1024 * 1024, "of a slower range as well: the first copy wins"}};
  for (const auto& c : cases) {
    SuiteLog::Tail log;
    RetryPolicy policy;
    policy.nMinTailSplitBytes = c.nMinTailSplit;
    Recorded download(L"https://localhost/uneven/bad-uneven.bin", dir_ / L"uneven.bin", 5);
    download.policy = &policy;
    const DWORD begin = ::GetTickCount();
    ASSERT_TRUE(download.Run()) << log.Text();
    const DWORD elapsed = ::GetTickCount() - begin;
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir_ / L"uneven.bin") == bytes);
    EXPECT_TRUE(log.Has(c.sTakeOver)) << log.Text();
    EXPECT_FALSE(log.Has("is not bytes")) << log.Text();
    // 16 MiB over 17 MiB/s in all is 0.94 s; the slow range alone would need 3.2 s.
    EXPECT_LT(elapsed, 2500u) << log.Text();
  }
}

// A download ended half-way by TerminateProcess (as a crash, a power cut or a closed window ends it)
// goes on in the next run from what is on disk: the log gives each range's resume offset, the file
// is exact, and the server sent the file about once, not once and a half.
TEST_F(BadNetwork, ADownloadKilledHalfWayGoesOnFromItsPartialFileInTheNextRun) {
  const long long size = 16 * 1024 * 1024;
  std::string bytes = TestServers::MakeFile(L"bad-resume.bin", static_cast<int>(size));
  const std::wstring target = dir_ / L"resume.bin";
  const std::wstring command = L"\"" + TestSupport::BuildFile(L"httpget.exe") +
                               L"\" https://localhost/slow/bad-resume.bin \"" + target + L"\" 5";
  const std::wstring logPath = TestSupport::BuildFile(L"Log/httpget.log");
  const size_t logStart = TestSupport::ReadFileBytes(logPath).size();
  LogMark firstRun(ServerLog::kNginx);

  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  std::wstring line = command;
  ASSERT_TRUE(::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                               &process));
  Scoped::CloseHandle first(process.hProcess), firstThread(process.hThread);
  ResumeState state;
  std::string why;
  for (int i = 0; i < 400 && !(state.Load(ResumeState::PathFor(target), why) && state.WrittenBytes() >= size / 2);
       ++i) {
    state = ResumeState();
    ::Sleep(10);
  }
  ASSERT_GE(state.WrittenBytes(), size / 2) << why;
  ::TerminateProcess(first.get(), 9);
  ::WaitForSingleObject(first.get(), 5000);
  // nginx logs a request when its connection ends: the killed run's lines come in over the next moments.
  for (size_t seen = firstRun.Text().size(), still = 0, waited = 0; still < 5 && waited < 50; ++waited) {
    ::Sleep(100);
    const size_t now = firstRun.Text().size();
    still = now == seen ? still + 1 : 0;
    seen = now;
  }

  LogMark secondRun(ServerLog::kNginx);
  ASSERT_EQ(TestSupport::RunProcess(command, 30000), 0);
  EXPECT_TRUE(TestSupport::ReadFileBytes(target) == bytes);
  EXPECT_FALSE(TestSupport::IsFile(ResumeState::PathFor(target)));
  const std::string log = TestSupport::ReadFileBytes(logPath).substr(logStart);
  EXPECT_EQ(CountIn(log, "the partial download goes on: "), 1) << log;
  EXPECT_GE(CountIn(log, "resume range "), 1) << log;
  // The next run fetches what the state read above did not hold, and for each range at most the
  // blocks written since (the state is saved every 20 ms: another block on this link). What the first
  // run's connections had in flight when it ended sat in socket buffers, never the engine's to keep.
  EXPECT_LE(BodyBytesSent(secondRun.Text()), size - state.WrittenBytes() + 5 * 2 * CHttpDownload::kBlockSize)
      << secondRun.Text();
}
