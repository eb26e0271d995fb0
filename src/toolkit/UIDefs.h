#pragma once

// Types shared by the manager and the controls: toolkit events, notifications, listener interfaces,
// search flags, and the bounded readers for the integer, colour and rectangle texts of the skin.

#include <windows.h>

#include <cstdint>
#include <string>

namespace SkinUI {

class CControlUI;

enum UIEventType : int32_t {
  UIEVENT_FIRST = 1,
  UIEVENT_KEYBEGIN = 2,
  UIEVENT_KEYDOWN = 3,
  UIEVENT_KEYUP = 4,
  UIEVENT_CHAR = 5,
  UIEVENT_SYSKEY = 6,
  UIEVENT_KEYEND = 7,
  UIEVENT_MOUSEBEGIN = 8,
  UIEVENT_MOUSEMOVE = 9,
  UIEVENT_MOUSELEAVE = 10,
  UIEVENT_MOUSEENTER = 11,
  UIEVENT_MOUSEHOVER = 12,
  UIEVENT_BUTTONDOWN = 13,
  UIEVENT_BUTTONUP = 14,
  UIEVENT_RBUTTONDOWN = 15,
  UIEVENT_DBLCLICK = 16,
  UIEVENT_CONTEXTMENU = 17,
  UIEVENT_SCROLLWHEEL = 18,
  UIEVENT_MOUSEEND = 19,
  UIEVENT_KILLFOCUS = 20,
  UIEVENT_SETFOCUS = 21,
  UIEVENT_WINDOWSIZE = 22,
  UIEVENT_SETCURSOR = 23,
  UIEVENT_TIMER = 24,
};

// Key state bits read from the keyboard when the event is made.
enum : uint16_t { UIKEY_LBUTTON = 0x01, UIKEY_RBUTTON = 0x02, UIKEY_SHIFT = 0x04, UIKEY_CONTROL = 0x08, UIKEY_ALT = 0x20 };

struct UIEvent {
  UIEventType Type = UIEVENT_FIRST;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse = {0, 0};
  wchar_t chKey = 0;
  uint16_t wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

struct UINotification {
  std::wstring sType;
  std::wstring sVirtualWnd;
  CControlUI* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse = {0, 0};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual void Notify(UINotification& msg) = 0;

 protected:
  ~INotifyUI() = default;
};

class IMessageFilterUI {
 public:
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;

 protected:
  ~IMessageFilterUI() = default;
};

// Sees a keyboard message before the manager does; true consumes it.
class ITranslateAccelerator {
 public:
  virtual bool TranslateAccelerator(const MSG* msg) = 0;

 protected:
  ~ITranslateAccelerator() = default;
};

enum : UINT {
  FindVisible = 0x1,
  FindEnabled = 0x2,
  FindHitTest = 0x4,
  FindUpdateTest = 0x8,
  FindTopFirst = 0x10,
  FindMeFirst = 0x80000000,
};

enum : UINT { ControlFlagTabStop = 1, ControlFlagSetCursor = 2 };

// Readers for attribute texts. None of them looks past the end of the text; a malformed value
// leaves what was read so far and reports false.
namespace Parse {
// Reads up to count comma-separated decimal integers; returns how many were read.
int Ints(const std::wstring& text, long* values, int count);
bool Rect(const std::wstring& text, RECT& rc);
bool Size(const std::wstring& text, SIZE& size);
bool Point(const std::wstring& text, POINT& pt);
// Hexadecimal ARGB after an optional "#"; invalid digits end the number as strtoul would.
DWORD Color(const std::wstring& text);
// Like Color but first skips leading characters up to U+0020.
DWORD ColorSkipBlanks(const std::wstring& text);
long Int(const std::wstring& text);
inline bool Bool(const std::wstring& text) { return text == L"true"; }
}  // namespace Parse

// The process-wide multi-language strings: "%{12}" in a text stands for string 12.
namespace MultiLanguage {
void Set(int id, const std::wstring& text);
// Null when no string has that number.
const std::wstring* Find(int id);
void Clear();
// Replaces every token that has a string; tokens without one stay as written.
std::wstring Expand(const std::wstring& text);
}  // namespace MultiLanguage

inline int RectWidth(const RECT& rc) { return rc.right - rc.left; }
inline int RectHeight(const RECT& rc) { return rc.bottom - rc.top; }
inline bool RectEmpty(const RECT& rc) { return rc.right <= rc.left || rc.bottom <= rc.top; }

// Skins are written in 96-DPI units; a window on a denser screen multiplies them by dpi / 96.
constexpr int kBaseDpi = 96;
inline int ScaleByDpi(int value, int dpi) { return dpi == kBaseDpi ? value : ::MulDiv(value, dpi, kBaseDpi); }
inline int UnscaleByDpi(int value, int dpi) { return dpi == kBaseDpi ? value : ::MulDiv(value, kBaseDpi, dpi); }
inline RECT ScaleByDpi(const RECT& rc, int dpi) {
  return {ScaleByDpi(rc.left, dpi), ScaleByDpi(rc.top, dpi), ScaleByDpi(rc.right, dpi), ScaleByDpi(rc.bottom, dpi)};
}
inline SIZE ScaleByDpi(const SIZE& size, int dpi) { return {ScaleByDpi(size.cx, dpi), ScaleByDpi(size.cy, dpi)}; }
inline POINT ScaleByDpi(const POINT& pt, int dpi) { return {ScaleByDpi(pt.x, dpi), ScaleByDpi(pt.y, dpi)}; }

// Windows' high-contrast setting (SPI_GETHIGHCONTRAST), read through this one place so that a test can
// give the answer: Wine cannot turn the setting on. answer -1 asks Windows again.
bool IsHighContrastOn();
void SetHighContrastAnswer(int answer);
// A system colour (GetSysColor) as an opaque ARGB value.
DWORD SystemColor(int index);

inline COLORREF ToColorRef(DWORD argb) {
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

}  // namespace SkinUI
