#pragma once

// Segmented download of one remote file into one local file: equal byte ranges, one thread and one
// request at a time per range, up to eleven attempts per range two seconds apart on whichever HTTP
// backend has failed less in this process, every block written at its offset under one lock.
// One download is one file: every range must come over the scheme that answered the size query, name
// the range asked for out of the size the query gave, and carry the query's validator.

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RangePlan.h"
#include "stdafx.h"
#include "base/Scoped.h"

class CBaseRequest;

// Runs the whole download on the caller's thread; true exactly when the result is 0. `pStopFlag`, when
// given, is cleared at the start.
bool RunHttpDownload(DownloadParam& param, DownloadCallback callback, unsigned char* pStopFlag);

// Size of the remote file, or 0 when it cannot be read (an answer other than 200, an empty file).
// With `secureOnly` the query never falls back to plain HTTP.
int GetRemoteFileSize(const std::wstring& url, bool secureOnly = false);

// What the size query learnt about the one file a download fetches.
struct RemoteFile {
  int nSize = 0;
  bool bOverTls = false;    // the scheme every range must use
  std::wstring strETag;     // as the server wrote them; empty when not given
  std::wstring strLastModified;
  // What If-Range can carry: a strong ETag, else Last-Modified, else nothing.
  std::wstring Validator() const;
};

// "bytes START-END/TOTAL" exactly; false for anything else ("*" totals included).
bool ParseContentRange(const std::wstring& text, int& start, int& end, int& total);

// Path helpers (backslash separated).
// Turns every "/" into "\" and then every pair of backslashes into one, left to right.
void NormalizePath(std::wstring& path);
// The text before the last backslash of the normalized path; false when there is none.
bool GetParentDir(const std::wstring& path, std::wstring& folder);
bool PathExists(const std::wstring& path);
// Creates the folder and every missing folder above it; true when it exists afterwards.
bool MakeDirs(const std::wstring& folder);

// Waits until every thread has ended and hands back what WaitForMultipleObjects said. When that wait
// fails, each thread is waited for alone, and one whose handle cannot be waited on is polled.
DWORD WaitForThreads(const std::vector<HANDLE>& threads);

struct DownloadRange;

class CHttpDownload {
 public:
  static constexpr int kAttempts = 11;          // per range
  static constexpr DWORD kRetryPauseMs = 2000;  // between two attempts of a range
  static constexpr int kBlockSize = 102400;     // bytes per read and per write
  static constexpr int kMaxConnsPerServer = 50;

  CHttpDownload(DownloadParam& param, DownloadCallback callback, unsigned char* pStopFlag);
  CHttpDownload(const CHttpDownload&) = delete;
  CHttpDownload& operator=(const CHttpDownload&) = delete;

  // One of the DownloadResult codes; the callback sees code 0 first and code 3 last.
  int Download();

  // Backend type for `attempt` of a range: the one that has failed less in this process, and on a
  // tie WinHTTP for even attempts and WinINet for odd ones.
  static int ChooseBackend(int winHttpFailures, int internetFailures, int attempt);
  // Failed range attempts of each backend in this process so far.
  static void GetBackendFailures(int& winHttp, int& internet);

  // Makes the request of each attempt; CBaseRequest::CreateInstance unless replaced before Download.
  using RequestFactory = std::unique_ptr<CBaseRequest> (*)(int type);
  void SetRequestFactory(RequestFactory factory) { pRequestFactory = factory; }

 private:
  struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
  };

  int DownloadImp();
  bool CheckParam();
  bool GetDownloadFileSize();
  bool DownLoadContent();
  std::vector<Scoped::CloseHandle> StartRanges(DownloadRange* ranges);
  void WaitForRanges(const std::vector<Scoped::CloseHandle>& threads);
  static DWORD WINAPI DownloadThreadProc(LPVOID parameter);
  int ChooseRangeBackend(int attempt) const;
  bool RunAttempt(CBaseRequest& request, DownloadRange& range);
  bool IsAnswerOfThisFile(CBaseRequest& request, const DownloadRange& range);
  bool HasRangeStatus(CBaseRequest& request, const DownloadRange& range);
  bool NamesThisRange(CBaseRequest& request, const DownloadRange& range);
  bool HasThisVersion(CBaseRequest& request);
  bool ReadUrlContent(CBaseRequest& request, DownloadRange& range);
  bool WriteBlock(int offset, const char* data, int count);
  void ForgetBytes(int count);
  void FinishRange(const DownloadRange& range, bool done);
  void Notify(int code, int first, int second);

  DownloadParam& param;
  DownloadCallback pCallback;
  int nFileSize = 0;
  RemoteFile remote;  // set by GetDownloadFileSize
  std::unique_ptr<CRangePlan> pPlan;       // during DownLoadContent
  std::unique_ptr<FILE, FileCloser> pFile;  // during DownLoadContent
  Scoped::CriticalSection csFile;          // guards pFile, the plan and the progress callback
  RequestFactory pRequestFactory;
};
