#pragma once

// Where skin files and pictures come from: the process-wide resource state (module, skin folder,
// skin archive on disk or in memory), the image loader and the image tables that cache pictures
// by the name the skin gave them. Used from the UI thread only.

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Scoped.h"

namespace SkinUI {

class CZipArchive;

// Largest picture the loader accepts; beyond either limit a forged header could exhaust memory.
constexpr int kMaxImageSide = 16384;
constexpr uint64_t kMaxImageBytes = 256ull * 1024 * 1024;

struct ImageRecord {
  Scoped::DeleteObject<HBITMAP> bitmap;  // 32-bit top-down DIB section
  uint32_t* pixels = nullptr;            // premultiplied 0xAARRGGBB, owned by the bitmap
  int width = 0;
  int height = 0;
  bool hasAlpha = false;
  std::vector<uint32_t> original;  // the pixels as loaded, kept for colour adjustment
  std::wstring resourceType;
  DWORD mask = 0;
  int dpi = 96;  // the screen density the pixels are made for: 96 is the skin's own units
};
using ImagePtr = std::unique_ptr<ImageRecord>;

// Image name to record. A name registered again points at the new record, but the old one lives on
// with the table: controls drawn from it keep a plain pointer (a second window whose skin shares the
// picture, an included page with its own <Image> made twice) and must never find it freed.
class CImageTable {
 public:
  ImageRecord* Find(const std::wstring& name) const;
  ImageRecord* Insert(const std::wstring& name, ImagePtr image);
  void Clear();
  size_t Size() const { return images_.size(); }
  // Whether the record is alive in this table, current or replaced.
  bool Holds(const ImageRecord* image) const;

 private:
  std::map<std::wstring, ImagePtr> images_;
  std::vector<ImagePtr> retired_;
};

CImageTable& SharedImages();

namespace Resource {

void SetModuleInstance(HINSTANCE instance);
HINSTANCE ModuleInstance();
std::wstring ModuleFolder();
void SetSkinPath(const std::wstring& path);
std::wstring SkinPath();
std::wstring SkinZipName();
bool CachesArchive();

void UseSkinArchive(const std::wstring& zipName, bool cache);
// Keeps a literal name from choosing the memory form below.
inline void UseSkinArchive(const wchar_t* zipName, bool cache) { UseSkinArchive(std::wstring(zipName), cache); }
// The bytes are not copied and must outlive the archive.
void UseSkinArchive(const void* data, size_t size);
// Forgets the archive and the settings; for tests that set the state up more than once.
void Reset();

// The archive kept open for skin lookups; null when none is open or archives are not cached.
const CZipArchive* OpenArchive();
// Reads a skin file by its skin name: from the loose skin folder or from the skin archive.
bool ReadSkinFile(const std::wstring& name, std::vector<unsigned char>& bytes);
// Reads a whole file (shared reading); an empty file or a short read fails.
bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes);

}  // namespace Resource

// Turns encoded picture bytes into a premultiplied bitmap; pixels whose 0xAARRGGBB value equals
// mask become transparent. Null on any failure, including pictures beyond the size limits.
ImagePtr DecodeImage(const unsigned char* data, size_t size, DWORD mask);
// A 1 x 1 picture of the colour written in text (hexadecimal ARGB, optional "#").
ImagePtr MakeColorImage(const std::wstring& text);
ImagePtr MakeImage(int width, int height);

// Loads a picture by its skin name. type: nullptr for skin files, "*COLOR*" for a colour, else a
// resource type of the module (resourceId non-zero looks the resource up by number).
ImagePtr LoadSkinImage(const std::wstring& name, const wchar_t* type, DWORD mask, UINT resourceId = 0);
// The same picture for a window of the given density: the skin's nearest scale variant at or above it
// ("name@1.5x.png", "name@2x.png"), else the nearest below, resampled to exactly that density.
ImagePtr LoadSkinImageForDpi(const std::wstring& name, const wchar_t* type, DWORD mask, UINT resourceId, int dpi);
// The picture resampled to width x height (averaging when shrinking, interpolating when growing).
ImagePtr ResampleImage(const ImageRecord& source, int width, int height);

}  // namespace SkinUI
