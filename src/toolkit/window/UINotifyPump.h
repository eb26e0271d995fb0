#pragma once

// Routing of notifications by static tables: each class that handles notifications has an array of
// rows (type, control name, handler) and a link to its base class's table, so a derived window only
// lists what it adds. Pumps of virtual windows get first pick of the notifications that name them.

#include <map>
#include <string>

#include "toolkit/core/UIDefs.h"

namespace SkinUI {

class CNotifyPump;

enum NotifyForm : int {
  kNotifyEnd = 0,     // ends a table
  kNotifyParams = 1,  // the handler takes the notification's wParam and lParam
  kNotifyWhole = 2,   // the handler takes the whole notification
};

using NotifyWholeHandler = void (CNotifyPump::*)(UINotification&);
using NotifyParamsHandler = void (CNotifyPump::*)(WPARAM, LPARAM);

struct NotifyMapRow {
  const wchar_t* type;
  const wchar_t* control;  // empty: any control
  NotifyForm form;
  NotifyWholeHandler whole;
  NotifyParamsHandler params;
};

struct NotifyMap {
  const NotifyMap* base;
  const NotifyMapRow* rows;
};

// Rows for a derived class's member functions; the class must derive from CNotifyPump.
template <typename T>
NotifyMapRow RouteWhole(const wchar_t* type, const wchar_t* control, void (T::*handler)(UINotification&)) {
  return {type, control, kNotifyWhole, static_cast<NotifyWholeHandler>(handler), nullptr};
}
template <typename T>
NotifyMapRow RouteParams(const wchar_t* type, const wchar_t* control, void (T::*handler)(WPARAM, LPARAM)) {
  return {type, control, kNotifyParams, nullptr, static_cast<NotifyParamsHandler>(handler)};
}
inline NotifyMapRow RouteEnd() { return {L"", L"", kNotifyEnd, nullptr, nullptr}; }

class CNotifyPump {
 public:
  CNotifyPump() = default;
  CNotifyPump(const CNotifyPump&) = delete;
  CNotifyPump& operator=(const CNotifyPump&) = delete;

  virtual const NotifyMap* RouteTable() const;

  // The pump is borrowed; it must stay alive while it is registered.
  bool AddVirtualWnd(const std::wstring& name, CNotifyPump* pump);
  bool RemoveVirtualWnd(const std::wstring& name);
  // Returns whether a handler took the notification.
  bool RouteNotification(UINotification& msg);

 protected:
  ~CNotifyPump() = default;
  // Walks this object's tables from the most derived class to the base.
  bool DispatchByTable(UINotification& msg);

 private:
  static const NotifyMapRow* ChooseRow(const NotifyMapRow* rows, const UINotification& msg);
  void Call(const NotifyMapRow& row, UINotification& msg);
  CNotifyPump* FindVirtualWnd(const std::wstring& name) const;

  std::map<std::wstring, CNotifyPump*> virtualWnds_;
};

}  // namespace SkinUI
