#include "tool/ProcessHelper.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

#include "tool/ScopedWin.h"

namespace {

// Process names longer than this never match; the comparison works on a fixed-size copy.
constexpr int kProcessNameChars = 64;

// Rights the installer has always asked for when it ends a running copy of the product.
constexpr DWORD kKillAccess = PROCESS_TERMINATE | PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION |
                              PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;

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

void LaunchAsInteractiveUser(const std::wstring& path) {
  // Stays loaded on purpose: the call may hand work to the library that outlives it.
  HMODULE wdc = LoadSystemWdc();
  if (!wdc) return;
  auto run = reinterpret_cast<RunTaskAsInteractiveUserFn>(
      reinterpret_cast<void*>(::GetProcAddress(wdc, "WdcRunTaskAsInteractiveUser")));
  if (run) run(path.c_str(), nullptr, kInteractiveTaskFlags);
}

void LaunchAsIs(const std::wstring& path) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.lpParameters = L"";
  info.nShow = SW_SHOWNORMAL;
  ::ShellExecuteExW(&info);
}

}  // namespace

bool FileExists(const std::wstring& path) {
  FILE* file = ::_wfopen(path.c_str(), L"r");
  if (!file) return false;
  std::fclose(file);
  return true;
}

bool FindProcess(const std::wstring& name, DWORD& pid) {
  wchar_t wanted[kProcessNameChars] = {};
  ::lstrcpynW(wanted, name.c_str(), kProcessNameChars);
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

bool RunSilentInstaller(const std::wstring& installerPath, const std::wstring& installFolder,
                        const std::wstring& progressFilePath) {
  std::wstring arguments = BuildSilentCommandLine(installFolder, progressFilePath);
  // CreateProcessW may write into the command line, so it gets a private copy.
  std::vector<wchar_t> commandLine(arguments.size() + 1, L'\0');
  arguments.copy(commandLine.data(), arguments.size());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(installerPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &info))
    return false;
  Scoped::CloseHandle process(info.hProcess);
  Scoped::CloseHandle thread(info.hThread);
  ::ResumeThread(thread.get());
  ::WaitForSingleObject(process.get(), INFINITE);
  return true;
}

void LaunchProduct(const std::wstring& path, bool runAsAdmin) {
  if (runAsAdmin)
    LaunchAsIs(path);
  else
    LaunchAsInteractiveUser(path);
}
