#include "install/ProcessHelper.h"

#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

#include "base/Scoped.h"

namespace {

// Process names longer than this never match; the comparison works on a fixed-size copy.

// Rights the installer has always asked for when it ends a running copy of the product.
constexpr DWORD kKillAccess =
    PROCESS_TERMINATE | PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;

// Flags the task scheduler route expects: run at once, as the user of the interactive desktop.
constexpr DWORD kInteractiveTaskFlags = 57;

using RunTaskAsInteractiveUserFn = HRESULT(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);

// The product must not inherit our elevation. The library comes from the system folder only: we run
// elevated, often from a Downloads folder where anyone may have dropped a DLL of that name.
HMODULE LoadSystemWdc() {
  HMODULE module = ::LoadLibraryExW(L"wdc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // Windows 7 without its 2011 loader update rejects the flag; a full path keeps the same guarantee.
  wchar_t system[MAX_PATH] = {};
  UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path = std::wstring(system) + L"\\wdc.dll";
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// True when the scheduler's entry point was found and called; its own result says nothing useful.
bool LaunchAsInteractiveUser(const std::wstring& path) {
  // Stays loaded on purpose: the call may hand work to the library that outlives it.
  HMODULE wdc = LoadSystemWdc();
  if (!wdc) return false;
  auto run = reinterpret_cast<RunTaskAsInteractiveUserFn>(
      reinterpret_cast<void*>(::GetProcAddress(wdc, "WdcRunTaskAsInteractiveUser")));
  if (!run) return false;
  run(path.c_str(), nullptr, kInteractiveTaskFlags);
  return true;
}

bool LaunchAsIs(const std::wstring& path) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;  // a failure is the caller's to report, in its own window
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.lpParameters = L"";
  info.nShow = SW_SHOWNORMAL;
  return ::ShellExecuteExW(&info) != FALSE;
}

// A writable command line naming just the program, quoted, as CreateProcessW wants it.
std::vector<wchar_t> QuotedCommandLine(const std::wstring& path) {
  std::wstring line = L"\"" + path + L"\"";
  return std::vector<wchar_t>(line.c_str(), line.c_str() + line.size() + 1);
}

// COM on the calling thread for the length of one call; a thread already in another apartment
// model keeps it.
class ComScope {
 public:
  ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

// A BSTR from oleaut32, loaded at run time because the library is no import of ours. It is one of
// the system's KnownDLLs, so a load by name never picks up a planted copy.
class SystemString {
 public:
  explicit SystemString(const std::wstring& text) {
    oleaut_.reset(::LoadLibraryW(L"oleaut32.dll"));
    if (!oleaut_) return;
    auto alloc = reinterpret_cast<BSTR(WINAPI*)(const OLECHAR*)>(
        reinterpret_cast<void*>(::GetProcAddress(oleaut_.get(), "SysAllocString")));
    free_ = reinterpret_cast<void(WINAPI*)(BSTR)>(
        reinterpret_cast<void*>(::GetProcAddress(oleaut_.get(), "SysFreeString")));
    if (alloc && free_) value_ = alloc(text.c_str());
  }
  ~SystemString() {
    if (value_) free_(value_);
  }
  SystemString(const SystemString&) = delete;
  SystemString& operator=(const SystemString&) = delete;
  BSTR get() const { return value_; }

 private:
  Scoped::FreeLibrary oleaut_;
  void(WINAPI* free_)(BSTR) = nullptr;
  BSTR value_ = nullptr;
};

// The shell's own automation object, reached through the desktop window's view. What it starts runs
// in the desktop shell's process, with the signed-in user's rights and without our elevation.
Scoped::Release<IShellDispatch2> DesktopShellDispatch() {
  Scoped::Release<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(windows.put()))))
    return {};
  VARIANT desktop = {};  // VT_EMPTY
  long window = 0;
  Scoped::Release<IDispatch> found;
  if (windows.get()->FindWindowSW(&desktop, &desktop, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.put()) != S_OK ||
      !found)
    return {};
  Scoped::Release<IServiceProvider> provider;
  Scoped::Release<IShellBrowser> browser;
  Scoped::Release<IShellView> view;
  Scoped::Release<IDispatch> background;
  Scoped::Release<IShellFolderViewDual> folderView;
  Scoped::Release<IDispatch> application;
  Scoped::Release<IShellDispatch2> shell;
  if (FAILED(found.get()->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(provider.put()))) ||
      FAILED(provider.get()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                          reinterpret_cast<void**>(browser.put()))) ||
      FAILED(browser.get()->QueryActiveShellView(view.put())) ||
      FAILED(view.get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.put()))) ||
      FAILED(background.get()->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(folderView.put()))) ||
      FAILED(folderView.get()->get_Application(application.put())) ||
      FAILED(application.get()->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.put()))))
    return {};
  return shell;
}

bool LaunchThroughDesktopShell(const std::wstring& path) {
  ComScope com;
  Scoped::Release<IShellDispatch2> shell = DesktopShellDispatch();
  SystemString file(path);
  if (!shell || !file.get()) return false;
  VARIANT none = {};  // VT_EMPTY: no arguments, folder or verb
  VARIANT show = {};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return SUCCEEDED(shell.get()->ShellExecute(file.get(), none, none, none, show));
}

bool LaunchDirectly(const std::wstring& path) {
  std::vector<wchar_t> line = QuotedCommandLine(path);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  Scoped::CloseHandle thread(info.hThread);
  Scoped::CloseHandle process(info.hProcess);
  return true;
}

}  // namespace

bool FileExists(const std::wstring& path) {
  FILE* file = ::_wfopen(path.c_str(), L"r");
  if (!file) return false;
  std::fclose(file);
  return true;
}

// The whole name is compared: a name cut short would match any process that merely starts like it,
// and the caller ends the process it finds.
bool FindProcess(const std::wstring& name, DWORD& pid) {
  if (name.empty()) return false;
  const wchar_t* wanted = name.c_str();
  Scoped::CloseFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (::lstrcmpW(entry.szExeFile, wanted) == 0) {
      pid = entry.th32ProcessID;
      return true;
    }
  }
  return false;
}

bool KillProcess(DWORD pid) {
  Scoped::CloseHandle process(::OpenProcess(kKillAccess, FALSE, pid));
  if (!process) return false;
  ::TerminateProcess(process.get(), 0);
  return true;
}

void OpenInBrowser(HWND owner, const std::wstring& target) {
  ::ShellExecuteW(owner, L"Open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::wstring BuildSilentCommandLine(const std::wstring& installFolder, const std::wstring& progressFilePath) {
  return L" /verysilent /pelarin_down /wait_run /path=\"" + installFolder + L"\" /progress=\"" + progressFilePath +
         L"\"";
}

Scoped::CloseHandle StartSilentInstaller(const std::wstring& installerPath, const std::wstring& installFolder,
                                         const std::wstring& progressFilePath) {
  std::wstring arguments = BuildSilentCommandLine(installFolder, progressFilePath);
  // CreateProcessW may write into the command line, so it gets a private copy.
  std::vector<wchar_t> commandLine(arguments.size() + 1, L'\0');
  arguments.copy(commandLine.data(), arguments.size());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(installerPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &info))
    return {};
  Scoped::CloseHandle process(info.hProcess);
  Scoped::CloseHandle thread(info.hThread);
  ::ResumeThread(thread.get());
  return process;
}

bool RunSilentInstaller(const std::wstring& installerPath, const std::wstring& installFolder,
                        const std::wstring& progressFilePath) {
  Scoped::CloseHandle process = StartSilentInstaller(installerPath, installFolder, progressFilePath);
  if (!process) return false;
  ::WaitForSingleObject(process.get(), INFINITE);
  return true;
}

LaunchRoute LaunchProduct(const std::wstring& path, bool runAsAdmin) {
  if (runAsAdmin) return LaunchAsIs(path) ? kLaunchRoute_Elevated : kLaunchRoute_None;
  if (LaunchAsInteractiveUser(path)) return kLaunchRoute_Scheduler;
  if (LaunchThroughDesktopShell(path)) return kLaunchRoute_ShellDesktop;
  if (!IsProcessElevated() && LaunchDirectly(path)) return kLaunchRoute_Direct;
  return kLaunchRoute_None;
}

bool IsProcessElevated() {
  Scoped::CloseHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return true;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return true;
  return elevation.TokenIsElevated != 0;
}
