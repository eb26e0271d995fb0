#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/controls/UIProgress.h"
#include "toolkit/skin/UIResource.h"

using namespace SkinUI;
using namespace WindowTest;

// The installer's own skin, read from the "ZIPRES" 104 resource of this test program exactly as the
// installer reads it, in both reading directions: names, classes and places of the controls on both
// pages and with the install path area folded out, the pictures where the layout puts them, and the
// screenshots in docs/.

namespace {

struct Expected {
  const wchar_t* name;
  const wchar_t* className;
  RECT rc;
};

// Page 0 at 650 x 360.
const Expected kHomeLtr[] = {
    {L"switch", L"TabLayout", {0, 0, 650, 360}},
    {L"minbtn", L"Button", {590, 11, 610, 31}},
    {L"closebtn", L"Button", {620, 11, 640, 31}},
    {L"btn_install", L"Button", {115, 184, 325, 230}},
    {L"btn_start", L"Button", {325, 184, 535, 230}},
    {L"lineLayout", L"VerticalLayout", {0, 313, 650, 314}},
    {L"customLayout", L"VerticalLayout", {0, 314, 650, 360}},
    {L"chk_agree", L"CheckBox", {20, 317, 40, 357}},
    {L"btn_lisence", L"Button", {40, 317, 410, 357}},
    {L"chk_fold", L"CheckBox", {410, 317, 630, 357}},
};
const Expected kHomeRtl[] = {
    {L"switch", L"TabLayout", {0, 0, 650, 360}},
    {L"closebtn", L"Button", {10, 11, 30, 31}},
    {L"minbtn", L"Button", {40, 11, 60, 31}},
    {L"btn_install", L"Button", {115, 184, 325, 230}},
    {L"btn_start", L"Button", {325, 184, 535, 230}},
    {L"lineLayout", L"VerticalLayout", {0, 313, 650, 314}},
    {L"customLayout", L"VerticalLayout", {0, 314, 650, 360}},
    {L"chk_fold", L"CheckBox", {20, 317, 240, 357}},
    {L"btn_lisence", L"Button", {240, 317, 610, 357}},
    {L"chk_agree", L"CheckBox", {610, 317, 630, 357}},
};
// Page 1.
const Expected kProgressLtr[] = {
    {L"banner", L"Control", {0, 0, 650, 290}},
    {L"progress_download", L"Progress", {30, 310, 485, 316}},
    {L"btn_hide", L"Button", {510, 310, 620, 336}},
};
const Expected kProgressRtl[] = {
    {L"banner", L"Control", {0, 0, 650, 290}},
    {L"btn_hide", L"Button", {30, 310, 140, 342}},
    {L"progress_download", L"Progress", {165, 310, 620, 316}},
};
// The install path area, 75 pixels under the pages.
const Expected kFoldLtr[] = {
    {L"switch", L"TabLayout", {0, 0, 650, 360}},      {L"bottomLayout", L"VerticalLayout", {0, 360, 650, 435}},
    {L"label_path", L"Label", {40, 382, 190, 414}},   {L"edit_path", L"Edit", {205, 382, 505, 414}},
    {L"btn_browse", L"Button", {520, 382, 610, 414}},
};
const Expected kFoldRtl[] = {
    {L"switch", L"TabLayout", {0, 0, 650, 360}},     {L"bottomLayout", L"VerticalLayout", {0, 360, 650, 435}},
    {L"btn_browse", L"Button", {40, 382, 130, 414}}, {L"edit_path", L"Edit", {145, 382, 515, 414}},
    {L"label_path", L"Label", {530, 382, 610, 414}},
};

std::wstring RectText(const RECT& rc) {
  return std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," + std::to_wstring(rc.right) + L"," +
         std::to_wstring(rc.bottom);
}

std::wstring UnixPath(const char* path) { return L"Z:" + TestSupport::Wide(path); }

class InstallerSkinTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    Resource::Reset();
    Resource::SetModuleInstance(::GetModuleHandleW(nullptr));
    SkinWindowSetup setup;
    setup.skin = Rtl() ? L"main_rtl.xml" : L"main.xml";
    setup.source = kSkinZipResource;
    setup.resourceId = MAKEINTRESOURCEW(104);
    window_ = std::make_unique<SkinWindow>(setup);
    ASSERT_TRUE(window_->CreateHidden());
    ::ShowWindow(window_->GetHWND(), SW_SHOWNOACTIVATE);
    Repaint();
  }
  void TearDown() override {
    window_.reset();
    Pump();
    Resource::Reset();
  }
  bool Rtl() const { return GetParam(); }
  const wchar_t* Suffix() const { return Rtl() ? L"rtl" : L"ltr"; }

  void Repaint() { pixels_ = window_->Paint(width_, height_); }
  uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  int BannerPixels(uint32_t rgb) const;
  // Pixels in rc farther than 80 from colour: whatever the pictures or texts drew there.
  int CountUnlike(const RECT& rc, uint32_t color) const {
    int count = 0;
    for (int y = rc.top; y < rc.bottom; ++y)
      for (int x = rc.left; x < rc.right; ++x) count += ColorDistance(At(x, y), color) > 80;
    return count;
  }

  template <size_t N>
  void ExpectControls(const Expected (&table)[N]) {
    for (const Expected& e : table) {
      CControlUI* control = window_->Find(e.name);
      ASSERT_TRUE(control) << e.name;
      EXPECT_STREQ(e.className, control->ClassName()) << e.name;
      EXPECT_TRUE(control->IsVisible()) << e.name;
      EXPECT_EQ(RectText(e.rc), RectText(control->Placement())) << e.name;
    }
  }
  // Into SETUP_SCREENSHOT_DIR (a Unix path; tools/screenshots.sh points it at docs/, the demo at its own
  // folder), else beside the build, so that a test run never rewrites the committed pictures.
  static std::wstring ScreenshotFolder() {
    wchar_t value[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableW(L"SETUP_SCREENSHOT_DIR", value, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return UnixPath(TestSupport::Utf8(value).c_str());
    return UnixPath(SETUP_BINARY_DIR "/screenshots");
  }
  void Screenshot(const wchar_t* page) {
    const std::wstring folder = ScreenshotFolder();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"/window-" + page + L"-" + Suffix() + L".png";
    EXPECT_TRUE(WritePng(file, pixels_, width_, height_)) << TestSupport::Utf8(file);
  }
  void ShowProgressPage() {
    auto* tabs = static_cast<CTabLayoutUI*>(window_->Find(L"switch"));
    ASSERT_TRUE(tabs);
    ASSERT_TRUE(tabs->SelectIndex(1));
    // What the window does with the language pack's first slide.
    CControlUI* banner = window_->Find(L"banner");
    banner->SetBkImage(BannerPath());
    Repaint();
  }
  std::wstring BannerPath() const {
    return UnixPath(SETUP_SOURCE_DIR) +
           (Rtl() ? L"/packages/language/Arabic/pr_1.png" : L"/packages/language/English/pr_1.png");
  }

  std::unique_ptr<SkinWindow> window_;
  std::vector<uint32_t> pixels_;
  int width_ = 0, height_ = 0;
};

// A pixel of a picture as the loader decodes it; the sampled places are opaque.
uint32_t PicturePixel(const std::wstring& name, int x, int y) {
  ImagePtr image = LoadSkinImage(name, nullptr, 0);
  if (!image || x >= image->width || y >= image->height) return 0xFF00FF;
  const uint32_t p = image->pixels[static_cast<size_t>(y) * image->width + x];
  EXPECT_EQ(0xFFu, p >> 24) << TestSupport::Utf8(name);
  return p & 0x00FFFFFF;
}

}  // namespace

TEST_P(InstallerSkinTest, HomePage) {
  ASSERT_EQ(650, width_);
  ASSERT_EQ(360, height_);
  EXPECT_EQ(1, window_->treeReadyCalls);
  if (Rtl())
    ExpectControls(kHomeRtl);
  else
    ExpectControls(kHomeLtr);
  // The hidden page selector and its options (font 2, which the skin does not define).
  for (const wchar_t* name : {L"examine", L"trojan"}) {
    auto* option = dynamic_cast<COptionUI*>(window_->Find(name));
    ASSERT_TRUE(option) << name;
    EXPECT_FALSE(option->IsVisible());
    EXPECT_EQ(2, option->GetFont());
  }
  EXPECT_TRUE(static_cast<COptionUI*>(window_->Find(L"examine"))->IsSelected());
  EXPECT_EQ(L"Install >>", window_->Find(L"btn_install")->GetText());
  EXPECT_EQ(L"Browe...", window_->Find(L"btn_browse")->GetText());
  EXPECT_FALSE(window_->Find(L"control_tip")->IsVisible());
  EXPECT_FALSE(window_->Find(L"bottomLayout")->IsVisible());
  EXPECT_FALSE(window_->Find(L"label_tip")->IsVisible());

  EXPECT_EQ(0x1F1F1Fu, At(300, 20));   // title row
  EXPECT_EQ(0x4E4E4Eu, At(300, 313));  // separator line
  EXPECT_EQ(0x1F1F1Fu, At(5, 340));    // options row inset
  EXPECT_LE(ColorDistance(PicturePixel(L"img\\button_normal.png", 8, 16), At(123, 200)), 2);
  EXPECT_LE(ColorDistance(PicturePixel(L"img\\button_normal.png", 8, 16), At(333, 200)), 2);
  const int agreeLeft = Rtl() ? 616 : 20;  // the box's picture: at the reading start of the row
  EXPECT_LE(ColorDistance(PicturePixel(L"img/unchecked.png", 7, 7), At(agreeLeft + 7, 337)), 2);
  const int logoLeft = Rtl() ? 212 : 192;
  EXPECT_LE(ColorDistance(PicturePixel(L"img\\logo.png", 24, 26), At(logoLeft + 22, 128)), 24);
  // Text colours with alpha 0 still draw: white letters on the install button.
  EXPECT_GT(CountUnlike({115, 184, 325, 230}, PicturePixel(L"img\\button_normal.png", 84, 23)), 0);
  int whiteLetters = 0;
  for (int y = 190; y < 224; ++y)
    for (int x = 180; x < 300; ++x) whiteLetters += ColorDistance(At(x, y), 0xFFFFFF) < 40;
  EXPECT_GT(whiteLetters, 30);
  // The fold arrow and the close glyph drew something on the dark rows.
  const RECT arrow = Rtl() ? RECT{24, 330, 38, 344} : RECT{612, 330, 626, 344};
  EXPECT_GT(CountUnlike(arrow, 0x1F1F1F), 6);
  const RECT close = Rtl() ? RECT{10, 11, 30, 31} : RECT{620, 11, 640, 31};
  EXPECT_GT(CountUnlike(close, 0x1F1F1F), 6);

  // The logo drags the window; the buttons and the options row do not.
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(logoLeft + 100, 128));
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(325, 20));
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(240, 207));
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(Rtl() ? 20 : 630, 21));
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(300, 337));
  EXPECT_EQ(HTTOPLEFT, window_->HitTestAt(1, 1));
  Screenshot(L"home");
}

TEST_P(InstallerSkinTest, ProgressPage) {
  ShowProgressPage();
  if (Rtl())
    ExpectControls(kProgressRtl);
  else
    ExpectControls(kProgressLtr);
  auto* progress = static_cast<CProgressUI*>(window_->Find(L"progress_download"));
  EXPECT_EQ(30, progress->GetValue());
  CControlUI* install = window_->Find(L"label_install");
  CControlUI* percent = window_->Find(L"label_progress");
  ASSERT_TRUE(install && percent);
  EXPECT_STREQ(L"Text", install->ClassName());
  EXPECT_EQ(L"%0", percent->GetText());
  if (Rtl()) {
    EXPECT_EQ(165, percent->Placement().left);
    EXPECT_EQ(percent->Placement().right, install->Placement().left);
    EXPECT_EQ(620, install->Placement().right);
  } else {
    EXPECT_EQ(30, install->Placement().left);
    EXPECT_EQ(install->Placement().right, percent->Placement().left);
    EXPECT_EQ(485, percent->Placement().right);
  }

  EXPECT_EQ(PicturePixel(BannerPath(), 5, 5), At(5, 5));
  EXPECT_EQ(0xFFFFFFu, At(15, 300));
  if (Rtl()) {
    // 100 minus the percentage is what the window sets; here the skin's 30 covers the left 30 percent.
    EXPECT_LE(ColorDistance(PicturePixel(L"img\\progress_rtl.png", 55, 2), At(200, 312)), 2);
    EXPECT_EQ(0x0ED4EFu, At(500, 312));
    EXPECT_LE(ColorDistance(PicturePixel(L"img\\hide-df.png", 10, 13), At(40, 326)), 16);  // left of the word
  } else {
    // The fill picture is squeezed into the filled 136 pixels: 70 pixels in is about 262 of its 508.
    EXPECT_LE(ColorDistance(PicturePixel(L"img\\progress.png", 262, 2), At(100, 312)), 4);
    EXPECT_EQ(0xDDDDDDu, At(400, 312));
    EXPECT_LE(ColorDistance(PicturePixel(L"img\\hide-df.png", 3, 5), At(513, 315)), 2);
  }
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(300, 100));  // the banner drags the window
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(Rtl() ? 60 : 590, 320));
  Screenshot(L"progress");
}

namespace {

// A high-contrast scheme's colours set for real (SetSysColors, which tells every window), put back at
// the end; and the high-contrast setting itself answered through the toolkit's seam, since Wine cannot
// turn it on.
class HighContrastScheme {
 public:
  static constexpr COLORREF kWindow = RGB(16, 16, 48), kText = RGB(255, 255, 0), kFace = RGB(0, 64, 0),
                            kButtonText = RGB(0, 255, 255), kHighlight = RGB(255, 0, 255);
  HighContrastScheme() {
    for (size_t i = 0; i < kCount; ++i) saved_[i] = ::GetSysColor(kIndexes[i]);
    const COLORREF colours[kCount] = {kWindow,    kText,        kFace,          kButtonText,
                                      kHighlight, RGB(0, 0, 0), RGB(0, 160, 0), RGB(255, 128, 0)};
    set_ = ::SetSysColors(static_cast<int>(kCount), kIndexes, colours) != FALSE;
  }
  ~HighContrastScheme() {
    SetHighContrastAnswer(-1);
    ::SetSysColors(static_cast<int>(kCount), kIndexes, saved_);
  }
  bool set() const { return set_; }
  // What Windows sends when the user turns high contrast on or off.
  static void Turn(HWND window, bool on) {
    SetHighContrastAnswer(on ? 1 : 0);
    ::SendMessageW(window, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  }
  static uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

 private:
  static constexpr size_t kCount = 8;
  static constexpr int kIndexes[kCount] = {COLOR_WINDOW,    COLOR_WINDOWTEXT,    COLOR_BTNFACE,  COLOR_BTNTEXT,
                                           COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_GRAYTEXT, COLOR_HOTLIGHT};
  COLORREF saved_[kCount] = {};
  bool set_ = false;
};

}  // namespace

// Pixels of the given colour in the middle of the banner, where a slide's headline goes.
int InstallerSkinTest::BannerPixels(uint32_t rgb) const {
  int count = 0;
  for (int y = 100; y < 190; ++y)
    for (int x = 100; x < 550; ++x) count += At(x, y) == rgb;
  return count;
}

// With high contrast on, both pages draw in the user's colours: window colour for the skin's dark rows
// and the slides, plain faces with button-text captions for the picture buttons, window text for the
// words, the highlight colour for the progress bar's fill; turned off, the skin comes back.
TEST_P(InstallerSkinTest, HighContrastDrawsWithTheSystemColours) {
  HighContrastScheme scheme;
  ASSERT_TRUE(scheme.set());
  using S = HighContrastScheme;
  S::Turn(window_->GetHWND(), true);
  Repaint();
  int skinDark = 0;
  for (uint32_t p : pixels_) skinDark += p == 0x1F1F1F;
  EXPECT_EQ(0, skinDark);
  EXPECT_EQ(S::Rgb(S::kWindow), At(300, 20));  // title row
  EXPECT_EQ(S::Rgb(S::kWindow), At(5, 340));   // options row
  EXPECT_EQ(S::Rgb(S::kFace), At(123, 200));   // the install button's face
  int caption = 0, words = 0;
  for (int y = 184; y < 230; ++y)
    for (int x = 115; x < 325; ++x) caption += At(x, y) == S::Rgb(S::kButtonText);
  const RECT licence = Rtl() ? RECT{240, 317, 610, 357} : RECT{40, 317, 410, 357};
  for (int y = licence.top; y < licence.bottom; ++y)
    for (int x = licence.left; x < licence.right; ++x) words += At(x, y) == S::Rgb(S::kText);
  EXPECT_GT(caption, 40);
  EXPECT_GT(words, 40);
  // The logo carries the product's name: it stays.
  EXPECT_LE(ColorDistance(PicturePixel(L"img\\logo.png", 24, 26), At((Rtl() ? 212 : 192) + 22, 128)), 24);
  Screenshot(L"home-hc");

  ShowProgressPage();
  // The slide's headline, as the window sets it with each slide.
  window_->Find(L"banner")->SetText(Rtl() ? L"\x0633\x0631\x064A\x0639 \x0648\x062E\x0641\x064A\x0641"
                                          : L"Fast and light");
  Repaint();
  EXPECT_EQ(S::Rgb(S::kWindow), At(5, 5));  // the slide gives way to plain colour, with its words
  EXPECT_GT(BannerPixels(S::Rgb(S::kText)), 100);
  // The skin's value 30: 30 percent from the left, or in the mirrored window from the right (the
  // window sets 100 minus the percentage there).
  EXPECT_EQ(S::Rgb(S::kHighlight), At(Rtl() ? 400 : 50, 313));
  EXPECT_EQ(S::Rgb(S::kWindow), At(Rtl() ? 200 : 400, 313));
  Screenshot(L"progress-hc");

  S::Turn(window_->GetHWND(), false);
  Repaint();
  EXPECT_EQ(PicturePixel(BannerPath(), 5, 5), At(5, 5));
  // The picture carries the words itself: the label's text is not drawn over it.
  const std::vector<uint32_t> withText = pixels_;
  window_->Find(L"banner")->SetText(L"");
  Repaint();
  EXPECT_TRUE(withText == pixels_);
}

TEST_P(InstallerSkinTest, FoldingOutThePathArea) {
  window_->Find(L"bottomLayout")->SetVisible(true);
  ::SetWindowPos(window_->GetHWND(), nullptr, 0, 0, 650, 435, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Repaint();
  ASSERT_EQ(435, height_);
  if (Rtl())
    ExpectControls(kFoldRtl);
  else
    ExpectControls(kFoldLtr);
  EXPECT_EQ(0x4E4E4Eu, At(300, 360));  // the area's own separator
  EXPECT_EQ(0x1F1F1Fu, At(20, 400));
  const int browseLeft = Rtl() ? 40 : 520;
  EXPECT_LE(ColorDistance(PicturePixel(L"img\\browse-df.png", 4, 4), At(browseLeft + 4, 386)), 2);
  // The page above keeps its 360 pixels: the options row still ends where it did.
  EXPECT_EQ(360, window_->Find(L"customLayout")->Placement().bottom);
}

INSTANTIATE_TEST_SUITE_P(Directions, InstallerSkinTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Rtl" : "Ltr"; });

namespace {

class SkinSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    Resource::SetModuleInstance(::GetModuleHandleW(nullptr));
  }
  void TearDown() override {
    Pump();
    Resource::Reset();
  }
};

}  // namespace

TEST_F(SkinSourceTest, ZipFileOnDiskBuildsTheSameTree) {
  Resource::SetSkinPath(UnixPath(SETUP_BINARY_DIR "/packages"));
  SkinWindowSetup setup;
  setup.skin = L"main.xml";
  setup.source = kSkinZipFile;
  setup.zipName = L"skin.zip";
  SkinWindow window(setup);
  ASSERT_TRUE(window.CreateHidden());
  ASSERT_TRUE(window.Find(L"btn_install"));
  EXPECT_TRUE(window.Find(L"progress_download"));
  EXPECT_EQ(1, window.treeReadyCalls);
}

TEST_F(SkinSourceTest, NumberedXmlResource) {
  SkinWindowSetup setup;
  setup.skin = L"201";
  setup.source = kSkinXmlResource;
  SkinWindow window(setup);
  ASSERT_TRUE(window.CreateHidden());
  ASSERT_TRUE(window.Find(L"from_resource"));
  RECT client = {};
  ::GetClientRect(window.GetHWND(), &client);
  EXPECT_EQ(320, client.right);
  EXPECT_EQ(HTCLIENT, window.HitTestAt(10, 10));
}

TEST_F(SkinSourceTest, LooseFileInTheSkinFolder) {
  TestSupport::ScratchDir dir(L"skin");
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"one.xml",
                                          "\xEF\xBB\xBF<Window size=\"120,80\"><Control name=\"only\"/></Window>"));
  Resource::SetSkinPath(dir.path());
  SkinWindowSetup setup;
  setup.skin = L"one.xml";
  SkinWindow window(setup);
  ASSERT_TRUE(window.CreateHidden());
  EXPECT_TRUE(window.Find(L"only"));
}

TEST_F(SkinSourceTest, MissingArchiveResourceLeavesAnEmptyWindow) {
  SkinWindowSetup setup;
  setup.skin = L"main.xml";
  setup.source = kSkinZipResource;
  setup.resourceId = MAKEINTRESOURCEW(999);
  SkinWindow window(setup);
  ASSERT_TRUE(window.CreateHidden());
  EXPECT_EQ(nullptr, window.Manager().GetRoot());
  EXPECT_EQ(0, window.treeReadyCalls);
  EXPECT_TRUE(::IsWindow(window.GetHWND()));
  // The default resource id names nothing either.
  SkinWindowSetup unnamed = setup;
  unnamed.resourceId = L"";
  SkinWindow second(unnamed);
  ASSERT_TRUE(second.CreateHidden());
  EXPECT_EQ(nullptr, second.Manager().GetRoot());
}

TEST_F(SkinSourceTest, SecondWindowReusesTheArchiveInMemory) {
  SkinWindowSetup setup;
  setup.skin = L"main.xml";
  setup.source = kSkinZipResource;
  setup.resourceId = MAKEINTRESOURCEW(104);
  SkinWindow first(setup);
  ASSERT_TRUE(first.CreateHidden());
  setup.skin = L"main_rtl.xml";
  SkinWindow second(setup);
  ASSERT_TRUE(second.CreateHidden());
  ASSERT_TRUE(first.Find(L"closebtn") && second.Find(L"closebtn"));
  // Each window built its own file from the one archive: the mirrored title group starts with close.
  auto firstOf = [](CControlUI* control) {
    return static_cast<IContainerUI*>(control->GetParent()->CastTo(L"IContainer"))->GetItemAt(0);
  };
  EXPECT_EQ(first.Find(L"minbtn"), firstOf(first.Find(L"closebtn")));
  EXPECT_EQ(second.Find(L"closebtn"), firstOf(second.Find(L"closebtn")));
  EXPECT_TRUE(LoadSkinImage(L"img\\logo.png", nullptr, 0));  // the first copy is still readable
}

namespace {

// The probe's failure box: found by its caption, its text read, then answered.
struct ProbeRun {
  int exitCode = -1;
  std::wstring text;
};

std::wstring BoxText(HWND box) {
  std::wstring text;
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t part[128] = {};
    ::GetWindowTextW(child, part, 128);
    text += part;
    text += L"|";
  }
  return text;
}

ProbeRun RunProbe(const wchar_t* mode) {
  ProbeRun run;
  std::wstring command = L"\"" + TestSupport::ExeDir() + L"skin_fail_probe.exe\" " + mode;
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return run;
  Scoped::CloseHandle process(info.hProcess), thread(info.hThread);
  const DWORD pid = info.dwProcessId;
  HWND box = nullptr;
  for (int i = 0; i < 200 && !box; ++i) {
    if (::WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) break;
    box = TestSupport::FindTopWindow([pid](HWND hwnd) {
      return TestSupport::WindowProcess(hwnd) == pid && TestSupport::WindowText(hwnd) == L"SkinUI";
    });
  }
  if (box) {
    // The box has its caption before its texts; it is shown once they are set.
    for (int i = 0; i < 100 && !::IsWindowVisible(box); ++i) ::Sleep(50);
    run.text = BoxText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  if (::WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(info.hProcess, 99);
  DWORD code = 0;
  ::GetExitCodeProcess(info.hProcess, &code);
  run.exitCode = static_cast<int>(code);
  return run;
}

}  // namespace

TEST(SkinFailureTest, UnbuildableSkinShowsTheBoxAndEndsWithOne) {
  const std::wstring failed = L"\u52A0\u8F7D\u8D44\u6E90\u6587\u4EF6\u5931\u8D25";
  for (const wchar_t* mode : {L"missing", L"damaged"}) {
    const ProbeRun run = RunProbe(mode);
    EXPECT_EQ(1, run.exitCode) << TestSupport::Utf8(mode);
    EXPECT_NE(std::wstring::npos, run.text.find(failed)) << TestSupport::Utf8(run.text);
  }
}
