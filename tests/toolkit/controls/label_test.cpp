#include <gtest/gtest.h>

#include <algorithm>

#include <functional>

#include "ControlScene.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/controls/UILabel.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/controls/UIProgress.h"

using namespace SkinUI;
using ControlsTest::Scene;

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

}  // namespace

TEST(Label, AlignmentWordsSetAndClearTheStyleBits) {
  CLabelUI label;
  EXPECT_EQ(UINT{DT_VCENTER | DT_SINGLELINE}, label.GetTextStyle());
  label.ApplyAttribute(L"align", L"right");
  EXPECT_EQ(UINT{DT_RIGHT | DT_VCENTER | DT_SINGLELINE}, label.GetTextStyle());
  label.ApplyAttribute(L"align", L"center");
  EXPECT_EQ(UINT{DT_CENTER | DT_VCENTER | DT_SINGLELINE}, label.GetTextStyle());
  label.ApplyAttribute(L"align", L"left");
  EXPECT_EQ(UINT{DT_VCENTER | DT_SINGLELINE}, label.GetTextStyle());
  label.ApplyAttribute(L"align", L"left,right");  // words apply in the order left, center, right
  EXPECT_EQ(UINT{DT_RIGHT}, label.GetTextStyle() & (DT_LEFT | DT_CENTER | DT_RIGHT));
  label.ApplyAttribute(L"valign", L"bottom");
  EXPECT_EQ(UINT{DT_BOTTOM}, label.GetTextStyle() & (DT_VCENTER | DT_BOTTOM));
  label.ApplyAttribute(L"valign", L"top");
  EXPECT_EQ(0u, label.GetTextStyle() & (DT_VCENTER | DT_BOTTOM));
  label.ApplyAttribute(L"valign", L"vcenter");
  EXPECT_EQ(UINT{DT_VCENTER}, label.GetTextStyle() & (DT_VCENTER | DT_BOTTOM));
  label.ApplyAttribute(L"multiline", L"true");
  EXPECT_EQ(UINT{DT_WORDBREAK}, label.GetTextStyle() & (DT_WORDBREAK | DT_SINGLELINE));
  label.ApplyAttribute(L"multiline", L"false");
  EXPECT_TRUE(label.GetTextStyle() & DT_SINGLELINE);
  label.ApplyAttribute(L"endellipsis", L"true");
  EXPECT_TRUE(label.GetTextStyle() & DT_END_ELLIPSIS);
  label.ApplyAttribute(L"endellipsis", L"false");
  EXPECT_FALSE(label.GetTextStyle() & DT_END_ELLIPSIS);
}

TEST(Label, TextAttributesAndFallThrough) {
  CLabelUI label;
  EXPECT_STREQ(L"Label", label.ClassName());
  EXPECT_EQ(&label, label.CastTo(L"Label"));
  EXPECT_EQ(&label, label.CastTo(L"Control"));
  EXPECT_EQ(nullptr, label.CastTo(L"Text"));
  EXPECT_EQ(-1, label.GetFont());
  label.ApplyAttribute(L"font", L"3");
  label.ApplyAttribute(L"textcolor", L"#FF112233");
  label.ApplyAttribute(L"disabledtextcolor", L"FF445566");
  label.ApplyAttribute(L"textpadding", L"1,2,3,4");
  label.ApplyAttribute(L"showhtml", L"true");
  label.ApplyAttribute(L"shadowoffset", L"2,3");
  label.ApplyAttribute(L"enabledshadow", L"true");
  label.ApplyAttribute(L"text", L"hello");
  label.ApplyAttribute(L"bordersize", L"1");
  EXPECT_EQ(3, label.GetFont());
  EXPECT_EQ(0xFF112233u, label.GetTextColor());
  EXPECT_EQ(0xFF445566u, label.GetDisabledTextColor());
  EXPECT_EQ(2, label.GetTextPadding().top);
  EXPECT_EQ(4, label.GetTextPadding().bottom);
  EXPECT_TRUE(label.IsShowHtml());
  EXPECT_EQ(3, label.Effect().shadowOffset.y);
  EXPECT_TRUE(label.Effect().shadow);
  EXPECT_EQ(L"hello", label.GetText());
  EXPECT_EQ(L"", label.GetCustomAttribute(L"bordersize"));
  EXPECT_EQ(L"", label.GetCustomAttribute(L"textpadding"));
}

TEST(Label, HeightWithoutFixedHeightIsFontPlusEightPlusPadding) {
  Scene scene;
  CUIManager& manager = scene.window.manager();
  manager.AddFont(1, L"Tahoma", 20, false, false, false);
  auto* column = new CVerticalLayoutUI;
  auto* label = new CLabelUI;
  label->ApplyAttributeList(L"font=\"1\" text=\"a tip\" textpadding=\"0,3,0,5\"");
  auto* filler = new CControlUI;
  column->Add(label);
  column->Add(filler);
  scene.Add(column, L"0,0,300,200");
  scene.Show();
  const int fontHeight = manager.GetFontInfo(1)->metrics.tmHeight;
  ASSERT_GT(fontHeight, 10);
  EXPECT_EQ(fontHeight + 8 + 3 + 5, label->GetHeight());
  EXPECT_EQ(300, label->GetWidth());

  // The estimate follows text changes and the width of the text; one asked before the label has a
  // window is not kept.
  CLabelUI probe;
  probe.ApplyAttributeList(L"font=\"1\" text=\"ab\" textpadding=\"4,0,6,0\"");
  EXPECT_EQ(0, probe.MeasureSize({300, 200}).cx);
  probe.AttachManager(&manager, nullptr, false);
  const SIZE narrow = probe.MeasureSize({300, 200});
  probe.SetText(L"abababababab");
  const SIZE wide = probe.MeasureSize({300, 200});
  EXPECT_GT(wide.cx, narrow.cx * 3);
  probe.SetFixedWidth(40);
  probe.SetFixedHeight(12);
  const SIZE fixed = probe.MeasureSize({300, 200});
  EXPECT_EQ(40, fixed.cx);
  EXPECT_EQ(12, fixed.cy);
}

TEST(Label, MultiLineEstimateWrapsInTheAvailableWidth) {
  Scene scene;
  CUIManager& manager = scene.window.manager();
  manager.AddFont(1, L"Tahoma", 16, false, false, false);
  CLabelUI label;
  label.AttachManager(&manager, nullptr, false);
  label.ApplyAttributeList(L"font=\"1\" multiline=\"true\" text=\"one two three four five six seven eight nine\"");
  const SIZE wide = label.MeasureSize({1000, 500});
  const SIZE narrow = label.MeasureSize({80, 500});
  EXPECT_EQ(1000, wide.cx);
  EXPECT_EQ(80, narrow.cx);
  EXPECT_GE(narrow.cy, wide.cy * 3);
}

TEST(Label, TextIsDrawnInsideThePaddingInTheStateColour) {
  Scene scene;
  scene.window.manager().AddFont(1, L"Tahoma", 24, true, false, false);
  CLabelUI* label = scene.Add(new CLabelUI, L"10,10,290,70",
                              L"font=\"1\" text=\"MMMM\" textcolor=\"#FFFF0000\" disabledtextcolor=\"#FF00FF00\" "
                              L"textpadding=\"100,0,0,0\"");
  scene.Show();
  EXPECT_GT(scene.Count(kRed, {110, 10, 290, 70}), 30);
  EXPECT_EQ(0, scene.Count(kRed, {0, 0, 110, 200}));
  label->SetEnabled(false);
  scene.Paint();
  EXPECT_EQ(0, scene.Count(kRed, {0, 0, 320, 200}));
  EXPECT_GT(scene.Count(kGreen, {110, 10, 290, 70}), 30);
}

TEST(Label, ZeroColoursTakeTheWindowDefaults) {
  Scene scene;
  scene.window.manager().AddFont(1, L"Tahoma", 24, true, false, false);
  scene.window.manager().SetDefaultColor(kTextColor, 0xFF00FF00);
  CLabelUI* label = scene.Add(new CLabelUI, L"10,10,290,70", L"font=\"1\" text=\"MMMM\"");
  scene.Show();
  EXPECT_GT(scene.Count(kGreen, {10, 10, 290, 70}), 30);
  EXPECT_EQ(0xFF00FF00u, label->GetTextColor());
}

TEST(Label, MarkupTextWhenShowHtml) {
  Scene scene;
  scene.window.manager().AddFont(1, L"Tahoma", 24, true, false, false);
  scene.Add(new CLabelUI, L"10,10,290,70",
            L"font=\"1\" showhtml=\"true\" textcolor=\"#FFFF0000\" text=\"MM{c #FF00FF00}MM{/c}\"");
  scene.Show();
  EXPECT_GT(scene.Count(kRed, {10, 10, 290, 70}), 20);
  EXPECT_GT(scene.Count(kGreen, {10, 10, 290, 70}), 20);
}

TEST(Label, EffectTextDrawsItsShadowAtTheOffset) {
  Scene scene;
  scene.window.manager().AddFont(1, L"Tahoma", 24, true, false, false);
  scene.Add(new CLabelUI, L"10,10,290,70",
            L"font=\"1\" text=\"MMMM\" textcolor=\"#FFFF0000\" enabledeffect=\"true\" enabledshadow=\"true\" "
            L"shadowoffset=\"4,4\" textshadowcolora=\"#FF00FF00\"");
  scene.Show();
  const RECT red = {10, 10, 290, 70};
  EXPECT_GT(scene.Count(kRed, red), 30);
  EXPECT_GT(scene.Count(kGreen, red), 10);
  // The shadow lies below and to the right of the text: no green left of or above the first red pixel.
  int firstRedX = 290, firstGreenX = 290;
  for (int y = 10; y < 70; ++y)
    for (int x = 10; x < 290; ++x) {
      if (scene.At(x, y) == kRed) firstRedX = std::min(firstRedX, x);
      if (scene.At(x, y) == kGreen) firstGreenX = std::min(firstGreenX, x);
    }
  EXPECT_GT(firstGreenX, firstRedX);
}

// Alt and a plain label's shortcut reach the control after the label, as a dialog's caption hands its
// access key on; every control drawn from a label that shows its own words keeps its shortcut.
TEST(Label, OnlyAPlainLabelHandsItsShortcutOn) {
  const struct {
    const wchar_t* kind;
    std::function<CControlUI*()> make;
    bool handsOn;
  } cases[] = {
      {L"Label", [] { return new CLabelUI; }, true},        {L"Text", [] { return new CTextUI; }, false},
      {L"Button", [] { return new CButtonUI; }, false},     {L"Option", [] { return new COptionUI; }, false},
      {L"CheckBox", [] { return new CCheckBoxUI; }, false}, {L"Edit", [] { return new CEditUI; }, false},
      {L"Progress", [] { return new CProgressUI; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    Scene scene;
    // The search walks children last to first: the control after the caption is the one added before it.
    CControlUI* field = scene.Add(new UiTest::ProbeUI(L"field", ControlFlagTabStop), L"10,10,60,40");
    CControlUI* control = scene.Add(c.make(), L"80,10,200,40");
    control->SetShortcut(L'p');
    scene.Show();
    LRESULT result = 0;
    EXPECT_TRUE(scene.window.manager().PreFilterMessage(WM_SYSCHAR, L'P', 0, result));
    EXPECT_EQ(c.handsOn ? field : control, scene.window.manager().GetFocus());
  }
}
