#include "HttpDownload.h"

#include <fcntl.h>
#include <io.h>
#include <shlwapi.h>

#include <atomic>
#include <climits>
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

// Only a 200 describes the file: an error page's or a proxy's answer has a length of its own.
bool ReadSizeAnswer(CBaseRequest& request, RemoteFile& file) {
  int status = 0;
  if (!request.GetStatusCode(status)) return false;
  if (status != 200) {
    LOG_INFO("ERR:[%s] size query answered HTTP status %d", request.GetTypeName(), status);
    return false;
  }
  if (!request.GetUrlFileSize(file.nSize)) return false;
  file.bOverTls = request.bAnsweredOverTls;
  if (!request.GetHeader(CBaseRequest::Header::kETag, file.strETag)) file.strETag.clear();
  if (!request.GetHeader(CBaseRequest::Header::kLastModified, file.strLastModified)) file.strLastModified.clear();
  return true;
}

bool QueryWith(CBaseRequest& request, const std::wstring& url, bool secureOnly, RemoteFile& file) {
  if (secureOnly) request.eSchemes = CBaseRequest::Schemes::kSecureOnly;
  return request.OpenUrl(url) && ReadSizeAnswer(request, file);
}

// The size query: WinHTTP with HEAD first, then WinINet with GET (whose body is never read).
bool QueryRemoteFile(const std::wstring& url, bool secureOnly, RemoteFile& file) {
  bool answered = false;
  {
    CWinHttpRequest request;
    request.strVerb = L"HEAD";
    answered = QueryWith(request, url, secureOnly, file);
  }
  if (!answered) {
    CInternetRequest request;
    answered = QueryWith(request, url, secureOnly, file);
  }
  if (answered && file.nSize == 0) {
    LOG_INFO("ERR:the remote file is empty");
    return false;
  }
  return answered;
}

std::wstring RangeHeader(int start, int end) {
  wchar_t header[64] = {};
  _snwprintf(header, 63, L"Range:bytes=%d-%d", start, end);
  return header;
}

// A server whose file changed since the size query answers with the whole new file instead of the
// range, so a stale range is refused by the server as well as by the checks here.
std::wstring RangeHeaders(int start, int end, const std::wstring& validator) {
  std::wstring headers = RangeHeader(start, end);
  if (!validator.empty()) headers += L"\r\nIf-Range: " + validator;
  return headers;
}

bool IsWeakETag(const std::wstring& etag) { return etag.compare(0, 2, L"W/") == 0; }

bool ReadNumber(const std::wstring& text, size_t& at, int& number) {
  long long value = 0;
  size_t first = at;
  for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
    value = value * 10 + (text[at] - L'0');
    if (value > INT_MAX) return false;
  }
  number = static_cast<int>(value);
  return at > first;
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
  return QueryRemoteFile(url, secureOnly, file) ? file.nSize : 0;
}

std::wstring RemoteFile::Validator() const {
  if (!strETag.empty() && !IsWeakETag(strETag)) return strETag;
  return strLastModified;
}

bool ParseContentRange(const std::wstring& text, int& start, int& end, int& total) {
  const std::wstring unit = L"bytes ";
  if (text.compare(0, unit.size(), unit) != 0) return false;
  size_t at = unit.size();
  if (!ReadNumber(text, at, start) || at >= text.size() || text[at++] != L'-') return false;
  if (!ReadNumber(text, at, end) || at >= text.size() || text[at++] != L'/') return false;
  return ReadNumber(text, at, total) && at == text.size();
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
  if (!QueryRemoteFile(param.strDownloadUrl, param.bSecureOnly, remote)) return false;
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
  const std::wstring headers = RangeHeaders(range.start, range.start + range.length - 1, self.remote.Validator());
  const CBaseRequest::Schemes schemes =
      self.remote.bOverTls ? CBaseRequest::Schemes::kSecureOnly : CBaseRequest::Schemes::kPlainOnly;
  int threadId = static_cast<int>(::GetCurrentThreadId());
  LOG_INFOW(L"[Thread][%d][%d][%ls] beging...", threadId, range.index, header.c_str());
  bool done = false;
  // Every pass counts as an attempt, one whose request object could not even be made included.
  for (int attempt = 0; attempt < kAttempts && !done; ++attempt) {
    if (attempt > 0) ::Sleep(kRetryPauseMs);
    const int type = self.ChooseRangeBackend(attempt);
    std::unique_ptr<CBaseRequest> request = self.pRequestFactory(type);
    if (!request) {
      LOG_INFO("ERR:CBaseRequest::CreateInstance fail! (attempt %d)", attempt);
      continue;
    }
    request->nMaxConnsPerServer = kMaxConnsPerServer;
    request->strHeaders = headers;
    request->eSchemes = schemes;
    done = self.RunAttempt(*request, range);
    if (done) break;
    ++FailureCounter(type);
    LOG_INFO("[Thread][%d][%d][%s] Request fail,  retry %d...(WinHttp fail:%d, Internet fail:%d)", threadId,
             range.index, request->GetTypeName(), attempt, g_winHttpFailures.load(), g_internetFailures.load());
  }
  self.FinishRange(range, done);
  return 0;
}

// Only WinHTTP speaks plain HTTP, so a download the size query put on plain HTTP stays with it.
int CHttpDownload::ChooseRangeBackend(int attempt) const {
  if (!remote.bOverTls) return CBaseRequest::kWinHttp;
  return ChooseBackend(g_winHttpFailures, g_internetFailures, attempt);
}

// An answer that is not this range of this file never becomes part of the file, even when its body
// happens to be as long as the range.
bool CHttpDownload::RunAttempt(CBaseRequest& request, DownloadRange& range) {
  if (!request.OpenUrl(param.strDownloadUrl)) return false;
  if (!IsAnswerOfThisFile(request, range)) return false;
  return ReadUrlContent(request, range);
}

bool CHttpDownload::IsAnswerOfThisFile(CBaseRequest& request, const DownloadRange& range) {
  return HasRangeStatus(request, range) && NamesThisRange(request, range) && HasThisVersion(request);
}

// 206 for a range. A 200 carries the whole file, which is the range only when the range is the whole
// file; otherwise the server ignored Range, or found through If-Range that the file has changed.
bool CHttpDownload::HasRangeStatus(CBaseRequest& request, const DownloadRange& range) {
  int status = 0;
  if (!request.GetStatusCode(status)) return false;
  if (status == 206 || (status == 200 && range.length == nFileSize)) return true;
  if (status == 200) {
    LOG_INFO("ERR:[%s] HTTP status 200 to a range request: the server sent the whole file", request.GetTypeName());
  } else {
    LOG_INFO("ERR:[%s] HTTP status %d", request.GetTypeName(), status);
  }
  return false;
}

// A 206 must name the range asked for out of the size the size query gave: another total is another
// file, another range would be written at the wrong offset.
bool CHttpDownload::NamesThisRange(CBaseRequest& request, const DownloadRange& range) {
  int status = 0;
  if (!request.GetStatusCode(status) || status != 206) return true;
  std::wstring text;
  int start = 0, end = 0, total = 0;
  if (request.GetHeader(CBaseRequest::Header::kContentRange, text) && ParseContentRange(text, start, end, total) &&
      start == range.start && end == range.start + range.length - 1 && total == nFileSize) {
    return true;
  }
  LOG_INFOW(L"ERR:[%hs] Content-Range (%ls) is not bytes %d-%d/%d", request.GetTypeName(), text.c_str(),
            range.start, range.start + range.length - 1, nFileSize);
  return false;
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
