#pragma once

// A control that owns and places children: inset, child padding, alignment and the shared rules
// for floating children. Scroll bars are not part of this toolkit (the installer's skin has none).

#include <vector>

#include "toolkit/core/UIControl.h"

namespace SkinUI {

class IContainerUI {
 public:
  virtual CControlUI* GetItemAt(int index) const = 0;
  virtual int GetItemIndex(CControlUI* control) const = 0;
  virtual bool SetItemIndex(CControlUI* control, int index) = 0;
  virtual int GetCount() const = 0;
  virtual bool Add(CControlUI* control) = 0;
  virtual bool AddAt(CControlUI* control, int index) = 0;
  virtual bool Remove(CControlUI* control, bool doNotDestroy = false) = 0;
  virtual bool RemoveAt(int index, bool doNotDestroy = false) = 0;
  virtual void RemoveAll() = 0;

 protected:
  ~IContainerUI() = default;
};

enum ChildAlign { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };
enum ChildVAlign { kAlignTop = 0, kAlignVCenter = 4, kAlignBottom = 8 };

class CContainerUI : public CControlUI, public IContainerUI {
 public:
  CContainerUI() = default;
  ~CContainerUI() override;

  const wchar_t* ClassName() const override { return L"Container"; }
  void* CastTo(const std::wstring& name) override;
  long AccessibleRole() const override { return 0; }
  bool TextOnBackdrop() const override { return false; }
  void AttachManager(CUIManager* manager, CControlUI* parent, bool init = true) override;

  CControlUI* GetItemAt(int index) const override;
  int GetItemIndex(CControlUI* control) const override;
  bool SetItemIndex(CControlUI* control, int index) override;
  int GetCount() const override { return static_cast<int>(items_.size()); }
  // Takes ownership of control (it is deleted when Add fails).
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool doNotDestroy = false) override;
  bool RemoveAt(int index, bool doNotDestroy = false) override;
  void RemoveAll() override;

  RECT ContentRect() const override;
  void Place(RECT rc, bool invalidate = true) override;
  void Move(int dx, int dy, bool invalidate = true) override;
  void SetVisible(bool visible = true) override;
  void SetShownByParent(bool shown) override;
  CControlUI* LookupControl(FindControlProc proc, void* data, UINT flags) override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  bool Render(HDC dc, const RECT& paint, CControlUI* stop) override;

  // In pixels at the window's density; the setters take 96-DPI units.
  RECT GetInset() const { return Scaled(inset_); }
  void SetInset(const RECT& inset);
  int GetChildPadding() const { return Scaled(childPadding_); }
  void SetChildPadding(int padding);
  int GetChildAlign() const { return childAlign_; }
  void SetChildAlign(int align);
  int GetChildVAlign() const { return childVAlign_; }
  void SetChildVAlign(int align);
  bool OwnsChildren() const { return autoDestroy_; }
  void SetOwnsChildren(bool on) { autoDestroy_ = on; }
  bool DeletesLater() const { return delayedDestroy_; }
  void SetDeletesLater(bool on) { delayedDestroy_ = on; }
  bool IsMouseChildEnabled() const { return mouseChild_; }
  void SetMouseChildEnabled(bool on) { mouseChild_ = on; }
  void PlaceFloating(int index);

 protected:
  // The item rectangle minus the inset: where the children go.
  RECT ChildArea() const;
  void ReleaseChild(CControlUI* control, bool doNotDestroy);
  std::vector<CControlUI*> items_;

 private:
  bool PaintChildren(HDC dc, const RECT& paint, CControlUI* stop);
  int childPadding_ = 0;
  int childAlign_ = kAlignLeft;
  int childVAlign_ = kAlignTop;
  RECT inset_ = {0, 0, 0, 0};
  bool autoDestroy_ = true, delayedDestroy_ = true, mouseChild_ = true;
};

}  // namespace SkinUI
