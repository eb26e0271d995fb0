#pragma once

// Segmented download of one remote file into one local file: byte ranges (equal ones, or for a large
// file pieces from the front of what is left, see CRangePlan), one thread and one request at a time
// per range, every block written at its offset under one lock. A failed attempt
// keeps what it wrote and asks for the rest; attempts pause longer the less they bring, on the backend
// that works for this download, else the one that has failed less in this process. A range that
// finishes early takes the tail of the one with the most left; a server that ignores Range gets one
// stream of the whole file; a size no answer names is streamed to the end of the body. A file that
// cannot be written, or a proxy that keeps asking for credentials, stops every range at once.
// One download is one file: every range must come over the scheme that answered the size query, name
// the range asked for out of the size the query gave, and carry the query's validator.
// HttpDownload.cpp runs the download and its ranges; HttpDownloadAttempt.cpp one attempt and the
// judging of its answer; HttpDownloadResume.cpp the partial file across runs and the digest.

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/AttemptWatch.h"
#include "trust/PrefixDigest.h"
#include "download/RangePlan.h"
#include "download/RemoteFile.h"
#include "download/ResumeState.h"
#include "download/DownloadTypes.h"
#include "base/Scoped.h"

class CBaseRequest;

// Runs the whole download on the caller's thread; true exactly when the result is 0. `pStopFlag`, when
// given, is cleared at the start; another thread that sets it stops the download at its next block or
// attempt, with kDownloadResult_Cancelled.
bool RunHttpDownload(DownloadParam& param, DownloadCallback callback, unsigned char* pStopFlag);

// Size of the remote file, or 0 when it cannot be read (an answer other than 200, an empty file, a
// server that names no size, no answer within the engine's bounds).
// With `secureOnly` the query never falls back to plain HTTP.
long long GetRemoteFileSize(const std::wstring& url, bool secureOnly = false);
// The size query as the space check asks it, with its whole answer (size, validator, scheme), which
// the download can then take instead of asking again. True when a server answered; the size may be
// CRangePlan::kUnknownSize.
bool GetRemoteFile(const std::wstring& url, bool secureOnly, RemoteFile& file);

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

// When a range stops trying, how long it pauses between attempts, and when a range that finished
// early takes work off another. The defaults are the installer's; tests shorten the times.
struct RetryPolicy {
  // A range gives up after this many attempts in a row that brought no byte; an attempt that brought
  // bytes starts the count again.
  int nDeadAttempts = 11;
  // Pauses double from the first to the longest after every attempt that brought nothing, each with
  // up to a quarter more or less at random, so that the ranges of many installers that lost the
  // same server do not all come back in the same second.
  DWORD nFirstPauseMs = 1000;
  DWORD nLongestPauseMs = 8000;
  // A range that has not grown for this long gives up, whatever its attempts brought.
  DWORD nNoGrowthMs = 120000;
  // Attempts of all ranges of one download together: a server that hands out a few bytes per
  // connection would otherwise keep a download alive for hours.
  int nMaxAttempts = 300;
  // A connection that delivers nothing for this long is abandoned (its range resumes on another).
  DWORD nStallMs = 20000;
  // One request may take this long from its start to its answer's headers (connect, TLS, headers),
  // and its body must bring nMinWindowBytes in every nRateWindowMs; the engine enforces both itself.
  DWORD nAnswerMs = 30000;
  DWORD nRateWindowMs = 30000;
  int nMinWindowBytes = 16 * 1024;
  // Answers that a retry cannot change (416, a body in an encoding the engine cannot write): after
  // this many of them, from any ranges, the download ends.
  int nPermanentAnswers = 3;
  // Pieces taken from the front are at least this long; a file too small for one such piece per
  // connection is cut into equal ranges.
  long long nMinSplitBytes = 512 * 1024;
  // When nothing is left to take, a connection that finished takes half of the largest remainder when
  // both halves are at least nMinSplitBytes long, or, for a file fetched in pieces and a range slow
  // enough (CHttpDownload::kShortTailAfterMs), this long: there the connection asks on the connection
  // it kept, so a short tail costs one request, and the last pieces no longer set the finish time.
  // Shorter tails finish sooner where they are.
  long long nMinTailSplitBytes = 128 * 1024;
};

class CHttpDownload {
 public:
  static constexpr int kBlockSize = 102400;  // bytes per read and per write
  static constexpr int kMaxConnsPerServer = 50;
  // A slow range's last piece gets a second connection only when it would need longer than this.
  static constexpr double kDuplicateAfterMs = 500;
  // A tail shorter than twice RetryPolicy::nMinSplitBytes is split only when its range would need
  // longer than this at its pace: on a fast link it ends before a new request would bring anything.
  static constexpr double kShortTailAfterMs = 50;
  // How far the state file may lag behind what is written: a block or so per range on a slow link.
  static constexpr DWORD kStateSaveMs = 20;

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
  // The pause after `deadAttempts` attempts in a row that brought nothing (an attempt that brought
  // bytes counts as one), for `random` from 0 up to 1.
  static DWORD RetryPauseMs(const RetryPolicy& policy, int deadAttempts, double random);

  // Makes the request of each attempt; CBaseRequest::CreateInstance unless replaced before Download.
  // The attempt shares the request with the thread that runs it.
  using RequestFactory = std::unique_ptr<CBaseRequest> (*)(int type);
  void SetRequestFactory(RequestFactory factory) { pRequestFactory = factory; }
  void SetRetryPolicy(const RetryPolicy& policy) { retry = policy; }

 private:
  // Why a download stopped before its ranges were through.
  enum class Stop { kNone, kLocalWrite, kProxyAuth, kChanged, kPermanent, kCancelled };
  // An attempt's work and the download: the range thread cuts the link when it gives the attempt up,
  // and the work, which may still run on its own thread, touches the download only through it.
  struct AttemptLink;
  // Where an answer's first body byte belongs in the file, and how many bytes the answer may carry.
  struct Body {
    long long nOffset = 0;
    long long nLimit = 0;
  };
  struct Stored {
    bool bFailed = false;  // the file could not be written
    bool bGone = false;    // the download stopped, or the range was dropped
    bool bDone = false;    // the range is complete
    int nWritten = 0;
  };
  struct Attempt {
    bool bComplete = false;
    bool bDrained = false;  // the answer was read to its end: its connection can carry another request
    long long nWritten = 0;
  };

  static int ThreadId();
  // "Range:bytes=START-END", or open-ended for a file whose size no answer named.
  static std::wstring RangeHeader(long long start, long long end);
  // What a failed write says about the disk, for the log.
  static const char* WriteErrorText(DWORD error);

  int DownloadImp();
  // Once more from a new size query after the file changed under the first round; false otherwise.
  bool StartAgainAfterChange(int round);
  int ContentFailure() const;
  bool CheckParam();
  bool GetDownloadFileSize(int round);
  bool DownLoadContent();
  // Goes on from a partial download its state file vouches for, or starts the file afresh; either way
  // the file is open and the plan made.
  bool PrepareTarget(int count);
  bool ResumableState(ResumeState& state, std::string& why) const;
  bool OpenTarget(DWORD disposition);
  // The state file: saved at most every kStateSaveMs while ranges write (`force` saves at once),
  // deleted when the download is complete or its file is no longer what the server has.
  void SaveStateNow(bool force);
  void KeepOrForgetState(bool succeeded);
  void StartDigest();
  void FinishDigest();
  long long WrittenPrefix();
  std::vector<Scoped::CloseHandle> StartRanges(std::vector<DownloadRange>& ranges);
  int TakeFront();
  void Claim(int index);
  void WaitForRanges(const std::vector<Scoped::CloseHandle>& threads);
  static DWORD WINAPI DownloadThreadProc(LPVOID parameter);
  // The request that completed a thread's last range, kept for its next one.
  struct KeptRequest {
    std::shared_ptr<CBaseRequest> request;
    int nType = -1;
  };
  bool FetchRange(int index, KeptRequest& kept);
  int TakeMoreWork(int finished);
  int SplitTail();
  bool ShortTailIsSlow(DWORD now) const;
  int DuplicateLastPiece(int finished);
  double RateOf(int index, DWORD now) const;
  bool PauseBeforeRetry(int deadAttempts);
  bool GivesUp(int index, int deadAttempts, DWORD lastGrowth);
  bool IsGone(int index);
  bool IsDoneElsewhere(int index);
  void Release(int index);
  int ChooseRangeBackend(int attempt, int deadAttempts) const;
  std::wstring RequestHeaders(int index);
  CAttemptWatch::Limits WatchLimits() const;
  Attempt RunAttempt(const std::shared_ptr<CBaseRequest>& request, int index);
  static void AttemptWork(AttemptLink& link, CBaseRequest& request, const std::wstring& url,
                          CAttemptWatch::Progress& progress);
  bool TakeBlock(AttemptLink& link, CBaseRequest& request, const Body& body, long long received, const char* data,
                 int count);
  void EndOfAnswer(AttemptLink& link, CBaseRequest& request, const Body& body, long long received, int lastCount);
  bool JudgeAnswer(CBaseRequest& request, int index, Body& body);
  bool HasUsableEncoding(CBaseRequest& request);
  bool HasQueriedScheme(CBaseRequest& request);
  void FileChanged();
  void PermanentAnswer(const char* what);
  bool HasRangeStatus(CBaseRequest& request, int status);
  bool NamesThisRange(CBaseRequest& request, int index, Body& body);
  bool IsWholeFileAnswer(CBaseRequest& request, int index, Body& body);
  bool HasThisVersion(CBaseRequest& request);
  bool EndOfBody(int index);
  Stored Store(int index, long long offset, const char* data, int count);
  bool WriteAt(long long offset, const char* data, int count);
  void StopAll(Stop reason);
  // Whether the caller has set the stop flag (which then stops every range).
  bool StopAsked();
  void Notify(int code, long long first, long long second);

  DownloadParam& param;
  DownloadCallback pCallback;
  long long nFileSize = 0;  // CRangePlan::kUnknownSize while no answer has named it
  RemoteFile remote;        // set by GetDownloadFileSize
  RetryPolicy retry;
  std::unique_ptr<CRangePlan> pPlan;  // during DownLoadContent
  std::vector<int> vecFetchers;       // per range of the plan: how many threads fetch it (0 to 2)
  int nConnections = 0;               // range threads of this download
  // Per range of the plan: when its first fetcher began, and from which byte, for its pace.
  struct FetchClock {
    DWORD nTick = 0;
    long long nFirst = 0;
    DWORD nLastByte = 0;  // when it last wrote; a range between attempts is not slow, it is waiting
  };
  std::vector<FetchClock> vecClocks;
  Scoped::CloseFile hFile;         // during DownLoadContent
  Scoped::CriticalSection csFile;  // guards hFile, the plan, vecFetchers and the progress callback
  Scoped::CloseHandle hStopEvent;  // set when the whole download stops
  std::atomic<Stop> eStop{Stop::kNone};
  std::atomic<bool> bRangeFailed{false};
  std::atomic<int> nAttempts{0};
  std::atomic<int> nPermanent{0};        // answers a retry cannot change, over all ranges
  std::atomic<int> nWorkingBackend{-1};  // the backend that last completed a range of this download
  RequestFactory pRequestFactory;
  unsigned char* pStop;       // the caller's stop flag, or null
  std::wstring strStatePath;  // empty while the download cannot be resumed (no validator)
  std::mutex saveLock;        // one state save at a time
  std::atomic<DWORD> nLastSaveTick{0};
  std::unique_ptr<CPrefixDigest> pDigest;  // during DownLoadContent, when a digest is asked for
};
