#include "install/UiDispatcher.h"

#include <deque>
#include <mutex>
#include <utility>

#include "log/Log.h"
#include "base/Scoped.h"

struct CUiDispatcher::Core {
  std::mutex lock;
  std::deque<Step> steps;
  HWND window = nullptr;
  DWORD uiThread = 0;
  bool wakePending = false;  // a kMessage is on its way; the next steps ride along with it
  bool draining = false;     // UI thread only: a step's modal loop must not run later steps early
  bool closed = false;
};

namespace {

// How often a waiting worker looks whether the window is still there.
constexpr DWORD kAnswerPollMs = 100;

struct Answer {
  Scoped::CloseHandle ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  int value = 0;
};

}  // namespace

CUiDispatcher::CUiDispatcher() : core_(std::make_shared<Core>()) {}

void CUiDispatcher::Attach(HWND window) {
  std::lock_guard<std::mutex> hold(core_->lock);
  core_->window = window;
  core_->uiThread = ::GetCurrentThreadId();
  core_->closed = false;
  core_->wakePending = false;
}

void CUiDispatcher::Detach() {
  std::deque<Step> dropped;
  {
    std::lock_guard<std::mutex> hold(core_->lock);
    core_->closed = true;
    core_->window = nullptr;
    dropped.swap(core_->steps);
  }
  // Destroyed outside the lock: a step may own things whose release takes time.
}

bool CUiDispatcher::Post(Step step) const {
  std::lock_guard<std::mutex> hold(core_->lock);
  if (core_->closed || !core_->window) return false;
  core_->steps.push_back(std::move(step));
  if (core_->wakePending) return true;
  if (!::PostMessageW(core_->window, kMessage, 0, 0)) {
    LOG_INFO("ERR:CUiDispatcher::Post PostMessage failed, error %lu", ::GetLastError());
    core_->steps.pop_back();
    return false;
  }
  core_->wakePending = true;
  return true;
}

int CUiDispatcher::Call(Question question, int fallback) const {
  if (::GetCurrentThreadId() == core_->uiThread) return question();
  auto answer = std::make_shared<Answer>();
  if (!answer->ready) return fallback;
  bool posted = Post([answer, question = std::move(question)] {
    answer->value = question();
    ::SetEvent(answer->ready.get());
  });
  if (!posted) return fallback;
  while (::WaitForSingleObject(answer->ready.get(), kAnswerPollMs) == WAIT_TIMEOUT) {
    std::lock_guard<std::mutex> hold(core_->lock);
    if (core_->closed) return fallback;
  }
  return answer->value;
}

bool CUiDispatcher::HandleMessage(UINT message) const {
  if (message != kMessage) return false;
  Drain();
  return true;
}

void CUiDispatcher::Drain() const {
  if (core_->draining) return;
  core_->draining = true;
  for (;;) {
    Step step;
    {
      std::lock_guard<std::mutex> hold(core_->lock);
      core_->wakePending = false;
      if (core_->steps.empty()) break;
      step = std::move(core_->steps.front());
      core_->steps.pop_front();
    }
    step();
  }
  core_->draining = false;
}
