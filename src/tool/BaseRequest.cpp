#include "tool/BaseRequest.h"

#include "tool/WinInetApi.h"

#include <new>

#include "log/Log.h"
#include "stdafx.h"
#include "tool/TextHelper.h"

void CRequestHandle::reset(void* handle, CloseCall close) {
  if (hHandle && pClose) pClose(hHandle);
  hHandle = handle;
  pClose = close;
}

void CBaseRequest::ReportApiError(const char* apiName, const char* context) {
  DWORD error = ::GetLastError();
  ShowApiError(apiName, error, ::GetModuleHandleW(L"wininet.dll"), context);
}

std::unique_ptr<CBaseRequest> CBaseRequest::CreateInstance(int type) {
  switch (type) {
    case kWinHttp:
      return std::unique_ptr<CBaseRequest>(new (std::nothrow) CWinHttpRequest());
    case kInternet:
      return std::unique_ptr<CBaseRequest>(new (std::nothrow) CInternetRequest());
    default:
      SETUP_ASSERT_MSG(false, "ERR:un support type %d", type);
      return nullptr;
  }
}

bool CBaseRequest::QueryInternetOpt(DWORD option, std::string& value) {
  DWORD length = 0;
  if (::InternetQueryOptionW(nullptr, option, nullptr, &length)) return false;
  // Some WinINet builds (Wine's) refuse the sizing call without naming a length for the 32-bit
  // options; the connection limits this program sets are such options.
  if (length == 0) length = sizeof(DWORD);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[length ? length : 1]);
  if (!buffer) {
    LOG_INFO("ERR: new %d bytes fail!", static_cast<int>(length));
    return false;
  }
  if (!::InternetQueryOptionW(nullptr, option, buffer.get(), &length)) {
    LOG_INFO("ERR: InternetQueryOption fail! 0x%x", static_cast<unsigned>(::GetLastError()));
    return false;
  }
  value.assign(buffer.get(), length);
  return true;
}

namespace {
bool OptionHolds(DWORD option, DWORD value) {
  std::string current;
  return CBaseRequest::QueryInternetOpt(option, current) && current.size() >= sizeof(DWORD) &&
         *reinterpret_cast<const DWORD*>(current.data()) == value;
}
}  // namespace

bool CBaseRequest::InternetSetOpt(DWORD option, DWORD value) {
  if (OptionHolds(option, value)) return true;
  if (!::InternetSetOptionW(nullptr, option, &value, sizeof(value))) {
    LOG_INFO("ERR: InternetSetOption fail! 0x%x", static_cast<unsigned>(::GetLastError()));
    return false;
  }
  return OptionHolds(option, value);
}

bool CBaseRequest::SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path) {
  std::wstring rest;
  if (url.find(L"http://") != std::wstring::npos) {
    rest = url.substr(7);
  } else if (url.find(L"https://") != std::wstring::npos) {
    rest = url.substr(8);
  } else {
    return false;
  }
  size_t slash = rest.find(L'/');
  if (slash == std::wstring::npos) return false;
  path = rest.substr(slash + 1);
  host = rest.substr(0, slash);
  return true;
}

bool CBaseRequest::SplitPort(const std::wstring& text, std::wstring& host, unsigned short& port) {
  size_t colon = text.rfind(L':');
  host = text.substr(0, colon);
  port = 0;
  if (colon == std::wstring::npos) return true;
  long long value = 0;
  if (!ParseDecimal(text.substr(colon + 1), 65535, value) || value == 0) return false;
  port = static_cast<unsigned short>(value);
  return true;
}

bool CBaseRequest::OpenUrl(const std::wstring& url) {
  std::wstring host, path;
  bAnsweredOverTls = false;
  if (!SplitUrl(url, host, path)) return false;
  if (eSchemes != Schemes::kPlainOnly && OpenUrlImp(true, host, path)) {
    bAnsweredOverTls = true;
    return true;
  }
  if (eSchemes == Schemes::kSecureOnly) {
    LOG_INFO("ERR:[%s] HTTPS attempt failed; plain HTTP refused: the payload is unpinned", GetTypeName());
    return false;
  }
  if (eSchemes == Schemes::kPlainOnly && UsesTls(false)) {
    LOG_INFO("ERR:[%s] speaks TLS only; this download is plain HTTP", GetTypeName());
    return false;
  }
  if (!OpenUrlImp(false, host, path)) return false;
  bAnsweredOverTls = UsesTls(false);
  return true;
}

bool CBaseRequest::OpenUrlImp(bool secure, const std::wstring& host, const std::wstring& path) {
  CloseHandles();  // a second attempt starts from nothing
  strPath = path;
  if (!SplitPort(host, strHost, nPort)) {
    LOG_INFOW(L"ERR:no port in (%ls)", host.c_str());
    return false;
  }
  if (!OpenSession(secure)) return false;
  if (nMaxConnsPerServer != 0) {
    // Process-wide, whichever backend this is, so that every range can reach the server at once.
    InternetSetOpt(INTERNET_OPTION_MAX_CONNS_PER_SERVER, static_cast<DWORD>(nMaxConnsPerServer));
    InternetSetOpt(INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, static_cast<DWORD>(nMaxConnsPerServer));
  }
  return ConnectSession(secure) && OpenRequest(secure) && SendRequest();
}

void CBaseRequest::CloseHandles() {
  hRequest.reset();
  hConnect.reset();
  hSession.reset();
}
