#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "BuildConfig.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "telemetry/GaSender.h"

using TestServers::LogMark;
using TestServers::ServerLog;

namespace {

// A base path whose client identifier no other request used, so a test finds its own requests.
std::wstring BasePath(const std::string& clientId) {
  return BuildGaBasePath(L"UA-1-2", TestSupport::Wide(clientId), L"Brenmark Solvetta");
}

// The query as the server logs it (blanks and parentheses percent-encoded by WinHTTP).
std::string LoggedQuery(const std::string& clientId, const char* action) {
  return "/collect?v=1&t=event&tid=UA-1-2&cid=" + clientId + "&ec=Brenmark%20Solvetta%20(Windows%20version)&el=" +
         clientId + "&ea=" + action + "\"";
}

// Event threads run on their own: wait (boundedly) until the server saw `count` lines with `part`.
bool WaitForLines(const LogMark& mark, const std::string& part, int count) {
  for (int i = 0; i < 100; ++i) {
    if (mark.CountLines(part) >= count) return true;
    ::Sleep(50);
  }
  return false;
}

}  // namespace

TEST(GaSender, BuildsTheEventPathInProtocolOrder) {
  EXPECT_EQ(BuildGaBasePath(L"UA-62385714-9", L"C1D", L"Brenmark Solvetta") + L"&ea=Downloader_Start_Install",
            L"collect?v=1&t=event&tid=UA-62385714-9&cid=C1D&ec=Brenmark Solvetta (Windows version)&el=C1D"
            L"&ea=Downloader_Start_Install");
}

TEST(GaSender, SendsAllThreeEventsOverHttpsWhenItAnswers) {
  std::string cid = TestServers::UniqueToken("ga-tls");
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetTarget(GetAnalyticsHost(), BasePath(cid));
  LogMark server(ServerLog::kNginx);
  EXPECT_TRUE(sender.SendStartInstall());
  EXPECT_TRUE(sender.IsSecure());
  EXPECT_TRUE(sender.SendDownloaded());
  EXPECT_TRUE(sender.SendInstallSucceed());
  EXPECT_EQ(server.CountLines("https 443 HEAD \"" + LoggedQuery(cid, "Downloader_Start_Install") + " 200"), 1)
      << server.Text();
  EXPECT_EQ(server.CountLines("https 443 HEAD \"" + LoggedQuery(cid, "Downloader_Installed") + " 200"), 1);
  EXPECT_EQ(server.CountLines("https 443 HEAD \"" + LoggedQuery(cid, "Installed_Succeed") + " 200"), 1);
  EXPECT_EQ(server.CountLines(cid), 3);
}

// The loopback server drops HTTPS requests whose client identifier starts with "refuse-https".
TEST(GaSender, FallsBackToPlainHttpOnceAndLaterEventsStayThere) {
  std::string cid = TestServers::UniqueToken("refuse-https");
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetTarget(L"localhost", BasePath(cid));
  LogMark server(ServerLog::kNginx);
  EXPECT_TRUE(sender.SendStartInstall());
  EXPECT_FALSE(sender.IsSecure());
  EXPECT_TRUE(sender.SendDownloaded());
  EXPECT_TRUE(sender.SendInstallSucceed());
  EXPECT_EQ(server.CountLines("https 443 HEAD \"" + LoggedQuery(cid, "Downloader_Start_Install") + " 444"), 1)
      << server.Text();
  EXPECT_EQ(server.CountLines("http 80 HEAD \"" + LoggedQuery(cid, "Downloader_Start_Install") + " 200"), 1);
  EXPECT_EQ(server.CountLines("http 80 HEAD \"" + LoggedQuery(cid, "Downloader_Installed") + " 200"), 1);
  EXPECT_EQ(server.CountLines("http 80 HEAD \"" + LoggedQuery(cid, "Installed_Succeed") + " 200"), 1);
  EXPECT_EQ(server.CountLines(cid), 4);
}

TEST(GaSender, AfterBothSchemesFailedLaterEventsStillUsePlainHttp) {
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetTarget(L"127.0.0.3", BasePath("nobody-listens"));  // refused on 443 and on 80
  EXPECT_FALSE(sender.SendStartInstall());
  EXPECT_FALSE(sender.IsSecure());
  std::string cid = TestServers::UniqueToken("ga-after");
  sender.SetTarget(L"localhost", BasePath(cid));
  LogMark server(ServerLog::kNginx);
  EXPECT_TRUE(sender.SendDownloaded());
  EXPECT_EQ(server.CountLines("http 80 HEAD \"" + LoggedQuery(cid, "Downloader_Installed") + " 200"), 1)
      << server.Text();
  EXPECT_EQ(server.CountLines("https "), 0);
}

TEST(GaSender, CountsAnErrorStatusAsSentAndAnEmptyTargetAsNotSent) {
  CGaSender& sender = CGaSender::GetInstance();
  LogMark server(ServerLog::kNginx);
  EXPECT_TRUE(sender.SendHttps(L"no-such-page?x=1"));
  EXPECT_EQ(server.CountLines("HEAD \"/no-such-page?x=1\" 404"), 1) << server.Text();
  sender.SetTarget(L"", L"collect?v=1");
  EXPECT_FALSE(sender.SendStartInstall());
  sender.SetTarget(L"localhost", L"");
  EXPECT_FALSE(sender.SendDownloaded());
  EXPECT_FALSE(sender.SendInstallSucceed());
  EXPECT_EQ(server.CountLines("collect?v=1"), 0);
}

TEST(GaSender, EventThreadsSendTheirEventAndFreeTheirParameter) {
  std::string cid = TestServers::UniqueToken("ga-thread");
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetTarget(L"localhost", BasePath(cid));
  LogMark server(ServerLog::kNginx);
  ASSERT_TRUE(StartGaEventThread(kGaEvent_StartInstall));
  ASSERT_TRUE(WaitForLines(server, LoggedQuery(cid, "Downloader_Start_Install"), 1)) << server.Text();
  ASSERT_TRUE(StartGaEventThread(kGaEvent_Downloaded));
  EXPECT_TRUE(WaitForLines(server, LoggedQuery(cid, "Downloader_Installed"), 1)) << server.Text();
}

TEST(GaSender, SetUpPointsAtTheBuildsHostWithThisMachinesIdentifier) {
  SetupGaSender(L"Brenmark Solvetta");
  LogMark server(ServerLog::kNginx);
  ASSERT_TRUE(CGaSender::GetInstance().SendStartInstall());
  std::string text = server.Text();
  EXPECT_NE(text.find("HEAD \"/collect?v=1&t=event&tid=" + TestSupport::Utf8(GetTrackingId()) + "&cid="),
            std::string::npos)
      << text;
}
