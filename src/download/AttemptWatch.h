#pragma once

// Bounds on one request that the engine enforces itself. The platforms' own time-outs leave gaps: a
// TLS handshake that a server never finishes, headers that come a byte a second, a connect to a host
// that drops every packet and, under Wine, a WinINet read that never times out. So the blocking work
// of a request runs on a thread of its own while the caller watches it; work that overruns is cancelled
// (closing a request's handles ends the platform's wait on Windows) and, where even that does not end
// it (Wine), left to finish on its own thread. Such work must own everything it touches.

#include <windows.h>

#include <atomic>
#include <functional>

class CAttemptWatch {
 public:
  struct Limits {
    DWORD nAnswerMs = 30000;  // from the start until the answer's headers are in: connect, TLS, headers
    DWORD nStallMs = 20000;   // the longest wait for the next body byte; 0 when no body is read
    // The body must bring at least nMinWindowBytes in every nRateWindowMs: a connection that trickles
    // keeps both platform time-outs happy and would otherwise hold its range for hours.
    DWORD nRateWindowMs = 30000;
    int nMinWindowBytes = 16 * 1024;
  };

  // What the work tells its watcher; shared with the work's thread.
  class Progress {
   public:
    void Answered() { bAnswered = true; }
    void Received(int count);

   private:
    friend class CAttemptWatch;
    std::atomic<bool> bAnswered{false};
    std::atomic<long long> nBytes{0};
    std::atomic<DWORD> nLastByteTick{0};
  };

  enum class End {
    kFinished,  // the work returned in time
    kNoAnswer,  // no answer within nAnswerMs
    kStalled,   // no body byte for nStallMs
    kTooSlow,   // a window brought less than nMinWindowBytes
  };

  // Runs `work` on a thread of its own and waits for it within `limits`. When it overruns, `cancel` is
  // called (from this thread, while the work may still run) and the work is left to end alone. Where
  // no thread can be made, the work runs on the caller's thread, unwatched.
  static End Run(std::function<void(Progress&)> work, std::function<void()> cancel, const Limits& limits);
  // The same for work that reads no body, whose answer's headers are the whole exchange: it must end
  // within `answerMs`.
  static End RunUntilAnswered(std::function<void()> work, std::function<void()> cancel, DWORD answerMs);

  // "no answer within 30 s", ... for log lines.
  static const char* Describe(End end);
};
