#include <gtest/gtest.h>

#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <string>

#include "config/BuildConfig.h"
#include "ProxySettingsScope.h"
#include "SilentHost.h"
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
  return "/collect?v=1&t=event&tid=UA-1-2&cid=" + clientId +
         "&ec=Brenmark%20Solvetta%20(Windows%20version)&el=" + clientId + "&ea=" + action + "\"";
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

// Started together, as a fast download and install would start them, while the start event's HTTPS
// attempt waits on a host that never answers (127.0.0.2:443; the fault server answers plain HTTP on
// that address): the later events wait on their own threads for the scheme the start event settles
// on, plain HTTP, rather than try HTTPS themselves.
TEST(GaSender, LaterEventThreadsTakeTheSchemeTheStartEventSettles) {
  TestServers::SilentHost silentTls("127.0.0.2", {443});
  ASSERT_TRUE(silentTls.Listening());
  std::string cid = TestServers::UniqueToken("ga-settle");
  CGaSender::GetInstance().SetTarget(L"127.0.0.2", BasePath(cid));
  LogMark fault(ServerLog::kFault);
  ASSERT_TRUE(StartGaEventThread(kGaEvent_StartInstall));
  ASSERT_TRUE(StartGaEventThread(kGaEvent_Downloaded));
  ASSERT_TRUE(StartGaEventThread(kGaEvent_InstallSucceed));
  for (int i = 0; i < 200 && fault.CountLines(cid) < 3; ++i) ::Sleep(50);
  for (const char* action : {"Downloader_Start_Install", "Downloader_Installed", "Installed_Succeed"}) {
    const std::string query = LoggedQuery(cid, action);
    EXPECT_EQ(fault.CountLines("HEAD " + query.substr(0, query.size() - 1) + " \""), 1) << action << fault.Text();
  }
  EXPECT_EQ(silentTls.Connections(), 1);  // the start event's attempt alone
}

// A host that accepts the connection and never answers: each kind of request gives up once the
// events' receive time-out has passed (the platform's own bounds are 30 s and more, none at all for
// the answer's headers under Wine), and so frees its thread.
TEST(GaSender, RequestsToASilentHostEndWithinTheEventTimeOut) {
  TestServers::SilentHost silent("127.0.0.5", {80, 443});
  ASSERT_TRUE(silent.Listening());
  CGaSender& sender = CGaSender::GetInstance();
  MpTarget mp;
  mp.host = L"127.0.0.5";
  mp.measurementId = L"G-SILENT1";
  mp.apiSecret = L"s";
  const struct {
    const char* what;
    std::function<bool()> send;
  } cases[] = {
      {"v1, plain HTTP", [&] { return sender.SendHttp(L"collect?v=1&silent=1"); }},
      {"v1, HTTPS", [&] { return sender.SendHttps(L"collect?v=1&silent=2"); }},
      {"current protocol",
       [&] {
         sender.SetMpTarget(mp);
         return sender.SendStartInstall();
       }},
  };
  sender.SetTarget(L"127.0.0.5", BasePath("silent"));
  int connections = 0;
  for (const auto& c : cases) {
    const DWORD begin = ::GetTickCount();
    EXPECT_FALSE(c.send()) << c.what;
    const DWORD took = ::GetTickCount() - begin;
    EXPECT_EQ(silent.Connections(), ++connections) << c.what;
    EXPECT_GE(took, CGaSender::kReceiveTimeoutMs - 500) << c.what;  // it did wait for an answer
    EXPECT_LT(took, CGaSender::kReceiveTimeoutMs + 2000) << c.what;
  }
}

// An answer whose headers come a byte every half second: Windows ends the wait with the headers'
// time-out, Wine would wait on; either way the event gives up within its three time-outs together.
TEST(GaSender, AnAnswerThatDribblesEndsWithinTheEventsWholeBound) {
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetTarget(L"127.0.0.2", BasePath("dribble"));
  const DWORD bound = CGaSender::kConnectTimeoutMs + CGaSender::kSendTimeoutMs + CGaSender::kReceiveTimeoutMs;
  const DWORD begin = ::GetTickCount();
  const bool answered = sender.SendHttp(L"/dribble/500");
  const DWORD error = ::GetLastError(), took = ::GetTickCount() - begin;
  EXPECT_FALSE(answered);
  EXPECT_EQ(static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT), error);
  EXPECT_LT(took, bound + 2500);
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

// Events take the proxy the user's settings name for their host, as downloads do: the loopback squid
// alone knows "payload.corp.test". The v1 start event's client id has its HTTPS attempt refused, so
// both schemes cross the proxy; the current protocol's POST goes through a tunnel. Each event is sent
// by a fresh process (routes are resolved once per process) that Wine tells it runs on Windows 7,
// where the program reads the proxy settings itself.
TEST(GaSenderRoute, EventsCrossTheUsersProxyToAHostOnlyItKnows) {
  ProxyTest::Scope settings;
  ProxyTest::WineVersionFor windows7(L"ga_event_probe.exe", L"win7");
  ASSERT_TRUE(settings.SetUser(L"127.0.0.4:3128", L"", L""));
  TestSupport::ScratchDir dir(L"gr");
  auto probe = [&dir](const wchar_t* protocol, const std::string& cid) {
    return TestSupport::RunProcess(L"\"" + TestSupport::ExeDir() + L"ga_event_probe.exe\" \"" + (dir / L"log") +
                                   L"\" " + protocol + L" payload.corp.test " + TestSupport::Wide(cid));
  };
  const std::string v1Cid = TestServers::UniqueToken("refuse-https"), mpCid = TestServers::UniqueToken("mp-route");
  LogMark proxy(ServerLog::kProxy), server(ServerLog::kNginx);
  EXPECT_EQ(0, probe(L"v1", v1Cid));
  EXPECT_EQ(0, probe(L"mp", mpCid));

  // squid logs a tunnel when it closes, a moment after the probe ended.
  for (int i = 0; i < 60 && proxy.CountLines("3128 CONNECT payload.corp.test:443 200") < 2; ++i) ::Sleep(50);
  EXPECT_EQ(proxy.CountLines("3128 CONNECT payload.corp.test:443 200"), 2) << proxy.Text();
  EXPECT_EQ(proxy.CountLines("3128 HEAD http://payload.corp.test/collect? 200"), 1);  // squid drops the query
  EXPECT_EQ(server.CountLines("http 80 HEAD \"" + LoggedQuery(v1Cid, "Downloader_Start_Install") + " 200"), 1)
      << server.Text();
  const std::string log = TestSupport::ReadFileBytes(dir / L"log\\pelarin_down.log");
  EXPECT_TRUE(
      TestSupport::InOrder(log, {"proxy for https://payload.corp.test/: 127.0.0.4:3128 (user settings, static)",
                                 "proxy for http://payload.corp.test/: 127.0.0.4:3128 (user settings, static)"}))
      << log;
}
