#pragma once

// The window's client area as a screen reader sees it (OBJID_CLIENT): one object per manager whose
// children are the controls a user perceives, flattened in reading order, each a simple element with
// an id that stays the control's for the object's life (so that WinEvents name it). The tree belongs
// to the window's thread: a call from any other thread is carried there with SendMessage. When the
// window is destroyed the object lets go of the tree, and every later call fails with
// RPC_E_DISCONNECTED, so a reader that still holds it never reaches freed controls.

#include <windows.h>

#include <oleacc.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "toolkit/core/UIAccessibleRef.h"

namespace SkinUI {

class CAccessibleElement;
class CControlUI;
class CUIManager;

class CUIAccessible final : public IAccessible, public IEnumVARIANT, public IAccessibleObject {
 public:
  explicit CUIAccessible(CUIManager& manager);
  CUIAccessible(const CUIAccessible&) = delete;
  CUIAccessible& operator=(const CUIAccessible&) = delete;

  // Every manager made from now on answers readers with an object of this class.
  static void Install();

  // IAccessibleObject
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void RaiseFor(DWORD event, CControlUI* control) override;
  void Forget(CControlUI* control) override;
  void Detach() override;
  void Disconnect();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch: readers use the vtable, so automation is not offered.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** parent) override;
  STDMETHODIMP get_accChildCount(long* count) override;
  STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override;
  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override;
  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override;
  STDMETHODIMP get_accDescription(VARIANT child, BSTR* description) override;
  STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override;
  STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override;
  STDMETHODIMP get_accHelp(VARIANT child, BSTR* help) override;
  STDMETHODIMP get_accHelpTopic(BSTR* helpFile, VARIANT child, long* topic) override;
  STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
  STDMETHODIMP get_accFocus(VARIANT* child) override;
  STDMETHODIMP get_accSelection(VARIANT* children) override;
  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override;
  STDMETHODIMP accSelect(long flags, VARIANT child) override;
  STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
  STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* end) override;
  STDMETHODIMP accHitTest(long x, long y, VARIANT* child) override;
  STDMETHODIMP accDoDefaultAction(VARIANT child) override;
  STDMETHODIMP put_accName(VARIANT child, BSTR name) override;
  STDMETHODIMP put_accValue(VARIANT child, BSTR value) override;

  // IEnumVARIANT: the children's ids in reading order (AccessibleChildren walks them this way).
  STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumVARIANT** copy) override;

 private:
  ~CUIAccessible() = default;

  // Runs task on the window's thread; RPC_E_DISCONNECTED once the window is gone.
  HRESULT OnWindowThread(const std::function<HRESULT()>& task);
  bool IsRightToLeft() const;
  // What one control tells a reader, read in this window's direction.
  CAccessibleElement ElementOf(CControlUI& control) const;
  std::vector<CControlUI*> Children();
  long IdOf(CControlUI* control);
  // The control an id names (null for the client area itself); E_INVALIDARG for an unknown id.
  HRESULT Resolve(const VARIANT& child, CControlUI*& control) const;
  std::wstring NameOf(CControlUI& control);
  // The words of a static text; empty for any other control.
  std::wstring TextName(CControlUI& control) const;
  HRESULT DoDefaultAction(CControlUI* control);
  RECT ScreenRect(const RECT& client) const;

  LONG refs_ = 1;
  CUIManager* manager_;
  HWND hwnd_;
  DWORD thread_;
  std::map<CControlUI*, long> ids_;
  std::map<long, CControlUI*> controls_;
  long nextId_ = 1;
  ULONG cursor_ = 0;
};

}  // namespace SkinUI
