#pragma once

// Owners for the GDI objects the toolkit creates while painting. Each one keeps everything its
// release call needs (ReleaseDC keeps its window), so no failure path can free with the wrong call.

#include "tool/ScopedWin.h"

namespace Scoped {

template <typename T>
struct DeleteObjectTraits {
  using Type = T;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};
template <typename T>
using DeleteObject = Handle<DeleteObjectTraits<T>>;

struct DeleteDCTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DeleteDC(h); }
};
using DeleteDC = Handle<DeleteDCTraits>;

struct DestroyWindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::DestroyWindow(h); }
};
using DestroyWindow = Handle<DestroyWindowTraits>;

// A device context from GetDC: released with the window it came from.
class ReleaseDC {
 public:
  ReleaseDC() = default;
  explicit ReleaseDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ~ReleaseDC() { reset(); }
  ReleaseDC(const ReleaseDC&) = delete;
  ReleaseDC& operator=(const ReleaseDC&) = delete;
  ReleaseDC(ReleaseDC&& other) noexcept
      : hwnd_(std::exchange(other.hwnd_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
  ReleaseDC& operator=(ReleaseDC&& other) noexcept {
    if (this != &other) {
      reset();
      hwnd_ = std::exchange(other.hwnd_, nullptr);
      dc_ = std::exchange(other.dc_, nullptr);
    }
    return *this;
  }
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }
  void reset() {
    if (dc_) ::ReleaseDC(hwnd_, dc_);
    dc_ = nullptr;
    hwnd_ = nullptr;
  }

 private:
  HWND hwnd_ = nullptr;
  HDC dc_ = nullptr;
};

// Selects an object into a device context and puts the previous one back.
class SelectObject {
 public:
  SelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? ::SelectObject(dc, object) : nullptr) {}
  ~SelectObject() {
    if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  SelectObject(const SelectObject&) = delete;
  SelectObject& operator=(const SelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// SaveDC on construction, RestoreDC on destruction: clip regions and modes set in between go away.
class RestoreDC {
 public:
  explicit RestoreDC(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
  ~RestoreDC() {
    if (saved_ > 0) ::RestoreDC(dc_, saved_);
  }
  RestoreDC(const RestoreDC&) = delete;
  RestoreDC& operator=(const RestoreDC&) = delete;

 private:
  HDC dc_;
  int saved_;
};

}  // namespace Scoped
