#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "toolkit/skin/UIResource.h"

using namespace SkinUI;
using namespace WindowTest;

namespace {

const wchar_t kSkin[] =
    L"<Window size=\"200,100\"><HorizontalLayout>"
    L"<Button name=\"plain\" width=\"50\"/><Button name=\"closebtn\" width=\"50\"/><Probe name=\"probe\" width=\"50\"/>"
    L"<Control name=\"logo\"/><Button name=\"side\" width=\"20\" virtualwnd=\"Side\"/>"
    L"</HorizontalLayout></Window>";

// A window with a routing table of its own on top of the base's "click" row.
class RoutedWindow : public SkinWindow {
 public:
  using SkinWindow::SkinWindow;
  const NotifyMap* RouteTable() const override {
    static const NotifyMapRow rows[] = {
        RouteWhole(L"click", L"plain", &RoutedWindow::OnPlainClick),
        RouteWhole(L"custom", L"", &RoutedWindow::OnCustomFirst),
        RouteWhole(L"custom", L"probe", &RoutedWindow::OnCustomProbe),
        RouteWhole(L"custom", L"", &RoutedWindow::OnCustomLast),
        RouteParams(L"params", L"", &RoutedWindow::OnParams),
        RouteEnd(),
    };
    static const NotifyMap map = {WindowImplBase::RouteTable(), rows};
    return &map;
  }
  void OnPlainClick(UINotification&) { log += L"plain;"; }
  void OnCustomFirst(UINotification&) { log += L"first;"; }
  void OnCustomProbe(UINotification&) { log += L"probe;"; }
  void OnCustomLast(UINotification& msg) { log += L"last:" + msg.pSender->GetName() + L";"; }
  void OnParams(WPARAM wParam, LPARAM lParam) {
    log += std::to_wstring(wParam) + L"," + std::to_wstring(lParam) + L";";
  }
  std::wstring log;
};

// A pump for a virtual window: takes "custom" from any control.
class SidePump : public CNotifyPump {
 public:
  const NotifyMap* RouteTable() const override {
    static const NotifyMapRow rows[] = {RouteWhole(L"custom", L"", &SidePump::OnCustom),
                                        RouteWhole(L"click", L"side", &SidePump::OnSideClick), RouteEnd()};
    static const NotifyMap map = {CNotifyPump::RouteTable(), rows};
    return &map;
  }
  void OnCustom(UINotification&) { ++calls; }
  void OnSideClick(UINotification& msg) { clickedFrom = msg.sVirtualWnd; }
  int calls = 0;
  std::wstring clickedFrom;
};

class RoutingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    SkinWindowSetup setup;
    setup.skin = kSkin;
    window_ = std::make_unique<RoutedWindow>(setup);
    ASSERT_TRUE(window_->CreateHidden());
    ::ShowWindow(window_->GetHWND(), SW_SHOWNOACTIVATE);
    int w = 0, h = 0;
    window_->Paint(w, h);
  }
  void TearDown() override {
    window_.reset();
    Pump();
  }
  void Raise(const wchar_t* sender, const wchar_t* type, const wchar_t* virtualWnd = L"", WPARAM wParam = 0,
             LPARAM lParam = 0) {
    UINotification msg;
    msg.sType = type;
    msg.sVirtualWnd = virtualWnd;
    msg.pSender = window_->Find(sender);
    msg.wParam = wParam;
    msg.lParam = lParam;
    window_->Notify(msg);
  }
  std::unique_ptr<RoutedWindow> window_;
};

}  // namespace

TEST_F(RoutingTest, NamedRowWinsAndTheLastRowForAnyControlOtherwise) {
  Raise(L"probe", L"custom");
  Raise(L"logo", L"custom");
  Raise(L"logo", L"params", L"", 5, -6);
  Raise(L"logo", L"unrouted");
  EXPECT_EQ(L"probe;last:logo;5,-6;", window_->log);
}

TEST_F(RoutingTest, DerivedTableFirstThenTheBaseClick) {
  Click(window_->GetHWND(), 25, 50);
  EXPECT_EQ(L"plain;", window_->log);
  EXPECT_TRUE(window_->clicks.empty());  // the derived row took it: the base never saw it
  EXPECT_FALSE(CloseWaiting(window_->GetHWND()));
  Click(window_->GetHWND(), 75, 50);
  ASSERT_EQ(1u, window_->clicks.size());  // no derived row: the base's row calls OnClick virtually
  EXPECT_EQ(L"closebtn", window_->clicks[0]);
  WPARAM param = 0;
  EXPECT_TRUE(CloseWaiting(window_->GetHWND(), &param));
  EXPECT_EQ(1u, param);
  DropQueued(window_->GetHWND(), WM_CLOSE);
}

TEST_F(RoutingTest, VirtualWindowPumpsGetTheirNotificationsFirst) {
  SidePump side;
  EXPECT_TRUE(window_->AddVirtualWnd(L"Side", &side));
  EXPECT_FALSE(window_->AddVirtualWnd(L"SIDE", &side));  // names do not differ by case alone
  Raise(L"logo", L"custom", L"sIdE");
  EXPECT_EQ(1, side.calls);
  EXPECT_EQ(L"", window_->log);
  Raise(L"logo", L"params", L"side", 1, 2);  // the pump has no row for it: the window routes it
  EXPECT_EQ(L"1,2;", window_->log);
  Raise(L"logo", L"custom", L"elsewhere");
  EXPECT_EQ(1, side.calls);
  EXPECT_TRUE(window_->RemoveVirtualWnd(L"SIDE"));
  Raise(L"logo", L"custom", L"Side");
  EXPECT_EQ(1, side.calls);
}

// The skin's virtualwnd attribute is what makes a pump reachable: the click of a control that carries
// it arrives with the name and goes to that pump instead of the window's own rows.
TEST_F(RoutingTest, ControlsWithAVirtualWindowNameReachItsPump) {
  SidePump side;
  ASSERT_TRUE(window_->AddVirtualWnd(L"Side", &side));
  Click(window_->GetHWND(), 190, 50);
  EXPECT_EQ(L"Side", side.clickedFrom);
  EXPECT_TRUE(window_->clicks.empty());
  Click(window_->GetHWND(), 25, 50);  // a control without the attribute still reaches the window
  EXPECT_EQ(L"plain;", window_->log);
  EXPECT_TRUE(window_->RemoveVirtualWnd(L"Side"));
}

namespace {

// A superclass of the system button: the object sees the messages, the button still behaves as one.
class ButtonWindow : public CWindowWnd {
 public:
  int setTexts = 0;
  HWND goneHandle = nullptr;

 protected:
  const wchar_t* WindowClassName() const override { return L"SkinUiTestButton"; }
  const wchar_t* BaseWindowClass() const override { return L"BUTTON"; }
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_SETTEXT) ++setTexts;
    return CWindowWnd::OnMessage(msg, wParam, lParam);
  }
  void OnWindowGone(HWND hwnd) override { goneHandle = hwnd; }
};

class MissingBase : public CWindowWnd {
 protected:
  const wchar_t* WindowClassName() const override { return L"SkinUiTestNoBase"; }
  const wchar_t* BaseWindowClass() const override { return L"SkinUiTestNoSuchClass"; }
};

std::wstring TextOf(HWND hwnd) {
  wchar_t text[64] = {};
  ::GetWindowTextW(hwnd, text, 64);
  return text;
}

}  // namespace

TEST(WindowWndTest, SuperclassKeepsTheBaseBehaviourAndEndsWithOnWindowGone) {
  ButtonWindow button;
  HWND hwnd = button.Create(nullptr, L"first", WS_POPUP, 0, 0, 0, 80, 20);
  ASSERT_TRUE(hwnd);
  EXPECT_EQ(static_cast<CWindowWnd*>(&button), ::GetPropW(hwnd, kWindowObjectProperty));
  EXPECT_EQ(L"first", TextOf(hwnd));
  ::SetWindowTextW(hwnd, L"second");
  EXPECT_EQ(1, button.setTexts);
  EXPECT_EQ(L"second", TextOf(hwnd));  // the button's own procedure stored it
  // A second window of the same class registers nothing new and still works.
  ButtonWindow another;
  ASSERT_TRUE(another.Create(nullptr, L"x", WS_POPUP, 0, 0, 0, 80, 20));
  ::DestroyWindow(another.GetHWND());
  ::DestroyWindow(hwnd);
  EXPECT_EQ(hwnd, button.goneHandle);
  EXPECT_EQ(nullptr, button.GetHWND());
  MissingBase missing;
  EXPECT_EQ(nullptr, missing.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 10, 10));
}

TEST(WindowWndTest, SubclassTakesAndGivesBackAnExistingWindow) {
  Scoped::DestroyWindow edit(::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 80, 20, nullptr, nullptr,
                                               ::GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(edit);
  const LONG_PTR original = ::GetWindowLongPtrW(edit.get(), GWLP_WNDPROC);
  ButtonWindow spy;
  ASSERT_EQ(edit.get(), spy.Subclass(edit.get()));
  ::SetWindowTextW(edit.get(), L"typed");
  EXPECT_EQ(1, spy.setTexts);
  EXPECT_EQ(L"typed", TextOf(edit.get()));
  spy.Unsubclass();
  EXPECT_EQ(original, ::GetWindowLongPtrW(edit.get(), GWLP_WNDPROC));
  EXPECT_EQ(nullptr, ::GetPropW(edit.get(), kWindowObjectProperty));
  ::SetWindowTextW(edit.get(), L"again");
  EXPECT_EQ(1, spy.setTexts);
  // Subclassed until destruction: the original procedure sees the end and the object is let go.
  ButtonWindow watcher;
  ASSERT_TRUE(watcher.Subclass(edit.get()));
  HWND hwnd = edit.release();
  ::DestroyWindow(hwnd);
  EXPECT_EQ(hwnd, watcher.goneHandle);
  EXPECT_EQ(nullptr, watcher.GetHWND());
}

namespace {

class PlainWindow : public CWindowWnd {
 protected:
  const wchar_t* WindowClassName() const override { return L"SkinUiTestPlain"; }
};

// A skinned window whose object does not destroy its window on the way out.
class LeftOpenWindow : public WindowImplBase {
 protected:
  const wchar_t* WindowClassName() const override { return L"SkinUiTestLeftOpen"; }
  std::wstring SkinFolder() override { return std::wstring(); }
  std::wstring SkinFile() override { return L"<Window size=\"100,50\"><Button name=\"closebtn\"/></Window>"; }
};

}  // namespace

TEST(WindowWndTest, WindowOutlivingItsObjectFallsBackToTheDefaultProcedure) {
  HWND plainWindow = nullptr, skinnedWindow = nullptr;
  {
    PlainWindow plain;
    LeftOpenWindow skinned;
    plainWindow = plain.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 100, 50);
    skinnedWindow = skinned.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 100, 50);
    ASSERT_TRUE(plainWindow && skinnedWindow);
    ASSERT_TRUE(skinned.Manager().GetRoot());
  }
  // The objects went first, as when a loop ends on a quit request with the window still open.
  EXPECT_EQ(0, ::GetWindowLongPtrW(plainWindow, GWLP_USERDATA));
  ::SetWindowTextW(plainWindow, L"still here");
  EXPECT_EQ(L"still here", TextOf(plainWindow));
  ::SendMessageW(skinnedWindow, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  ::SendMessageW(skinnedWindow, WM_NCHITTEST, 0, MAKELPARAM(10, 10));
  ::RedrawWindow(skinnedWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(::DestroyWindow(plainWindow));
  EXPECT_TRUE(::DestroyWindow(skinnedWindow));
  Pump();
}
