#include <windows.h>
#include <winhttp.h>

#include <climits>

#include "log/Log.h"
#include "tool/BaseRequest.h"

namespace {
const CRequestHandle::CloseCall kClose = &::WinHttpCloseHandle;
}

bool CWinHttpRequest::OpenSession() {
  DWORD access = IsUseProxyConnect() ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY;
  hSession.reset(::WinHttpOpen(nullptr, access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0), kClose);
  if (!hSession) {
    ReportApiError("WinHttpOpen", "CWinHttpRequest::OpenSession");
    return false;
  }
  const int connect = static_cast<int>(nConnectTimeoutMs), receive = static_cast<int>(nReceiveTimeoutMs);
  // Name resolution keeps the platform's bound (none); sending a request is bounded like receiving.
  if (!::WinHttpSetTimeouts(hSession.get(), 0, connect, receive, receive)) {
    ReportApiError("WinHttpSetTimeouts", "CWinHttpRequest::OpenSession");
    return false;
  }
  return true;
}

bool CWinHttpRequest::ConnectSession(bool secure) {
  INTERNET_PORT port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  hConnect.reset(::WinHttpConnect(hSession.get(), strHost.c_str(), port, 0), kClose);
  if (!hConnect) ReportApiError("WinHttpConnect", "CWinHttpRequest::ConnectSession");
  return static_cast<bool>(hConnect);
}

bool CWinHttpRequest::OpenRequest(bool secure) {
  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  DWORD flags = secure ? (WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH) : WINHTTP_FLAG_REFRESH;
  hRequest.reset(::WinHttpOpenRequest(hConnect.get(), strVerb.c_str(), strPath.c_str(), L"HTTP/1.1",
                                      WINHTTP_NO_REFERER, acceptTypes, flags),
                 kClose);
  if (!hRequest) ReportApiError("WinHttpOpenRequest", "CWinHttpRequest::OpenRequest");
  return static_cast<bool>(hRequest);
}

bool CWinHttpRequest::SendRequest() {
  const char* context = "CWinHttpRequest::SendRequest";
  if (!strHeaders.empty() && !::WinHttpAddRequestHeaders(hRequest.get(), strHeaders.c_str(),
                                                         static_cast<DWORD>(strHeaders.size()),
                                                         WINHTTP_ADDREQ_FLAG_ADD)) {
    ReportApiError("WinHttpAddRequestHeaders", context);
    return false;
  }
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

bool CWinHttpRequest::GetUrlFileSize(int& size) {
  if (!hRequest) return false;
  DWORD value = 0, length = sizeof(value), index = 0;
  if (!::WinHttpQueryHeaders(hRequest.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &value, &length, &index)) {
    ReportApiError("WinHttpQueryHeaders", "CWinHttpRequest::GetUrlFileSize");
    return false;
  }
  if (value > static_cast<DWORD>(INT_MAX)) {
    LOG_INFO("ERR:Content-Length %u is too large", static_cast<unsigned>(value));
    return false;
  }
  size = static_cast<int>(value);
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
  const DWORD query = header == Header::kETag           ? WINHTTP_QUERY_ETAG
                      : header == Header::kLastModified ? WINHTTP_QUERY_LAST_MODIFIED
                                                        : WINHTTP_QUERY_CONTENT_RANGE;
  wchar_t text[512] = {};
  DWORD length = sizeof(text) - sizeof(wchar_t), index = 0;
  if (!::WinHttpQueryHeaders(hRequest.get(), query, WINHTTP_HEADER_NAME_BY_INDEX, text, &length, &index)) {
    return false;
  }
  value = text;
  return true;
}

int CWinHttpRequest::HttpRead(void* buffer, int capacity) {
  DWORD read = 0;
  if (!::WinHttpReadData(hRequest.get(), buffer, static_cast<DWORD>(capacity), &read)) {
    ReportApiError("WinHttpReadData", "CWinHttpRequest::HttpRead");
    return -1;
  }
  return static_cast<int>(read);
}
