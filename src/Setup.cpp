#include <windows.h>

#include <string>

#include "install/CommandLine.h"
#include "install/ExitCode.h"
#include "Window/SetupEnvironment.h"
#include "Window/SetupFrameWnd.h"
#include "install/SingleInstance.h"
#include "Window/WindowPlacement.h"
#include "toolkit/skin/UIResource.h"
#include "base/ModulePath.h"
#include "log/Log.h"

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

// The log's last line says what the run ends with; whatever a worker still writes after it is dropped.
int EndRun(int exitCode, const std::string& why) {
  LogClose("exit code " + std::to_string(exitCode) + ": " + why);
  return exitCode;
}

// "/?" and a refused command line: the usage and the exit codes, never in a quiet run.
int ShowUsage(const SetupOptions& options) {
  const bool refused = !options.error.empty();
  if (options.mode != RunMode::kQuiet) {
    const std::wstring text = refused ? options.error + L"\n\n" + UsageText() : UsageText();
    ::MessageBoxW(nullptr, text.c_str(), (Base::ProgramBaseName(Base::ModulePath()) + L".exe").c_str(),
                  MB_OK | (refused ? MB_ICONWARNING : MB_ICONINFORMATION));
  }
  if (!refused) return EndRun(kExit_Installed, "the usage was asked for");
  LOG_INFOW(L"ERR:command line refused: %ls", options.error.c_str());
  return EndRun(kExit_InvalidSwitch, "the command line is not valid");
}

// A quiet run's window works unseen from its creation to its end.
int RunWindow(HINSTANCE instance, const SetupOptions& options) {
  PrepareToolkit(instance);
  CSetupFrameWnd frame(instance, options);
  const bool shown = options.mode != RunMode::kQuiet;
  frame.Create(nullptr, L"", shown ? kFrameStyle : kFrameStyle & ~WS_VISIBLE, 0, CW_USEDEFAULT, CW_USEDEFAULT,
               CW_USEDEFAULT, CW_USEDEFAULT);
  CenterWindow(frame.GetHWND());
  if (frame.GetHWND()) frame.RunModalLoop(shown);
  return EndRun(frame.ExitCode(), frame.ExitReason());
}

}  // namespace

// One copy per program file name; the window does the rest from its own hooks and says what the
// program ends with (install/ExitCode.h).
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  RestrictDllSearchToSystem();
  SetupOptions options = ParseCommandLine(commandLine);
  Scoped::CloseHandle instanceMutex = AcquireInstanceMutex();
  StartSetupLog(options.logCopy);
  if (!instanceMutex) return EndRun(kExit_AlreadyRunning, "another copy of this installer is running");
  if (commandLine && *commandLine) LOG_INFOW(L"command line: %ls (%hs run)", commandLine, options.ModeName());
  CheckOptionsOnDisk(options);
  if (options.showUsage || !options.error.empty()) return ShowUsage(options);
  return RunWindow(instance, options);
}
