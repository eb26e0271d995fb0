#include "HttpDownload.h"

#include <shlwapi.h>

#include <climits>
#include <ctime>
#include <new>
#include <random>
#include <vector>

#include "log/Log.h"
#include "tool/BaseRequest.h"
#include "tool/TextHelper.h"
#include "base/FileSystem.h"

// One range thread: the range it starts with; later ones come from splits.
struct DownloadRange {
  CHttpDownload* owner;
  int index;
};

namespace {

// Failed range attempts per backend, over every range of every download of the process.
std::atomic<int> g_winHttpFailures{0};
std::atomic<int> g_internetFailures{0};

std::atomic<int>& FailureCounter(int type) {
  return type == CBaseRequest::kWinHttp ? g_winHttpFailures : g_internetFailures;
}

int ThreadId() { return static_cast<int>(::GetCurrentThreadId()); }

enum class SizeQuery { kAnswered, kFailed, kProxyAuth };

void ReadValidators(CBaseRequest& request, RemoteFile& file) {
  if (!request.GetHeader(CBaseRequest::Header::kETag, file.strETag)) file.strETag.clear();
  if (!request.GetHeader(CBaseRequest::Header::kLastModified, file.strLastModified)) file.strLastModified.clear();
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

SizeQuery QueryWith(CBaseRequest& request, const std::wstring& url, bool secureOnly, RemoteFile& file) {
  if (secureOnly) request.eSchemes = CBaseRequest::Schemes::kSecureOnly;
  if (!request.OpenUrl(url)) return SizeQuery::kFailed;
  return ReadSizeAnswer(request, file);
}

// A server that streams its answers without a length may still name the total in a range answer.
// The probe goes to the backend and scheme that answered the query.
void ProbeSizeWithRange(int type, const std::wstring& url, RemoteFile& file) {
  std::unique_ptr<CBaseRequest> request = CBaseRequest::CreateInstance(type);
  if (!request) return;
  request->strHeaders = L"Range:bytes=0-0";
  request->eSchemes = file.bOverTls ? CBaseRequest::Schemes::kSecureOnly : CBaseRequest::Schemes::kPlainOnly;
  int status = 0, start = 0, end = 0, total = 0;
  std::wstring text;
  if (request->OpenUrl(url) && request->GetStatusCode(status) && status == 206 &&
      request->GetHeader(CBaseRequest::Header::kContentRange, text) && ParseContentRange(text, start, end, total) &&
      start == 0 && end == 0) {
    LOG_INFOW(L"the size comes from a range answer: %d bytes (%ls)", total, text.c_str());
    file.nSize = total;
    return;
  }
  LOG_INFO("the server names no size: the file comes as one stream, and the space check cannot count it");
}

// The size query: WinHTTP with HEAD first, then WinINet with GET (whose body is never read).
SizeQuery QueryRemoteFile(const std::wstring& url, bool secureOnly, RemoteFile& file) {
  int type = CBaseRequest::kWinHttp;
  SizeQuery result = SizeQuery::kFailed;
  {
    CWinHttpRequest request;
    request.strVerb = L"HEAD";
    result = QueryWith(request, url, secureOnly, file);
  }
  if (result != SizeQuery::kAnswered) {
    CInternetRequest request;
    type = CBaseRequest::kInternet;
    const SizeQuery second = QueryWith(request, url, secureOnly, file);
    if (second == SizeQuery::kAnswered || result != SizeQuery::kProxyAuth) result = second;
  }
  if (result != SizeQuery::kAnswered) return result;
  if (file.nSize == CRangePlan::kUnknownSize) ProbeSizeWithRange(type, url, file);
  if (file.nSize == 0) {
    LOG_INFO("ERR:the remote file is empty");
    return SizeQuery::kFailed;
  }
  return SizeQuery::kAnswered;
}

// A server whose file changed since the size query answers with the whole new file instead of the
// range, so a stale range is refused by the server as well as by the checks here.
std::wstring WithValidator(std::wstring headers, const std::wstring& validator) {
  if (!validator.empty()) headers += L"\r\nIf-Range: " + validator;
  return headers;
}

std::wstring RangeHeader(int start, int end) {
  wchar_t header[64] = {};
  if (end == CRangePlan::kOpenEnd) {
    _snwprintf(header, 63, L"Range:bytes=%d-", start);
  } else {
    _snwprintf(header, 63, L"Range:bytes=%d-%d", start, end);
  }
  return header;
}

bool IsWeakETag(const std::wstring& etag) { return etag.compare(0, 2, L"W/") == 0; }

const char* WriteErrorText(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the disk is full";
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return "writing is not allowed there";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "another program holds the file";
    default:
      return "the file cannot be written";
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Paths

void NormalizePath(std::wstring& path) {
  std::wstring out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    wchar_t c = path[i] == L'/' ? L'\\' : path[i];
    wchar_t next = i + 1 < path.size() ? (path[i + 1] == L'/' ? L'\\' : path[i + 1]) : L'\0';
    out.push_back(c);
    if (c == L'\\' && next == L'\\') ++i;  // the pair becomes one; the search goes on after it
  }
  path.swap(out);
}

bool GetParentDir(const std::wstring& path, std::wstring& folder) {
  std::wstring normal = path;
  NormalizePath(normal);
  size_t slash = normal.rfind(L'\\');
  if (slash == std::wstring::npos) return false;
  folder = normal.substr(0, slash);
  return true;
}

bool PathExists(const std::wstring& path) {
  std::wstring normal = path;
  NormalizePath(normal);
  return ::PathFileExistsW(normal.c_str()) != FALSE;
}

bool MakeDirs(const std::wstring& folder) {
  std::wstring normal = folder;
  NormalizePath(normal);
  if (normal.size() > 1 && normal.back() == L'\\') normal.pop_back();
  if (normal.empty()) return false;
  if (PathExists(normal)) return true;
  Base::CreateFolderTree(normal);
  return PathExists(normal);
}

// ---------------------------------------------------------------------------------------------------
// Entry points

bool RunHttpDownload(DownloadParam& param, DownloadCallback callback, unsigned char* pStopFlag) {
  CHttpDownload download(param, callback, pStopFlag);
  return download.Download() == kDownloadResult_Success;
}

int GetRemoteFileSize(const std::wstring& url, bool secureOnly) {
  RemoteFile file;
  if (QueryRemoteFile(url, secureOnly, file) != SizeQuery::kAnswered) return 0;
  return file.nSize == CRangePlan::kUnknownSize ? 0 : file.nSize;
}

std::wstring RemoteFile::Validator() const {
  if (!strETag.empty() && !IsWeakETag(strETag)) return strETag;
  return strLastModified;
}

bool ParseContentRange(const std::wstring& text, int& start, int& end, int& total) {
  const std::wstring unit = L"bytes ";
  if (text.compare(0, unit.size(), unit) != 0) return false;
  const size_t dash = text.find(L'-', unit.size());
  const size_t slash = text.find(L'/', dash == std::wstring::npos ? unit.size() : dash);
  if (dash == std::wstring::npos || slash == std::wstring::npos) return false;
  long long first = 0, last = 0, size = 0;
  if (!ParseDecimal(text.substr(unit.size(), dash - unit.size()), INT_MAX, first) ||
      !ParseDecimal(text.substr(dash + 1, slash - dash - 1), INT_MAX, last) ||
      !ParseDecimal(text.substr(slash + 1), INT_MAX, size) || first > last || last >= size) {
    return false;
  }
  start = static_cast<int>(first);
  end = static_cast<int>(last);
  total = static_cast<int>(size);
  return true;
}

CHttpDownload::CHttpDownload(DownloadParam& param, DownloadCallback callback, unsigned char* pStopFlag)
    : param(param), pCallback(callback), pRequestFactory(&CBaseRequest::CreateInstance) {
  if (pStopFlag) *pStopFlag = 0;
}

int CHttpDownload::ChooseBackend(int winHttpFailures, int internetFailures, int attempt) {
  if (winHttpFailures != internetFailures) {
    return winHttpFailures < internetFailures ? CBaseRequest::kWinHttp : CBaseRequest::kInternet;
  }
  return attempt % 2 == 0 ? CBaseRequest::kWinHttp : CBaseRequest::kInternet;
}

void CHttpDownload::GetBackendFailures(int& winHttp, int& internet) {
  winHttp = g_winHttpFailures;
  internet = g_internetFailures;
}

DWORD CHttpDownload::RetryPauseMs(const RetryPolicy& policy, int deadAttempts, double random) {
  double pause = policy.nFirstPauseMs;
  for (int i = 1; i < deadAttempts && pause < policy.nLongestPauseMs; ++i) pause *= 2;
  if (pause > policy.nLongestPauseMs) pause = policy.nLongestPauseMs;
  if (random < 0) random = 0;
  if (random > 1) random = 1;
  return static_cast<DWORD>(pause * (0.75 + 0.5 * random));
}

void CHttpDownload::Notify(int code, int first, int second) {
  if (pCallback) pCallback(code, first, second, param.pUserData);
}

int CHttpDownload::Download() {
  LOG_INFO("Download....");
  std::time_t begin = std::time(nullptr);
  Notify(kDownload_Start, 0, 0);
  int result = DownloadImp();
  int seconds = static_cast<int>(std::time(nullptr) - begin);
  // The last word is "second" in code page 936, as the log has always read.
  LOG_INFO("HttpDownload,ret = %d (time = %d \xC3\xEB)", result, seconds);
  Notify(kDownload_End, result, seconds);
  return result;
}

int CHttpDownload::DownloadImp() {
  if (!CheckParam()) {
    LOG_INFO("ERR:CheckParam fail!");
    return kDownloadResult_BadParam;
  }
  if (!GetDownloadFileSize()) {
    LOG_INFO("ERR:GetDownloadFileSize fail!");
    return eStop == Stop::kProxyAuth ? kDownloadResult_ProxyAuth : kDownloadResult_NoFileSize;
  }
  Notify(kDownload_FileSize, nFileSize < 0 ? 0 : nFileSize, 0);
  if (!DownLoadContent()) {
    LOG_INFO("ERR:DownLoadContent fail!");
    return ContentFailure();
  }
  return kDownloadResult_Success;
}

int CHttpDownload::ContentFailure() const {
  switch (eStop.load()) {
    case Stop::kLocalWrite:
      return kDownloadResult_LocalWrite;
    case Stop::kProxyAuth:
      return kDownloadResult_ProxyAuth;
    default:
      return kDownloadResult_ContentFail;
  }
}

bool CHttpDownload::CheckParam() {
  if (param.nDownloadThread <= 0) {
    LOG_INFO("ERR:invalid param (nDownloadThread = %d)", param.nDownloadThread);
    return false;
  }
  if (param.strDownloadUrl.empty()) {
    LOG_INFO("ERR:invalid param (strDownloadUrl)");
    return false;
  }
  NormalizePath(param.strSavePath);
  std::wstring folder;
  GetParentDir(param.strSavePath, folder);
  if (!PathExists(folder)) MakeDirs(folder);
  if (!PathExists(folder)) {
    LOG_INFOW(L"ERR:make dir (%ls) fail!", folder.c_str());
    return false;
  }
  return true;
}

bool CHttpDownload::GetDownloadFileSize() {
  LOG_INFO("GetDownloadFileSize....");
  const SizeQuery result = QueryRemoteFile(param.strDownloadUrl, param.bSecureOnly, remote);
  if (result == SizeQuery::kProxyAuth) {
    LOG_INFO("ERR:the proxy asks for credentials that this user cannot give");
    eStop = Stop::kProxyAuth;
  }
  if (result != SizeQuery::kAnswered) return false;
  nFileSize = remote.nSize;
  if (!remote.bOverTls) LOG_INFO("the size query was answered over plain HTTP: every range follows it");
  return true;
}

// ---------------------------------------------------------------------------------------------------
// Ranges

bool CHttpDownload::DownLoadContent() {
  int count = CRangePlan::ClampRangeCount(param.nDownloadThread);
  if (count == param.nDownloadThread) {
    LOG_INFO("DownLoadContent: ThreadNum = %d", count);
  } else {
    LOG_INFO("DownLoadContent: ThreadNum = %d (request thread num = %d)", count, param.nDownloadThread);
  }
  if (!OpenTarget()) return false;
  hStopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  pPlan = std::make_unique<CRangePlan>(nFileSize, count);
  vecFetching.assign(pPlan->RangeCount(), false);
  std::vector<DownloadRange> ranges(pPlan->RangeCount());
  WaitForRanges(StartRanges(ranges.data()));
  bool succeeded = pPlan->AllDone() && eStop == Stop::kNone;
  if (succeeded && nFileSize == CRangePlan::kUnknownSize) nFileSize = pPlan->FileSize();
  pPlan.reset();
  hFile.reset();
  return succeeded;
}

// The target may be deleted while ranges still write it: the window's clean-up deletes it when the user
// closes the window during a download, and the process then ends with the ranges' handles open. With
// delete sharing the file goes with the last handle instead of staying behind.
bool CHttpDownload::OpenTarget() {
  hFile.reset(::CreateFileW(param.strSavePath.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (hFile) return true;
  const DWORD error = ::GetLastError();
  LOG_INFOW(L"ERR:Open file fail! (%ls) error %u: %hs", param.strSavePath.c_str(), static_cast<unsigned>(error),
            WriteErrorText(error));
  eStop = Stop::kLocalWrite;
  return false;
}

// Starts one thread per range that has bytes to fetch and hands back the threads that run. A range
// whose thread cannot start stays incomplete, so the download fails instead of waiting for it.
std::vector<Scoped::CloseHandle> CHttpDownload::StartRanges(DownloadRange* ranges) {
  std::vector<Scoped::CloseHandle> threads;
  for (int i = 0; i < pPlan->RangeCount(); ++i) {
    ranges[i] = DownloadRange{this, i};
    if (!pPlan->IsDone(i)) {
      vecFetching[i] = true;
      HANDLE thread = ::CreateThread(nullptr, 0, &CHttpDownload::DownloadThreadProc, &ranges[i], 0, nullptr);
      if (thread) {
        threads.emplace_back(thread);
      } else {
        vecFetching[i] = false;
        LOG_INFO("ERR:CreateThread fail! (range %d) 0x%x", i, static_cast<unsigned>(::GetLastError()));
      }
    }
    DebugTrace("[%d] %d ~ %d,length = %d\n", i, pPlan->Start(i), pPlan->End(i), pPlan->Length(i));
  }
  return threads;
}

void CHttpDownload::WaitForRanges(const std::vector<Scoped::CloseHandle>& threads) {
  LOG_INFO("WaitForMultipleObjects...\n");
  std::vector<HANDLE> handles;
  for (const Scoped::CloseHandle& thread : threads) handles.push_back(thread.get());
  const DWORD waitRet = WaitForThreads(handles);
  LOG_INFO("WaitForMultipleObjects end! WaitRet=%d\n", static_cast<int>(waitRet));
}

// The ranges, the plan and the file are freed as soon as this returns, so it must not return while a
// range thread still runs, whatever the platform's wait says.
DWORD WaitForThreads(const std::vector<HANDLE>& threads) {
  if (threads.empty()) return WAIT_OBJECT_0;
  const DWORD all = ::WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  if (all != WAIT_FAILED) return all;
  LOG_INFO("ERR:WaitForMultipleObjects fail 0x%x; waiting for each range thread",
           static_cast<unsigned>(::GetLastError()));
  for (HANDLE thread : threads) {
    if (::WaitForSingleObject(thread, INFINITE) != WAIT_FAILED) continue;
    for (DWORD code = STILL_ACTIVE; ::GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;) ::Sleep(50);
  }
  return all;
}

// A thread fetches its range, then, while the download goes well, tails split off other ranges.
DWORD WINAPI CHttpDownload::DownloadThreadProc(LPVOID parameter) {
  DownloadRange& range = *static_cast<DownloadRange*>(parameter);
  CHttpDownload& self = *range.owner;
  for (int index = range.index; index >= 0 && self.FetchRange(index);) index = self.TakeMoreWork();
  return 0;
}

// The attempts of one range, each asking for what is still missing. True when the range is complete.
bool CHttpDownload::FetchRange(int index) {
  std::wstring header;
  {
    Scoped::LeaveCriticalSection hold(csFile);
    header = RangeHeader(pPlan->Next(index), pPlan->End(index));
  }
  const int threadId = ThreadId();
  LOG_INFOW(L"[Thread][%d][%d][%ls] beging...", threadId, index, header.c_str());
  int dead = 0;
  DWORD lastGrowth = ::GetTickCount();
  for (int attempt = 0;; ++attempt) {
    if (attempt > 0 && !PauseBeforeRetry(dead)) break;
    if (IsGone(index)) break;
    const int type = ChooseRangeBackend(attempt, dead);
    std::unique_ptr<CBaseRequest> request = pRequestFactory(type);
    Attempt outcome;
    if (!request) {
      LOG_INFO("ERR:CBaseRequest::CreateInstance fail! (attempt %d)", attempt);
    } else {
      outcome = RunAttempt(*request, index);
      if (outcome.bComplete) {
        nWorkingBackend = type;
        Release(index);
        LOG_INFOW(L"[Thread][%d][%d] SUCCCESS!", threadId, index);
        return true;
      }
      if (IsGone(index)) break;
      ++FailureCounter(type);
      LOG_INFO("[Thread][%d][%d][%s] Request fail,  retry %d...(WinHttp fail:%d, Internet fail:%d)", threadId, index,
               request->GetTypeName(), attempt, g_winHttpFailures.load(), g_internetFailures.load());
    }
    if (outcome.nWritten > 0) {
      dead = 0;
      lastGrowth = ::GetTickCount();
    } else {
      ++dead;
    }
    if (GivesUp(index, dead, lastGrowth)) {
      bRangeFailed = true;
      break;
    }
  }
  Release(index);
  return false;
}

bool CHttpDownload::GivesUp(int index, int deadAttempts, DWORD lastGrowth) {
  const int threadId = ThreadId();
  if (deadAttempts >= retry.nDeadAttempts) {
    LOG_INFO("ERR:[Thread][%d][%d] gives up: %d attempts in a row brought nothing", threadId, index, deadAttempts);
    return true;
  }
  const DWORD still = ::GetTickCount() - lastGrowth;
  if (still >= retry.nNoGrowthMs) {
    LOG_INFO("ERR:[Thread][%d][%d] gives up: nothing arrived for %u s", threadId, index, static_cast<unsigned>(still / 1000));
    return true;
  }
  if (++nAttempts >= retry.nMaxAttempts) {
    LOG_INFO("ERR:[Thread][%d][%d] gives up: %d attempts in all", threadId, index, nAttempts.load());
    return true;
  }
  return false;
}

// False when the whole download stops during the pause.
bool CHttpDownload::PauseBeforeRetry(int deadAttempts) {
  thread_local std::minstd_rand random(::GetTickCount() ^ ::GetCurrentThreadId());
  const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(random);
  const DWORD pause = RetryPauseMs(retry, deadAttempts, draw);
  return ::WaitForSingleObject(hStopEvent.get(), pause) == WAIT_TIMEOUT;
}

bool CHttpDownload::IsGone(int index) {
  if (eStop != Stop::kNone) return true;
  Scoped::LeaveCriticalSection hold(csFile);
  return pPlan->IsDropped(index);
}

void CHttpDownload::Release(int index) {
  Scoped::LeaveCriticalSection hold(csFile);
  vecFetching[index] = false;
}

// The tail of the range with the most left, while the download goes well and the size is known.
int CHttpDownload::TakeMoreWork() {
  if (eStop != Stop::kNone || bRangeFailed) return -1;
  Scoped::LeaveCriticalSection hold(csFile);
  const int index = pPlan->SplitLargest(retry.nMinSplitBytes, [this](int i) { return vecFetching[i]; });
  if (index < 0) return -1;
  vecFetching.resize(pPlan->RangeCount(), false);
  vecFetching[index] = true;
  LOG_INFO("[Thread][%d] takes bytes %d-%d off a slower range", ThreadId(), pPlan->Start(index), pPlan->End(index));
  return index;
}

void CHttpDownload::StopAll(Stop reason) {
  Stop none = Stop::kNone;
  if (eStop.compare_exchange_strong(none, reason)) ::SetEvent(hStopEvent.get());
}

// Only WinHTTP speaks plain HTTP, so a download the size query put on plain HTTP stays with it. A
// backend that completed a range of this download keeps the next attempts unless it fails them too.
int CHttpDownload::ChooseRangeBackend(int attempt, int deadAttempts) const {
  if (!remote.bOverTls) return CBaseRequest::kWinHttp;
  const int working = nWorkingBackend;
  if (working >= 0 && deadAttempts < 2) return working;
  return ChooseBackend(g_winHttpFailures, g_internetFailures, attempt);
}

// What is still missing of the range. A download whose size is unknown asks for the whole file first
// and, after a cut, for everything from the first missing byte on.
std::wstring CHttpDownload::RequestHeaders(int index) {
  int next = 0, end = 0;
  {
    Scoped::LeaveCriticalSection hold(csFile);
    next = pPlan->Next(index);
    end = pPlan->End(index);
  }
  if (next == 0 && end == CRangePlan::kOpenEnd) return L"";
  return WithValidator(RangeHeader(next, end), remote.Validator());
}

// An answer that is not this range of this file never becomes part of the file, even when its body
// happens to be as long as the range.
CHttpDownload::Attempt CHttpDownload::RunAttempt(CBaseRequest& request, int index) {
  request.nMaxConnsPerServer = kMaxConnsPerServer;
  request.nReceiveTimeoutMs = retry.nStallMs;
  request.strHeaders = RequestHeaders(index);
  request.eSchemes = remote.bOverTls ? CBaseRequest::Schemes::kSecureOnly : CBaseRequest::Schemes::kPlainOnly;
  Body body;
  if (!request.OpenUrl(param.strDownloadUrl) || !JudgeAnswer(request, index, body)) return Attempt();
  return ReadUrlContent(request, index, body);
}

bool CHttpDownload::JudgeAnswer(CBaseRequest& request, int index, Body& body) {
  int status = 0;
  if (!request.GetStatusCode(status) || !HasRangeStatus(request, status)) return false;
  if (!HasThisVersion(request)) return false;
  return status == 206 ? NamesThisRange(request, index, body) : IsWholeFileAnswer(request, index, body);
}

// 206 for a range, 200 for the whole file; anything else is not the file. A proxy that keeps asking for
// credentials stops the download: every other attempt would get the same answer.
bool CHttpDownload::HasRangeStatus(CBaseRequest& request, int status) {
  if (status == 206 || status == 200) return true;
  LOG_INFO("ERR:[%s] HTTP status %d", request.GetTypeName(), status);
  if (status == 407) {
    LOG_INFO("ERR:[%s] the proxy asks for credentials that this user cannot give", request.GetTypeName());
    StopAll(Stop::kProxyAuth);
  }
  return false;
}

// A 206 must name the bytes asked for out of the size the size query gave: another total is another
// file, another start would be written at the wrong offset. Where no answer named the size yet, the
// first range answer names it.
bool CHttpDownload::NamesThisRange(CBaseRequest& request, int index, Body& body) {
  std::wstring text;
  int start = 0, end = 0, total = 0;
  Scoped::LeaveCriticalSection hold(csFile);
  const int next = pPlan->Next(index);
  const bool known = pPlan->SizeKnown();
  const int asked = pPlan->End(index);
  if (request.GetHeader(CBaseRequest::Header::kContentRange, text) && ParseContentRange(text, start, end, total) &&
      start == next && (known ? end == asked && total == nFileSize : end == total - 1)) {
    if (!known) {
      LOG_INFO("the size comes from a range answer: %d bytes", total);
      pPlan->SetFileSize(total);
      nFileSize = total;
    }
    body.nOffset = start;
    body.nLimit = end - start + 1;
    return true;
  }
  if (known) {
    LOG_INFOW(L"ERR:[%hs] Content-Range (%ls) is not bytes %d-%d/%d", request.GetTypeName(), text.c_str(), next, asked,
              nFileSize);
  } else {
    LOG_INFOW(L"ERR:[%hs] Content-Range (%ls) does not start at byte %d", request.GetTypeName(), text.c_str(), next);
  }
  return false;
}

// A 200 carries the whole file from its first byte. When the range asked for is less than that, the
// server ignores Range (a server whose file changed was caught by the validator): the whole download
// becomes this one stream, and the bytes before the first missing one are read past.
bool CHttpDownload::IsWholeFileAnswer(CBaseRequest& request, int index, Body& body) {
  int length = 0;
  Scoped::LeaveCriticalSection hold(csFile);
  if (pPlan->SizeKnown() && request.GetUrlFileSize(length) && length != nFileSize) {
    LOG_INFO("ERR:[%s] the whole file is %d bytes now, not %d: the file changed", request.GetTypeName(), length,
             nFileSize);
    return false;
  }
  if (pPlan->IsDropped(index)) return false;
  const bool whole = pPlan->Start(index) == 0 && (!pPlan->SizeKnown() || pPlan->End(index) == nFileSize - 1);
  if (!whole) {
    LOG_INFO("[%s] HTTP status 200 to a range request: the server sends whole files only; the rest of the "
             "download comes as one stream on this connection",
             request.GetTypeName());
    pPlan->ToOneStream(index);
  }
  body.nOffset = 0;
  body.nLimit = pPlan->SizeKnown() ? nFileSize : INT_MAX;
  return true;
}

// The validator the size query saw, on every range: a file replaced on the server between two
// ranges is never stitched from both versions.
bool CHttpDownload::HasThisVersion(CBaseRequest& request) {
  const std::wstring expected = remote.Validator();
  if (expected.empty()) return true;
  const bool byETag = expected == remote.strETag;
  std::wstring answered;
  if (!request.GetHeader(byETag ? CBaseRequest::Header::kETag : CBaseRequest::Header::kLastModified, answered)) {
    answered.clear();
  }
  if (answered == expected) return true;
  LOG_INFOW(L"ERR:[%hs] %ls (%ls) differs from the size query's (%ls): the file changed", request.GetTypeName(),
            byETag ? L"ETag" : L"Last-Modified", answered.c_str(), expected.c_str());
  return false;
}

// Reads the answer into the range, keeping every byte written even when the answer breaks off. More
// bytes than the answer may carry (a server that sent more than was asked for) fail the attempt before
// they are written, so they cannot overwrite ranges that are already complete.
CHttpDownload::Attempt CHttpDownload::ReadUrlContent(CBaseRequest& request, int index, const Body& body) {
  Attempt attempt;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockSize]);
  if (!buffer) {
    LOG_INFO("ERR: new %d bytes fail!", kBlockSize);
    return attempt;
  }
  int received = 0, count = 0;
  while ((count = request.HttpRead(buffer.get(), kBlockSize)) > 0) {
    if (count > body.nLimit - received) {
      LOG_INFO("ERR:[%s] the answer is longer than the %d bytes it may carry", request.GetTypeName(), body.nLimit);
      return attempt;
    }
    const Stored stored = Store(index, body.nOffset + received, buffer.get(), count);
    attempt.nWritten += stored.nWritten;
    received += count;
    if (stored.bFailed || stored.bGone) return attempt;
    if (stored.bDone) {
      attempt.bComplete = true;
      return attempt;
    }
  }
  if (count == 0 && EndOfBody(index)) {
    attempt.bComplete = true;
    return attempt;
  }
  LOG_INFO("ERR:[%s] download Fail ,dstSize: %d !=  downloadingSize: %d)", request.GetTypeName(),
           body.nLimit == INT_MAX ? -1 : body.nLimit, received);
  return attempt;
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
  LOG_INFO("the body ended after %d bytes: that is the file's size", pPlan->FileSize());
  return true;
}

// Writes the part of a block the range still misses, and reports progress, all under the lock.
CHttpDownload::Stored CHttpDownload::Store(int index, int offset, const char* data, int count) {
  Stored stored;
  Scoped::LeaveCriticalSection hold(csFile);
  if (eStop != Stop::kNone || pPlan->IsDropped(index)) {
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
    stored.nWritten = length;
    Notify(kDownload_Progress, pPlan->DownloadedSize(), pPlan->SizeKnown() ? pPlan->FileSize() : 0);
  }
  stored.bDone = pPlan->IsDone(index);
  return stored;
}

// A block that cannot be written stops every range: the next block would fail the same way, and the
// network is not to blame.
bool CHttpDownload::WriteAt(int offset, const char* data, int count) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  DWORD written = 0;
  const bool called = ::SetFilePointerEx(hFile.get(), position, nullptr, FILE_BEGIN) &&
                      ::WriteFile(hFile.get(), data, static_cast<DWORD>(count), &written, nullptr);
  if (called && written == static_cast<DWORD>(count)) return true;
  // A write that succeeds short has run out of room.
  const DWORD error = called ? ERROR_DISK_FULL : ::GetLastError();
  LOG_INFO("ERR:write file fail! (offset %d, %d bytes) error %u: %s", offset, count, static_cast<unsigned>(error),
           WriteErrorText(error));
  StopAll(Stop::kLocalWrite);
  return false;
}
