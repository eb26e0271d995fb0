#include "telemetry/GaSender.h"

#include <memory>
#include <new>

#include "BuildConfig.h"
#include "telemetry/ClientId.h"
#include "tool/WinHttpHandle.h"

CGaSender& CGaSender::GetInstance() {
  static CGaSender* instance = new CGaSender();
  return *instance;
}

void CGaSender::SetTarget(const std::wstring& host, const std::wstring& basePath) {
  strHost = host;
  strBasePath = basePath;
}

std::wstring CGaSender::EventPath(const char* action) const {
  std::wstring path = strBasePath + L"&ea=";
  for (const char* p = action; *p; ++p) path.push_back(static_cast<wchar_t>(*p));
  return path;
}

bool CGaSender::SendStartInstall() {
  bSecure = true;
  std::wstring path = EventPath("Downloader_Start_Install");
  if (SendHttps(path)) return true;
  bSecure = false;
  return SendHttp(path);
}

bool CGaSender::SendDownloaded() {
  std::wstring path = EventPath("Downloader_Installed");
  return bSecure ? SendHttps(path) : SendHttp(path);
}

bool CGaSender::SendInstallSucceed() {
  std::wstring path = EventPath("Installed_Succeed");
  return bSecure ? SendHttps(path) : SendHttp(path);
}

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

DWORD WINAPI CGaSender::GaThreadProc(LPVOID parameter) {
  std::unique_ptr<GaThreadParam> param(static_cast<GaThreadParam*>(parameter));
  if (param->kind == kGaEvent_Downloaded) {
    param->sender->SendDownloaded();
  } else {
    param->sender->SendStartInstall();
  }
  return 0;
}

std::wstring BuildGaBasePath(const std::wstring& trackingId, const std::wstring& clientId, const std::wstring& title) {
  return L"collect?v=1&t=event&tid=" + trackingId + L"&cid=" + clientId + L"&ec=" + title +
         L" (Windows version)&el=" + clientId;
}

void SetupGaSender(const std::wstring& gaTitle) {
  CGaSender& sender = CGaSender::GetInstance();
  sender.SetTarget(GetAnalyticsHost(), BuildGaBasePath(GetTrackingId(), GetClientId(), gaTitle));
}

bool StartGaEventThread(int kind) {
  std::unique_ptr<GaThreadParam> param(new (std::nothrow) GaThreadParam{&CGaSender::GetInstance(), kind});
  if (!param) return false;
  Scoped::CloseHandle thread(::CreateThread(nullptr, 0, &CGaSender::GaThreadProc, param.get(), 0, nullptr));
  if (!thread) return false;
  param.release();  // the thread frees it
  return true;
}
