#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "toolkit/render/UIRender.h"

using namespace SkinUI;
using UiTest::Canvas;

namespace {

class MarkupTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(manager_.AddFont(1, L"Tahoma", 20, false, false, false)); }

  // As the renderer measures: joined Arabic by the width it is drawn with.
  int TextWidth(const std::wstring& text) {
    return DrawnTextWidth(manager_.GetFont(1), text.c_str(), static_cast<int>(text.size()));
  }

  CUIManager manager_;
};

}  // namespace

TEST_F(MarkupTest, ColourTagColoursOnlyItsWord) {
  Canvas canvas(300, 40);
  RECT rc = {0, 0, 300, 40};
  int links = 0;
  DrawMarkupText(canvas.dc(), &manager_, rc, L"{c #FFFF0000}red{/c} and more words", 0x0000FF00, nullptr, nullptr,
                 links, 1, 0);
  const RECT red = canvas.Find(0xFF0000);
  const RECT green = canvas.Find(0x00FF00);
  ASSERT_FALSE(RectEmpty(red));
  ASSERT_FALSE(RectEmpty(green));
  EXPECT_LT(red.right, green.left);
  EXPECT_LE(red.right, TextWidth(L"red"));
  EXPECT_EQ(0, links);
}

TEST_F(MarkupTest, LinksGetTheirRectanglesTargetsAndColour) {
  Canvas canvas(400, 40);
  RECT rc = {10, 5, 390, 35};
  RECT linkRects[2] = {};
  std::wstring targets[2];
  int count = 2;
  DrawMarkupText(canvas.dc(), &manager_, rc, L"read {u}{a https://example.test/eula}the terms{/a}{/u} now", 0xFFDDDDDD,
                 linkRects, targets, count, 1, 0);
  ASSERT_EQ(1, count);
  EXPECT_EQ(L"https://example.test/eula", targets[0]);
  const RECT& link = linkRects[0];
  EXPECT_EQ(10 + TextWidth(L"read "), link.left);
  EXPECT_EQ(TextWidth(L"the terms"), RectWidth(link));
  EXPECT_EQ(5, link.top);
  // Link pixels (the default link colour, blue) lie inside the link rectangle only.
  const RECT blue = canvas.Find(0x0000FF);
  ASSERT_FALSE(RectEmpty(blue));
  EXPECT_GE(blue.left, link.left);
  EXPECT_LE(blue.right, link.right);
  EXPECT_GT(canvas.Count(0xDDDDDD), 0);

  // The hovered link takes the hover colour; with no room for links none are reported.
  Canvas hover(400, 40);
  count = 2;
  DrawMarkupText(hover.dc(), &manager_, rc, L"{a x}link{/a}", 0xFFDDDDDD, linkRects, targets, count, 1, 0, 0);
  EXPECT_GT(hover.Count(0xD3215F), 0);
  EXPECT_EQ(0, hover.Count(0x0000FF));
  count = 0;
  DrawMarkupText(hover.dc(), &manager_, rc, L"{a x}link{/a}", 0xFFDDDDDD, linkRects, targets, count, 1, 0);
  EXPECT_EQ(0, count);
}

// A text that starts with an Arabic word reads from the right: its first word stands at the right end,
// a run of Latin words keeps its order, and the blanks stay between the words. English is untouched.
TEST_F(MarkupTest, ArabicWordsAreSetFromTheRightAndLatinRunsKeepTheirOrder) {
  Canvas canvas(500, 40);
  RECT rc = {0, 0, 500, 40};
  int links = 0;
  const std::wstring first = L"\x0644\x0642\x062F", second = L"\x0642\x0631\x0623\x062A";
  DrawMarkupText(canvas.dc(), &manager_, rc,
                 L"{c #FFFF0000}" + first + L"{/c} {c #FF00FF00}" + second +
                     L"{/c} {c #FF0000FF}Brenmark{/c} {c #FFFFFF00}Solvetta{/c}",
                 0xFFFFFFFF, nullptr, nullptr, links, 1, 0);
  const RECT red = canvas.Find(0xFF0000), green = canvas.Find(0x00FF00);
  const RECT blue = canvas.Find(0x0000FF), yellow = canvas.Find(0xFFFF00);
  for (const RECT& r : {red, green, blue, yellow}) ASSERT_FALSE(RectEmpty(r));
  const int span = TextWidth(first + L" " + second + L" Brenmark Solvetta");
  EXPECT_LT(blue.right, yellow.left);   // "Brenmark Solvetta" as written
  EXPECT_LT(yellow.right, green.left);  // then the second word, then the first at the right end
  EXPECT_LT(green.right, red.left);
  EXPECT_LE(red.right, span);
  EXPECT_GE(red.right, span - TextWidth(first));
  EXPECT_GE(blue.left, 0);
  EXPECT_LE(blue.left, 2);

  Canvas english(500, 40);
  DrawMarkupText(english.dc(), &manager_, rc, L"{c #FFFF0000}one{/c} {c #FF00FF00}two{/c}", 0xFFFFFFFF, nullptr,
                 nullptr, links, 1, 0);
  EXPECT_LT(english.Find(0xFF0000).right, english.Find(0x00FF00).left);
}

// An Arabic line wider than its area keeps its beginning: its first word ends at the area's right edge.
TEST_F(MarkupTest, AnArabicLineTooWideForItsAreaLosesItsEndNotItsBeginning) {
  const std::wstring first = L"\x0644\x0642\x062F", rest = L"\x0627\x062A\x0641\x0627\x0642\x064A\x0629";
  const int width = TextWidth(first + L" " + rest + L" " + rest) - 10;
  Canvas canvas(width + 50, 40);
  RECT rc = {0, 0, width, 40};
  int links = 0;
  DrawMarkupText(canvas.dc(), &manager_, rc, L"{c #FFFF0000}" + first + L"{/c} " + rest + L" " + rest, 0xFFFFFFFF,
                 nullptr, nullptr, links, 1, DT_SINGLELINE);
  const RECT red = canvas.Find(0xFF0000);
  ASSERT_FALSE(RectEmpty(red));
  EXPECT_LE(red.right, width);
  EXPECT_GE(red.right, width - 3);
}

// Link rectangles follow their words into the mirrored places.
TEST_F(MarkupTest, LinksOfAnArabicTextAreWhereTheirWordsAreDrawn) {
  Canvas canvas(500, 40);
  RECT rc = {0, 0, 500, 40};
  RECT linkRects[2] = {};
  std::wstring targets[2];
  int count = 2;
  const std::wstring word = L"\x0627\x062A\x0641\x0627\x0642\x064A\x0629";
  DrawMarkupText(canvas.dc(), &manager_, rc, L"\x0644\x0642\x062F {a x}" + word + L"{/a} \x0648", 0xFFDDDDDD, linkRects,
                 targets, count, 1, 0);
  ASSERT_EQ(1, count);
  const RECT blue = canvas.Find(0x0000FF);
  ASSERT_FALSE(RectEmpty(blue));
  EXPECT_GE(blue.left, linkRects[0].left);
  EXPECT_LE(blue.right, linkRects[0].right);
  EXPECT_EQ(TextWidth(word), RectWidth(linkRects[0]));
  EXPECT_GT(linkRects[0].left, TextWidth(L"\x0648"));  // the last word stands left of the link
}

TEST_F(MarkupTest, SingleLineCutEndsWithEllipsis) {
  const std::wstring text = L"abcdefghij klmnopqrst uvwxyz";
  RECT calc = {0, 0, 80, 30};
  int none = 0;
  DrawMarkupText(nullptr, &manager_, calc, text, 0xFF000000, nullptr, nullptr, none, 1,
                 DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
  ASSERT_GT(calc.right, 0);
  EXPECT_LE(calc.right, 80);
  bool matchesAPrefixWithDots = false;
  for (size_t n = 0; n <= text.size(); ++n)
    matchesAPrefixWithDots |= TextWidth(text.substr(0, n) + L"...") == calc.right;
  EXPECT_TRUE(matchesAPrefixWithDots);

  Canvas canvas(120, 30);
  RECT rc = {0, 0, 80, 30};
  DrawMarkupText(canvas.dc(), &manager_, rc, text, 0xFFFFFFFF, nullptr, nullptr, none, 1,
                 DT_SINGLELINE | DT_END_ELLIPSIS);
  const RECT ink = canvas.Find(0xFFFFFF);
  EXPECT_LE(ink.right, 80);
  EXPECT_GT(ink.right, 60);
}

TEST_F(MarkupTest, WrapsMeasuresAndAligns) {
  const std::wstring text = L"one two three four five six seven";
  RECT wide = {0, 0, 1000, 200};
  int none = 0;
  DrawMarkupText(nullptr, &manager_, wide, text, 0, nullptr, nullptr, none, 1, DT_CALCRECT);
  const int lineHeight = RectHeight(wide);
  EXPECT_EQ(TextWidth(text), RectWidth(wide));
  RECT narrow = {0, 0, 100, 200};
  DrawMarkupText(nullptr, &manager_, narrow, text, 0, nullptr, nullptr, none, 1, DT_CALCRECT);
  EXPECT_GE(RectHeight(narrow), 3 * lineHeight);
  EXPECT_LE(RectWidth(narrow), 100);
  RECT breaks = {0, 0, 1000, 200};
  DrawMarkupText(nullptr, &manager_, breaks, L"a{n}b{p 7}c{/p}", 0, nullptr, nullptr, none, 1, DT_CALCRECT);
  EXPECT_EQ(3 * lineHeight + 7, RectHeight(breaks));

  Canvas canvas(200, 60);
  RECT rc = {0, 0, 200, 60};
  DrawMarkupText(canvas.dc(), &manager_, rc, L"mid", 0xFFFFFFFF, nullptr, nullptr, none, 1,
                 DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  const RECT ink = canvas.Find(0xFFFFFF);
  ASSERT_FALSE(RectEmpty(ink));
  EXPECT_NEAR(ink.left, 200 - ink.right, 4);
  EXPECT_NEAR(ink.top, 60 - ink.bottom, 8);
  Canvas right(200, 30);
  DrawMarkupText(right.dc(), &manager_, rc, L"end", 0xFFFFFFFF, nullptr, nullptr, none, 1, DT_SINGLELINE | DT_RIGHT);
  EXPECT_GE(right.Find(0xFFFFFF).right, 196);
}

TEST_F(MarkupTest, MalformedMarkupStaysInsideTheText) {
  int none = 0;
  for (const wchar_t* text : {L"{", L"{c", L"{c #", L"{/", L"{a", L"text {b", L"{r}raw {b} text", L"{i img.png 3",
                              L"{x 5}{y}{v center}{s}x{/s}{/v}", L"{z unknown}x", L"<b>bold</b> <c>"}) {
    RECT rc = {0, 0, 300, 100};
    DrawMarkupText(nullptr, &manager_, rc, text, 0, nullptr, nullptr, none, 1, DT_CALCRECT);
    EXPECT_LE(RectWidth(rc), 300) << text;
  }
  // Raw text keeps its tags as text.
  RECT raw = {0, 0, 1000, 100};
  DrawMarkupText(nullptr, &manager_, raw, L"{r}{b}{/r}", 0, nullptr, nullptr, none, 1, DT_CALCRECT);
  EXPECT_EQ(TextWidth(L"{b}"), RectWidth(raw));
  // Plain drawing ignores the alpha byte of the colour.
  Canvas canvas(100, 30);
  RECT rc = {0, 0, 100, 30};
  DrawText(canvas.dc(), &manager_, rc, L"white", 0x00FFFFFF, 1, DT_SINGLELINE);
  EXPECT_GT(canvas.Count(0xFFFFFF), 0);
}
