#include "download/RemoteFile.h"

#include <climits>
#include <cstdio>
#include <cwchar>
#include <memory>

#include "download/RangePlan.h"
#include "log/Log.h"
#include "download/BaseRequest.h"
#include "base/TextHelper.h"

namespace {

bool IsWeakETag(const std::wstring& etag) { return etag.compare(0, 2, L"W/") == 0; }

void ReadValidators(CBaseRequest& request, RemoteFile& file) {
  if (!request.GetHeader(CBaseRequest::Header::kETag, file.strETag)) file.strETag.clear();
  if (!request.GetHeader(CBaseRequest::Header::kLastModified, file.strLastModified)) file.strLastModified.clear();
  if (!request.GetHeader(CBaseRequest::Header::kDate, file.strDate)) file.strDate.clear();
}

// Only a 200 describes the file: an error page's or a proxy's answer has a length of its own. A 200
// without a length leaves the size unknown for the Range probe.
SizeQuery ReadSizeAnswer(CBaseRequest& request, RemoteFile& file) {
  int status = 0;
  if (!request.GetStatusCode(status)) return SizeQuery::kFailed;
  if (status != 200) {
    LOG_INFO("ERR:[%s] size query answered HTTP status %d", request.GetTypeName(), status);
    return status == 407 ? SizeQuery::kProxyAuth : SizeQuery::kFailed;
  }
  file.bOverTls = request.bAnsweredOverTls;
  ReadValidators(request, file);
  if (!request.GetUrlFileSize(file.nSize)) {
    LOG_INFO("[%s] the size query's answer names no length", request.GetTypeName());
    file.nSize = CRangePlan::kUnknownSize;
  }
  return SizeQuery::kAnswered;
}

// One request of the query, on a thread the answer bound watches. Its result lives in what the step
// owns, so that a request given up on can still end on its own later.
struct Exchange {
  std::shared_ptr<CBaseRequest> request;
  RemoteFile file;
  SizeQuery result = SizeQuery::kFailed;
  std::wstring detail;  // what the log line about the answer quotes
};

template <typename Step>
bool RunWatched(const std::shared_ptr<Exchange>& exchange, const CAttemptWatch::Limits& limits, Step step) {
  std::shared_ptr<CBaseRequest> request = exchange->request;
  request->nAnswerTimeoutMs = limits.nAnswerMs;
  const CAttemptWatch::End end = CAttemptWatch::RunUntilAnswered([exchange, step] { step(*exchange); },
                                                                 [request] { request->Cancel(); }, limits.nAnswerMs);
  if (end == CAttemptWatch::End::kFinished) return true;
  LOG_INFO("ERR:[%s] size query: %s within %u ms", exchange->request->GetTypeName(), CAttemptWatch::Describe(end),
           static_cast<unsigned>(limits.nAnswerMs));
  return false;
}

std::shared_ptr<Exchange> NewExchange(int type) {
  auto exchange = std::make_shared<Exchange>();
  exchange->request = CBaseRequest::CreateInstance(type);
  return exchange->request ? exchange : nullptr;
}

SizeQuery QueryWith(int type, const std::wstring& url, bool secureOnly, const CAttemptWatch::Limits& limits,
                    RemoteFile& file) {
  std::shared_ptr<Exchange> exchange = NewExchange(type);
  if (!exchange) return SizeQuery::kFailed;
  if (type == CBaseRequest::kWinHttp) exchange->request->strVerb = L"HEAD";
  if (secureOnly) exchange->request->eSchemes = CBaseRequest::Schemes::kSecureOnly;
  const bool ended = RunWatched(exchange, limits, [url](Exchange& e) {
    e.result = e.request->OpenUrl(url) ? ReadSizeAnswer(*e.request, e.file) : SizeQuery::kFailed;
  });
  if (!ended) return SizeQuery::kFailed;
  if (exchange->result == SizeQuery::kAnswered) file = exchange->file;
  return exchange->result;
}

// A server that streams its answers without a length may still name the total in a range answer.
// The probe goes to the backend and scheme that answered the query.
void ProbeSizeWithRange(int type, const std::wstring& url, const CAttemptWatch::Limits& limits, RemoteFile& file) {
  std::shared_ptr<Exchange> exchange = NewExchange(type);
  if (!exchange) return;
  exchange->request->strHeaders = L"Range:bytes=0-0";
  exchange->request->eSchemes = file.bOverTls ? CBaseRequest::Schemes::kSecureOnly : CBaseRequest::Schemes::kPlainOnly;
  const bool ended = RunWatched(exchange, limits, [url](Exchange& e) {
    int status = 0;
    long long start = 0, end = 0, total = 0;
    std::wstring range;
    if (e.request->OpenUrl(url) && e.request->GetStatusCode(status) && status == 206 &&
        e.request->GetHeader(CBaseRequest::Header::kContentRange, range) &&
        ParseContentRange(range, start, end, total) && start == 0 && end == 0) {
      e.file.nSize = total;
      e.detail = range;
      e.result = SizeQuery::kAnswered;
    }
  });
  if (ended && exchange->result == SizeQuery::kAnswered) {
    LOG_INFOW(L"the size comes from a range answer: %lld bytes (%ls)", exchange->file.nSize, exchange->detail.c_str());
    file.nSize = exchange->file.nSize;
    return;
  }
  LOG_INFO("the server names no size: the file comes as one stream, and the space check cannot count it");
}

int MonthOf(const wchar_t* name) {
  static const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                           L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
  for (int i = 0; i < 12; ++i)
    if (std::wcscmp(name, kMonths[i]) == 0) return i + 1;
  return 0;
}

// Seconds since 1601 of an IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"), the form servers send.
bool SecondsOfHttpDate(const std::wstring& text, long long& seconds) {
  wchar_t weekday[4] = {}, month[4] = {};
  SYSTEMTIME time = {};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (swscanf(text.c_str(), L"%3ls, %d %3ls %d %d:%d:%d GMT", weekday, &day, month, &year, &hour, &minute, &second) !=
          7 ||
      MonthOf(month) == 0) {
    return false;
  }
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(MonthOf(month));
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  FILETIME file = {};
  if (!::SystemTimeToFileTime(&time, &file)) return false;
  seconds = ((static_cast<long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime) / 10000000;
  return true;
}

}  // namespace

std::wstring RemoteFile::Validator() const {
  if (!strLastModified.empty() && IsStrongDate(strLastModified, strDate)) return strLastModified;
  if (!strETag.empty() && !IsWeakETag(strETag)) return strETag;
  return strLastModified;
}

bool IsStrongDate(const std::wstring& lastModified, const std::wstring& date) {
  long long modified = 0, answered = 0;
  return SecondsOfHttpDate(lastModified, modified) && SecondsOfHttpDate(date, answered) && answered - modified >= 60;
}

SizeQuery QueryRemoteFile(const std::wstring& url, bool secureOnly, const CAttemptWatch::Limits& limits,
                          RemoteFile& file) {
  int type = CBaseRequest::kWinHttp;
  SizeQuery result = QueryWith(type, url, secureOnly, limits, file);
  if (result != SizeQuery::kAnswered) {
    type = CBaseRequest::kInternet;
    const SizeQuery second = QueryWith(type, url, secureOnly, limits, file);
    if (second == SizeQuery::kAnswered || result != SizeQuery::kProxyAuth) result = second;
  }
  if (result != SizeQuery::kAnswered) return result;
  if (file.nSize == CRangePlan::kUnknownSize) ProbeSizeWithRange(type, url, limits, file);
  if (file.nSize == 0) {
    LOG_INFO("ERR:the remote file is empty");
    return SizeQuery::kFailed;
  }
  return SizeQuery::kAnswered;
}

bool ParseContentRange(const std::wstring& text, long long& start, long long& end, long long& total) {
  const std::wstring unit = L"bytes ";
  if (text.compare(0, unit.size(), unit) != 0) return false;
  const size_t dash = text.find(L'-', unit.size());
  const size_t slash = text.find(L'/', dash == std::wstring::npos ? unit.size() : dash);
  if (dash == std::wstring::npos || slash == std::wstring::npos) return false;
  long long first = 0, last = 0, size = 0;
  if (!ParseDecimal(text.substr(unit.size(), dash - unit.size()), LLONG_MAX, first) ||
      !ParseDecimal(text.substr(dash + 1, slash - dash - 1), LLONG_MAX, last) ||
      !ParseDecimal(text.substr(slash + 1), LLONG_MAX, size) || first > last || last >= size) {
    return false;
  }
  start = first;
  end = last;
  total = size;
  return true;
}
