// The proxy the engine takes, found from the settings Windows keeps, against a real squid on loopback
// (tools/test-proxy.sh) whose own hosts file alone knows "payload.corp.test": a request reaches that
// host through the proxy or not at all, as on a network whose internal names only the proxy resolves.
//
// Each case writes the settings, then runs proxy_probe.exe, a fresh process: routes are resolved once
// per process. Wine reports Windows 7 to the probe (its AppDefaults Version), which stands in for
// Windows 7 and 8: there the engine reads the settings one by one. From Windows 8.1 on the engine
// hands the whole choice to WinHTTP's automatic access type, which Wine treats as direct; that path
// is checked by its log line and, below, the order of the settings by Resolve over real WinHTTP calls.
// The same fresh process serves the TLS case, whose system setting Wine reads at process start.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ProxySettingsScope.h"
#include "Recorded.h"
#include "SuiteLog.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "download/DownloadTypes.h"
#include "download/BaseRequest.h"
#include "download/ProxyResolver.h"

namespace {

const wchar_t kOpenProxy[] = L"127.0.0.4:3128";
const wchar_t kSignInProxy[] = L"127.0.0.4:3129";
const char* const kBackendName[] = {"WinHttp", "Internet"};

// A PAC script that sends the proxy-only domain to the open proxy and everything else direct.
const char kScript[] =
    "function FindProxyForURL(url, host) {\n"
    "  if (dnsDomainIs(host, \".corp.test\")) return \"PROXY 127.0.0.4:3128\";\n"
    "  return \"DIRECT\";\n"
    "}\n";

class ProxyProbe : public testing::Test {
 protected:
  void SetUp() override { log_ = dir_ / L"log\\pelarin_down.log"; }

  // One request of `type` in a fresh process (as Windows 7 for Wine); the HTTP status, 1 without an
  // answer. `milliseconds` gets the process's whole run time.
  int Request(int type, const std::wstring& url, DWORD* milliseconds = nullptr, bool secureOnly = false) {
    return Run(L"request " + std::to_wstring(type) + L" " + url + L" \"" + (dir_ / L"body.bin") + L"\"" +
                   (secureOnly ? L" secure-only" : L""),
               milliseconds);
  }

  // The download engine in a fresh process; its result code (kDownloadResult_*).
  int Download(const std::wstring& url, int threads, DWORD* milliseconds = nullptr) {
    return -Run(L"download " + url + L" \"" + (dir_ / L"download.bin") + L"\" " + std::to_wstring(threads),
                milliseconds);
  }

  int Run(const std::wstring& arguments, DWORD* milliseconds, const std::wstring& exe = L"proxy_probe.exe") {
    std::wstring command = L"\"" + TestSupport::ExeDir() + exe + L"\" \"" + (dir_ / L"log") + L"\" " + arguments;
    DWORD begin = ::GetTickCount();
    int result = TestSupport::RunProcess(command, 120000);
    if (milliseconds) *milliseconds = ::GetTickCount() - begin;
    return result;
  }

  // Lines of the proxy's log with `part`, once at least `least` are there: squid logs a tunnel when
  // it closes, a moment after the client process ended. Waits up to 3 s.
  static int ProxyLines(const TestServers::LogMark& mark, const std::string& part, int least = 1) {
    int count = 0;
    for (int i = 0; i < 60 && (count = mark.CountLines(part)) < least; ++i) ::Sleep(50);
    return count;
  }

  // The proxy's log since the mark, after the time a closing tunnel takes to appear there.
  static std::string SettledProxyLog(const TestServers::LogMark& mark) {
    ::Sleep(300);
    return mark.Text();
  }

  std::string Body() const { return TestSupport::ReadFileBytes(dir_ / L"body.bin"); }
  std::string Downloaded() const { return TestSupport::ReadFileBytes(dir_ / L"download.bin"); }
  std::string Log() const { return TestSupport::ReadFileBytes(log_); }
  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }

  TestSupport::ScratchDir dir_{L"px"};
  std::wstring log_;
  ProxyTest::Scope settings_;
  ProxyTest::WineVersionFor windows7_{L"proxy_probe.exe", L"win7"};
};

}  // namespace

TEST_F(ProxyProbe, TheUsersStaticProxyCarriesBothBackendsToAHostOnlyItKnows) {
  ASSERT_TRUE(settings_.SetUser(kOpenProxy, L"", L""));
  std::string bytes = TestServers::MakeFile(L"px-static.bin", 200000);
  for (int type : {CBaseRequest::kWinHttp, CBaseRequest::kInternet}) {
    TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
    ASSERT_EQ(Request(type, L"https://payload.corp.test/px-static.bin"), 200) << kBackendName[type] << Log();
    EXPECT_TRUE(Body() == bytes) << kBackendName[type];
    EXPECT_EQ(ProxyLines(proxy, "3128 CONNECT payload.corp.test:443 200"), 1) << kBackendName[type] << proxy.Text();
  }
  EXPECT_TRUE(LogHas("proxy for https://payload.corp.test/: 127.0.0.4:3128 (user settings, static)")) << Log();
}

TEST_F(ProxyProbe, ADownloadThroughTheUsersProxyFinishesWithEveryRangeOverTheProxy) {
  ASSERT_TRUE(settings_.SetUser(kOpenProxy, L"<local>", L""));
  std::string bytes = TestServers::MakeFile(L"px-download.bin", 1500000);
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  ASSERT_EQ(Download(L"https://payload.corp.test/px-download.bin", 5), kDownloadResult_Success) << Log();
  EXPECT_TRUE(Downloaded() == bytes);
  // The size query and five ranges, each its own tunnel.
  EXPECT_GE(ProxyLines(proxy, "CONNECT payload.corp.test:443 200", 6), 6) << proxy.Text();
  // Resolved once for all of them.
  std::string log = Log();
  size_t first = log.find("proxy for https://payload.corp.test/:");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("proxy for https://payload.corp.test/:", first + 1), std::string::npos) << log;
}

TEST_F(ProxyProbe, AHostOnTheBypassListIsReachedDirectly) {
  ASSERT_TRUE(settings_.SetUser(kOpenProxy, L"localhost;*.example.org", L""));
  std::string bytes = TestServers::MakeFile(L"px-bypass.bin", 50000);
  for (int type : {CBaseRequest::kWinHttp, CBaseRequest::kInternet}) {
    TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
    TestServers::LogMark nginx(TestServers::ServerLog::kNginx);
    ASSERT_EQ(Request(type, L"https://localhost/px-bypass.bin"), 200) << kBackendName[type] << Log();
    EXPECT_TRUE(Body() == bytes) << kBackendName[type];
    EXPECT_EQ(SettledProxyLog(proxy), "") << kBackendName[type];
    EXPECT_EQ(nginx.CountLines("GET \"/px-bypass.bin\" 200"), 1) << kBackendName[type];
  }
  EXPECT_TRUE(LogHas("127.0.0.4:3128 (user settings, static; bypass localhost;*.example.org)")) << Log();
}

TEST_F(ProxyProbe, TheUsersProxyScriptChoosesTheProxyForWinHttp) {
  std::string script(kScript);
  TestSupport::WriteFileBytes(TestServers::WebRoot() + L"px-script.pac", script);
  ASSERT_TRUE(settings_.SetUser(L"", L"", L"http://localhost/px-script.pac"));
  std::string bytes = TestServers::MakeFile(L"px-script.bin", 80000);
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  ASSERT_EQ(Request(CBaseRequest::kWinHttp, L"https://payload.corp.test/px-script.bin"), 200) << Log();
  EXPECT_TRUE(Body() == bytes);
  EXPECT_EQ(ProxyLines(proxy, "CONNECT payload.corp.test:443 200"), 1) << proxy.Text() << Log();
  EXPECT_TRUE(
      LogHas("proxy for https://payload.corp.test/: 127.0.0.4:3128 (user settings, script "
             "http://localhost/px-script.pac)"))
      << Log();

  // The script sends everything else direct.
  TestServers::LogMark direct(TestServers::ServerLog::kProxy);
  ASSERT_EQ(Request(CBaseRequest::kWinHttp, L"https://localhost/px-script.bin"), 200) << Log();
  EXPECT_EQ(SettledProxyLog(direct), "");
  EXPECT_TRUE(LogHas("proxy for https://localhost/: direct (user settings, script")) << Log();
}

// A script that cannot be fetched gives way to the static proxy, and is not asked again for the
// next host: auto-detection that finds nothing costs seconds each time.
TEST_F(ProxyProbe, AFailedProxyScriptIsAskedOnceAndTheStaticProxyServes) {
  ASSERT_TRUE(settings_.SetUser(kOpenProxy, L"", L"http://localhost/px-missing.pac"));
  std::string bytes = TestServers::MakeFile(L"px-noscript.bin", 3000);
  // Nothing answers on 127.0.0.2:443, so the plain attempt asks for a second route.
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  ASSERT_EQ(Request(CBaseRequest::kWinHttp, L"http://127.0.0.2/plain/px-noscript.bin"), 200) << Log();
  EXPECT_TRUE(Body() == bytes);
  EXPECT_EQ(ProxyLines(proxy, "3128 GET http://127.0.0.2/plain/px-noscript.bin 200"), 1) << proxy.Text();
  std::string log = Log();
  EXPECT_TRUE(TestSupport::InOrder(log, {"proxy for https://127.0.0.2/: 127.0.0.4:3128 (user settings, static)",
                                         "proxy for http://127.0.0.2/: 127.0.0.4:3128 (user settings, static)"}))
      << log;
  size_t first = log.find("gave no answer for");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("gave no answer for", first + 1), std::string::npos) << log;
}

TEST_F(ProxyProbe, TheMachinesWinHttpProxyServesWhenTheUserHasNone) {
  ASSERT_TRUE(settings_.SetMachine(kOpenProxy, L"<local>"));
  std::string bytes = TestServers::MakeFile(L"px-machine.bin", 60000);
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  ASSERT_EQ(Request(CBaseRequest::kWinHttp, L"https://payload.corp.test/px-machine.bin"), 200) << Log();
  EXPECT_TRUE(Body() == bytes);
  EXPECT_EQ(ProxyLines(proxy, "CONNECT payload.corp.test:443 200"), 1) << proxy.Text() << Log();
  EXPECT_TRUE(
      LogHas("proxy for https://payload.corp.test/: 127.0.0.4:3128 (machine WinHTTP settings; bypass "
             "<local>)"))
      << Log();
}

TEST_F(ProxyProbe, TheUsersSettingsComeBeforeTheMachines) {
  ASSERT_TRUE(settings_.SetMachine(L"127.0.0.3:3128", L""));  // refuses connections
  ASSERT_TRUE(settings_.SetUser(kOpenProxy, L"", L""));
  TestServers::MakeFile(L"px-order.bin", 1000);
  ASSERT_EQ(Request(CBaseRequest::kWinHttp, L"https://payload.corp.test/px-order.bin"), 200) << Log();
  EXPECT_TRUE(LogHas("(user settings, static)")) << Log();
}

TEST_F(ProxyProbe, WithoutAnySettingTheRequestGoesDirectAndSaysSo) {
  TestServers::MakeFile(L"px-direct.bin", 1000);
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  ASSERT_EQ(Request(CBaseRequest::kWinHttp, L"https://localhost/px-direct.bin"), 200) << Log();
  EXPECT_EQ(SettledProxyLog(proxy), "");
  EXPECT_TRUE(LogHas("proxy for https://localhost/: direct (no proxy configured)")) << Log();
}

// A proxy that wants a password the program does not have: no endless retries, the 407 is the answer.
TEST_F(ProxyProbe, AProxyThatWantsAPasswordAnswers407AtOnceOnBothBackends) {
  ASSERT_TRUE(settings_.SetUser(kSignInProxy, L"", L""));
  TestServers::MakeFile(L"px-407.bin", 1000);
  for (int type : {CBaseRequest::kWinHttp, CBaseRequest::kInternet}) {
    TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
    DWORD milliseconds = 0;
    EXPECT_EQ(Request(type, L"https://payload.corp.test/px-407.bin", &milliseconds), 407)
        << kBackendName[type] << Log();
    EXPECT_LT(milliseconds, 5000u) << kBackendName[type];
    EXPECT_GE(ProxyLines(proxy, "3129 "), 1) << kBackendName[type];
    EXPECT_EQ(proxy.CountLines(" 200 "), 0) << kBackendName[type] << proxy.Text();
  }
  EXPECT_TRUE(LogHas("asks for sign-in schemes 0x1, none of them the logged-on user's")) << Log();
}

// The engine fails such a download at once with its own result, for the failure question to name.
TEST_F(ProxyProbe, ADownloadBehindAPasswordProxyEndsAtOnceWithTheProxyResult) {
  ASSERT_TRUE(settings_.SetUser(kSignInProxy, L"", L""));
  TestServers::MakeFile(L"px-407-download.bin", 500000);
  DWORD milliseconds = 0;
  EXPECT_EQ(Download(L"https://payload.corp.test/px-407-download.bin", 5, &milliseconds), kDownloadResult_ProxyAuth)
      << Log();
  EXPECT_LT(milliseconds, 5000u) << Log();
}

// A proxy that asks for NTLM gets the logged-on user, once. Wine cannot complete an NTLM sign-in
// without Samba's ntlm_auth, so here the one resend meets a 407 again and that is the answer; on
// Windows the same resend carries the user's sign-in, which squid's fake helper would accept.
TEST_F(ProxyProbe, AProxyThatAsksForNtlmGetsOneResendWithTheLoggedOnUser) {
  ASSERT_TRUE(settings_.SetUser(L"127.0.0.4:3130", L"", L""));
  TestServers::MakeFile(L"px-ntlm.bin", 1000);
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  DWORD milliseconds = 0;
  EXPECT_EQ(Request(CBaseRequest::kWinHttp, L"https://payload.corp.test/px-ntlm.bin", &milliseconds), 407) << Log();
  EXPECT_LT(milliseconds, 5000u);
  EXPECT_TRUE(LogHas("proxy asks for sign-in: answering with the logged-on user (NTLM)")) << Log();
  // Wine's WinHTTP fails a 407 to CONNECT (12157) where Windows hands it over, so the sign-in happens
  // on the plain attempt: its first request and exactly one resend.
  EXPECT_EQ(ProxyLines(proxy, "3130 GET http://payload.corp.test/px-ntlm.bin 407", 2), 2) << SettledProxyLog(proxy);
}

// What an HTTPS-only download (an unpinned payload) meets behind a proxy that wants a password.
// WinINet hands over the 407 of the refused tunnel; Wine's WinHTTP fails it with 12157 instead.
TEST_F(ProxyProbe, AnHttpsOnlyRequestBehindAPasswordProxyAnswers407OverWinInet) {
  ASSERT_TRUE(settings_.SetUser(kSignInProxy, L"", L""));
  TestServers::MakeFile(L"px-407.bin", 1000);
  TestServers::LogMark proxy(TestServers::ServerLog::kProxy);
  DWORD milliseconds = 0;
  EXPECT_EQ(Request(CBaseRequest::kInternet, L"https://payload.corp.test/px-407.bin", &milliseconds, true), 407)
      << Log();
  EXPECT_LT(milliseconds, 5000u);
  EXPECT_EQ(ProxyLines(proxy, "3129 CONNECT payload.corp.test:443 407"), 1) << SettledProxyLog(proxy);
}

// From Windows 8.1 on the system resolves the proxy itself (Wine reports 8.1 to this copy of the
// probe). Wine then goes direct, so only the choice is visible here.
TEST_F(ProxyProbe, FromWindows81OnTheSystemsAutomaticProxyIsUsed) {
  std::wstring copy = L"proxy_probe_81.exe";
  ASSERT_TRUE(
      ::CopyFileW((TestSupport::ExeDir() + L"proxy_probe.exe").c_str(), (TestSupport::ExeDir() + copy).c_str(), FALSE));
  ProxyTest::WineVersionFor windows81(copy, L"win81");
  ASSERT_TRUE(settings_.SetUser(kOpenProxy, L"", L""));
  TestServers::MakeFile(L"px-auto.bin", 1000);
  int status = Run(L"request 0 https://localhost/px-auto.bin \"" + (dir_ / L"body.bin") + L"\"", nullptr, copy);
  ::DeleteFileW((TestSupport::ExeDir() + copy).c_str());
  EXPECT_EQ(status, 200) << Log();
  EXPECT_TRUE(LogHas("proxy for https://localhost/: as the system resolves it (automatic proxy)")) << Log();
  EXPECT_FALSE(LogHas("(user settings")) << Log();
}

// Windows 7 keeps TLS 1.1 and 1.2 off for clients unless a program asks for them (schannel's
// DisabledByDefault); Wine's schannel honours the same setting, read when a process starts. Against a
// server that refuses anything older, WinINet, which cannot ask per process, fails there, and WinHTTP,
// which asks for 1.2 itself, gets through.
TEST_F(ProxyProbe, WithTls12OffByDefaultAsOnWindows7WinHttpStillReachesATls12OnlyServer) {
  const std::wstring protocols = L"System\\CurrentControlSet\\Control\\SecurityProviders\\SCHANNEL\\Protocols\\";
  const std::wstring tls12 = protocols + L"TLS 1.2\\Client", tls13 = protocols + L"TLS 1.3\\Client";
  ProxyTest::SavedValue saved12(HKEY_LOCAL_MACHINE, tls12.c_str(), L"DisabledByDefault");
  ProxyTest::SavedValue saved13(HKEY_LOCAL_MACHINE, tls13.c_str(), L"DisabledByDefault");
  ASSERT_TRUE(ProxyTest::WriteNumber(HKEY_LOCAL_MACHINE, tls12.c_str(), L"DisabledByDefault", 1));
  ASSERT_TRUE(ProxyTest::WriteNumber(HKEY_LOCAL_MACHINE, tls13.c_str(), L"DisabledByDefault", 1));
  std::string bytes = TestServers::MakeFile(L"px-tls12.bin", 40000);
  ASSERT_EQ(Request(CBaseRequest::kInternet, L"https://localhost:8443/px-tls12.bin"), 1)
      << "with TLS 1.2 off by default, a program that does not ask for it must fail here" << Log();
  ASSERT_EQ(Request(CBaseRequest::kWinHttp, L"https://localhost:8443/px-tls12.bin"), 200) << Log();
  EXPECT_TRUE(Body() == bytes);
}

// The order of the settings, over the answers of real WinHTTP calls (a real script on the loopback
// nginx), whatever Windows version this process is told it runs on.
TEST(ProxyResolver, TakesTheFirstSettingThatAnswersInTheOrderWindowsUses) {
  TestSupport::WriteFileBytes(TestServers::WebRoot() + L"px-order.pac", kScript);
  const std::wstring url = L"https://payload.corp.test/";
  ProxySettings settings;
  settings.userProxy = L"10.0.0.1:8080";
  settings.userBypass = L"<local>";
  settings.machineProxy = L"10.0.0.2:8080";

  settings.systemResolves = true;
  settings.autoConfigUrl = L"http://localhost/px-order.pac";
  ProxyRoute route = CProxyResolver::Resolve(settings, url);
  EXPECT_EQ(route.accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY));
  EXPECT_EQ(route.source, ProxyRoute::Source::kSystem);

  settings.systemResolves = false;
  route = CProxyResolver::Resolve(settings, url);
  EXPECT_EQ(route.source, ProxyRoute::Source::kUserScript);
  EXPECT_EQ(route.proxy, L"127.0.0.4:3128");
  EXPECT_EQ(route.accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
  route = CProxyResolver::Resolve(settings, L"https://localhost/");
  EXPECT_EQ(route.source, ProxyRoute::Source::kUserScript);
  EXPECT_EQ(route.accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY));

  // A script that cannot be fetched gives way to the static proxy.
  settings.autoConfigUrl = L"http://localhost/px-missing.pac";
  route = CProxyResolver::Resolve(settings, url);
  EXPECT_EQ(route.source, ProxyRoute::Source::kUserStatic);
  EXPECT_EQ(route.proxy, L"10.0.0.1:8080");
  EXPECT_EQ(route.bypass, L"<local>");

  settings.autoConfigUrl.clear();
  settings.userProxy.clear();
  route = CProxyResolver::Resolve(settings, url);
  EXPECT_EQ(route.source, ProxyRoute::Source::kMachine);
  EXPECT_EQ(route.proxy, L"10.0.0.2:8080");

  settings.machineProxy.clear();
  route = CProxyResolver::Resolve(settings, url);
  EXPECT_EQ(route.source, ProxyRoute::Source::kNone);
  EXPECT_EQ(route.accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY));
}

// What ProxySettings::Read takes from the registry records, through the platform's own readers.
TEST(ProxySettings, ReadsTheUsersAndTheMachinesRecords) {
  ProxyTest::Scope scope;
  ASSERT_TRUE(scope.SetUser(L"127.0.0.4:3128", L"localhost;<local>", L"http://localhost/x.pac"));
  ASSERT_TRUE(scope.SetMachine(L"127.0.0.9:8080", L"*.corp.test"));
  ProxySettings settings = ProxySettings::Read();
  EXPECT_EQ(settings.userProxy, L"127.0.0.4:3128");
  EXPECT_EQ(settings.userBypass, L"localhost;<local>");
  EXPECT_EQ(settings.autoConfigUrl, L"http://localhost/x.pac");
  EXPECT_FALSE(settings.autoDetect);
  EXPECT_EQ(settings.machineProxy, L"127.0.0.9:8080");
  EXPECT_EQ(settings.machineBypass, L"*.corp.test");
}

// A detached range thread may open a connection while the process exits: the resolver it asks must
// still be there after static destruction, with the route it already knew.
TEST_F(ProxyProbe, TheResolverOutlivesStaticDestruction) {
  ASSERT_TRUE(settings_.SetUser(kOpenProxy, L"", L""));
  ASSERT_EQ(Run(L"at-exit payload.corp.test", nullptr), 0) << Log();
  const std::string route = "127.0.0.4:3128 (user settings, static)";
  EXPECT_TRUE(LogHas("probe: in main " + route)) << Log();
  EXPECT_TRUE(LogHas("probe: at exit " + route)) << Log();
  EXPECT_EQ(CountIn(Log(), "proxy for https://payload.corp.test/:"), 1) << Log();
}
