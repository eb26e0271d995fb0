#include <algorithm>

#include "toolkit/render/UIRenderHost.h"
#include "toolkit/render/UIMsimg.h"
#include "toolkit/render/UIRender.h"
#include "toolkit/skin/UIResource.h"

namespace SkinUI {

namespace {

bool AllZero(const RECT& rc) { return rc.left == 0 && rc.top == 0 && rc.right == 0 && rc.bottom == 0; }

// One key='value' pair at pos; pos moves past it. False on any deviation from the grammar.
bool ReadPair(const std::wstring& text, size_t& pos, std::wstring& key, std::wstring& value) {
  size_t start = pos;
  while (pos < text.size() && text[pos] != L'=' && text[pos] != L' ' && text[pos] != L'\'') ++pos;
  if (pos == start) return false;
  key = text.substr(start, pos - start);
  while (pos < text.size() && text[pos] == L' ') ++pos;
  if (pos >= text.size() || text[pos] != L'=') return false;
  ++pos;
  while (pos < text.size() && text[pos] == L' ') ++pos;
  if (pos >= text.size() || text[pos] != L'\'') return false;
  size_t close = text.find(L'\'', pos + 1);
  if (close == std::wstring::npos) return false;
  value = text.substr(pos + 1, close - pos - 1);
  pos = close + 1;
  return true;
}

void ApplyPair(ImageDrawInfo& info, const std::wstring& key, const std::wstring& value) {
  if (value.empty()) return;
  if (key == L"file" || key == L"res")
    info.name = value;
  else if (key == L"restype")
    info.resType = value;
  else if (key == L"color")
    info.name = value, info.resType = L"*COLOR*";
  else if (key == L"dest")
    Parse::Rect(value, info.dest);
  else if (key == L"source")
    Parse::Rect(value, info.source);
  else if (key == L"corner" || key == L"scale9")
    Parse::Rect(value, info.corner);
  else if (key == L"mask")
    info.mask = Parse::Color(value);
  else if (key == L"fade")
    info.fade = static_cast<BYTE>(std::clamp<long>(Parse::Int(value), 0, 255));
  else if (key == L"hole")
    info.hole = Parse::Bool(value);
  else if (key == L"xtiled")
    info.xTiled = Parse::Bool(value);
  else if (key == L"ytiled")
    info.yTiled = Parse::Bool(value);
  else if (key == L"hsl")
    info.hsl = Parse::Bool(value);
}

bool Meets(const RECT& a, const RECT& b) {
  RECT tmp;
  return IntersectRect(&tmp, &a, &b) != FALSE;
}

// Repeats the source piece across dest along the tiled axes, cutting the last piece.
void DrawTiled(HDC dc, const ImageRecord& image, const RECT& dest, const RECT& source, const RECT& paint, bool xTiled,
               bool yTiled, BYTE fade) {
  const int pieceW = RectWidth(source), pieceH = RectHeight(source);
  for (int y = dest.top; y < dest.bottom; y += yTiled ? pieceH : RectHeight(dest)) {
    const int h = yTiled ? std::min(pieceH, static_cast<int>(dest.bottom - y)) : RectHeight(dest);
    for (int x = dest.left; x < dest.right; x += xTiled ? pieceW : RectWidth(dest)) {
      const int w = xTiled ? std::min(pieceW, static_cast<int>(dest.right - x)) : RectWidth(dest);
      RECT d = {x, y, x + w, y + h};
      RECT s = {source.left, source.top, xTiled ? source.left + w : source.right,
                yTiled ? source.top + h : source.bottom};
      if (Meets(d, paint)) DrawBitmapPiece(dc, image, d, s, fade);
    }
  }
}

void DrawPiece(HDC dc, const ImageRecord& image, const RECT& d, const RECT& s, const RECT& paint, BYTE fade) {
  if (RectEmpty(d) || RectEmpty(s) || !Meets(d, paint)) return;
  DrawBitmapPiece(dc, image, d, s, fade);
}

// C is the corner widths at the destination, SC the same corners in the picture's pixels.
void DrawNineGrid(HDC dc, const ImageDrawInfo& info, const RECT& D, const RECT& S, const RECT& C, const RECT& SC,
                  const RECT& paint) {
  const ImageRecord& image = *info.image;
  const BYTE fade = info.fade;
  const RECT centreD = {D.left + C.left, D.top + C.top, D.right - C.right, D.bottom - C.bottom};
  const RECT centreS = {S.left + SC.left, S.top + SC.top, S.right - SC.right, S.bottom - SC.bottom};
  if (!info.hole && !RectEmpty(centreD) && !RectEmpty(centreS)) {
    if (info.xTiled || info.yTiled)
      DrawTiled(dc, image, centreD, centreS, paint, info.xTiled, info.yTiled, fade);
    else
      DrawPiece(dc, image, centreD, centreS, paint, fade);
  }
  if (AllZero(C)) return;
  // Corners.
  DrawPiece(dc, image, {D.left, D.top, centreD.left, centreD.top}, {S.left, S.top, centreS.left, centreS.top}, paint,
            fade);
  DrawPiece(dc, image, {centreD.right, D.top, D.right, centreD.top}, {centreS.right, S.top, S.right, centreS.top},
            paint, fade);
  DrawPiece(dc, image, {D.left, centreD.bottom, centreD.left, D.bottom},
            {S.left, centreS.bottom, centreS.left, S.bottom}, paint, fade);
  DrawPiece(dc, image, {centreD.right, centreD.bottom, D.right, D.bottom},
            {centreS.right, centreS.bottom, S.right, S.bottom}, paint, fade);
  // Edges.
  DrawPiece(dc, image, {centreD.left, D.top, centreD.right, centreD.top},
            {centreS.left, S.top, centreS.right, centreS.top}, paint, fade);
  DrawPiece(dc, image, {centreD.left, centreD.bottom, centreD.right, D.bottom},
            {centreS.left, centreS.bottom, centreS.right, S.bottom}, paint, fade);
  DrawPiece(dc, image, {D.left, centreD.top, centreD.left, centreD.bottom},
            {S.left, centreS.top, centreS.left, centreS.bottom}, paint, fade);
  DrawPiece(dc, image, {centreD.right, centreD.top, D.right, centreD.bottom},
            {centreS.right, centreS.top, S.right, centreS.bottom}, paint, fade);
}

}  // namespace

// A window that moved to a screen of another density loads the picture again for it.
bool LoadImageOnce(IRenderHost* host, ImageDrawInfo& info) {
  if (info.descriptor.empty()) return false;
  if (info.loadTried && (!host || info.dpi == host->Dpi())) return info.image != nullptr;
  if (!host) return false;
  info.ParseDescriptor();
  info.loadTried = true;
  info.dpi = host->Dpi();
  info.image = host->LookupImage(info.name, info.resType.empty() ? nullptr : info.resType.c_str(), info.mask, info.hsl);
  return info.image != nullptr;
}

void ImageDrawInfo::SetDescriptor(const std::wstring& text) {
  *this = ImageDrawInfo();
  descriptor = text;
}

void ImageDrawInfo::ParseDescriptor() {
  const std::wstring text = descriptor;
  SetDescriptor(text);
  size_t pos = 0;
  std::wstring key, value;
  if (!ReadPair(text, pos, key, value)) {
    name = text;
    return;
  }
  for (;;) {
    ApplyPair(*this, key, value);
    if (pos >= text.size() || text[pos] != L' ') return;
    ++pos;
    if (!ReadPair(text, pos, key, value)) return;
  }
}

void DrawBitmapPiece(HDC dc, const ImageRecord& image, const RECT& dest, const RECT& source, BYTE fade) {
  Scoped::DeleteDC memory(::CreateCompatibleDC(dc));
  if (!memory) return;
  Scoped::SelectObject select(memory.get(), image.bitmap.get());
  const int dw = RectWidth(dest), dh = RectHeight(dest), sw = RectWidth(source), sh = RectHeight(source);
  if (image.hasAlpha || fade != 255) {
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, fade, static_cast<BYTE>(image.hasAlpha ? AC_SRC_ALPHA : 0)};
    DelayedAlphaBlend(dc, dest.left, dest.top, dw, dh, memory.get(), source.left, source.top, sw, sh, blend);
  } else if (dw == sw && dh == sh) {
    ::BitBlt(dc, dest.left, dest.top, dw, dh, memory.get(), source.left, source.top, SRCCOPY);
  } else {
    const int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, dest.left, dest.top, dw, dh, memory.get(), source.left, source.top, sw, sh, SRCCOPY);
    ::SetStretchBltMode(dc, oldMode);
  }
}

bool DrawImage(HDC dc, IRenderHost* host, const RECT& control, const RECT& paint, ImageDrawInfo& info) {
  if (info.descriptor.empty() || !LoadImageOnce(host, info)) return false;
  const ImageRecord& image = *info.image;
  RECT source = {0, 0, image.width, image.height};
  if (!AllZero(info.source)) source = info.sourceInPixels ? info.source : ScaleByDpi(info.source, image.dpi);
  source.right = std::min<LONG>(source.right, image.width);
  source.bottom = std::min<LONG>(source.bottom, image.height);
  RECT dest = control;
  if (!AllZero(info.dest)) {
    const RECT d = info.destInPixels ? info.dest : ScaleByDpi(info.dest, host->Dpi());
    dest = {control.left + d.left, control.top + d.top, std::min<LONG>(control.right, control.left + d.right),
            std::min<LONG>(control.bottom, control.top + d.bottom)};
  }
  if (!Meets(dest, control) || !Meets(dest, paint)) return true;
  DrawNineGrid(dc, info, dest, source, ScaleByDpi(info.corner, host->Dpi()), ScaleByDpi(info.corner, image.dpi), paint);
  return true;
}

}  // namespace SkinUI
