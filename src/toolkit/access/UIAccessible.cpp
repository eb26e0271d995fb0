#include "toolkit/access/UIAccessible.h"

#include <algorithm>
#include <string>

#include "toolkit/access/UIAccessibleElement.h"
#include "toolkit/core/UIControl.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/core/UIReadingOrder.h"

namespace SkinUI {

namespace {

// A call from another thread, run by the window's thread while the caller waits in SendMessage.
struct CrossThreadCall {
  const std::function<HRESULT()>* task;
  HRESULT result;
};

UINT CallMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"SkinUI.AccessibleCall");
  return message;
}

// A default action runs after the reader's call has returned, as a click would: what it sets off
// (a message box, a folder chooser) must not hold the reader up.
UINT ActionMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"SkinUI.AccessibleAction");
  return message;
}

HRESULT ToBstr(const std::wstring& text, BSTR* out) {
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = ::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

void SetChildId(VARIANT* out, long id) {
  ::VariantInit(out);
  out->vt = VT_I4;
  out->lVal = id;
}

}  // namespace

CUIAccessible::CUIAccessible(CUIManager& manager)
    : manager_(&manager), hwnd_(manager.PaintWindow()), thread_(::GetWindowThreadProcessId(hwnd_, nullptr)) {}

void CUIAccessible::Install() {
  CAccessibleRef::SetMaker([](CUIManager& manager) -> IAccessibleObject* { return new CUIAccessible(manager); });
}

void CUIAccessible::Detach() {
  Disconnect();
  Release();
}

void CUIAccessible::RaiseFor(DWORD event, CControlUI* control) {
  if (!manager_) return;
  LONG child = CHILDID_SELF;
  if (event != EVENT_OBJECT_REORDER) {
    if (!control || !CAccessibleElement::IsExposed(*control)) return;
    child = IdOf(control);
  }
  ::NotifyWinEvent(event, hwnd_, OBJID_CLIENT, child);
}

// On 64-bit Windows the object id arrives sign-extended in lParam, so only its low 32 bits count.
bool CUIAccessible::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (msg == WM_GETOBJECT) {
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT) || !manager_) return false;
    result = ::LresultFromObject(IID_IAccessible, wParam, static_cast<IAccessible*>(this));
    return true;
  }
  if ((msg == CallMessage() || msg == ActionMessage()) && wParam == reinterpret_cast<WPARAM>(this)) {
    if (msg == CallMessage()) {
      auto* call = reinterpret_cast<CrossThreadCall*>(lParam);
      call->result = manager_ ? (*call->task)() : RPC_E_DISCONNECTED;
    } else if (manager_) {
      auto it = controls_.find(static_cast<long>(lParam));
      if (it != controls_.end()) ElementOf(*it->second).DoDefaultAction();
    }
    result = 0;
    return true;
  }
  if (msg == WM_DESTROY) Disconnect();
  return false;
}

void CUIAccessible::Forget(CControlUI* control) {
  auto it = ids_.find(control);
  if (it == ids_.end()) return;
  controls_.erase(it->second);
  ids_.erase(it);
}

// Remote readers' stubs are cut at once; a reader in this process keeps a pointer whose calls fail.
void CUIAccessible::Disconnect() {
  if (!manager_) return;
  manager_ = nullptr;
  ids_.clear();
  controls_.clear();
  ::CoDisconnectObject(static_cast<IAccessible*>(this), 0);
}

HRESULT CUIAccessible::OnWindowThread(const std::function<HRESULT()>& task) {
  if (::GetCurrentThreadId() == thread_) return manager_ ? task() : RPC_E_DISCONNECTED;
  CrossThreadCall call = {&task, RPC_E_DISCONNECTED};
  // A destroyed window answers nothing, and the result stays "disconnected".
  ::SendMessageW(hwnd_, CallMessage(), reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(&call));
  return call.result;
}

// A mirrored skin says so on its Window element; a window laid out right to left by the system is
// mirrored as well.
CAccessibleElement CUIAccessible::ElementOf(CControlUI& control) const {
  return CAccessibleElement(control, hwnd_, IsRightToLeft());
}

bool CUIAccessible::IsRightToLeft() const {
  if (manager_->IsRightToLeft()) return true;
  return (::GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
}

// Controls are placed when the window paints; a page just switched to is laid out first, so that
// the places given are where the controls will be drawn.
std::vector<CControlUI*> CUIAccessible::Children() {
  CControlUI* root = manager_->GetRoot();
  if (!root) return {};
  if (manager_->IsLayoutPending()) ::UpdateWindow(hwnd_);
  std::vector<CControlUI*> exposed;
  root->LookupControl(
      [](CControlUI* control, void* data) -> CControlUI* {
        if (CAccessibleElement::IsExposed(*control)) static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
        return nullptr;
      },
      &exposed, FindVisible | FindMeFirst);
  return ReadingOrder(std::move(exposed), IsRightToLeft());
}

long CUIAccessible::IdOf(CControlUI* control) {
  auto it = ids_.find(control);
  if (it != ids_.end()) return it->second;
  const long id = nextId_++;
  ids_.emplace(control, id);
  controls_.emplace(id, control);
  return id;
}

HRESULT CUIAccessible::Resolve(const VARIANT& child, CControlUI*& control) const {
  control = nullptr;
  if (child.vt != VT_I4) return E_INVALIDARG;
  if (child.lVal == CHILDID_SELF) return S_OK;
  auto it = controls_.find(child.lVal);
  if (it == controls_.end()) return E_INVALIDARG;
  control = it->second;
  return S_OK;
}

// The edit shows its value and the bar its fill, not a name: each is named by the text a reader
// meets next to it, the one just before it or else the one just after it.
std::wstring CUIAccessible::NameOf(CControlUI& control) {
  const CAccessibleElement element = ElementOf(control);
  const std::wstring name = element.Name();
  const long role = element.Role();
  if (!name.empty() || (role != ROLE_SYSTEM_TEXT && role != ROLE_SYSTEM_PROGRESSBAR)) return name;
  const std::vector<CControlUI*> children = Children();
  auto it = std::find(children.begin(), children.end(), &control);
  if (it == children.end()) return name;
  const std::wstring before = it != children.begin() ? TextName(**(it - 1)) : std::wstring();
  if (!before.empty()) return before;
  return it + 1 != children.end() ? TextName(**(it + 1)) : std::wstring();
}

std::wstring CUIAccessible::TextName(CControlUI& control) const {
  const CAccessibleElement element = ElementOf(control);
  return element.Role() == ROLE_SYSTEM_STATICTEXT ? element.Name() : std::wstring();
}

RECT CUIAccessible::ScreenRect(const RECT& client) const {
  RECT rc = client;
  // Two points: a mirrored window's rectangle comes back with left and right in order.
  ::MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  if (rc.left > rc.right) std::swap(rc.left, rc.right);
  return rc;
}

// ---- IUnknown ----

STDMETHODIMP CUIAccessible::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
    *object = static_cast<IAccessible*>(this);
  } else if (riid == IID_IEnumVARIANT) {
    *object = static_cast<IEnumVARIANT*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CUIAccessible::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) CUIAccessible::Release() {
  const LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---- IDispatch ----

STDMETHODIMP CUIAccessible::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CUIAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CUIAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP CUIAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

// ---- IAccessible ----

// The window's own object (caption, frame) is the system's.
STDMETHODIMP CUIAccessible::get_accParent(IDispatch** parent) {
  if (!parent) return E_POINTER;
  *parent = nullptr;
  return OnWindowThread([&]() -> HRESULT {
    return ::AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                        reinterpret_cast<void**>(parent));
  });
}

STDMETHODIMP CUIAccessible::get_accChildCount(long* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return OnWindowThread([&]() -> HRESULT {
    *count = static_cast<long>(Children().size());
    return S_OK;
  });
}

// Every child is a simple element: it has no object of its own.
STDMETHODIMP CUIAccessible::get_accChild(VARIANT child, IDispatch** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    return control ? S_FALSE : E_INVALIDARG;
  });
}

STDMETHODIMP CUIAccessible::get_accName(VARIANT child, BSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    if (control) return ToBstr(NameOf(*control), name);
    wchar_t title[256] = {};
    ::GetWindowTextW(hwnd_, title, 256);
    return ToBstr(title, name);
  });
}

STDMETHODIMP CUIAccessible::get_accValue(VARIANT child, BSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    if (!control) return DISP_E_MEMBERNOTFOUND;
    const CAccessibleElement element = ElementOf(*control);
    const long role = element.Role();
    if (role != ROLE_SYSTEM_PROGRESSBAR && role != ROLE_SYSTEM_TEXT) return DISP_E_MEMBERNOTFOUND;
    const std::wstring text = element.Value();
    *value = ::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    return *value ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CUIAccessible::get_accDescription(VARIANT child, BSTR* description) {
  if (!description) return E_POINTER;
  *description = nullptr;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    return FAILED(hr) ? hr : S_FALSE;
  });
}

STDMETHODIMP CUIAccessible::get_accRole(VARIANT child, VARIANT* role) {
  if (!role) return E_POINTER;
  ::VariantInit(role);
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    SetChildId(role, control ? ElementOf(*control).Role() : ROLE_SYSTEM_CLIENT);
    return S_OK;
  });
}

STDMETHODIMP CUIAccessible::get_accState(VARIANT child, VARIANT* state) {
  if (!state) return E_POINTER;
  ::VariantInit(state);
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    long bits = 0;
    if (control) {
      bits = ElementOf(*control).State(manager_->GetFocus() == control);
    } else {
      bits = STATE_SYSTEM_FOCUSABLE;
      if (::GetFocus() == hwnd_) bits |= STATE_SYSTEM_FOCUSED;
      if (!::IsWindowVisible(hwnd_)) bits |= STATE_SYSTEM_INVISIBLE;
    }
    SetChildId(state, bits);
    return S_OK;
  });
}

STDMETHODIMP CUIAccessible::get_accHelp(VARIANT child, BSTR* help) { return get_accDescription(child, help); }

STDMETHODIMP CUIAccessible::get_accHelpTopic(BSTR* helpFile, VARIANT child, long* topic) {
  if (!helpFile || !topic) return E_POINTER;
  *helpFile = nullptr;
  *topic = -1;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    return FAILED(hr) ? hr : S_FALSE;
  });
}

STDMETHODIMP CUIAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
  if (!shortcut) return E_POINTER;
  *shortcut = nullptr;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    if (!control) return S_FALSE;
    return ToBstr(ElementOf(*control).KeyboardShortcut(), shortcut);
  });
}

STDMETHODIMP CUIAccessible::get_accFocus(VARIANT* child) {
  if (!child) return E_POINTER;
  ::VariantInit(child);
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* focus = manager_->GetFocus();
    if (focus && CAccessibleElement::IsExposed(*focus))
      SetChildId(child, IdOf(focus));
    else if (::GetFocus() == hwnd_)
      SetChildId(child, CHILDID_SELF);
    return S_OK;
  });
}

// Nothing in this window is selected apart from being checked.
STDMETHODIMP CUIAccessible::get_accSelection(VARIANT* children) {
  if (!children) return E_POINTER;
  ::VariantInit(children);
  return OnWindowThread([]() -> HRESULT { return S_OK; });
}

STDMETHODIMP CUIAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
  if (!action) return E_POINTER;
  *action = nullptr;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    if (!control) return S_FALSE;
    return ToBstr(ElementOf(*control).DefaultAction(), action);
  });
}

// Only the focus can be given; nothing here is selectable otherwise.
STDMETHODIMP CUIAccessible::accSelect(long flags, VARIANT child) {
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    if (flags != SELFLAG_TAKEFOCUS) return E_INVALIDARG;
    if (!control) {
      ::SetFocus(hwnd_);
      return S_OK;
    }
    const long state = ElementOf(*control).State(false);
    if (!(state & STATE_SYSTEM_FOCUSABLE) || (state & STATE_SYSTEM_INVISIBLE)) return S_FALSE;
    manager_->SetFocus(control);
    return manager_->GetFocus() == control ? S_OK : S_FALSE;
  });
}

STDMETHODIMP CUIAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
  if (!left || !top || !width || !height) return E_POINTER;
  *left = *top = *width = *height = 0;
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    RECT client = {};
    if (control && manager_->IsLayoutPending()) ::UpdateWindow(hwnd_);
    if (control)
      client = control->Placement();
    else
      ::GetClientRect(hwnd_, &client);
    const RECT rc = ScreenRect(client);
    *left = rc.left;
    *top = rc.top;
    *width = rc.right - rc.left;
    *height = rc.bottom - rc.top;
    return S_OK;
  });
}

// First and last child from the client area, next and previous between children; moving off the
// client area itself is its parent's business.
STDMETHODIMP CUIAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
  if (!end) return E_POINTER;
  ::VariantInit(end);
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* from = nullptr;
    const HRESULT hr = Resolve(start, from);
    if (FAILED(hr)) return hr;
    const std::vector<CControlUI*> children = Children();
    CControlUI* to = nullptr;
    if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
      if (from) return E_INVALIDARG;
      if (!children.empty()) to = direction == NAVDIR_FIRSTCHILD ? children.front() : children.back();
    } else if (direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS) {
      auto it = std::find(children.begin(), children.end(), from);
      if (from && it != children.end()) {
        if (direction == NAVDIR_NEXT && it + 1 != children.end()) to = *(it + 1);
        if (direction == NAVDIR_PREVIOUS && it != children.begin()) to = *(it - 1);
      }
    } else {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (!to) return S_FALSE;
    SetChildId(end, IdOf(to));
    return S_OK;
  });
}

STDMETHODIMP CUIAccessible::accHitTest(long x, long y, VARIANT* child) {
  if (!child) return E_POINTER;
  ::VariantInit(child);
  return OnWindowThread([&]() -> HRESULT {
    POINT pt = {x, y};
    ::ScreenToClient(hwnd_, &pt);
    RECT client = {};
    ::GetClientRect(hwnd_, &client);
    if (!::PtInRect(&client, pt)) return S_FALSE;
    for (CControlUI* control : Children()) {
      if (::PtInRect(&control->Placement(), pt)) {
        SetChildId(child, IdOf(control));
        return S_OK;
      }
    }
    SetChildId(child, CHILDID_SELF);
    return S_OK;
  });
}

STDMETHODIMP CUIAccessible::accDoDefaultAction(VARIANT child) {
  return OnWindowThread([&]() -> HRESULT {
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    if (FAILED(hr)) return hr;
    if (!control || ElementOf(*control).DefaultAction().empty()) return DISP_E_MEMBERNOTFOUND;
    if (!control->IsVisible() || !control->IsEnabled()) return E_FAIL;
    return ::PostMessageW(hwnd_, ActionMessage(), reinterpret_cast<WPARAM>(this), IdOf(control)) ? S_OK : E_FAIL;
  });
}

STDMETHODIMP CUIAccessible::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }

STDMETHODIMP CUIAccessible::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }

// ---- IEnumVARIANT ----

STDMETHODIMP CUIAccessible::Next(ULONG count, VARIANT* items, ULONG* fetched) {
  if (!items) return E_POINTER;
  ULONG got = 0;
  const HRESULT hr = OnWindowThread([&]() -> HRESULT {
    const std::vector<CControlUI*> children = Children();
    for (; got < count && cursor_ < children.size(); ++got) SetChildId(&items[got], IdOf(children[cursor_++]));
    return got == count ? S_OK : S_FALSE;
  });
  if (fetched) *fetched = got;
  return hr;
}

STDMETHODIMP CUIAccessible::Skip(ULONG count) {
  return OnWindowThread([&]() -> HRESULT {
    const size_t total = Children().size();
    cursor_ = static_cast<ULONG>(std::min<size_t>(total, cursor_ + static_cast<size_t>(count)));
    return cursor_ < total || count == 0 ? S_OK : S_FALSE;
  });
}

STDMETHODIMP CUIAccessible::Reset() {
  return OnWindowThread([&]() -> HRESULT {
    cursor_ = 0;
    return S_OK;
  });
}

STDMETHODIMP CUIAccessible::Clone(IEnumVARIANT** copy) {
  if (copy) *copy = nullptr;
  return E_NOTIMPL;
}

}  // namespace SkinUI
