#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "toolkit/skin/UIResource.h"

using namespace SkinUI;
using namespace WindowTest;

namespace {

// 400 x 300, the top 100 pixels drag the window. Row one at y 0..40: logo 0..100 (Control),
// title 100..180 (Label), link 180..260 (Text), opt 260..300 (Option), minbtn 300..320,
// closebtn 320..340, then empty row space. Row two at y 40..80: probe 0..100, maxbtn 100..130,
// restorebtn (hidden), plain 130..160. "below" fills the rest.
const wchar_t kSkin[] =
    L"<Window size=\"400,300\" sizebox=\"4,4,4,4\" caption=\"0,0,0,100\" mininfo=\"300,200\">"
    L"<VerticalLayout bkcolor=\"#FF102030\">"
    L"<HorizontalLayout height=\"40\">"
    L"<Control name=\"logo\" width=\"100\"/><Label name=\"title\" width=\"80\" text=\"Title\"/>"
    L"<Text name=\"link\" width=\"80\" text=\"Link\"/><Option name=\"opt\" width=\"40\"/>"
    L"<Button name=\"minbtn\" width=\"20\"/><Button name=\"closebtn\" width=\"20\"/>"
    L"</HorizontalLayout>"
    L"<HorizontalLayout height=\"40\">"
    L"<Probe name=\"probe\" width=\"100\"/><Button name=\"maxbtn\" width=\"30\"/>"
    L"<Button name=\"restorebtn\" width=\"30\" visible=\"false\"/><Button name=\"plain\" width=\"30\"/>"
    L"</HorizontalLayout>"
    L"<Control name=\"below\"/>"
    L"</VerticalLayout></Window>";

std::wstring SkinWith(const std::wstring& windowAttributes) {
  std::wstring skin = kSkin;
  skin.insert(std::wstring(L"<Window").size(), L" " + windowAttributes);
  return skin;
}

class WindowBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    window_ = Open(kSkin);
    ASSERT_TRUE(window_ && window_->GetHWND());
    ::ShowWindow(*window_, SW_SHOWNOACTIVATE);
    int w = 0, h = 0;
    window_->Paint(w, h);
  }
  void TearDown() override {
    window_.reset();
    Pump();
    Resource::Reset();
  }
  static std::unique_ptr<SkinWindow> Open(const std::wstring& skin, bool handleClose = false) {
    SkinWindowSetup setup;
    setup.skin = skin;
    setup.handleClose = handleClose;
    auto window = std::make_unique<SkinWindow>(setup);
    window->CreateHidden();
    return window;
  }
  HWND hwnd() const { return window_->GetHWND(); }

  std::unique_ptr<SkinWindow> window_;
};

RECT WindowRect(HWND hwnd) {
  RECT rc = {};
  ::GetWindowRect(hwnd, &rc);
  return rc;
}

}  // namespace

TEST_F(WindowBaseTest, CreationDropsTheFrameAndAttachesTheSkin) {
  const LONG_PTR style = ::GetWindowLongPtrW(hwnd(), GWL_STYLE);
  EXPECT_EQ(0, style & WS_CAPTION);
  EXPECT_EQ(WS_CLIPCHILDREN | WS_CLIPSIBLINGS, style & (WS_CLIPCHILDREN | WS_CLIPSIBLINGS));
  RECT client = {};
  ::GetClientRect(hwnd(), &client);
  const RECT outer = WindowRect(hwnd());
  EXPECT_EQ(400, client.right);
  EXPECT_EQ(300, client.bottom);
  EXPECT_EQ(400, outer.right - outer.left);  // no native frame around the client area
  EXPECT_EQ(300, outer.bottom - outer.top);
  EXPECT_EQ(1, window_->treeReadyCalls);
  // The object pointer survives whole in the window's user data, on 32 and 64 bits alike.
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(static_cast<CWindowWnd*>(window_.get())),
            ::GetWindowLongPtrW(hwnd(), GWLP_USERDATA));
  ASSERT_TRUE(window_->Find(L"probe"));
  EXPECT_STREQ(L"Probe", window_->Find(L"probe")->ClassName());  // made through MakeControl
  EXPECT_STREQ(L"Button", window_->Find(L"closebtn")->ClassName());
  const RECT close = window_->Find(L"closebtn")->Placement();
  EXPECT_EQ(320, close.left);
  EXPECT_EQ(340, close.right);
}

TEST_F(WindowBaseTest, SizeBoxCornersAndEdges) {
  EXPECT_EQ(HTTOPLEFT, window_->HitTestAt(0, 0));
  EXPECT_EQ(HTTOPLEFT, window_->HitTestAt(3, 3));
  EXPECT_EQ(HTTOPRIGHT, window_->HitTestAt(399, 0));
  EXPECT_EQ(HTTOPRIGHT, window_->HitTestAt(396, 3));
  EXPECT_EQ(HTBOTTOMLEFT, window_->HitTestAt(0, 299));
  EXPECT_EQ(HTBOTTOMRIGHT, window_->HitTestAt(399, 299));
  EXPECT_EQ(HTTOP, window_->HitTestAt(200, 1));
  EXPECT_EQ(HTBOTTOM, window_->HitTestAt(200, 296));
  EXPECT_EQ(HTLEFT, window_->HitTestAt(1, 200));
  EXPECT_EQ(HTRIGHT, window_->HitTestAt(398, 200));
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(200, 295));  // just inside the bottom edge
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(4, 4));     // past the size box: the logo drags
}

TEST_F(WindowBaseTest, CaptionDragsExceptOverButtonsOptionsAndText) {
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(50, 20));   // Control
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(140, 20));  // Label
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(220, 20));   // Text
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(280, 20));   // Option
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(310, 20));   // Button
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(370, 20));  // empty row space: the layout itself
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(50, 60));   // a control of another class
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(115, 60));   // maxbtn
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(50, 99));   // last caption row
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(50, 100));   // the caption's bottom is exclusive
  EXPECT_EQ(HTCLIENT, window_->HitTestAt(200, 200));
}

TEST_F(WindowBaseTest, MaximizedWindowHasNoSizeBoxAndSwapsMaxAndRestore) {
  CControlUI* maxButton = window_->Find(L"maxbtn");
  CControlUI* restoreButton = window_->Find(L"restorebtn");
  Click(hwnd(), 115, 60);
  Pump();
  ASSERT_TRUE(::IsZoomed(hwnd()));
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(1, 1));  // a corner point falls to the caption test
  MONITORINFO monitor = {sizeof(monitor)};
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
  RECT client = {};
  ::GetClientRect(hwnd(), &client);
  EXPECT_EQ(monitor.rcWork.right - monitor.rcWork.left, client.right);  // the work area, no frame
  EXPECT_EQ(monitor.rcWork.bottom - monitor.rcWork.top, client.bottom);
  EXPECT_FALSE(maxButton->IsVisible());
  EXPECT_TRUE(restoreButton->IsVisible());
  int w = 0, h = 0;
  window_->Paint(w, h);
  const RECT restore = restoreButton->Placement();
  Click(hwnd(), (restore.left + restore.right) / 2, 60);
  Pump();
  EXPECT_FALSE(::IsZoomed(hwnd()));
  EXPECT_TRUE(maxButton->IsVisible());
  EXPECT_FALSE(restoreButton->IsVisible());
  EXPECT_EQ(HTTOPLEFT, window_->HitTestAt(1, 1));
}

TEST_F(WindowBaseTest, CloseAndMinimiseButtons) {
  Click(hwnd(), 330, 20);
  WPARAM param = 0;
  ASSERT_TRUE(CloseWaiting(hwnd(), &param));  // posted, not sent: the window's OnClose decides later
  EXPECT_EQ(1u, param);
  ASSERT_EQ(1u, window_->clicks.size());
  EXPECT_EQ(L"closebtn", window_->clicks[0]);
  DropQueued(hwnd(), WM_CLOSE);
  Click(hwnd(), 310, 20);
  EXPECT_TRUE(::IsIconic(hwnd()));
  window_->SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(::IsIconic(hwnd()));
  Click(hwnd(), 145, 60);  // a button without a built-in meaning
  EXPECT_FALSE(CloseWaiting(hwnd()));
  EXPECT_FALSE(::IsIconic(hwnd()));
}

TEST_F(WindowBaseTest, SystemCloseBecomesWmClose) {
  auto window = Open(kSkin, true);
  window->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  window->SendMessage(WM_SYSCOMMAND, SC_CLOSE | 0x3, 0);  // the low bits are the system's
  EXPECT_EQ(2, window->closeCalls);
  EXPECT_EQ(0u, window->lastCloseParam);
  EXPECT_TRUE(::IsWindow(window->GetHWND()));  // its OnClose kept it
}

namespace {

HWND g_loopWindow = nullptr;
HWND g_loopOwner = nullptr;
bool g_ownerEnabledInLoop = true;

// Ends a loop that a broken key path would leave running.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  if (::IsWindow(g_loopWindow)) ::DestroyWindow(g_loopWindow);
}

void CALLBACK QuitFromLoop(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  g_ownerEnabledInLoop = ::IsWindowEnabled(g_loopOwner) != FALSE;
  ::PostQuitMessage(7);
}

}  // namespace

TEST_F(WindowBaseTest, EscapePostsCloseWithOneAndTheKeyStillReachesTheFocus) {
  auto* probe = static_cast<ProbeUI*>(window_->Find(L"probe"));
  window_->Manager().SetFocus(probe, false);
  ASSERT_EQ(probe, window_->Manager().GetFocus());
  window_->PostMessage(WM_KEYDOWN, VK_RETURN, 0);
  Pump();
  EXPECT_FALSE(CloseWaiting(hwnd()));  // Return is offered to OnDefaultKey, which ignores it
  EXPECT_EQ(1, probe->CountOf(UIEVENT_KEYDOWN, VK_RETURN));

  g_loopWindow = hwnd();
  const UINT_PTR watchdog = ::SetTimer(nullptr, 0, 5000, Watchdog);
  window_->PostMessage(WM_KEYDOWN, VK_ESCAPE, 0);
  const UINT_PTR result = window_->RunModalLoop();
  ::KillTimer(nullptr, watchdog);
  EXPECT_EQ(1u, result);
  EXPECT_EQ(1, window_->closeCalls);
  EXPECT_EQ(1u, window_->lastCloseParam);
  EXPECT_EQ(1, probe->CountOf(UIEVENT_KEYDOWN, VK_ESCAPE));
  EXPECT_TRUE(window_->gone);
  EXPECT_EQ(nullptr, window_->GetHWND());
}

TEST_F(WindowBaseTest, QuitEndsTheModalLoopAndIsPostedAgain) {
  auto owner = Open(kSkin);
  SkinWindowSetup setup;
  setup.skin = kSkin;
  SkinWindow dialog(setup);
  ASSERT_TRUE(dialog.Create(owner->GetHWND(), L"", WS_POPUP | WS_CAPTION, 0, 10, 10, 100, 100));
  g_loopOwner = owner->GetHWND();
  g_ownerEnabledInLoop = true;
  ::SetTimer(nullptr, 0, 10, QuitFromLoop);
  EXPECT_EQ(0u, dialog.RunModalLoop());
  EXPECT_FALSE(g_ownerEnabledInLoop);
  EXPECT_TRUE(::IsWindowEnabled(owner->GetHWND()));
  MSG msg = {};
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(7u, msg.wParam);
  EXPECT_TRUE(::IsWindow(dialog.GetHWND()));  // a quit does not destroy the window
}

TEST_F(WindowBaseTest, RoundCornersClipEverySize) {
  EXPECT_EQ(ERROR, ::GetWindowRgn(hwnd(), Scoped::DeleteObject<HRGN>(::CreateRectRgn(0, 0, 0, 0)).get()));
  auto window = Open(SkinWith(L"roundcorner=\"16,16\""));
  Scoped::DeleteObject<HRGN> region(::CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(ERROR, ::GetWindowRgn(window->GetHWND(), region.get()));
  EXPECT_FALSE(::PtInRegion(region.get(), 0, 0));
  EXPECT_FALSE(::PtInRegion(region.get(), 399, 299));
  EXPECT_TRUE(::PtInRegion(region.get(), 200, 150));
  EXPECT_TRUE(::PtInRegion(region.get(), 399, 150));
  EXPECT_TRUE(::PtInRegion(region.get(), 200, 299));
  ::SetWindowPos(window->GetHWND(), nullptr, 0, 0, 250, 180, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_NE(ERROR, ::GetWindowRgn(window->GetHWND(), region.get()));
  EXPECT_TRUE(::PtInRegion(region.get(), 249, 90));
  EXPECT_FALSE(::PtInRegion(region.get(), 300, 90));
  EXPECT_FALSE(::PtInRegion(region.get(), 249, 179));
  // Minimising keeps the last region instead of clipping to the icon.
  ::ShowWindow(window->GetHWND(), SW_MINIMIZE);
  ::ShowWindow(window->GetHWND(), SW_RESTORE);
  ASSERT_NE(ERROR, ::GetWindowRgn(window->GetHWND(), region.get()));
  EXPECT_TRUE(::PtInRegion(region.get(), 249, 90));
}

TEST_F(WindowBaseTest, MinMaxInfoFromTheWorkAreaAndTheSkin) {
  MONITORINFO monitor = {sizeof(monitor)};
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  MINMAXINFO info = {};
  info.ptMaxTrackSize = {1, 1};
  window_->SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(work.left - monitor.rcMonitor.left, info.ptMaxPosition.x);
  EXPECT_EQ(work.top - monitor.rcMonitor.top, info.ptMaxPosition.y);
  EXPECT_EQ(work.right - work.left, info.ptMaxTrackSize.x);
  EXPECT_EQ(work.bottom - work.top, info.ptMaxTrackSize.y);
  EXPECT_EQ(300, info.ptMinTrackSize.x);
  EXPECT_EQ(200, info.ptMinTrackSize.y);

  auto capped = Open(SkinWith(L"maxinfo=\"640,0\""));
  MINMAXINFO cappedInfo = {};
  capped->SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&cappedInfo));
  EXPECT_EQ(640, cappedInfo.ptMaxTrackSize.x);                     // the skin's positive value wins
  EXPECT_EQ(work.bottom - work.top, cappedInfo.ptMaxTrackSize.y);  // zero leaves the work area's
}

TEST_F(WindowBaseTest, ClientSizeIconAndShow) {
  window_->SetClientSize(320, -1);
  RECT client = {};
  ::GetClientRect(hwnd(), &client);
  EXPECT_EQ(320, client.right);
  EXPECT_EQ(300, client.bottom);
  window_->SetIcon(101);
  HICON big = reinterpret_cast<HICON>(window_->SendMessage(WM_GETICON, ICON_BIG, 0));
  HICON small = reinterpret_cast<HICON>(window_->SendMessage(WM_GETICON, ICON_SMALL, 0));
  ASSERT_TRUE(big && small);
  ICONINFO bigInfo = {};
  ASSERT_TRUE(::GetIconInfo(big, &bigInfo));
  BITMAP bits = {};
  ::GetObjectW(bigInfo.hbmColor ? bigInfo.hbmColor : bigInfo.hbmMask, sizeof(bits), &bits);
  if (bigInfo.hbmColor) ::DeleteObject(bigInfo.hbmColor);
  ::DeleteObject(bigInfo.hbmMask);
  EXPECT_EQ(0, bits.bmWidth % 16);
  EXPECT_GE(bits.bmWidth, ::GetSystemMetrics(SM_CXICON));
  window_->ShowWindow(false);
  EXPECT_FALSE(::IsWindowVisible(hwnd()));
  window_->ShowWindow(true, false);
  EXPECT_TRUE(::IsWindowVisible(hwnd()));
}

// Windows sends WM_DPICHANGED when the window moves to a screen of another density or the user changes
// the scale (Wine never does: one density per session, so the test sends it as Windows would). The
// window takes the suggested size and every length of the skin follows: placements, size box, caption
// and fonts; back at 96 DPI all is as before.
TEST_F(WindowBaseTest, ADensityChangeScalesTheWholeSkin) {
  const int fontAt96 = window_->Manager().GetFontInfo(-1)->metrics.tmHeight;
  RECT suggested = WindowRect(hwnd());
  suggested.right = suggested.left + 800;
  suggested.bottom = suggested.top + 600;
  ::SendMessageW(hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  int w = 0, h = 0;
  window_->Paint(w, h);
  EXPECT_EQ(800, w);
  EXPECT_EQ(600, h);
  EXPECT_EQ(192, window_->Manager().Dpi());
  const RECT close = window_->Find(L"closebtn")->Placement();
  EXPECT_EQ(640, close.left);
  EXPECT_EQ(680, close.right);
  EXPECT_EQ(80, window_->Find(L"probe")->Placement().top);
  EXPECT_EQ(HTTOPLEFT, window_->HitTestAt(7, 7));      // the 4-pixel size box is 8 pixels now
  EXPECT_EQ(HTCAPTION, window_->HitTestAt(400, 190));  // and the 100-pixel caption 200
  const int fontAt192 = window_->Manager().GetFontInfo(-1)->metrics.tmHeight;
  EXPECT_GE(fontAt192, 2 * fontAt96 - 2);
  EXPECT_LE(fontAt192, 2 * fontAt96 + 2);

  suggested.right = suggested.left + 400;
  suggested.bottom = suggested.top + 300;
  ::SendMessageW(hwnd(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
  window_->Paint(w, h);
  EXPECT_EQ(400, w);
  EXPECT_EQ(320, window_->Find(L"closebtn")->Placement().left);
  EXPECT_EQ(fontAt96, window_->Manager().GetFontInfo(-1)->metrics.tmHeight);
}
