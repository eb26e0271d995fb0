#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "SuiteLog.h"
#include "TestServers.h"
#include "stdafx.h"
#include "tool/BaseRequest.h"

namespace {

testing::Environment* const g_log = testing::AddGlobalTestEnvironment(new SuiteLog::Environment);

std::string ReadBody(CBaseRequest& request, int block = 102400) {
  std::string body, buffer(block, '\0');
  for (int count; (count = request.HttpRead(&buffer[0], block)) > 0;) body.append(buffer, 0, count);
  return body;
}

}  // namespace

TEST(SplitUrl, TakesHostAndPathAfterEitherScheme) {
  std::wstring host, path;
  ASSERT_TRUE(CBaseRequest::SplitUrl(L"https://dl.example.com/dir/file.exe", host, path));
  EXPECT_EQ(host, L"dl.example.com");
  EXPECT_EQ(path, L"dir/file.exe");
  ASSERT_TRUE(CBaseRequest::SplitUrl(L"http://localhost:8080/a/b?x=1", host, path));
  EXPECT_EQ(host, L"localhost:8080");
  EXPECT_EQ(path, L"a/b?x=1");
  EXPECT_FALSE(CBaseRequest::SplitUrl(L"https://dl.example.com", host, path));
  EXPECT_FALSE(CBaseRequest::SplitUrl(L"ftp://dl.example.com/file.exe", host, path));
}

TEST(Requests, EachBackendReadsAWholeFileOverTlsUntilReadGivesZero) {
  std::string bytes = TestServers::MakeFile(L"req-whole.bin", 300000);
  for (int type : {CBaseRequest::kWinHttp, CBaseRequest::kInternet}) {
    std::unique_ptr<CBaseRequest> request = CBaseRequest::CreateInstance(type);
    ASSERT_TRUE(request->OpenUrl(L"https://localhost/req-whole.bin")) << type;
    int size = 0;
    ASSERT_TRUE(request->GetUrlFileSize(size)) << type;
    EXPECT_EQ(size, 300000);
    EXPECT_TRUE(ReadBody(*request) == bytes) << type;
    char byte;
    EXPECT_EQ(request->HttpRead(&byte, 1), 0) << type;
  }
}

// A server that sends a little and then goes quiet: each backend's read gives up after the receive
// bound instead of the platform's own (30 s and more). A read waits to fill its buffer, so the bytes
// before the silence may go with it.
TEST(Requests, EachBackendAbandonsASilentConnectionAfterItsReceiveBound) {
  TestServers::MakeFile(L"req-silent.bin", 200000);
  for (int type : {CBaseRequest::kWinHttp, CBaseRequest::kInternet}) {
    std::unique_ptr<CBaseRequest> request = CBaseRequest::CreateInstance(type);
    request->nReceiveTimeoutMs = 1500;
    ASSERT_TRUE(request->OpenUrl(L"https://localhost/fault/stall/5000/60/req-silent.bin")) << type;
    std::string buffer(102400, '\0');
    int received = 0, count = 0;
    DWORD begin = ::GetTickCount();
    while ((count = request->HttpRead(&buffer[0], static_cast<int>(buffer.size()))) > 0) received += count;
    DWORD elapsed = ::GetTickCount() - begin;
    EXPECT_EQ(count, -1) << type;
    EXPECT_LE(received, 5000) << type;
    EXPECT_GE(elapsed, 1000u) << type;
    EXPECT_LT(elapsed, 8000u) << type;
  }
}

namespace {

// Answers the first assertion box with "No" and hands back its text.
class AssertBoxAnswerer {
 public:
  AssertBoxAnswerer() : thread_([this] { Run(); }) {}
  ~AssertBoxAnswerer() { thread_.join(); }
  std::string text() {
    thread_.join();
    thread_ = std::thread([] {});
    return text_;
  }

 private:
  void Run() {
    for (int i = 0; i < 200; ++i) {
      HWND box = ::FindWindowA(nullptr, "AssertError!");
      if (box) {
        char text[512] = {};
        ::GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
        text_ = text;
        ::PostMessageA(box, WM_COMMAND, IDNO, 0);
        return;
      }
      ::Sleep(50);
    }
  }
  std::string text_;
  std::thread thread_;
};

}  // namespace

TEST(CreateInstance, MakesEachBackendAndRefusesAnyOtherTypeWithTheAssertionBox) {
  EXPECT_STREQ(CBaseRequest::CreateInstance(0)->GetTypeName(), "WinHttp");
  EXPECT_STREQ(CBaseRequest::CreateInstance(1)->GetTypeName(), "Internet");
  AssertBoxAnswerer answerer;
  EXPECT_EQ(CBaseRequest::CreateInstance(2), nullptr);
  std::string text = answerer.text();
  EXPECT_NE(text.find("Assert(false);"), std::string::npos) << text;
  EXPECT_NE(text.find("CBaseRequest::CreateInstance"), std::string::npos) << text;
  EXPECT_NE(text.find("ERR:un support type 2"), std::string::npos) << text;
}

TEST(WinHttpRequest, ReachesAPlainOnlyServerInItsSecondAttemptOnPort80) {
  std::string bytes = TestServers::MakeFile(L"req-plain.bin", 150000);
  TestServers::LogMark fault(TestServers::ServerLog::kFault);
  SuiteLog::Tail log;
  CWinHttpRequest request;
  ASSERT_TRUE(request.OpenUrl(L"http://127.0.0.2/plain/req-plain.bin"));
  EXPECT_TRUE(ReadBody(request) == bytes);
  // Nothing listens on 127.0.0.2:443: the secure attempt fails in the platform call and is logged.
  EXPECT_TRUE(log.Has("[CWinHttpRequest::SendRequest]call WinHttpSendRequest fail 12029, ")) << log.Text();
  EXPECT_EQ(fault.CountLines("GET /plain/req-plain.bin"), 1);
}

TEST(InternetRequest, TriesTlsOnPort443InBothAttempts) {
  SuiteLog::Tail log;
  CInternetRequest request;
  EXPECT_FALSE(request.OpenUrl(L"http://127.0.0.2/plain/req-plain.bin"));
  EXPECT_EQ(log.Count("[CInternetRequest::SendRequest]call HttpSendRequest fail 12029, "), 2) << log.Text();
}

TEST(Requests, WithoutAnAnswerOrALengthHaveNoSize) {
  SuiteLog::Tail quiet;
  CWinHttpRequest fresh;
  int size = -1;
  EXPECT_FALSE(fresh.GetUrlFileSize(size));
  EXPECT_FALSE(CInternetRequest().GetUrlFileSize(size));
  EXPECT_EQ(quiet.Text(), "");

  TestServers::MakeFile(L"req-nolength.bin", 5000);
  SuiteLog::Tail log;
  CWinHttpRequest request;
  ASSERT_TRUE(request.OpenUrl(L"http://127.0.0.2/nolength/req-nolength.bin"));
  EXPECT_FALSE(request.GetUrlFileSize(size));
  EXPECT_TRUE(log.Has("[CWinHttpRequest::GetUrlFileSize]call WinHttpQueryHeaders fail ")) << log.Text();
  EXPECT_EQ(size, -1);
}

TEST(Requests, AFailedPlatformReadGivesMinusOneAndALogLine) {
  SuiteLog::Tail log;
  CWinHttpRequest request;  // never opened: the read has no request handle to read from
  char buffer[16];
  EXPECT_EQ(request.HttpRead(buffer, sizeof(buffer)), -1);
  EXPECT_TRUE(log.Has("[CWinHttpRequest::HttpRead]call WinHttpReadData fail 6, ")) << log.Text();
}

TEST(Requests, APortInTheHostStaysPartOfItAndFailsInThePlatformCall) {
  SuiteLog::Tail log;
  CWinHttpRequest request;
  EXPECT_FALSE(request.OpenUrl(L"https://localhost:8443/file.bin"));
  EXPECT_EQ(request.strHost, L"localhost:8443");
  EXPECT_TRUE(log.Has("[CWinHttpRequest::")) << log.Text();
}

TEST(InternetOptions, SetReadsBackAndSkipsAValueAlreadyHeld) {
  std::string raw;
  ASSERT_TRUE(CBaseRequest::QueryInternetOpt(73, raw));  // INTERNET_OPTION_MAX_CONNS_PER_SERVER
  ASSERT_EQ(raw.size(), 4u);
  ASSERT_TRUE(CBaseRequest::InternetSetOpt(73, 37));
  ASSERT_TRUE(CBaseRequest::QueryInternetOpt(73, raw));
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(raw.data()), 37u);
  EXPECT_TRUE(CBaseRequest::InternetSetOpt(73, 37));
  EXPECT_TRUE(CBaseRequest::InternetSetOpt(73, 50));
}

TEST(ShowApiError, NamesThreadCallCodeAndTheModulesText) {
  SuiteLog::Tail log;
  HMODULE wininet = ::GetModuleHandleW(L"wininet.dll");
  ShowApiError("SomeCall", 12029, wininet, nullptr);
  ShowApiError("OtherCall", 1, wininet, "CTest::Run");  // a code the module has no text for
  std::string id = std::to_string(::GetCurrentThreadId());
  std::string text = log.Text();
  std::string first = "[Thread][" + id + "] call SomeCall fail 12029, ";
  size_t at = text.find(first);
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_NE(text[at + first.size()], '\n') << "no error text: " << text;
  EXPECT_TRUE(log.Has("[Thread][" + id + "] [CTest::Run]call OtherCall fail 1, \n")) << text;
}
