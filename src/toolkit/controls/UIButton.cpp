#include "toolkit/controls/UIButton.h"

#include <algorithm>

#include "toolkit/core/UIManager.h"

namespace SkinUI {

namespace {

constexpr int kFiveStatusParts = 5;
enum StatePart { kPartNormal = 0, kPartPushed = 1, kPartHot = 2, kPartFocused = 3, kPartDisabled = 4 };

}  // namespace

CButtonUI::CButtonUI() { SetTextStyle(DT_CENTER | DT_VCENTER | DT_SINGLELINE); }

void* CButtonUI::CastTo(const std::wstring& name) { return name == L"Button" ? this : CLabelUI::CastTo(name); }

UINT CButtonUI::ControlFlags() const {
  const UINT tabStop = IsKeyboardEnabled() ? UINT{ControlFlagTabStop} : 0u;
  return tabStop | (IsEnabled() ? UINT{ControlFlagSetCursor} : 0u);
}

bool CButtonUI::Activate() {
  if (!CLabelUI::Activate()) return false;
  if (manager_) manager_->RaiseNotification(this, L"click");
  return true;
}

// A disabled button forgets hover, press and capture, so enabling it again starts clean.
void CButtonUI::SetEnabled(bool enabled) {
  CLabelUI::SetEnabled(enabled);
  if (!IsEnabled()) state_ = 0;
}

void CButtonUI::SetImage(ImageDrawInfo& info, const std::wstring& descriptor) {
  if (descriptor == info.descriptor && info.image) return;
  info.SetDescriptor(descriptor);
  Invalidate();
}

void CButtonUI::SetFiveStatusImage(const std::wstring& descriptor) {
  SetImage(fiveStatus_, descriptor);
  if (manager_) OnAttached();
}

// A floating button sized by its five-status picture takes one part of it.
void CButtonUI::OnAttached() {
  if (fiveStatus_.descriptor.empty() || !IsFloat() || GetFixedWidth() != 0 || GetFixedHeight() != 0) return;
  if (!EnsureLoaded(fiveStatus_)) return;
  SetFixedWidth(Unscaled(fiveStatus_.image->width / kFiveStatusParts));
  SetFixedHeight(Unscaled(fiveStatus_.image->height));
}

void CButtonUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (!ApplyButtonAttribute(name, value)) CLabelUI::ApplyAttribute(name, value);
}

bool CButtonUI::ApplyButtonAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage")
    SetNormalImage(value);
  else if (name == L"hotimage")
    SetHotImage(value);
  else if (name == L"pushedimage")
    SetPushedImage(value);
  else if (name == L"focusedimage")
    SetFocusedImage(value);
  else if (name == L"disabledimage")
    SetDisabledImage(value);
  else if (name == L"foreimage")
    SetForeImage(value);
  else if (name == L"hotforeimage")
    SetHotForeImage(value);
  else if (name == L"fivestatusimage")
    SetFiveStatusImage(value);
  else if (name == L"fadedelta")
    SetFadeDelta(static_cast<BYTE>(std::clamp<long>(Parse::Int(value), 0, 255)));
  else if (name == L"hotbkcolor")
    SetHotBkColor(Parse::Color(value));
  else if (name == L"hottextcolor")
    SetHotTextColor(Parse::Color(value));
  else if (name == L"pushedtextcolor")
    SetPushedTextColor(Parse::Color(value));
  else if (name == L"focusedtextcolor")
    SetFocusedTextColor(Parse::Color(value));
  else
    return false;
  return true;
}

void CButtonUI::HandleEvent(UIEvent& event) {
  if (ForwardWhenMouseDisabled(event)) return;
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      CLabelUI::HandleEvent(event);  // keeps the focused flag and repaints
      return;
    case UIEVENT_KEYDOWN:
      if (IsKeyboardEnabled() && IsEnabled() && (event.chKey == VK_SPACE || event.chKey == VK_RETURN)) {
        Activate();
        return;
      }
      break;
    case UIEVENT_SETCURSOR:
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return;
    case UIEVENT_TIMER:
      if (event.wParam == kFadeTimer) {
        OnFadeTimer();
        return;
      }
      break;
    default:
      if (HandleMouseEvent(event)) return;
      break;
  }
  CLabelUI::HandleEvent(event);
}

bool CButtonUI::HandleMouseEvent(UIEvent& event) {
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (Inside(event) && IsEnabled()) {
        state_ |= kStatePushed | kStateCaptured;
        Invalidate();
      }
      return true;
    case UIEVENT_MOUSEMOVE:
      if (state_ & kStateCaptured) {
        state_ = Inside(event) ? state_ | kStatePushed : state_ & ~kStatePushed;
        Invalidate();
      }
      return true;
    case UIEVENT_BUTTONUP:
      if (state_ & kStateCaptured) {
        state_ &= ~(kStatePushed | kStateCaptured);
        Invalidate();
        if (Inside(event) && IsEnabled()) Activate();
      }
      return true;
    case UIEVENT_CONTEXTMENU:
      if (IsEnabled() && WantsContextMenu() && manager_)
        manager_->RaiseNotification(this, L"menu", event.wParam, event.lParam);
      return true;
    case UIEVENT_MOUSEENTER:
      if (Inside(event) && IsEnabled()) {
        state_ |= kStateHot;
        Invalidate();
        StartFade();
      }
      return true;
    case UIEVENT_MOUSELEAVE:
      OnMouseLeave(event);
      return true;
    default:
      return false;
  }
}

void CButtonUI::OnMouseLeave(const UIEvent& event) {
  if (Inside(event)) {
    if (manager_) manager_->RequestMouseLeave(this);
    return;
  }
  state_ &= ~kStateHot;
  Invalidate();
  if (manager_) manager_->DropMouseLeave(this);
  StartFade();
}

void CButtonUI::StartFade() {
  if (fadeDelta_ > 0 && manager_) manager_->SetTimer(this, kFadeTimer, 30);
}

void CButtonUI::OnFadeTimer() {
  bool done;
  if (state_ & kStateHot) {
    fadeAlpha_ = static_cast<BYTE>(std::max(0, fadeAlpha_ - fadeDelta_));
    done = fadeAlpha_ == 0;
  } else {
    fadeAlpha_ = static_cast<BYTE>(std::min(255, fadeAlpha_ + fadeDelta_));
    done = fadeAlpha_ == 255;
  }
  Invalidate();
  if ((done || fadeDelta_ == 0) && manager_) manager_->KillTimer(this, kFadeTimer);
}

bool CButtonUI::EnsureLoaded(ImageDrawInfo& info) {
  if (info.descriptor.empty()) return false;
  return LoadImageOnce(manager_, info);
}

bool CButtonUI::DrawPart(HDC dc, ImageDrawInfo& info, BYTE fade) {
  if (fade == 255) return DrawImage(dc, manager_, item_, paint_, info);
  if (!EnsureLoaded(info)) return false;
  const BYTE own = info.fade;
  info.fade = static_cast<BYTE>(own * fade / 255);
  const bool drawn = DrawImage(dc, manager_, item_, paint_, info);
  info.fade = own;
  return drawn;
}

bool CButtonUI::DrawFiveStatusPart(HDC dc, int part, BYTE fade) {
  if (!EnsureLoaded(fiveStatus_)) return false;
  const int width = fiveStatus_.image->width / kFiveStatusParts;
  fiveStatus_.source = {part * width, 0, (part + 1) * width, fiveStatus_.image->height};
  fiveStatus_.sourceInPixels = true;
  return DrawPart(dc, fiveStatus_, fade);
}

bool CButtonUI::DrawStateOrNormal(HDC dc, ImageDrawInfo& info, int part, BYTE fade) {
  if (!fiveStatus_.descriptor.empty() && DrawFiveStatusPart(dc, part, fade)) return true;
  return DrawPart(dc, info, fade) || DrawPart(dc, normal_, fade);
}

void CButtonUI::RefreshState() {
  state_ = IsFocused() ? state_ | kStateFocused : state_ & ~kStateFocused;
  state_ = IsEnabled() ? state_ & ~kStateDisabled : state_ | kStateDisabled;
}

void CButtonUI::DrawStateImage(HDC dc) {
  RefreshState();
  DrawButtonState(dc, 0);
}

void CButtonUI::DrawButtonState(HDC dc, UINT hidden) {
  const UINT state = state_ & ~hidden;
  const BYTE fade = fadeDelta_ > 0 ? fadeAlpha_ : 255;
  if (state & kStateDisabled)
    DrawStateOrNormal(dc, disabled_, kPartDisabled);
  else if (state & kStatePushed)
    DrawStateOrNormal(dc, pushed_, kPartPushed);
  else if (state & kStateHot)
    DrawHot(dc);
  else if (state & kStateFocused)
    DrawStateOrNormal(dc, focused_, kPartFocused);
  else
    DrawStateOrNormal(dc, normal_, kPartNormal, fade);
  DrawPart(dc, fore_);
}

void CButtonUI::DrawHot(HDC dc) {
  if (fadeDelta_ > 0) {
    DrawStateOrNormal(dc, normal_, kPartNormal, fadeAlpha_);
    if (!fiveStatus_.descriptor.empty())
      DrawFiveStatusPart(dc, kPartHot, static_cast<BYTE>(255 - fadeAlpha_));
    else
      DrawPart(dc, hot_, static_cast<BYTE>(255 - fadeAlpha_));
  } else {
    DrawStateOrNormal(dc, hot_, kPartHot);
  }
  if (!DrawPart(dc, hotFore_) && hotBkColor_ != 0) DrawColor(dc, paint_, hotBkColor_);
}

void CButtonUI::DrawTextContent(HDC dc) {
  RefreshState();
  DrawButtonText(dc, 0);
}

void CButtonUI::DrawButtonText(HDC dc, UINT hidden) {
  if (text_.empty()) return;
  ResolveDefaultColors();
  const UINT state = state_ & ~hidden;
  DWORD color = IsEnabled() ? GetTextColor() : GetDisabledTextColor();
  if ((state & kStatePushed) && pushedTextColor_)
    color = pushedTextColor_;
  else if ((state & kStateHot) && hotTextColor_)
    color = hotTextColor_;
  else if ((state & kStateFocused) && focusedTextColor_)
    color = focusedTextColor_;
  RECT rc = TextRect();
  int none = 0;
  DrawLabelText(dc, rc, color, GetTextStyle(), nullptr, nullptr, none, -1);
}

// Options.

COptionUI::~COptionUI() {
  if (manager_ && !group_.empty()) manager_->LeaveGroup(group_, this);
}

void* COptionUI::CastTo(const std::wstring& name) { return name == L"Option" ? this : CButtonUI::CastTo(name); }

void COptionUI::AttachManager(CUIManager* manager, CControlUI* parent, bool init) {
  CButtonUI::AttachManager(manager, parent, init);
  if (init && manager_ && !group_.empty()) manager_->JoinGroup(group_, this);
}

void COptionUI::SetGroup(const std::wstring& group) {
  if (group == group_) return;
  if (manager_ && !group_.empty()) manager_->LeaveGroup(group_, this);
  group_ = group;
  if (manager_ && !group_.empty()) manager_->JoinGroup(group_, this);
}

void COptionUI::Selected(bool select, bool send) {
  if (select == selected_) return;
  selected_ = select;
  state_ = selected_ ? state_ | kStateSelected : state_ & ~kStateSelected;
  if (manager_) manager_->RaiseAccessibleEvent(EVENT_OBJECT_STATECHANGE, this);
  if (manager_) {
    if (group_.empty()) {
      if (send) manager_->RaiseNotification(this, L"selectchanged");
    } else if (selected_) {
      DeselectOthers(send);
      if (send) manager_->RaiseNotification(this, L"selectchanged");
    }
  }
  Invalidate();
}

void COptionUI::DeselectOthers(bool send) {
  const std::vector<CControlUI*>* members = manager_->GroupMembers(group_);
  if (!members) return;
  const std::vector<CControlUI*> others = *members;  // deselecting must not disturb the walk
  for (CControlUI* member : others) {
    auto* option = static_cast<COptionUI*>(member->CastTo(L"Option"));
    if (option && option != this) option->Selected(false, send);
  }
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;
  Selected(group_.empty() ? !selected_ : true, true);
  return true;
}

void COptionUI::SetEnabled(bool enabled) {
  CButtonUI::SetEnabled(enabled);
  if (!IsEnabled()) state_ = selected_ ? UINT{kStateSelected} : 0u;
}

void COptionUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group")
    SetGroup(value);
  else if (name == L"selected")
    Selected(Parse::Bool(value), true);
  else if (name == L"selectedimage")
    SetSelectedImage(value);
  else if (name == L"selectedhotimage")
    SetSelectedHotImage(value);
  else if (name == L"foreimage")
    SetImage(optionFore_, value);
  else if (name == L"selectedbkcolor")
    SetSelectedBkColor(Parse::Color(value));
  else if (name == L"selectedtextcolor")
    SetSelectedTextColor(Parse::Color(value));
  else
    CButtonUI::ApplyAttribute(name, value);
}

bool COptionUI::DrawSelected(HDC dc) {
  if ((state_ & kStateHot) && DrawPart(dc, selectedHot_)) return true;
  if (DrawPart(dc, selectedImage_)) return true;
  if (selectedBkColor_ == 0) return false;
  DrawColor(dc, paint_, selectedBkColor_);
  return true;
}

// Options never show a pushed picture: the selected pictures take that role.
void COptionUI::DrawStateImage(HDC dc) {
  RefreshState();
  if (!selected_ || !DrawSelected(dc)) DrawButtonState(dc, kStatePushed);
  DrawPart(dc, optionFore_);
}

void COptionUI::DrawTextContent(HDC dc) {
  RefreshState();
  if (!selected_) {
    DrawButtonText(dc, kStatePushed);
    return;
  }
  if (text_.empty()) return;
  ResolveDefaultColors();
  DWORD color = GetDisabledTextColor();
  if (IsEnabled()) color = selectedTextColor_ ? selectedTextColor_ : GetTextColor();
  RECT rc = TextRect();
  int none = 0;
  DrawLabelText(dc, rc, color, GetTextStyle(), nullptr, nullptr, none, -1);
}

void* CCheckBoxUI::CastTo(const std::wstring& name) { return name == L"CheckBox" ? this : COptionUI::CastTo(name); }

}  // namespace SkinUI
