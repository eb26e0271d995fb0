#include "toolkit/render/UIRender.h"

#include "toolkit/render/UIRenderHost.h"
#include "toolkit/skin/UIResource.h"
#include "toolkit/render/UIMsimg.h"
#include "base/Scoped.h"

namespace SkinUI {

namespace {

BYTE Alpha(DWORD color) { return static_cast<BYTE>(color >> 24); }

// A 32-bit top-down DIB section in its own memory device context.
struct PixelCanvas {
  Scoped::DeleteDC dc;
  Scoped::DeleteObject<HBITMAP> bitmap;
  uint32_t* pixels = nullptr;
  HGDIOBJ previous = nullptr;

  PixelCanvas(HDC reference, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    bitmap.reset(::CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc.reset(::CreateCompatibleDC(reference));
    pixels = static_cast<uint32_t*>(bits);
    if (dc && bitmap) previous = ::SelectObject(dc.get(), bitmap.get());
  }
  ~PixelCanvas() {
    if (previous) ::SelectObject(dc.get(), previous);
  }
  PixelCanvas(const PixelCanvas&) = delete;
  PixelCanvas& operator=(const PixelCanvas&) = delete;
  bool Ok() const { return previous != nullptr && pixels != nullptr; }
};

void FillOpaque(HDC dc, const RECT& rc, DWORD color) {
  COLORREF old = ::SetBkColor(dc, ToColorRef(color));
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
  ::SetBkColor(dc, old);
}

void GradientInto(HDC dc, const RECT& rc, DWORD color1, DWORD color2, bool vertical) {
  TRIVERTEX vertices[2] = {};
  vertices[0] = {rc.left,
                 rc.top,
                 static_cast<COLOR16>(((color1 >> 16) & 0xFF) << 8),
                 static_cast<COLOR16>(((color1 >> 8) & 0xFF) << 8),
                 static_cast<COLOR16>((color1 & 0xFF) << 8),
                 0};
  vertices[1] = {rc.right,
                 rc.bottom,
                 static_cast<COLOR16>(((color2 >> 16) & 0xFF) << 8),
                 static_cast<COLOR16>(((color2 >> 8) & 0xFF) << 8),
                 static_cast<COLOR16>((color2 & 0xFF) << 8),
                 0};
  GRADIENT_RECT rect = {0, 1};
  DelayedGradientFill(dc, vertices, 2, &rect, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

// A pen of the colour (alpha ignored) selected for the life of the object, with a hollow brush.
class PenScope {
 public:
  PenScope(HDC dc, int width, DWORD color, int style)
      : pen_(::CreatePen(style, width, ToColorRef(color))),
        pen(dc, pen_.get()),
        brush(dc, ::GetStockObject(HOLLOW_BRUSH)) {}

 private:
  Scoped::DeleteObject<HPEN> pen_;
  Scoped::SelectObject pen;
  Scoped::SelectObject brush;
};

}  // namespace

void DrawColor(HDC dc, const RECT& rc, DWORD color) {
  const BYTE alpha = Alpha(color);
  if (alpha == 0 || RectEmpty(rc)) return;
  if (alpha == 0xFF) {
    FillOpaque(dc, rc, color);
    return;
  }
  PixelCanvas pixel(dc, 1, 1);
  if (!pixel.Ok()) return;
  const DWORD r = ((color >> 16) & 0xFF) * alpha / 255, g = ((color >> 8) & 0xFF) * alpha / 255,
              b = (color & 0xFF) * alpha / 255;
  pixel.pixels[0] = (static_cast<DWORD>(alpha) << 24) | (r << 16) | (g << 8) | b;
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  DelayedAlphaBlend(dc, rc.left, rc.top, RectWidth(rc), RectHeight(rc), pixel.dc.get(), 0, 0, 1, 1, blend);
}

void DrawGradient(HDC dc, const RECT& rc, DWORD color1, DWORD color2, bool vertical, int steps) {
  const int alpha = (Alpha(color1) + Alpha(color2)) / 2;
  if (alpha == 0 || RectEmpty(rc)) return;
  if (alpha == 0xFF) {
    GradientInto(dc, rc, color1, color2, vertical);
    return;
  }
  PixelCanvas canvas(dc, RectWidth(rc), RectHeight(rc));
  if (!canvas.Ok()) return;
  GradientInto(canvas.dc.get(), {0, 0, RectWidth(rc), RectHeight(rc)}, color1, color2, vertical);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(alpha), 0};
  DelayedAlphaBlend(dc, rc.left, rc.top, RectWidth(rc), RectHeight(rc), canvas.dc.get(), 0, 0, RectWidth(rc),
                    RectHeight(rc), blend);
}

void DrawLine(HDC dc, const RECT& rc, int width, DWORD color, int style) {
  PenScope pen(dc, width, color, style);
  ::MoveToEx(dc, rc.left, rc.top, nullptr);
  ::LineTo(dc, rc.right, rc.bottom);
}

void DrawRect(HDC dc, const RECT& rc, int width, DWORD color, int style) {
  PenScope pen(dc, width, color, style);
  ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
}

void DrawRoundRect(HDC dc, const RECT& rc, int width, int ellipseWidth, int ellipseHeight, DWORD color, int style) {
  PenScope pen(dc, width, color, style);
  ::RoundRect(dc, rc.left, rc.top, rc.right, rc.bottom, ellipseWidth, ellipseHeight);
}

namespace {

// Scripts whose letters change shape with their neighbours (Arabic, Syriac, Thaana, N'Ko and their
// presentation forms); Hebrew and Latin letters keep their widths.
bool HasJoiningLetters(const wchar_t* text, int length) {
  for (int i = 0; i < length; ++i) {
    const wchar_t c = text[i];
    if ((c >= 0x0600 && c <= 0x08FF) || (c >= 0xFB50 && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF)) return true;
  }
  return false;
}

// One line of joining letters placed as drawn: DrawText would place it by its unjoined width (under
// Wine), off centre or short of the right edge. Returns false when DrawText may place it itself.
bool PlaceJoinedLine(HDC dc, HFONT font, RECT& rc, const std::wstring& text, UINT& style) {
  if (!(style & DT_SINGLELINE) || !HasJoiningLetters(text.c_str(), static_cast<int>(text.size()))) return false;
  const int width = DrawnTextWidth(font, text.c_str(), static_cast<int>(text.size()));
  if (style & DT_CALCRECT) {
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, style | DT_NOPREFIX);
    rc.right = rc.left + width;
    return true;
  }
  const int spare = RectWidth(rc) - width;
  if (spare < 0 || !(style & (DT_CENTER | DT_RIGHT))) return false;
  RECT placed = rc;
  placed.left += (style & DT_CENTER) ? spare / 2 : spare;
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &placed,
              (style & ~(DT_CENTER | DT_RIGHT)) | DT_NOPREFIX);
  return true;
}

}  // namespace

int DrawnTextWidth(HFONT font, const wchar_t* text, int length) {
  Scoped::DeleteDC scratch(::CreateCompatibleDC(nullptr));
  if (!scratch || length <= 0) return 0;
  Scoped::SelectObject select(scratch.get(), font);
  if (!HasJoiningLetters(text, length)) {
    SIZE size = {0, 0};
    ::GetTextExtentPoint32W(scratch.get(), text, length, &size);
    return size.cx;
  }
  // The pen moves by what TextOut drew; the scratch context's 1 x 1 bitmap keeps the drawing away.
  ::SetTextAlign(scratch.get(), TA_UPDATECP);
  ::MoveToEx(scratch.get(), 0, 0, nullptr);
  ::TextOutW(scratch.get(), 0, 0, text, length);
  POINT pen = {0, 0};
  ::GetCurrentPositionEx(scratch.get(), &pen);
  return pen.x;
}

void DrawText(HDC dc, IRenderHost* host, RECT& rc, const std::wstring& text, DWORD color, int font, UINT style) {
  if (text.empty() || !host) return;
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = ::SetTextColor(dc, ToColorRef(color));
  {
    HFONT handle = host->GetFont(font);
    Scoped::SelectObject selectFont(dc, handle);
    const std::wstring expanded = MultiLanguage::Expand(text);
    if (!PlaceJoinedLine(dc, handle, rc, expanded, style))
      ::DrawTextW(dc, expanded.c_str(), static_cast<int>(expanded.size()), &rc, style | DT_NOPREFIX);
  }
  ::SetTextColor(dc, oldColor);
  ::SetBkMode(dc, oldMode);
}

Scoped::DeleteObject<HBITMAP> GenerateBitmap(IRenderHost* host, const RECT& rc, CControlUI* stop, DWORD background) {
  Scoped::DeleteObject<HBITMAP> result;
  if (!host || !host->GetRoot() || RectEmpty(rc)) return result;
  PixelCanvas canvas(host->PaintContext(), RectWidth(rc), RectHeight(rc));
  if (!canvas.Ok()) return result;
  ::SetWindowOrgEx(canvas.dc.get(), rc.left, rc.top, nullptr);
  DrawColor(canvas.dc.get(), rc, background);
  host->PaintTree(canvas.dc.get(), rc, stop);
  ::SelectObject(canvas.dc.get(), canvas.previous);
  canvas.previous = nullptr;
  result = std::move(canvas.bitmap);
  return result;
}

}  // namespace SkinUI
