#include "toolkit/controls/UIProgress.h"

#include <algorithm>
#include <utility>

#include "toolkit/core/UIManager.h"

namespace SkinUI {

void* CProgressUI::CastTo(const std::wstring& name) { return name == L"Progress" ? this : CLabelUI::CastTo(name); }

void CProgressUI::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  Invalidate();
}

void CProgressUI::SetMinValue(int value) {
  min_ = value;
  Invalidate();
}

void CProgressUI::SetMaxValue(int value) {
  max_ = value;
  Invalidate();
}

void CProgressUI::SetValue(int value) {
  const int old = std::exchange(value_, max_ > min_ ? std::clamp(value, min_, max_) : min_);
  if (value_ != old && manager_) manager_->RaiseAccessibleEvent(EVENT_OBJECT_VALUECHANGE, this);
  Invalidate();
}

void CProgressUI::SetForeImage(const std::wstring& descriptor) {
  if (descriptor == fore_.descriptor && fore_.image) return;
  fore_.SetDescriptor(descriptor);
  Invalidate();
}

void CProgressUI::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"foreimage")
    SetForeImage(value);
  else if (name == L"hor")
    SetHorizontal(Parse::Bool(value));
  else if (name == L"min")
    SetMinValue(Parse::Int(value));
  else if (name == L"max")
    SetMaxValue(Parse::Int(value));
  else if (name == L"value")
    SetValue(Parse::Int(value));
  else
    CLabelUI::ApplyAttribute(name, value);
}

void CProgressUI::RepairRange() {
  if (max_ <= min_) max_ = min_ + 1;
  value_ = std::clamp(value_, min_, max_);
}

// 64-bit products: a wide control times a wide range must not overflow.
RECT CProgressUI::FillRect() {
  RepairRange();
  const long long range = static_cast<long long>(max_) - min_;
  const long long width = GetWidth(), height = GetHeight();
  if (horizontal_)
    return {0, 0, static_cast<LONG>(width * (value_ - static_cast<long long>(min_)) / range),
            static_cast<LONG>(height)};
  return {0, static_cast<LONG>(height * (max_ - static_cast<long long>(value_)) / range), static_cast<LONG>(width),
          static_cast<LONG>(height)};
}

void CProgressUI::DrawStateImage(HDC dc) {
  if (fore_.descriptor.empty()) return;
  const RECT fill = FillRect();
  if (RectEmpty(fill)) return;
  // Loading parses the descriptor afresh, which would reset the destination set below.
  if (!LoadImageOnce(manager_, fore_)) return;
  fore_.dest = fill;
  fore_.destInPixels = true;
  DrawImage(dc, manager_, item_, paint_, fore_);
}

}  // namespace SkinUI
