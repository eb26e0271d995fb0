#pragma once

// The progress bar: a foreground picture drawn over the part of the control that the value fills,
// from the left (horizontal) or from the bottom (vertical).

#include <string>

#include "toolkit/controls/UILabel.h"

namespace SkinUI {

class CProgressUI : public CLabelUI {
 public:
  CProgressUI() = default;
  const wchar_t* ClassName() const override { return L"Progress"; }
  void* CastTo(const std::wstring& name) override;
  UINT ControlFlags() const override { return 0; }
  long AccessibleRole() const override;
  std::wstring AccessibleText() const override { return std::wstring(); }
  std::wstring AccessibleValue(bool rightToLeft) const override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void DrawStateImage(HDC dc) override;
  void DrawInSystemColors(HDC dc) override;

  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal = true);
  int GetMinValue() const { return min_; }
  void SetMinValue(int value);
  int GetMaxValue() const { return max_; }
  void SetMaxValue(int value);
  int GetValue() const { return value_; }
  void SetValue(int value);
  void SetForeImage(const std::wstring& descriptor);
  // The filled part relative to the control's top-left corner, for the current size and value.
  RECT FillRect();

 private:
  // A range with max <= min cannot divide; it becomes one unit wide.
  void RepairRange();

  bool horizontal_ = true;
  int min_ = 0, max_ = 100, value_ = 0;
  ImageDrawInfo fore_;
};

}  // namespace SkinUI
