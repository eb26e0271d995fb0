#include "toolkit/controls/UILabel.h"

#include <cwchar>

#include "toolkit/core/UIManager.h"
#include "toolkit/render/UIMarkupText.h"

namespace SkinUI {

namespace {

constexpr UINT kHorizontalBits = DT_CENTER | DT_RIGHT;
constexpr UINT kVerticalBits = DT_VCENTER | DT_BOTTOM;

bool Contains(const std::wstring& text, const wchar_t* word) { return text.find(word) != std::wstring::npos; }

int FontHeight(CUIManager* manager, int font) {
  const FontInfo* info = manager ? manager->GetFontInfo(font) : nullptr;
  return info ? info->metrics.tmHeight : 0;
}

}  // namespace

void* CLabelUI::CastTo(const std::wstring& name) { return name == L"Label" ? this : CControlUI::CastTo(name); }

void CLabelUI::SetText(const std::wstring& text) {
  if (text == text_) return;
  reestimate_ = true;
  CControlUI::SetText(text);
}

void CLabelUI::SetFont(int id) {
  font_ = id;
  reestimate_ = true;
  Invalidate();
}

void CLabelUI::SetTextColor(DWORD color) {
  textColor_ = color;
  Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD color) {
  disabledTextColor_ = color;
  Invalidate();
}

void CLabelUI::SetTextStyle(UINT style) {
  textStyle_ = style;
  reestimate_ = true;
  Invalidate();
}

void CLabelUI::SetTextPadding(const RECT& padding) {
  textPadding_ = padding;
  reestimate_ = true;
  Invalidate();
}

void CLabelUI::SetShowHtml(bool on) {
  if (showHtml_ == on) return;
  showHtml_ = on;
  reestimate_ = true;
  Invalidate();
}

bool CLabelUI::ForwardWhenMouseDisabled(UIEvent& event) {
  const bool mouse = event.Type > UIEVENT_MOUSEBEGIN && event.Type < UIEVENT_MOUSEEND;
  if (IsMouseEnabled() || !mouse) return false;
  if (parent_)
    parent_->HandleEvent(event);
  else
    CLabelUI::HandleEvent(event);
  return true;
}

RECT CLabelUI::TextRect() const {
  const RECT padding = GetTextPadding();
  return {item_.left + padding.left, item_.top + padding.top, item_.right - padding.right,
          item_.bottom - padding.bottom};
}

void CLabelUI::OnDpiChanged() {
  reestimate_ = true;
  CControlUI::OnDpiChanged();
}

void CLabelUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (ApplyTextAttribute(name, value) || ApplyEffectAttribute(name, value)) return;
  CControlUI::ApplyAttribute(name, value);
}

bool CLabelUI::ApplyTextAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"align") {
    ApplyAlign(value);
  } else if (name == L"valign") {
    ApplyVAlign(value);
  } else if (name == L"endellipsis") {
    SetTextStyle(Parse::Bool(value) ? textStyle_ | DT_END_ELLIPSIS : textStyle_ & ~DT_END_ELLIPSIS);
  } else if (name == L"font") {
    SetFont(Parse::Int(value));
  } else if (name == L"textcolor") {
    SetTextColor(Parse::Color(value));
  } else if (name == L"disabledtextcolor") {
    SetDisabledTextColor(Parse::Color(value));
  } else if (name == L"textpadding") {
    RECT rc = {0, 0, 0, 0};
    Parse::Rect(value, rc);
    SetTextPadding(rc);
  } else if (name == L"multiline") {
    SetTextStyle(Parse::Bool(value) ? (textStyle_ & ~DT_SINGLELINE) | DT_WORDBREAK : textStyle_ | DT_SINGLELINE);
  } else if (name == L"showhtml") {
    SetShowHtml(Parse::Bool(value));
  } else {
    return false;
  }
  return true;
}

void CLabelUI::ApplyAlign(const std::wstring& value) {
  UINT style = textStyle_;
  if (Contains(value, L"left")) style &= ~kHorizontalBits;
  if (Contains(value, L"center")) style = (style & ~DT_RIGHT) | DT_CENTER;
  if (Contains(value, L"right")) style = (style & ~DT_CENTER) | DT_RIGHT;
  SetTextStyle(style);
}

void CLabelUI::ApplyVAlign(const std::wstring& value) {
  UINT style = textStyle_;
  if (Contains(value, L"top")) style &= ~kVerticalBits;
  if (Contains(value, L"vcenter")) style = (style & ~DT_BOTTOM) | DT_VCENTER;
  if (Contains(value, L"bottom")) style = (style & ~DT_VCENTER) | DT_BOTTOM;
  SetTextStyle(style);
}

bool CLabelUI::ApplyEffectAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"enabledeffect")
    effect_.enabled = Parse::Bool(value);
  else if (name == L"enabledluminous")
    effect_.luminous = Parse::Bool(value);
  else if (name == L"enabledstroke")
    effect_.stroke = Parse::Bool(value);
  else if (name == L"enabledshadow")
    effect_.shadow = Parse::Bool(value);
  else if (name == L"luminousfuzzy")
    effect_.luminousBlur = wcstod(value.c_str(), nullptr);
  else if (name == L"gradientangle")
    effect_.gradientAngle = Parse::Int(value);
  else if (name == L"gradientlength")
    effect_.gradientLength = Parse::Int(value);
  else if (name == L"shadowoffset")
    Parse::Point(value, effect_.shadowOffset);
  else if (name == L"textcolor1")
    effect_.color1 = Parse::Color(value);
  else if (name == L"textshadowcolora")
    effect_.shadowColorA = Parse::Color(value);
  else if (name == L"textshadowcolorb")
    effect_.shadowColorB = Parse::Color(value);
  else if (name == L"strokecolor")
    effect_.strokeColor = Parse::Color(value);
  else
    return false;
  Invalidate();
  return true;
}

SIZE CLabelUI::MeasureSize(SIZE available) {
  if (!manager_ || (GetFixedWidth() > 0 && GetFixedHeight() > 0)) return {GetFixedWidth(), GetFixedHeight()};
  const bool multiLine = (textStyle_ & DT_SINGLELINE) == 0;
  const bool availableChanged = available.cx != estimatedFor_.cx || available.cy != estimatedFor_.cy;
  if (reestimate_ || (multiLine && availableChanged)) {
    estimated_ = MeasureText(available, multiLine);
    estimatedFor_ = available;
    reestimate_ = false;
  }
  return estimated_;
}

SIZE CLabelUI::MeasureText(SIZE available, bool multiLine) {
  const RECT padding = GetTextPadding();
  const LONG padX = padding.left + padding.right, padY = padding.top + padding.bottom;
  SIZE size;
  if (!multiLine) {
    size.cy = GetFixedHeight() ? GetFixedHeight() : padY + FontHeight(manager_, font_) + Scaled(8);
    size.cx = GetFixedWidth();
    if (size.cx == 0) {
      RECT rc = {0, 0, 9999, size.cy};
      const UINT style = (textStyle_ & ~kHorizontalBits) | DT_CALCRECT;
      int none = 0;
      DrawLabelText(manager_->PaintContext(), rc, 0, style, nullptr, nullptr, none, -1);
      size.cx = RectWidth(rc) + padX;
    }
    return size;
  }
  size.cx = GetFixedWidth() ? GetFixedWidth() : available.cx;
  RECT rc = {0, 0, size.cx - padX, 9999};
  int none = 0;
  DrawLabelText(manager_->PaintContext(), rc, 0, (textStyle_ & ~kHorizontalBits) | DT_CALCRECT, nullptr, nullptr, none,
                -1);
  size.cy = RectHeight(rc) + padY;
  return size;
}

void CLabelUI::ResolveDefaultColors() {
  if (!manager_) return;
  if (textColor_ == 0) textColor_ = manager_->GetDefaultColor(kTextColor);
  if (disabledTextColor_ == 0) disabledTextColor_ = manager_->GetDefaultColor(kDisabledColor);
}

void CLabelUI::DrawTextContent(HDC dc) {
  ResolveDefaultColors();
  RECT rc = TextRect();
  const DWORD color = IsEnabled() ? textColor_ : disabledTextColor_;
  if (effect_.enabled) {
    DrawEffectText(dc, rc, color);
    return;
  }
  if (text_.empty()) return;
  int none = 0;
  DrawLabelText(dc, rc, color, textStyle_, nullptr, nullptr, none, -1);
}

SIZE CLabelUI::TextAreaSize() const {
  const RECT rc = TextRect();
  return {RectWidth(rc), RectHeight(rc)};
}

SIZE CLabelUI::NeededTextSize() {
  if (!manager_ || text_.empty()) return {0, 0};
  const bool multiLine = (textStyle_ & DT_SINGLELINE) == 0;
  RECT rc = {0, 0, multiLine ? TextAreaSize().cx : 9999, 9999};
  int none = 0;
  const UINT style = (textStyle_ & ~(kHorizontalBits | kVerticalBits | DT_END_ELLIPSIS)) | DT_CALCRECT;
  DrawLabelText(manager_->PaintContext(), rc, 0, style, nullptr, nullptr, none, -1);
  return {RectWidth(rc), RectHeight(rc)};
}

bool CLabelUI::TextFits() { return FitsIn(TextRect(), textStyle_); }

// Measured once per text, place, style and density: painting asks at every frame.
bool CLabelUI::FitsIn(const RECT& rc, UINT style) {
  const SIZE area = {RectWidth(rc), RectHeight(rc)};
  const int dpi = manager_ ? manager_->Dpi() : 0;
  if (fit_.text == text_ && fit_.area.cx == area.cx && fit_.area.cy == area.cy && fit_.style == style &&
      fit_.dpi == dpi)
    return fit_.fits;
  const UINT savedStyle = textStyle_;
  textStyle_ = style;
  const SIZE needed = area.cx > 0 ? NeededTextSize() : SIZE{1, 1};
  textStyle_ = savedStyle;
  fit_ = {text_, area, style, dpi, needed.cx <= area.cx && needed.cy <= area.cy};
  return fit_.fits;
}

std::wstring CLabelUI::PlainText() const { return showHtml_ ? MarkupPlainText(text_) : MultiLanguage::Expand(text_); }

std::wstring CLabelUI::ShownToolTip() const {
  if (!GetToolTip().empty() || fit_.fits || fit_.text != text_) return GetToolTip();
  return PlainText();
}

void CLabelUI::DrawLabelText(HDC dc, RECT& rc, DWORD color, UINT style, RECT* links, std::wstring* targets,
                             int& linkCount, int hoverLink) {
  // Words that do not fit end in an ellipsis rather than at the edge, wherever the cut falls.
  if (!(style & DT_CALCRECT) && !text_.empty() && !FitsIn(rc, style)) style |= DT_END_ELLIPSIS;
  if (showHtml_) {
    DrawMarkupText(dc, manager_, rc, text_, color, links, targets, linkCount, font_, style, hoverLink);
  } else {
    linkCount = 0;
    if (text_.empty())
      rc.right = rc.left, rc.bottom = rc.top;
    else
      DrawText(dc, manager_, rc, text_, color, font_, style);
  }
}

void CLabelUI::DrawEffectText(HDC dc, RECT rc, DWORD color) {
  if (text_.empty()) return;
  if (effect_.shadow) {
    RECT shadow = rc;
    OffsetRect(&shadow, effect_.shadowOffset.x, effect_.shadowOffset.y);
    DrawText(dc, manager_, shadow, text_, effect_.shadowColorA, font_, textStyle_);
  }
  if (effect_.stroke) {
    static const POINT kAround[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const POINT& d : kAround) {
      RECT edge = rc;
      OffsetRect(&edge, d.x, d.y);
      DrawText(dc, manager_, edge, text_, effect_.strokeColor, font_, textStyle_);
    }
  }
  DrawText(dc, manager_, rc, text_, color, font_, textStyle_);
}

void* CTextUI::CastTo(const std::wstring& name) { return name == L"Text" ? this : CLabelUI::CastTo(name); }

// The hand cursor has to reach the control, so it asks for set-cursor events while links are shown.
UINT CTextUI::ControlFlags() const { return linkCount_ > 0 && IsEnabled() ? UINT{ControlFlagSetCursor} : 0u; }

int CTextUI::LinkAt(POINT pt) const {
  for (int i = 0; i < linkCount_; ++i)
    if (PtInRect(&links_[i], pt)) return i;
  return -1;
}

void CTextUI::DrawTextContent(HDC dc) {
  if (text_.empty()) {
    linkCount_ = 0;
    return;
  }
  ResolveDefaultColors();
  RECT rc = TextRect();
  const DWORD color = IsEnabled() ? GetTextColor() : GetDisabledTextColor();
  linkCount_ = kMaxLinks;
  DrawLabelText(dc, rc, color, GetTextStyle(), links_, targets_, linkCount_, hoverLink_);
  if (linkCount_ > kMaxLinks) linkCount_ = kMaxLinks;
}

void CTextUI::HandleEvent(UIEvent& event) {
  const bool mouseEvent = event.Type > UIEVENT_MOUSEBEGIN && event.Type < UIEVENT_MOUSEEND;
  if (!IsMouseEnabled() && mouseEvent) {
    if (parent_)
      parent_->HandleEvent(event);
    else
      CLabelUI::HandleEvent(event);
    return;
  }
  if (!HandleLinkEvent(event)) CLabelUI::HandleEvent(event);
}

// True when the event was about links and is done with.
bool CTextUI::HandleLinkEvent(UIEvent& event) {
  switch (event.Type) {
    case UIEVENT_SETCURSOR:
      if (LinkAt(event.ptMouse) < 0) return false;
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return true;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (!IsEnabled() || LinkAt(event.ptMouse) < 0) return false;
      Invalidate();
      return true;
    case UIEVENT_BUTTONUP: {
      const int link = IsEnabled() ? LinkAt(event.ptMouse) : -1;
      if (link < 0) return false;
      if (manager_) manager_->RaiseNotification(this, L"link", static_cast<WPARAM>(link));
      return true;
    }
    case UIEVENT_CONTEXTMENU:
      return true;
    case UIEVENT_MOUSEMOVE: {
      if (!IsEnabled() || linkCount_ == 0) return false;
      const int hover = LinkAt(event.ptMouse);
      if (hover != hoverLink_) {
        hoverLink_ = hover;
        Invalidate();
      }
      return true;
    }
    case UIEVENT_MOUSELEAVE:
      if (!IsEnabled() || hoverLink_ < 0) return false;
      OnLinkMouseLeave(event);
      return true;
    default:
      return false;
  }
}

void CTextUI::OnLinkMouseLeave(const UIEvent& event) {
  if (PtInRect(&links_[hoverLink_], event.ptMouse)) {
    if (manager_) manager_->RequestMouseLeave(this);
    return;
  }
  hoverLink_ = -1;
  Invalidate();
  if (manager_) manager_->DropMouseLeave(this);
}

}  // namespace SkinUI
