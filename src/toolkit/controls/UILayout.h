#pragma once

// The three layouts of the skin: children stacked top to bottom, side by side, or one page at a time.

#include "toolkit/core/UIContainer.h"

namespace SkinUI {

// What the first pass learns about the children that take part in the flow.
struct FlowPlan {
  int count = 0;       // children in the flow
  int stretchy = 0;    // of which take a share of the free space
  int fixedTotal = 0;  // space taken by the others, their padding and the gaps
  int share = 0;       // space for each stretchable child
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  const wchar_t* ClassName() const override { return L"VerticalLayout"; }
  void* CastTo(const std::wstring& name) override;
  void Place(RECT rc, bool invalidate = true) override;

 private:
  FlowPlan PlanStack(const RECT& area) const;
  void StackChildren(const RECT& area, const FlowPlan& plan);
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  const wchar_t* ClassName() const override { return L"HorizontalLayout"; }
  void* CastTo(const std::wstring& name) override;
  void Place(RECT rc, bool invalidate = true) override;

 private:
  FlowPlan PlanLine(const RECT& area) const;
  void LineUpChildren(const RECT& area, const FlowPlan& plan);
};

class CTabLayoutUI : public CContainerUI {
 public:
  const wchar_t* ClassName() const override { return L"TabLayout"; }
  void* CastTo(const std::wstring& name) override;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool doNotDestroy = false) override;
  void RemoveAll() override;
  void Place(RECT rc, bool invalidate = true) override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;

  int GetCurSel() const { return selected_; }
  bool SelectIndex(int index, bool notify = true);

 private:
  int selected_ = -1;
};

}  // namespace SkinUI
