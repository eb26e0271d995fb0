#include "telemetry/GaSender.h"

#include <memory>
#include <new>

#include "telemetry/DownloadFailureReason.h"
#include "telemetry/MpEventBody.h"
#include "tool/WinHttpHandle.h"

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

bool CGaSender::SendStartInstall() {
  if (bMp) return SendMp("Downloader_Start_Install");
  bSecure = true;
  std::wstring path = EventPath("Downloader_Start_Install");
  if (SendHttps(path)) return true;
  bSecure = false;
  return SendHttp(path);
}

bool CGaSender::SendDownloaded() {
  if (bMp) return SendMp("Downloader_Installed");
  std::wstring path = EventPath("Downloader_Installed");
  return bSecure ? SendHttps(path) : SendHttp(path);
}

bool CGaSender::SendInstallSucceed() {
  if (bMp) return SendMp("Installed_Succeed");
  std::wstring path = EventPath("Installed_Succeed");
  return bSecure ? SendHttps(path) : SendHttp(path);
}

bool CGaSender::SendDownloadFailed(const char* reason) { return bMp && SendMp("Downloader_Failed", reason); }

bool CGaSender::SendHttps(const std::wstring& fullPath) { return Send(fullPath, true); }

bool CGaSender::SendHttp(const std::wstring& fullPath) { return Send(fullPath, false); }

// HTTPS goes through WinHTTP's own proxy configuration with the default protocol version; plain HTTP
// goes direct, as HTTP/1.1, and refuses cached answers.
bool CGaSender::Send(const std::wstring& fullPath, bool secure) {
  if (strHost.empty() || strBasePath.empty() || fullPath.empty()) return false;
  DWORD access = secure ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY;
  Scoped::WinHttpCloseHandle session(::WinHttpOpen(nullptr, access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  INTERNET_PORT port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  Scoped::WinHttpCloseHandle connect(::WinHttpConnect(session.get(), strHost.c_str(), port, 0));
  if (!connect) return false;
  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  Scoped::WinHttpCloseHandle request(::WinHttpOpenRequest(connect.get(), L"HEAD", fullPath.c_str(),
                                                          secure ? nullptr : L"HTTP/1.1", WINHTTP_NO_REFERER,
                                                          acceptTypes,
                                                          secure ? WINHTTP_FLAG_SECURE : WINHTTP_FLAG_REFRESH));
  if (!request) return false;
  return ::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
         ::WinHttpReceiveResponse(request.get(), nullptr);
}

std::wstring CGaSender::MpPath() const {
  return L"/mp/collect?measurement_id=" + mpTarget.measurementId + L"&api_secret=" + mpTarget.apiSecret;
}

// The collection service takes HTTPS only, so there is no plain fallback; it answers 2xx whatever
// the body held, so the status is not looked at.
bool CGaSender::SendMp(const char* name, const char* failureReason) {
  if (mpTarget.host.empty() || mpTarget.measurementId.empty()) return false;
  std::string body =
      BuildMpEventBody(mpTarget.clientId, MpEvent{name, mpTarget.category, mpTarget.label, failureReason});
  Scoped::WinHttpCloseHandle session(
      ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  Scoped::WinHttpCloseHandle connect(::WinHttpConnect(session.get(), mpTarget.host.c_str(), mpTarget.port, 0));
  if (!connect) return false;
  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  Scoped::WinHttpCloseHandle request(::WinHttpOpenRequest(connect.get(), L"POST", MpPath().c_str(), nullptr,
                                                          WINHTTP_NO_REFERER, acceptTypes, WINHTTP_FLAG_SECURE));
  if (!request) return false;
  const wchar_t headers[] = L"Content-Type: application/json\r\n";
  return ::WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1L), &body[0],
                              static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) &&
         ::WinHttpReceiveResponse(request.get(), nullptr);
}

DWORD WINAPI CGaSender::GaThreadProc(LPVOID parameter) {
  std::unique_ptr<GaThreadParam> param(static_cast<GaThreadParam*>(parameter));
  if (param->kind == kGaEvent_Downloaded) {
    param->sender->SendDownloaded();
  } else if (param->kind == kGaEvent_DownloadFailed) {
    param->sender->SendDownloadFailed(param->failureReason);
  } else {
    param->sender->SendStartInstall();
  }
  return 0;
}

std::wstring BuildGaBasePath(const std::wstring& trackingId, const std::wstring& clientId, const std::wstring& title) {
  return L"collect?v=1&t=event&tid=" + trackingId + L"&cid=" + clientId + L"&ec=" + title +
         L" (Windows version)&el=" + clientId;
}

std::wstring GaCategory(const std::wstring& title) { return title + L" (Windows version)"; }

bool StartGaEventThread(int kind, const char* failureReason) {
  std::unique_ptr<GaThreadParam> param(
      new (std::nothrow) GaThreadParam{&CGaSender::GetInstance(), kind, failureReason});
  if (!param) return false;
  Scoped::CloseHandle thread(::CreateThread(nullptr, 0, &CGaSender::GaThreadProc, param.get(), 0, nullptr));
  if (!thread) return false;
  param.release();  // the thread frees it
  return true;
}

bool StartDownloadFailedEvent(int downloadResult) {
  return StartGaEventThread(kGaEvent_DownloadFailed, DownloadFailureReason(downloadResult));
}
