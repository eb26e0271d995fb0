// Without arguments: writes one record before any LogInit, then asks for another file, then writes
// again; both records must land in the default file ("Log\log_default_probe.log" beside this
// program). With "close": four threads write without pause while the main thread writes the run's
// last record; nothing may follow it.
#include <windows.h>

#include <atomic>
#include <cwchar>
#include <thread>
#include <vector>

#include "log/Log.h"

namespace {

void WriteWhileClosing() {
  std::atomic<bool> stop{false};
  std::atomic<int> writing{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&stop, &writing, t] {
      for (int i = 0; !stop; ++i) {
        WriteLog("probe", __FILE__, __LINE__, Log::kInfo, "worker %d record %d", t, i);
        if (i == 0) ++writing;
      }
    });
  }
  for (int waited = 0; writing < 4 && waited < 5000; ++waited) ::Sleep(1);
  ::Sleep(10);
  LogClose("the run's last record");
  ::Sleep(30);
  stop = true;
  for (auto& writer : writers) writer.join();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  WriteLog("probe", __FILE__, __LINE__, Log::kInfo, "first record %d", 1);
  if (argc > 1 && std::wcscmp(argv[1], L"close") == 0) {
    WriteWhileClosing();
    return 0;
  }
  LogInit(L"other.log", L"C:\\setup-log-probe-never");
  WriteLog("probe", __FILE__, __LINE__, Log::kInfo, "second record %s", "after LogInit");
  return 0;
}
