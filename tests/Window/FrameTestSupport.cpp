#include "FrameTestSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include "TestServers.h"
#include "TestSupport.h"
#include "base/SystemInfo.h"
#include "toolkit/core/UIControl.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/skin/UIResource.h"

namespace FrameTest {

using TestSupport::WindowText;

namespace {

constexpr DWORD kEntryStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

}  // namespace

std::wstring ServedInstallerPath(const CSetupFrameWnd& window) {
  const std::wstring prefix = L"https://localhost/";
  const std::wstring url = GetPayloadSource(window.Language(), IsWindows64()).url;
  if (url.rfind(prefix, 0) != 0) return std::wstring();
  std::wstring path = TestServers::WebRoot() + url.substr(prefix.size());
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

void PumpFor(DWORD ms) {
  const DWORD start = ::GetTickCount();
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;  // the window posts it when it goes; tests go on
      if (SkinUI::CUIManager::TranslateMessage(&msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (::GetTickCount() - start < ms);
}

Frame::Frame() {
  SkinUI::Resource::Reset();
  SkinUI::Resource::SetModuleInstance(::GetModuleHandleW(nullptr));
  window_ = std::make_unique<CSetupFrameWnd>(::GetModuleHandleW(nullptr));
  window_->Create(nullptr, L"", kEntryStyle, 0);
  PumpFor(50);
}

Frame::~Frame() {
  if (alive()) ::SendMessageW(hwnd(), WM_CLOSE, CSetupFrameWnd::kOwnCloseRequest, 0);
  PumpFor(20);
  window_.reset();
  SkinUI::Resource::Reset();
}

bool Frame::Visible(const wchar_t* name) {
  SkinUI::CControlUI* control = Find(name);
  return control && control->IsVisible();
}

int Frame::ClientHeight() const {
  RECT rc = {};
  ::GetClientRect(window_->GetHWND(), &rc);
  return rc.bottom - rc.top;
}

std::string Frame::Log() const { return TestSupport::ReadFileBytes(window_->WorkDir() + L"Log\\pelarin_down.log"); }

BoxAnswerer::BoxAnswerer(HWND owner, int answer) : owner_(owner), answer_(answer), thread_([this] { Watch(); }) {}

BoxAnswerer::~BoxAnswerer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void BoxAnswerer::Watch() {
  const DWORD start = ::GetTickCount();
  while (!stop_ && ::GetTickCount() - start < 15000) {
    if (HWND box = TestSupport::FindShownDialog(owner_)) {
      seen_.title = WindowText(box);
      seen_.text = WindowText(::GetDlgItem(box, 0xFFFF));
      seen_.exStyle = static_cast<LONG>(::GetWindowLongW(box, GWL_EXSTYLE));
      found_ = true;
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
      return;
    }
    ::Sleep(20);
  }
}

bool BoxAnswerer::Wait(BoxSeen& seen) {
  if (thread_.joinable()) thread_.join();
  seen = seen_;
  return found_;
}

ChooserDriver::ChooserDriver(HWND owner, PCIDLIST_ABSOLUTE item)
    : owner_(owner), item_(item), thread_([this] { Drive(); }) {}

ChooserDriver::~ChooserDriver() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ChooserDriver::Drive() {
  const DWORD start = ::GetTickCount();
  while (!stop_ && ::GetTickCount() - start < 15000) {
    if (HWND chooser = TestSupport::FindShownDialog(owner_)) {
      // A chooser that has only just appeared may still be filling its tree: the selection is asked
      // for until the tree's selected item moves. The chooser's verdict on it is made meanwhile.
      HWND tree = ::FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
      const LRESULT first = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
      for (int i = 0; i < 100; ++i) {
        ::SendMessageW(chooser, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(item_));
        if (::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) != first) break;
        ::Sleep(50);
      }
      okOffered_ = ::IsWindowEnabled(::GetDlgItem(chooser, IDOK)) != FALSE;
      found_ = true;
      ::PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return;
    }
    ::Sleep(20);
  }
}

bool ChooserDriver::Wait(bool& okOffered) {
  if (thread_.joinable()) thread_.join();
  okOffered = okOffered_;
  return found_;
}

}  // namespace FrameTest
