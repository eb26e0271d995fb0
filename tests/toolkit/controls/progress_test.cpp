#include <gtest/gtest.h>

#include "ControlScene.h"
#include "toolkit/controls/UIProgress.h"

using namespace SkinUI;
using ControlsTest::Scene;

namespace {

constexpr uint32_t kBlue = 0x0000FF, kBack = 0x202020;

// A 200 x 20 bar at (10, 10) filling with blue over a dark background.
CProgressUI* AddBar(Scene& scene, const std::wstring& attributes = std::wstring()) {
  std::wstring all = L"bkcolor=\"#FF202020\" foreimage=\"color='FF0000FF'\"";
  if (!attributes.empty()) all += L" " + attributes;
  return scene.Add(new CProgressUI, L"10,10,210,30", all);
}

// Filled columns in the bar's middle row.
int FilledWidth(const Scene& scene) { return scene.Count(kBlue, {10, 20, 210, 21}); }

}  // namespace

TEST(Progress, HorizontalFillIsProportionalFromTheLeft) {
  Scene scene;
  CProgressUI* bar = AddBar(scene, L"value=\"30\"");
  scene.Show();
  EXPECT_EQ(60, FilledWidth(scene));
  EXPECT_EQ(kBlue, scene.At(10, 20));
  EXPECT_EQ(kBlue, scene.At(69, 29));
  EXPECT_EQ(kBack, scene.At(70, 20));
  EXPECT_EQ(kBack, scene.At(209, 20));

  bar->SetValue(150);  // clamped to the maximum
  EXPECT_EQ(100, bar->GetValue());
  scene.Paint();
  EXPECT_EQ(200, FilledWidth(scene));

  bar->SetValue(-5);
  EXPECT_EQ(0, bar->GetValue());
  scene.Paint();
  EXPECT_EQ(0, FilledWidth(scene));  // an empty fill draws nothing, not the whole picture
  EXPECT_EQ(kBack, scene.At(10, 20));
}

TEST(Progress, CustomRangeAndIntegerRounding) {
  Scene scene;
  CProgressUI* bar = AddBar(scene, L"min=\"50\" max=\"350\" value=\"100\"");
  scene.Show();
  EXPECT_EQ(50, bar->GetMinValue());
  EXPECT_EQ(350, bar->GetMaxValue());
  EXPECT_EQ(200 * 50 / 300, FilledWidth(scene));  // 33: truncated
  RECT fill = bar->FillRect();
  EXPECT_EQ(0, fill.left);
  EXPECT_EQ(33, fill.right);
  EXPECT_EQ(20, fill.bottom);
}

TEST(Progress, EmptyRangeIsRepairedAtPaintTime) {
  Scene scene;
  CProgressUI* bar = AddBar(scene, L"min=\"10\" max=\"10\" value=\"10\"");
  scene.Show();
  EXPECT_EQ(11, bar->GetMaxValue());
  EXPECT_EQ(0, FilledWidth(scene));
  bar->SetMaxValue(5);  // below the minimum
  scene.Paint();
  EXPECT_EQ(11, bar->GetMaxValue());
  EXPECT_EQ(0, FilledWidth(scene));
  bar->SetValue(50);
  EXPECT_EQ(11, bar->GetValue());
  scene.Paint();
  EXPECT_EQ(200, FilledWidth(scene));
}

TEST(Progress, VerticalFillRisesFromTheBottom) {
  Scene scene;
  CProgressUI* bar = scene.Add(new CProgressUI, L"10,10,30,110",
                               L"bkcolor=\"#FF202020\" foreimage=\"color='FF0000FF'\" hor=\"false\" value=\"25\"");
  scene.Show();
  EXPECT_FALSE(bar->IsHorizontal());
  EXPECT_EQ(25, scene.Count(kBlue, {20, 10, 21, 110}));
  EXPECT_EQ(kBack, scene.At(20, 84));
  EXPECT_EQ(kBlue, scene.At(20, 85));
  EXPECT_EQ(kBlue, scene.At(20, 109));
}

TEST(Progress, WideRangesDoNotOverflow) {
  Scene scene;
  CProgressUI* bar = AddBar(scene, L"max=\"2000000000\" value=\"1000000000\"");
  scene.Show();
  EXPECT_EQ(100, bar->FillRect().right);
  EXPECT_EQ(100, FilledWidth(scene));
}

TEST(Progress, NamesAndFallThrough) {
  CProgressUI bar;
  EXPECT_STREQ(L"Progress", bar.ClassName());
  EXPECT_EQ(&bar, bar.CastTo(L"Progress"));
  EXPECT_EQ(&bar, bar.CastTo(L"Label"));
  EXPECT_EQ(nullptr, bar.CastTo(L"Button"));
  EXPECT_TRUE(bar.IsHorizontal());
  EXPECT_EQ(0, bar.GetMinValue());
  EXPECT_EQ(100, bar.GetMaxValue());
  bar.ApplyAttribute(L"text", L"42%");
  EXPECT_EQ(L"42%", bar.GetText());
}
