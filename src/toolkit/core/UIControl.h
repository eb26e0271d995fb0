#pragma once

// The windowless control: a rectangle in the manager's tree with the attribute vocabulary every
// skin element accepts, placement, visibility, invalidation, painting steps and event fall-through.

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "toolkit/core/UIDefs.h"
#include "toolkit/render/UIRender.h"

namespace SkinUI {

class CUIManager;

// Callbacks that may veto what follows: the source reports false as soon as one returns false.
template <typename Arg>
class CEventSource {
 public:
  void Add(std::function<bool(Arg)> callback) { callbacks_.push_back(std::move(callback)); }
  bool Fire(Arg arg) const {
    for (const auto& callback : callbacks_)
      if (!callback(arg)) return false;
    return true;
  }
  bool Empty() const { return callbacks_.empty(); }

 private:
  std::vector<std::function<bool(Arg)>> callbacks_;
};

struct FloatShares {
  double left = 0, top = 0, right = 0, bottom = 0;
};

using FindControlProc = CControlUI* (*)(CControlUI* control, void* data);

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual void Delete();
  virtual std::wstring GetName() const { return name_; }
  // The control's own virtual-window name, else the nearest ancestor's: one name on a page reaches
  // every control on it.
  std::wstring GetVirtualWnd() const;
  void SetVirtualWnd(const std::wstring& name);
  virtual void SetName(const std::wstring& name);
  virtual const wchar_t* ClassName() const { return L"Control"; }
  virtual void* CastTo(const std::wstring& name);
  virtual UINT ControlFlags() const { return 0; }
  virtual bool Activate() { return IsVisible() && IsEnabled(); }
  // What a screen reader is told about the control, as the control itself knows it. The role is an
  // MSAA role (ROLE_SYSTEM_*), 0 for a control no reader meets (a layout); a plain control is a picture.
  virtual long AccessibleRole() const;
  // The words the control shows, its markup removed; empty where its text is a value, not a name.
  virtual std::wstring AccessibleText() const { return std::wstring(); }
  // The state bits (STATE_SYSTEM_*) only the control knows: pressed, hot, checked, read-only, protected.
  virtual long AccessibleState() const { return 0; }
  // Empty when the control has no value; rightToLeft: the window is mirrored.
  virtual std::wstring AccessibleValue(bool rightToLeft) const { return std::wstring(); }
  // Whether the text is words of the backdrop picture (a slide's headline), written on the plain colour
  // where the picture gives way; a control that draws its text itself, or holds others, says no.
  virtual bool TextOnBackdrop() const { return true; }
  CUIManager* Manager() const { return manager_; }
  virtual void AttachManager(CUIManager* manager, CControlUI* parent, bool init = true);
  CControlUI* GetParent() const { return parent_; }
  // An optional control laid over this one, owned by it and painted after it.
  CControlUI* CoverControl() const { return cover_; }
  void SetCoverControl(CControlUI* cover);

  virtual std::wstring GetText() const { return text_; }
  virtual void SetText(const std::wstring& text);

  const RECT& Placement() const { return item_; }
  RECT OffsetInParent() const;
  virtual RECT ContentRect() const { return item_; }
  virtual void Place(RECT rc, bool invalidate = true);
  virtual void Move(int dx, int dy, bool invalidate = true);
  int GetWidth() const { return item_.right - item_.left; }
  int GetHeight() const { return item_.bottom - item_.top; }
  int GetX() const { return item_.left; }
  int GetY() const { return item_.top; }

  // Geometry: the setters take 96-DPI units as the skin writes them, the getters give pixels at the
  // window's density (the same numbers on a 96-DPI screen or without a window).
  RECT GetPadding() const { return Scaled(padding_); }
  void SetPadding(const RECT& padding);
  POINT FloatOffset() const { return {Scaled(fixedXY_.x), Scaled(fixedXY_.y)}; }
  void SetFloatOffset(POINT pt);
  const FloatShares& AnchorShares() const { return shares_; }
  void SetAnchorShares(const FloatShares& shares);
  int GetFixedWidth() const { return Scaled(fixedWidth_); }
  void SetFixedWidth(int cx);
  int GetFixedHeight() const { return Scaled(fixedHeight_); }
  void SetFixedHeight(int cy);
  int GetMinWidth() const { return Scaled(minWidth_); }
  void SetMinWidth(int cx);
  int GetMaxWidth() const { return Scaled(maxWidth_ > minWidth_ ? maxWidth_ : minWidth_); }
  void SetMaxWidth(int cx);
  int GetMinHeight() const { return Scaled(minHeight_); }
  void SetMinHeight(int cy);
  int GetMaxHeight() const { return Scaled(maxHeight_ > minHeight_ ? maxHeight_ : minHeight_); }
  void SetMaxHeight(int cy);
  // 96-DPI units to pixels of this control's window, and back.
  int Scaled(int value) const;
  RECT Scaled(const RECT& rc) const;
  int Unscaled(int value) const;
  // The window moved to a screen of another density: cached measures and pictures are stale.
  virtual void OnDpiChanged() { MarkNeedsLayout(); }

  std::wstring GetToolTip() const { return tooltip_; }
  // What the tooltip window shows: the tooltip, or what a control adds to it.
  virtual std::wstring ShownToolTip() const { return tooltip_; }
  void SetToolTip(const std::wstring& text);
  void SetToolTipWidth(int width) { tooltipWidth_ = width; }
  int GetToolTipWidth() const { return Scaled(tooltipWidth_); }
  wchar_t GetShortcut() const { return shortcut_; }
  void SetShortcut(wchar_t ch) { shortcut_ = ch; }
  bool WantsContextMenu() const { return contextMenu_; }
  void SetWantsContextMenu(bool on) { contextMenu_ = on; }
  std::wstring GetUserData() const { return userData_; }
  void SetUserData(const std::wstring& text) { userData_ = text; }
  UINT_PTR GetTag() const { return tag_; }
  void SetTag(UINT_PTR tag) { tag_ = tag; }

  virtual bool IsVisible() const { return visible_ && shownByParent_; }
  virtual void SetVisible(bool visible = true);
  virtual void SetShownByParent(bool shown);
  virtual bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled = true);
  bool IsMouseEnabled() const { return mouseEnabled_; }
  virtual void SetMouseEnabled(bool enabled = true) { mouseEnabled_ = enabled; }
  bool IsKeyboardEnabled() const { return keyboardEnabled_; }
  void SetKeyboardEnabled(bool enabled = true) { keyboardEnabled_ = enabled; }
  bool IsFocused() const { return focused_; }
  virtual void SetFocus();
  bool IsFloat() const { return float_; }
  void SetFloat(bool on = true);
  bool NeedsUpdate() const { return updateNeeded_; }

  virtual CControlUI* LookupControl(FindControlProc proc, void* data, UINT flags);
  virtual void Init();
  virtual void OnAttached() {}
  void Event(UIEvent& event);
  virtual void HandleEvent(UIEvent& event);

  virtual void ApplyAttribute(const std::wstring& name, const std::wstring& value);
  void ApplyAttributeList(const std::wstring& text);
  std::wstring GetCustomAttribute(const std::wstring& name) const;
  virtual SIZE MeasureSize(SIZE available) { return {GetFixedWidth(), GetFixedHeight()}; }

  virtual bool Paint(HDC dc, const RECT& paint, CControlUI* stop);
  virtual bool Render(HDC dc, const RECT& paint, CControlUI* stop);
  virtual void DrawBackColor(HDC dc);
  virtual void DrawBackImage(HDC dc);
  virtual void DrawStateImage(HDC dc) {}
  virtual void DrawTextContent(HDC dc) {}
  virtual void DrawFrame(HDC dc);
  void DrawFocusCue(HDC dc);
  // What Render draws instead while the window uses the system's colours (high contrast).
  virtual void DrawInSystemColors(HDC dc);
  void DrawSystemFocusRing(HDC dc);
  void DrawBackdropWords(HDC dc);
  virtual void PaintOverlay(HDC dc, const RECT& paint) { OnPostPaint.Fire(this); }

  void Invalidate();
  void MarkNeedsLayout();
  void NeedsParentUpdate();

  DWORD GetBkColor() const { return bkColor_[0]; }
  void SetBkColor(DWORD color, int index = 0);
  void SetBkImage(const std::wstring& descriptor);
  ImageDrawInfo& BkImage() { return bkImage_; }
  void SetBorderColor(DWORD color) {
    borderColor_ = color;
    Invalidate();
  }
  void SetFocusBorderColor(DWORD color) {
    focusBorderColor_ = color;
    Invalidate();
  }
  void SetBorderSize(const RECT& widths) {
    borderSize_ = widths;
    Invalidate();
  }
  void SetBorderRound(SIZE round) {
    borderRound_ = round;
    Invalidate();
  }
  // Drawn over the control while it has the keyboard focus (and the window shows focus cues).
  void SetFocusImage(const std::wstring& descriptor) {
    focusImage_.SetDescriptor(descriptor);
    Invalidate();
  }

  CEventSource<CControlUI*> OnInit, OnDestroy, OnSize, OnPostPaint;
  CEventSource<UIEvent&> OnEvent;
  CEventSource<UINotification&> OnNotify;
  CEventSource<CControlUI*> OnPaint;

 protected:
  RECT ClippedByAncestors(RECT rc) const;
  CControlUI* LookupCover(FindControlProc proc, void* data, UINT flags);
  // The part of the item being painted now, set by Paint.
  RECT paint_ = {0, 0, 0, 0};
  RECT item_ = {0, 0, 0, 0};
  CUIManager* manager_ = nullptr;
  CControlUI* parent_ = nullptr;
  std::wstring text_;

 private:
  bool ApplyGeometryAttribute(const std::wstring& name, const std::wstring& value);
  bool ApplyLookAttribute(const std::wstring& name, const std::wstring& value);
  bool ApplyStateAttribute(const std::wstring& name, const std::wstring& value);
  void ApplyFloatAttribute(const std::wstring& value);
  void PlaceCover();

  CControlUI* cover_ = nullptr;
  std::wstring name_;
  std::wstring virtualWnd_;
  bool updateNeeded_ = true;
  bool contextMenu_ = false;
  // A picture that carries content (a logo) stays in high contrast; a layout's background never does,
  // and a skin says highcontrastimage="false" for a picture that is only a backdrop.
  bool keepImageInHighContrast_ = true;
  bool inOnSize_ = false;
  RECT padding_ = {0, 0, 0, 0};
  POINT fixedXY_ = {0, 0};
  int fixedWidth_ = 0, fixedHeight_ = 0;
  int minWidth_ = 0, minHeight_ = 0;
  int maxWidth_ = 9999, maxHeight_ = 9999;
  bool visible_ = true, shownByParent_ = true, enabled_ = true;
  bool mouseEnabled_ = true, keyboardEnabled_ = true, focused_ = false, float_ = false;
  FloatShares shares_;
  std::wstring tooltip_;
  wchar_t shortcut_ = 0;
  std::wstring userData_;
  UINT_PTR tag_ = 0;
  DWORD bkColor_[3] = {0, 0, 0};
  ImageDrawInfo bkImage_;
  ImageDrawInfo focusImage_;
  DWORD borderColor_ = 0, focusBorderColor_ = 0;
  int borderStyle_ = PS_SOLID;
  int tooltipWidth_ = 300;
  SIZE borderRound_ = {0, 0};
  RECT borderSize_ = {0, 0, 0, 0};
  std::map<std::wstring, std::wstring> custom_;
};

}  // namespace SkinUI
