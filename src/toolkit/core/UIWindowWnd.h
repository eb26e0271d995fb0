#pragma once

// A thin owner of one native window: registers the class (its own, or a superclass of an existing
// one), creates the window with the object attached, routes every message to a virtual handler and
// runs a modal loop. The object outlives its native window; OnWindowGone marks the end.

#include <windows.h>

#include "base/Scoped.h"

namespace SkinUI {

// Window property that carries the object for superclassed and subclassed windows, whose user
// data belongs to the original class.
constexpr wchar_t kWindowObjectProperty[] = L"WndX";

class CWindowWnd {
 public:
  CWindowWnd() = default;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return hwnd_; }
  operator HWND() const { return hwnd_; }

  // Null when the class cannot be registered or the window cannot be created.
  HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU menu = nullptr);
  HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, const RECT& rc, HMENU menu = nullptr);
  // Takes over the messages of an existing window until Unsubclass or its destruction.
  HWND Subclass(HWND hwnd);
  void Unsubclass();

  void ShowWindow(bool show = true, bool takeFocus = true);
  // Shows the window (unless `show` is false: a window that works unseen) and pumps messages until it
  // is gone; the result is the wParam of the WM_CLOSE posted to it (0 when none was). A WM_QUIT ends
  // the loop early and is posted again.
  UINT_PTR RunModalLoop(bool show = true);
  void Close(UINT_PTR result = IDOK);
  void SetIcon(UINT resourceId);
  // -1 keeps that dimension of the current client area.
  void SetClientSize(int cx, int cy);
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

 protected:
  virtual const wchar_t* WindowClassName() const = 0;
  // A class to superclass; none gives the window a class of its own.
  virtual const wchar_t* BaseWindowClass() const { return nullptr; }
  virtual UINT ClassStyle() const { return 0; }
  virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // Called after the last message; the object may delete itself here.
  virtual void OnWindowGone(HWND hwnd) {}

 public:
  // A window that outlives its object is let go: its messages then reach the default procedure
  // instead of freed memory.
  virtual ~CWindowWnd();

 protected:
  LRESULT CallPreviousProc(UINT msg, WPARAM wParam, LPARAM lParam);
  void Detach();

  HWND hwnd_ = nullptr;
  WNDPROC previousProc_ = ::DefWindowProcW;
  bool subclassed_ = false;

 private:
  bool RegisterWindowClass();
  bool RegisterSuperclass();
  LRESULT OnFinalMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT Route(CWindowWnd* window, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  Scoped::DestroyIcon bigIcon_, smallIcon_;
};

}  // namespace SkinUI
