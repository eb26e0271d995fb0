#pragma once

// Hands work from worker threads to the window's thread. Every step goes into one queue, in the order
// the workers hand them over, and a private window message wakes the window's thread to run them; so a
// progress update handed over before a state change is always applied before it. A worker waits only
// for steps whose answer it needs (a message box), never for the rest.
//
// Copies share one queue: the window keeps one, each worker thread takes a copy. Once the window
// detaches (it is being destroyed), steps are dropped and waiting workers get their fallback answer.

#include <windows.h>

#include <functional>
#include <memory>

class CUiDispatcher {
 public:
  // The private message the window hands to HandleMessage. wParam and lParam carry nothing.
  static constexpr UINT kMessage = WM_APP + 0x2A1;

  using Step = std::function<void()>;
  using Question = std::function<int()>;

  CUiDispatcher();

  // Binds to the window whose thread runs the steps; called on that thread.
  void Attach(HWND window);
  // Drops queued steps and refuses new ones; called on the window's thread when it goes away.
  void Detach();

  // Queues a step; false when no window takes steps (detached, or its message queue refused).
  bool Post(Step step) const;
  // Runs a step on the window's thread and returns its answer; on that thread itself it runs at once.
  // `fallback` when the step could not run (no window, or the window went away while waiting).
  int Call(Question question, int fallback) const;

  // For the window procedure: true when `message` was the dispatcher's, after running what is queued.
  bool HandleMessage(UINT message) const;

 private:
  struct Core;
  void Drain() const;
  std::shared_ptr<Core> core_;
};
