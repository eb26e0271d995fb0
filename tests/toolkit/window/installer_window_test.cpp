#include <gtest/gtest.h>

#include "InstallerPages.h"
#include "ZipWriter.h"

using namespace SkinUI;
using namespace UiTest;

namespace {

// The installer's window at 650 x 360 with the skin's pictures in an in-memory skin archive.
class InstallerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    skin_ = ZipTest::ZipWriter()
                .Add("main.xml", "<Window size=\"650,360\"/>", true)
                .Add("img/left_log.png", MakeSolidPng(108, 32, 0xFFFF8000), true)
                .Add("img/logo.png", MakeSolidPng(133, 26, 0xFF00C0FF), true)
                .Add("img/progress.png", MakeSolidPng(8, 6, 0xFF337BDD), true)
                .Build();
    Resource::UseSkinArchive(skin_.data(), skin_.size());
    BuildMain(frame_);
    window_.manager().ApplyWindowAttribute(L"size", L"650,360");
    window_.manager().AttachRoot(frame_.root);
    window_.PaintNow();
    window_.Pump();
  }
  void TearDown() override { Resource::Reset(); }

  uint32_t Pixel(int x, int y) {
    std::vector<uint32_t> pixels = ReadBitmap(window_.manager().OffscreenBitmap(), 650, 360);
    return pixels[y * 650 + x];
  }

  std::string skin_;
  MainFrame frame_;
  TestWindow window_{300, 200};
};

}  // namespace

TEST_F(InstallerWindowTest, HomePagePaintsOffscreenWithSkinPictures) {
  ASSERT_TRUE(window_.manager().OffscreenBitmap());
  EXPECT_EQ(1, window_.CountNotes(L"windowinit"));
  EXPECT_EQ(0xFF8000u, Pixel(50, 20));    // title logo picture
  EXPECT_EQ(0x1F1F1Fu, Pixel(300, 20));   // title row colour
  EXPECT_EQ(0x00C0FFu, Pixel(325, 128));  // logo picture, stretched over 266 x 52
  EXPECT_EQ(0x00C0FFu, Pixel(193, 103));
  EXPECT_EQ(0x1F1F1Fu, Pixel(190, 128));
  EXPECT_EQ(0x4E4E4Eu, Pixel(300, 313));  // the separator line
  EXPECT_EQ(0x1F1F1Fu, Pixel(300, 340));  // options row
}

TEST_F(InstallerWindowTest, ClicksHoverAndFocusReachTheHomePageControls) {
  auto* install = static_cast<ProbeUI*>(window_.manager().LookupControl(L"btn_install"));
  auto* close = static_cast<ProbeUI*>(window_.manager().LookupControl(L"closebtn"));
  ASSERT_TRUE(install);
  ASSERT_TRUE(close);
  window_.Send(WM_MOUSEMOVE, 0, MAKELPARAM(630, 20));
  EXPECT_EQ(1, close->CountOf(UIEVENT_MOUSEENTER));
  window_.Send(WM_MOUSEMOVE, 0, MAKELPARAM(200, 200));
  EXPECT_EQ(1, close->CountOf(UIEVENT_MOUSELEAVE));
  EXPECT_EQ(1, install->CountOf(UIEVENT_MOUSEENTER));
  window_.Click(200, 200);
  EXPECT_EQ(1, install->CountOf(UIEVENT_BUTTONDOWN));
  EXPECT_EQ(1, install->CountOf(UIEVENT_BUTTONUP));
  EXPECT_EQ(install, window_.manager().GetFocus());
  // Tab order follows the tree: title buttons, the two big buttons, then the options row.
  LRESULT result = 0;
  window_.manager().PreFilterMessage(WM_KEYDOWN, VK_TAB, 0, result);
  EXPECT_EQ(window_.manager().LookupControl(L"btn_start"), window_.manager().GetFocus());
  window_.manager().PreFilterMessage(WM_KEYDOWN, VK_TAB, 0, result);
  ASSERT_TRUE(window_.manager().GetFocus());
  EXPECT_EQ(L"chk_agree", window_.manager().GetFocus()->GetName());
  window_.Click(590, 330);
  EXPECT_EQ(window_.manager().LookupControl(L"chk_fold"), window_.manager().GetFocus());
}

TEST_F(InstallerWindowTest, ProgressPageAfterSwitching) {
  ASSERT_TRUE(frame_.tabs->SelectIndex(1));
  EXPECT_EQ(1, window_.CountNotes(L"tabselect"));
  EXPECT_EQ(1u, window_.notes.back().wParam);
  EXPECT_EQ(0, window_.notes.back().lParam);
  frame_.banner.progress->ApplyAttribute(L"bkcolor", L"#FFDDDDDD");
  frame_.banner.progress->ApplyAttribute(L"bkimage", L"file='img/progress.png' dest='0,0,152,6'");
  frame_.banner.row->ApplyAttribute(L"bkcolor", L"#FFFFFFFF");
  window_.PaintNow();
  EXPECT_TRUE(frame_.banner.progress->Placement().left == 30 && frame_.banner.progress->Placement().top == 310);
  EXPECT_EQ(0x000000u, Pixel(300, 100));  // the banner picture is missing: the root's black shows
  EXPECT_EQ(0x337BDDu, Pixel(100, 313));  // the bar's fill (30 percent of 508)
  EXPECT_EQ(0xDDDDDDu, Pixel(300, 313));  // the bar's background beyond it
  EXPECT_EQ(0xFFFFFFu, Pixel(15, 300));   // the white progress row
  auto* hide = static_cast<ProbeUI*>(window_.manager().LookupControl(L"btn_hide"));
  window_.Click(590, 320);
  EXPECT_EQ(1, hide->CountOf(UIEVENT_BUTTONUP));
  auto* install = static_cast<ProbeUI*>(window_.manager().LookupControl(L"btn_install"));
  EXPECT_EQ(0, install->CountOf(UIEVENT_BUTTONDOWN));
}
