#pragma once

// Drawing primitives of the toolkit: image descriptors and nine-grid image drawing, solid and
// gradient fills with alpha, lines and rectangles, and plain text. Rectangles are client
// coordinates of the window being painted; colours are 0xAARRGGBB.

#include <windows.h>

#include <string>

#include "base/Scoped.h"
#include "toolkit/skin/UIValues.h"

namespace SkinUI {

class CControlUI;
class IRenderHost;
struct ImageRecord;

struct ImageDrawInfo {
  std::wstring descriptor;
  std::wstring name;
  std::wstring resType;          // empty: a skin file
  ImageRecord* image = nullptr;  // owned by an image table
  // dest and corner are 96-DPI units of the control, source is pixels of the 1x picture, as the skin
  // writes them; drawing scales them. A control that computes a rectangle in pixels says so.
  RECT dest = {0, 0, 0, 0};
  RECT source = {0, 0, 0, 0};
  RECT corner = {0, 0, 0, 0};
  bool destInPixels = false;
  bool sourceInPixels = false;
  int dpi = 0;  // the density the picture was loaded for
  DWORD mask = 0;
  BYTE fade = 255;
  bool hole = false;
  bool xTiled = false;
  bool yTiled = false;
  bool hsl = false;
  bool loadTried = false;

  // Clears everything that came from the previous descriptor.
  void SetDescriptor(const std::wstring& text);
  // Reads the key='value' pairs (or a bare name); stops quietly at the first malformed pair.
  void ParseDescriptor();
};

bool DrawImage(HDC dc, IRenderHost* host, const RECT& control, const RECT& paint, ImageDrawInfo& info);
// Parses and loads the picture for the host's density, once per density; false without one.
bool LoadImageOnce(IRenderHost* host, ImageDrawInfo& info);
// Draws one piece of a bitmap: alpha blending when needed, else a plain or stretched copy.
void DrawBitmapPiece(HDC dc, const ImageRecord& image, const RECT& dest, const RECT& source, BYTE fade);

void DrawColor(HDC dc, const RECT& rc, DWORD color);
void DrawGradient(HDC dc, const RECT& rc, DWORD color1, DWORD color2, bool vertical, int steps);
void DrawLine(HDC dc, const RECT& rc, int width, DWORD color, int style = PS_SOLID);
void DrawRect(HDC dc, const RECT& rc, int width, DWORD color, int style = PS_SOLID);
void DrawRoundRect(HDC dc, const RECT& rc, int width, int ellipseWidth, int ellipseHeight, DWORD color,
                   int style = PS_SOLID);
void DrawText(HDC dc, IRenderHost* host, RECT& rc, const std::wstring& text, DWORD color, int font, UINT style);

// The width text takes on screen in font. Letters that join (Arabic) are measured as drawn: under Wine
// the extent functions and DrawText's own measure add up the unjoined forms, which are wider.
int DrawnTextWidth(HFONT font, const wchar_t* text, int length);

// The window's tree painted into a new 32-bit bitmap of rc's size, over the background colour (alpha 0:
// left black), stopping when the paint reaches stop (which is not painted).
Scoped::DeleteObject<HBITMAP> GenerateBitmap(IRenderHost* host, const RECT& rc, CControlUI* stop, DWORD background);

// Marked-up text: "{b}", "{c #FFFF0000}", "{a target}" ... (or the same tags in angle brackets).
// links/targets receive the rectangles and targets of the links drawn; linkCount holds their capacity
// on entry and the number used on return. With DT_CALCRECT nothing is drawn and rc shrinks to the
// extent the text uses. hoverLink is the index of the link under the mouse (-1: none).
void DrawMarkupText(HDC dc, IRenderHost* host, RECT& rc, const std::wstring& text, DWORD color, RECT* links,
                    std::wstring* targets, int& linkCount, int font, UINT style, int hoverLink = -1);

// Windows' high-contrast setting (SPI_GETHIGHCONTRAST), read through this one place so that a test can
// give the answer: Wine cannot turn the setting on. answer -1 asks Windows again.
bool IsHighContrastOn();
void SetHighContrastAnswer(int answer);
// A system colour (GetSysColor) as an opaque ARGB value.
DWORD SystemColor(int index);

inline COLORREF ToColorRef(DWORD argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

}  // namespace SkinUI
