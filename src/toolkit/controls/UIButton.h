#pragma once

// Clickable controls: the button with its state images and fading hover, and the selectable option
// and check box, which may share a group where selecting one deselects the others.

#include <string>

#include "toolkit/controls/UILabel.h"

namespace SkinUI {

enum ButtonState : UINT {
  kStateFocused = 0x01,
  kStateSelected = 0x02,
  kStateDisabled = 0x04,
  kStateHot = 0x08,
  kStatePushed = 0x10,
  kStateCaptured = 0x40,
};

class CButtonUI : public CLabelUI {
 public:
  static constexpr UINT kFadeTimer = 11;

  CButtonUI();
  const wchar_t* ClassName() const override { return L"Button"; }
  void* CastTo(const std::wstring& name) override;
  UINT ControlFlags() const override;
  // A button whose marked-up text holds a link reads as the link.
  long AccessibleRole() const override;
  long AccessibleState() const override;
  bool Activate() override;
  void SetEnabled(bool enabled = true) override;
  void HandleEvent(UIEvent& event) override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void DrawStateImage(HDC dc) override;
  void DrawTextContent(HDC dc) override;
  void DrawInSystemColors(HDC dc) override;

  UINT ButtonState() const { return state_; }
  void SetNormalImage(const std::wstring& descriptor) { SetImage(normal_, descriptor); }
  void SetHotImage(const std::wstring& descriptor) { SetImage(hot_, descriptor); }
  void SetPushedImage(const std::wstring& descriptor) { SetImage(pushed_, descriptor); }
  void SetFocusedImage(const std::wstring& descriptor) { SetImage(focused_, descriptor); }
  void SetDisabledImage(const std::wstring& descriptor) { SetImage(disabled_, descriptor); }
  void SetForeImage(const std::wstring& descriptor) { SetImage(fore_, descriptor); }
  void SetHotForeImage(const std::wstring& descriptor) { SetImage(hotFore_, descriptor); }
  void SetFiveStatusImage(const std::wstring& descriptor);
  const ImageDrawInfo& FiveStatusImage() const { return fiveStatus_; }
  void SetFadeDelta(BYTE delta) { fadeDelta_ = delta; }
  void SetHotBkColor(DWORD color) {
    hotBkColor_ = color;
    Invalidate();
  }
  void SetHotTextColor(DWORD color) {
    hotTextColor_ = color;
    Invalidate();
  }
  void SetPushedTextColor(DWORD color) {
    pushedTextColor_ = color;
    Invalidate();
  }
  void SetFocusedTextColor(DWORD color) {
    focusedTextColor_ = color;
    Invalidate();
  }
  BYTE FadeAlpha() const { return fadeAlpha_; }
  void OnAttached() override;

 protected:
  // Sets a descriptor; the same descriptor, already loaded, is left alone.
  void SetImage(ImageDrawInfo& info, const std::wstring& descriptor);
  bool DrawPart(HDC dc, ImageDrawInfo& info, BYTE fade = 255);
  // Loads the picture without drawing it (the fields a draw may override are then safe to set).
  bool EnsureLoaded(ImageDrawInfo& info);
  bool HasFace();
  void DrawCaptionGlyph(HDC dc);
  ImageDrawInfo& NormalImage() { return normal_; }
  void RefreshState();
  // The button's own state painting; hidden state bits are treated as clear.
  void DrawButtonState(HDC dc, UINT hidden);
  void DrawButtonText(HDC dc, UINT hidden);
  bool Inside(const UIEvent& event) const { return PtInRect(&item_, event.ptMouse) != FALSE; }
  UINT state_ = 0;

 private:
  bool ApplyButtonAttribute(const std::wstring& name, const std::wstring& value);
  bool HandleMouseEvent(UIEvent& event);
  void OnMouseLeave(const UIEvent& event);
  void OnFadeTimer();
  void StartFade();
  void DrawHot(HDC dc);
  // The five-status picture's part index (0 normal, 1 pushed, 2 hot, 3 focused, 4 disabled) when that
  // picture is set, else info, else the normal image.
  bool DrawStateOrNormal(HDC dc, ImageDrawInfo& info, int part, BYTE fade = 255);
  bool DrawFiveStatusPart(HDC dc, int part, BYTE fade);

  ImageDrawInfo normal_, hot_, hotFore_, pushed_, focused_, disabled_, fore_, fiveStatus_;
  DWORD hotBkColor_ = 0, hotTextColor_ = 0, pushedTextColor_ = 0, focusedTextColor_ = 0;
  BYTE fadeAlpha_ = 255;
  BYTE fadeDelta_ = 0;
};

class COptionUI : public CButtonUI {
 public:
  COptionUI() = default;
  ~COptionUI() override;
  const wchar_t* ClassName() const override { return L"Option"; }
  void* CastTo(const std::wstring& name) override;
  // A check box alone, a radio button in a group.
  long AccessibleRole() const override;
  long AccessibleState() const override;
  void AttachManager(CUIManager* manager, CControlUI* parent, bool init = true) override;
  bool Activate() override;
  void SetEnabled(bool enabled = true) override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void DrawStateImage(HDC dc) override;
  void DrawTextContent(HDC dc) override;
  void DrawInSystemColors(HDC dc) override;

  bool IsSelected() const { return selected_; }
  virtual void Selected(bool select, bool send = true);
  const std::wstring& GetGroup() const { return group_; }
  void SetGroup(const std::wstring& group);
  void SetSelectedImage(const std::wstring& descriptor) { SetImage(selectedImage_, descriptor); }
  void SetSelectedHotImage(const std::wstring& descriptor) { SetImage(selectedHot_, descriptor); }
  void SetSelectedBkColor(DWORD color) {
    selectedBkColor_ = color;
    Invalidate();
  }
  void SetSelectedTextColor(DWORD color) {
    selectedTextColor_ = color;
    Invalidate();
  }

 private:
  void DeselectOthers(bool send);
  bool DrawSelected(HDC dc);

  bool selected_ = false;
  std::wstring group_;
  ImageDrawInfo selectedImage_, selectedHot_, optionFore_;
  DWORD selectedBkColor_ = 0, selectedTextColor_ = 0;
};

class CCheckBoxUI : public COptionUI {
 public:
  CCheckBoxUI() = default;
  const wchar_t* ClassName() const override { return L"CheckBox"; }
  void* CastTo(const std::wstring& name) override;
};

}  // namespace SkinUI
