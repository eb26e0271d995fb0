#include <gtest/gtest.h>

#include "ControlScene.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"

using namespace SkinUI;
using ControlsTest::Notes;
using ControlsTest::Scene;

namespace {

std::wstring NativeText(HWND hwnd) {
  wchar_t buffer[256] = {};
  ::GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

void Type(HWND hwnd, const std::wstring& text) {
  for (wchar_t ch : text) ::SendMessageW(hwnd, WM_CHAR, ch, 1);
}

// An edit field at (10, 10) beside a button that can take the focus away.
struct EditScene {
  Scene scene;
  CEditUI* edit;
  CButtonUI* other;
  explicit EditScene(const std::wstring& attributes = std::wstring()) {
    scene.window.manager().AddFont(1, L"Tahoma", 14, false, false, false);
    // The button comes first in reading order (a row above the edit), so the first Tab stop, which gets
    // the focus at the first paint, is not the edit.
    other = scene.Add(new CButtonUI, L"0,0,8,8", L"name=\"btn_browse\"");
    edit = scene.Add(new CEditUI, L"10,10,210,40",
                     L"name=\"edit_path\" font=\"1\" text=\"C:\\Program Files\\\" textpadding=\"4,0,4,0\"" +
                         (attributes.empty() ? std::wstring() : L" " + attributes));
    scene.Show();
  }
  // Clicks past the end of the text, so the caret goes to the end.
  HWND StartEditing() {
    scene.Click(200, 25);
    scene.window.Pump();
    return edit->NativeWindow();
  }
};

}  // namespace

TEST(Edit, FocusCreatesTheNativeWindowOverTheTextArea) {
  EditScene s;
  EXPECT_EQ(nullptr, s.edit->NativeWindow());
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  EXPECT_EQ(s.scene.window.hwnd(), ::GetParent(native));
  wchar_t className[32] = {};
  ::GetClassNameW(native, className, 32);
  EXPECT_STREQ(L"EditWnd", className);
  EXPECT_EQ(L"C:\\Program Files\\", NativeText(native));
  EXPECT_TRUE(::IsWindowVisible(native));
  EXPECT_EQ(native, ::GetFocus());
  EXPECT_EQ(s.edit, s.scene.window.manager().GetFocus());

  // One text line high, centred in the 30-pixel area, inside the padding.
  RECT rc;
  ::GetWindowRect(native, &rc);
  ::MapWindowPoints(HWND_DESKTOP, s.scene.window.hwnd(), reinterpret_cast<POINT*>(&rc), 2);
  const int lineHeight = s.scene.window.manager().GetFontInfo(1)->metrics.tmHeight;
  EXPECT_EQ(14, rc.left);
  EXPECT_EQ(206, rc.right);
  EXPECT_EQ(lineHeight, rc.bottom - rc.top);
  EXPECT_EQ(10 + (30 - lineHeight) / 2, rc.top);
  const LONG_PTR style = ::GetWindowLongPtrW(native, GWL_STYLE);
  EXPECT_TRUE(style & ES_AUTOHSCROLL);
  EXPECT_FALSE(style & (ES_PASSWORD | ES_NUMBER | ES_READONLY));
  DWORD start = 0, end = 0;
  ::SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, end);  // without auto-select-all: a caret, no selection

  // A second click on the field (here on its padding, outside the native window) keeps editing.
  s.scene.Click(11, 12);
  s.scene.window.Pump();
  EXPECT_EQ(native, s.edit->NativeWindow());
  EXPECT_TRUE(::IsWindow(native));
  EXPECT_EQ(native, ::GetFocus());
}

TEST(Edit, TheFirstTabStopEditsFromTheFirstPaint) {
  Scene scene;
  CEditUI* edit = scene.Add(new CEditUI, L"10,10,210,40", L"text=\"abc\"");
  scene.Show();
  ASSERT_EQ(edit, scene.window.manager().GetFocus());
  ASSERT_NE(nullptr, edit->NativeWindow());
  EXPECT_EQ(L"abc", NativeText(edit->NativeWindow()));
}

TEST(Edit, TypingReportsEachChangeAndReturnInsertsNothing) {
  EditScene s;
  s.edit->SetText(L"");
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  Type(native, L"abc");
  EXPECT_EQ(L"abc", s.edit->GetText());
  EXPECT_EQ((Notes{L"textchanged", L"textchanged", L"textchanged"}), s.scene.NotesOf(s.edit));
  ::SendMessageW(native, WM_KEYDOWN, VK_RETURN, 1);
  ::SendMessageW(native, WM_CHAR, L'\r', 1);
  EXPECT_EQ(L"abc", NativeText(native));
  EXPECT_EQ(L"abc", s.edit->GetText());
  EXPECT_EQ(L"return", s.scene.NotesOf(s.edit).back());
  EXPECT_EQ(4u, s.scene.NotesOf(s.edit).size());

  // Code that sets the text while editing updates the native window too.
  s.edit->SetText(L"D:\\Apps\\");
  EXPECT_EQ(L"D:\\Apps\\", NativeText(native));
  EXPECT_EQ(L"D:\\Apps\\", s.edit->GetText());
}

TEST(Edit, ReadOnlyAndLimitedFields) {
  EditScene s(L"readonly=\"true\" maxchar=\"20\"");
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  EXPECT_TRUE(::GetWindowLongPtrW(native, GWL_STYLE) & ES_READONLY);
  Type(native, L"xyz");
  EXPECT_EQ(L"C:\\Program Files\\", s.edit->GetText());
  EXPECT_TRUE(s.scene.NotesOf(s.edit).empty());
  s.edit->SetReadOnly(false);
  Type(native, L"xyzw");  // 16 characters + 4 = the limit of 20
  Type(native, L"overflow");
  EXPECT_EQ(L"C:\\Program Files\\xyz", s.edit->GetText());
  EXPECT_EQ(20, ::GetWindowTextLengthW(native));
}

TEST(Edit, LeavingTheFieldClosesTheNativeWindowAndKeepsTheText) {
  EditScene s;
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  Type(native, L"Setup");
  s.scene.Click(4, 4);  // the button takes the focus
  s.scene.window.Pump();
  EXPECT_FALSE(::IsWindow(native));
  EXPECT_EQ(nullptr, s.edit->NativeWindow());
  EXPECT_EQ(s.other, s.scene.window.manager().GetFocus());
  EXPECT_EQ(L"C:\\Program Files\\Setup", s.edit->GetText());

  // Tabbing away (the focus moved by code) also ends editing.
  native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  s.other->SetFocus();
  s.scene.window.Pump();
  EXPECT_FALSE(::IsWindow(native));

  // So does hiding the field.
  native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  s.edit->SetVisible(false);
  s.scene.window.Pump();
  EXPECT_FALSE(::IsWindow(native));
  EXPECT_EQ(nullptr, s.scene.window.manager().GetFocus());
}

TEST(Edit, DisabledFieldsDoNotEdit) {
  EditScene s(L"enabled=\"false\"");
  EXPECT_EQ(0u, s.edit->ControlFlags());
  EXPECT_EQ(nullptr, s.StartEditing());
  s.edit->SetEnabled(true);
  EXPECT_EQ(UINT{ControlFlagSetCursor | ControlFlagTabStop}, s.edit->ControlFlags());
  EXPECT_NE(nullptr, s.StartEditing());
}

TEST(Edit, PasswordNumberAndAutoSelectModes) {
  EditScene s(L"password=\"true\" numberonly=\"true\" autoselall=\"true\" align=\"right\"");
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  const LONG_PTR style = ::GetWindowLongPtrW(native, GWL_STYLE);
  EXPECT_TRUE(style & ES_PASSWORD);
  EXPECT_TRUE(style & ES_NUMBER);
  EXPECT_TRUE(style & ES_RIGHT);
  EXPECT_EQ(L'*', static_cast<wchar_t>(::SendMessageW(native, EM_GETPASSWORDCHAR, 0, 0)));
  DWORD start = 1, end = 0;
  ::SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(0u, start);
  EXPECT_EQ(static_cast<DWORD>(s.edit->GetText().size()), end);
}

TEST(Edit, NativeBackgroundColourReachesTheNativeWindow) {
  EditScene s(L"nativebkcolor=\"#FF336699\" textcolor=\"#FFFFFFFF\"");
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  HDC dc = ::GetDC(native);
  auto brush = reinterpret_cast<HBRUSH>(
      s.scene.window.Send(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(native)));
  ASSERT_NE(nullptr, brush);
  LOGBRUSH info = {};
  ::GetObjectW(brush, sizeof(info), &info);
  EXPECT_EQ(UINT{BS_SOLID}, info.lbStyle);
  EXPECT_EQ(RGB(0x33, 0x66, 0x99), info.lbColor);
  EXPECT_EQ(RGB(0xFF, 0xFF, 0xFF), ::GetTextColor(dc));
  EXPECT_EQ(TRANSPARENT, ::GetBkMode(dc));
  // Made once.
  EXPECT_EQ(brush, reinterpret_cast<HBRUSH>(s.scene.window.Send(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                                                reinterpret_cast<LPARAM>(native))));
  ::ReleaseDC(native, dc);
}

TEST(Edit, TranslucentBackgroundIsTheSkinBehind) {
  EditScene s(L"nativebkcolor=\"#80336699\" bkcolor=\"#FF00FF00\"");
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  HDC dc = ::GetDC(native);
  auto brush = reinterpret_cast<HBRUSH>(
      s.scene.window.Send(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(native)));
  ASSERT_NE(nullptr, brush);
  LOGBRUSH info = {};
  ::GetObjectW(brush, sizeof(info), &info);
  EXPECT_EQ(UINT{BS_PATTERN}, info.lbStyle);
  ::ReleaseDC(native, dc);
}

TEST(Edit, DefaultNativeColoursStayWithoutANativeBackground) {
  EditScene s;
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  HDC dc = ::GetDC(native);
  auto brush = reinterpret_cast<HBRUSH>(
      s.scene.window.Send(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(native)));
  EXPECT_NE(nullptr, brush);
  EXPECT_EQ(::GetSysColor(COLOR_WINDOWTEXT), ::GetTextColor(dc));
  ::ReleaseDC(native, dc);
}

TEST(Edit, FieldDrawsItsOwnTextAndStateWhileNotEditing) {
  EditScene s(L"textcolor=\"#FFFF0000\" normalimage=\"color='FF000080'\" hotimage=\"color='FF008000'\"");
  // Red text over the navy picture, anti-aliased edges included.
  auto reddish = [&s] {
    int n = 0;
    for (int y = 10; y < 40; ++y)
      for (int x = 10; x < 210; ++x) n += (s.scene.At(x, y) >> 16) >= 0x80 && ((s.scene.At(x, y) >> 8) & 0xFF) < 0x40;
    return n;
  };
  s.scene.Paint();
  EXPECT_EQ(0x000080u, s.scene.At(12, 12));
  const int plain = reddish();
  EXPECT_GT(plain, 30);
  s.edit->SetPasswordMode(true);
  s.scene.Paint();
  const int hidden = reddish();
  EXPECT_GT(hidden, 0);
  EXPECT_NE(plain, hidden);
  s.scene.MoveTo(100, 25);
  s.scene.Paint();
  EXPECT_EQ(0x008000u, s.scene.At(12, 12));
  EXPECT_TRUE(s.edit->EditState() & kStateHot);
  s.edit->SetEnabled(false);
  EXPECT_FALSE(s.edit->EditState() & kStateHot);
}

TEST(Edit, MovingTheFieldMovesTheNativeWindowAndDeletingItEndsIt) {
  EditScene s;
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  s.edit->Move(0, 50);
  RECT rc;
  ::GetWindowRect(native, &rc);
  ::MapWindowPoints(HWND_DESKTOP, s.scene.window.hwnd(), reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_GE(rc.top, 60);
  s.scene.root()->Remove(s.edit);  // deleted with the native window still open
  s.scene.window.Pump();
  EXPECT_FALSE(::IsWindow(native));
}

TEST(Edit, NamesAndFallThrough) {
  CEditUI edit;
  EXPECT_STREQ(L"Edit", edit.ClassName());
  EXPECT_EQ(&edit, edit.CastTo(L"Edit"));
  EXPECT_EQ(&edit, edit.CastTo(L"Label"));
  EXPECT_EQ(255u, edit.GetMaxChar());
  EXPECT_EQ(0xFFFFFFFFu, edit.GetNativeBkColor());
  edit.ApplyAttribute(L"maxchar", L"64");
  edit.ApplyAttribute(L"bordercolor", L"#FFAAAAAA");
  edit.ApplyAttribute(L"valign", L"top");
  EXPECT_EQ(64u, edit.GetMaxChar());
  EXPECT_EQ(L"", edit.GetCustomAttribute(L"bordercolor"));
  EXPECT_EQ(0u, edit.GetTextStyle() & DT_VCENTER);
}

TEST(Edit, TabInTheNativeWindowMovesTheFocusOnAndEndsEditing) {
  EditScene s;
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  MSG tab = {native, WM_KEYDOWN, VK_TAB, 0};
  EXPECT_TRUE(CUIManager::TranslateMessage(&tab));  // the message loop's filter sees keys of child windows
  s.scene.window.Pump();
  EXPECT_EQ(s.other, s.scene.window.manager().GetFocus());
  EXPECT_FALSE(::IsWindow(native));
  EXPECT_EQ(nullptr, s.edit->NativeWindow());
  EXPECT_NE(native, ::GetFocus());
}

TEST(Edit, ResizingTheWindowKeepsEditing) {
  EditScene s;
  HWND native = s.StartEditing();
  ASSERT_NE(nullptr, native);
  Type(native, L"x");
  s.scene.window.Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200));
  s.scene.Paint();  // the focus asked for by the resize is applied at this paint, before queued messages
  s.scene.window.Pump();
  EXPECT_EQ(s.edit, s.scene.window.manager().GetFocus());
  HWND after = s.edit->NativeWindow();
  ASSERT_NE(nullptr, after);
  EXPECT_TRUE(::IsWindow(after));
  EXPECT_EQ(after, ::GetFocus());
  EXPECT_EQ(L"C:\\Program Files\\x", NativeText(after));
}
