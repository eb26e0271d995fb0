#pragma once

// A row of controls in a real window for the manager's tests: three Tab stops among controls that
// must never receive the focus, and the keys and points the tests press.

#include <windows.h>

#include "UiTestSupport.h"
#include "toolkit/controls/UILayout.h"

namespace ManagerScene {

using SkinUI::CHorizontalLayoutUI;
using SkinUI::ControlFlagTabStop;
using SkinUI::CUIManager;
using UiTest::ProbeUI;
using UiTest::TestWindow;

// Three tab stops and a few controls that must never receive the focus, side by side.
struct Row {
  CHorizontalLayoutUI* root;
  ProbeUI *a, *b, *c, *plain, *hidden, *disabled;
};

inline Row MakeRow() {
  Row r;
  r.root = new CHorizontalLayoutUI;
  r.a = new ProbeUI(L"a", ControlFlagTabStop);
  r.plain = new ProbeUI(L"plain");
  r.hidden = new ProbeUI(L"hidden", ControlFlagTabStop);
  r.b = new ProbeUI(L"b", ControlFlagTabStop);
  r.disabled = new ProbeUI(L"disabled", ControlFlagTabStop);
  r.c = new ProbeUI(L"c", ControlFlagTabStop);
  for (ProbeUI* p : {r.a, r.plain, r.hidden, r.b, r.disabled, r.c}) {
    p->SetFixedWidth(100);
    r.root->Add(p);
  }
  r.hidden->SetVisible(false);
  r.disabled->SetEnabled(false);
  return r;
}

// A window showing the row, laid out by its first paint.
struct RowWindow {
  TestWindow window;
  Row row = MakeRow();
  RowWindow() {
    window.manager().AttachRoot(row.root);
    window.PaintNow();
    window.Pump();
  }
};

inline LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

inline void SetShift(bool down) {
  BYTE keys[256];
  ::GetKeyboardState(keys);
  keys[VK_SHIFT] = down ? 0x80 : 0;
  ::SetKeyboardState(keys);
}

inline bool PressTab(CUIManager& manager) {
  LRESULT result = 0;
  return manager.PreFilterMessage(WM_KEYDOWN, VK_TAB, 0, result);
}

}  // namespace ManagerScene
