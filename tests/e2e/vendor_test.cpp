#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "E2eSupport.h"
#include "TestServers.h"
#include "base/SystemInfo.h"

using namespace E2e;
using TestSupport::IsFile;
using TestSupport::ReadFileBytes;
using TestSupport::Utf8;

// Another vendor's product: setup-vendor-loopback.exe is built from the product folder
// tests/fixtures/vendor by the rule that builds setup.exe from SETUP_PRODUCT_DIR. Everything checked
// here comes from that folder, none of it from packages/.
namespace {

constexpr wchar_t kVendorBuild[] = L"setup-vendor-loopback.exe";
constexpr wchar_t kVendorTitle[] = L"Harwick Lumen Setup";  // "PRODUCT Setup" with STR_PRODUCT_NAME
const COLORREF kBrandOrange = RGB(0xF2, 0x8C, 0x28);        // the fixture logo's plate
const COLORREF kSkinNavy = RGB(0x17, 0x32, 0x4D);           // the fixture skin's background
const COLORREF kShippedGrey = RGB(0x1F, 0x1F, 0x1F);        // packages/ skin's background
const POINT kLogoPlate = {202, 128};  // left part of "img\logo.png" (266 x 52 at 192,102), no text there
const POINT kBackground = {20, 80};   // the home page's background, left of everything

// STR_DIR1_NAME "Harwick", STR_DIR2_NAME "Lumen".
std::wstring VendorProductDir() { return GetProgramFilesDir() + L"Harwick\\Lumen\\"; }

bool ServeVendorInstaller() {
  const std::wstring target = ServedInstallerPath();
  if (target.empty()) return false;
  ::CreateDirectoryW(target.substr(0, target.rfind(L'\\')).c_str(), nullptr);
  return ::CopyFileW(BuildFile(L"tests/fixtures/VendorSampleInstaller.exe").c_str(), target.c_str(), FALSE) != FALSE;
}

// The colour the screen shows at a point of the window's client area.
COLORREF ScreenPixel(HWND window, POINT client) {
  ::ClientToScreen(window, &client);
  HDC screen = ::GetDC(nullptr);
  const COLORREF colour = ::GetPixel(screen, client.x, client.y);
  ::ReleaseDC(nullptr, screen);
  return colour;
}

std::string Hex(COLORREF colour) {
  char text[16];
  std::snprintf(text, sizeof(text), "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  return text;
}

}  // namespace

// The second product installs through its own window: its title, logo and colours on screen, its
// download address, its sample installer into its own folder, its site tag in the domain file and
// the log, its analytics category, and Start launches its executable. Run also with Swedish as the
// interface language (ctest e2e_vendor_fallback): the folder has no Swedish, so the English pack
// carries the install.
TEST(VendorProduct, InstallsThroughItsOwnWindow) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  const std::wstring product = VendorProductDir();
  TestSupport::RemoveTree(product);
  TestServers::LogMark server(TestServers::ServerLog::kNginx);

  Installer installer(kProgramName, kVendorBuild);
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(Utf8(kVendorTitle), Utf8(TestSupport::WindowText(window)));
  COLORREF logo = CLR_INVALID;
  EXPECT_TRUE(WaitFor([&] { return (logo = ScreenPixel(window, kLogoPlate)) == kBrandOrange; }, 10000))
      << "logo plate shows " << Hex(logo);
  const COLORREF background = ScreenPixel(window, kBackground);
  EXPECT_EQ(Hex(kSkinNavy), Hex(background));
  EXPECT_NE(Hex(kShippedGrey), Hex(background));

  EXPECT_EQ(L"https://localhost/lumen/harwick-lumen-full.exe", DownloadUrl());
  ASSERT_TRUE(ServeVendorInstaller()) << Utf8(DownloadUrl());
  installer.Click(kInstallButton);
  ASSERT_TRUE(WaitFor([] { return Log().find("InstallExeFinish") != std::string::npos; })) << Log();
  EXPECT_TRUE(WaitFor([&] { return server.CountLines("ec=Harwick") >= 3; }, 20000)) << server.Text();

  EXPECT_EQ("lumen_web", ReadFileBytes(product + L"domain"));
  EXPECT_TRUE(IsFile(product + L"Lumen.exe"));
  const std::string log = Log();
  EXPECT_TRUE(InOrder(
      log, {"Domain:lumen_web", "UpdateWindowSate:kWindow_Init", "OnClickInstall", "payload policy: digest+publisher",
            "VerifyPublisher accepted, signed by", "UpdateWindowSate:kWindow_Finish", "InstallExeFinish"}))
      << log;
  // Started with Swedish as the interface language, the program asked for Swedish and the pack,
  // which has none, gave it English.
  const char* lang = std::getenv("LANG");
  if (lang && std::string(lang).rfind("sv", 0) == 0) {
    EXPECT_TRUE(Contains(log, "Language Code:1053")) << log;
    EXPECT_FALSE(TestSupport::IsFolder(WorkDir() + L"language\\Swedish"));
  }

  ::Sleep(200);  // the finish view is applied on the window's thread
  installer.Click(kStartButton);
  EXPECT_EQ(0, installer.WaitForExit());
  EXPECT_TRUE(WaitFor([&] { return IsFile(product + L"launched.txt"); }, 20000));
  TestSupport::RemoveTree(GetProgramFilesDir() + L"Harwick\\");
}
