#pragma once

// What the flow tests share: a window thread with a real message loop that runs the dispatcher's
// steps, a view that records what the flow asked of the window, the suite's log, and paths.

#include <gtest/gtest.h>

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "install/InstallFlow.h"
#include "install/UiDispatcher.h"
#include "log/Log.h"

namespace FlowTest {

// The suite's log, configured once per process in a scratch folder.
inline std::unique_ptr<TestSupport::ScratchDir>& LogFolder() {
  static std::unique_ptr<TestSupport::ScratchDir> folder;
  return folder;
}

class LogEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    LogFolder() = std::make_unique<TestSupport::ScratchDir>(L"flowlog");
    LogInit(L"pelarin_down.log", LogFolder()->path().c_str());
  }
  void TearDown() override { LogFolder().reset(); }
};

// What the log gained since the mark was taken.
class LogTail {
 public:
  LogTail() : start_(Text(0).size()) {}
  std::string Text() const { return Text(start_); }
  // Whether the parts appear in this order.
  bool InOrder(const std::vector<std::string>& parts) const { return TestSupport::InOrder(Text(), parts); }
  int Count(const std::string& part) const {
    const std::string text = Text();
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }

 private:
  static std::string Text(size_t from) {
    std::string all = TestSupport::ReadFileBytes(LogFolder()->path() + L"pelarin_down.log");
    return all.size() >= from ? all.substr(from) : all;
  }
  size_t start_;
};

using TestSupport::BuildFile;

// A message-only window on the calling thread whose procedure hands the dispatcher's message over.
class UiWindow {
 public:
  explicit UiWindow(CUiDispatcher& dispatcher) : dispatcher_(dispatcher) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = &UiWindow::Proc;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.lpszClassName = L"FlowTestUiWindow";
    ::RegisterClassW(&cls);
    window_ = ::CreateWindowW(L"FlowTestUiWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, this);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    dispatcher_.Attach(window_);
  }
  ~UiWindow() {
    dispatcher_.Detach();
    ::DestroyWindow(window_);
  }
  UiWindow(const UiWindow&) = delete;
  UiWindow& operator=(const UiWindow&) = delete;
  HWND get() const { return window_; }

  // Runs the message loop until `done` holds or `timeoutMs` passed; whether it held.
  static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (!done()) {
      if (::GetTickCount() - start > timeoutMs) return false;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    return true;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<UiWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->dispatcher_.HandleMessage(message)) return 0;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  CUiDispatcher& dispatcher_;
  HWND window_ = nullptr;
};

// Records every request of the flow as a short text, checks it arrives on the window's thread, and
// answers message boxes from a script.
class RecordingView : public IInstallFlowView {
 public:
  RecordingView() : uiThread_(::GetCurrentThreadId()) {}

  std::vector<std::string> events;
  std::vector<std::pair<std::wstring, UINT>> boxes;
  std::deque<int> answers;  // next answers of ShowMessage; IDCANCEL when empty
  int offThreadCalls = 0;   // requests that did not arrive on the window's thread
  std::vector<int> SentEvents() {
    std::lock_guard<std::mutex> hold(sentLock_);
    return sentEvents_;
  }

  void SetProgressPercent(int percent) override { Record("percent:" + std::to_string(percent)); }
  void UpdateWindowSate(int state) override { Record("state:" + std::to_string(state)); }
  int ShowMessage(const std::wstring& text, UINT style) override {
    boxes.emplace_back(text, style);
    Record("box:" + std::to_string(style));
    int answer = answers.empty() ? IDCANCEL : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  void SetTaskbarState(int state) override { Record("taskbar:" + std::to_string(state)); }
  void StartProgressTimer(int intervalMs) override { Record("timer:" + std::to_string(intervalMs)); }
  void StopProgressTimer() override { Record("timer:stop"); }
  void OpenInBrowser(const std::wstring& address) override { Record("browser:" + TestSupport::Utf8(address)); }
  void CloseWithoutQuestion() override { Record("close"); }
  // Kept apart from `events`: the last exit code the flow gave, -1 when none.
  void SetOutcome(int exitCode, const std::string& why) override {
    outcome = exitCode;
    outcomeWhy = why;
  }
  int outcome = -1;
  std::string outcomeWhy;
  // The analytics sender a flow gets; the view outlives every flow of a test.
  FlowEventSender Sender() {
    return [this](FlowEvent event) {
      std::lock_guard<std::mutex> hold(sentLock_);
      sentEvents_.push_back(event);
    };
  }

  bool Has(const std::string& event) const {
    for (const std::string& e : events)
      if (e == event) return true;
    return false;
  }
  std::vector<int> Percents() const {
    std::vector<int> values;
    for (const std::string& e : events)
      if (e.rfind("percent:", 0) == 0) values.push_back(std::stoi(e.substr(8)));
    return values;
  }

 private:
  void Record(const std::string& event) {
    if (::GetCurrentThreadId() != uiThread_) ++offThreadCalls;
    events.push_back(event);
  }
  DWORD uiThread_;
  std::mutex sentLock_;
  std::vector<int> sentEvents_;  // analytics, from whichever thread sent them
};

}  // namespace FlowTest
