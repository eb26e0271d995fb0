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

// A handle whose empty value is zero, released by one call that takes it alone.
template <typename T, auto ReleaseCall>
struct ZeroIsEmpty {
  using Type = T;
  static Type Invalid() { return Type(); }
  static bool IsValid(Type h) { return h != Type(); }
  static void Close(Type h) { ReleaseCall(h); }
};

// CreateFile and snapshots fail with INVALID_HANDLE_VALUE, most other kernel calls with null; both are
// empty for either owner, which differ only in the value they start from.
template <bool startsInvalid>
struct KernelHandle {
  using Type = HANDLE;
  static Type Invalid() { return startsInvalid ? INVALID_HANDLE_VALUE : nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
using CloseHandle = Handle<KernelHandle<false>>;
using CloseFile = Handle<KernelHandle<true>>;

using RegCloseKey = Handle<ZeroIsEmpty<HKEY, &::RegCloseKey>>;
using FreeLibrary = Handle<ZeroIsEmpty<HMODULE, &::FreeLibrary>>;
using ImageList_Destroy = Handle<ZeroIsEmpty<HIMAGELIST, &::ImageList_Destroy>>;
using DeleteDC = Handle<ZeroIsEmpty<HDC, &::DeleteDC>>;
using DestroyWindow = Handle<ZeroIsEmpty<HWND, &::DestroyWindow>>;
using DestroyIcon = Handle<ZeroIsEmpty<HICON, &::DestroyIcon>>;
// Memory the shell hands over, such as item lists.
using CoTaskMemFree = Handle<ZeroIsEmpty<void*, &::CoTaskMemFree>>;

template <typename T>
using DeleteObject = Handle<ZeroIsEmpty<T, &::DeleteObject>>;

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

// A slim reader/writer lock held shared, or exclusively, for the owner's lifetime.
class SharedSrwLock {
 public:
  explicit SharedSrwLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockShared(&lock_); }
  ~SharedSrwLock() { ::ReleaseSRWLockShared(&lock_); }
  SharedSrwLock(const SharedSrwLock&) = delete;
  SharedSrwLock& operator=(const SharedSrwLock&) = delete;

 private:
  SRWLOCK& lock_;
};

class ExclusiveSrwLock {
 public:
  explicit ExclusiveSrwLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
  ~ExclusiveSrwLock() { ::ReleaseSRWLockExclusive(&lock_); }
  ExclusiveSrwLock(const ExclusiveSrwLock&) = delete;
  ExclusiveSrwLock& operator=(const ExclusiveSrwLock&) = delete;

 private:
  SRWLOCK& lock_;
};

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
