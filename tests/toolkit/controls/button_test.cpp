#include <gtest/gtest.h>

#include "ControlScene.h"
#include "ZipWriter.h"
#include "toolkit/controls/UIButton.h"

using namespace SkinUI;
using ControlsTest::Notes;
using ControlsTest::Scene;

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kGray = 0x808080;

// A 100 x 40 button at (20, 20) whose state pictures are solid colours.
CButtonUI* AddColouredButton(Scene& scene) {
  return scene.Add(new CButtonUI, L"20,20,120,60",
                   L"name=\"btn_install\" normalimage=\"color='FFFF0000'\" hotimage=\"color='FF00FF00'\" "
                   L"pushedimage=\"color='FF0000FF'\" disabledimage=\"color='FF808080'\"");
}

}  // namespace

TEST(Button, ClickNeedsPressAndReleaseInside) {
  Scene scene;
  CButtonUI* button = AddColouredButton(scene);
  scene.Show();
  scene.Click(50, 30);
  EXPECT_EQ(Notes{L"click"}, scene.NotesOf(button));

  // Pressed inside, released outside: nothing, and the button is neither pushed nor captured after.
  scene.Down(50, 30);
  EXPECT_EQ(UINT{kStatePushed | kStateCaptured}, button->ButtonState() & (kStatePushed | kStateCaptured));
  scene.MoveTo(200, 150);
  EXPECT_FALSE(button->ButtonState() & kStatePushed);
  scene.Up(200, 150);
  EXPECT_EQ(Notes{L"click"}, scene.NotesOf(button));
  EXPECT_FALSE(button->ButtonState() & (kStatePushed | kStateCaptured));

  // Leaving and coming back while pressed counts again.
  scene.Down(50, 30);
  scene.MoveTo(200, 150);
  scene.MoveTo(60, 35);
  EXPECT_TRUE(button->ButtonState() & kStatePushed);
  scene.Up(60, 35);
  EXPECT_EQ((Notes{L"click", L"click"}), scene.NotesOf(button));
  EXPECT_EQ(0u, scene.window.notes.back().wParam);
}

TEST(Button, StatePicturesFollowTheMouse) {
  Scene scene;
  CButtonUI* button = AddColouredButton(scene);
  scene.Show();
  EXPECT_EQ(kRed, scene.At(70, 40));
  EXPECT_EQ(0u, scene.At(10, 10));  // nothing outside the button
  scene.MoveTo(70, 40);
  scene.Paint();
  EXPECT_EQ(kGreen, scene.At(70, 40));
  scene.Down(70, 40);
  scene.Paint();
  EXPECT_EQ(kBlue, scene.At(70, 40));
  scene.Up(70, 40);
  scene.MoveTo(250, 150);
  scene.Paint();
  EXPECT_EQ(kRed, scene.At(70, 40));
  EXPECT_FALSE(button->ButtonState() & kStateHot);
  button->SetEnabled(false);
  scene.Paint();
  EXPECT_EQ(kGray, scene.At(70, 40));
}

TEST(Button, MissingStatePicturesFallBackToNormal) {
  Scene scene;
  CButtonUI* button =
      scene.Add(new CButtonUI, L"0,0,50,50", L"normalimage=\"color='FFFF0000'\" hotimage=\"file='img/missing.png'\"");
  scene.Show();
  scene.MoveTo(10, 10);
  ASSERT_TRUE(button->ButtonState() & kStateHot);
  scene.Paint();
  EXPECT_EQ(kRed, scene.At(10, 10));
  button->SetEnabled(false);
  scene.Paint();
  EXPECT_EQ(kRed, scene.At(10, 10));
}

TEST(Button, SpaceOrReturnOnTheFocusedEnabledButtonClicks) {
  Scene scene;
  CButtonUI* button = AddColouredButton(scene);
  CButtonUI* noKeys = scene.Add(new CButtonUI, L"150,20,250,60", L"keyboard=\"false\"");
  scene.Show();
  button->SetFocus();
  ASSERT_EQ(button, scene.window.manager().GetFocus());
  scene.Key(VK_SPACE);
  scene.Key(VK_RETURN);
  scene.Key('A');
  EXPECT_EQ((Notes{L"click", L"click"}), scene.NotesOf(button));

  noKeys->SetFocus();
  scene.Key(VK_SPACE);
  EXPECT_TRUE(scene.NotesOf(noKeys).empty());

  // A disabled button cannot hold the focus, and activating it does nothing.
  button->SetFocus();
  button->SetEnabled(false);
  scene.Key(VK_SPACE);
  EXPECT_FALSE(button->Activate());
  scene.Click(50, 30);
  EXPECT_EQ((Notes{L"click", L"click"}), scene.NotesOf(button));
}

TEST(Button, InvisibleOrMouseDisabledButtonsDoNotClick) {
  Scene scene;
  CButtonUI* hidden = scene.Add(new CButtonUI, L"0,0,50,50");
  CButtonUI* deaf = scene.Add(new CButtonUI, L"60,0,110,50", L"mouse=\"false\"");
  scene.Show();
  scene.Click(80, 20);
  EXPECT_TRUE(scene.NotesOf(deaf).empty());
  EXPECT_FALSE(deaf->ButtonState() & kStatePushed);
  hidden->SetVisible(false);
  EXPECT_FALSE(hidden->Activate());
  EXPECT_TRUE(scene.NotesOf(hidden).empty());
  EXPECT_TRUE(deaf->Activate());  // the keyboard and code paths still work
}

TEST(Button, FlagsAttributesAndNames) {
  CButtonUI button;
  EXPECT_STREQ(L"Button", button.ClassName());
  EXPECT_EQ(&button, button.CastTo(L"Button"));
  EXPECT_EQ(&button, button.CastTo(L"Label"));
  EXPECT_EQ(&button, button.CastTo(L"Control"));
  EXPECT_EQ(nullptr, button.CastTo(L"Option"));
  EXPECT_EQ(UINT{DT_CENTER | DT_VCENTER | DT_SINGLELINE}, button.GetTextStyle());
  EXPECT_EQ(UINT{ControlFlagTabStop | ControlFlagSetCursor}, button.ControlFlags());
  button.ApplyAttribute(L"keyboard", L"false");
  EXPECT_EQ(UINT{ControlFlagSetCursor}, button.ControlFlags());
  button.ApplyAttribute(L"enabled", L"false");
  EXPECT_EQ(0u, button.ControlFlags());
  button.ApplyAttribute(L"align", L"left");
  EXPECT_EQ(UINT{DT_VCENTER | DT_SINGLELINE}, button.GetTextStyle());
  button.ApplyAttribute(L"bkcolor", L"#FF102030");  // falls through to the common table
  EXPECT_EQ(0xFF102030u, button.GetBkColor());
  button.ApplyAttribute(L"hottextcolor", L"#FFFFFFFF");
  EXPECT_EQ(L"", button.GetCustomAttribute(L"hottextcolor"));  // the button's own attribute
}

TEST(Button, CaptionColoursFollowTheState) {
  Scene scene;
  CButtonUI* button = scene.Add(new CButtonUI, L"0,0,200,60",
                                L"text=\"MMMM\" font=\"1\" textcolor=\"#00FFFFFF\" hottextcolor=\"#FF00FF00\" "
                                L"pushedtextcolor=\"#FF0000FF\"");
  scene.window.manager().AddFont(1, L"Tahoma", 24, true, false, false);
  scene.Show();
  const RECT area = {0, 0, 200, 60};
  EXPECT_GT(scene.Count(0xFFFFFF, area), 20);  // the alpha byte of a text colour is ignored
  scene.MoveTo(100, 30);
  scene.Paint();
  EXPECT_EQ(0, scene.Count(0xFFFFFF, area));
  EXPECT_GT(scene.Count(kGreen, area), 20);
  scene.Down(100, 30);
  scene.Paint();
  EXPECT_GT(scene.Count(kBlue, area), 20);
  EXPECT_EQ(0, scene.Count(kGreen, area));
  scene.Up(100, 30);
  (void)button;
}

TEST(Button, FadingRunsOnTimerElevenUntilDone) {
  Scene scene;
  CButtonUI* button = scene.Add(new CButtonUI, L"0,0,50,50",
                                L"normalimage=\"color='FFFF0000'\" hotimage=\"color='FF0000FF'\" fadedelta=\"100\"");
  scene.Show();
  CUIManager& manager = scene.window.manager();
  scene.MoveTo(10, 10);
  const ControlTimer* timer = manager.FindTimer(button, CButtonUI::kFadeTimer);
  ASSERT_NE(nullptr, timer);
  const UINT systemId = timer->systemId;
  scene.Paint();
  EXPECT_EQ(kRed, scene.At(10, 10));  // fully normal before the first step
  for (int step = 0; step < 3; ++step) scene.window.Send(WM_TIMER, systemId, 0);
  EXPECT_EQ(0, button->FadeAlpha());
  timer = manager.FindTimer(button, CButtonUI::kFadeTimer);
  EXPECT_TRUE(!timer || timer->killed);
  scene.Paint();
  EXPECT_EQ(kBlue, scene.At(10, 10));

  scene.MoveTo(200, 100);  // leaving fades back
  timer = manager.FindTimer(button, CButtonUI::kFadeTimer);
  ASSERT_TRUE(timer && !timer->killed);
  scene.window.Send(WM_TIMER, timer->systemId, 0);
  EXPECT_EQ(100, button->FadeAlpha());
}

TEST(Button, DisablingForgetsHoverAndPress) {
  Scene scene;
  CButtonUI* button = AddColouredButton(scene);
  scene.Show();
  scene.MoveTo(50, 30);
  scene.Down(50, 30);
  button->SetEnabled(false);
  EXPECT_FALSE(button->ButtonState() & (kStateHot | kStatePushed | kStateCaptured));
  scene.Up(50, 30);
  button->SetEnabled(true);
  scene.Paint();
  EXPECT_EQ(kRed, scene.At(50, 30));
  EXPECT_TRUE(scene.NotesOf(button).empty());
}

namespace {

// Pictures for the five-status button: five 10 x 10 bands, normal, pushed, hot, focused, disabled.
class FiveStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    const uint32_t bands[5] = {0xFFFF0000, 0xFF0000FF, 0xFF00FF00, 0xFFFFFF00, 0xFF808080};
    std::vector<uint32_t> pixels(50 * 10);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 50; ++x) pixels[y * 50 + x] = bands[x / 10];
    zip_ = ZipTest::ZipWriter().Add("img/five.png", UiTest::MakePng(50, 10, pixels), true).Build();
    Resource::UseSkinArchive(zip_.data(), zip_.size());
  }
  void TearDown() override { Resource::Reset(); }
  std::string zip_;
};

}  // namespace

TEST_F(FiveStatusTest, OnePictureCutIntoFiveStates) {
  Scene scene;
  // No Tab stops here, so nothing takes the focus at the first paint.
  CButtonUI* sized = scene.Add(new CButtonUI, L"0,0,40,40", L"keyboard=\"false\" fivestatusimage=\"img/five.png\"");
  auto* floating = new CButtonUI;
  floating->ApplyAttributeList(L"keyboard=\"false\" float=\"true\" fivestatusimage=\"img/five.png\"");
  scene.root()->Add(floating);
  scene.Show();
  EXPECT_EQ(10, floating->GetFixedWidth());  // a floating button without a size takes one part's
  EXPECT_EQ(10, floating->GetFixedHeight());
  EXPECT_EQ(kRed, scene.At(20, 20));  // stretched normal part
  scene.MoveTo(20, 20);
  scene.Paint();
  EXPECT_EQ(kGreen, scene.At(20, 20));
  scene.Down(20, 20);
  scene.Paint();
  EXPECT_EQ(kBlue, scene.At(20, 20));
  scene.Up(20, 20);
  scene.MoveTo(200, 150);
  scene.Paint();
  EXPECT_EQ(0xFFFF00u, scene.At(20, 20));  // focused by the click
  sized->SetEnabled(false);
  scene.Paint();
  EXPECT_EQ(kGray, scene.At(20, 20));
}

TEST(Button, HotForegroundOrHotColourOverTheHotPicture) {
  Scene scene;
  scene.Add(new CButtonUI, L"0,0,40,40", L"normalimage=\"color='FFFF0000'\" hotbkcolor=\"#FF0000FF\"");
  scene.Add(new CButtonUI, L"50,0,90,40",
            L"normalimage=\"color='FFFF0000'\" hotbkcolor=\"#FF0000FF\" "
            L"hotforeimage=\"color='FF00FF00' dest='0,0,10,10'\" foreimage=\"color='FF808080' dest='30,30,40,40'\"");
  scene.Show();
  EXPECT_EQ(kGray, scene.At(85, 35));  // the foreground picture, always last
  scene.MoveTo(20, 20);
  scene.Paint();
  EXPECT_EQ(kBlue, scene.At(20, 20));
  scene.MoveTo(70, 20);
  scene.Paint();
  EXPECT_EQ(kRed, scene.At(20, 20));
  EXPECT_EQ(kGreen, scene.At(55, 5));
  EXPECT_EQ(kRed, scene.At(70, 20));  // with a hot foreground picture the colour is not used
  EXPECT_EQ(kGray, scene.At(85, 35));
}

TEST(Button, ContextMenuOnlyWhenAsked) {
  Scene scene;
  CButtonUI* plain = scene.Add(new CButtonUI, L"0,0,40,40");
  CButtonUI* menu = scene.Add(new CButtonUI, L"50,0,90,40", L"menu=\"true\"");
  scene.Show();
  for (int x : {20, 70}) {
    scene.window.Send(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, 20));
    POINT screen = {x, 20};
    ::ClientToScreen(scene.window.hwnd(), &screen);
    scene.window.Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(scene.window.hwnd()), MAKELPARAM(screen.x, screen.y));
  }
  EXPECT_TRUE(scene.NotesOf(plain).empty());
  EXPECT_EQ(Notes{L"menu"}, scene.NotesOf(menu));
}
