#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <vector>

#include "E2eSupport.h"
#include "base/Scoped.h"

using namespace E2e;

namespace {

// The reader's side of COM, for the test's thread.
class ComApartment {
 public:
  ComApartment() : result_(::CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

 private:
  HRESULT result_;
};

int ClientHeight(HWND window) {
  RECT rc = {};
  ::GetClientRect(window, &rc);
  return rc.bottom - rc.top;
}

// The child whose name is `name`; 0 when there is none.
long ChildNamed(IAccessible* object, const std::wstring& name) {
  VARIANT children[32];
  long obtained = 0;
  if (FAILED(::AccessibleChildren(object, 0, 32, children, &obtained))) return 0;
  for (long i = 0; i < obtained; ++i) {
    BSTR text = nullptr;
    if (children[i].vt != VT_I4 || object->get_accName(children[i], &text) != S_OK) continue;
    const bool same = name == text;
    ::SysFreeString(text);
    if (same) return children[i].lVal;
  }
  return 0;
}

VARIANT Child(long id) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

long StateOf(IAccessible* object, long id) {
  VARIANT state;
  return SUCCEEDED(object->get_accState(Child(id), &state)) ? state.lVal : -1;
}

}  // namespace

// A screen reader runs in a process of its own: the installer's client object reaches it through
// COM, children, names, roles and states cross over, and a default action asked for from there
// works the window (the options box opens the path area).
TEST(EndToEnd, AScreenReaderInAnotherProcessReadsAndWorksTheWindow) {
  Installer installer;
  HWND window = installer.WaitForWindow();
  ASSERT_NE(nullptr, window);
  ComApartment apartment;
  Scoped::Release<IAccessible> object;
  ASSERT_EQ(S_OK, ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                               reinterpret_cast<void**>(object.put())));
  const long install = ChildNamed(object.get(), PackText(L"STR_INSTALL"));
  const long fold = ChildNamed(object.get(), PackText(L"STR_CUSTOMIZE_INSTALL"));
  ASSERT_NE(0, install);
  ASSERT_NE(0, fold);
  VARIANT role;
  ASSERT_EQ(S_OK, object.get()->get_accRole(Child(fold), &role));
  EXPECT_EQ(ROLE_SYSTEM_CHECKBUTTON, role.lVal);
  EXPECT_EQ(0, StateOf(object.get(), fold) & STATE_SYSTEM_CHECKED);

  const int closed = ClientHeight(window);
  ASSERT_EQ(S_OK, object.get()->accDoDefaultAction(Child(fold)));
  EXPECT_TRUE(WaitFor([&] { return ClientHeight(window) == closed + kFoldHeight; }, 10000)) << ClientHeight(window);
  EXPECT_NE(0, StateOf(object.get(), fold) & STATE_SYSTEM_CHECKED);
  EXPECT_NE(0, ChildNamed(object.get(), PackText(L"STR_BROWSE")));
}
