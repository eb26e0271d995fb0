#include "WindowTestSupport.h"

#include <windowsx.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "toolkit/core/UIManager.h"

using namespace SkinUI;

namespace WindowTest {

int ProbeUI::CountOf(UIEventType type, WPARAM key) const {
  return static_cast<int>(std::count_if(
      events.begin(), events.end(), [&](const UIEvent& e) { return e.Type == type && (key == 0 || e.wParam == key); }));
}

SkinWindow::~SkinWindow() {
  if (::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

HWND SkinWindow::CreateHidden() {
  return Create(nullptr, L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 40, 40,
                CW_USEDEFAULT, CW_USEDEFAULT);
}

CControlUI* SkinWindow::MakeControl(const std::wstring& className) {
  if (className == L"Probe") return new ProbeUI;
  return nullptr;
}

void SkinWindow::OnClick(UINotification& msg) {
  clicks.push_back(msg.pSender ? msg.pSender->GetName() : std::wstring());
  WindowImplBase::OnClick(msg);
}

void SkinWindow::Notify(UINotification& msg) {
  notifications.push_back(msg.sType);
  WindowImplBase::Notify(msg);
}

LRESULT SkinWindow::OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  ++closeCalls;
  lastCloseParam = wParam;
  handled = setup_.handleClose;
  return 0;
}

void SkinWindow::OnWindowGone(HWND hwnd) {
  gone = true;
  WindowImplBase::OnWindowGone(hwnd);
}

LRESULT SkinWindow::HitTestAt(int x, int y) {
  POINT pt = {x, y};
  ::ClientToScreen(hwnd_, &pt);
  return SendMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
}

namespace {

struct DibSection {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* pixels = nullptr;
  DibSection(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    dc = ::CreateCompatibleDC(nullptr);
    bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels = static_cast<uint32_t*>(bits);
    old = ::SelectObject(dc, bitmap);
  }
  ~DibSection() {
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
  }
};

}  // namespace

// What is on the screen: the window's own device context copied after a synchronous repaint.
std::vector<uint32_t> SkinWindow::Paint(int& width, int& height) {
  RECT client = {};
  ::GetClientRect(hwnd_, &client);
  width = client.right;
  height = client.bottom;
  ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump();
  ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  DibSection dib(width, height);
  HDC windowDc = ::GetDC(hwnd_);
  ::BitBlt(dib.dc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
  ::ReleaseDC(hwnd_, windowDc);
  ::GdiFlush();
  std::vector<uint32_t> pixels(dib.pixels, dib.pixels + static_cast<size_t>(width) * height);
  for (uint32_t& p : pixels) p &= 0x00FFFFFF;
  return pixels;
}

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (CUIManager::TranslateMessage(&msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool CloseWaiting(HWND hwnd, WPARAM* param) {
  MSG msg;
  if (!::PeekMessageW(&msg, hwnd, WM_CLOSE, WM_CLOSE, PM_NOREMOVE)) return false;
  if (param) *param = msg.wParam;
  return true;
}

void DropQueued(HWND hwnd, UINT message) {
  MSG msg;
  while (::PeekMessageW(&msg, hwnd, message, message, PM_REMOVE)) {
  }
}

void Click(HWND hwnd, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, at);
  ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

namespace {

void PutBE(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  PutBE(png, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  PutBE(png,
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::string Scanlines(const std::vector<uint32_t>& pixels, int width, int height) {
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      raw += static_cast<char>(p >> 16);
      raw += static_cast<char>(p >> 8);
      raw += static_cast<char>(p);
    }
  }
  return raw;
}

}  // namespace

bool WritePng(const std::wstring& path, const std::vector<uint32_t>& pixels, int width, int height) {
  const std::string raw = Scanlines(pixels, width, height);
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 9) != Z_OK)
    return false;
  packed.resize(packedSize);
  std::string header;
  PutBE(header, static_cast<uint32_t>(width));
  PutBE(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  std::string png("\x89PNG\r\n\x1a\n", 8);
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", std::string());
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"wb"), &fclose);
  return file && fwrite(png.data(), 1, png.size(), file.get()) == png.size();
}

int ColorDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    worst = std::max(worst, d < 0 ? -d : d);
  }
  return worst;
}

}  // namespace WindowTest
