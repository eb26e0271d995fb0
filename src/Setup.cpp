#include <windows.h>

#include <string>

#include "Window/SetupFrameWnd.h"
#include "Window/SingleInstance.h"
#include "Window/WindowPlacement.h"
#include "toolkit/UIResource.h"
#include "base/ModulePath.h"

namespace {

// WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU; the window base
// drops the caption again once the skin is loaded.
constexpr DWORD kFrameStyle = 0x96C80000;

// The program runs elevated and often from a Downloads folder: every later DLL load, delay-loaded
// imports included, must come from the system folder only. Resolved at run time because Windows 7
// without its 2011 loader update lacks the call.
void RestrictDllSearchToSystem() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDirectories) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetDllDirectoryW(L"");
}

// The toolkit finds its resources in this program and its files beside it.
void PrepareToolkit(HINSTANCE instance) {
  SkinUI::Resource::SetModuleInstance(instance);
  SkinUI::Resource::SetSkinPath(Base::ModuleFolder(instance));
}

}  // namespace

// One copy per program file name; the window does the rest from its own hooks and says what the
// program ends with. A window that could not be created leaves nothing to centre or to wait for, and
// the program still ends with 0.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystem();
  Scoped::CloseHandle instanceMutex = AcquireInstanceMutex();
  if (!instanceMutex) return -1;
  PrepareToolkit(instance);
  CSetupFrameWnd frame(instance);
  frame.Create(nullptr, L"", kFrameStyle, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
  CenterWindow(frame.GetHWND());
  if (frame.GetHWND()) frame.RunModalLoop();
  return frame.ExitCode();
}
