#include <windows.h>

#include "Window/SetupEnvironment.h"

namespace {

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

}  // namespace

// Until the installer window exists, the program prepares its environment, logs the start-up facts
// and ends.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystem();
  CSetupEnvironment environment(instance);
  environment.InitEnvironment();
  environment.LoadDomainFile();
  environment.LogStartupLines();
  return 0;
}
