// One attempt of a range: its request, on a thread the engine watches, and its answer, judged before
// a byte of it is written at its offset.

#include "download/HttpDownload.h"

#include <climits>
#include <mutex>
#include <new>

#include "log/Log.h"
#include "download/BaseRequest.h"

namespace {

// A server whose file changed since the size query answers with the whole new file instead of the
// range, so a stale range is refused by the server as well as by the checks here.
std::wstring WithValidator(std::wstring headers, const std::wstring& validator) {
  if (!validator.empty()) headers += L"\r\nIf-Range: " + validator;
  return headers;
}

}  // namespace

// What is still missing of the range. A download whose size is unknown asks for the whole file first
// and, after a cut, for everything from the first missing byte on.
std::wstring CHttpDownload::RequestHeaders(int index) {
  long long next = 0, end = 0;
  {
    Scoped::LeaveCriticalSection hold(csFile);
    next = pPlan->Next(index);
    end = pPlan->End(index);
  }
  if (next == 0 && end == CRangePlan::kOpenEnd) return L"";
  return WithValidator(RangeHeader(next, end), remote.Validator());
}

struct CHttpDownload::AttemptLink {
  AttemptLink(CHttpDownload* download, int range) : owner(download), index(range) {}
  std::mutex lock;
  CHttpDownload* owner;  // null once the range thread has given the attempt up
  int index;
  Attempt outcome;
};

CAttemptWatch::Limits CHttpDownload::WatchLimits() const {
  CAttemptWatch::Limits limits;
  limits.nAnswerMs = retry.nAnswerMs;
  limits.nStallMs = retry.nStallMs;
  limits.nRateWindowMs = retry.nRateWindowMs;
  limits.nMinWindowBytes = retry.nMinWindowBytes;
  return limits;
}

// An answer that is not this range of this file never becomes part of the file, even when its body
// happens to be as long as the range. The exchange runs under the engine's own bounds; an attempt that
// overruns them is given up, keeping what it wrote.
CHttpDownload::Attempt CHttpDownload::RunAttempt(const std::shared_ptr<CBaseRequest>& request, int index) {
  request->nMaxConnsPerServer = kMaxConnsPerServer;
  request->nReceiveTimeoutMs = retry.nStallMs;
  request->nAnswerTimeoutMs = retry.nAnswerMs;
  request->strHeaders = RequestHeaders(index);
  request->eSchemes = remote.bOverTls ? CBaseRequest::Schemes::kSecureOnly : CBaseRequest::Schemes::kPlainOnly;
  auto link = std::make_shared<AttemptLink>(this, index);
  const std::wstring url = param.strDownloadUrl;
  const CAttemptWatch::End end = CAttemptWatch::Run(
      [link, request, url](CAttemptWatch::Progress& progress) { AttemptWork(*link, *request, url, progress); },
      [request] { request->Cancel(); }, WatchLimits());
  std::lock_guard<std::mutex> hold(link->lock);
  link->owner = nullptr;
  if (end != CAttemptWatch::End::kFinished) {
    LOG_INFO("ERR:[Thread][%d][%d][%s] %s: the attempt is given up", ThreadId(), index, request->GetTypeName(),
             CAttemptWatch::Describe(end));
    link->outcome.bComplete = false;
  }
  return link->outcome;
}

// The network side of one attempt, on the watch's thread. Between the blocking calls it enters the
// download only through the link, and stops as soon as the link is cut.
void CHttpDownload::AttemptWork(AttemptLink& link, CBaseRequest& request, const std::wstring& url,
                                CAttemptWatch::Progress& progress) {
  const bool opened = request.OpenUrl(url);
  progress.Answered();
  Body body;
  {
    std::lock_guard<std::mutex> hold(link.lock);
    if (!link.owner || !opened || !link.owner->JudgeAnswer(request, link.index, body)) return;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockSize]);
  if (!buffer) {
    LOG_INFO("ERR: new %d bytes fail!", kBlockSize);
    return;
  }
  long long received = 0;
  int count = 0;
  while ((count = request.HttpRead(buffer.get(), kBlockSize)) > 0) {
    progress.Received(count);
    std::lock_guard<std::mutex> hold(link.lock);
    if (!link.owner || !link.owner->TakeBlock(link, request, body, received, buffer.get(), count)) return;
    received += count;
  }
  std::lock_guard<std::mutex> hold(link.lock);
  if (link.owner) link.owner->EndOfAnswer(link, request, body, received, count);
}

// Writes one block of the answer into the range, keeping every byte written even when the answer
// breaks off later. More bytes than the answer may carry (a server that sent more than was asked for)
// fail the attempt before they are written, so they cannot overwrite ranges that are already complete.
// False when the attempt is over.
bool CHttpDownload::TakeBlock(AttemptLink& link, CBaseRequest& request, const Body& body, long long received,
                              const char* data, int count) {
  if (count > body.nLimit - received) {
    LOG_INFO("ERR:[%s] the answer is longer than the %lld bytes it may carry", request.GetTypeName(), body.nLimit);
    return false;
  }
  const Stored stored = Store(link.index, body.nOffset + received, data, count);
  link.outcome.nWritten += stored.nWritten;
  if (stored.bDone) link.outcome.bComplete = true;
  link.outcome.bDrained = received + count == body.nLimit;
  if (stored.nWritten > 0) SaveStateNow(false);
  return !stored.bFailed && !stored.bGone && !stored.bDone;
}

// The end of an answer whose range is not complete yet: it completes an open range, else the answer
// was cut short.
void CHttpDownload::EndOfAnswer(AttemptLink& link, CBaseRequest& request, const Body& body, long long received,
                                int lastCount) {
  if (lastCount == 0 && EndOfBody(link.index)) {
    link.outcome.bComplete = true;
    link.outcome.bDrained = true;
    return;
  }
  LOG_INFO("ERR:[%s] download Fail ,dstSize: %lld !=  downloadingSize: %lld)", request.GetTypeName(),
           body.nLimit == LLONG_MAX ? -1LL : body.nLimit, received);
}

bool CHttpDownload::JudgeAnswer(CBaseRequest& request, int index, Body& body) {
  int status = 0;
  if (!request.GetStatusCode(status) || !HasRangeStatus(request, status)) return false;
  if (!HasQueriedScheme(request) || !HasUsableEncoding(request) || !HasThisVersion(request)) return false;
  return status == 206 ? NamesThisRange(request, index, body) : IsWholeFileAnswer(request, index, body);
}

// 206 for a range, 200 for the whole file; anything else is not the file. A proxy that keeps asking for
// credentials stops the download: every other attempt would get the same answer. A range the server
// calls unsatisfiable stays so.
bool CHttpDownload::HasRangeStatus(CBaseRequest& request, int status) {
  if (status == 206 || status == 200) return true;
  LOG_INFO("ERR:[%s] HTTP status %d", request.GetTypeName(), status);
  if (status == 407) {
    LOG_INFO("ERR:[%s] the proxy asks for credentials that this user cannot give", request.GetTypeName());
    StopAll(Stop::kProxyAuth);
  }
  if (status == 416) PermanentAnswer("416 (range not satisfiable)");
  return false;
}

// Every range comes over the scheme the size query's answer came over, read from the URL that
// answered: bytes over plain HTTP never join a download that TLS vouched for.
bool CHttpDownload::HasQueriedScheme(CBaseRequest& request) {
  if (request.bAnsweredOverTls == remote.bOverTls) return true;
  LOG_INFOW(L"ERR:[%hs] answered by %ls, but the size query over %hs", request.GetTypeName(),
            request.strAnsweredUrl.c_str(), remote.bOverTls ? "TLS" : "plain HTTP");
  return false;
}

// The engine writes the bytes as they come: a compressed body is not the file, and a server that
// compresses one answer unasked compresses the next as well.
bool CHttpDownload::HasUsableEncoding(CBaseRequest& request) {
  std::wstring encoding;
  if (!request.GetHeader(CBaseRequest::Header::kContentEncoding, encoding) || encoding.empty() ||
      ::lstrcmpiW(encoding.c_str(), L"identity") == 0) {
    return true;
  }
  LOG_INFOW(L"ERR:[%hs] the body comes in the encoding \"%ls\", which is not the file", request.GetTypeName(),
            encoding.c_str());
  PermanentAnswer("an encoded body");
  return false;
}

void CHttpDownload::PermanentAnswer(const char* what) {
  const int count = ++nPermanent;
  if (count < retry.nPermanentAnswers) return;
  LOG_INFO("ERR:the server answered %s %d times: a retry cannot mend it, the download ends", what, count);
  StopAll(Stop::kPermanent);
}

void CHttpDownload::FileChanged() {
  if (eStop == Stop::kNone) LOG_INFO("ERR:the file changed on the server: every range stops");
  StopAll(Stop::kChanged);
}

// A 206 must name the bytes asked for out of the size the size query gave: another total is another
// file, another start would be written at the wrong offset. Where no answer named the size yet, the
// first range answer names it.
bool CHttpDownload::NamesThisRange(CBaseRequest& request, int index, Body& body) {
  std::wstring text;
  long long start = 0, end = 0, total = 0;
  Scoped::LeaveCriticalSection hold(csFile);
  const long long next = pPlan->Next(index);
  const bool known = pPlan->SizeKnown();
  const long long asked = pPlan->End(index);
  const bool parsed =
      request.GetHeader(CBaseRequest::Header::kContentRange, text) && ParseContentRange(text, start, end, total);
  if (parsed && known && total != nFileSize) {
    LOG_INFOW(L"ERR:[%hs] Content-Range (%ls) names another total than %lld: the file changed", request.GetTypeName(),
              text.c_str(), nFileSize);
    FileChanged();
    return false;
  }
  // An answer asked for before its range was split covers more than the range now: it stands, and its
  // bytes are taken up to the range's new end. One that starts before the first missing byte (the
  // other copy of a duplicated piece wrote ahead) has its first bytes read past.
  if (parsed && start <= next && (known ? end >= asked : end == total - 1)) {
    if (!known) {
      LOG_INFO("the size comes from a range answer: %lld bytes", total);
      pPlan->SetFileSize(total);
      nFileSize = total;
    }
    body.nOffset = start;
    body.nLimit = end - start + 1;
    return true;
  }
  if (known) {
    LOG_INFOW(L"ERR:[%hs] Content-Range (%ls) is not bytes %lld-%lld/%lld", request.GetTypeName(), text.c_str(), next,
              asked, nFileSize);
  } else {
    LOG_INFOW(L"ERR:[%hs] Content-Range (%ls) does not start at byte %lld", request.GetTypeName(), text.c_str(), next);
  }
  return false;
}

// A 200 carries the whole file from its first byte. When the range asked for is less than that, the
// server ignores Range (a server whose file changed was caught by the validator): the whole download
// becomes this one stream, and the bytes before the first missing one are read past.
bool CHttpDownload::IsWholeFileAnswer(CBaseRequest& request, int index, Body& body) {
  long long length = 0;
  Scoped::LeaveCriticalSection hold(csFile);
  if (pPlan->SizeKnown() && request.GetUrlFileSize(length) && length != nFileSize) {
    LOG_INFO("ERR:[%s] the whole file is %lld bytes now, not %lld: the file changed", request.GetTypeName(), length,
             nFileSize);
    FileChanged();
    return false;
  }
  if (pPlan->IsDropped(index)) return false;
  const bool whole = pPlan->Start(index) == 0 && (!pPlan->SizeKnown() || pPlan->End(index) == nFileSize - 1);
  if (!whole) {
    LOG_INFO(
        "[%s] HTTP status 200 to a range request: the server sends whole files only; the rest of the "
        "download comes as one stream on this connection",
        request.GetTypeName());
    pPlan->ToOneStream(index);
  }
  body.nOffset = 0;
  body.nLimit = pPlan->SizeKnown() ? nFileSize : LLONG_MAX;
  return true;
}

// The validator the size query saw, on every range: a file replaced on the server between two
// ranges is never stitched from both versions.
bool CHttpDownload::HasThisVersion(CBaseRequest& request) {
  const std::wstring expected = remote.Validator();
  if (expected.empty()) return true;
  const bool byETag = remote.ValidatorIsETag();
  std::wstring answered;
  if (!request.GetHeader(byETag ? CBaseRequest::Header::kETag : CBaseRequest::Header::kLastModified, answered)) {
    answered.clear();
  }
  if (answered == expected) return true;
  LOG_INFOW(L"ERR:[%hs] %ls (%ls) differs from the size query's (%ls): the file changed", request.GetTypeName(),
            byETag ? L"ETag" : L"Last-Modified", answered.c_str(), expected.c_str());
  FileChanged();
  return false;
}

// The end of an answer completes an open range: no answer named the size, so the body's end is the
// file's. An empty body is no file.
bool CHttpDownload::EndOfBody(int index) {
  Scoped::LeaveCriticalSection hold(csFile);
  if (pPlan->SizeKnown() || pPlan->IsDropped(index)) return false;
  if (pPlan->Next(index) == 0) {
    LOG_INFO("ERR:the remote file is empty");
    return false;
  }
  pPlan->FinishOpenRange(index);
  LOG_INFO("the body ended after %lld bytes: that is the file's size", pPlan->FileSize());
  return true;
}

// Writes the part of a block the range still misses, and reports progress, all under the lock.
CHttpDownload::Stored CHttpDownload::Store(int index, long long offset, const char* data, int count) {
  Stored stored;
  Scoped::LeaveCriticalSection hold(csFile);
  if (eStop != Stop::kNone || StopAsked() || pPlan->IsDropped(index)) {
    stored.bGone = true;
    return stored;
  }
  int skip = 0;
  const int length = pPlan->Clip(index, offset, count, skip);
  if (length > 0) {
    if (!WriteAt(pPlan->Next(index), data + skip, length)) {
      stored.bFailed = true;
      return stored;
    }
    pPlan->Advance(index, length);
    if (static_cast<size_t>(index) < vecClocks.size()) vecClocks[index].nLastByte = ::GetTickCount();
    if (pDigest) pDigest->Nudge();
    stored.nWritten = length;
    Notify(kDownload_Progress, pPlan->DownloadedSize(), pPlan->SizeKnown() ? pPlan->FileSize() : 0);
  }
  stored.bDone = pPlan->IsDone(index);
  return stored;
}

// A block that cannot be written stops every range: the next block would fail the same way, and the
// network is not to blame.
bool CHttpDownload::WriteAt(long long offset, const char* data, int count) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  DWORD written = 0;
  const bool called = ::SetFilePointerEx(hFile.get(), position, nullptr, FILE_BEGIN) &&
                      ::WriteFile(hFile.get(), data, static_cast<DWORD>(count), &written, nullptr);
  if (called && written == static_cast<DWORD>(count)) return true;
  // A write that succeeds short has run out of room.
  const DWORD error = called ? ERROR_DISK_FULL : ::GetLastError();
  LOG_INFO("ERR:write file fail! (offset %lld, %d bytes) error %u: %s", offset, count, static_cast<unsigned>(error),
           WriteErrorText(error));
  StopAll(Stop::kLocalWrite);
  return false;
}
