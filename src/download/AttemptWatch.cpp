#include "download/AttemptWatch.h"

#include <process.h>

#include <memory>
#include <utility>

#include "base/Scoped.h"
#include "log/Log.h"

namespace {

// How often the watcher looks at the work; well below every limit the engine uses.
constexpr DWORD kPollMs = 100;
// After a cancel, how long the work gets to notice it before it is left alone.
constexpr DWORD kGraceMs = 1000;

// Everything the work's thread touches: it keeps this alive for as long as it runs.
struct Shared {
  std::function<void(CAttemptWatch::Progress&)> work;
  CAttemptWatch::Progress progress;
  Scoped::CloseHandle done;
};

unsigned __stdcall WorkerProc(void* parameter) {
  std::unique_ptr<std::shared_ptr<Shared>> owned(static_cast<std::shared_ptr<Shared>*>(parameter));
  Shared& shared = **owned;
  shared.work(shared.progress);
  ::SetEvent(shared.done.get());
  return 0;
}

bool StartWorker(const std::shared_ptr<Shared>& shared) {
  auto owned = std::make_unique<std::shared_ptr<Shared>>(shared);
  Scoped::CloseHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &WorkerProc, owned.get(), 0, nullptr)));
  if (!thread) return false;
  owned.release();  // the thread owns its reference now
  return true;
}

// Measures the work against the limits as time goes by.
class Judge {
 public:
  Judge(const CAttemptWatch::Limits& limits, DWORD start) : limits_(limits), start_(start) {}

  CAttemptWatch::End Check(bool answered, long long bytes, DWORD lastByte, DWORD now) {
    if (!answered) {
      return now - start_ >= limits_.nAnswerMs ? CAttemptWatch::End::kNoAnswer : CAttemptWatch::End::kFinished;
    }
    if (!sawAnswer_) {
      sawAnswer_ = true;
      answeredAt_ = windowStart_ = now;
      windowBytes_ = bytes;
    }
    const DWORD quietSince = bytes > 0 && lastByte - answeredAt_ < 0x80000000u ? lastByte : answeredAt_;
    if (limits_.nStallMs && now - quietSince >= limits_.nStallMs) return CAttemptWatch::End::kStalled;
    if (limits_.nRateWindowMs && now - windowStart_ >= limits_.nRateWindowMs) {
      if (bytes - windowBytes_ < limits_.nMinWindowBytes) return CAttemptWatch::End::kTooSlow;
      windowStart_ = now;
      windowBytes_ = bytes;
    }
    return CAttemptWatch::End::kFinished;
  }

 private:
  const CAttemptWatch::Limits& limits_;
  DWORD start_;
  bool sawAnswer_ = false;
  DWORD answeredAt_ = 0;
  DWORD windowStart_ = 0;
  long long windowBytes_ = 0;
};

}  // namespace

void CAttemptWatch::Progress::Received(int count) {
  if (count <= 0) return;
  nBytes += count;
  nLastByteTick = ::GetTickCount();
}

CAttemptWatch::End CAttemptWatch::Run(std::function<void(Progress&)> work, std::function<void()> cancel,
                                      const Limits& limits) {
  auto shared = std::make_shared<Shared>();
  shared->work = std::move(work);
  shared->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!shared->done || !StartWorker(shared)) {
    LOG_INFO("ERR:no thread for the request's watch, error %lu: it runs unwatched", ::GetLastError());
    shared->work(shared->progress);
    return End::kFinished;
  }
  Judge judge(limits, ::GetTickCount());
  for (;;) {
    if (::WaitForSingleObject(shared->done.get(), kPollMs) == WAIT_OBJECT_0) return End::kFinished;
    const Progress& progress = shared->progress;
    const End overrun = judge.Check(progress.bAnswered, progress.nBytes, progress.nLastByteTick, ::GetTickCount());
    if (overrun == End::kFinished) continue;
    cancel();
    if (::WaitForSingleObject(shared->done.get(), kGraceMs) != WAIT_OBJECT_0) {
      LOG_INFO("ERR:the request did not end when cancelled (%s): left to end on its own thread", Describe(overrun));
    }
    return overrun;
  }
}

CAttemptWatch::End CAttemptWatch::RunUntilAnswered(std::function<void()> work, std::function<void()> cancel,
                                                   DWORD answerMs) {
  Limits limits;
  limits.nAnswerMs = answerMs;
  limits.nStallMs = 0;
  limits.nRateWindowMs = 0;
  return Run(
      [work](Progress& progress) {
        work();
        progress.Answered();
      },
      std::move(cancel), limits);
}

const char* CAttemptWatch::Describe(End end) {
  switch (end) {
    case End::kNoAnswer:
      return "no answer in time";
    case End::kStalled:
      return "the body stalled";
    case End::kTooSlow:
      return "the body came too slowly";
    default:
      return "finished";
  }
}
