#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "log/FaultGuard.h"
#include "log/Log.h"

using TestSupport::ReadFileBytes;

namespace {

// One log per test process: configured once, in a scratch folder that outlives every test.
class LogEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    folder_ = std::make_unique<TestSupport::ScratchDir>(L"log");
    LogInit(L"pelarin_down.log", (folder_->path() + L"Log").c_str());
  }
  void TearDown() override { folder_.reset(); }
  static std::wstring Folder() { return folder_->path() + L"Log\\"; }

 private:
  static std::unique_ptr<TestSupport::ScratchDir> folder_;
};
std::unique_ptr<TestSupport::ScratchDir> LogEnvironment::folder_;
testing::Environment* const g_logEnvironment = testing::AddGlobalTestEnvironment(new LogEnvironment);

std::wstring LogFile() { return LogEnvironment::Folder() + L"pelarin_down.log"; }

// What the log gained since the mark was taken.
class LogTail {
 public:
  LogTail() : start_(ReadFileBytes(LogFile()).size()) {}
  std::string Text() const {
    std::string all = ReadFileBytes(LogFile());
    return all.size() >= start_ ? all.substr(start_) : all;
  }

 private:
  size_t start_;
};

const char kFatal[] = "***Fatal Error Check,Please Fix it!***";

struct Downloader {
  // A member function, so the fatal record must name "class::function".
  static void LogBadPointer() { LOG_INFO("size %s", reinterpret_cast<const char*>(16)); }
};

}  // namespace

TEST(LogFile, RecordsGoToTheFirstConfiguredFileAndLaterInitChangesNothing) {
  EXPECT_EQ(LogFilePath(), LogFile());
  TestSupport::ScratchDir other(L"other");
  LogInit(L"elsewhere.log", other.path().c_str());
  LogTail tail;
  LOG_INFO("still here %d", 7);
  EXPECT_EQ(LogFilePath(), LogFile());
  EXPECT_NE(tail.Text().find("still here 7"), std::string::npos);
  EXPECT_FALSE(TestSupport::IsFile(other / L"elsewhere.log"));
}

TEST(LogFile, RecordLayoutIsDateMessageLineEndBlank) {
  LogTail tail;
  LOG_INFO("first %s", "record");
  LOG_INFO("second");
  // Each record: "YYYY-MM-DD hh:mm:ss,mmm text" CR LF and a blank that opens the next record.
  std::regex layout(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3} first record\r\n \d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3} second\r\n )");
  EXPECT_TRUE(std::regex_search(tail.Text(), layout)) << tail.Text();
}

TEST(LogFile, LevelsZeroToThreeWriteAndOthersOrEmptyTextsDoNot) {
  LogTail tail;
  for (int level = -1; level <= 4; ++level) WriteLog("f", __FILE__, __LINE__, level, "level %d", level);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-zero-length"
  WriteLog("f", __FILE__, __LINE__, Log::kInfo, "");
#pragma GCC diagnostic pop
  WriteLog("f", __FILE__, __LINE__, Log::kInfo, nullptr);
  WriteLog("f", __FILE__, __LINE__, Log::kInfo, "%s", "");
  std::string text = tail.Text();
  for (int level = 0; level <= 3; ++level) EXPECT_NE(text.find("level " + std::to_string(level)), std::string::npos);
  EXPECT_EQ(text.find("level -1"), std::string::npos);
  EXPECT_EQ(text.find("level 4"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text;
}

TEST(LogFile, AFaultWhileFormattingBecomesTheFatalCheckRecord) {
  LogTail tail;
  const int line = __LINE__ + 1;
  WriteLog("CHttpDownload::CheckParam", "C:\\src\\HttpDownload.cpp", line, Log::kInfo, "%s",
           reinterpret_cast<const char*>(8));
  Downloader::LogBadPointer();
  WriteLogW("CSetupFrameWnd::InitData", "C:/src/Window/SetupFrameWnd.cpp", 99, Log::kInfo, L"%s",
            reinterpret_cast<const wchar_t*>(8));
  LOG_INFO("after the faults");
  std::string text = tail.Text();
  EXPECT_NE(text.find("[HttpDownload.cpp:" + std::to_string(line) + "][CHttpDownload::CheckParam] " + kFatal),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(std::string("[log_test.cpp:"), 0), std::string::npos);
  EXPECT_NE(text.find(std::string("][{anonymous}::Downloader::LogBadPointer] ") + kFatal), std::string::npos) << text;
  EXPECT_NE(text.find(std::string("[SetupFrameWnd.cpp:99][CSetupFrameWnd::InitData] ") + kFatal), std::string::npos);
  EXPECT_NE(text.find("after the faults"), std::string::npos);
}

TEST(LogFile, WideRecordsUseTheOemCodePage) {
  LogTail tail;
  LOG_INFOW(L"Windows Version:%s", L"caf\u00e9 \u4e2d");
  std::wstring wide = L"caf\u00e9 \u4e2d";
  char expected[32] = {};
  ::WideCharToMultiByte(CP_OEMCP, 0, wide.c_str(), -1, expected, sizeof(expected), nullptr, nullptr);
  EXPECT_NE(tail.Text().find(std::string("Windows Version:") + expected), std::string::npos);
  if (::GetOEMCP() == 437) {
    EXPECT_NE(tail.Text().find("Windows Version:caf\x82 ?"), std::string::npos);
  }
}

TEST(LogFile, ThreadsWriteWholeRecords) {
  LogTail tail;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 300; ++i) LOG_INFO("thread %d record %d with some padding text", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  std::string text = tail.Text();
  std::regex record(R"(^ ?\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3} thread \d record \d+ with some padding text$)");
  int lines = 0;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines) {
    ASSERT_TRUE(std::regex_match(text.substr(start, end - start), record)) << text.substr(start, end - start);
  }
  EXPECT_EQ(lines, 1200);
}

TEST(LogFile, GrowingPastTenMebibytesMovesTheFileToOneBackup) {
  std::string block(64 * 1024, 'x');
  std::wstring backup = LogFile() + L".1";
  for (int i = 0; i < 170 && !TestSupport::IsFile(backup); ++i) LOG_INFO("%d %s", i, block.c_str());
  ASSERT_TRUE(TestSupport::IsFile(backup));
  EXPECT_GT(TestSupport::FileSize(backup), static_cast<long long>(Log::kMaxFileSize));
  EXPECT_LT(TestSupport::FileSize(backup), static_cast<long long>(Log::kMaxFileSize) + 70 * 1024);
  LOG_INFO("fresh file");
  EXPECT_LT(TestSupport::FileSize(LogFile()), 1024);
  // A second rollover replaces the single backup instead of keeping a second one.
  for (int i = 0; i < 170 && TestSupport::FileSize(LogFile()) < 1024 * 1024 * 9; ++i)
    LOG_INFO("%d %s", i, block.c_str());
  for (int i = 0; i < 40 && TestSupport::FileSize(LogFile()) > 1024; ++i) LOG_INFO("%d %s", i, block.c_str());
  EXPECT_LT(TestSupport::FileSize(LogFile()), 1024);
  EXPECT_FALSE(TestSupport::IsFile(LogFile() + L".2"));
  EXPECT_NE(ReadFileBytes(backup).find("fresh file"), std::string::npos);
}

TEST(LogDefaultFile, ARecordBeforeLogInitConfiguresTheFileBesideTheProgram) {
  std::wstring dir = TestSupport::ExeDir();
  std::wstring file = dir + L"Log\\log_default_probe.log";
  ::DeleteFileW(file.c_str());
  ASSERT_EQ(TestSupport::RunProcess(L"\"" + dir + L"log_default_probe.exe\""), 0);
  std::string text = ReadFileBytes(file);
  EXPECT_NE(text.find("first record 1"), std::string::npos) << text;
  EXPECT_NE(text.find(" second record after LogInit"), std::string::npos) << text;
  EXPECT_FALSE(TestSupport::IsFolder(L"C:\\setup-log-probe-never"));
}

// The run's last record stays the file's last while workers keep writing.
TEST(LogDefaultFile, NothingFollowsTheLastRecord) {
  std::wstring dir = TestSupport::ExeDir();
  std::wstring file = dir + L"Log\\log_default_probe.log";
  for (int run = 0; run < 5; ++run) {
    ::DeleteFileW(file.c_str());
    ASSERT_EQ(TestSupport::RunProcess(L"\"" + dir + L"log_default_probe.exe\" close"), 0);
    const std::string text = ReadFileBytes(file);
    const size_t last = text.rfind("the run's last record");
    ASSERT_NE(last, std::string::npos) << text;
    EXPECT_EQ(text.substr(last), "the run's last record\r\n ") << "run " << run;
    EXPECT_NE(text.find("worker 3 record"), std::string::npos) << text.substr(0, 200);
  }
}

TEST(FaultGuard, ReturnsTheBodysResultOrFalseAfterAFault) {
  EXPECT_TRUE(Log::RunGuarded([] { return true; }));
  EXPECT_FALSE(Log::RunGuarded([] { return false; }));
  volatile int* bad = reinterpret_cast<int*>(4);
  bool innerFaulted = false;
  EXPECT_TRUE(Log::RunGuarded([&] {
    innerFaulted = !Log::RunGuarded([&] { return *bad == 1; });
    return true;
  }));
  EXPECT_TRUE(innerFaulted);
  EXPECT_FALSE(Log::RunGuarded([&] { return *bad == 1; }));
  // Outside any guard the handler must not swallow anything: a guarded call still works afterwards.
  EXPECT_TRUE(Log::RunGuarded([] { return true; }));
}

namespace {

// Answers the first assertion box that appears with the given button and hands back its text.
class AssertBoxAnswerer {
 public:
  explicit AssertBoxAnswerer(int button) : thread_([this, button] { Run(button); }) {}
  ~AssertBoxAnswerer() { thread_.join(); }
  bool seen() const { return seen_; }
  const std::string& text() const { return text_; }

 private:
  void Run(int button) {
    for (int i = 0; i < 100; ++i) {
      HWND box = ::FindWindowA(nullptr, "AssertError!");
      if (box) {
        char text[512] = {};
        ::GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
        text_ = text;
        seen_ = true;
        ::PostMessageA(box, WM_COMMAND, button, 0);
        return;
      }
      ::Sleep(50);
    }
  }
  std::atomic<bool> seen_{false};
  std::string text_;
  std::thread thread_;
};

}  // namespace

TEST(AssertBox, ShowsOnlyForAFalseConditionAndContinuesAfterTheAnswer) {
  {
    AssertBoxAnswerer answerer(IDNO);
    AssertCheck(true, "first", "CTest::First", 10);
    AssertCheck(false, "second", "CTest::Second", 11);
    ASSERT_TRUE(answerer.seen());
    EXPECT_NE(answerer.text().find("Assert(second);"), std::string::npos) << answerer.text();
  }
  AssertBoxAnswerer answerer(IDYES);  // Yes without a debugger attached also continues
  AssertCheck(false, "ptr", "CTest::Third", 7);
  EXPECT_TRUE(answerer.seen());
}

TEST(AssertBox, TextNamesExpressionFunctionLineAndMessage) {
  AssertBoxAnswerer answerer(IDNO);
  AssertCheckMsg(false, "size > 0", "void CTest::Run(int)", 42, "size was %d", -3);
  ASSERT_TRUE(answerer.seen());
  EXPECT_NE(answerer.text().find("Assert(size > 0);"), std::string::npos) << answerer.text();
  EXPECT_NE(answerer.text().find("(in function CTest::Run,at line 42)"), std::string::npos) << answerer.text();
  EXPECT_NE(answerer.text().find("is Debug?"), std::string::npos);
  EXPECT_NE(answerer.text().find("size was -3"), std::string::npos);
}
