#pragma once

// A window's fonts by number: its own table over the process-wide one, each font made at the
// window's density (a process-wide font made at another density is copied at this one), the default
// font, and the fonts the markup renderer derives on the fly.

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "toolkit/render/UIRenderHost.h"

namespace SkinUI {

class CFontTable {
 public:
  // host gives the density and the paint context the metrics are read in.
  explicit CFontTable(const IRenderHost& host) : host_(host) {}
  CFontTable(const CFontTable&) = delete;
  CFontTable& operator=(const CFontTable&) = delete;

  // shared: into the process-wide table.
  HFONT Add(int id, const std::wstring& face, int size, bool bold, bool underline, bool italic, bool shared);
  const FontInfo* Find(int id) const;
  void SetDefault(const std::wstring& face, int size, bool bold, bool underline, bool italic, bool shared);
  const FontInfo* Default() const;
  const FontInfo* Derived(const std::wstring& face, int size, bool bold, bool underline, bool italic, bool shared);
  // The host's density changed: the window's own fonts are made again at it.
  void Rebuild();

 private:
  const FontInfo* AtOwnDpi(const std::wstring& key, const FontInfo* shared) const;

  const IRenderHost& host_;
  std::map<std::wstring, std::unique_ptr<FontInfo>> fonts_;
  std::unique_ptr<FontInfo> defaultFont_;
  // Copies of process-wide fonts made at this window's density, when it differs from theirs.
  mutable std::map<std::wstring, std::unique_ptr<FontInfo>> sharedAtDpi_;
  std::map<std::wstring, int> derivedFonts_;
  int nextDerivedFont_ = 0x10000;
};

}  // namespace SkinUI
