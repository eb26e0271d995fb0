#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "toolkit/controls/UILayout.h"

using namespace SkinUI;
using UiTest::ProbeUI;
using UiTest::TestWindow;

TEST(Control, CommonAttributes) {
  CControlUI c;
  c.ApplyAttribute(L"pos", L"10,20,110,70");
  EXPECT_EQ(10, c.FloatOffset().x);
  EXPECT_EQ(20, c.FloatOffset().y);
  EXPECT_EQ(100, c.GetFixedWidth());
  EXPECT_EQ(50, c.GetFixedHeight());
  c.ApplyAttribute(L"width", L"-5");  // negative sizes are ignored
  EXPECT_EQ(100, c.GetFixedWidth());
  c.ApplyAttribute(L"bkcolor", L"  #FF1F1F1F");
  EXPECT_EQ(0xFF1F1F1Fu, c.GetBkColor());
  c.ApplyAttribute(L"minwidth", L"30");
  c.ApplyAttribute(L"maxwidth", L"20");
  EXPECT_EQ(30, c.GetMaxWidth());  // the larger of maximum and minimum
  c.ApplyAttribute(L"tooltip", L"one<n>two");
  EXPECT_EQ(L"one\r\ntwo", c.GetToolTip());
  c.ApplyAttribute(L"shortcut", L"xyz");
  EXPECT_EQ(L'x', c.GetShortcut());
  c.ApplyAttribute(L"visible", L"True");  // only exactly "true" is true
  EXPECT_FALSE(c.IsVisible());
  c.ApplyAttribute(L"float", L"0.5,0.25,1,1");
  EXPECT_TRUE(c.IsFloat());
  EXPECT_DOUBLE_EQ(0.25, c.AnchorShares().top);
  c.ApplyAttribute(L"hottextcolor", L"FFFFFFFF");
  c.ApplyAttribute(L"hottextcolor", L"00000000");
  EXPECT_EQ(L"FFFFFFFF", c.GetCustomAttribute(L"hottextcolor"));
  c.ApplyAttribute(L"Name", L"upper");  // names are compared exactly
  EXPECT_EQ(L"", c.GetName());
  EXPECT_EQ(L"upper", c.GetCustomAttribute(L"Name"));
}

TEST(Control, AttributeListsStopAtTheFirstDeviation) {
  CControlUI c;
  c.ApplyAttributeList(L"width=\"20\" height=\"30\" text=\"a b\"");
  EXPECT_EQ(20, c.GetFixedWidth());
  EXPECT_EQ(30, c.GetFixedHeight());
  EXPECT_EQ(L"a b", c.GetText());
  CControlUI d;
  d.ApplyAttributeList(L"width=\"20\"height=\"30\"");
  EXPECT_EQ(20, d.GetFixedWidth());
  EXPECT_EQ(0, d.GetFixedHeight());
  CControlUI e;
  e.ApplyAttributeList(L"width=20 height=\"30\"");
  EXPECT_EQ(0, e.GetFixedWidth());
  EXPECT_EQ(0, e.GetFixedHeight());
  CControlUI f;
  f.ApplyAttributeList(L"text=\"unterminated");
  EXPECT_EQ(L"", f.GetText());
}

TEST(Control, BorderFormsAndContainerAttributes) {
  UiTest::Canvas canvas(30, 30);
  CUIManager manager;
  CControlUI sides;
  sides.AttachManager(&manager, nullptr, false);
  sides.ApplyAttribute(L"bordercolor", L"#FFFF0000");
  sides.ApplyAttribute(L"bordersize", L"2,0,0,4");
  sides.Place({5, 5, 25, 25});
  ASSERT_TRUE(sides.Paint(canvas.dc(), {0, 0, 30, 30}, nullptr));
  const RECT red = canvas.Find(0xFF0000);
  EXPECT_EQ(5, red.left);
  // The 4-pixel bottom line is centred on y = 25 - 4 / 2; a wide GDI pen spreads around its centre line.
  EXPECT_GE(red.bottom, 24);
  EXPECT_EQ(0xFF0000u, canvas.At(15, 23));
  EXPECT_EQ(0u, canvas.At(15, 6));  // no top line

  CHorizontalLayoutUI box;
  box.ApplyAttribute(L"childpadding", L"-3");
  EXPECT_EQ(0, box.GetChildPadding());
  box.ApplyAttribute(L"childvalign", L"vcenter");
  box.ApplyAttribute(L"childvalign", L"middle");
  EXPECT_EQ(kAlignVCenter, box.GetChildVAlign());
  box.ApplyAttribute(L"inset", L"1,2,3,4");
  EXPECT_EQ(4, box.GetInset().bottom);
  EXPECT_TRUE(box.CastTo(L"IContainer"));
  EXPECT_EQ(&box, box.CastTo(L"HorizontalLayout"));
  EXPECT_FALSE(box.CastTo(L"VerticalLayout"));
}

TEST(Control, NamesFollowRenamesAndRemovals) {
  TestWindow window(200, 50);
  auto* root = new CHorizontalLayoutUI;
  auto* first = new ProbeUI(L"same");
  auto* second = new ProbeUI(L"same");
  root->Add(first);
  root->Add(second);
  window.manager().AttachRoot(root);
  EXPECT_EQ(first, window.manager().LookupControl(L"same"));  // the first of a name wins
  first->SetName(L"renamed");
  EXPECT_EQ(first, window.manager().LookupControl(L"renamed"));
  EXPECT_EQ(nullptr, window.manager().LookupControl(L"same"));
  auto* late = new ProbeUI(L"late");
  root->Add(late);
  EXPECT_EQ(late, window.manager().LookupControl(L"late"));
  EXPECT_EQ(root, late->GetParent());
  root->Remove(late, true);
  delete late;
  EXPECT_EQ(nullptr, window.manager().LookupControl(L"late"));
}

TEST(Control, HiddenContainersHideTheirChildrenAndRelayout) {
  TestWindow window(200, 100);
  auto* root = new CVerticalLayoutUI;
  auto* top = new CVerticalLayoutUI;
  top->SetFixedHeight(40);
  auto* inner = new ProbeUI(L"inner", ControlFlagTabStop);
  top->Add(inner);
  auto* rest = new ProbeUI(L"rest");
  root->Add(top);
  root->Add(rest);
  window.manager().AttachRoot(root);
  window.PaintNow();
  EXPECT_EQ(40, rest->GetY());
  window.manager().SetFocus(inner, false);
  top->SetVisible(false);
  EXPECT_FALSE(inner->IsVisible());
  EXPECT_EQ(nullptr, window.manager().GetFocus());
  EXPECT_TRUE(window.manager().IsLayoutPending());
  window.PaintNow();
  EXPECT_EQ(0, rest->GetY());
  EXPECT_EQ(100, rest->GetHeight());
  // Hit tests skip hidden controls and controls that do not take the mouse.
  EXPECT_EQ(rest, window.manager().LookupControl(POINT{10, 10}));
  rest->SetMouseEnabled(false);
  EXPECT_EQ(root, window.manager().LookupControl(POINT{10, 10}));
}

TEST(Control, UnhandledEventsFallThroughToTheParent) {
  TestWindow window(200, 100);
  auto* root = new CHorizontalLayoutUI;
  int seenByRoot = 0;
  root->OnEvent.Add([&](UIEvent& e) {
    seenByRoot += e.Type == UIEVENT_BUTTONDOWN;
    return true;
  });
  auto* plain = new CControlUI;
  root->Add(plain);
  window.manager().AttachRoot(root);
  window.PaintNow();
  window.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  window.Send(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(0, seenByRoot);  // OnEvent callbacks see only their own control's events
  int handled = 0;
  struct Counter : CHorizontalLayoutUI {
    int* count;
    void HandleEvent(UIEvent& e) override { *count += e.Type == UIEVENT_BUTTONDOWN; }
  };
  auto* counting = new Counter;
  counting->count = &handled;
  auto* child = new CControlUI;
  counting->Add(child);
  window.manager().AttachRoot(counting);
  window.PaintNow();
  window.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  window.Send(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(1, handled);
  // A callback that answers false keeps the event from the control.
  child->OnEvent.Add([](UIEvent&) { return false; });
  window.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  window.Send(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(1, handled);
  window.Pump();
}

TEST(Control, ToolTipShowsTheExpandedText) {
  TestWindow window(200, 100);
  auto* root = new CHorizontalLayoutUI;
  auto* probe = new ProbeUI(L"tipped");
  probe->ApplyAttribute(L"tooltip", L"%{5} tip<n>%{6}");
  root->Add(probe);
  MultiLanguage::Set(5, L"Hello");
  window.manager().AttachRoot(root);
  window.PaintNow();
  window.Send(WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(0, window.Send(WM_MOUSEHOVER, 0, MAKELPARAM(20, 20)));
  EXPECT_EQ(1, probe->CountOf(UIEVENT_MOUSEHOVER));
  HWND tip = window.manager().ToolTipWindow();
  ASSERT_TRUE(tip);
  wchar_t className[64] = {};
  ::GetClassNameW(tip, className, 64);
  EXPECT_STREQ(L"tooltips_class32", className);
  EXPECT_EQ(window.hwnd(), ::GetWindow(tip, GW_OWNER));
  EXPECT_EQ(1, ::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
  wchar_t text[80] = {};
  TOOLINFOW info = {};
  info.cbSize = sizeof(info);
  info.hwnd = window.hwnd();
  info.uId = reinterpret_cast<UINT_PTR>(window.hwnd());
  info.lpszText = text;
  ::SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
  EXPECT_STREQ(L"Hello tip\r\n%{6}", text);
  EXPECT_EQ(300, ::SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0));
  window.Send(WM_CLOSE);
  EXPECT_EQ(nullptr, window.manager().ToolTipWindow());
  MultiLanguage::Clear();
}

TEST(Control, OverlaysPaintAfterTheTree) {
  TestWindow window(100, 50);
  auto* root = new CHorizontalLayoutUI;
  root->ApplyAttribute(L"bkcolor", L"#FF000080");
  int overlays = 0;
  root->OnPostPaint.Add([&](CControlUI*) { return ++overlays > 0; });
  window.manager().AttachRoot(root);
  window.manager().AddOverlay(root);
  window.PaintNow();
  EXPECT_EQ(1, overlays);
  Scoped::DeleteObject<HBITMAP> copy = GenerateBitmap(&window.manager(), {10, 10, 30, 20}, nullptr, 0xFFFFFFFF);
  ASSERT_TRUE(copy);
  std::vector<uint32_t> pixels = UiTest::ReadBitmap(copy.get(), 20, 10);
  EXPECT_EQ(0x000080u, pixels[5 * 20 + 5]);
  Scoped::DeleteObject<HBITMAP> background = GenerateBitmap(&window.manager(), {0, 0, 20, 10}, root, 0xFF00FF00);
  ASSERT_TRUE(background);
  EXPECT_EQ(0x00FF00u, UiTest::ReadBitmap(background.get(), 20, 10)[0]);
}

TEST(Control, CoverLiesOverItsControl) {
  TestWindow window(100, 60);
  auto* root = new CHorizontalLayoutUI;
  auto* base = new CControlUI;
  base->ApplyAttribute(L"bkcolor", L"#FF0000FF");
  auto* cover = new ProbeUI(L"cover");
  cover->ApplyAttribute(L"bkcolor", L"#FFFF0000");
  cover->ApplyAttribute(L"maxwidth", L"30");
  bool coverGone = false;
  cover->OnDestroy.Add([&](CControlUI*) { return coverGone = true; });
  base->SetCoverControl(cover);
  root->Add(base);
  window.manager().AttachRoot(root);
  window.PaintNow();
  EXPECT_EQ(base, cover->GetParent());
  EXPECT_EQ(30, cover->GetWidth());
  EXPECT_EQ(60, cover->GetHeight());
  std::vector<uint32_t> pixels = UiTest::ReadBitmap(window.manager().OffscreenBitmap(), 100, 60);
  EXPECT_EQ(0xFF0000u, pixels[30 * 100 + 10]);
  EXPECT_EQ(0x0000FFu, pixels[30 * 100 + 50]);
  EXPECT_EQ(cover, window.manager().LookupControl(POINT{10, 10}));
  EXPECT_EQ(base, window.manager().LookupControl(POINT{50, 10}));
  EXPECT_EQ(cover, window.manager().LookupControl(L"cover"));
  base->SetVisible(false);
  EXPECT_FALSE(cover->IsVisible());
  root->Remove(base, true);
  base->Delete();
  EXPECT_TRUE(coverGone);
  EXPECT_EQ(nullptr, window.manager().LookupControl(L"cover"));
}
