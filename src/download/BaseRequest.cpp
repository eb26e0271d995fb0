#include "download/BaseRequest.h"

#include "download/WinInetApi.h"

#include <new>

#include "log/Log.h"
#include "download/ApiError.h"
#include "base/TextHelper.h"

void CRequestHandle::reset(void* handle, CloseCall close) {
  CloseNow();
  pClose = close;
  hHandle = handle;
}

void CRequestHandle::CloseNow() {
  const CloseCall close = pClose;
  void* handle = hHandle.exchange(nullptr);
  if (handle && close) close(handle);
}

void CBaseRequest::Cancel() {
  bCancelled = true;
  hRequest.CloseNow();
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

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  const size_t length = wcslen(prefix);
  return text.size() >= length && ::CompareStringOrdinal(text.c_str(), static_cast<int>(length), prefix,
                                                         static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

bool IsRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

bool CBaseRequest::ParseUrl(const std::wstring& url, UrlParts& parts) {
  size_t skip = 0;
  if (StartsWithNoCase(url, L"https://")) {
    parts.secure = true;
    skip = 8;
  } else if (StartsWithNoCase(url, L"http://")) {
    parts.secure = false;
    skip = 7;
  } else {
    LOG_INFOW(L"ERR:the address (%ls) is neither http:// nor https://", url.c_str());
    return false;
  }
  const size_t slash = url.find(L'/', skip);
  const std::wstring authority = url.substr(skip, slash == std::wstring::npos ? std::wstring::npos : slash - skip);
  if (authority.find(L'@') != std::wstring::npos) {
    LOG_INFOW(L"ERR:the address (%ls) carries a user name: refused", url.c_str());
    return false;
  }
  if (slash == std::wstring::npos || authority.find_first_of(L"?#") != std::wstring::npos) {
    LOG_INFOW(L"ERR:the address (%ls) has no path after its host", url.c_str());
    return false;
  }
  if (!SplitPort(authority, parts.host, parts.port) || parts.host.empty() || parts.host == L"[]") {
    LOG_INFOW(L"ERR:the address (%ls) has no usable host and port", url.c_str());
    return false;
  }
  parts.path = url.substr(slash + 1);
  return true;
}

bool CBaseRequest::SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path) {
  UrlParts parts;
  if (!ParseUrl(url, parts)) return false;
  host = parts.port ? parts.host + L":" + std::to_wstring(parts.port) : parts.host;
  path = parts.path;
  return true;
}

// An IPv6 literal keeps its brackets: its own colons are not a port, and the platform takes the
// bracketed form for the connection and the Host header alike.
bool CBaseRequest::SplitPort(const std::wstring& text, std::wstring& host, unsigned short& port) {
  const size_t close = text[0] == L'[' ? text.find(L']') : 0;
  if (close == std::wstring::npos) return false;
  size_t colon = text.find(L':', close);
  if (close > 0 && colon != std::wstring::npos && colon != close + 1) return false;
  if (close == 0) colon = text.rfind(L':');
  if (close > 0 && colon == std::wstring::npos && close + 1 != text.size()) return false;
  host = text.substr(0, colon);
  port = 0;
  if (colon == std::wstring::npos) return true;
  long long value = 0;
  if (!ParseDecimal(text.substr(colon + 1), 65535, value) || value == 0) return false;
  port = static_cast<unsigned short>(value);
  return true;
}

std::wstring CBaseRequest::ResolveLocation(const std::wstring& base, const std::wstring& location) {
  if (StartsWithNoCase(location, L"https://") || StartsWithNoCase(location, L"http://")) return location;
  const size_t scheme = base.find(L"://");
  if (scheme == std::wstring::npos) return location;
  if (location.compare(0, 2, L"//") == 0) return base.substr(0, scheme + 1) + location;
  const size_t root = base.find(L'/', scheme + 3);
  const std::wstring origin = base.substr(0, root);
  if (!location.empty() && location[0] == L'/') return origin + location;
  // A relative reference replaces the last segment of the path (its query goes with it).
  const std::wstring path = root == std::wstring::npos ? L"/" : base.substr(root, base.find(L'?', root) - root);
  return origin + path.substr(0, path.rfind(L'/') + 1) + location;
}

bool CBaseRequest::OpenUrl(const std::wstring& url) {
  bAnsweredOverTls = false;
  strAnsweredUrl.clear();
  std::wstring current = url;
  bool fromTls = false;
  for (int hop = 0;; ++hop) {
    UrlParts parts;
    if (!ParseUrl(current, parts)) return false;
    if (fromTls && !parts.secure) {
      LOG_INFOW(L"ERR:[%hs] refused a redirect from HTTPS to plain HTTP (%ls)", GetTypeName(), current.c_str());
      return false;
    }
    if (!OpenOnce(parts, fromTls)) return false;
    const std::wstring target = RedirectTarget();
    if (target.empty()) return true;
    if (hop >= kMaxRedirects) {
      LOG_INFOW(L"ERR:[%hs] more than %d redirects, the last to %ls", GetTypeName(), kMaxRedirects, target.c_str());
      return false;
    }
    LOG_INFOW(L"[%hs] redirected to %ls", GetTypeName(), target.c_str());
    fromTls = bAnsweredOverTls;
    current = ResolveLocation(strAnsweredUrl, target);
  }
}

// The URL's scheme decides nothing on a first request (a plain address may be reached over TLS); a
// redirect's target is asked over the scheme it names.
bool CBaseRequest::OpenOnce(const UrlParts& url, bool secureOnly) {
  const bool redirected = !strAnsweredUrl.empty();
  if (eSchemes != Schemes::kPlainOnly && (!redirected || url.secure) && OpenUrlImp(true, url)) {
    RecordAnswer(AttemptUrl(url, true));
    return bAnsweredOverTls;  // a secure attempt that plain HTTP answered is no answer at all
  }
  if (eSchemes == Schemes::kSecureOnly || secureOnly || (redirected && url.secure)) {
    LOG_INFO("ERR:[%s] HTTPS attempt failed; plain HTTP refused", GetTypeName());
    return false;
  }
  if (UsesTls(false) && eSchemes == Schemes::kPlainOnly) {
    LOG_INFO("ERR:[%s] speaks TLS only; this download is plain HTTP", GetTypeName());
    return false;
  }
  if (!OpenUrlImp(false, url)) return false;
  RecordAnswer(AttemptUrl(url, UsesTls(false)));
  return true;
}

std::wstring CBaseRequest::AttemptUrl(const UrlParts& url, bool tls) {
  return std::wstring(tls ? L"https://" : L"http://") +
         (url.port ? url.host + L":" + std::to_wstring(url.port) : url.host) + L"/" + url.path;
}

// Both platforms can name the URL that answered; when that URL's scheme is not the attempt's (a
// platform that followed a redirect after all), the platform's word counts.
void CBaseRequest::RecordAnswer(const std::wstring& attempted) {
  std::wstring answered;
  if (!QueryAnsweredUrl(answered) || answered.empty()) answered = attempted;
  strAnsweredUrl = answered;
  bAnsweredOverTls = StartsWithNoCase(answered, L"https://");
  if (bAnsweredOverTls != StartsWithNoCase(attempted, L"https://")) {
    LOG_INFOW(L"ERR:[%hs] asked %ls, answered by %ls", GetTypeName(), attempted.c_str(), answered.c_str());
  }
}

std::wstring CBaseRequest::RedirectTarget() {
  int status = 0;
  std::wstring location;
  if (!GetStatusCode(status) || !IsRedirectStatus(status)) return std::wstring();
  if (!GetHeader(Header::kLocation, location) || location.empty()) return std::wstring();
  return location;
}

// An object used again (the next piece of a download) keeps its session and connection when the last
// exchange answered over the same scheme from the same host: the platform then sends the request on
// the connection the last answer came on, without a new connect and TLS handshake.
bool CBaseRequest::OpenUrlImp(bool secure, const UrlParts& url) {
  const bool keep =
      bSessionAnswered && hConnect && secure == bSessionSecure && url.host == strHost && url.port == nPort;
  bSessionAnswered = false;
  if (keep) {
    hRequest.reset();
  } else {
    CloseHandles();  // a second attempt starts from nothing
  }
  strPath = url.path;
  strHost = url.host;
  nPort = url.port;
  bSessionSecure = secure;
  if (bCancelled || (!keep && !OpenSession(secure))) return false;
  if (!keep && nMaxConnsPerServer != 0) {
    // Process-wide, whichever backend this is, so that every range can reach the server at once.
    InternetSetOpt(INTERNET_OPTION_MAX_CONNS_PER_SERVER, static_cast<DWORD>(nMaxConnsPerServer));
    InternetSetOpt(INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, static_cast<DWORD>(nMaxConnsPerServer));
  }
  bSessionAnswered = (keep || ConnectSession(secure)) && OpenRequest(secure) && !bCancelled && SendRequest();
  return bSessionAnswered;
}

void CBaseRequest::CloseHandles() {
  hRequest.reset();
  hConnect.reset();
  hSession.reset();
}
