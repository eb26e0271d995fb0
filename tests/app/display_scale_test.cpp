#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "AppRun.h"

using namespace AppRun;

namespace {

// The display scale as a user sets it: the per-user LogPixels value, read by every new process.
class DisplayScale {
 public:
  explicit DisplayScale(DWORD dpi) {
    DWORD size = sizeof(old_);
    hadOld_ =
        ::RegGetValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &old_, &size) == ERROR_SUCCESS;
    Write(dpi);
  }
  ~DisplayScale() {
    if (hadOld_)
      Write(old_);
    else
      ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels");
  }
  DisplayScale(const DisplayScale&) = delete;
  DisplayScale& operator=(const DisplayScale&) = delete;

 private:
  static void Write(DWORD dpi) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
  }
  static constexpr const wchar_t* kKey = L"Control Panel\\Desktop";
  DWORD old_ = 0;
  bool hadOld_ = false;
};

struct Shot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top-down
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool operator==(const Shot& o) const { return width == o.width && height == o.height && pixels == o.pixels; }
};

// What the screen shows in rc.
Shot CaptureScreen(const RECT& rc) {
  Shot shot;
  shot.width = rc.right - rc.left;
  shot.height = rc.bottom - rc.top;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.width, -shot.height, 1, 32, BI_RGB};
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, shot.width, shot.height, screen, rc.left, rc.top, SRCCOPY);
  ::GdiFlush();
  const auto* p = static_cast<const uint32_t*>(bits);
  shot.pixels.assign(p, p + static_cast<size_t>(shot.width) * shot.height);
  for (uint32_t& px : shot.pixels) px &= 0x00FFFFFF;
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return shot;
}

// A 24-bit BMP for the README's pictures and for looking at a failure.
void SaveBmp(const Shot& shot, const std::wstring& path) {
  const int stride = (shot.width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER header = {sizeof(header), shot.width, shot.height, 1, 24, BI_RGB};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(stride) * shot.height;
  std::vector<unsigned char> rows(static_cast<size_t>(stride) * shot.height);
  for (int y = 0; y < shot.height; ++y) {
    unsigned char* row = &rows[static_cast<size_t>(shot.height - 1 - y) * stride];
    for (int x = 0; x < shot.width; ++x) {
      const uint32_t px = shot.At(x, y);
      row[x * 3] = px & 0xFF;
      row[x * 3 + 1] = (px >> 8) & 0xFF;
      row[x * 3 + 2] = (px >> 16) & 0xFF;
    }
  }
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return;
  fwrite(&file, sizeof(file), 1, out);
  fwrite(&header, sizeof(header), 1, out);
  fwrite(rows.data(), 1, rows.size(), out);
  fclose(out);
}

struct HomePage {
  RECT window = {};
  Shot shot;
};

// Starts the installer at the given scale and photographs its home page once the picture is steady.
HomePage ShowHomePage(DWORD dpi) {
  DisplayScale scale(dpi);
  InstallerCopy installer(L"setup.exe");
  RunningInstaller running(installer.path());
  HomePage home;
  HWND window = running.WaitForWindow();
  if (!window) return home;
  Shot previous;
  for (int waited = 0; waited < 10000; waited += 250) {
    ::Sleep(250);
    ::GetWindowRect(window, &home.window);
    if (home.window.left == 0 && home.window.top == 0) continue;  // not centred yet
    home.shot = CaptureScreen(home.window);
    if (home.shot == previous) break;
    previous = home.shot;
  }
  SaveBmp(home.shot, BuildDir() + L"home-" + std::to_wstring(dpi) + L"dpi.bmp");
  ::PostMessageW(window, WM_CLOSE, kOwnCloseRequest, 0);
  running.WaitForExit();
  return home;
}

// The 2x shot brought to 1x by averaging each 2 x 2 block.
Shot HalveByAveraging(const Shot& shot) {
  Shot half;
  half.width = shot.width / 2;
  half.height = shot.height / 2;
  half.pixels.resize(static_cast<size_t>(half.width) * half.height);
  for (int y = 0; y < half.height; ++y) {
    for (int x = 0; x < half.width; ++x) {
      uint32_t out = 0;
      for (int c = 0; c < 24; c += 8) {
        const uint32_t sum = ((shot.At(2 * x, 2 * y) >> c) & 0xFF) + ((shot.At(2 * x + 1, 2 * y) >> c) & 0xFF) +
                             ((shot.At(2 * x, 2 * y + 1) >> c) & 0xFF) + ((shot.At(2 * x + 1, 2 * y + 1) >> c) & 0xFF);
        out |= ((sum + 2) / 4) << c;
      }
      half.pixels[static_cast<size_t>(y) * half.width + x] = out;
    }
  }
  return half;
}

int ChannelDifference(uint32_t a, uint32_t b) {
  int d = 0;
  for (int c = 0; c < 24; c += 8) d += std::abs(static_cast<int>((a >> c) & 0xFF) - static_cast<int>((b >> c) & 0xFF));
  return d;
}

struct Closeness {
  double mean = 0;       // mean absolute difference per channel, whole window
  double worstTile = 0;  // the same over the worst 40 x 40 tile
};

Closeness Compare(const Shot& a, const Shot& b) {
  Closeness result;
  double total = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) total += ChannelDifference(a.pixels[i], b.pixels[i]);
  result.mean = total / (3.0 * a.pixels.size());
  constexpr int kTile = 40;
  for (int ty = 0; ty + kTile <= a.height; ty += kTile) {
    for (int tx = 0; tx + kTile <= a.width; tx += kTile) {
      double tile = 0;
      for (int y = ty; y < ty + kTile; ++y)
        for (int x = tx; x < tx + kTile; ++x) tile += ChannelDifference(a.At(x, y), b.At(x, y));
      result.worstTile = std::max(result.worstTile, tile / (3.0 * kTile * kTile));
    }
  }
  return result;
}

// A 1x picture blown up to 2x repeats every pixel in a 2 x 2 block; drawing at 2x does not.
double ShareOfMixedBlocks(const Shot& shot) {
  int mixed = 0, blocks = 0;
  for (int y = 0; y + 1 < shot.height; y += 2) {
    for (int x = 0; x + 1 < shot.width; x += 2, ++blocks) {
      const uint32_t p = shot.At(x, y);
      if (shot.At(x + 1, y) != p || shot.At(x, y + 1) != p || shot.At(x + 1, y + 1) != p) ++mixed;
    }
  }
  return blocks ? static_cast<double>(mixed) / blocks : 0;
}

int Width(const RECT& rc) { return rc.right - rc.left; }
int Height(const RECT& rc) { return rc.bottom - rc.top; }

}  // namespace

// The window is sized for the screen's scale and drawn at it: at 2x, halving the picture gives back
// (nearly) the 1x one, and it is not the 1x one blown up.
TEST(DisplayScale, TheHomePageIsDrawnAtTheScreensScale) {
  const HomePage at96 = ShowHomePage(96);
  const HomePage at144 = ShowHomePage(144);
  const HomePage at192 = ShowHomePage(192);
  EXPECT_EQ(650, Width(at96.window));
  EXPECT_EQ(360, Height(at96.window));
  EXPECT_EQ(975, Width(at144.window));
  EXPECT_EQ(540, Height(at144.window));
  EXPECT_EQ(1300, Width(at192.window));
  ASSERT_EQ(720, Height(at192.window));
  ASSERT_EQ(650 * 360, static_cast<int>(at96.shot.pixels.size()));
  ASSERT_EQ(1300 * 720, static_cast<int>(at192.shot.pixels.size()));

  const Closeness close = Compare(HalveByAveraging(at192.shot), at96.shot);
  std::printf("192 DPI halved vs 96 DPI: mean %.2f, worst 40x40 tile %.2f (per channel, 0-255)\n", close.mean,
              close.worstTile);
  EXPECT_LT(close.mean, 3.0);
  EXPECT_LT(close.worstTile, 30.0);
  const double mixed = ShareOfMixedBlocks(at192.shot);
  std::printf("2x2 blocks that are not one colour at 192 DPI: %.2f%%\n", 100 * mixed);
  EXPECT_GT(mixed, 0.01);
}
