#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ZipWriter.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/render/UIRender.h"

using namespace SkinUI;
using UiTest::Canvas;

namespace {

bool SameRect(const RECT& a, LONG l, LONG t, LONG r, LONG b) {
  return a.left == l && a.top == t && a.right == r && a.bottom == b;
}

// Pictures in a skin archive held in memory for the whole test.
class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    std::vector<uint32_t> quarters(20 * 20);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) quarters[y * 20 + x] = x < 10 ? 0xFFFF0000 : 0xFF0000FF;
    zip_ = ZipTest::ZipWriter()
               .Add("img/checked.png", UiTest::MakeSolidPng(7, 7, 0xFF00FF00), true)
               .Add("img/progress.png", UiTest::MakeSolidPng(10, 4, 0xFF0000FF), true)
               .Add("img/halves.png", UiTest::MakePng(20, 20, quarters), true)
               .Add("img/glass.png", UiTest::MakeSolidPng(4, 4, 0x80FFFFFF), true)
               .Build();
    Resource::UseSkinArchive(zip_.data(), zip_.size());
  }
  void TearDown() override { Resource::Reset(); }

  std::string zip_;
  CUIManager manager_;
};

}  // namespace

TEST(Render, ColorFillsHonourAlpha) {
  Canvas canvas(10, 10, 0xFF204060);
  DrawColor(canvas.dc(), {0, 0, 10, 10}, 0x00FFFFFF);
  EXPECT_EQ(0x204060u, canvas.At(5, 5));
  DrawColor(canvas.dc(), {2, 2, 5, 5}, 0xFF1F1F1F);
  EXPECT_EQ(0x1F1F1Fu, canvas.At(2, 2));
  EXPECT_EQ(0x1F1F1Fu, canvas.At(4, 4));
  EXPECT_EQ(0x204060u, canvas.At(5, 5));
  Canvas black(4, 4, 0xFF000000);
  DrawColor(black.dc(), {0, 0, 4, 4}, 0x80FFFFFF);
  const uint32_t blended = black.At(1, 1);
  EXPECT_NEAR(0x80, blended & 0xFF, 2);
  EXPECT_NEAR(0x80, (blended >> 16) & 0xFF, 2);
}

TEST(Render, GradientRunsFromTopToBottom) {
  Canvas canvas(4, 64);
  DrawGradient(canvas.dc(), {0, 0, 4, 64}, 0xFF000000, 0xFFFFFFFF, true, 16);
  EXPECT_LT(canvas.At(1, 0) & 0xFF, 0x10u);
  EXPECT_GT(canvas.At(1, 63) & 0xFF, 0xF0u);
  EXPECT_LT(canvas.At(1, 20) & 0xFF, canvas.At(1, 40) & 0xFF);
  Canvas untouched(4, 4, 0xFF123456);
  DrawGradient(untouched.dc(), {0, 0, 4, 4}, 0x00000000, 0x00FFFFFF, true, 16);
  EXPECT_EQ(0x123456u, untouched.At(2, 2));
}

TEST(Render, DescriptorGrammar) {
  ImageDrawInfo info;
  info.SetDescriptor(L"file='img/checked.png' dest='0,8,14,22'");
  info.ParseDescriptor();
  EXPECT_EQ(L"img/checked.png", info.name);
  EXPECT_TRUE(SameRect(info.dest, 0, 8, 14, 22));

  info.SetDescriptor(L"img\\left_log.png");
  info.ParseDescriptor();
  EXPECT_EQ(L"img\\left_log.png", info.name);
  EXPECT_TRUE(SameRect(info.dest, 0, 0, 0, 0));

  info.SetDescriptor(L"file = 'a.png' corner='1,2,3,4' fade='300' hole='true' xtiled='true' mask='#FFFF00FF'");
  info.ParseDescriptor();
  EXPECT_EQ(L"a.png", info.name);
  EXPECT_TRUE(SameRect(info.corner, 1, 2, 3, 4));
  EXPECT_EQ(255, info.fade);
  EXPECT_TRUE(info.hole);
  EXPECT_TRUE(info.xTiled);
  EXPECT_FALSE(info.yTiled);
  EXPECT_EQ(0xFFFF00FFu, info.mask);

  // Two spaces end the parse; the pair before stays.
  info.SetDescriptor(L"file='b.png'  dest='1,1,2,2'");
  info.ParseDescriptor();
  EXPECT_EQ(L"b.png", info.name);
  EXPECT_TRUE(SameRect(info.dest, 0, 0, 0, 0));
  // An unterminated value stops at the end of the text.
  info.SetDescriptor(L"file='c.png' source='1,2");
  info.ParseDescriptor();
  EXPECT_EQ(L"c.png", info.name);
  EXPECT_TRUE(SameRect(info.source, 0, 0, 0, 0));
  info.SetDescriptor(L"color='#FF00FF00' fade='10'");
  info.ParseDescriptor();
  EXPECT_EQ(L"#FF00FF00", info.name);
  EXPECT_EQ(L"*COLOR*", info.resType);
  EXPECT_EQ(10, info.fade);
}

TEST(Render, AttributeTextReadersStopAtTheEnd) {
  long values[4] = {9, 9, 9, 9};
  EXPECT_EQ(2, Parse::Ints(L"4,-5,", values, 4));
  EXPECT_EQ(-5, values[1]);
  EXPECT_EQ(9, values[2]);
  EXPECT_EQ(0xFFAABBCCu, Parse::Color(L"#FFAABBCC"));
  EXPECT_EQ(0xABu, Parse::Color(L"#ABxyz"));
  EXPECT_EQ(0u, Parse::Color(L"#"));
  EXPECT_EQ(0xFF00FF00u, Parse::ColorSkipBlanks(L"  \t#FF00FF00"));
  RECT rc;
  EXPECT_FALSE(Parse::Rect(L"1,2,3", rc));
  EXPECT_EQ(3, rc.right);
}

TEST_F(RenderTest, CheckBoxImageGoesIntoItsDestSquare) {
  Canvas canvas(40, 40);
  ImageDrawInfo info;
  info.SetDescriptor(L"file='img/checked.png' dest='0,8,14,22'");
  const RECT box = {10, 5, 30, 35};
  ASSERT_TRUE(DrawImage(canvas.dc(), &manager_, box, box, info));
  EXPECT_TRUE(SameRect(canvas.Find(0x00FF00), 10, 13, 24, 27));
  EXPECT_EQ(14 * 14, canvas.Count(0x00FF00));
}

TEST_F(RenderTest, ProgressDestOverrideAndSourceCut) {
  Canvas canvas(220, 10);
  ImageDrawInfo info;
  info.SetDescriptor(L"img\\progress.png");
  const RECT bar = {10, 2, 210, 8};
  ASSERT_TRUE(DrawImage(canvas.dc(), &manager_, bar, bar, info));
  EXPECT_TRUE(SameRect(canvas.Find(0x0000FF), 10, 2, 210, 8));
  // Value 30 of 0..100 on a 200-pixel bar: the fill is written into dest before drawing.
  Canvas partial(220, 10);
  info.dest = {0, 0, 60, 6};
  ASSERT_TRUE(DrawImage(partial.dc(), &manager_, bar, bar, info));
  EXPECT_TRUE(SameRect(partial.Find(0x0000FF), 10, 2, 70, 8));

  // A source beyond the picture is cut to it: only the red left half of "halves" lands in dest.
  Canvas cut(40, 40);
  ImageDrawInfo halves;
  halves.SetDescriptor(L"file='img/halves.png' source='0,0,10,500'");
  const RECT whole = {0, 0, 20, 20};
  ASSERT_TRUE(DrawImage(cut.dc(), &manager_, whole, whole, halves));
  EXPECT_EQ(400, cut.Count(0xFF0000));
  EXPECT_EQ(0, cut.Count(0x0000FF));
}

TEST_F(RenderTest, MissingPicturesFailOnceAndForAll) {
  Canvas canvas(10, 10, 0xFF111111);
  ImageDrawInfo info;
  info.SetDescriptor(L"language\\pr_01.png");
  const RECT rc = {0, 0, 10, 10};
  EXPECT_FALSE(DrawImage(canvas.dc(), &manager_, rc, rc, info));
  EXPECT_TRUE(info.loadTried);
  EXPECT_FALSE(DrawImage(canvas.dc(), &manager_, rc, rc, info));
  ImageDrawInfo empty;
  EXPECT_FALSE(DrawImage(canvas.dc(), &manager_, rc, rc, empty));
  ImageDrawInfo noManager;
  noManager.SetDescriptor(L"img\\progress.png");
  EXPECT_FALSE(DrawImage(canvas.dc(), nullptr, rc, rc, noManager));
  EXPECT_FALSE(noManager.loadTried);
  EXPECT_EQ(100, canvas.Count(0x111111));
}

TEST_F(RenderTest, NineGridCornersTilesHolesAndFade) {
  // Corners of 10 keep the left (red) and right (blue) columns at their size while the control widens.
  Canvas canvas(100, 20);
  ImageDrawInfo info;
  info.SetDescriptor(L"file='img/halves.png' corner='10,0,10,0' hole='true'");
  const RECT rc = {0, 0, 100, 20};
  ASSERT_TRUE(DrawImage(canvas.dc(), &manager_, rc, rc, info));
  EXPECT_TRUE(SameRect(canvas.Find(0xFF0000), 0, 0, 10, 20));
  EXPECT_TRUE(SameRect(canvas.Find(0x0000FF), 90, 0, 100, 20));
  EXPECT_EQ(0u, canvas.At(50, 10));

  // Tiling repeats the 20-pixel picture: red and blue alternate every 10 pixels, the last piece cut.
  Canvas tiled(50, 20);
  ImageDrawInfo tiles;
  tiles.SetDescriptor(L"file='img/halves.png' xtiled='true'");
  const RECT wide = {0, 0, 50, 20};
  ASSERT_TRUE(DrawImage(tiled.dc(), &manager_, wide, wide, tiles));
  EXPECT_EQ(0xFF0000u, tiled.At(25, 5));
  EXPECT_EQ(0x0000FFu, tiled.At(35, 5));
  EXPECT_EQ(0xFF0000u, tiled.At(45, 5));

  Canvas faded(10, 10);
  ImageDrawInfo fade;
  fade.SetDescriptor(L"file='img/progress.png' fade='128'");
  const RECT small = {0, 0, 10, 10};
  ASSERT_TRUE(DrawImage(faded.dc(), &manager_, small, small, fade));
  EXPECT_NEAR(0x80, faded.At(5, 5) & 0xFF, 2);

  Canvas glass(4, 4, 0xFF000000);
  ImageDrawInfo translucent;
  translucent.SetDescriptor(L"img/glass.png");
  const RECT four = {0, 0, 4, 4};
  ASSERT_TRUE(DrawImage(glass.dc(), &manager_, four, four, translucent));
  EXPECT_NEAR(0x80, glass.At(1, 1) & 0xFF, 2);
}

TEST_F(RenderTest, ControlsPaintColourImageAndFrameInsideTheirParent) {
  Canvas canvas(60, 40);
  std::unique_ptr<CVerticalLayoutUI> root(new CVerticalLayoutUI);
  root->ApplyAttribute(L"bkcolor", L"#FF1F1F1F");
  root->ApplyAttribute(L"inset", L"5,5,5,5");
  auto* framed = new CControlUI;
  framed->ApplyAttribute(L"height", L"10");
  framed->ApplyAttribute(L"bordercolor", L"#FFFF0000");
  framed->ApplyAttribute(L"bordersize", L"1");
  auto* picture = new CControlUI;
  picture->ApplyAttribute(L"bkimage", L"file='img/checked.png'");
  picture->ApplyAttribute(L"padding", L"0,0,0,100");  // runs out of the children area: clipped there
  root->Add(framed);
  root->Add(picture);
  root->AttachManager(&manager_, nullptr, false);
  framed->AttachManager(&manager_, root.get(), false);
  picture->AttachManager(&manager_, root.get(), false);
  root->Place({0, 0, 60, 40});
  ASSERT_TRUE(root->Paint(canvas.dc(), {0, 0, 60, 40}, nullptr));
  EXPECT_EQ(0x1F1F1Fu, canvas.At(1, 1));
  EXPECT_TRUE(SameRect(canvas.Find(0xFF0000), 5, 5, 55, 15));
  EXPECT_EQ(0x1F1F1Fu, canvas.At(10, 10));  // inside the frame: the parent's colour
  EXPECT_TRUE(SameRect(canvas.Find(0x00FF00), 5, 15, 55, 35));
  // Painting stops at the stop control and skips what lies outside the paint rectangle.
  Canvas partial(60, 40);
  EXPECT_FALSE(root->Paint(partial.dc(), {0, 0, 60, 40}, picture));
  EXPECT_EQ(0, partial.Count(0x00FF00));
  Canvas corner(60, 40);
  ASSERT_TRUE(root->Paint(corner.dc(), {0, 0, 4, 4}, nullptr));
  EXPECT_EQ(16, corner.Count(0x1F1F1F));
}

TEST_F(RenderTest, WindowPaintsOffscreenWithPicturesFromTheSkinArchive) {
  UiTest::TestWindow window(120, 60);
  auto* root = new CHorizontalLayoutUI;
  root->ApplyAttribute(L"bkcolor", L"#FF4E4E4E");
  auto* logo = new CControlUI;
  logo->ApplyAttribute(L"width", L"20");
  logo->ApplyAttribute(L"bkimage", L"img\\checked.png");
  auto* clear = new CControlUI;
  clear->ApplyAttribute(L"bkcolor", L"#00FFFFFF");
  root->Add(logo);
  root->Add(clear);
  window.manager().AttachRoot(root);
  window.PaintNow();
  ASSERT_TRUE(window.manager().OffscreenBitmap());
  std::vector<uint32_t> pixels = UiTest::ReadBitmap(window.manager().OffscreenBitmap(), 120, 60);
  EXPECT_EQ(0x00FF00u, pixels[30 * 120 + 10]);
  EXPECT_EQ(0x4E4E4Eu, pixels[30 * 120 + 60]);
  EXPECT_TRUE(SameRect(logo->Placement(), 0, 0, 20, 60));
}
