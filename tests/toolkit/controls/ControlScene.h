#pragma once

// A real window whose root holds floating controls at given positions, painted off-screen so the
// tests can read back what the controls drew.

#include <cstdint>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "toolkit/core/UIContainer.h"

namespace ControlsTest {

class Scene {
 public:
  explicit Scene(int width = 320, int height = 200) : window(width, height), width_(width), height_(height) {
    root_ = new SkinUI::CContainerUI;
    root_->SetBkColor(0xFF000000);
  }
  ~Scene() {
    if (!shown_) delete root_;
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Places control at pos (client coordinates) with the given attributes; the root owns it.
  template <typename T>
  T* Add(T* control, const std::wstring& pos, const std::wstring& attributes = std::wstring()) {
    control->ApplyAttribute(L"float", L"true");
    control->ApplyAttribute(L"pos", pos);
    if (!attributes.empty()) control->ApplyAttributeList(attributes);
    root_->Add(control);
    return control;
  }

  // Attaches the tree and lets the first paint lay it out.
  void Show() {
    window.manager().AttachRoot(root_);
    shown_ = true;
    Paint();
  }

  void Paint() {
    window.PaintNow();
    window.Pump();
    pixels_ = UiTest::ReadBitmap(window.manager().OffscreenBitmap(), width_, height_);
  }

  // Colour (0x00RRGGBB) at a client point as of the last Paint.
  uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  // Pixels of colour rgb in [left, right) x [top, bottom).
  int Count(uint32_t rgb, const RECT& area) const {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) n += At(x, y) == rgb;
    return n;
  }

  void Down(int x, int y) { window.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
  void MoveTo(int x, int y) { window.Send(WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
  void Up(int x, int y) { window.Send(WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
  void Click(int x, int y) { window.Click(x, y); }
  void Key(WPARAM key) {
    window.Send(WM_KEYDOWN, key, 0);
    window.Send(WM_KEYUP, key, 0);
  }

  // The types of the notifications received so far, in order, for one sender.
  std::vector<std::wstring> NotesOf(const SkinUI::CControlUI* sender) const {
    std::vector<std::wstring> types;
    for (const auto& note : window.notes)
      if (note.pSender == sender && note.sType != L"setfocus" && note.sType != L"killfocus")
        types.push_back(note.sType);
    return types;
  }

  UiTest::TestWindow window;
  SkinUI::CContainerUI* root() const { return root_; }

 private:
  SkinUI::CContainerUI* root_;
  int width_, height_;
  bool shown_ = false;
  std::vector<uint32_t> pixels_;
};

using Notes = std::vector<std::wstring>;

}  // namespace ControlsTest
