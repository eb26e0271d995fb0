#pragma once

// The payload fetched in the background while the user reads the licence and picks a folder, into the
// install's own target, so that the install goes on from what is already there. Nothing runs, nothing
// is installed and nothing is reported before the click: the click hands the running download to the
// install flow (its progress and its end go there from then on), or, where the prefetch failed or
// never ran, the flow downloads itself and goes on from the partial file.

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "install/InstallFlow.h"
#include "base/FileSystem.h"

// Whether a connection of this cost (NLM_CONNECTION_COST_*) is metered: a fixed or variable price,
// roaming, or a data limit reached or near. An unknown cost counts as not metered.
bool IsMeteredCost(DWORD cost);
// The cost Windows reports for the machine's connections; NLM_CONNECTION_COST_UNKNOWN when it cannot
// say. Call on a thread that has COM initialised.
DWORD ReadConnectionCost();

class CPrefetch : public std::enable_shared_from_this<CPrefetch> {
 public:
  explicit CPrefetch(const InstallFlowSettings& settings);

  // Starts the background download unless the build turns prefetching off; a metered connection is
  // found out on the download's own thread, which then fetches nothing. Started by the click itself
  // (`clicked`), the download is the install's anyway and asks nothing of the connection.
  static std::shared_ptr<CPrefetch> Begin(const InstallFlowSettings& settings, bool enabled, bool clicked = false);

  // The remote size the prefetch learnt; 0 while it is unknown.
  long long KnownSize() const;
  // Waits until the download has named the size or ended (bounded by the engine's own time limits on
  // its size query); the size, or 0 when it ended without one.
  long long WaitForSize() const;
  // Hands the download to `flow`: its progress from now on and its end, at once when it has already
  // succeeded. False when the prefetch failed or fetched nothing: the flow then downloads itself.
  bool Adopt(const std::shared_ptr<CInstallFlow>& flow);
  // The flow went back to the home page: the download goes on for the next click.
  void Release(const CInstallFlow* flow);
  // The window closes: the download stops at its next block or attempt.
  void Cancel();

 private:
  void Run(bool clicked);
  static void Callback(int code, long long first, long long second, void* user);
  void OnEnd(int result, const DownloadParam& param);

  InstallFlowSettings settings_;
  mutable std::mutex lock_;
  mutable std::condition_variable sizeKnown_;
  std::shared_ptr<CInstallFlow> adopter_;
  long long size_ = 0, bytes_ = 0;
  bool ended_ = false;
  bool spent_ = false;  // its end went to a flow: a later click downloads afresh
  int result_ = kDownloadResult_BadParam;
  std::string sha256_;
  Base::FileStamp stamp_;
  unsigned char stop_ = 0;
};
