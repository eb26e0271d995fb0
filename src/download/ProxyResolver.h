#pragma once

// Which proxy a WinHTTP session takes to reach a host, found the way Windows finds it for the user:
// the system's own automatic resolution where the system has it (Windows 8.1 and later); elsewhere
// the user's Internet Settings (auto-detect and a proxy script first, then the static proxy with its
// bypass list), and last the machine's WinHTTP proxy (what "netsh winhttp set proxy" writes).
// WINHTTP_ACCESS_TYPE_DEFAULT_PROXY alone would read only that last one.
//
// Kept apart from BaseRequest.h because it needs winhttp.h, which must not meet wininet.h. WinINet
// needs none of this: INTERNET_OPEN_TYPE_PRECONFIG resolves the user's settings itself.

#include <windows.h>
#include <winhttp.h>

#include "download/WinHttpHandle.h"

#include <map>
#include <mutex>
#include <string>

// What a WinHTTP session is opened with to reach one host.
struct ProxyRoute {
  enum class Source { kNone, kSystem, kUserAutoDetect, kUserScript, kUserStatic, kMachine };

  DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;  // AUTOMATIC_PROXY, NAMED_PROXY or NO_PROXY
  std::wstring proxy;                               // the proxy list of a named route
  std::wstring bypass;                              // hosts a named route reaches directly
  Source source = Source::kNone;
  std::wstring detail;  // the script's address, for the log

  // "127.0.0.4:3128 (user settings, static)", "direct (no proxy configured)", ...
  std::wstring Describe() const;
};

// The proxy settings as the platform reports them; read by real calls, kept as plain values so that
// the order in which they are consulted can be followed on any system.
struct ProxySettings {
  bool systemResolves = false;  // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY is available
  bool autoDetect = false;      // the user's "Automatically detect settings"
  std::wstring autoConfigUrl;   // the user's proxy script
  std::wstring userProxy, userBypass;
  std::wstring machineProxy, machineBypass;

  static ProxySettings Read();
  // Windows 8.1 (6.3) or later, by the version the system really is, not the one it tells programs
  // without a matching manifest.
  static bool SystemHasAutomaticProxy();
};

class CProxyResolver {
 public:
  // The one resolver of this process: every request asks it, and each host is resolved once.
  static CProxyResolver& Process();

  // The route to `host` (a ":port" may follow) over https or http; resolved and logged once per
  // scheme and host, then answered from memory.
  ProxyRoute RouteTo(bool secure, const std::wstring& host);
  // WinHttpOpen refused the automatic access type (a system older than its version says): every
  // later route, and those already handed out, take the explicit settings instead.
  void ForgetSystemResolution();

  // The route `settings` give for `url`, without memory; a proxy script or auto-detection is run
  // through WinHttpGetProxyForUrl and, when it fails, the next setting is taken.
  static ProxyRoute Resolve(const ProxySettings& settings, const std::wstring& url);

 private:
  std::mutex mutex_;
  bool settingsRead_ = false;
  ProxySettings settings_;
  std::map<std::wstring, ProxyRoute> routes_;
};

// A WinHTTP session on the route the process's resolver gives for `host` (a ":port" may follow) over
// https or http; empty when WinHttpOpen refuses (GetLastError says why). A system that reports 8.1 or
// later and still lacks the automatic access type (a compatibility shim) refuses it with
// ERROR_INVALID_PARAMETER; its settings are then read one by one.
Scoped::WinHttpCloseHandle OpenRoutedSession(bool secure, const std::wstring& host);
