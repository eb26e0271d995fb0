// Windows' high-contrast setting and the user's system colours, read in one place.

#include <windows.h>

#include <atomic>

#include "toolkit/render/UIRender.h"

namespace SkinUI {

namespace {

std::atomic<int> highContrastAnswer{-1};

}  // namespace

bool IsHighContrastOn() {
  const int answer = highContrastAnswer.load();
  if (answer >= 0) return answer != 0;
  HIGHCONTRASTW setting = {sizeof(setting)};
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0) &&
         (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void SetHighContrastAnswer(int answer) { highContrastAnswer = answer; }

DWORD SystemColor(int index) {
  const COLORREF c = ::GetSysColor(index);
  return 0xFF000000 | (static_cast<DWORD>(GetRValue(c)) << 16) | (static_cast<DWORD>(GetGValue(c)) << 8) | GetBValue(c);
}

}  // namespace SkinUI
