#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "FlowTestSupport.h"
#include "install/UiDispatcher.h"

using FlowTest::UiWindow;

namespace {

constexpr int kWorkers = 4;
constexpr int kStepsPerWorker = 400;

struct Applied {
  int worker;
  int step;
};

}  // namespace

// Steps of several workers, handed over with and without waiting, run on the window's thread in each
// worker's order; a question sees every step its worker handed over before it.
TEST(UiDispatcher, RunsEveryWorkersStepsInOrderOnTheWindowThread) {
  CUiDispatcher dispatcher;
  UiWindow window(dispatcher);
  const DWORD uiThread = ::GetCurrentThreadId();
  std::vector<Applied> applied;  // touched on the window's thread only
  int offThread = 0;
  int staleAnswers = 0;
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      CUiDispatcher mine = dispatcher;  // workers keep copies
      for (int i = 0; i < kStepsPerWorker; ++i) {
        if (i % 50 == 49) {
          int seen = mine.Call(
              [&, w] {
                int count = 0;
                for (const Applied& a : applied) count += a.worker == w;
                return count;
              },
              -1);
          if (seen != i) ++staleAnswers;
        }
        mine.Post([&, w, i] {
          if (::GetCurrentThreadId() != uiThread) ++offThread;
          applied.push_back({w, i});
        });
      }
      ++finished;
    });
  }
  bool done = UiWindow::PumpUntil(
      [&] { return finished == kWorkers && applied.size() == size_t(kWorkers * kStepsPerWorker); }, 30000);
  for (std::thread& t : workers) t.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(0, offThread);
  EXPECT_EQ(0, staleAnswers);
  std::vector<int> next(kWorkers, 0);
  for (const Applied& a : applied) {
    ASSERT_EQ(next[a.worker], a.step) << "worker " << a.worker;
    ++next[a.worker];
  }
}

// A step that runs a modal loop of its own (a message box) does not let later steps overtake it.
TEST(UiDispatcher, AModalStepKeepsLaterStepsWaiting) {
  CUiDispatcher dispatcher;
  UiWindow window(dispatcher);
  std::vector<int> order;
  std::atomic<bool> boxOpen{false};
  std::thread worker([&] {
    dispatcher.Post([&] {
      order.push_back(1);
      boxOpen = true;
      UiWindow::PumpUntil([] { return false; }, 300);  // stands in for the box's own loop
      order.push_back(2);
    });
    while (!boxOpen) ::Sleep(5);
    dispatcher.Post([&] { order.push_back(3); });
  });
  ASSERT_TRUE(UiWindow::PumpUntil([&] { return order.size() == 3; }, 10000));
  worker.join();
  EXPECT_EQ((std::vector<int>{1, 2, 3}), order);
}

// Once the window goes away, a waiting worker gets its fallback instead of hanging, and new steps are
// refused. On the window's own thread a question is answered at once.
TEST(UiDispatcher, ReleasesWaitersWhenTheWindowGoesAway) {
  CUiDispatcher dispatcher;
  auto window = std::make_unique<UiWindow>(dispatcher);
  EXPECT_EQ(7, dispatcher.Call([] { return 7; }, -1));
  std::atomic<int> answer{0};
  std::thread worker([&] { answer = dispatcher.Call([] { return 5; }, -1); });
  ::Sleep(200);  // the question is queued; the window never runs it
  DWORD start = ::GetTickCount();
  window.reset();
  worker.join();
  EXPECT_EQ(-1, answer.load());
  EXPECT_LT(::GetTickCount() - start, 2000u);
  EXPECT_FALSE(dispatcher.Post([] {}));
  std::thread late([&] { answer = dispatcher.Call([] { return 5; }, -2); });
  late.join();
  EXPECT_EQ(-2, answer.load());
}
