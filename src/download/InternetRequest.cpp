#include <windows.h>
#include "download/WinInetApi.h"

#include <climits>

#include "log/Log.h"
#include "download/BaseRequest.h"
#include "base/TextHelper.h"

namespace {

const CRequestHandle::CloseCall kClose = &::InternetCloseHandle;

// Fresh copy every time, TLS, and none of WinINet's cookies or dialogs. Authentication stays on: it is
// how WinINet answers a proxy's 407 with the logged-on user (Negotiate, NTLM) where its zone rules allow;
// a proxy that wants a typed password leaves the 407 as the answer, since no dialog may open. Redirects
// are the request layer's: left to itself WinINet follows one from HTTPS to plain HTTP (the flag that
// sounds as if it refused them lets them through) and follows a loop without end.
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION |
                            INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;

}  // namespace

// WinINet offers no documented per-process choice of TLS versions: it takes the user's SecureProtocols
// setting (Internet Options, Advanced), which this program must not change as a side effect of a
// download. Where that setting lacks TLS 1.2, the WinHTTP backend, which asks for 1.2 itself, is the
// one that succeeds, and the downloader keeps to the backend that works.
bool CInternetRequest::OpenSession(bool) {
  hSession.reset(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), kClose);
  if (!hSession) {
    ReportApiError("InternetOpen", "CInternetRequest::OpenSession");
    return false;
  }
  return SetTimeouts(hSession.get());
}

// Set on the session and again on the request: Windows hands a session's bounds down to the handles
// made from it, Wine's WinINet reads them from the request handle only.
bool CInternetRequest::SetTimeouts(void* handle) {
  const DWORD options[][2] = {{INTERNET_OPTION_CONNECT_TIMEOUT, nConnectTimeoutMs},
                              {INTERNET_OPTION_SEND_TIMEOUT, nReceiveTimeoutMs},
                              {INTERNET_OPTION_RECEIVE_TIMEOUT, nReceiveTimeoutMs}};
  for (const auto& option : options) {
    DWORD milliseconds = option[1];
    if (!::InternetSetOptionW(handle, option[0], &milliseconds, sizeof(milliseconds))) {
      ReportApiError("InternetSetOption", "CInternetRequest::SetTimeouts");
      return false;
    }
  }
  return true;
}

bool CInternetRequest::ConnectSession(bool) {
  hConnect.reset(::InternetConnectW(hSession.get(), strHost.c_str(), nPort ? nPort : INTERNET_DEFAULT_HTTPS_PORT,
                                    nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0),
                 kClose);
  if (!hConnect) ReportApiError("InternetConnect", "CInternetRequest::ConnectSession");
  return static_cast<bool>(hConnect);
}

bool CInternetRequest::OpenRequest(bool) {
  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  hRequest.reset(::HttpOpenRequestW(hConnect.get(), strVerb.c_str(), strPath.c_str(), L"HTTP/1.1", nullptr, acceptTypes,
                                    kRequestFlags, 0),
                 kClose);
  if (!hRequest) {
    ReportApiError("HttpOpenRequest", "CInternetRequest::OpenRequest");
    return false;
  }
  return SetTimeouts(hRequest.get());
}

bool CInternetRequest::SendRequest() {
  const char* context = "CInternetRequest::SendRequest";
  if (!strHeaders.empty() && !::HttpAddRequestHeadersW(hRequest.get(), strHeaders.c_str(),
                                                       static_cast<DWORD>(strHeaders.size()), HTTP_ADDREQ_FLAG_ADD)) {
    ReportApiError("\"HttpAddRequestHeaders\"", context);
    return false;
  }
  if (!::HttpSendRequestW(hRequest.get(), nullptr, 0, nullptr, 0)) {
    ReportApiError("HttpSendRequest", context);
    return false;
  }
  return true;
}

bool CInternetRequest::GetUrlFileSize(long long& size) {
  if (!hRequest) return false;
  wchar_t text[260] = {};
  DWORD length = sizeof(text), index = 0;
  if (!::HttpQueryInfoW(hRequest.get(), HTTP_QUERY_CONTENT_LENGTH, text, &length, &index)) {
    ReportApiError("HttpQueryInfo", "CInternetRequest::GetUrlFileSize");
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

bool CInternetRequest::GetStatusCode(int& status) {
  if (!hRequest) return false;
  DWORD value = 0, length = sizeof(value), index = 0;
  if (!::HttpQueryInfoW(hRequest.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &length, &index)) {
    ReportApiError("HttpQueryInfo", "CInternetRequest::GetStatusCode");
    return false;
  }
  status = static_cast<int>(value);
  return true;
}

bool CInternetRequest::GetHeader(Header header, std::wstring& value) {
  if (!hRequest) return false;
  static const DWORD kQueries[] = {HTTP_QUERY_ETAG,     HTTP_QUERY_LAST_MODIFIED,    HTTP_QUERY_CONTENT_RANGE,
                                   HTTP_QUERY_LOCATION, HTTP_QUERY_CONTENT_ENCODING, HTTP_QUERY_DATE};
  const DWORD query = kQueries[static_cast<int>(header)];
  HINTERNET request = hRequest.get();
  return QueryText(
      [request, query](void* buffer, DWORD* bytes) {
        DWORD index = 0;
        return ::HttpQueryInfoW(request, query, buffer, bytes, &index) != FALSE;
      },
      value);
}

bool CInternetRequest::QueryAnsweredUrl(std::wstring& url) {
  HINTERNET request = hRequest.get();
  return QueryText(
      [request](void* buffer, DWORD* bytes) {
        return ::InternetQueryOptionW(request, INTERNET_OPTION_URL, buffer, bytes) != FALSE;
      },
      url);
}

int CInternetRequest::HttpRead(void* buffer, int capacity) {
  DWORD read = 0;
  if (!::InternetReadFile(hRequest.get(), buffer, static_cast<DWORD>(capacity), &read)) {
    ReportApiError("InternetReadFile", "CInternetRequest::HttpRead");
    return -1;
  }
  return static_cast<int>(read);
}
