#pragma once

// What the window tests share: a skinned window whose hooks the test sets (skin text or file, source,
// resource id), that records what reaches its handlers and makes "Probe" controls for the skin; a
// message pump; reading the painted picture back; and writing it as a PNG.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/window/UIWindowImplBase.h"

namespace WindowTest {

// A control that records the events it receives; a Tab stop, so it can take the focus.
class ProbeUI : public SkinUI::CControlUI {
 public:
  const wchar_t* ClassName() const override { return L"Probe"; }
  UINT ControlFlags() const override { return SkinUI::ControlFlagTabStop; }
  void HandleEvent(SkinUI::UIEvent& event) override {
    events.push_back(event);
    SkinUI::CControlUI::HandleEvent(event);
  }
  int CountOf(SkinUI::UIEventType type, WPARAM key = 0) const;
  std::vector<SkinUI::UIEvent> events;
};

struct SkinWindowSetup {
  std::wstring skin;  // a file name, or the markup itself
  SkinUI::SkinSourceType source = SkinUI::kSkinFiles;
  std::wstring zipName;
  const wchar_t* resourceId = L"";
  bool handleClose = false;  // keep the window on WM_CLOSE (and count it)
};

class SkinWindow : public SkinUI::WindowImplBase {
 public:
  explicit SkinWindow(SkinWindowSetup setup) : setup_(std::move(setup)) {}
  ~SkinWindow() override;

  // A hidden top-level window with a caption, as the installer creates it.
  HWND CreateHidden();
  SkinUI::CControlUI* Find(const wchar_t* name) { return manager_.LookupControl(name); }
  // Runs WM_NCHITTEST for a client point.
  LRESULT HitTestAt(int x, int y);
  // Paints the whole client area now and returns its pixels as 0x00RRGGBB.
  std::vector<uint32_t> Paint(int& width, int& height);
  // Records the type, then routes as the base does.
  void Notify(SkinUI::UINotification& msg) override;

  int treeReadyCalls = 0;
  int closeCalls = 0;
  WPARAM lastCloseParam = 0;
  bool gone = false;
  std::vector<std::wstring> clicks;
  std::vector<std::wstring> notifications;

 protected:
  const wchar_t* WindowClassName() const override { return L"SkinUiWindowTest"; }
  std::wstring SkinFolder() override { return std::wstring(); }
  std::wstring SkinFile() override { return setup_.skin; }
  SkinUI::SkinSourceType SkinSource() const override { return setup_.source; }
  std::wstring SkinZipName() const override { return setup_.zipName; }
  const wchar_t* SkinResourceId() const override { return setup_.resourceId; }
  SkinUI::CControlUI* MakeControl(const std::wstring& className) override;
  void OnTreeReady() override { ++treeReadyCalls; }
  void OnClick(SkinUI::UINotification& msg) override;
  LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnWindowGone(HWND hwnd) override;

 private:
  SkinWindowSetup setup_;
};

// Delivers what waits in this thread's queue, through the toolkit's translation as the loop does.
void Pump();
// True when a WM_CLOSE for hwnd waits in the queue; its wParam goes to param. The message stays.
bool CloseWaiting(HWND hwnd, WPARAM* param = nullptr);
void DropQueued(HWND hwnd, UINT msg);
// Left-button click at a client point, sent the way the system would.
void Click(HWND hwnd, int x, int y);

// Writes 0x00RRGGBB pixels as an 8-bit RGB PNG.
bool WritePng(const std::wstring& path, const std::vector<uint32_t>& pixels, int width, int height);
// Distance between two colours: the largest difference of one channel.
int ColorDistance(uint32_t a, uint32_t b);

}  // namespace WindowTest
