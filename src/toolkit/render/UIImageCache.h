#pragma once

// A window's pictures by the name the skin gave them: its own table over the process-wide one, each
// picture loaded for the window's density (two windows on screens of different density share none).

#include <windows.h>

#include <string>

#include "toolkit/render/UIRenderHost.h"
#include "toolkit/skin/UIResource.h"

namespace SkinUI {

class CImageCache {
 public:
  // host gives the density pictures are loaded for.
  explicit CImageCache(const IRenderHost& host) : host_(host) {}
  CImageCache(const CImageCache&) = delete;
  CImageCache& operator=(const CImageCache&) = delete;

  // Loads the picture again; shared: into the process-wide table. adjust keeps the loaded pixels for
  // colour adjustment.
  ImageRecord* Cache(const std::wstring& name, const wchar_t* type, DWORD mask, bool shared, bool adjust);
  ImageRecord* Cached(const std::wstring& name) const;
  // The cached picture, else loaded into the table shared says.
  ImageRecord* Lookup(const std::wstring& name, const wchar_t* type, DWORD mask, bool adjust, bool shared);
  bool Holds(const ImageRecord* image) const { return images_.Holds(image) || SharedImages().Holds(image); }

 private:
  std::wstring Key(const std::wstring& name) const;

  const IRenderHost& host_;
  CImageTable images_;
};

}  // namespace SkinUI
