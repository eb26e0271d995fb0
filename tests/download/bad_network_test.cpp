// Downloads over networks and disks that go wrong on the way: each ends in the exact file or in a
// clear failure of its own, never in a success with wrong bytes.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "HttpDownload.h"
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
  EXPECT_GE(log.Count("] Request fail,  retry "), requests - 6) << log.Text();
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
