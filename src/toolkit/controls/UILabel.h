#pragma once

// Controls that show text: the label (plain or marked-up text with padding, alignment and colours)
// and the text control, a label whose marked-up links can be clicked.

#include <string>

#include "toolkit/core/UIControl.h"

namespace SkinUI {

// Effect text, drawn with plain GDI: an offset shadow and a one-pixel outline; the gradient and glow
// settings are kept for the skin but the text itself is a solid fill.
struct TextEffect {
  bool enabled = false, luminous = false, stroke = false, shadow = false;
  double luminousBlur = 3.0;
  int gradientAngle = 0, gradientLength = 0;
  POINT shadowOffset = {0, 0};
  DWORD color1 = 0xFF000000, shadowColorA = 0, shadowColorB = 0, strokeColor = 0;
};

class CLabelUI : public CControlUI {
 public:
  CLabelUI() = default;

  const wchar_t* ClassName() const override { return L"Label"; }
  void* CastTo(const std::wstring& name) override;
  UINT ControlFlags() const override { return ControlFlagCaption; }
  bool TextOnBackdrop() const override { return false; }
  long AccessibleRole() const override;
  std::wstring AccessibleText() const override;
  void SetText(const std::wstring& text) override;

  void SetFont(int id);
  int GetFont() const { return font_; }
  void SetTextColor(DWORD color);
  DWORD GetTextColor() const { return textColor_; }
  void SetDisabledTextColor(DWORD color);
  DWORD GetDisabledTextColor() const { return disabledTextColor_; }
  void SetTextStyle(UINT style);
  UINT GetTextStyle() const { return textStyle_; }
  void SetTextPadding(const RECT& padding);
  // In pixels at the window's density.
  RECT GetTextPadding() const { return Scaled(textPadding_); }
  void SetShowHtml(bool on = true);
  bool IsShowHtml() const { return showHtml_; }
  const TextEffect& Effect() const { return effect_; }

  SIZE MeasureSize(SIZE available) override;
  // The room the words need, measured by the painter that draws them (markup included): one line's
  // width and height, or for a multi-line label the extent wrapped in the text area's width.
  SIZE NeededTextSize();
  // The item rectangle minus the text padding.
  SIZE TextAreaSize() const;
  bool TextFits();
  // A text too long for its place is drawn shortened (ending in an ellipsis); its tooltip then shows it whole.
  std::wstring ShownToolTip() const override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void DrawTextContent(HDC dc) override;
  void DrawInSystemColors(HDC dc) override;
  void OnDpiChanged() override;

 protected:
  // A control whose mouse input is off hands mouse events to its parent (or to the plain label when it
  // has none); true when the event was handed on.
  bool ForwardWhenMouseDisabled(UIEvent& event);
  // The item rectangle minus the text padding.
  RECT TextRect() const;
  // A zero colour takes the manager's default (stored back, so later skin changes do not move it).
  void ResolveDefaultColors();
  // Draws the text in rc with the label's font and style, through the markup renderer when show-HTML
  // is on (collecting up to linkCount links there) and plainly otherwise. With DT_CALCRECT rc receives
  // the extent of the text.
  void DrawLabelText(HDC dc, RECT& rc, DWORD color, UINT style, RECT* links, std::wstring* targets, int& linkCount,
                     int hoverLink);
  // The words in a system colour (the grey-text colour when disabled).
  void DrawSystemText(HDC dc, int colorIndex);
  RECT textPadding_ = {0, 0, 0, 0};

 private:
  bool ApplyTextAttribute(const std::wstring& name, const std::wstring& value);
  bool ApplyEffectAttribute(const std::wstring& name, const std::wstring& value);
  void ApplyAlign(const std::wstring& value);
  void ApplyVAlign(const std::wstring& value);
  void DrawEffectText(HDC dc, RECT rc, DWORD color);
  SIZE MeasureText(SIZE available, bool multiLine);
  bool FitsIn(const RECT& rc, UINT style);
  std::wstring PlainText() const;

  int font_ = -1;
  DWORD textColor_ = 0, disabledTextColor_ = 0;
  UINT textStyle_ = DT_VCENTER | DT_SINGLELINE;
  bool showHtml_ = false;
  bool reestimate_ = true;
  SIZE estimated_ = {0, 0};
  SIZE estimatedFor_ = {0, 0};
  TextEffect effect_;
  // What the last fit test was made for, and its answer.
  struct FitCheck {
    std::wstring text;
    SIZE area = {-1, -1};
    UINT style = 0;
    int dpi = 0;
    bool fits = true;
  } fit_;
};

class CTextUI : public CLabelUI {
 public:
  static constexpr int kMaxLinks = 8;

  CTextUI() = default;
  const wchar_t* ClassName() const override { return L"Text"; }
  void* CastTo(const std::wstring& name) override;
  UINT ControlFlags() const override;
  void HandleEvent(UIEvent& event) override;
  void DrawTextContent(HDC dc) override;

  int LinkCount() const { return linkCount_; }
  int HoverLink() const { return hoverLink_; }
  // The rectangle (client coordinates of the window) and target of link i as last painted.
  RECT LinkRect(int i) const { return links_[i]; }
  std::wstring LinkTarget(int i) const { return targets_[i]; }

 private:
  // Index of the link under pt, -1 when none.
  int LinkAt(POINT pt) const;
  bool HandleLinkEvent(UIEvent& event);
  void OnLinkMouseLeave(const UIEvent& event);

  RECT links_[kMaxLinks] = {};
  std::wstring targets_[kMaxLinks];
  int linkCount_ = 0;
  int hoverLink_ = -1;
};

}  // namespace SkinUI
