#include <windows.h>
#include <winhttp.h>

#include <climits>

#include "log/Log.h"
#include "download/BaseRequest.h"
#include "download/ProxyResolver.h"
#include "base/TextHelper.h"

namespace {
const CRequestHandle::CloseCall kClose = &::WinHttpCloseHandle;
}

bool CWinHttpRequest::OpenSession(bool secure) {
  if (!OpenSessionHandle(secure)) return false;
  EnableModernTls();
  const int connect = static_cast<int>(nConnectTimeoutMs), receive = static_cast<int>(nReceiveTimeoutMs);
  // Name resolution keeps the platform's bound (none); sending a request is bounded like receiving.
  if (!::WinHttpSetTimeouts(hSession.get(), 0, connect, receive, receive)) {
    ReportApiError("WinHttpSetTimeouts", "CWinHttpRequest::OpenSession");
    return false;
  }
  return true;
}

bool CWinHttpRequest::OpenSessionHandle(bool secure) {
  Scoped::WinHttpCloseHandle session = OpenRoutedSession(secure, HostAndPort());
  if (!session) {
    ReportApiError("WinHttpOpen", "CWinHttpRequest::OpenSession");
    return false;
  }
  hSession.reset(session.release(), kClose);
  return true;
}

// Windows 7 and 8 offer TLS 1.0 alone unless asked, and more and more servers refuse it. TLS 1.3
// exists from Windows 11 on; older systems refuse the whole set with it, so 1.2 alone is asked next.
// Where even that is refused the platform's own choice stays, and the attempt goes on.
void CWinHttpRequest::EnableModernTls() {
  static const DWORD kProtocolSets[] = {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3,
                                        WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2};
  for (DWORD protocols : kProtocolSets) {
    if (::WinHttpSetOption(hSession.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return;
  }
  ReportApiError("WinHttpSetOption(SECURE_PROTOCOLS)", "CWinHttpRequest::OpenSession");
}

bool CWinHttpRequest::ConnectSession(bool secure) {
  INTERNET_PORT port = nPort ? nPort : secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  hConnect.reset(::WinHttpConnect(hSession.get(), strHost.c_str(), port, 0), kClose);
  if (!hConnect) ReportApiError("WinHttpConnect", "CWinHttpRequest::ConnectSession");
  return static_cast<bool>(hConnect);
}

bool CWinHttpRequest::OpenRequest(bool secure) {
  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  DWORD flags = secure ? (WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH) : WINHTTP_FLAG_REFRESH;
  hRequest.reset(::WinHttpOpenRequest(hConnect.get(), strVerb.c_str(), strPath.c_str(), L"HTTP/1.1", WINHTTP_NO_REFERER,
                                      acceptTypes, flags),
                 kClose);
  if (!hRequest) {
    ReportApiError("WinHttpOpenRequest", "CWinHttpRequest::OpenRequest");
    return false;
  }
  // The request layer follows redirects itself, under rules both backends share.
  DWORD disable = WINHTTP_DISABLE_REDIRECTS;
  if (!::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable))) {
    ReportApiError("WinHttpSetOption(DISABLE_FEATURE)", "CWinHttpRequest::OpenRequest");
    return false;
  }
  // Wine bounds neither a TLS handshake nor the wait for headers with the receive time-out, only with
  // this one; a request the engine gave up on then still ends on its own.
  DWORD answer = nAnswerTimeoutMs;
  ::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answer, sizeof(answer));
  return true;
}

bool CWinHttpRequest::QueryAnsweredUrl(std::wstring& url) {
  HINTERNET request = hRequest.get();
  return QueryText(
      [request](void* buffer, DWORD* bytes) {
        return ::WinHttpQueryOption(request, WINHTTP_OPTION_URL, buffer, bytes) != FALSE;
      },
      url);
}

bool CWinHttpRequest::SendRequest() {
  if (!strHeaders.empty() &&
      !::WinHttpAddRequestHeaders(hRequest.get(), strHeaders.c_str(), static_cast<DWORD>(strHeaders.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD)) {
    ReportApiError("WinHttpAddRequestHeaders", "CWinHttpRequest::SendRequest");
    return false;
  }
  if (!SendAndReceive()) return false;
  int status = 0;
  if (!GetStatusCode(status) || status != HTTP_STATUS_PROXY_AUTH_REQ) return true;
  // One resend with the logged-on user; a 407 after it, or a proxy that wants a password, is the
  // answer: asking again would only collect the same 407.
  if (!PrepareProxySignIn()) return true;
  return SendAndReceive();
}

bool CWinHttpRequest::SendAndReceive() {
  const char* context = "CWinHttpRequest::SendRequest";
  if (!::WinHttpSendRequest(hRequest.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    ReportApiError("WinHttpSendRequest", context);
    return false;
  }
  if (!::WinHttpReceiveResponse(hRequest.get(), nullptr)) {
    ReportApiError("WinHttpReceiveResponse", context);
    return false;
  }
  return true;
}

bool CWinHttpRequest::PrepareProxySignIn() {
  const char* context = "CWinHttpRequest::SendRequest";
  DWORD supported = 0, first = 0, target = 0;
  if (!::WinHttpQueryAuthSchemes(hRequest.get(), &supported, &first, &target)) {
    ReportApiError("WinHttpQueryAuthSchemes", context);
    return false;
  }
  // Only these two sign in without a password; Basic and Digest would need one typed in.
  const DWORD scheme = (supported & WINHTTP_AUTH_SCHEME_NEGOTIATE) ? WINHTTP_AUTH_SCHEME_NEGOTIATE
                       : (supported & WINHTTP_AUTH_SCHEME_NTLM)    ? WINHTTP_AUTH_SCHEME_NTLM
                                                                   : 0;
  if (scheme == 0) {
    LOG_INFOW(L"ERR:the proxy to %ls asks for sign-in schemes 0x%x, none of them the logged-on user's", strHost.c_str(),
              static_cast<unsigned>(supported));
    return false;
  }
  // The policy lets the logged-on user's credentials go out on this request only, which now speaks to
  // the proxy that asked for them.
  DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
  if (!::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &policy, sizeof(policy))) {
    ReportApiError("WinHttpSetOption(AUTOLOGON_POLICY)", context);
    return false;
  }
  if (!::WinHttpSetCredentials(hRequest.get(), WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr, nullptr)) {
    ReportApiError("WinHttpSetCredentials", context);
    return false;
  }
  LOG_INFO("proxy asks for sign-in: answering with the logged-on user (%s)",
           scheme == WINHTTP_AUTH_SCHEME_NEGOTIATE ? "Negotiate" : "NTLM");
  return true;
}

bool CWinHttpRequest::GetUrlFileSize(long long& size) {
  if (!hRequest) return false;
  wchar_t text[64] = {};
  DWORD length = sizeof(text) - sizeof(wchar_t), index = 0;
  if (!::WinHttpQueryHeaders(hRequest.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &length,
                             &index)) {
    ReportApiError("WinHttpQueryHeaders", "CWinHttpRequest::GetUrlFileSize");
    return false;
  }
  long long value = 0;
  if (!ParseDecimal(text, LLONG_MAX, value)) {
    LOG_INFOW(L"ERR:Content-Length (%ls) is not a size", text);
    return false;
  }
  size = value;
  return true;
}

bool CWinHttpRequest::GetStatusCode(int& status) {
  if (!hRequest) return false;
  DWORD value = 0, length = sizeof(value), index = 0;
  if (!::WinHttpQueryHeaders(hRequest.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &value, &length, &index)) {
    ReportApiError("WinHttpQueryHeaders", "CWinHttpRequest::GetStatusCode");
    return false;
  }
  status = static_cast<int>(value);
  return true;
}

bool CWinHttpRequest::GetHeader(Header header, std::wstring& value) {
  if (!hRequest) return false;
  static const DWORD kQueries[] = {WINHTTP_QUERY_ETAG,     WINHTTP_QUERY_LAST_MODIFIED,    WINHTTP_QUERY_CONTENT_RANGE,
                                   WINHTTP_QUERY_LOCATION, WINHTTP_QUERY_CONTENT_ENCODING, WINHTTP_QUERY_DATE};
  const DWORD query = kQueries[static_cast<int>(header)];
  HINTERNET request = hRequest.get();
  return QueryText(
      [request, query](void* buffer, DWORD* bytes) {
        DWORD index = 0;
        return ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer, bytes, &index) != FALSE;
      },
      value);
}

int CWinHttpRequest::HttpRead(void* buffer, int capacity) {
  DWORD read = 0;
  if (!::WinHttpReadData(hRequest.get(), buffer, static_cast<DWORD>(capacity), &read)) {
    ReportApiError("WinHttpReadData", "CWinHttpRequest::HttpRead");
    return -1;
  }
  return static_cast<int>(read);
}
