#include "toolkit/core/UIManager.h"

// The manager's fonts and pictures: its tables do the work, the skin builder's switch to the
// process-wide tables (SetForceShared) applies here.

namespace SkinUI {

HFONT CUIManager::AddFont(int id, const std::wstring& face, int size, bool bold, bool underline, bool italic,
                          bool shared) {
  return fonts_.Add(id, face, size, bold, underline, italic, shared || forceShared_);
}

const FontInfo* CUIManager::FindFont(int id) const { return fonts_.Find(id); }

const FontInfo* CUIManager::GetFontInfo(int id) const {
  const FontInfo* info = fonts_.Find(id);
  return info ? info : fonts_.Default();
}

HFONT CUIManager::GetFont(int id) const {
  const FontInfo* info = GetFontInfo(id);
  return info ? info->font.get() : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

void CUIManager::SetDefaultFontSpec(const std::wstring& face, int size, bool bold, bool underline, bool italic,
                                    bool shared) {
  fonts_.SetDefault(face, size, bold, underline, italic, shared);
}

const FontInfo* CUIManager::DefaultFontInfo() const { return fonts_.Default(); }

const FontInfo* CUIManager::DerivedFont(const std::wstring& face, int size, bool bold, bool underline, bool italic) {
  return fonts_.Derived(face, size, bold, underline, italic, forceShared_);
}

ImageRecord* CUIManager::CachedImage(const std::wstring& name) const { return images_.Cached(name); }

ImageRecord* CUIManager::CacheImage(const std::wstring& name, const wchar_t* type, DWORD mask, bool shared,
                                    bool adjust) {
  return images_.Cache(name, type, mask, shared || forceShared_, adjust);
}

ImageRecord* CUIManager::LookupImage(const std::wstring& name, const wchar_t* type, DWORD mask, bool adjust) {
  return images_.Lookup(name, type, mask, adjust, forceShared_);
}

}  // namespace SkinUI
