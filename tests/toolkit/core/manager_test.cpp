#include <gtest/gtest.h>

#include "ManagerScene.h"

using namespace SkinUI;
using namespace ManagerScene;
using UiTest::ProbeUI;
using UiTest::TestWindow;

TEST(Manager, FirstPaintLaysOutThenSendsWindowInitOnce) {
  TestWindow window;
  Row row = MakeRow();
  RECT placedAtInit = {-1, -1, -1, -1};
  row.root->OnNotify.Add([&](UINotification& n) {
    if (n.sType == L"windowinit") placedAtInit = n.pSender->Placement();
    return true;
  });
  ASSERT_TRUE(window.manager().AttachRoot(row.root));
  EXPECT_EQ(0, window.CountNotes(L"windowinit"));
  window.PaintNow();
  window.PaintNow();
  window.Pump();
  EXPECT_EQ(1, window.CountNotes(L"windowinit"));
  EXPECT_EQ(650, placedAtInit.right);
  EXPECT_EQ(360, placedAtInit.bottom);
  EXPECT_EQ(row.root, window.notes.front().pSender);
  EXPECT_EQ(L"windowinit", window.notes.front().sType);
  EXPECT_EQ(row.b, window.manager().LookupControl(L"b"));
  EXPECT_EQ(row.b, window.manager().LookupControl(POINT{250, 10}));
  EXPECT_EQ(nullptr, window.manager().LookupControl(POINT{650, 10}));
}

TEST(Manager, PressInsideReleaseOutsideStaysWithThePressedControl) {
  RowWindow w;
  w.window.Send(WM_LBUTTONDOWN, MK_LBUTTON, At(50, 20));
  w.window.Send(WM_MOUSEMOVE, MK_LBUTTON, At(250, 20));
  w.window.Send(WM_LBUTTONUP, 0, At(250, 20));
  EXPECT_EQ(1, w.row.a->CountOf(UIEVENT_BUTTONDOWN));
  EXPECT_EQ(1, w.row.a->CountOf(UIEVENT_BUTTONUP));
  EXPECT_EQ(250, w.row.a->lastEvent.ptMouse.x);  // the release point, outside a: no click for a button
  EXPECT_EQ(0, w.row.b->CountOf(UIEVENT_BUTTONUP));
  EXPECT_EQ(0, w.row.b->CountOf(UIEVENT_BUTTONDOWN));
  // While captured, moves go to the pressed control and the hot control does not change.
  EXPECT_EQ(0, w.row.b->CountOf(UIEVENT_MOUSEENTER));
  EXPECT_EQ(1, w.row.a->CountOf(UIEVENT_MOUSEMOVE));
  EXPECT_FALSE(w.window.manager().IsCaptured());
  EXPECT_EQ(w.row.a, w.window.manager().GetFocus());
  EXPECT_EQ(1, w.window.CountNotes(L"setfocus"));
}

TEST(Manager, HoverEntersAndLeaves) {
  RowWindow w;
  w.window.Send(WM_MOUSEMOVE, 0, At(10, 10));
  w.window.Send(WM_MOUSEMOVE, 0, At(20, 10));
  EXPECT_EQ(1, w.row.a->CountOf(UIEVENT_MOUSEENTER));
  EXPECT_EQ(2, w.row.a->CountOf(UIEVENT_MOUSEMOVE));
  w.window.Send(WM_MOUSEMOVE, 0, At(210, 10));
  EXPECT_EQ(1, w.row.a->CountOf(UIEVENT_MOUSELEAVE));
  EXPECT_EQ(1, w.row.b->CountOf(UIEVENT_MOUSEENTER));
  // The pointer leaving the window reaches the hot control as a move to (-1, -1).
  w.window.Send(WM_MOUSEMOVE, 0, static_cast<LPARAM>(-1));
  EXPECT_EQ(1, w.row.b->CountOf(UIEVENT_MOUSELEAVE));
}

TEST(Manager, TabAndShiftTabWalkTheTabStopsAndWrap) {
  RowWindow w;
  CUIManager& m = w.window.manager();
  // The first paint after attaching gives the first Tab stop the focus.
  EXPECT_EQ(w.row.a, m.GetFocus());
  m.SetFocus(nullptr, false);
  ASSERT_EQ(nullptr, m.GetFocus());
  SetShift(false);
  EXPECT_TRUE(PressTab(m));
  EXPECT_EQ(w.row.a, m.GetFocus());
  PressTab(m);
  EXPECT_EQ(w.row.b, m.GetFocus());
  PressTab(m);
  EXPECT_EQ(w.row.c, m.GetFocus());
  PressTab(m);
  EXPECT_EQ(w.row.a, m.GetFocus());
  SetShift(true);
  PressTab(m);
  EXPECT_EQ(w.row.c, m.GetFocus());
  PressTab(m);
  EXPECT_EQ(w.row.b, m.GetFocus());
  SetShift(false);
  EXPECT_EQ(3, w.row.a->CountOf(UIEVENT_KILLFOCUS));
  EXPECT_EQ(0, w.row.hidden->CountOf(UIEVENT_SETFOCUS));
  EXPECT_EQ(0, w.row.disabled->CountOf(UIEVENT_SETFOCUS));
  // Keys go to the focused control; the key up to the one that saw the key down.
  w.window.Send(WM_KEYDOWN, 'X', 0);
  m.SetFocus(w.row.c, false);
  w.window.Send(WM_KEYUP, 'X', 0);
  w.window.Send(WM_CHAR, L'x', 0);
  EXPECT_EQ(1, w.row.b->CountOf(UIEVENT_KEYDOWN));
  EXPECT_EQ(1, w.row.b->CountOf(UIEVENT_KEYUP));
  EXPECT_EQ(1, w.row.c->CountOf(UIEVENT_CHAR));
  EXPECT_EQ(L'x', w.row.c->lastEvent.chKey);
}

TEST(Manager, InitialFocusGoesToTheRequestedControlAfterLayout) {
  RowWindow w;
  CUIManager& m = w.window.manager();
  m.RequestInitialFocus(w.row.root);
  EXPECT_EQ(nullptr, m.GetFocus());
  m.RequestInitialFocus(w.row.c);
  w.window.PaintNow();
  EXPECT_EQ(w.row.c, m.GetFocus());
  // The process-wide message translation routes Tab to the window's manager.
  MSG tab = {w.window.hwnd(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  SetShift(false);
  EXPECT_TRUE(CUIManager::TranslateMessage(&tab));
  EXPECT_EQ(w.row.a, m.GetFocus());
  MSG other = {w.window.hwnd(), WM_KEYDOWN, 'A', 0, 0, {0, 0}};
  EXPECT_FALSE(CUIManager::TranslateMessage(&other));
}

TEST(Manager, FocusRefusedToHiddenDisabledAndForeignControls) {
  RowWindow w;
  CUIManager& m = w.window.manager();
  m.SetFocus(w.row.a, false);
  m.SetFocus(w.row.hidden, false);
  EXPECT_EQ(nullptr, m.GetFocus());  // the old focus is killed even when the new one is refused
  EXPECT_EQ(1, w.window.CountNotes(L"killfocus"));
  m.SetFocus(w.row.disabled, false);
  EXPECT_EQ(nullptr, m.GetFocus());
  ProbeUI stranger;
  m.SetFocus(&stranger, false);
  EXPECT_EQ(nullptr, m.GetFocus());
  m.SetFocus(w.row.b, false);
  w.row.b->SetVisible(false);
  EXPECT_EQ(nullptr, m.GetFocus());
}

TEST(Manager, ControlTimersKeepTheirSystemIdAcrossKillAndSet) {
  RowWindow w;
  CUIManager& m = w.window.manager();
  ASSERT_TRUE(m.SetTimer(w.row.a, 7, 10));
  const ControlTimer* first = m.FindTimer(w.row.a, 7);
  ASSERT_TRUE(first);
  const UINT systemId = first->systemId;
  EXPECT_EQ((4096u + 1) % 255, systemId);
  EXPECT_FALSE(m.SetTimer(w.row.a, 7, 10));  // live timer: not restarted
  ASSERT_TRUE(m.KillTimer(w.row.a, 7));
  EXPECT_TRUE(m.FindTimer(w.row.a, 7)->killed);
  ASSERT_TRUE(m.SetTimer(w.row.a, 7, 10));
  EXPECT_EQ(systemId, m.FindTimer(w.row.a, 7)->systemId);
  ASSERT_TRUE(m.SetTimer(w.row.b, 7, 10000));
  EXPECT_EQ(systemId + 1, m.FindTimer(w.row.b, 7)->systemId);

  const DWORD start = ::GetTickCount();
  while (w.row.a->CountOf(UIEVENT_TIMER) == 0 && ::GetTickCount() - start < 3000) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    w.window.Pump();
  }
  ASSERT_GE(w.row.a->CountOf(UIEVENT_TIMER), 1);
  EXPECT_EQ(7u, w.row.a->lastEvent.wParam);
  ASSERT_GE(w.window.CountNotes(L"timer"), 1);
  EXPECT_EQ(0, w.row.b->CountOf(UIEVENT_TIMER));
  m.KillTimer(w.row.a);
  EXPECT_EQ(nullptr, m.FindTimer(w.row.a, 7));
}

TEST(Manager, RepeatedAsyncNotificationsCoalesceUnlessAllowed) {
  RowWindow w;
  CUIManager& m = w.window.manager();
  w.window.notes.clear();
  m.RaiseNotification(w.row.a, L"progress", 1, 0, true, false);
  m.RaiseNotification(w.row.a, L"progress", 2, 0, true, false);
  m.RaiseNotification(w.row.b, L"progress", 3, 0, true, false);
  EXPECT_TRUE(w.window.notes.empty());
  w.window.Pump();
  ASSERT_EQ(2u, w.window.notes.size());
  EXPECT_EQ(w.row.a, w.window.notes[0].pSender);
  EXPECT_EQ(2u, w.window.notes[0].wParam);
  EXPECT_EQ(3u, w.window.notes[1].wParam);

  w.window.notes.clear();
  m.RaiseNotification(w.row.a, L"progress", 4, 0, true, true);
  m.RaiseNotification(w.row.a, L"progress", 5, 0, true, true);
  w.window.Pump();
  EXPECT_EQ(2, w.window.CountNotes(L"progress"));
}

TEST(Manager, RemovedControlsDieAtTheNextDelivery) {
  RowWindow w;
  bool destroyed = false;
  w.row.c->OnDestroy.Add([&](CControlUI*) { return destroyed = true; });
  w.window.manager().RaiseNotification(w.row.c, L"late", 0, 0, true);
  ASSERT_TRUE(w.row.root->Remove(w.row.c));
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(nullptr, w.window.manager().LookupControl(L"c"));
  w.window.notes.clear();
  w.window.Pump();
  EXPECT_TRUE(destroyed);
  ASSERT_EQ(1, w.window.CountNotes(L"late"));
  EXPECT_EQ(nullptr, w.window.notes[0].pSender);  // the queued sender was forgotten
}

// A click that arrives before the first paint lands on the control the layout puts under it, and the
// layout is not repeated by the paint that follows.
TEST(Manager, AClickBeforeTheFirstPaintFindsTheLaidOutControls) {
  TestWindow window;
  Row row = MakeRow();
  ASSERT_TRUE(window.manager().AttachRoot(row.root));
  window.Send(WM_MOUSEMOVE, 0, At(250, 20));
  window.Send(WM_LBUTTONDOWN, MK_LBUTTON, At(250, 20));
  window.Send(WM_LBUTTONUP, 0, At(250, 20));
  EXPECT_EQ(1, row.b->CountOf(UIEVENT_BUTTONDOWN));
  EXPECT_EQ(0, row.a->CountOf(UIEVENT_BUTTONDOWN));
  EXPECT_EQ(200, row.b->Placement().left);
  window.PaintNow();
  window.Pump();
  EXPECT_EQ(1, window.CountNotes(L"windowinit"));
}

TEST(Manager, RightClickContextMenuAndWheel) {
  RowWindow w;
  w.row.b->SetWantsContextMenu(true);
  w.window.Send(WM_RBUTTONDOWN, MK_RBUTTON, At(220, 5));
  POINT screen = {220, 5};
  ::ClientToScreen(w.window.hwnd(), &screen);
  w.window.Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(w.window.hwnd()), MAKELPARAM(screen.x, screen.y));
  w.window.Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(w.window.hwnd()), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(1, w.row.b->CountOf(UIEVENT_RBUTTONDOWN));
  EXPECT_EQ(1, w.row.b->CountOf(UIEVENT_CONTEXTMENU));
  EXPECT_EQ(1, w.window.CountNotes(L"menu"));
  EXPECT_EQ(w.row.b, w.window.manager().GetFocus());

  POINT wheel = {420, 5};
  ::ClientToScreen(w.window.hwnd(), &wheel);
  w.window.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), MAKELPARAM(wheel.x, wheel.y));
  ASSERT_EQ(1, w.row.c->CountOf(UIEVENT_SCROLLWHEEL));
  EXPECT_EQ(1u, w.row.c->events.back() == UIEVENT_MOUSEMOVE ? 1u : 0u);
  w.window.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(wheel.x, wheel.y));
  EXPECT_EQ(UIEVENT_MOUSEMOVE, w.row.c->events.back());
}

TEST(Manager, WindowAttributes) {
  TestWindow window(200, 100);
  CUIManager& m = window.manager();
  m.ApplyWindowAttribute(L"size", L"650,360");
  RECT client;
  ::GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(650, client.right);
  EXPECT_EQ(360, client.bottom);
  m.ApplyWindowAttribute(L"SizeBox", L"4,4,4,4");
  m.ApplyWindowAttribute(L"caption", L"0,0,0,290");
  EXPECT_EQ(4, m.SizeBox().right);
  EXPECT_EQ(290, m.CaptionRect().bottom);
  m.ApplyWindowAttribute(L"mininfo", L"300,0");
  MINMAXINFO info = {};
  info.ptMinTrackSize = {1, 2};
  window.Send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(300, info.ptMinTrackSize.x);
  EXPECT_EQ(2, info.ptMinTrackSize.y);
  m.ApplyWindowAttribute(L"linkfontcolor", L"#FF112233");
  EXPECT_EQ(0xFF112233u, m.GetDefaultColor(kLinkColor));
  EXPECT_EQ(0xFF000000u, m.GetDefaultColor(kTextColor));
  m.ApplyWindowAttribute(L"NoActivate", L"true");  // this one must match exactly: stored as custom
  EXPECT_EQ(L"true", m.WindowCustomAttribute(L"NoActivate"));
  m.ApplyWindowAttribute(L"skinversion", L"2");
  m.ApplyWindowAttribute(L"skinversion", L"3");
  EXPECT_EQ(L"2", m.WindowCustomAttribute(L"skinversion"));
  m.ApplyWindowAttribute(L"empty", L"");
  EXPECT_EQ(L"", m.WindowCustomAttribute(L"empty"));
  ::GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(650, client.right);
}

TEST(Manager, FontsById) {
  TestWindow window(100, 100);
  CUIManager& m = window.manager();
  HFONT font = m.AddFont(1, L"Segoe UI", 14, false, false, false);
  ASSERT_TRUE(font);
  EXPECT_EQ(font, m.GetFont(1));
  ASSERT_TRUE(m.GetFontInfo(1));
  EXPECT_GT(m.GetFontInfo(1)->metrics.tmHeight, 0);
  LOGFONTW lf = {};
  ::GetObjectW(font, sizeof(lf), &lf);
  EXPECT_EQ(-14, lf.lfHeight);
  EXPECT_EQ(DEFAULT_CHARSET, lf.lfCharSet);
  ASSERT_TRUE(m.DefaultFontInfo());
  EXPECT_EQ(m.DefaultFontInfo()->font.get(), m.GetFont(2));  // the skin's undefined font 2
  HFONT bold = m.AddFont(1, L"Segoe UI", 14, true, false, false);
  EXPECT_EQ(bold, m.GetFont(1));
  ::GetObjectW(bold, sizeof(lf), &lf);
  EXPECT_GE(lf.lfWeight, FW_BOLD);
}

// Under Wine this test takes about 2 s: hiding or destroying a shown window after a resize waits for the
// X server.
TEST(Manager, ResizeRelayoutsAtTheNextPaint) {
  RowWindow w;
  CUIManager& m = w.window.manager();
  m.SetFocus(w.row.b, false);
  ::SetWindowPos(w.window.hwnd(), nullptr, 0, 0, 400, 120, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  EXPECT_GE(w.row.b->CountOf(UIEVENT_WINDOWSIZE), 1);
  EXPECT_TRUE(m.IsLayoutPending());
  EXPECT_EQ(360, w.row.root->GetHeight());
  w.window.PaintNow();
  EXPECT_EQ(120, w.row.root->GetHeight());
  EXPECT_EQ(400, w.row.root->GetWidth());
  EXPECT_EQ(1, w.window.CountNotes(L"windowinit"));
}

TEST(Manager, ClassDefaultsPerWindowThenShared) {
  CUIManager one, two;
  one.AddClassDefaults(L"Button", L"height=\"46\"");
  two.AddClassDefaults(L"Label", L"textcolor=\"#FFDDDDDD\"", true);
  ASSERT_TRUE(one.ClassDefaults(L"Button"));
  EXPECT_EQ(L"height=\"46\"", *one.ClassDefaults(L"Button"));
  EXPECT_EQ(nullptr, two.ClassDefaults(L"Button"));
  ASSERT_TRUE(one.ClassDefaults(L"Label"));  // shared: every window sees it
  one.AddClassDefaults(L"Label", L"font=\"1\"");
  EXPECT_EQ(L"font=\"1\"", *one.ClassDefaults(L"Label"));
  EXPECT_EQ(L"textcolor=\"#FFDDDDDD\"", *two.ClassDefaults(L"Label"));
  one.JoinGroup(L"contenttab", nullptr);
  EXPECT_EQ(nullptr, one.GroupMembers(L"contenttab"));
  ProbeUI a, b;
  one.JoinGroup(L"contenttab", &a);
  one.JoinGroup(L"contenttab", &b);
  one.JoinGroup(L"contenttab", &a);
  ASSERT_TRUE(one.GroupMembers(L"contenttab"));
  EXPECT_EQ(2u, one.GroupMembers(L"contenttab")->size());
  one.LeaveGroup(L"contenttab", &a);
  one.LeaveGroup(L"contenttab", &b);
  EXPECT_EQ(nullptr, one.GroupMembers(L"contenttab"));
}
