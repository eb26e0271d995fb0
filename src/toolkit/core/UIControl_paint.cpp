#include "toolkit/core/UIControl.h"

#include "toolkit/core/UIManager.h"
#include "base/Scoped.h"

namespace SkinUI {

bool CControlUI::Paint(HDC dc, const RECT& paint, CControlUI* stop) {
  if (this == stop) return false;
  RECT meet;
  if (!IntersectRect(&meet, &paint, &item_)) return true;
  if (!OnPaint.Fire(this)) return true;
  paint_ = meet;
  if (!Render(dc, paint, stop)) return false;
  return !cover_ || !cover_->IsVisible() || cover_->Paint(dc, paint, stop);
}

bool CControlUI::Render(HDC dc, const RECT& paint, CControlUI* stop) {
  Scoped::RestoreDC restore(dc);
  if (borderRound_.cx > 0 || borderRound_.cy > 0) {
    Scoped::DeleteObject<HRGN> round(::CreateRoundRectRgn(item_.left, item_.top, item_.right + 1, item_.bottom + 1,
                                                          Scaled(borderRound_.cx), Scaled(borderRound_.cy)));
    if (round) ::ExtSelectClipRgn(dc, round.get(), RGN_AND);
  }
  if (manager_ && manager_->UsesSystemColors()) {
    DrawInSystemColors(dc);
    return true;
  }
  DrawBackColor(dc);
  DrawBackImage(dc);
  DrawStateImage(dc);
  DrawTextContent(dc);
  DrawFrame(dc);
  DrawFocusCue(dc);
  return true;
}

// The skin's picture around the control that has the keyboard focus, once the keyboard is in use.
void CControlUI::DrawFocusCue(HDC dc) {
  if (!focused_ || focusImage_.descriptor.empty() || !manager_ || !manager_->ShowsFocusCues()) return;
  DrawImage(dc, manager_, item_, paint_, focusImage_);
}

void CControlUI::DrawBackColor(HDC dc) {
  if (bkColor_[0] == 0) return;
  if (bkColor_[1] == 0) {
    DrawColor(dc, (bkColor_[0] >> 24) < 0xFF ? item_ : paint_, bkColor_[0]);
  } else if (bkColor_[2] == 0) {
    DrawGradient(dc, item_, bkColor_[0], bkColor_[1], true, 16);
  } else {
    RECT top = item_, bottom = item_;
    top.bottom = bottom.top = (item_.top + item_.bottom) / 2;
    DrawGradient(dc, top, bkColor_[0], bkColor_[1], true, 8);
    DrawGradient(dc, bottom, bkColor_[1], bkColor_[2], true, 8);
  }
}

void CControlUI::DrawBackImage(HDC dc) {
  if (!bkImage_.descriptor.empty()) DrawImage(dc, manager_, item_, paint_, bkImage_);
}

void CControlUI::DrawFrame(HDC dc) {
  if (borderSize_.left <= 0 || (borderColor_ == 0 && focusBorderColor_ == 0)) return;
  const DWORD color = (focused_ && focusBorderColor_) ? focusBorderColor_ : borderColor_;
  const RECT b = Scaled(borderSize_);
  if (borderRound_.cx > 0 || borderRound_.cy > 0) {
    DrawRoundRect(dc, item_, b.left, Scaled(borderRound_.cx), Scaled(borderRound_.cy), color, borderStyle_);
  } else if (b.left == b.top && b.left == b.right && b.left == b.bottom) {
    DrawRect(dc, item_, b.left, color, borderStyle_);
  } else {
    const RECT& r = item_;
    DrawLine(dc, {r.left + b.left / 2, r.top, r.left + b.left / 2, r.bottom}, b.left, color, borderStyle_);
    if (b.top > 0)
      DrawLine(dc, {r.left + b.left, r.top + b.top / 2, r.right - b.right, r.top + b.top / 2}, b.top, color,
               borderStyle_);
    if (b.right > 0)
      DrawLine(dc, {r.right - b.right / 2, r.top, r.right - b.right / 2, r.bottom}, b.right, color, borderStyle_);
    if (b.bottom > 0)
      DrawLine(dc, {r.left + b.left, r.bottom - b.bottom / 2, r.right - b.right, r.bottom - b.bottom / 2}, b.bottom,
               color, borderStyle_);
  }
}

// Drawing with the user's system colours when Windows' high-contrast setting is on: the skin's colours
// and pictures give way to the window, text and highlight colours the user chose.

// Layouts and plain controls: a background (colour or picture) becomes the window colour, a border
// the window text colour; the focused control is ringed in the highlight colour.
void CControlUI::DrawInSystemColors(HDC dc) {
  const bool picture = !bkImage_.descriptor.empty();
  if ((bkColor_[0] >> 24) != 0 || picture) DrawColor(dc, paint_, SystemColor(COLOR_WINDOW));
  if (picture && keepImageInHighContrast_ && !CastTo(L"Container")) DrawBackImage(dc);
  if (picture && !keepImageInHighContrast_) DrawBackdropWords(dc);
  if (borderSize_.left > 0 && (borderColor_ != 0 || focusBorderColor_ != 0))
    DrawRect(dc, item_, Scaled(1), SystemColor(COLOR_WINDOWTEXT));
  DrawSystemFocusRing(dc);
}

// A plain control's backdrop may carry words (a slide's headline) that the window gives the control
// as its text; where the picture gives way they are written on the plain colour, centred, in the
// skin's first font.
void CControlUI::DrawBackdropWords(HDC dc) {
  if (text_.empty() || !TextOnBackdrop()) return;
  RECT rc = item_;
  DrawText(dc, manager_, rc, text_, SystemColor(COLOR_WINDOWTEXT), 0,
           DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void CControlUI::DrawSystemFocusRing(HDC dc) {
  if (!focused_ || !manager_ || !manager_->ShowsFocusCues()) return;
  DrawRect(dc, item_, Scaled(2), SystemColor(COLOR_HIGHLIGHT));
}

}  // namespace SkinUI
