#include "toolkit/render/UIImageCache.h"

#include <cwctype>

namespace SkinUI {

std::wstring CImageCache::Key(const std::wstring& name) const {
  const int dpi = host_.Dpi();
  return dpi == kBaseDpi ? name : name + L"|" + std::to_wstring(dpi);
}

ImageRecord* CImageCache::Cached(const std::wstring& name) const {
  const std::wstring key = Key(name);
  ImageRecord* image = images_.Find(key);
  return image ? image : SharedImages().Find(key);
}

ImageRecord* CImageCache::Cache(const std::wstring& name, const wchar_t* type, DWORD mask, bool shared, bool adjust) {
  if (name.empty()) return nullptr;
  const UINT id = (type && iswdigit(name[0])) ? static_cast<UINT>(Parse::Int(name)) : 0;
  ImagePtr image = LoadSkinImageForDpi(name, type, mask, id, host_.Dpi());
  if (!image) return nullptr;
  image->resourceType = type ? type : L"";
  image->mask = mask;
  if (adjust) image->original.assign(image->pixels, image->pixels + image->width * image->height);
  CImageTable& table = shared ? SharedImages() : images_;
  return table.Insert(Key(name), std::move(image));
}

ImageRecord* CImageCache::Lookup(const std::wstring& name, const wchar_t* type, DWORD mask, bool adjust, bool shared) {
  if (ImageRecord* image = Cached(name)) return image;
  return Cache(name, type, mask, shared, adjust);
}

}  // namespace SkinUI
