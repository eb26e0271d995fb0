#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "E2eSupport.h"
#include "base/SystemInfo.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::Utf8;

namespace {

// A key as the window's queue receives it from the keyboard.
void Press(HWND window, UINT key) {
  const UINT scan = ::MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  ::PostMessageW(window, WM_KEYDOWN, key, 1 | (scan << 16));
  ::PostMessageW(window, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
  ::Sleep(150);
}

void PressTimes(HWND window, UINT key, int times) {
  for (int i = 0; i < times; ++i) Press(window, key);
}

COLORREF BoxColor(HWND window) {
  POINT at = {24, 334};  // inside the 14 x 14 box of "chk_agree", left of its tick, left-to-right skin
  ::ClientToScreen(window, &at);
  HDC screen = ::GetDC(nullptr);
  const COLORREF color = ::GetPixel(screen, at.x, at.y);
  ::ReleaseDC(nullptr, screen);
  return color;
}

// The licence box's picture on screen: the ticked one is the accent cyan, the empty one grey.
bool LicenceBoxTicked(HWND window) {
  const COLORREF color = BoxColor(window);
  return GetBValue(color) > 150 && GetRValue(color) < 120;
}

int ClientHeight(HWND window) {
  RECT client = {};
  ::GetClientRect(window, &client);
  return client.bottom;
}

}  // namespace

// Keys alone: the Install button has the focus first; Tab reaches the licence box (Space unticks and
// ticks it), the fold box (Space opens the options), and round again to Install, where Enter starts
// the install that finishes.
TEST(EndToEnd, KeysAloneTickTheLicenceOpenTheOptionsAndInstall) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring product = ProductDir();
  TestSupport::RemoveTree(product);
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(ServeSampleInstaller()) << Utf8(DownloadUrl());
  ASSERT_TRUE(WaitForLog("UpdateWindowSate:kWindow_Init"));
  // The window is centred right after it is shown, and painted after that.
  ASSERT_TRUE(WaitFor([&] { return LicenceBoxTicked(window); }, 10000)) << std::hex << BoxColor(window);

  Press(window, VK_TAB);  // Install -> licence box
  Press(window, VK_SPACE);
  EXPECT_TRUE(WaitFor([&] { return !LicenceBoxTicked(window); }, 3000));
  Press(window, VK_SPACE);
  EXPECT_TRUE(WaitFor([&] { return LicenceBoxTicked(window); }, 3000));

  const int closedHeight = ClientHeight(window);
  PressTimes(window, VK_TAB, 2);  // licence link -> fold box
  Press(window, VK_SPACE);
  EXPECT_TRUE(WaitFor([&] { return ClientHeight(window) == closedHeight + kFoldHeight; }, 3000));

  // Browse in the options, then round through the title buttons to Install.
  PressTimes(window, VK_TAB, 4);
  EXPECT_FALSE(Contains(Log(), "OnClickInstall")) << Log();
  Press(window, VK_RETURN);
  ASSERT_TRUE(WaitForLog("OnClickInstall", 5000)) << Log();
  ASSERT_TRUE(WaitForLog("InstallExeFinish")) << Log();
  EXPECT_TRUE(IsFile(product + L"Solvetta.exe"));
  ::PostMessageW(window, WM_CLOSE, 1, 0);
  EXPECT_EQ(0, installer.WaitForExit());
  TestSupport::RemoveTree(product);
}
