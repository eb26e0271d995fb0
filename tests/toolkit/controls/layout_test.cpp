#include <gtest/gtest.h>

#include "InstallerPages.h"
#include "UiTestSupport.h"
#include "toolkit/controls/UILayout.h"

using namespace SkinUI;
using namespace UiTest;

namespace {

::testing::AssertionResult Placed(const CControlUI* c, LONG l, LONG t, LONG r, LONG b) {
  const RECT& rc = c->Placement();
  if (rc.left == l && rc.top == t && rc.right == r && rc.bottom == b) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "placed at (" << rc.left << "," << rc.top << "," << rc.right << ","
                                       << rc.bottom << "), expected (" << l << "," << t << "," << r << "," << b << ")";
}

}  // namespace

TEST(Layout, HomePageAt650x360) {
  MainFrame m;
  BuildMain(m);
  std::unique_ptr<CControlUI> owner(m.root);
  m.root->Place({0, 0, 650, 360});
  const HomePage& p = m.home;
  EXPECT_TRUE(Placed(m.tabs, 0, 0, 650, 360));
  EXPECT_TRUE(Placed(p.logo, 10, 5, 118, 37));
  EXPECT_TRUE(Placed(p.titleSpace, 118, 5, 590, 37));
  EXPECT_TRUE(Placed(p.minBtn, 590, 11, 610, 31));
  EXPECT_TRUE(Placed(p.closeBtn, 620, 11, 640, 31));
  EXPECT_TRUE(Placed(p.body, 0, 37, 650, 313));
  EXPECT_TRUE(Placed(p.topSpace, 0, 37, 650, 72));
  EXPECT_TRUE(Placed(p.logoImage, 192, 102, 458, 154));
  EXPECT_TRUE(Placed(p.btnInstall, 157, 184, 325, 230));
  EXPECT_TRUE(Placed(p.btnStart, 325, 184, 493, 230));
  // The fixed rows and their 30-pixel gaps need more than the body has: the stretchable bottom space gets nothing.
  EXPECT_TRUE(Placed(p.bottomSpace, 0, 326, 650, 326));
  EXPECT_TRUE(Placed(p.line, 0, 313, 650, 314));
  EXPECT_TRUE(Placed(p.options, 0, 314, 650, 360));
  EXPECT_TRUE(Placed(p.optionsTop, 20, 314, 630, 322));
  EXPECT_TRUE(Placed(p.chkAgree, 20, 322, 40, 352));
  EXPECT_TRUE(Placed(p.license, 40, 322, 430, 352));
  EXPECT_TRUE(Placed(p.chkFold, 430, 322, 630, 352));
  EXPECT_TRUE(Placed(p.optionsBottom, 20, 352, 630, 360));
}

TEST(Layout, HidingOneButtonCentresTheOther) {
  MainFrame m;
  BuildMain(m);
  std::unique_ptr<CControlUI> owner(m.root);
  m.home.btnStart->SetVisible(false);
  m.root->Place({0, 0, 650, 360});
  EXPECT_TRUE(Placed(m.home.btnInstall, 241, 184, 409, 230));
  // An odd width leaves one pixel that goes to the last stretchable layout.
  m.root->Place({0, 0, 651, 360});
  EXPECT_TRUE(Placed(m.home.btnInstall, 241, 184, 409, 230));
  auto* buttons = static_cast<CContainerUI*>(m.home.btnInstall->GetParent());
  ASSERT_TRUE(buttons);
  EXPECT_EQ(241, buttons->GetItemAt(0)->GetWidth());
  EXPECT_EQ(242, buttons->GetItemAt(3)->GetWidth());
}

TEST(Layout, BannerPageAt650x360) {
  MainFrame m;
  BuildMain(m);
  std::unique_ptr<CControlUI> owner(m.root);
  ASSERT_TRUE(m.tabs->SelectIndex(1, false));
  m.root->Place({0, 0, 650, 360});
  const BannerPage& p = m.banner;
  EXPECT_TRUE(Placed(p.banner, 0, 0, 650, 290));
  EXPECT_TRUE(Placed(p.row, 0, 290, 650, 360));
  EXPECT_TRUE(Placed(p.column, 30, 310, 538, 350));
  EXPECT_TRUE(Placed(p.progress, 30, 310, 538, 316));
  EXPECT_TRUE(Placed(p.texts, 30, 321, 538, 350));
  EXPECT_TRUE(Placed(p.install, 30, 321, 284, 350));
  EXPECT_TRUE(Placed(p.percent, 284, 321, 538, 350));
  EXPECT_TRUE(Placed(p.hideGroup, 563, 310, 620, 350));
  EXPECT_TRUE(Placed(p.hide, 563, 310, 620, 336));
  EXPECT_FALSE(m.home.btnInstall->IsVisible());
}

TEST(Layout, OpenedPathAreaTakesTheBottom75Pixels) {
  MainFrame m;
  BuildMain(m);
  std::unique_ptr<CControlUI> owner(m.root);
  m.bottom->SetVisible(true);
  m.root->Place({0, 0, 650, 435});
  EXPECT_TRUE(Placed(m.tabs, 0, 0, 650, 360));
  EXPECT_TRUE(Placed(m.bottom, 0, 360, 650, 435));
  EXPECT_TRUE(Placed(m.home.chkFold, 430, 322, 630, 352));
}

TEST(Layout, VerticalLimitsPaddingAndAlignment) {
  std::unique_ptr<CVerticalLayoutUI> v(
      Add<CVerticalLayoutUI>(nullptr, {{L"inset", L"5,10,5,10"}, {L"childpadding", L"4"}}));
  auto* capped = Add<CControlUI>(v.get(), {{L"maxheight", L"20"}, {L"padding", L"3,2,7,1"}});
  auto* fixed = Add<CControlUI>(v.get(), {{L"height", L"30"}, {L"width", L"40"}});
  auto* raised = Add<CControlUI>(v.get(), {{L"minheight", L"50"}, {L"maxwidth", L"60"}});
  auto* floating = Add<CControlUI>(v.get(), {{L"pos", L"1,2,11,12"}, {L"float", L"true"}});
  v->Place({100, 100, 200, 300});
  // Area 90 x 180; fixed total 30 + 4 * 2 = 38, so each stretchable child is offered 71. The last one takes
  // the rest, and because the second pass also charges the margins of stretchable children to the fixed
  // total, it runs 3 pixels (the first child's vertical margins) past the area, as the algorithm states.
  EXPECT_TRUE(Placed(capped, 108, 112, 188, 132));
  EXPECT_TRUE(Placed(fixed, 105, 137, 145, 167));
  EXPECT_TRUE(Placed(raised, 105, 171, 165, 293));
  EXPECT_TRUE(Placed(floating, 101, 102, 111, 112));

  v->SetChildAlign(kAlignCenter);
  v->Place({100, 100, 200, 300});
  EXPECT_TRUE(Placed(fixed, 130, 137, 170, 167));
  v->SetChildAlign(kAlignRight);
  v->Place({100, 100, 200, 300});
  EXPECT_TRUE(Placed(fixed, 155, 137, 195, 167));
}

TEST(Layout, HorizontalStretchRemainderAndVerticalAlignment) {
  std::unique_ptr<CHorizontalLayoutUI> h(Add<CHorizontalLayoutUI>(nullptr, {{L"childpadding", L"2"}}));
  auto* a = Add<CControlUI>(h.get());
  auto* b = Add<CControlUI>(h.get(), {{L"width", L"30"}, {L"height", L"10"}});
  auto* c = Add<CControlUI>(h.get(), {{L"maxwidth", L"5"}});
  auto* d = Add<CControlUI>(h.get());
  h->Place({0, 0, 101, 40});
  // Free 101 - 30 - 6 = 65 over three stretchable children: 21, capped 5, and the last takes what is left.
  EXPECT_TRUE(Placed(a, 0, 0, 21, 40));
  EXPECT_TRUE(Placed(b, 23, 0, 53, 10));
  EXPECT_TRUE(Placed(c, 55, 0, 60, 40));
  EXPECT_TRUE(Placed(d, 62, 0, 101, 40));
  h->SetChildVAlign(kAlignVCenter);
  h->Place({0, 0, 101, 40});
  EXPECT_TRUE(Placed(b, 23, 15, 53, 25));
  h->SetChildVAlign(kAlignBottom);
  h->Place({0, 0, 101, 40});
  EXPECT_TRUE(Placed(b, 23, 30, 53, 40));
}

TEST(Layout, TabSelectionFollowsAddsAndRemoves) {
  std::unique_ptr<CTabLayoutUI> tabs(Add<CTabLayoutUI>(nullptr, {{L"inset", L"1,1,1,1"}}));
  auto* a = Add<CControlUI>(tabs.get(), {{L"padding", L"2,3,0,0"}, {L"maxwidth", L"50"}});
  auto* b = Add<CControlUI>(tabs.get());
  EXPECT_EQ(0, tabs->GetCurSel());
  EXPECT_TRUE(a->IsVisible());
  EXPECT_FALSE(b->IsVisible());
  tabs->Place({0, 0, 100, 80});
  EXPECT_TRUE(Placed(a, 3, 4, 53, 79));

  auto* front = new CControlUI;
  ASSERT_TRUE(tabs->AddAt(front, 0));
  EXPECT_EQ(1, tabs->GetCurSel());
  EXPECT_TRUE(front->IsVisible());  // inserted before the selection: visibility untouched

  EXPECT_FALSE(tabs->SelectIndex(3));
  EXPECT_FALSE(tabs->SelectIndex(-1));
  ASSERT_TRUE(tabs->SelectIndex(2, false));
  EXPECT_TRUE(b->IsVisible());
  EXPECT_FALSE(a->IsVisible());
  EXPECT_FALSE(front->IsVisible());

  ASSERT_TRUE(tabs->Remove(front));
  EXPECT_EQ(1, tabs->GetCurSel());
  ASSERT_TRUE(tabs->Remove(b));
  EXPECT_EQ(0, tabs->GetCurSel());
  EXPECT_TRUE(a->IsVisible());
  tabs->RemoveAll();
  EXPECT_EQ(-1, tabs->GetCurSel());
}

TEST(Layout, FloatingChildrenUseParentShares) {
  std::unique_ptr<CContainerUI> box(Add<CContainerUI>(nullptr));
  auto* anchored = Add<CControlUI>(box.get(), {{L"pos", L"-10,0,0,20"}, {L"float", L"0.5,0.5,0.5,0.5"}});
  auto* filler = Add<CControlUI>(box.get(), {{L"maxheight", L"15"}});
  box->Place({10, 20, 210, 120});
  EXPECT_TRUE(Placed(anchored, 100, 70, 110, 90));
  EXPECT_TRUE(Placed(filler, 10, 20, 210, 35));
  EXPECT_TRUE(anchored->IsFloat());
}
