// Pictures for dense screens: a skin may carry each picture at 1x, 1.5x and 2x ("logo.png",
// "logo@1.5x.png", "logo@2x.png"). The loader takes the nearest one at or above the window's scale and
// brings it to that scale exactly, so that drawing copies pixels one to one.

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <vector>

#include "toolkit/skin/UIValues.h"
#include "toolkit/skin/UIResource.h"

namespace SkinUI {

namespace {

struct Variant {
  int percent;
  const wchar_t* suffix;
};
constexpr Variant kVariants[] = {{100, L""}, {150, L"@1.5x"}, {200, L"@2x"}};

// "img\logo.png" with "@2x" is "img\logo@2x.png"; the dot must belong to the file name, not a folder.
std::wstring VariantName(const std::wstring& name, const wchar_t* suffix) {
  const size_t slash = name.find_last_of(L"\\/");
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

// Which variants to try, best first: those at or above the wanted scale from the nearest up, then
// those below it from the nearest down.
std::vector<Variant> VariantOrder(int percent) {
  std::vector<Variant> above, below;
  for (const Variant& v : kVariants) (v.percent >= percent ? above : below).push_back(v);
  std::reverse(below.begin(), below.end());
  above.insert(above.end(), below.begin(), below.end());
  return above;
}

// One axis of the resampler: for each target pixel, the source pixels under its footprint with
// triangle weights. Shrinking widens the footprint to the ratio, which averages every source pixel
// that falls into a target pixel; growing interpolates between the two nearest.
struct Tap {
  int index;
  float weight;
};

std::vector<std::vector<Tap>> AxisTaps(int from, int to) {
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(to));
  const double ratio = static_cast<double>(from) / to;
  const double radius = std::max(1.0, ratio);
  for (int t = 0; t < to; ++t) {
    const double centre = (t + 0.5) * ratio - 0.5;
    const int first = std::max(0, static_cast<int>(std::floor(centre - radius)) + 1);
    const int last = std::min(from - 1, static_cast<int>(std::ceil(centre + radius)) - 1);
    double total = 0;
    for (int s = first; s <= last; ++s) {
      const double w = 1.0 - std::fabs(s - centre) / radius;
      if (w <= 0) continue;
      taps[t].push_back({s, static_cast<float>(w)});
      total += w;
    }
    if (taps[t].empty()) {
      taps[t].push_back({std::clamp(static_cast<int>(std::lround(centre)), 0, from - 1), 1.0f});
      total = 1;
    }
    for (Tap& tap : taps[t]) tap.weight = static_cast<float>(tap.weight / total);
  }
  return taps;
}

// Premultiplied channels average correctly without unpremultiplying.
struct Channels {
  float c[4] = {0, 0, 0, 0};
  void Add(uint32_t pixel, float w) {
    for (int i = 0; i < 4; ++i) c[i] += static_cast<float>((pixel >> (8 * i)) & 0xFF) * w;
  }
  void Add(const Channels& other, float w) {
    for (int i = 0; i < 4; ++i) c[i] += other.c[i] * w;
  }
  uint32_t Pack() const {
    uint32_t pixel = 0;
    const int alpha = std::clamp(static_cast<int>(std::lround(c[3])), 0, 255);
    for (int i = 0; i < 4; ++i) {
      int v = std::clamp(static_cast<int>(std::lround(c[i])), 0, 255);
      if (i < 3) v = std::min(v, alpha);  // premultiplied colour never exceeds its alpha
      pixel |= static_cast<uint32_t>(v) << (8 * i);
    }
    return pixel;
  }
};

}  // namespace

ImagePtr ResampleImage(const ImageRecord& source, int width, int height) {
  if (!source.pixels || source.width <= 0 || source.height <= 0) return nullptr;
  ImagePtr image = MakeImage(width, height);
  if (!image) return nullptr;
  const auto across = AxisTaps(source.width, width);
  const auto down = AxisTaps(source.height, height);
  std::vector<Channels> rows(static_cast<size_t>(width) * source.height);
  for (int y = 0; y < source.height; ++y) {
    const uint32_t* line = source.pixels + static_cast<size_t>(y) * source.width;
    for (int x = 0; x < width; ++x)
      for (const Tap& tap : across[x]) rows[static_cast<size_t>(y) * width + x].Add(line[tap.index], tap.weight);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Channels sum;
      for (const Tap& tap : down[y]) sum.Add(rows[static_cast<size_t>(tap.index) * width + x], tap.weight);
      image->pixels[static_cast<size_t>(y) * width + x] = sum.Pack();
    }
  }
  image->hasAlpha = source.hasAlpha;
  image->mask = source.mask;
  return image;
}

ImagePtr LoadSkinImageForDpi(const std::wstring& name, const wchar_t* type, DWORD mask, UINT resourceId, int dpi) {
  const bool colour = type && wcscmp(type, L"*COLOR*") == 0;
  if (colour || dpi == kBaseDpi) {
    ImagePtr image = LoadSkinImage(name, type, mask, resourceId);
    if (image) image->dpi = colour ? dpi : kBaseDpi;  // a colour is stretched over any size
    return image;
  }
  const int wanted = ::MulDiv(dpi, 100, kBaseDpi);
  ImagePtr picked;
  int pickedPercent = 100;
  // Pictures in the module's resources come at one scale only.
  const std::vector<Variant> order = type ? std::vector<Variant>{kVariants[0]} : VariantOrder(wanted);
  for (const Variant& v : order) {
    picked = v.percent == 100 ? LoadSkinImage(name, type, mask, resourceId)
                              : LoadSkinImage(VariantName(name, v.suffix), nullptr, mask, 0);
    if (picked) {
      pickedPercent = v.percent;
      break;
    }
  }
  if (!picked || pickedPercent == wanted) {
    if (picked) picked->dpi = dpi;
    return picked;
  }
  const int width = std::max(1, ::MulDiv(picked->width, wanted, pickedPercent));
  const int height = std::max(1, ::MulDiv(picked->height, wanted, pickedPercent));
  ImagePtr scaled = ResampleImage(*picked, width, height);
  if (!scaled) {  // too large to scale: drawn stretched instead
    picked->dpi = ::MulDiv(kBaseDpi, pickedPercent, 100);
    return picked;
  }
  scaled->dpi = dpi;
  return scaled;
}

}  // namespace SkinUI
