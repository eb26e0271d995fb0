#include "HttpDownload.h"

#include <fcntl.h>
#include <io.h>
#include <shlwapi.h>

#include <atomic>
#include <ctime>
#include <new>
#include <vector>

#include "log/Log.h"
#include "tool/BaseRequest.h"
#include "base/FileSystem.h"

struct DownloadRange {
  CHttpDownload* owner;
  int index;
  int start;
  int length;
};

namespace {

// The target may be deleted while ranges still write it: the window's clean-up deletes it when the user
// closes the window during a download, and the process then ends with the ranges' handles open. With
// delete sharing the file goes with the last handle instead of staying behind.
FILE* OpenTarget(const std::wstring& path) {
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    ::CloseHandle(handle);
    return nullptr;
  }
  FILE* file = _fdopen(fd, "wb");
  if (!file) _close(fd);
  return file;
}

// Failed range attempts per backend, over every range of every download of the process.
std::atomic<int> g_winHttpFailures{0};
std::atomic<int> g_internetFailures{0};

std::atomic<int>& FailureCounter(int type) {
  return type == CBaseRequest::kWinHttp ? g_winHttpFailures : g_internetFailures;
}

// The size query: WinHTTP with HEAD first, then WinINet with GET (whose body is never read).
bool QueryRemoteSize(const std::wstring& url, int& size) {
  {
    CWinHttpRequest request;
    request.strVerb = L"HEAD";
    if (request.OpenUrl(url) && request.GetUrlFileSize(size)) return true;
  }
  CInternetRequest request;
  return request.OpenUrl(url) && request.GetUrlFileSize(size);
}

std::wstring RangeHeader(int start, int end) {
  wchar_t header[64] = {};
  _snwprintf(header, 63, L"Range:bytes=%d-%d", start, end);
  return header;
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

int GetRemoteFileSize(const std::wstring& url) {
  int size = 0;
  return QueryRemoteSize(url, size) ? size : 0;
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
    return kDownloadResult_NoFileSize;
  }
  Notify(kDownload_FileSize, nFileSize, 0);
  if (!DownLoadContent()) {
    LOG_INFO("ERR:DownLoadContent fail!");
    return kDownloadResult_ContentFail;
  }
  return kDownloadResult_Success;
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
  return QueryRemoteSize(param.strDownloadUrl, nFileSize);
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
  pFile.reset(OpenTarget(param.strSavePath));
  if (!pFile) {
    LOG_INFOW(L"ERR:Open file fail! (%ls)", param.strSavePath.c_str());
    return false;
  }
  pPlan = std::make_unique<CRangePlan>(nFileSize, count);
  std::vector<DownloadRange> ranges(count);
  WaitForRanges(StartRanges(ranges.data()));
  bool succeeded = pPlan->AllDone();
  pPlan.reset();
  pFile.reset();
  return succeeded;
}

// Starts one thread per range that has bytes to fetch and hands back the threads that run. A range
// whose thread cannot start stays incomplete, so the download fails instead of waiting for it.
std::vector<Scoped::CloseHandle> CHttpDownload::StartRanges(DownloadRange* ranges) {
  std::vector<Scoped::CloseHandle> threads;
  for (int i = 0; i < pPlan->RangeCount(); ++i) {
    ranges[i] = DownloadRange{this, i, pPlan->Start(i), pPlan->Length(i)};
    if (!pPlan->IsDone(i)) {
      HANDLE thread = ::CreateThread(nullptr, 0, &CHttpDownload::DownloadThreadProc, &ranges[i], 0, nullptr);
      if (thread) {
        threads.emplace_back(thread);
      } else {
        LOG_INFO("ERR:CreateThread fail! (range %d) 0x%x", i, static_cast<unsigned>(::GetLastError()));
      }
    }
    DebugTrace("[%d] %d ~ %d,length = %d\n", i, ranges[i].start, ranges[i].start + ranges[i].length - 1,
               ranges[i].length);
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

DWORD WINAPI CHttpDownload::DownloadThreadProc(LPVOID parameter) {
  DownloadRange& range = *static_cast<DownloadRange*>(parameter);
  CHttpDownload& self = *range.owner;
  std::wstring header = RangeHeader(range.start, range.start + range.length - 1);
  int threadId = static_cast<int>(::GetCurrentThreadId());
  LOG_INFOW(L"[Thread][%d][%d][%ls] beging...", threadId, range.index, header.c_str());
  bool done = false;
  // Every pass counts as an attempt, one whose request object could not even be made included.
  for (int attempt = 0; attempt < kAttempts && !done; ++attempt) {
    if (attempt > 0) ::Sleep(kRetryPauseMs);
    const int type = ChooseBackend(g_winHttpFailures, g_internetFailures, attempt);
    std::unique_ptr<CBaseRequest> request = self.pRequestFactory(type);
    if (!request) {
      LOG_INFO("ERR:CBaseRequest::CreateInstance fail! (attempt %d)", attempt);
      continue;
    }
    request->nMaxConnsPerServer = kMaxConnsPerServer;
    request->strHeaders = header;
    done = self.RunAttempt(*request, range);
    if (done) break;
    ++FailureCounter(type);
    LOG_INFO("[Thread][%d][%d][%s] Request fail,  retry %d...(WinHttp fail:%d, Internet fail:%d)", threadId,
             range.index, request->GetTypeName(), attempt, g_winHttpFailures.load(), g_internetFailures.load());
  }
  self.FinishRange(range, done);
  return 0;
}

// An answer with an error status never becomes part of the file, even when its body happens to be
// as long as the range.
bool CHttpDownload::RunAttempt(CBaseRequest& request, DownloadRange& range) {
  if (!request.OpenUrl(param.strDownloadUrl)) return false;
  int status = 0;
  if (!request.GetStatusCode(status)) return false;
  if (status >= 400) {
    LOG_INFO("ERR:[%s] HTTP status %d", request.GetTypeName(), status);
    return false;
  }
  return ReadUrlContent(request, range);
}

// Reads the answer into the range. A block that would run past the range's end (a server that sent
// more than was asked for) fails the attempt before it is written, so it cannot overwrite ranges
// that are already complete.
bool CHttpDownload::ReadUrlContent(CBaseRequest& request, DownloadRange& range) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockSize]);
  if (!buffer) {
    LOG_INFO("ERR: new %d bytes fail!", kBlockSize);
    return false;
  }
  int written = 0;
  bool intact = true;
  for (int count; intact && (count = request.HttpRead(buffer.get(), kBlockSize)) > 0;) {
    intact = count <= range.length - written && WriteBlock(range.start + written, buffer.get(), count);
    if (intact) written += count;
  }
  if (intact && written == range.length) return true;
  ForgetBytes(written);
  LOG_INFO("ERR:[%s] download Fail ,dstSize: %d !=  downloadingSize: %d)", request.GetTypeName(), range.length,
           written);
  return false;
}

// Seek, flush, write, flush, all under the lock, so that blocks of different ranges never mix in the
// stream's buffer. A write that fails or falls short fails the range.
bool CHttpDownload::WriteBlock(int offset, const char* data, int count) {
  Scoped::LeaveCriticalSection hold(csFile);
  FILE* file = pFile.get();
  if (std::fseek(file, offset, SEEK_SET) != 0 || std::fflush(file) != 0 ||
      std::fwrite(data, 1, count, file) != static_cast<size_t>(count) || std::fflush(file) != 0) {
    LOG_INFO("ERR:write file fail! (offset %d, %d bytes)", offset, count);
    return false;
  }
  Notify(kDownload_Progress, pPlan->AddBytes(count), nFileSize);
  return true;
}

void CHttpDownload::ForgetBytes(int count) {
  Scoped::LeaveCriticalSection hold(csFile);
  pPlan->RemoveBytes(count);
}

void CHttpDownload::FinishRange(const DownloadRange& range, bool done) {
  if (!done) return;
  {
    Scoped::LeaveCriticalSection hold(csFile);
    pPlan->MarkDone(range.index);
  }
  LOG_INFOW(L"[Thread][%d][%d] SUCCCESS!", static_cast<int>(::GetCurrentThreadId()), range.index);
}
