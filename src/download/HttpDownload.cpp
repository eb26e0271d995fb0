#include "download/HttpDownload.h"

#include <shlwapi.h>

#include <climits>
#include <ctime>
#include <mutex>
#include <new>
#include <random>
#include <vector>

#include "log/Log.h"
#include "download/BaseRequest.h"
#include "base/TextHelper.h"
#include "base/FileSystem.h"

// One range thread: the range it starts with; later ones come from the front of what is left, from
// splits or from a slower range's last piece.
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

}  // namespace

int CHttpDownload::ThreadId() { return static_cast<int>(::GetCurrentThreadId()); }

std::wstring CHttpDownload::RangeHeader(long long start, long long end) {
  wchar_t header[64] = {};
  if (end == CRangePlan::kOpenEnd) {
    _snwprintf(header, 63, L"Range:bytes=%lld-", start);
  } else {
    _snwprintf(header, 63, L"Range:bytes=%lld-%lld", start, end);
  }
  return header;
}

const char* CHttpDownload::WriteErrorText(DWORD error) {
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

bool GetRemoteFile(const std::wstring& url, bool secureOnly, RemoteFile& file) {
  return QueryRemoteFile(url, secureOnly, CAttemptWatch::Limits(), file) == SizeQuery::kAnswered;
}

long long GetRemoteFileSize(const std::wstring& url, bool secureOnly) {
  RemoteFile file;
  if (QueryRemoteFile(url, secureOnly, CAttemptWatch::Limits(), file) != SizeQuery::kAnswered) return 0;
  return file.nSize == CRangePlan::kUnknownSize ? 0 : file.nSize;
}

CHttpDownload::CHttpDownload(DownloadParam& param, DownloadCallback callback, unsigned char* pStopFlag)
    : param(param), pCallback(callback), pRequestFactory(&CBaseRequest::CreateInstance), pStop(pStopFlag) {
  if (pStopFlag) __atomic_store_n(pStopFlag, 0, __ATOMIC_RELEASE);
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

void CHttpDownload::Notify(int code, long long first, long long second) {
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
  for (int round = 0;; ++round) {
    if (!GetDownloadFileSize(round)) {
      LOG_INFO("ERR:GetDownloadFileSize fail!");
      return eStop == Stop::kProxyAuth ? kDownloadResult_ProxyAuth : kDownloadResult_NoFileSize;
    }
    Notify(kDownload_FileSize, nFileSize < 0 ? 0 : nFileSize, 0);
    if (DownLoadContent()) return kDownloadResult_Success;
    if (!StartAgainAfterChange(round)) break;
  }
  LOG_INFO("ERR:DownLoadContent fail!");
  return ContentFailure();
}

// A file replaced on the server while it came is fetched once more, whole, as the server now has it. A
// file that changes again is not being published, it is being written: retrying would not end.
bool CHttpDownload::StartAgainAfterChange(int round) {
  if (eStop != Stop::kChanged) return false;
  if (round > 0) {
    LOG_INFO("ERR:the file changed on the server again: the download ends");
    return false;
  }
  LOG_INFO("the file changed on the server during the download: starting once more from a new size query");
  eStop = Stop::kNone;
  bRangeFailed = false;
  nAttempts = 0;
  nPermanent = 0;
  return true;
}

int CHttpDownload::ContentFailure() const {
  switch (eStop.load()) {
    case Stop::kLocalWrite:
      return kDownloadResult_LocalWrite;
    case Stop::kProxyAuth:
      return kDownloadResult_ProxyAuth;
    case Stop::kCancelled:
      return kDownloadResult_Cancelled;
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

bool CHttpDownload::GetDownloadFileSize(int round) {
  LOG_INFO("GetDownloadFileSize....");
  if (round == 0 && param.pKnownFile) {
    remote = *param.pKnownFile;
    nFileSize = remote.nSize;
    LOG_INFO("the space check's answer is the download's: %lld bytes, %s", nFileSize,
             remote.bOverTls ? "over TLS" : "over plain HTTP");
    return true;
  }
  remote = RemoteFile();
  const SizeQuery result = QueryRemoteFile(param.strDownloadUrl, param.bSecureOnly, WatchLimits(), remote);
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
  if (!PrepareTarget(count)) return false;
  SaveStateNow(true);  // from the first byte on, the partial file has a state to go on from
  hStopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  vecFetchers.assign(pPlan->RangeCount(), 0);
  vecClocks.assign(pPlan->RangeCount(), FetchClock{});
  nConnections = count;
  StartDigest();
  std::vector<DownloadRange> ranges(count);
  WaitForRanges(StartRanges(ranges));
  bool succeeded = pPlan->AllDone() && eStop == Stop::kNone;
  if (succeeded && nFileSize == CRangePlan::kUnknownSize) nFileSize = pPlan->FileSize();
  KeepOrForgetState(succeeded);
  Base::ReadFileStamp(hFile.get(), param.writtenStamp);
  hFile.reset();
  if (succeeded) FinishDigest();
  pDigest.reset();
  pPlan.reset();
  return succeeded;
}

// The target may be deleted while ranges still write it: the window's clean-up deletes it when the user
// closes the window during a download, and the process then ends with the ranges' handles open. With
// delete sharing the file goes with the last handle instead of staying behind. Nobody else may write
// it meanwhile: the digest that follows the download vouches for what this handle wrote.
bool CHttpDownload::OpenTarget(DWORD disposition) {
  hFile.reset(::CreateFileW(param.strSavePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (hFile) return true;
  const DWORD error = ::GetLastError();
  LOG_INFOW(L"ERR:Open file fail! (%ls) error %u: %hs", param.strSavePath.c_str(), static_cast<unsigned>(error),
            WriteErrorText(error));
  eStop = Stop::kLocalWrite;
  return false;
}

// Starts one thread per connection, each on the next piece from the front, and hands back the threads
// that run. A piece whose thread cannot start goes back to what nobody fetches, for a thread that runs
// to take later. The lock is held throughout: a thread that finishes at once takes more work, which
// grows the plan while this loop still hands it out.
std::vector<Scoped::CloseHandle> CHttpDownload::StartRanges(std::vector<DownloadRange>& ranges) {
  std::vector<Scoped::CloseHandle> threads;
  Scoped::LeaveCriticalSection hold(csFile);
  for (DownloadRange& range : ranges) {
    const int index = TakeFront();
    if (index < 0) break;
    range = DownloadRange{this, index};
    HANDLE thread = ::CreateThread(nullptr, 0, &CHttpDownload::DownloadThreadProc, &range, 0, nullptr);
    if (thread) {
      threads.emplace_back(thread);
    } else {
      --vecFetchers[index];
      LOG_INFO("ERR:CreateThread fail! (range %d) 0x%x", index, static_cast<unsigned>(::GetLastError()));
    }
    DebugTrace("[%d] %lld ~ %lld,length = %lld\n", index, pPlan->Start(index), pPlan->End(index), pPlan->Length(index));
  }
  return threads;
}

// The next piece from the front of what nobody fetches, now fetched by the caller; -1 when there is
// none. Under the download's lock.
int CHttpDownload::TakeFront() {
  const int count = static_cast<int>(vecFetchers.size());
  const int index = pPlan->TakeFront(retry.nMinSplitBytes, nConnections,
                                     [this, count](int i) { return i < count && vecFetchers[i] > 0; });
  if (index >= 0) Claim(index);
  return index;
}

// The range's bytes are fetched by the caller from now on; its pace counts from here.
void CHttpDownload::Claim(int index) {
  vecFetchers.resize(pPlan->RangeCount(), 0);
  vecClocks.resize(pPlan->RangeCount());
  ++vecFetchers[index];
  vecClocks[index] = FetchClock{::GetTickCount(), pPlan->Next(index)};
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
  KeptRequest kept;
  for (int index = range.index; index >= 0 && self.FetchRange(index, kept);) index = self.TakeMoreWork(index);
  return 0;
}

// The attempts of one range, each asking for what is still missing. True when the range is complete.
// A request that completed the thread's last range asks first, on its connection; when that
// connection has gone meanwhile, a new one asks at once.
bool CHttpDownload::FetchRange(int index, KeptRequest& kept) {
  std::wstring header;
  {
    Scoped::LeaveCriticalSection hold(csFile);
    header = RangeHeader(pPlan->Next(index), pPlan->End(index));
  }
  const int threadId = ThreadId();
  LOG_INFOW(L"[Thread][%d][%d][%ls] beging...", threadId, index, header.c_str());
  int dead = 0;
  DWORD lastGrowth = ::GetTickCount();
  bool reused = false;
  for (int attempt = 0;; ++attempt) {
    if (attempt > 0 && !reused && !PauseBeforeRetry(dead)) break;
    if (IsGone(index)) break;
    if (IsDoneElsewhere(index)) return true;
    const int type = ChooseRangeBackend(attempt, dead);
    reused = kept.request && kept.nType == type;
    std::shared_ptr<CBaseRequest> request = reused ? kept.request : pRequestFactory(type);
    kept.request.reset();
    Attempt outcome;
    if (!request) {
      LOG_INFO("ERR:CBaseRequest::CreateInstance fail! (attempt %d)", attempt);
    } else {
      outcome = RunAttempt(request, index);
      if (outcome.bComplete) {
        nWorkingBackend = type;
        if (outcome.bDrained) kept = KeptRequest{request, type};
        Release(index);
        LOG_INFOW(L"[Thread][%d][%d] SUCCCESS!", threadId, index);
        return true;
      }
      if (IsGone(index)) break;
      if (reused && outcome.nWritten == 0) {
        --attempt;  // the kept connection had gone: not the server's failure
        continue;
      }
      reused = false;
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
    LOG_INFO("ERR:[Thread][%d][%d] gives up: nothing arrived for %u s", threadId, index,
             static_cast<unsigned>(still / 1000));
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

bool CHttpDownload::StopAsked() {
  if (!pStop || !__atomic_load_n(pStop, __ATOMIC_ACQUIRE)) return false;
  if (eStop == Stop::kNone) LOG_INFO("the download is stopped by its caller");
  StopAll(Stop::kCancelled);
  return true;
}

bool CHttpDownload::IsGone(int index) {
  if (eStop != Stop::kNone || StopAsked()) return true;
  Scoped::LeaveCriticalSection hold(csFile);
  return pPlan->IsDropped(index);
}

// The other copy of a duplicated piece finished it.
bool CHttpDownload::IsDoneElsewhere(int index) {
  Scoped::LeaveCriticalSection hold(csFile);
  if (!pPlan->IsDone(index)) return false;
  --vecFetchers[index];
  return true;
}

void CHttpDownload::Release(int index) {
  Scoped::LeaveCriticalSection hold(csFile);
  --vecFetchers[index];
}

// More work while the download goes well: the next piece from the front of what nobody fetches; when
// every byte has its fetcher and the size is known, the tail of the range with the most left; when no
// tail is worth a split, a second copy of the slowest range's last piece.
int CHttpDownload::TakeMoreWork(int finished) {
  if (eStop != Stop::kNone || bRangeFailed) return -1;
  Scoped::LeaveCriticalSection hold(csFile);
  int index = TakeFront();
  if (index >= 0) {
    LOG_INFO("[Thread][%d] takes bytes %lld-%lld from the front of what is left", ThreadId(), pPlan->Next(index),
             pPlan->End(index));
    return index;
  }
  index = SplitTail();
  if (index < 0) return DuplicateLastPiece(finished);
  Claim(index);
  LOG_INFO("[Thread][%d] takes bytes %lld-%lld off a slower range", ThreadId(), pPlan->Start(index), pPlan->End(index));
  return index;
}

// Half of the largest tail that someone fetches, as a range of its own; -1 when no tail is worth it.
// Under the download's lock.
int CHttpDownload::SplitTail() {
  auto busy = [this](int i) { return vecFetchers[i] > 0; };
  const int index = pPlan->SplitLargest(retry.nMinSplitBytes, busy);
  if (index >= 0 || !pPlan->InPieces() || !ShortTailIsSlow(::GetTickCount())) return index;
  return pPlan->SplitLargest(retry.nMinTailSplitBytes, busy);
}

// Whether the range with the most left, the one a split would cut, needs longer than
// kShortTailAfterMs at the pace its fetcher has made so far.
bool CHttpDownload::ShortTailIsSlow(DWORD now) const {
  const int largest = pPlan->LargestBusy([this](int i) { return vecFetchers[i] > 0; });
  if (largest < 0) return false;
  const double rate = RateOf(largest, now);
  return pPlan->Remaining(largest) > rate * kShortTailAfterMs;
}

// Bytes per millisecond the range's fetcher has made since it began.
double CHttpDownload::RateOf(int index, DWORD now) const {
  const FetchClock& clock = vecClocks[index];
  const DWORD elapsed = now - clock.nTick;
  return static_cast<double>(pPlan->Next(index) - clock.nFirst) / (elapsed ? elapsed : 1);
}

// A connection that finished early fetches the last piece of a slow range as well, so that a slow
// connection does not set the finish time; both copies write the same bytes, and whichever writes a
// byte first writes it. Only a range that has run long enough to show its pace, would need more than
// that again, and comes at less than half the pace of the connection that is free, is worth a second
// connection.
// Under the download's lock.
int CHttpDownload::DuplicateLastPiece(int finished) {
  if (!pPlan->SizeKnown() || pPlan->IsOneStream()) return -1;
  const DWORD now = ::GetTickCount();
  const double idleRate = RateOf(finished, now);
  int slowest = -1;
  double longestMs = 0;
  for (int i = 0; i < pPlan->RangeCount(); ++i) {
    if (pPlan->IsDone(i) || pPlan->IsDropped(i) || vecFetchers[i] != 1 || pPlan->Remaining(i) <= kBlockSize) continue;
    if (now - vecClocks[i].nTick < kDuplicateAfterMs) continue;          // too soon to tell its pace
    if (now - vecClocks[i].nLastByte > kDuplicateAfterMs / 2) continue;  // not receiving now
    const double rate = RateOf(i, now);
    const double leftMs = pPlan->Remaining(i) / (rate > 0 ? rate : 1e-9);
    if (leftMs > kDuplicateAfterMs && rate * 2 < idleRate && leftMs > longestMs) {
      slowest = i;
      longestMs = leftMs;
    }
  }
  if (slowest < 0) return -1;
  ++vecFetchers[slowest];
  LOG_INFO("[Thread][%d] fetches bytes %lld-%lld of a slower range as well: the first copy wins", ThreadId(),
           pPlan->Next(slowest), pPlan->End(slowest));
  return slowest;
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
