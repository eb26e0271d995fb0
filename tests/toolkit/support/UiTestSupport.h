#pragma once

// What the toolkit tests share: pictures made in memory (zip archives come from ZipWriter.h), a
// 32-bit canvas to paint into and read back, a real window whose messages go through a CUIManager,
// and a probe control that records the events it receives.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/core/UIControl.h"
#include "toolkit/core/UIManager.h"

namespace UiTest {

// A PNG of width x height, colour type 6, pixels given as 0xAARRGGBB (row by row).
std::string MakePng(int width, int height, const std::vector<uint32_t>& argb);
std::string MakeSolidPng(int width, int height, uint32_t argb);

// A 32-bit top-down DIB section selected into its own memory DC.
class Canvas {
 public:
  Canvas(int width, int height, uint32_t fill = 0xFF000000);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc() const { return dc_; }
  uint32_t At(int x, int y) const { return pixels_[y * width_ + x] & 0x00FFFFFF; }
  uint32_t Raw(int x, int y) const { return pixels_[y * width_ + x]; }
  // Bounding box of pixels whose colour (alpha ignored) equals rgb; empty when none.
  RECT Find(uint32_t rgb) const;
  int Count(uint32_t rgb) const;

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* pixels_ = nullptr;
};

// Reads a device-dependent bitmap back as 0x00RRGGBB pixels.
std::vector<uint32_t> ReadBitmap(HBITMAP bitmap, int width, int height);

// A control that records what reaches it.
class ProbeUI : public SkinUI::CControlUI {
 public:
  explicit ProbeUI(const std::wstring& name = std::wstring(), UINT flags = 0) : flags_(flags) { SetName(name); }
  UINT ControlFlags() const override { return flags_; }
  const wchar_t* ClassName() const override { return L"Probe"; }
  void HandleEvent(SkinUI::UIEvent& event) override {
    events.push_back(event.Type);
    lastEvent = event;
    SkinUI::CControlUI::HandleEvent(event);
  }
  int CountOf(SkinUI::UIEventType type) const;
  std::vector<SkinUI::UIEventType> events;
  SkinUI::UIEvent lastEvent;

 private:
  UINT flags_;
};

// A real top-level window of the given client size whose messages go through a manager.
class TestWindow : public SkinUI::INotifyUI {
 public:
  TestWindow(int width = 650, int height = 360);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND hwnd() const { return hwnd_; }
  SkinUI::CUIManager& manager() { return manager_; }
  void Notify(SkinUI::UINotification& msg) override { notes.push_back(msg); }
  // Invalidates everything and lets the window paint now.
  void PaintNow();
  // Delivers what is waiting in this thread's queue.
  void Pump();
  int CountNotes(const std::wstring& type) const;
  std::vector<SkinUI::UINotification> notes;
  LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessageW(hwnd_, msg, wParam, lParam); }
  void Click(int x, int y);

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  SkinUI::CUIManager manager_;
  HWND hwnd_ = nullptr;
};

}  // namespace UiTest
