#include "toolkit/render/UIFontTable.h"

#include <cwchar>

namespace SkinUI {

namespace {

using FontTable = std::map<std::wstring, std::unique_ptr<FontInfo>>;

FontTable& SharedFonts() {
  static FontTable fonts;
  return fonts;
}

std::unique_ptr<FontInfo> MakeFont(const std::wstring& face, int size, bool bold, bool underline, bool italic,
                                   int dpi = kBaseDpi) {
  LOGFONTW lf = {};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  if (!face.empty()) {
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
  }
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfHeight = -ScaleByDpi(size, dpi);
  if (bold) lf.lfWeight += FW_BOLD;
  lf.lfUnderline = underline;
  lf.lfItalic = italic;
  auto info = std::make_unique<FontInfo>();
  info->font.reset(::CreateFontIndirectW(&lf));
  if (!info->font) return nullptr;
  info->face = lf.lfFaceName;
  info->size = size;
  info->bold = bold;
  info->underline = underline;
  info->italic = italic;
  info->dpi = dpi;
  return info;
}

std::unique_ptr<FontInfo> RemakeFont(const FontInfo& info, int dpi) {
  return MakeFont(info.face, info.size, info.bold, info.underline, info.italic, dpi);
}

// Metrics come from the paint context when there is one; a manager without a window (measuring only)
// still needs them for line heights, so a scratch context stands in.
void ReadMetrics(HDC dc, FontInfo& info) {
  Scoped::DeleteDC scratch;
  if (!dc) {
    scratch.reset(::CreateCompatibleDC(nullptr));
    dc = scratch.get();
  }
  Scoped::SelectObject select(dc, info.font.get());
  ::GetTextMetricsW(dc, &info.metrics);
}

std::unique_ptr<FontInfo>& SharedDefaultFont() {
  static std::unique_ptr<FontInfo> font;
  if (!font) {
    LOGFONTW lf = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    font = MakeFont(lf.lfFaceName, lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight, false, false, false);
  }
  return font;
}

}  // namespace

HFONT CFontTable::Add(int id, const std::wstring& face, int size, bool bold, bool underline, bool italic, bool shared) {
  std::unique_ptr<FontInfo> info = MakeFont(face, size, bold, underline, italic, host_.Dpi());
  if (!info) return nullptr;
  ReadMetrics(host_.PaintContext(), *info);
  HFONT font = info->font.get();
  const std::wstring key = std::to_wstring(id);
  FontTable& table = shared ? SharedFonts() : fonts_;
  table[key] = std::move(info);
  sharedAtDpi_.erase(key);
  return font;
}

// A process-wide font belongs to the density of the window that made it; another window uses a copy
// made at its own.
const FontInfo* CFontTable::AtOwnDpi(const std::wstring& key, const FontInfo* shared) const {
  const int dpi = host_.Dpi();
  if (!shared || shared->dpi == dpi) return shared;
  std::unique_ptr<FontInfo>& copy = sharedAtDpi_[key];
  if (!copy || copy->dpi != dpi || copy->face != shared->face || copy->size != shared->size) {
    copy = RemakeFont(*shared, dpi);
    if (!copy) return shared;
    ReadMetrics(host_.PaintContext(), *copy);
  }
  return copy.get();
}

void CFontTable::Rebuild() {
  const int dpi = host_.Dpi();
  for (auto& entry : fonts_) {
    if (!entry.second || entry.second->dpi == dpi) continue;
    if (std::unique_ptr<FontInfo> remade = RemakeFont(*entry.second, dpi)) {
      ReadMetrics(host_.PaintContext(), *remade);
      entry.second = std::move(remade);
    }
  }
  if (defaultFont_ && defaultFont_->dpi != dpi) {
    if (std::unique_ptr<FontInfo> remade = RemakeFont(*defaultFont_, dpi)) {
      ReadMetrics(host_.PaintContext(), *remade);
      defaultFont_ = std::move(remade);
    }
  }
  sharedAtDpi_.clear();
}

const FontInfo* CFontTable::Find(int id) const {
  const std::wstring key = std::to_wstring(id);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second.get();
  it = SharedFonts().find(key);
  return it == SharedFonts().end() ? nullptr : AtOwnDpi(key, it->second.get());
}

void CFontTable::SetDefault(const std::wstring& face, int size, bool bold, bool underline, bool italic, bool shared) {
  std::unique_ptr<FontInfo> info = MakeFont(face, size, bold, underline, italic, host_.Dpi());
  if (!info) return;
  ReadMetrics(host_.PaintContext(), *info);
  (shared ? SharedDefaultFont() : defaultFont_) = std::move(info);
  sharedAtDpi_.erase(L"default");
}

const FontInfo* CFontTable::Default() const {
  if (defaultFont_) return defaultFont_.get();
  std::unique_ptr<FontInfo>& shared = SharedDefaultFont();
  if (shared && shared->metrics.tmHeight == 0) ReadMetrics(host_.PaintContext(), *shared);
  return AtOwnDpi(L"default", shared.get());
}

const FontInfo* CFontTable::Derived(const std::wstring& face, int size, bool bold, bool underline, bool italic,
                                    bool shared) {
  const std::wstring key =
      face + L"|" + std::to_wstring(size) + (bold ? L"b" : L"") + (underline ? L"u" : L"") + (italic ? L"i" : L"");
  auto it = derivedFonts_.find(key);
  if (it != derivedFonts_.end()) {
    if (const FontInfo* info = Find(it->second)) return info;
  }
  const int id = nextDerivedFont_++;
  if (!Add(id, face, size, bold, underline, italic, shared)) return nullptr;
  derivedFonts_[key] = id;
  return Find(id);
}

}  // namespace SkinUI
