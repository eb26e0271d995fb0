// The controls drawn with the user's system colours when Windows' high-contrast setting is on: button
// faces, check boxes, the bar and the edit take the button face, highlight and text colours the user
// chose to be able to read the screen.

#include <algorithm>

#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/controls/UIProgress.h"
#include "toolkit/render/UIRender.h"

namespace SkinUI {

namespace {

bool IsCaptionButton(const std::wstring& name) { return name == L"closebtn" || name == L"minbtn"; }

}  // namespace

void CLabelUI::DrawInSystemColors(HDC dc) {
  CControlUI::DrawInSystemColors(dc);
  DrawSystemText(dc, COLOR_WINDOWTEXT);
}

void CLabelUI::DrawSystemText(HDC dc, int colorIndex) {
  if (text_.empty()) return;
  RECT rc = TextRect();
  int none = 0;
  DrawLabelText(dc, rc, SystemColor(IsEnabled() ? colorIndex : COLOR_GRAYTEXT), textStyle_, nullptr, nullptr, none, -1);
}

// A button drawn on a picture of its own gets a plain face; the caption buttons the system's glyphs.
void CButtonUI::DrawInSystemColors(HDC dc) {
  CControlUI::DrawInSystemColors(dc);
  if (IsCaptionButton(GetName()) && text_.empty()) {
    DrawCaptionGlyph(dc);
    DrawSystemFocusRing(dc);
    return;
  }
  if (!HasFace()) {
    DrawSystemText(dc, COLOR_WINDOWTEXT);
    return;
  }
  DrawColor(dc, paint_, SystemColor((state_ & kStateHot) && IsEnabled() ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
  DrawRect(dc, item_, Scaled(1), SystemColor(COLOR_BTNTEXT));
  DrawSystemText(dc, (state_ & kStateHot) && IsEnabled() ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
  DrawSystemFocusRing(dc);
}

// A cross or a bar in the text colour (DrawFrameControl's caption glyphs need the Marlett font, which
// Wine does not have).
void CButtonUI::DrawCaptionGlyph(HDC dc) {
  const DWORD color = SystemColor((state_ & kStateHot) && IsEnabled() ? COLOR_HIGHLIGHT : COLOR_WINDOWTEXT);
  const int inset = RectWidth(item_) / 4, pen = std::max(1, Scaled(2));
  const RECT g = {item_.left + inset, item_.top + inset, item_.right - inset, item_.bottom - inset};
  if (GetName() == L"closebtn") {
    DrawLine(dc, g, pen, color);
    DrawLine(dc, {g.left, g.bottom, g.right, g.top}, pen, color);
  } else {
    DrawLine(dc, {g.left, g.bottom, g.right, g.bottom}, pen, color);
  }
}

// A face is a state picture behind the words (one without a place of its own inside the button).
bool CButtonUI::HasFace() {
  if (!fiveStatus_.descriptor.empty()) return true;
  if (!EnsureLoaded(normal_)) return false;
  const RECT& d = normal_.dest;
  return d.left == 0 && d.top == 0 && d.right == 0 && d.bottom == 0;
}

// The option's own small pictures (a check mark, a chevron) become the system's check box.
void COptionUI::DrawInSystemColors(HDC dc) {
  CControlUI::DrawInSystemColors(dc);
  ImageDrawInfo& mark = selected_ && !selectedImage_.descriptor.empty() ? selectedImage_ : NormalImage();
  if (EnsureLoaded(mark) && !RectEmpty(mark.dest)) {
    const RECT d = Scaled(mark.dest);
    RECT box = {item_.left + d.left, item_.top + d.top, item_.left + d.right, item_.top + d.bottom};
    ::DrawFrameControl(
        dc, &box, DFC_BUTTON,
        DFCS_BUTTONCHECK | DFCS_FLAT | (selected_ ? DFCS_CHECKED : 0) | (IsEnabled() ? 0 : DFCS_INACTIVE));
  }
  DrawSystemText(dc, COLOR_WINDOWTEXT);
}

void CProgressUI::DrawInSystemColors(HDC dc) {
  DrawColor(dc, paint_, SystemColor(COLOR_WINDOW));
  const RECT fill = FillRect();
  RECT bar = {item_.left + fill.left, item_.top + fill.top, item_.left + fill.right, item_.top + fill.bottom};
  // A mirrored window's bar shows its progress from the right: the part past the fill.
  if (IsHorizontal() && manager_ && manager_->IsRightToLeft()) bar = {bar.right, item_.top, item_.right, item_.bottom};
  if (!RectEmpty(bar)) DrawColor(dc, bar, SystemColor(COLOR_HIGHLIGHT));
  DrawRect(dc, item_, Scaled(1), SystemColor(COLOR_WINDOWTEXT));
}

void CEditUI::DrawInSystemColors(HDC dc) {
  DrawColor(dc, paint_, SystemColor(COLOR_WINDOW));
  DrawRect(dc, item_, Scaled(1), SystemColor(IsFocused() ? COLOR_HIGHLIGHT : COLOR_WINDOWTEXT));
  if (text_.empty()) return;
  RECT rc = TextRect();
  DrawText(dc, manager_, rc, text_, SystemColor(IsEnabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT), GetFont(),
           GetTextStyle() | DT_SINGLELINE);
}

}  // namespace SkinUI
