// The start-up yardstick: the least program that shows and paints a 650x360 window, as the installer
// does (its size, centred, one solid fill and a line of text), and ends on WM_CLOSE.

#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(hwnd, &paint);
      RECT client;
      ::GetClientRect(hwnd, &client);
      HBRUSH fill = ::CreateSolidBrush(RGB(32, 32, 32));
      ::FillRect(dc, &client, fill);
      ::DeleteObject(fill);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, RGB(255, 255, 255));
      ::DrawTextW(dc, L"Install", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      ::EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW cls = {};
  cls.lpfnWndProc = WindowProc;
  cls.hInstance = instance;
  cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  cls.lpszClassName = L"MinimalWindow";
  if (!::RegisterClassW(&cls)) return 1;
  const int width = 650, height = 360;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND hwnd = ::CreateWindowExW(0, cls.lpszClassName, L"Minimal", WS_POPUP, x, y, width, height, nullptr, nullptr,
                                instance, nullptr);
  if (!hwnd) return 1;
  ::ShowWindow(hwnd, show);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
