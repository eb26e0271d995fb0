#include <gtest/gtest.h>

#include <string>

#include "ControlScene.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UILabel.h"
#include "toolkit/render/UIRender.h"
#include "toolkit/controls/UITextFit.h"

using namespace SkinUI;
using ControlsTest::Scene;

namespace {

constexpr uint32_t kRed = 0xFF0000;

// "Customize installation" and the licence sentence's end in Arabic: letters that join.
const wchar_t kArabic[] = L"\x062A\x062B\x0628\x064A\x062A \x0645\x062E\x0635\x0635";

// Columns of rect that hold red ink, as [first, last]; {-1, -1} when none.
std::pair<int, int> InkColumns(const Scene& scene, const RECT& rc) {
  std::pair<int, int> ink = {-1, -1};
  for (int x = rc.left; x < rc.right; ++x) {
    if (scene.Count(kRed, {x, rc.top, x + 1, rc.bottom}) == 0) continue;
    if (ink.first < 0) ink.first = x;
    ink.second = x;
  }
  return ink;
}

// Whether the last line drawn in rc ends in dots: its last few inked columns hold ink only near the
// line's foot, where a cut letter would reach up to the top of the line.
bool EndsInDots(const Scene& scene, const RECT& rc) {
  int bottom = -1;
  for (int y = rc.top; y < rc.bottom; ++y)
    if (scene.Count(kRed, {rc.left, y, rc.right, y + 1})) bottom = y;
  if (bottom < 0) return false;
  const RECT line = {rc.left, bottom - 14, rc.right, bottom + 1};
  const int last = InkColumns(scene, line).second;
  return scene.Count(kRed, {last - 3, line.top, last + 1, bottom - 4}) == 0;
}

}  // namespace

// A text too long for its place, plain or marked up, on one line or on the lines it has: it ends in an
// ellipsis with room to spare instead of running into the edge, and its tooltip holds it whole.
TEST(TextFit, TooLongTextsEndInAnEllipsisAndTheirTooltipShowsThemWhole) {
  struct Case {
    const wchar_t* attributes;
    const wchar_t* whole;
  } cases[] = {
      {L"text=\"WWWWWWWWWWWWWWWWWWWW\"", L"WWWWWWWWWWWWWWWWWWWW"},
      {L"showhtml=\"true\" text=\"WWWW {c #FFFF0000}WWWWWWWWWWWWWWWW{/c}\"", L"WWWW WWWWWWWWWWWWWWWW"},
      {L"showhtml=\"true\" multiline=\"true\" text=\"WW WW WW WW WW WW WW WW WW WW WW WW\"",
       L"WW WW WW WW WW WW WW WW WW WW WW WW"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<const void*>(c.attributes));
    Scene scene;
    scene.window.manager().AddFont(1, L"Tahoma", 16, false, false, false);
    const std::wstring common = L"font=\"1\" textcolor=\"#FFFF0000\" align=\"left\" ";
    CLabelUI* tooLong = scene.Add(new CLabelUI, L"10,10,130,50", common + c.attributes);
    CLabelUI* fits = scene.Add(new CLabelUI, L"10,100,310,140", common + L"text=\"WW\"");
    scene.Show();
    EXPECT_FALSE(tooLong->TextFits());
    EXPECT_EQ(c.whole, tooLong->ShownToolTip());
    EXPECT_TRUE(fits->TextFits());
    EXPECT_EQ(L"", fits->ShownToolTip());
    EXPECT_TRUE(EndsInDots(scene, {10, 10, 130, 50})) << "a hard cut";
    EXPECT_FALSE(EndsInDots(scene, {10, 100, 310, 140}));
  }
}

// The check lists what does not fit, by name, with the room needed and the room given; what fits and
// what is hidden are left out.
TEST(TextFit, TheCheckListsEachClippedTextWithItsWidths) {
  Scene scene;
  scene.window.manager().AddFont(1, L"Tahoma", 16, false, false, false);
  scene.Add(new CLabelUI, L"10,10,300,40", L"name=\"roomy\" font=\"1\" text=\"Hide\"");
  scene.Add(new CButtonUI, L"10,50,60,80", L"name=\"btn_hide\" font=\"1\" text=\"Sembunyikan\"");
  scene.Add(new CLabelUI, L"10,90,100,110",
            L"name=\"licence\" font=\"1\" multiline=\"true\" showhtml=\"true\" text=\"one two three four five six\"");
  scene.Add(new CLabelUI, L"10,120,20,140", L"name=\"hidden\" font=\"1\" visible=\"false\" text=\"far too long\"");
  scene.Show();
  const std::vector<ClippedText> clipped = FindClippedTexts(scene.root());
  ASSERT_EQ(2u, clipped.size());
  EXPECT_EQ(L"btn_hide", clipped[0].control);
  EXPECT_EQ(50, clipped[0].available.cx);
  EXPECT_GT(clipped[0].needed.cx, 50);
  EXPECT_EQ(L"licence", clipped[1].control);
  EXPECT_EQ(20, clipped[1].available.cy);
  EXPECT_GT(clipped[1].needed.cy, 20);
  EXPECT_LE(clipped[1].needed.cx, 90);
}

// Joined Arabic is narrower than its letters one by one: placed by its drawn width, a centred caption
// sits in the middle and a right-aligned line ends at the right edge, plain or marked up.
TEST(TextFit, JoinedArabicIsPlacedByTheWidthItIsDrawnWith) {
  Scene scene;
  scene.window.manager().AddFont(1, L"Tahoma", 20, false, false, false);
  const std::wstring text = std::wstring(L"text=\"") + kArabic + L"\" font=\"1\" textcolor=\"#FFFF0000\" ";
  scene.Add(new CLabelUI, L"10,10,310,50", text + L"align=\"center\"");
  scene.Add(new CLabelUI, L"10,60,310,100", text + L"align=\"right\"");
  scene.Add(new CLabelUI, L"10,110,310,150", text + L"align=\"right\" showhtml=\"true\"");
  scene.Show();
  const std::pair<int, int> centred = InkColumns(scene, {10, 10, 310, 50});
  ASSERT_GE(centred.first, 0);
  EXPECT_NEAR(160, (centred.first + centred.second + 1) / 2, 3);
  for (int top : {60, 110}) {
    const std::pair<int, int> right = InkColumns(scene, {10, top, 310, top + 40});
    ASSERT_GE(right.first, 0);
    EXPECT_NEAR(309, right.second, 3) << top;
  }
  // And the measure the layout uses is that width, not the letters' sum.
  HFONT font = scene.window.manager().GetFont(1);
  const int drawn = DrawnTextWidth(font, kArabic, static_cast<int>(wcslen(kArabic)));
  EXPECT_NEAR(centred.second - centred.first + 1, drawn, 8);
}
