#pragma once

// The size query: what the server says about the one file a download fetches, asked before any range.
// Every request of it runs under the engine's own answer bound (AttemptWatch.h).

#include <string>

#include "download/AttemptWatch.h"

// What the size query learnt about the file.
struct RemoteFile {
  long long nSize = 0;    // CRangePlan::kUnknownSize when no answer named it
  bool bOverTls = false;  // the scheme every range must use
  std::wstring strETag;   // as the server wrote them; empty when not given
  std::wstring strLastModified;
  std::wstring strDate;  // the answer's own date, which tells whether Last-Modified is strong
  // What If-Range carries and every range must match: a strong Last-Modified (the same bytes on every
  // node of a server farm, where each node may name its own ETag), else a strong ETag, else
  // Last-Modified, else nothing.
  std::wstring Validator() const;
  bool ValidatorIsETag() const { return !Validator().empty() && Validator() == strETag; }
};

enum class SizeQuery { kAnswered, kFailed, kProxyAuth };

// WinHTTP with HEAD first, then WinINet with GET (whose body is never read); a size no answer names is
// asked of a one-byte range. With `secureOnly` no request falls back to plain HTTP.
SizeQuery QueryRemoteFile(const std::wstring& url, bool secureOnly, const CAttemptWatch::Limits& limits,
                          RemoteFile& file);

// "bytes START-END/TOTAL" exactly; false for anything else ("*" totals included).
bool ParseContentRange(const std::wstring& text, long long& start, long long& end, long long& total);

// Whether an HTTP date names a moment at least a minute before another: a Last-Modified that old at
// the time of the answer is a strong validator. False when either cannot be read.
bool IsStrongDate(const std::wstring& lastModified, const std::wstring& date);
