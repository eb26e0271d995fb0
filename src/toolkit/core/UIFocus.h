#pragma once

// The window's focused control and how the keyboard moves it: the order Tab visits the controls (the
// visible, enabled Tab stops in the order a reader meets them, by where they are drawn: a mirrored
// skin lists its rows left to right like any other, yet is read from the right), the focus a new
// page asks for before it is laid out, and whether focus pictures show.

#include <windows.h>

#include <vector>

namespace SkinUI {

class CControlUI;

// What the focus and the input router ask of the window they serve; the manager answers.
class IInputHost {
 public:
  virtual HWND PaintWindow() const = 0;
  virtual CControlUI* GetRoot() const = 0;
  // The topmost visible control under pt, in client coordinates.
  virtual CControlUI* LookupControl(POINT pt) const = 0;
  virtual bool OwnsControl(const CControlUI* control) const = 0;
  // False for a window made not to take the activation: clicks and focus leave the native focus alone.
  virtual bool TakesActivation() const = 0;
  virtual bool IsRightToLeft() const = 0;
  virtual bool IsLayoutPending() const = 0;
  // Places the controls now, unless the window is painting, so a click finds them where they are drawn.
  virtual void LayOutForHitTest() = 0;
  // control lost the focus to successor (none when the focus was refused or dropped).
  virtual void FocusLost(CControlUI* control, CControlUI* successor) = 0;
  virtual void FocusGained(CControlUI* control) = 0;

 protected:
  ~IInputHost() = default;
};

namespace TabOrder {

std::vector<CControlUI*> Stops(CControlUI* root, bool rightToLeft);
// The stop after (or before) current, round the end; the first (or last) when current is none of them.
CControlUI* Next(const std::vector<CControlUI*>& stops, CControlUI* current, bool forward);
// Where the focus goes when control, which holds it, has just been disabled: the stop that followed it.
CControlUI* PastDisabled(CControlUI* root, CControlUI* control, bool rightToLeft);

}  // namespace TabOrder

class CFocus {
 public:
  explicit CFocus(IInputHost& host) : host_(host) {}
  CFocus(const CFocus&) = delete;
  CFocus& operator=(const CFocus&) = delete;

  CControlUI* Get() const { return focus_; }
  // Only a visible, enabled control of this window takes the focus; anything else just drops it.
  void Set(CControlUI* control, bool takeWindowFocus);
  void RequestInitial(CControlUI* control);
  void MoveTab(bool forward);
  void PastDisabled(CControlUI* control);
  std::vector<CControlUI*> TabStops() const;
  bool ShowsCues() const;
  void KeyboardInUse();

  // A new tree: the focus waits for its first layout.
  void AwaitLayout() { pending_ = true; }
  bool IsPending() const { return pending_; }
  // The focus that waited for the layout: the requested initial control, else the next Tab stop.
  void ApplyPending();
  void Forget(CControlUI* control);

 private:
  IInputHost& host_;
  CControlUI* focus_ = nullptr;
  CControlUI* initial_ = nullptr;
  bool pending_ = false;
  bool cues_ = false;
};

}  // namespace SkinUI
