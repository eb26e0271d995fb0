#include <gtest/gtest.h>

#include "ControlScene.h"
#include "toolkit/controls/UILabel.h"

using namespace SkinUI;
using ControlsTest::Notes;
using ControlsTest::Scene;

namespace {

POINT Centre(const RECT& rc) { return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }

// A text control with two links, painted once so the link rectangles are known.
struct LinkScene {
  Scene scene;
  CTextUI* text;
  LinkScene(const std::wstring& extra = std::wstring()) {
    scene.window.manager().AddFont(1, L"Tahoma", 16, false, false, false);
    text = scene.Add(new CTextUI, L"10,10,310,50",
                     L"font=\"1\" showhtml=\"true\" align=\"left\" "
                     L"text=\"read {a https://one.test/}the terms{/a} and {a two}the notice{/a}\"" +
                         extra);
    scene.Show();
  }
};

}  // namespace

TEST(Text, LinksAreFoundAtPaintAndClickedByIndex) {
  LinkScene s;
  ASSERT_EQ(2, s.text->LinkCount());
  EXPECT_EQ(L"https://one.test/", s.text->LinkTarget(0));
  EXPECT_EQ(L"two", s.text->LinkTarget(1));
  const RECT first = s.text->LinkRect(0), second = s.text->LinkRect(1);
  EXPECT_FALSE(IsRectEmpty(&first));
  EXPECT_LT(first.right, second.left + 1);

  const POINT p = Centre(second);
  s.scene.Click(p.x, p.y);
  ASSERT_EQ(Notes{L"link"}, s.scene.NotesOf(s.text));
  EXPECT_EQ(1u, s.scene.window.notes.back().wParam);
  const POINT q = Centre(first);
  s.scene.Click(q.x, q.y);
  EXPECT_EQ(0u, s.scene.window.notes.back().wParam);
  s.scene.Click(12, 30);  // on "read": no link
  EXPECT_EQ((Notes{L"link", L"link"}), s.scene.NotesOf(s.text));
}

TEST(Text, HoverFollowsTheLinksAndTheHandCursorIsAsked) {
  LinkScene s;
  EXPECT_TRUE(s.text->ControlFlags() & ControlFlagSetCursor);
  const POINT p = Centre(s.text->LinkRect(1));
  s.scene.MoveTo(p.x, p.y);
  EXPECT_EQ(1, s.text->HoverLink());
  s.scene.MoveTo(12, 30);
  EXPECT_EQ(-1, s.text->HoverLink());
  s.scene.MoveTo(p.x, p.y);
  s.scene.MoveTo(315, 150);  // out of the control altogether
  EXPECT_EQ(-1, s.text->HoverLink());

  // The cursor over a link is the hand.
  s.scene.MoveTo(p.x, p.y);
  POINT screen = p;
  ::ClientToScreen(s.scene.window.hwnd(), &screen);
  ::SetCursorPos(screen.x, screen.y);
  s.scene.window.Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(s.scene.window.hwnd()),
                      MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  POINT now;
  ::GetCursorPos(&now);
  if (now.x == screen.x && now.y == screen.y) {  // the X server honoured the move
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_HAND), ::GetCursor());
  }
}

TEST(Text, DisabledOrMouseDisabledTextsSendNoLinks) {
  LinkScene s;
  const POINT p = Centre(s.text->LinkRect(0));
  s.text->SetEnabled(false);
  s.scene.Click(p.x, p.y);
  s.text->SetEnabled(true);
  s.text->SetMouseEnabled(false);
  s.scene.Click(p.x, p.y);
  EXPECT_TRUE(s.scene.NotesOf(s.text).empty());
  s.text->SetMouseEnabled(true);
  s.scene.Click(p.x, p.y);
  EXPECT_EQ(Notes{L"link"}, s.scene.NotesOf(s.text));
}

TEST(Text, EmptyOrPlainTextHasNoLinks) {
  LinkScene s;
  s.text->SetText(L"");
  s.scene.Paint();
  EXPECT_EQ(0, s.text->LinkCount());
  EXPECT_EQ(0u, s.text->ControlFlags());
  s.text->SetText(L"{a x}1{/a}{a x}2{/a}{a x}3{/a}{a x}4{/a}{a x}5{/a}{a x}6{/a}{a x}7{/a}{a x}8{/a}{a x}9{/a}");
  s.scene.Paint();
  EXPECT_EQ(CTextUI::kMaxLinks, s.text->LinkCount());
  EXPECT_STREQ(L"Text", s.text->ClassName());
  EXPECT_EQ(s.text, s.text->CastTo(L"Label"));
}
