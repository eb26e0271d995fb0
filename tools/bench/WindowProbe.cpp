// Times a windowed program from the outside, the way a user sees it.
//   window_probe paint EXE
//       starts EXE and waits until it shows a window with nothing left to paint; prints
//       "first_paint_ms=N" (from just before CreateProcess), then closes it (WM_CLOSE, wParam 1000,
//       which the installer takes as its own quiet close) and waits for its exit.
//   window_probe install EXE LOG X Y [WAIT_MS]
//       the same, then (after WAIT_MS, as a user reading first) clicks the window at client point X,Y
//       and waits until the file LOG contains
//       "InstallExeFinish"; prints "first_paint_ms=N click_to_finish_ms=M" and closes it.
// Exit code 0 on success, 1 on a timeout or a program that did not start.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kTimeoutMs = 120000;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart * 1000.0 / frequency.QuadPart;
}

struct WindowSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK MatchShownWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->pid || !::IsWindowVisible(hwnd) || ::GetWindow(hwnd, GW_OWNER)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The program's shown top-level window once it has no update region left: its first paint is done.
HWND WaitForPaintedWindow(DWORD pid, HANDLE process) {
  const double start = NowMs();
  while (NowMs() - start < kTimeoutMs) {
    WindowSearch search = {pid, nullptr};
    ::EnumWindows(&MatchShownWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found && !::GetUpdateRect(search.found, nullptr, FALSE)) return search.found;
    if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return nullptr;
    ::Sleep(1);
  }
  return nullptr;
}

bool FileContains(const std::wstring& path, const char* text) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char block[65536];
  DWORD got = 0;
  while (::ReadFile(file, block, sizeof(block), &got, nullptr) && got > 0) bytes.append(block, got);
  ::CloseHandle(file);
  return bytes.find(text) != std::string::npos;
}

void Click(HWND window, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  ::PostMessageW(window, WM_MOUSEMOVE, 0, at);
  ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(window, WM_LBUTTONUP, 0, at);
}

int Fail(const char* what) {
  std::fprintf(stderr, "window_probe: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool install = (argc == 6 || argc == 7) && std::wstring(argv[1]) == L"install";
  if (!install && !(argc == 3 && std::wstring(argv[1]) == L"paint"))
    return Fail("usage: window_probe paint EXE | window_probe install EXE LOG X Y [WAIT_MS]");

  std::wstring line = L"\"" + std::wstring(argv[2]) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  const double start = NowMs();
  if (!::CreateProcessW(argv[2], &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return Fail("the program did not start");
  ::CloseHandle(info.hThread);
  HWND window = WaitForPaintedWindow(info.dwProcessId, info.hProcess);
  const double painted = NowMs();
  int code = 0;
  if (!window) {
    code = Fail("no painted window");
  } else if (!install) {
    std::printf("first_paint_ms=%.1f\n", painted - start);
  } else {
    if (argc == 7) ::Sleep(static_cast<DWORD>(_wtoi(argv[6])));  // the user reads before clicking
    const double clicked = NowMs();
    Click(window, _wtoi(argv[4]), _wtoi(argv[5]));
    while (!FileContains(argv[3], "InstallExeFinish") && NowMs() - clicked < kTimeoutMs) ::Sleep(5);
    const double finished = NowMs();
    if (finished - clicked >= kTimeoutMs) code = Fail("the installation did not finish");
    std::printf("first_paint_ms=%.1f click_to_finish_ms=%.1f\n", painted - start, finished - clicked);
  }
  if (window) ::PostMessageW(window, WM_CLOSE, 1000, 0);
  if (::WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) {
    ::TerminateProcess(info.hProcess, 1);
    code = Fail("the program did not close");
  }
  ::CloseHandle(info.hProcess);
  std::fflush(stdout);
  return code;
}
