#pragma once

// Types shared by the manager and the controls: toolkit events, notifications, listener interfaces and
// search flags, and the small lists the manager and its parts keep.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/render/UIRender.h"
#include "toolkit/skin/UIValues.h"

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
enum : uint16_t {
  UIKEY_LBUTTON = 0x01,
  UIKEY_RBUTTON = 0x02,
  UIKEY_SHIFT = 0x04,
  UIKEY_CONTROL = 0x08,
  UIKEY_ALT = 0x20
};

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

// Lists kept as small sets: each entry once, in the order it came.
template <typename T>
void EraseValue(std::vector<T>& list, const T& value) {
  list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

template <typename T>
void AddUnique(std::vector<T>& list, const T& value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

// What a control asks of the manager: to be a Tab stop, to set the cursor over it, or to be a caption
// whose Alt shortcut goes on to the control after it.
enum : UINT { ControlFlagTabStop = 1, ControlFlagSetCursor = 2, ControlFlagCaption = 4 };

}  // namespace SkinUI
