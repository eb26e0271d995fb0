#include "UiTestSupport.h"

#include <algorithm>

#include "ZipWriter.h"

namespace UiTest {

namespace {

void PutBE(std::string& out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out += static_cast<char>(value >> (8 * i));
}

void PngChunk(std::string& png, const char* type, const std::string& data) {
  PutBE(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png += body;
  PutBE(png, ZipTest::Crc(body));
}

const wchar_t kClassName[] = L"SkinUiTestWindow";

}  // namespace

std::string MakePng(int width, int height, const std::vector<uint32_t>& argb) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBE(header, width);
  PutBE(header, height);
  header += std::string("\x08\x06\x00\x00\x00", 5);
  PngChunk(png, "IHDR", header);
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (width * 4 + 1));
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      uint32_t p = argb[static_cast<size_t>(y) * width + x];
      raw += static_cast<char>(p >> 16);
      raw += static_cast<char>(p >> 8);
      raw += static_cast<char>(p);
      raw += static_cast<char>(p >> 24);
    }
  }
  PngChunk(png, "IDAT", ZipTest::Deflate(raw, false));
  PngChunk(png, "IEND", std::string());
  return png;
}

std::string MakeSolidPng(int width, int height, uint32_t argb) {
  return MakePng(width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb));
}

Canvas::Canvas(int width, int height, uint32_t fill) : width_(width), height_(height) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
  void* bits = nullptr;
  bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  pixels_ = static_cast<uint32_t*>(bits);
  dc_ = ::CreateCompatibleDC(nullptr);
  old_ = ::SelectObject(dc_, bitmap_);
  std::fill(pixels_, pixels_ + static_cast<size_t>(width) * height, fill);
}

Canvas::~Canvas() {
  ::SelectObject(dc_, old_);
  ::DeleteDC(dc_);
  ::DeleteObject(bitmap_);
}

RECT Canvas::Find(uint32_t rgb) const {
  RECT box = {width_, height_, 0, 0};
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (At(x, y) == rgb) {
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  if (box.right == 0) return RECT{0, 0, 0, 0};
  return box;
}

int Canvas::Count(uint32_t rgb) const {
  int n = 0;
  for (int i = 0; i < width_ * height_; ++i) n += (pixels_[i] & 0xFFFFFF) == rgb;
  return n;
}

std::vector<uint32_t> ReadBitmap(HBITMAP bitmap, int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
  HDC screen = ::GetDC(nullptr);
  ::GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

int ProbeUI::CountOf(SkinUI::UIEventType type) const {
  return static_cast<int>(std::count(events.begin(), events.end(), type));
}

TestWindow::TestWindow(int width, int height) {
  WNDCLASSW wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.lpszClassName = kClassName;
  ::RegisterClassW(&wc);
  // The real pointer is parked off the window first: a window shown under it gets real moves from the
  // X server whenever its messages are pumped (late under load), which would make a control hot behind
  // the test's back and add enters and leaves to what the test counts.
  ::SetCursorPos(::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1,
                 ::GetSystemMetrics(SM_YVIRTUALSCREEN) + ::GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
  hwnd_ = ::CreateWindowExW(0, kClassName, L"toolkit test", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                            wc.hInstance, this);
  manager_.Init(hwnd_, L"test");
  manager_.AddListener(this);
  ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  Pump();
}

TestWindow::~TestWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK TestWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  LRESULT result = 0;
  if (self && self->manager_.PaintWindow() == hwnd && self->manager_.FilterMessage(msg, wParam, lParam, result))
    return result;
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

void TestWindow::PaintNow() {
  ::InvalidateRect(hwnd_, nullptr, FALSE);
  ::UpdateWindow(hwnd_);
}

void TestWindow::Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

int TestWindow::CountNotes(const std::wstring& type) const {
  return static_cast<int>(
      std::count_if(notes.begin(), notes.end(), [&](const SkinUI::UINotification& n) { return n.sType == type; }));
}

void TestWindow::Click(int x, int y) {
  Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  Send(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

}  // namespace UiTest
