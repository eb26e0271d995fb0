#pragma once

// What drawing asks of the window it draws for: its density, fonts, pictures and colours, and its
// control tree painted somewhere else. The window's manager answers; drawing never sees the manager
// itself, so the painter sits below the tree it paints.

#include <windows.h>

#include <string>

#include "base/Scoped.h"
#include "toolkit/skin/UIValues.h"

namespace SkinUI {

class CControlUI;
struct ImageRecord;

struct FontInfo {
  Scoped::DeleteObject<HFONT> font;
  std::wstring face;
  int size = 0;  // in 96-DPI units; the font itself is made for dpi
  int dpi = kBaseDpi;
  bool bold = false, underline = false, italic = false;
  TEXTMETRICW metrics = {};
};

enum DefaultColor { kDisabledColor, kTextColor, kLinkColor, kLinkHoverColor, kSelectedColor, kColorCount };

class IRenderHost {
 public:
  virtual int Dpi() const = 0;
  virtual HDC PaintContext() const = 0;
  virtual HFONT GetFont(int id) const = 0;
  // The font with that id, else the default font.
  virtual const FontInfo* GetFontInfo(int id) const = 0;
  // A font of this exact form, made on first need.
  virtual const FontInfo* DerivedFont(const std::wstring& face, int size, bool bold, bool underline, bool italic) = 0;
  // The picture by its skin name, loaded for the host's density on first need; null when it cannot be.
  virtual ImageRecord* LookupImage(const std::wstring& name, const wchar_t* type, DWORD mask, bool adjust = false) = 0;
  virtual DWORD GetDefaultColor(DefaultColor which) const = 0;
  // High contrast: draw with the system's colours instead of the skin's.
  virtual bool UsesSystemColors() const = 0;
  virtual CControlUI* GetRoot() const = 0;
  // The tree painted into dc over rc, stopping when the paint reaches stop (which is not painted).
  virtual void PaintTree(HDC dc, const RECT& rc, CControlUI* stop) = 0;

 protected:
  ~IRenderHost() = default;
};

}  // namespace SkinUI
