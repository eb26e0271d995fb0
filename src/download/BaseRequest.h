#pragma once

// One HTTP exchange against one URL, over WinHTTP (CWinHttpRequest) or WinINet (CInternetRequest).
// Use: create, optionally set strVerb, strHeaders and nMaxConnsPerServer, OpenUrl, then either
// GetUrlFileSize once or HttpRead until it returns 0 or -1, then destroy, or OpenUrl again for the next
// exchange (which goes on the same connection when it can). No status code is judged
// here: success means the platform calls succeeded. Every failed platform call is logged through
// ShowApiError. An object belongs to the thread that uses it.
//
// winhttp.h and wininet.h cannot be included together, so this header names neither and each backend
// lives in a file of its own.

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

// A WinHTTP or WinINet handle, closed with the call of the library that opened it.
class CRequestHandle {
 public:
  using CloseCall = BOOL(WINAPI*)(void*);

  CRequestHandle() = default;
  ~CRequestHandle() { reset(); }
  CRequestHandle(const CRequestHandle&) = delete;
  CRequestHandle& operator=(const CRequestHandle&) = delete;

  void* get() const { return hHandle; }
  explicit operator bool() const { return hHandle != nullptr; }
  // Closes the current handle, then takes `handle`, to be closed later with `close`.
  void reset(void* handle = nullptr, CloseCall close = nullptr);
  // Closes the handle from another thread while a call on it may be waiting (which ends the wait on
  // Windows); the handle is closed once, whichever of the two threads gets to it.
  void CloseNow();

 private:
  std::atomic<void*> hHandle{nullptr};
  std::atomic<CloseCall> pClose{nullptr};
};

class CBaseRequest {
 public:
  enum Type { kWinHttp = 0, kInternet = 1 };

  // Both platforms wait 60 s for a connection and 30 s (WinHTTP) or longer (WinINet) for each answer
  // byte. A host that does not accept within 15 s is, in practice, behind a firewall that drops the
  // packets; and a connection silent for 20 s has outlasted any TCP retransmission gap of a lossy link
  // and is abandoned, so the downloader can resume elsewhere.
  static constexpr DWORD kDefaultConnectTimeoutMs = 15000;
  static constexpr DWORD kDefaultReceiveTimeoutMs = 20000;

  // Closes the request, the connection and the session, in this order.
  virtual ~CBaseRequest() = default;

  // From another thread: the exchange is given up. Closing the request handle ends a wait in the
  // platform's calls on Windows; no further step of OpenUrl starts.
  void Cancel();

  // A new request of backend `type`; null (after the assertion box) for an unknown type, or when
  // memory runs out.
  static std::unique_ptr<CBaseRequest> CreateInstance(int type);

  // Process-wide WinINet options. QueryInternetOpt hands back the option's raw bytes; InternetSetOpt
  // sets a 32-bit option unless it already holds `value`, and is true only when it reads back `value`.
  [[nodiscard]] static bool QueryInternetOpt(DWORD option, std::string& value);
  static bool InternetSetOpt(DWORD option, DWORD value);

  // What an absolute http or https URL names. `host` is a name, an IPv4 address or a bracketed IPv6
  // address ("[::1]"); `port` is 0 when the URL names none; `path` has no leading slash and keeps its
  // query.
  struct UrlParts {
    bool secure = false;
    std::wstring host;
    unsigned short port = 0;
    std::wstring path;
  };
  // Takes the scheme as a case-insensitive prefix, then the authority up to the first "/". False, with
  // a log line that says why, for any other scheme, a user name or password in the URL, an empty host,
  // a port that is not 1 to 65535, or no "/" after the host.
  [[nodiscard]] static bool ParseUrl(const std::wstring& url, UrlParts& parts);
  // ParseUrl's host and path, the host followed by ":port" when the URL names one.
  [[nodiscard]] static bool SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path);
  // "name:port" or "[v6]:port" into the host and the port (0 when there is none); false for a port
  // that is not a number from 1 to 65535, or an unclosed bracket.
  [[nodiscard]] static bool SplitPort(const std::wstring& text, std::wstring& host, unsigned short& port);
  // The absolute URL a redirect's Location names, read against the URL that was asked for.
  static std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location);

  // Redirects are followed here, not by the platform, so that both backends refuse the same ones: a
  // redirect from HTTPS to plain HTTP, and more than this many hops.
  static constexpr int kMaxRedirects = 8;

  // Which attempts OpenUrl may make. kSecureThenPlain is the long-standing pair; kSecureOnly never
  // lets a failed TLS attempt (refused, reset, or a certificate the platform rejects) become plain
  // HTTP; kPlainOnly keeps a download that began over plain HTTP there.
  enum class Schemes { kSecureThenPlain, kSecureOnly, kPlainOnly };

  // The exchange up to the answer's headers, with the attempts eSchemes allows and the redirects it
  // may follow; afterwards strAnsweredUrl names what answered and bAnsweredOverTls its scheme.
  [[nodiscard]] bool OpenUrl(const std::wstring& url);
  // One attempt: session, connection limits, connection, request, send. A ":port" after the host
  // goes to nPort.
  [[nodiscard]] bool OpenUrlImp(bool secure, const UrlParts& url);

  // "WinHttp" or "Internet", for log lines.
  virtual const char* GetTypeName() const = 0;
  // The answer's Content-Length, read as text: a numeric query is 32-bit and saturates. False without a
  // request, without the header, or when it is not a number from 0 to 2^63-1.
  [[nodiscard]] virtual bool GetUrlFileSize(long long& size) = 0;
  // The answer's HTTP status code; false without an answer.
  [[nodiscard]] virtual bool GetStatusCode(int& status) = 0;
  // An answer header that may be missing; false without an answer or without the header (not logged:
  // a missing validator is an ordinary answer).
  enum class Header { kETag, kLastModified, kContentRange, kLocation, kContentEncoding, kDate };
  [[nodiscard]] virtual bool GetHeader(Header header, std::wstring& value) = 0;
  // Reads up to `capacity` bytes of the body: the count read, 0 at its end, -1 on failure.
  virtual int HttpRead(void* buffer, int capacity) = 0;

  std::wstring strVerb = L"GET";
  std::wstring strHeaders;  // extra request headers, added as they stand
  std::wstring strPath;     // object path, without its leading slash
  std::wstring strHost;     // host name, without a port
  // The port the URL names after the host; 0 when it names none and the attempt's scheme decides.
  unsigned short nPort = 0;
  int nMaxConnsPerServer = 0;  // when not 0, raises WinINet's process-wide connection limits to it
  // Both backends get the same bounds, so that a dead or silent connection ends the same way
  // whichever backend holds it. The receive bound applies to every wait for answer bytes: the
  // headers and each read.
  DWORD nConnectTimeoutMs = kDefaultConnectTimeoutMs;
  DWORD nReceiveTimeoutMs = kDefaultReceiveTimeoutMs;
  // From the request's start to its answer's headers, TLS handshake included, where the platform can
  // bound that (WinHTTP); the engine keeps the same bound itself on both backends.
  DWORD nAnswerTimeoutMs = 30000;
  Schemes eSchemes = Schemes::kSecureThenPlain;
  bool bAnsweredOverTls = false;  // set by a successful OpenUrl
  std::wstring strAnsweredUrl;    // set by a successful OpenUrl: the URL whose answer this is

 protected:
  // `secure` tells which scheme the session will carry, which may decide the proxy.
  virtual bool OpenSession(bool secure) = 0;
  virtual bool ConnectSession(bool secure) = 0;
  virtual bool OpenRequest(bool secure) = 0;
  // Adds strHeaders, sends, and waits for the answer's headers. A proxy's 407 that signing in with the
  // logged-on user does not settle is an answer like any other (GetStatusCode gives 407).
  virtual bool SendRequest() = 0;
  // strHost with ":nPort" when the URL named a port.
  std::wstring HostAndPort() const { return nPort ? strHost + L":" + std::to_wstring(nPort) : strHost; }
  // Whether an attempt with this secure flag talks TLS.
  virtual bool UsesTls(bool secure) const { return secure; }
  // The URL the platform says answered (WINHTTP_OPTION_URL, INTERNET_OPTION_URL); false when it
  // cannot say.
  virtual bool QueryAnsweredUrl(std::wstring& url) = 0;

  // A text both platforms hand out through `query(buffer, &bytes)`, which names the size it needs when
  // the buffer is too small. A first buffer of 1024 characters holds nearly every header and URL;
  // Windows would also size a null buffer, but Wine's WinINet leaves the size at 0 for the URL.
  template <typename Query>
  static bool QueryText(Query query, std::wstring& text) {
    std::wstring buffer(1024, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!query(&buffer[0], &bytes)) {
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes <= buffer.size() * sizeof(wchar_t)) return false;
      buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
      if (!query(&buffer[0], &bytes)) return false;
    }
    text = buffer.substr(0, buffer.find(L'\0'));
    return true;
  }

  // Logs the failed platform call `apiName` with GetLastError() and the text WinINet holds for it
  // (both libraries share the error numbers); `context` names the class and operation.
  static void ReportApiError(const char* apiName, const char* context);

  std::atomic<bool> bCancelled{false};
  // Declared after the strings and in this order, so the request closes first and the strings go last.
  CRequestHandle hSession;
  CRequestHandle hConnect;
  CRequestHandle hRequest;

 private:
  void CloseHandles();
  // What the session and connection were opened for, and whether their last request was answered.
  bool bSessionSecure = false;
  bool bSessionAnswered = false;
  // The attempts eSchemes allows for one URL; `secureOnly` when a redirect came from HTTPS.
  bool OpenOnce(const UrlParts& url, bool secureOnly);
  // After an answer: the Location of a redirect status, else empty.
  std::wstring RedirectTarget();
  // The URL one attempt asks for: its scheme is the attempt's, whatever the address said.
  static std::wstring AttemptUrl(const UrlParts& url, bool tls);
  // Which URL answered and over which scheme, from the platform's own word where it has one.
  void RecordAnswer(const std::wstring& attempted);
};

class CWinHttpRequest : public CBaseRequest {
 public:
  const char* GetTypeName() const override { return "WinHttp"; }
  bool GetUrlFileSize(long long& size) override;
  bool GetStatusCode(int& status) override;
  bool GetHeader(Header header, std::wstring& value) override;
  int HttpRead(void* buffer, int capacity) override;

 protected:
  // The route CProxyResolver gives for the host, TLS 1.2 and 1.3, the time-out bounds.
  bool OpenSession(bool secure) override;
  // nPort, else 443 when secure and 80 when not.
  bool ConnectSession(bool secure) override;
  bool OpenRequest(bool secure) override;
  bool SendRequest() override;
  bool QueryAnsweredUrl(std::wstring& url) override;

 private:
  bool OpenSessionHandle(bool secure);
  void EnableModernTls();
  bool SendAndReceive();
  // After a 407: the logged-on user's sign-in for Negotiate or NTLM; false when the proxy offers
  // neither or the platform refuses.
  bool PrepareProxySignIn();
};

class CInternetRequest : public CBaseRequest {
 public:
  const char* GetTypeName() const override { return "Internet"; }
  bool GetUrlFileSize(long long& size) override;
  bool GetStatusCode(int& status) override;
  bool GetHeader(Header header, std::wstring& value) override;
  int HttpRead(void* buffer, int capacity) override;

 protected:
  // The user's preconfigured settings, automatic proxy configuration included.
  bool OpenSession(bool secure) override;
  // Always TLS, whatever the secure flag says; nPort, else 443.
  bool ConnectSession(bool secure) override;
  bool OpenRequest(bool secure) override;
  bool SendRequest() override;
  bool UsesTls(bool) const override { return true; }
  bool QueryAnsweredUrl(std::wstring& url) override;

 private:
  bool SetTimeouts(void* handle);
};
