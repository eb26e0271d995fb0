#include "telemetry/GaSender.h"

#include <chrono>
#include <memory>
#include <new>

#include "telemetry/DownloadFailureReason.h"
#include "telemetry/MpEventBody.h"
#include "download/AttemptWatch.h"
#include "download/BaseRequest.h"
#include "download/ProxyResolver.h"
#include "download/WinHttpHandle.h"
#include "log/Log.h"

namespace {

// 100-nanosecond intervals from 1601 (FILETIME's epoch) to 1970.
constexpr unsigned long long kUnixEpochIn100ns = 116444736000000000ULL;

unsigned long long UnixMs(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return value.QuadPart > kUnixEpochIn100ns ? (value.QuadPart - kUnixEpochIn100ns) / 10000 : 0;
}

unsigned long long NowMs() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return UnixMs(now);
}

// When the process started, in milliseconds since 1970; read once.
unsigned long long RunStartMs() {
  static const unsigned long long start = [] {
    FILETIME created, exited, kernel, user;
    return ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user) ? UnixMs(created) : NowMs();
  }();
  return start;
}

// A session on the route the proxy settings give for `host` (a ":port" may follow), with the events'
// time-outs.
Scoped::WinHttpCloseHandle OpenEventSession(bool secure, const std::wstring& host) {
  Scoped::WinHttpCloseHandle session = OpenRoutedSession(secure, host);
  if (session && !::WinHttpSetTimeouts(session.get(), 0, CGaSender::kConnectTimeoutMs, CGaSender::kSendTimeoutMs,
                                       CGaSender::kReceiveTimeoutMs)) {
    session.reset();
  }
  return session;
}

// One event's request and what owns its handles, shared with the thread the answer bound watches,
// so that a request given up on can still end on its own later.
struct EventExchange {
  Scoped::WinHttpCloseHandle session;
  Scoped::WinHttpCloseHandle connect;
  CRequestHandle request;
  std::wstring headers;
  std::string body;
  bool answered = false;
  DWORD error = 0;
};

// Opens `verb` `object` on the exchange's connection, bounded like its session. Windows ends a silent
// wait for the answer's headers with the receive time-out; Wine does not, and ends it only with the
// headers' own time-out, which has no bound there by default.
// A session on the route the proxy settings give for `route`, connected to `host`:`port`; null when
// either step fails.
std::shared_ptr<EventExchange> ConnectExchange(bool secure, const std::wstring& route, const std::wstring& host,
                                               INTERNET_PORT port) {
  auto exchange = std::make_shared<EventExchange>();
  exchange->session = OpenEventSession(secure, route);
  if (!exchange->session) return nullptr;
  exchange->connect.reset(::WinHttpConnect(exchange->session.get(), host.c_str(), port, 0));
  return exchange->connect ? exchange : nullptr;
}

bool OpenEventRequest(EventExchange& exchange, const wchar_t* verb, const std::wstring& object, const wchar_t* version,
                      DWORD flags) {
  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  HINTERNET request = ::WinHttpOpenRequest(exchange.connect.get(), verb, object.c_str(), version, WINHTTP_NO_REFERER,
                                           acceptTypes, flags);
  if (!request) return false;
  exchange.request.reset(request, &::WinHttpCloseHandle);
  DWORD headersTimeout = CGaSender::kReceiveTimeoutMs;
  return ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout,
                            sizeof(headersTimeout)) != FALSE;
}

void SendAndReceive(EventExchange& exchange) {
  HINTERNET request = exchange.request.get();
  const bool hasBody = !exchange.body.empty();
  exchange.answered =
      ::WinHttpSendRequest(request, exchange.headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : exchange.headers.c_str(),
                           exchange.headers.empty() ? 0 : static_cast<DWORD>(-1L),
                           hasBody ? &exchange.body[0] : WINHTTP_NO_REQUEST_DATA,
                           static_cast<DWORD>(exchange.body.size()), static_cast<DWORD>(exchange.body.size()), 0) &&
      ::WinHttpReceiveResponse(request, nullptr);
  if (!exchange.answered) exchange.error = ::GetLastError();
}

// Sends the request and waits for the answer's headers within the session's three time-outs together.
// Windows bounds the wait for all the headers with the headers' time-out; Wine bounds each read only,
// so headers that come a byte at a time keep it waiting, and a start event stuck there would hold the
// later events' scheme. Closing the request ends the wait on Windows; under Wine it does not, and the
// request ends on its own thread.
bool RunExchange(const std::shared_ptr<EventExchange>& exchange) {
  const DWORD bound = CGaSender::kConnectTimeoutMs + CGaSender::kSendTimeoutMs + CGaSender::kReceiveTimeoutMs;
  const CAttemptWatch::End end = CAttemptWatch::RunUntilAnswered([exchange] { SendAndReceive(*exchange); },
                                                                 [exchange] { exchange->request.CloseNow(); }, bound);
  ::SetLastError(end == CAttemptWatch::End::kFinished ? exchange->error : ERROR_WINHTTP_TIMEOUT);
  return end == CAttemptWatch::End::kFinished && exchange->answered;
}

}  // namespace

unsigned long long GaSessionId() { return RunStartMs() / 1000; }

CGaSender& CGaSender::GetInstance() {
  static CGaSender* instance = new CGaSender();
  return *instance;
}

void CGaSender::SetTarget(const std::wstring& host, const std::wstring& basePath) {
  bMp = false;
  strHost = host;
  strBasePath = basePath;
}

void CGaSender::SetMpTarget(const MpTarget& target) {
  bMp = true;
  mpTarget = target;
}

std::wstring CGaSender::EventPath(const char* action) const {
  std::wstring path = strBasePath + L"&ea=";
  for (const char* p = action; *p; ++p) path.push_back(static_cast<wchar_t>(*p));
  return path;
}

void CGaSender::BeginSchemeChoice() {
  if (bMp) return;
  std::lock_guard<std::mutex> lock(schemeMutex);
  bSchemePending = true;
  bSecure = true;
}

void CGaSender::SettleScheme(bool secure) {
  {
    std::lock_guard<std::mutex> lock(schemeMutex);
    bSchemePending = false;
    bSecure = secure;
  }
  schemeSettled.notify_all();
}

bool CGaSender::SchemeForLaterEvent() {
  std::unique_lock<std::mutex> lock(schemeMutex);
  schemeSettled.wait_for(lock, std::chrono::milliseconds(kSchemeWaitMs), [this] { return !bSchemePending; });
  return bSecure;
}

bool CGaSender::IsSecure() const {
  std::lock_guard<std::mutex> lock(schemeMutex);
  return bSecure;
}

// The scheme is settled by the HTTPS attempt alone: later events need not wait for the plain one.
bool CGaSender::SendStartInstall() {
  if (bMp) return SendMp("Downloader_Start_Install");
  BeginSchemeChoice();
  std::wstring path = EventPath("Downloader_Start_Install");
  const bool secureAnswered = SendHttps(path);
  SettleScheme(secureAnswered);
  return secureAnswered || SendHttp(path);
}

bool CGaSender::SendDownloaded() {
  if (bMp) return SendMp("Downloader_Installed");
  std::wstring path = EventPath("Downloader_Installed");
  return SchemeForLaterEvent() ? SendHttps(path) : SendHttp(path);
}

bool CGaSender::SendInstallSucceed() {
  if (bMp) return SendMp("Installed_Succeed");
  std::wstring path = EventPath("Installed_Succeed");
  return SchemeForLaterEvent() ? SendHttps(path) : SendHttp(path);
}

bool CGaSender::SendDownloadFailed(const char* reason) { return bMp && SendMp("Downloader_Failed", reason); }

bool CGaSender::SendHttps(const std::wstring& fullPath) { return Send(fullPath, true); }

bool CGaSender::SendHttp(const std::wstring& fullPath) { return Send(fullPath, false); }

// HTTPS with the default protocol version; plain HTTP as HTTP/1.1, refusing cached answers.
bool CGaSender::Send(const std::wstring& fullPath, bool secure) {
  if (strHost.empty() || strBasePath.empty() || fullPath.empty()) return false;
  const INTERNET_PORT port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  std::shared_ptr<EventExchange> exchange = ConnectExchange(secure, strHost, strHost, port);
  if (!exchange || !OpenEventRequest(*exchange, L"HEAD", fullPath, secure ? nullptr : L"HTTP/1.1",
                                     secure ? WINHTTP_FLAG_SECURE : WINHTTP_FLAG_REFRESH)) {
    return false;
  }
  return RunExchange(exchange);
}

std::wstring CGaSender::MpPath() const {
  return L"/mp/collect?measurement_id=" + mpTarget.measurementId + L"&api_secret=" + mpTarget.apiSecret;
}

unsigned long long CGaSender::TakeEngagementMs() {
  std::lock_guard<std::mutex> lock(engagementMutex);
  const unsigned long long now = NowMs();
  const unsigned long long previous = nPreviousEventMs ? nPreviousEventMs : RunStartMs();
  nPreviousEventMs = now;
  return now > previous ? now - previous : 1;
}

// The collection service takes HTTPS only, so there is no plain fallback; it answers 2xx whatever
// the body held, so the status is not looked at.
bool CGaSender::SendMp(const char* name, const char* failureReason) {
  if (mpTarget.host.empty() || mpTarget.measurementId.empty()) return false;
  const char* mode = mpTarget.installMode.empty() ? nullptr : mpTarget.installMode.c_str();
  std::string body = BuildMpEventBody(mpTarget.clientId, MpEvent{name, mpTarget.category, mpTarget.label, failureReason,
                                                                 GaSessionId(), TakeEngagementMs(), mode});
  const std::wstring route = mpTarget.port == INTERNET_DEFAULT_HTTPS_PORT
                                 ? mpTarget.host
                                 : mpTarget.host + L":" + std::to_wstring(mpTarget.port);
  std::shared_ptr<EventExchange> exchange = ConnectExchange(true, route, mpTarget.host, mpTarget.port);
  if (!exchange || !OpenEventRequest(*exchange, L"POST", MpPath(), nullptr, WINHTTP_FLAG_SECURE)) return false;
  exchange->headers = L"Content-Type: application/json\r\n";
  exchange->body = std::move(body);
  return RunExchange(exchange);
}

const char* GaEventName(int kind) {
  switch (kind) {
    case kGaEvent_Downloaded:
      return "Downloader_Installed";
    case kGaEvent_DownloadFailed:
      return "Downloader_Failed";
    case kGaEvent_InstallSucceed:
      return "Installed_Succeed";
    default:
      return "Downloader_Start_Install";
  }
}

bool CGaSender::SendEvent(int kind, const char* failureReason) {
  switch (kind) {
    case kGaEvent_Downloaded:
      return SendDownloaded();
    case kGaEvent_DownloadFailed:
      return SendDownloadFailed(failureReason);
    case kGaEvent_InstallSucceed:
      return SendInstallSucceed();
    default:
      return SendStartInstall();
  }
}

// A lost event changes nothing for the user, but the log says which one and how it ended, so that a
// gap in the reports can be traced to a machine's network.
DWORD WINAPI CGaSender::GaThreadProc(LPVOID parameter) {
  std::unique_ptr<GaThreadParam> param(static_cast<GaThreadParam*>(parameter));
  if (param->kind == kGaEvent_DownloadFailed && !param->sender->bMp) return 0;  // v1 has no such event
  const ULONGLONG start = ::GetTickCount64();
  const bool answered = param->sender->SendEvent(param->kind, param->failureReason);
  const DWORD error = answered ? 0 : ::GetLastError();
  const unsigned long long ms = ::GetTickCount64() - start;
  if (answered)
    LOG_INFO("analytics event %s answered after %llu ms", GaEventName(param->kind), ms);
  else
    LOG_INFO("analytics event %s not sent (error %lu) after %llu ms", GaEventName(param->kind), error, ms);
  return 0;
}

std::wstring BuildGaBasePath(const std::wstring& trackingId, const std::wstring& clientId, const std::wstring& title) {
  return L"collect?v=1&t=event&tid=" + trackingId + L"&cid=" + clientId + L"&ec=" + title + L" (Windows version)&el=" +
         clientId;
}

std::wstring GaCategory(const std::wstring& title) { return title + L" (Windows version)"; }

// A start event announces itself before its thread exists, so that no later event can take the scheme
// of the run's previous start. Should its thread not start, later events wait out kSchemeWaitMs on
// their own threads and go over HTTPS, the start event's first choice.
bool StartGaEventThread(int kind, const char* failureReason) {
  CGaSender& sender = CGaSender::GetInstance();
  if (kind == kGaEvent_StartInstall) sender.BeginSchemeChoice();
  std::unique_ptr<GaThreadParam> param(new (std::nothrow) GaThreadParam{&sender, kind, failureReason});
  if (!param) return false;
  Scoped::CloseHandle thread(::CreateThread(nullptr, 0, &CGaSender::GaThreadProc, param.get(), 0, nullptr));
  if (!thread) return false;
  param.release();  // the thread frees it
  return true;
}

bool StartDownloadFailedEvent(int downloadResult) {
  return StartGaEventThread(kGaEvent_DownloadFailed, DownloadFailureReason(downloadResult));
}
