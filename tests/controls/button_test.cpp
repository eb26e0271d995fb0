#include <gtest/gtest.h>

#include "ControlScene.h"
#include "toolkit/UIButton.h"

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
  CButtonUI* button = scene.Add(new CButtonUI, L"0,0,50,50",
                                L"normalimage=\"color='FFFF0000'\" hotimage=\"file='img/missing.png'\"");
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
