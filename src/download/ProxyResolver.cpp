#include "download/ProxyResolver.h"

#include "log/Log.h"
#include "download/WinHttpHandle.h"

namespace {

// Takes a string WinHTTP allocated with GlobalAlloc and frees it.
std::wstring TakeGlobalString(LPWSTR text) {
  if (!text) return std::wstring();
  std::wstring value(text);
  ::GlobalFree(text);
  return value;
}

std::wstring WithBypass(const std::wstring& text, const std::wstring& bypass) {
  return bypass.empty() ? text : text + L"; bypass " + bypass;
}

// A route the settings name: the given proxy, or direct when the list is empty.
ProxyRoute NamedRoute(ProxyRoute::Source source, const std::wstring& proxy, const std::wstring& bypass) {
  ProxyRoute route;
  route.source = source;
  if (proxy.empty()) return route;
  route.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  route.proxy = proxy;
  route.bypass = bypass;
  return route;
}

// Asks WinHTTP to run auto-detection and/or the proxy script for `url`; false when neither gives an
// answer (no script found, a script that fails to load or run).
bool RunProxyScript(const ProxySettings& settings, const std::wstring& url, ProxyRoute& route) {
  Scoped::WinHttpCloseHandle session(
      ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    LOG_INFO("ERR:proxy script: WinHttpOpen fail %u", static_cast<unsigned>(::GetLastError()));
    return false;
  }
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  if (settings.autoDetect) {
    options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (!settings.autoConfigUrl.empty()) {
    options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = settings.autoConfigUrl.c_str();
  }
  WINHTTP_PROXY_INFO info = {};
  BOOL answered = ::WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &info);
  // A script server that wants a sign-in is asked again with the logged-on user, as Microsoft advises:
  // not at first, so that no credentials go where none are needed.
  if (!answered && ::GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
    options.fAutoLogonIfChallenged = TRUE;
    answered = ::WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &info);
  }
  if (!answered) {
    LOG_INFOW(L"proxy script (%ls%ls) gave no answer for %ls: error %u", settings.autoDetect ? L"auto-detect " : L"",
              settings.autoConfigUrl.c_str(), url.c_str(), static_cast<unsigned>(::GetLastError()));
    return false;
  }
  std::wstring proxy = TakeGlobalString(info.lpszProxy), bypass = TakeGlobalString(info.lpszProxyBypass);
  ProxyRoute::Source source =
      settings.autoConfigUrl.empty() ? ProxyRoute::Source::kUserAutoDetect : ProxyRoute::Source::kUserScript;
  route = NamedRoute(source, info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy : std::wstring(), bypass);
  route.detail = settings.autoConfigUrl;
  return true;
}

void ReadUserSettings(ProxySettings& settings) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
    LOG_INFO("no user proxy settings: WinHttpGetIEProxyConfigForCurrentUser fail %u",
             static_cast<unsigned>(::GetLastError()));
    return;
  }
  settings.autoDetect = config.fAutoDetect != FALSE;
  settings.autoConfigUrl = TakeGlobalString(config.lpszAutoConfigUrl);
  settings.userProxy = TakeGlobalString(config.lpszProxy);
  settings.userBypass = TakeGlobalString(config.lpszProxyBypass);
}

void ReadMachineSettings(ProxySettings& settings) {
  WINHTTP_PROXY_INFO info = {};
  if (!::WinHttpGetDefaultProxyConfiguration(&info)) {
    LOG_INFO("no machine proxy settings: WinHttpGetDefaultProxyConfiguration fail %u",
             static_cast<unsigned>(::GetLastError()));
    return;
  }
  std::wstring proxy = TakeGlobalString(info.lpszProxy), bypass = TakeGlobalString(info.lpszProxyBypass);
  if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) return;
  settings.machineProxy = proxy;
  settings.machineBypass = bypass;
}

}  // namespace

std::wstring ProxyRoute::Describe() const {
  std::wstring where = accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy : L"direct";
  switch (source) {
    case Source::kSystem:
      return L"as the system resolves it (automatic proxy)";
    case Source::kUserAutoDetect:
      return where + L" (user settings, auto-detect)";
    case Source::kUserScript:
      return where + L" (user settings, script " + detail + L")";
    case Source::kUserStatic:
      return WithBypass(where + L" (user settings, static", bypass) + L")";
    case Source::kMachine:
      return WithBypass(where + L" (machine WinHTTP settings", bypass) + L")";
    case Source::kNone:
      break;
  }
  return L"direct (no proxy configured)";
}

bool ProxySettings::SystemHasAutomaticProxy() {
  using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto getVersion = reinterpret_cast<RtlGetVersionCall>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!getVersion || getVersion(&version) != 0) return false;
  return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 3);
}

ProxySettings ProxySettings::Read() {
  ProxySettings settings;
  settings.systemResolves = SystemHasAutomaticProxy();
  ReadUserSettings(settings);
  ReadMachineSettings(settings);
  return settings;
}

ProxyRoute CProxyResolver::Resolve(const ProxySettings& settings, const std::wstring& url) {
  if (settings.systemResolves) {
    ProxyRoute route;
    route.accessType = WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;
    route.source = ProxyRoute::Source::kSystem;
    return route;
  }
  ProxyRoute route;
  if ((settings.autoDetect || !settings.autoConfigUrl.empty()) && RunProxyScript(settings, url, route)) return route;
  if (!settings.userProxy.empty()) {
    return NamedRoute(ProxyRoute::Source::kUserStatic, settings.userProxy, settings.userBypass);
  }
  if (!settings.machineProxy.empty()) {
    return NamedRoute(ProxyRoute::Source::kMachine, settings.machineProxy, settings.machineBypass);
  }
  return ProxyRoute();
}

// Never destroyed, like the log: range threads are detached, and one that opens a connection while the
// process exits (the window closed during a download) must not find the routes already gone.
CProxyResolver& CProxyResolver::Process() {
  static CProxyResolver* const resolver = new CProxyResolver();
  return *resolver;
}

ProxyRoute CProxyResolver::RouteTo(bool secure, const std::wstring& host) {
  const std::wstring url = (secure ? L"https://" : L"http://") + host + L"/";
  std::lock_guard<std::mutex> lock(mutex_);
  auto known = routes_.find(url);
  if (known != routes_.end()) return known->second;
  if (!settingsRead_) {
    settings_ = ProxySettings::Read();
    settingsRead_ = true;
  }
  // Held while a script runs: the ranges of one download all wait for the one answer rather than
  // each running the script.
  const bool scripted = !settings_.systemResolves && (settings_.autoDetect || !settings_.autoConfigUrl.empty());
  ProxyRoute route = Resolve(settings_, url);
  if (scripted && route.source != ProxyRoute::Source::kUserScript &&
      route.source != ProxyRoute::Source::kUserAutoDetect) {
    // Auto-detection that finds nothing costs seconds of DHCP and DNS queries; a script that gave no
    // answer once is not asked again for the next host of this process.
    settings_.autoDetect = false;
    settings_.autoConfigUrl.clear();
  }
  LOG_INFOW(L"proxy for %ls: %ls", url.c_str(), route.Describe().c_str());
  routes_[url] = route;
  return route;
}

void CProxyResolver::ForgetSystemResolution() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!settings_.systemResolves) return;
  LOG_INFO("the system refused the automatic proxy type; its settings are read one by one instead");
  settings_.systemResolves = false;
  routes_.clear();
}

namespace {

Scoped::WinHttpCloseHandle OpenOnRoute(const ProxyRoute& route) {
  return Scoped::WinHttpCloseHandle(
      ::WinHttpOpen(nullptr, route.accessType, route.proxy.empty() ? WINHTTP_NO_PROXY_NAME : route.proxy.c_str(),
                    route.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : route.bypass.c_str(), 0));
}

}  // namespace

Scoped::WinHttpCloseHandle OpenRoutedSession(bool secure, const std::wstring& host) {
  CProxyResolver& routes = CProxyResolver::Process();
  const ProxyRoute route = routes.RouteTo(secure, host);
  Scoped::WinHttpCloseHandle session = OpenOnRoute(route);
  if (!session && route.accessType == WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY &&
      ::GetLastError() == ERROR_INVALID_PARAMETER) {
    routes.ForgetSystemResolution();
    session = OpenOnRoute(routes.RouteTo(secure, host));
  }
  return session;
}
