#pragma once

// One small owner per kind of Win32 handle, named after the call that releases it. Copying is
// forbidden, moving hands the handle over; each owner keeps everything its release call needs.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <utility>

namespace Scoped {

template <typename Traits>
class Handle {
 public:
  using Type = typename Traits::Type;

  Handle() = default;
  explicit Handle(Type value) : value_(value) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : value_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  explicit operator bool() const { return Traits::IsValid(value_); }
  Type release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }
  // For out-parameters: frees the current handle and exposes the slot.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

struct CloseHandleTraits {  // kernel objects whose failure value is null
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
using CloseHandle = Handle<CloseHandleTraits>;

struct CloseFileTraits {  // CreateFile and snapshots, whose failure value is INVALID_HANDLE_VALUE
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
using CloseFile = Handle<CloseFileTraits>;

struct RegCloseKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};
using RegCloseKey = Handle<RegCloseKeyTraits>;

struct FreeLibraryTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};
using FreeLibrary = Handle<FreeLibraryTraits>;

struct ImageListDestroyTraits {
  using Type = HIMAGELIST;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { ::ImageList_Destroy(h); }
};
using ImageList_Destroy = Handle<ImageListDestroyTraits>;

struct CoTaskMemFreeTraits {  // memory the shell hands over, such as item lists
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { ::CoTaskMemFree(p); }
};
using CoTaskMemFree = Handle<CoTaskMemFreeTraits>;

// A COM interface pointer that holds one reference.
template <typename Interface>
struct ReleaseTraits {
  using Type = Interface*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { p->Release(); }
};
template <typename Interface>
using Release = Handle<ReleaseTraits<Interface>>;

// A critical section that lives as long as its owner.
class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&section_); }
  ~CriticalSection() { ::DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() { ::EnterCriticalSection(&section_); }
  void Leave() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class LeaveCriticalSection {
 public:
  explicit LeaveCriticalSection(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~LeaveCriticalSection() { section_.Leave(); }
  LeaveCriticalSection(const LeaveCriticalSection&) = delete;
  LeaveCriticalSection& operator=(const LeaveCriticalSection&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace Scoped
