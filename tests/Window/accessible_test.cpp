#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "FrameTestSupport.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "base/Scoped.h"
#include "base/SystemInfo.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIProgress.h"

using FrameTest::Frame;
using FrameTest::PumpFor;
using FrameTest::PumpUntil;
using TestSupport::Utf8;

// The installer's window as a screen reader meets it: the client object the window hands out for
// WM_GETOBJECT, its children with role, name, state, place, action and value on the home page and the
// progress page, the WinEvents readers listen for, a call from another thread, the object outliving
// the window, and an install started by the Install button's default action alone.

namespace {

// The skin's controls a reader may meet; each child is matched to one of them by where it lies.
const wchar_t* const kControls[] = {L"minbtn",        L"closebtn",       L"btn_install", L"btn_start",
                                    L"chk_agree",     L"btn_lisence",    L"chk_fold",    L"label_path",
                                    L"edit_path",     L"btn_browse",     L"label_tip",   L"progress_download",
                                    L"label_install", L"label_progress", L"btn_hide",    L"banner"};

struct Element {
  long id = 0;
  long role = 0;
  long state = 0;
  std::wstring name, action, value;
  RECT place = {};
  std::string control;  // the skin control drawn at that place, "?" for none
};

VARIANT Child(long id) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

std::wstring Take(BSTR text) {
  std::wstring value = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
  ::SysFreeString(text);
  return value;
}

RECT ScreenRect(HWND hwnd, RECT rc) {
  ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

bool SameRect(const RECT& a, const RECT& b) { return ::EqualRect(&a, &b) != FALSE; }

// The window's client object, obtained as a reader obtains it.
class Reader {
 public:
  explicit Reader(Frame& frame) : frame_(frame) {
    result_ = ::AccessibleObjectFromWindow(frame.hwnd(), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                           reinterpret_cast<void**>(object_.put()));
  }
  HRESULT result() const { return result_; }
  IAccessible* operator->() const { return object_.get(); }
  IAccessible* get() const { return object_.get(); }

  Element Read(long id) const {
    Element e;
    e.id = id;
    VARIANT child = Child(id), out;
    if (SUCCEEDED(object_.get()->get_accRole(child, &out))) e.role = out.lVal;
    if (SUCCEEDED(object_.get()->get_accState(child, &out))) e.state = out.lVal;
    BSTR text = nullptr;
    if (SUCCEEDED(object_.get()->get_accName(child, &text))) e.name = Take(text);
    if (SUCCEEDED(object_.get()->get_accDefaultAction(child, &text))) e.action = Take(text);
    if (SUCCEEDED(object_.get()->get_accValue(child, &text))) e.value = Take(text);
    long x = 0, y = 0, cx = 0, cy = 0;
    if (SUCCEEDED(object_.get()->accLocation(&x, &y, &cx, &cy, child))) e.place = {x, y, x + cx, y + cy};
    e.control = ControlAt(e.place);
    return e;
  }

  // Walked with AccessibleChildren, as readers walk a container.
  std::vector<Element> Children() const {
    long count = 0;
    EXPECT_EQ(S_OK, object_.get()->get_accChildCount(&count));
    std::vector<VARIANT> ids(static_cast<size_t>(count) + 1);
    long obtained = 0;
    EXPECT_TRUE(SUCCEEDED(::AccessibleChildren(object_.get(), 0, count + 1, ids.data(), &obtained)));
    EXPECT_EQ(count, obtained);
    std::vector<Element> children;
    for (long i = 0; i < obtained; ++i) {
      EXPECT_EQ(VT_I4, ids[i].vt) << "child " << i << " should be a simple element";
      children.push_back(Read(ids[i].lVal));
    }
    return children;
  }

  static std::vector<std::string> Controls(const std::vector<Element>& children) {
    std::vector<std::string> names;
    for (const Element& e : children) names.push_back(e.control);
    return names;
  }

  static Element Find(const std::vector<Element>& children, const char* control) {
    for (const Element& e : children)
      if (e.control == control) return e;
    ADD_FAILURE() << control << " is not among the children";
    return Element();
  }

 private:
  std::string ControlAt(const RECT& place) const {
    for (const wchar_t* name : kControls) {
      SkinUI::CControlUI* control = frame_.Find(name);
      if (control && control->IsVisible() && SameRect(place, ScreenRect(frame_.hwnd(), control->Placement())))
        return Utf8(name);
    }
    return "?";
  }

  Frame& frame_;
  Scoped::Release<IAccessible> object_;
  HRESULT result_ = E_FAIL;
};

// WinEvents of this process, delivered out of context while the window's thread pumps.
class EventLog {
 public:
  EventLog() {
    Current() = this;
    hook_ = ::SetWinEventHook(EVENT_OBJECT_REORDER, EVENT_OBJECT_VALUECHANGE, nullptr, &EventLog::Callback,
                              ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  }
  ~EventLog() {
    if (hook_) ::UnhookWinEvent(hook_);
    Current() = nullptr;
  }
  bool Seen(DWORD event, HWND hwnd, long child) const {
    for (const Event& e : events_)
      if (e.event == event && e.hwnd == hwnd && e.object == OBJID_CLIENT && e.child == child) return true;
    return false;
  }
  bool hooked() const { return hook_ != nullptr; }

 private:
  struct Event {
    DWORD event;
    HWND hwnd;
    LONG object, child;
  };
  static EventLog*& Current() {
    static EventLog* log = nullptr;
    return log;
  }
  static void CALLBACK Callback(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    if (Current()) Current()->events_.push_back({event, hwnd, object, child});
  }
  HWINEVENTHOOK hook_ = nullptr;
  std::vector<Event> events_;
};

bool InsideWindow(HWND hwnd, const RECT& place) {
  RECT window = {};
  ::GetWindowRect(hwnd, &window);
  RECT both = {};
  return !::IsRectEmpty(&place) && ::IntersectRect(&both, &window, &place) && SameRect(both, place);
}

// What every child of a page has in common: a role, a name, a place inside the window, and no
// state that hides it.
void ExpectReadable(Frame& frame, const std::vector<Element>& children) {
  for (const Element& e : children) {
    EXPECT_NE("?", e.control) << "a child lies where no control is drawn: " << Utf8(e.name);
    EXPECT_NE(0, e.role) << e.control;
    EXPECT_FALSE(e.name.empty()) << e.control;
    EXPECT_TRUE(InsideWindow(frame.hwnd(), e.place)) << e.control;
    EXPECT_EQ(0, e.state & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE)) << e.control;
  }
}

void ExpectHomePage(Frame& frame, const Reader& reader, const std::vector<std::string>& order) {
  const std::vector<Element> children = reader.Children();
  EXPECT_EQ(order, Reader::Controls(children));
  ExpectReadable(frame, children);

  const Element install = Reader::Find(children, "btn_install");
  EXPECT_EQ(ROLE_SYSTEM_PUSHBUTTON, install.role);
  EXPECT_EQ(frame->Text(L"STR_INSTALL"), install.name);
  EXPECT_EQ(frame->Text(L"STR_ACTION_PRESS"), install.action);
  EXPECT_NE(0, install.state & STATE_SYSTEM_FOCUSABLE);

  const Element agree = Reader::Find(children, "chk_agree");
  const Element licence = Reader::Find(children, "btn_lisence");
  EXPECT_EQ(ROLE_SYSTEM_CHECKBUTTON, agree.role);
  EXPECT_EQ(STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE, agree.state);
  EXPECT_EQ(frame->Text(L"STR_ACTION_UNCHECK"), agree.action);
  // The box has no words of its own: it is named by the licence line, which reads without markup.
  EXPECT_EQ(licence.name, agree.name);
  EXPECT_EQ(std::wstring::npos, licence.name.find_first_of(L"{}"));
  EXPECT_NE(std::wstring::npos, licence.name.find(L"Brenmark")) << Utf8(licence.name);

  const Element fold = Reader::Find(children, "chk_fold");
  EXPECT_EQ(frame->Text(L"STR_CUSTOMIZE_INSTALL"), fold.name);
  EXPECT_EQ(0, fold.state & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(frame->Text(L"STR_ACTION_CHECK"), fold.action);

  // The caption buttons draw only pictures; the window's own menu names them.
  EXPECT_EQ(ROLE_SYSTEM_PUSHBUTTON, Reader::Find(children, "closebtn").role);
  EXPECT_NE(Reader::Find(children, "minbtn").name, Reader::Find(children, "closebtn").name);

  // The client object itself: the window's title, its whole client area.
  VARIANT self = Child(CHILDID_SELF), role;
  ASSERT_EQ(S_OK, reader->get_accRole(self, &role));
  EXPECT_EQ(ROLE_SYSTEM_CLIENT, role.lVal);
  BSTR title = nullptr;
  ASSERT_EQ(S_OK, reader->get_accName(self, &title));
  EXPECT_EQ(frame->Text(L"STR_MESSAGEBOX_TITLE"), Take(title));
  RECT client = {};
  ::GetClientRect(frame.hwnd(), &client);
  EXPECT_TRUE(SameRect(ScreenRect(frame.hwnd(), client), reader.Read(CHILDID_SELF).place));
}

void ExpectProgressPage(Frame& frame, const Reader& reader, const std::vector<std::string>& order) {
  frame->UpdateWindowSate(kWindow_Downloading);
  frame->SetProgressPercent(30);
  const std::vector<Element> children = reader.Children();
  EXPECT_EQ(order, Reader::Controls(children));
  ExpectReadable(frame, children);
  const Element bar = Reader::Find(children, "progress_download");
  EXPECT_EQ(ROLE_SYSTEM_PROGRESSBAR, bar.role);
  EXPECT_EQ(L"30%", bar.value);
  EXPECT_EQ(frame->Text(L"STR_INSTALLING"), bar.name);  // the text below it says what progresses
  EXPECT_EQ(frame->Text(L"STR_INSTALLING"), Reader::Find(children, "label_install").name);
  EXPECT_EQ(ROLE_SYSTEM_STATICTEXT, Reader::Find(children, "label_progress").role);
  EXPECT_EQ(L"30 %", Reader::Find(children, "label_progress").name);
  EXPECT_EQ(frame->Text(L"STR_HIDE"), Reader::Find(children, "btn_hide").name);
}

long IdOf(const Reader& reader, const char* control) { return Reader::Find(reader.Children(), control).id; }

}  // namespace

// ---- English, left to right ----

TEST(Accessible, TheHomePageReadsInOrderWithRolesNamesStatesAndPlaces) {
  Frame frame;
  Reader reader(frame);
  ASSERT_EQ(S_OK, reader.result());
  ExpectHomePage(frame, reader, {"minbtn", "closebtn", "btn_install", "chk_agree", "btn_lisence", "chk_fold"});

  // A reader that finds by point, or steps from child to child, meets the same ids.
  const std::vector<Element> children = reader.Children();
  const Element install = Reader::Find(children, "btn_install");
  VARIANT hit;
  ASSERT_EQ(S_OK, reader->accHitTest((install.place.left + install.place.right) / 2,
                                     (install.place.top + install.place.bottom) / 2, &hit));
  EXPECT_EQ(install.id, hit.lVal);
  VARIANT first, next;
  ASSERT_EQ(S_OK, reader->accNavigate(NAVDIR_FIRSTCHILD, Child(CHILDID_SELF), &first));
  EXPECT_EQ(children.front().id, first.lVal);
  ASSERT_EQ(S_OK, reader->accNavigate(NAVDIR_NEXT, first, &next));
  EXPECT_EQ(children[1].id, next.lVal);
  EXPECT_EQ(S_FALSE, reader->accNavigate(NAVDIR_NEXT, Child(children.back().id), &next));
}

TEST(Accessible, TheOpenPathAreaAddsItsLabelEditAndBrowseButton) {
  Frame frame;
  Reader reader(frame);
  static_cast<SkinUI::COptionUI*>(frame.Find(L"chk_fold")->CastTo(L"Option"))->Selected(true, true);
  PumpFor(30);
  const std::vector<Element> children = reader.Children();
  EXPECT_EQ((std::vector<std::string>{"minbtn", "closebtn", "btn_install", "chk_agree", "btn_lisence", "chk_fold",
                                      "label_path", "edit_path", "btn_browse"}),
            Reader::Controls(children));
  const Element edit = Reader::Find(children, "edit_path");
  EXPECT_EQ(ROLE_SYSTEM_TEXT, edit.role);
  EXPECT_EQ(frame->InstallFolder(), edit.value);
  // The edit shows its value; the label before it names it.
  EXPECT_EQ(Reader::Find(children, "label_path").name, edit.name);
  EXPECT_NE(0, edit.state & STATE_SYSTEM_READONLY);
  EXPECT_NE(0, Reader::Find(children, "chk_fold").state & STATE_SYSTEM_CHECKED);
}

// Default actions run as clicks do, after the call: the licence box toggles, the Install button
// follows it, and the focus given through the object is the toolkit's focus. Each change is a WinEvent.
TEST(Accessible, DefaultActionsAndFocusChangeStatesAndRaiseEvents) {
  Frame frame;
  Reader reader(frame);
  EventLog events;
  ASSERT_TRUE(events.hooked());
  const long agree = IdOf(reader, "chk_agree");
  const long install = IdOf(reader, "btn_install");

  ASSERT_EQ(S_OK, reader->accDoDefaultAction(Child(agree)));
  PumpFor(50);
  EXPECT_EQ(0, reader.Read(agree).state & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(L"Check", reader.Read(agree).action);
  EXPECT_NE(0, reader.Read(install).state & STATE_SYSTEM_UNAVAILABLE);
  EXPECT_TRUE(events.Seen(EVENT_OBJECT_STATECHANGE, frame.hwnd(), agree));
  EXPECT_TRUE(events.Seen(EVENT_OBJECT_STATECHANGE, frame.hwnd(), install));
  EXPECT_EQ(E_FAIL, reader->accDoDefaultAction(Child(install)));  // disabled: nothing is pressed
  // Install had the focus; disabled, it hands it on to the next Tab stop, as a dialog's button does.
  EXPECT_EQ(frame.Find(L"chk_agree"), frame->Manager().GetFocus());
  EXPECT_TRUE(events.Seen(EVENT_OBJECT_FOCUS, frame.hwnd(), agree));

  ASSERT_EQ(S_OK, reader->accDoDefaultAction(Child(agree)));
  PumpFor(50);
  EXPECT_NE(0, reader.Read(agree).state & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(0, reader.Read(install).state & STATE_SYSTEM_UNAVAILABLE);

  // The focus given through the object is the toolkit's.
  ASSERT_EQ(S_OK, reader->accSelect(SELFLAG_TAKEFOCUS, Child(install)));
  PumpFor(50);
  ASSERT_EQ(S_OK, reader->accSelect(SELFLAG_TAKEFOCUS, Child(agree)));
  PumpFor(50);
  EXPECT_EQ(frame.Find(L"chk_agree"), frame->Manager().GetFocus());
  ASSERT_EQ(S_OK, reader->accSelect(SELFLAG_TAKEFOCUS, Child(install)));
  PumpFor(50);
  EXPECT_EQ(frame.Find(L"btn_install"), frame->Manager().GetFocus());
  EXPECT_NE(0, reader.Read(install).state & STATE_SYSTEM_FOCUSED);
  VARIANT focus;
  ASSERT_EQ(S_OK, reader->get_accFocus(&focus));
  EXPECT_EQ(install, focus.lVal);
  EXPECT_TRUE(events.Seen(EVENT_OBJECT_FOCUS, frame.hwnd(), install));
}

TEST(Accessible, TheProgressPageReplacesTheHomePageAndReadsTheBarsValue) {
  Frame frame;
  Reader reader(frame);
  EventLog events;
  ExpectProgressPage(frame, reader, {"progress_download", "label_install", "label_progress", "btn_hide"});
  const long bar = IdOf(reader, "progress_download");
  PumpFor(30);
  EXPECT_TRUE(events.Seen(EVENT_OBJECT_REORDER, frame.hwnd(), CHILDID_SELF));
  EXPECT_TRUE(events.Seen(EVENT_OBJECT_VALUECHANGE, frame.hwnd(), bar));
  // Ids stay with their controls: a page change does not renumber what stays.
  frame->SetProgressPercent(64);
  EXPECT_EQ(L"64%", reader.Read(bar).value);
  EXPECT_EQ(bar, IdOf(reader, "progress_download"));
}

// A reader may call from any thread; the tree is touched only when the window's thread runs its
// messages, and the answer is the same.
TEST(Accessible, ACallFromAnotherThreadWaitsForTheWindowsThread) {
  Frame frame;
  Reader reader(frame);
  long here = 0;
  ASSERT_EQ(S_OK, reader->get_accChildCount(&here));
  std::atomic<bool> done{false};
  long there = -1;
  HRESULT hr = E_FAIL;
  std::thread caller([&] {
    hr = reader->get_accChildCount(&there);
    done = true;
  });
  ::Sleep(300);  // the window's thread runs no messages meanwhile
  EXPECT_FALSE(done);
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 5000));
  caller.join();
  EXPECT_EQ(S_OK, hr);
  EXPECT_EQ(here, there);
}

// A reader that still holds the object after the window is gone gets errors, never freed controls.
TEST(Accessible, EveryCallFailsCleanlyOnceTheWindowIsGone) {
  auto frame = std::make_unique<Frame>();
  Reader reader(*frame);
  const long install = IdOf(reader, "btn_install");
  frame.reset();
  long count = 0;
  EXPECT_EQ(RPC_E_DISCONNECTED, reader->get_accChildCount(&count));
  BSTR name = nullptr;
  EXPECT_EQ(RPC_E_DISCONNECTED, reader->get_accName(Child(install), &name));
  EXPECT_EQ(nullptr, name);
  EXPECT_EQ(RPC_E_DISCONNECTED, reader->accDoDefaultAction(Child(install)));
  VARIANT role;
  EXPECT_EQ(RPC_E_DISCONNECTED, reader->get_accRole(Child(CHILDID_SELF), &role));
  long obtained = 0;
  VARIANT children[4];
  EXPECT_FALSE(SUCCEEDED(::AccessibleChildren(reader.get(), 0, 4, children, &obtained)) && obtained > 0);
}

// The whole install with the Install button's default action as the only input: the sample
// installer is downloaded from the loopback server, checked and run, and the finish view reads its
// Start button.
TEST(Accessible, InstallsThroughTheInstallButtonsDefaultAction) {
  ::SetEnvironmentVariableW(L"SAMPLE_INSTALLER_STEP_MS", L"30");
  Frame frame;
  const std::wstring served = FrameTest::ServedInstallerPath(*frame);
  ASSERT_FALSE(served.empty());
  const std::wstring product = frame->InstallFolder() + frame->Language().GetProductExePath();
  ::DeleteFileW(product.c_str());
  ::CreateDirectoryW(served.substr(0, served.rfind(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(::CopyFileW(FrameTest::BuildFile(L"tests/fixtures/SampleInstaller.exe").c_str(), served.c_str(), FALSE));
  Reader reader(frame);
  const long install = IdOf(reader, "btn_install");
  ASSERT_EQ(S_OK, reader->accDoDefaultAction(Child(install)));
  EXPECT_TRUE(PumpUntil([&] { return frame->WindowState() == kWindow_Finish; }, 90000)) << frame.Log();
  ::DeleteFileW(served.c_str());
  EXPECT_TRUE(TestSupport::IsFile(product)) << Utf8(product);

  const std::vector<Element> children = reader.Children();
  EXPECT_EQ((std::vector<std::string>{"minbtn", "closebtn", "btn_start"}), Reader::Controls(children));
  EXPECT_EQ(frame->Text(L"STR_START"), Reader::Find(children, "btn_start").name);
  EXPECT_NE(0, reader.Read(install).state & STATE_SYSTEM_INVISIBLE);  // known, but no longer shown
  TestSupport::RemoveTree(product.substr(0, product.find_last_of(L'\\') + 1));
}

// ---- Arabic, right to left (run by the Window_rtl test) ----

class AccessibleRtl : public testing::Test {
 protected:
  void SetUp() override {
    if (!frame_->Language().IsRightToLeft()) GTEST_SKIP() << "not an Arabic interface language";
  }
  Frame frame_;
};

// The mirrored skin lists its rows left to right like the other; a reader still starts each row at
// its right end, and hears the Arabic texts. The options row is the English one's mirror: the licence
// box stands at the sentence's start, so it is read first, as in English.
TEST_F(AccessibleRtl, TheHomePageReadsFromTheRightInArabic) {
  Reader reader(frame_);
  ASSERT_EQ(S_OK, reader.result());
  ExpectHomePage(frame_, reader, {"minbtn", "closebtn", "btn_install", "chk_agree", "btn_lisence", "chk_fold"});
  const std::vector<Element> children = reader.Children();
  EXPECT_EQ(L"\x062A\x062B\x0628\x064A\x062A", Reader::Find(children, "btn_install").name);
}

// A reader hears the default actions in the window's language, from the pack.
TEST_F(AccessibleRtl, DefaultActionsAreNamedInArabic) {
  Reader reader(frame_);
  ASSERT_EQ(S_OK, reader.result());
  const std::vector<Element> children = reader.Children();
  EXPECT_EQ(L"\x0636\x063A\x0637", Reader::Find(children, "btn_install").action);  // press
  EXPECT_EQ(L"\x0625\x0644\x063A\x0627\x0621 \x0627\x0644\x062A\x062D\x062F\x064A\x062F",
            Reader::Find(children, "chk_agree").action);                                    // uncheck
  EXPECT_EQ(L"\x062A\x062D\x062F\x064A\x062F", Reader::Find(children, "chk_fold").action);  // check
}

// The mirrored bar is drawn with the value 100 minus the percentage; a reader hears the percentage.
TEST_F(AccessibleRtl, TheProgressPageReadsFromTheRightAndTheBarReadsThePercentage) {
  Reader reader(frame_);
  ExpectProgressPage(frame_, reader, {"progress_download", "label_install", "label_progress", "btn_hide"});
  EXPECT_EQ(70, static_cast<SkinUI::CProgressUI*>(frame_.Find(L"progress_download")->CastTo(L"Progress"))->GetValue());
}
