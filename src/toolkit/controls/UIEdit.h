#pragma once

// The single-line edit field. While it has the focus a native edit window (CEditWnd) lies over its
// text area and does the typing; otherwise the control draws its text itself.

#include <windows.h>

#include <memory>
#include <string>

#include "toolkit/controls/UILabel.h"
#include "base/Scoped.h"
#include "toolkit/core/UIWindowWnd.h"

namespace SkinUI {

class CEditUI;

// The native companion window: a superclass of the system "Edit" class, registered as "EditWnd".
// Its owner holds it; when the native window is gone the owner lets it go.
class CEditWnd : public CWindowWnd {
 public:
  static constexpr UINT kCaretTimer = 20;

  explicit CEditWnd(CEditUI* owner) : owner_(owner) {}
  // The owner is going away: the native window is destroyed without calling back into it.
  ~CEditWnd() override;

  // Creates, fills and focuses the native window over the owner; false when it cannot be made.
  bool Init();

 protected:
  const wchar_t* WindowClassName() const override { return L"EditWnd"; }
  const wchar_t* BaseWindowClass() const override { return L"Edit"; }
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // Tells the owner, which then deletes this object.
  void OnWindowGone(HWND hwnd) override;

 private:
  void FillFromOwner();
  void OnCreate();
  LRESULT OnKillFocus(WPARAM wParam, LPARAM lParam);
  void OnCommand(WPARAM wParam);
  LRESULT OnColor(UINT msg, WPARAM wParam, LPARAM lParam);
  HBRUSH BackgroundBrush(DWORD color);

  CEditUI* owner_;
  Scoped::DeleteObject<HBRUSH> brush_;
  bool brushIsSolid_ = false;
  bool initialised_ = false;
};

class CEditUI : public CLabelUI {
 public:
  CEditUI();
  ~CEditUI() override;

  const wchar_t* ClassName() const override { return L"Edit"; }
  void* CastTo(const std::wstring& name) override;
  UINT ControlFlags() const override;
  long AccessibleRole() const override;
  std::wstring AccessibleText() const override { return std::wstring(); }
  long AccessibleState() const override;
  std::wstring AccessibleValue(bool rightToLeft) const override;
  void OnDpiChanged() override;
  void SetText(const std::wstring& text) override;
  void SetEnabled(bool enabled = true) override;
  void SetVisible(bool visible = true) override;
  void Place(RECT rc, bool invalidate = true) override;
  void Move(int dx, int dy, bool invalidate = true) override;
  void HandleEvent(UIEvent& event) override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void DrawStateImage(HDC dc) override;
  void DrawTextContent(HDC dc) override;
  void DrawInSystemColors(HDC dc) override;

  void SetMaxChar(UINT count);
  UINT GetMaxChar() const { return maxChar_; }
  void SetReadOnly(bool on = true);
  bool IsReadOnly() const { return readOnly_; }
  void SetPasswordMode(bool on = true);
  bool IsPasswordMode() const { return password_; }
  void SetPasswordChar(wchar_t ch);
  wchar_t GetPasswordChar() const { return passwordChar_; }
  void SetNumberOnly(bool on = true);
  bool IsNumberOnly() const { return (nativeStyle_ & ES_NUMBER) != 0; }
  void SetAutoSelAll(bool on = true) { autoSelAll_ = on; }
  bool IsAutoSelAll() const { return autoSelAll_; }
  void SetNativeBkColor(DWORD color) { nativeBkColor_ = color; }
  DWORD GetNativeBkColor() const { return nativeBkColor_; }
  // Extra native style bits (ES_NUMBER for numbers only).
  UINT NativeStyle() const { return nativeStyle_; }
  UINT EditState() const { return state_; }
  // The text colour the native window uses (the manager's default when none is set).
  DWORD NativeTextColor();
  // Where the native window goes: the text area narrowed to one text line, clipped by the ancestors.
  RECT NativeRect() const;
  // The native window while editing, else null.
  HWND NativeWindow() const { return editWnd_ ? editWnd_->GetHWND() : nullptr; }

 private:
  friend class CEditWnd;
  bool ApplyEditAttribute(const std::wstring& name, const std::wstring& value);
  void SetImage(ImageDrawInfo& info, const std::wstring& descriptor);
  bool DrawPart(HDC dc, ImageDrawInfo& info);
  bool HandleMouseEvent(UIEvent& event);
  void OnButtonDown(const UIEvent& event);
  void OnMouseLeave(const UIEvent& event);
  void StartEditing();
  // Ends editing when the toolkit focus has left the edit but the native window is still there.
  void CloseNative();
  void MoveNative();
  // From the native window.
  void OnNativeTextChanged(const std::wstring& text);
  void OnNativeGone(CEditWnd* wnd);

  std::unique_ptr<CEditWnd> editWnd_;
  UINT maxChar_ = 255;
  bool readOnly_ = false, password_ = false, autoSelAll_ = false;
  wchar_t passwordChar_ = L'*';
  DWORD nativeBkColor_ = 0xFFFFFFFF;
  UINT nativeStyle_ = 0;
  UINT state_ = 0;
  ImageDrawInfo normal_, hot_, focused_, disabled_;
};

}  // namespace SkinUI
