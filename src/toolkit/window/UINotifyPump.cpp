#include "toolkit/window/UINotifyPump.h"

#include "toolkit/core/UIControl.h"

namespace SkinUI {

namespace {

const NotifyMapRow kPumpRows[] = {RouteEnd()};
const NotifyMap kPumpMap = {nullptr, kPumpRows};

bool SameText(const wchar_t* a, const std::wstring& b) { return a && b == a; }

}  // namespace

const NotifyMap* CNotifyPump::RouteTable() const { return &kPumpMap; }

bool CNotifyPump::AddVirtualWnd(const std::wstring& name, CNotifyPump* pump) {
  if (!pump || name.empty() || FindVirtualWnd(name)) return false;
  virtualWnds_.emplace(name, pump);
  return true;
}

bool CNotifyPump::RemoveVirtualWnd(const std::wstring& name) {
  for (auto it = virtualWnds_.begin(); it != virtualWnds_.end(); ++it) {
    if (::lstrcmpiW(it->first.c_str(), name.c_str()) == 0) {
      virtualWnds_.erase(it);
      return true;
    }
  }
  return false;
}

CNotifyPump* CNotifyPump::FindVirtualWnd(const std::wstring& name) const {
  for (const auto& entry : virtualWnds_) {
    if (::lstrcmpiW(entry.first.c_str(), name.c_str()) == 0) return entry.second;
  }
  return nullptr;
}

bool CNotifyPump::RouteNotification(UINotification& msg) {
  if (!msg.sVirtualWnd.empty()) {
    CNotifyPump* pump = FindVirtualWnd(msg.sVirtualWnd);
    if (pump && pump->DispatchByTable(msg)) return true;
  }
  return DispatchByTable(msg);
}

// A row for the sender by name wins at once; otherwise the last row for any control counts.
const NotifyMapRow* CNotifyPump::ChooseRow(const NotifyMapRow* rows, const UINotification& msg) {
  const std::wstring sender = msg.pSender ? msg.pSender->GetName() : std::wstring();
  const NotifyMapRow* anyControl = nullptr;
  for (const NotifyMapRow* row = rows; row && row->form != kNotifyEnd; ++row) {
    if (!SameText(row->type, msg.sType)) continue;
    const bool forAny = !row->control || !*row->control;
    if (!forAny && SameText(row->control, sender)) return row;
    if (forAny) anyControl = row;
  }
  return anyControl;
}

void CNotifyPump::Call(const NotifyMapRow& row, UINotification& msg) {
  if (row.form == kNotifyParams && row.params) (this->*row.params)(msg.wParam, msg.lParam);
  if (row.form == kNotifyWhole && row.whole) (this->*row.whole)(msg);
}

bool CNotifyPump::DispatchByTable(UINotification& msg) {
  for (const NotifyMap* map = RouteTable(); map; map = map->base) {
    if (const NotifyMapRow* row = ChooseRow(map->rows, msg)) {
      Call(*row, msg);
      return true;
    }
  }
  return false;
}

}  // namespace SkinUI
