// The one translation unit that compiles the picture decoder.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 16384
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmisleading-indentation"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <climits>

#include "log/Log.h"
#include "toolkit/skin/UIValues.h"
#include "toolkit/skin/UIResource.h"
#include "base/ModuleResource.h"

namespace SkinUI {

namespace {

struct StbFree {
  void operator()(unsigned char* p) const { stbi_image_free(p); }
};

bool SizeAcceptable(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 <= kMaxImageBytes;
}

// Premultiplies one RGBA pixel into 0xAARRGGBB; reports whether it is not fully opaque.
uint32_t Premultiply(const unsigned char* rgba, bool& translucent) {
  uint32_t r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3];
  if (a != 255) {
    translucent = true;
    r = r * a / 255;
    g = g * a / 255;
    b = b * a / 255;
  }
  return (a << 24) | (r << 16) | (g << 8) | b;
}

bool ResourceBytes(const std::wstring& name, const wchar_t* type, UINT id, std::vector<unsigned char>& bytes) {
  return Base::CopyModuleResource(Resource::ModuleInstance(), id ? MAKEINTRESOURCEW(id) : name.c_str(), type, bytes);
}

}  // namespace

ImagePtr MakeImage(int width, int height) {
  if (!SizeAcceptable(width, height)) return nullptr;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  auto image = std::make_unique<ImageRecord>();
  image->bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!image->bitmap || !bits) return nullptr;
  image->pixels = static_cast<uint32_t*>(bits);
  image->width = width;
  image->height = height;
  return image;
}

ImagePtr DecodeImage(const unsigned char* data, size_t size, DWORD mask) {
  if (!data || size == 0 || size > INT_MAX) return nullptr;
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels)) return nullptr;
  if (!SizeAcceptable(width, height)) {
    LOG_INFO("ERR: picture of %d x %d refused", width, height);
    return nullptr;
  }
  std::unique_ptr<unsigned char, StbFree> rgba(
      stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4));
  if (!rgba) return nullptr;
  ImagePtr image = MakeImage(width, height);
  if (!image) return nullptr;
  const size_t count = static_cast<size_t>(width) * height;
  for (size_t i = 0; i < count; ++i) {
    uint32_t pixel = Premultiply(rgba.get() + i * 4, image->hasAlpha);
    if (pixel == mask) {
      pixel = 0;
      image->hasAlpha = true;
    }
    image->pixels[i] = pixel;
  }
  image->mask = mask;
  return image;
}

ImagePtr MakeColorImage(const std::wstring& text) {
  ImagePtr image = MakeImage(1, 1);
  if (!image) return nullptr;
  DWORD color = Parse::Color(text);
  unsigned char rgba[4] = {static_cast<unsigned char>(color >> 16), static_cast<unsigned char>(color >> 8),
                           static_cast<unsigned char>(color), static_cast<unsigned char>(color >> 24)};
  image->pixels[0] = Premultiply(rgba, image->hasAlpha);
  return image;
}

ImagePtr LoadSkinImage(const std::wstring& name, const wchar_t* type, DWORD mask, UINT resourceId) {
  std::vector<unsigned char> bytes;
  if (type) {
    if (wcscmp(type, L"*COLOR*") == 0) return MakeColorImage(name);
    if (!ResourceBytes(name, type, resourceId, bytes) && resourceId) return nullptr;
  } else {
    Resource::ReadSkinFile(name, bytes);
  }
  if (bytes.empty() && !Resource::ReadWholeFile(name, bytes)) return nullptr;
  ImagePtr image = DecodeImage(bytes.data(), bytes.size(), mask);
  if (!image) LOG_INFOW(L"ERR: cannot decode picture %ls", name.c_str());
  return image;
}

}  // namespace SkinUI
