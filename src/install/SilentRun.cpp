#include "install/SilentRun.h"

#include <windows.h>

#include <shlobj.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "download/ResumeState.h"
#include "base/FileSystem.h"
#include "log/Log.h"
#include "install/ProcessHelper.h"

namespace {

// Only the start of the file matters; the installer writes a short number there.
constexpr size_t kProgressBytes = 10;

const wchar_t kHelperProcessName[] = L"pelarin-download.tmp";

const char* RouteName(LaunchRoute route) {
  switch (route) {
    case kLaunchRoute_Scheduler:
      return "task scheduler";
    case kLaunchRoute_ShellDesktop:
      return "desktop shell";
    case kLaunchRoute_Direct:
      return "direct start, not elevated";
    case kLaunchRoute_Elevated:
      return "own rights";
    default:
      return "none";
  }
}

}  // namespace

int InstallPercent(int downloadShare, long n) {
  long long percent = downloadShare + static_cast<long long>(100 - downloadShare) * n / 100;
  if (percent > INT_MAX) return INT_MAX;
  if (percent < INT_MIN) return INT_MIN;
  return static_cast<int>(percent);
}

long ParseProgressText(const char* text) { return std::strtol(text, nullptr, 10); }

bool ReadProgressFile(const std::wstring& path, long& n) {
  FILE* file = ::_wfopen(path.c_str(), L"r");
  if (!file) return false;
  char text[kProgressBytes + 1] = {};
  size_t got = std::fread(text, 1, kProgressBytes, file);
  std::fclose(file);
  text[got] = '\0';
  n = ParseProgressText(text);
  return true;
}

bool ProgressFilePercent(const std::wstring& path, int downloadShare, int& percent) {
  long n = 0;
  if (!ReadProgressFile(path, n)) return false;
  percent = InstallPercent(downloadShare, n);
  return true;
}

std::wstring InstallerPathIn(const std::wstring& workDir) { return workDir + L"pelarin-download.exe"; }
std::wstring ProgressFilePathIn(const std::wstring& workDir) { return workDir + L"temp.progress"; }

void RemoveInstallFiles(const std::wstring& workDir, PartialDownload partial) {
  KillSilentInstallProcess();
  if (workDir.empty()) return;
  const std::wstring installer = InstallerPathIn(workDir);
  // A partial file without its state (a server that names no size or validator) cannot be gone on
  // from: it only takes room.
  if (partial == PartialDownload::kDelete || !FileExists(ResumeState::PathFor(installer))) {
    ::DeleteFileW(installer.c_str());
    ::DeleteFileW(ResumeState::PathFor(installer).c_str());
    ::DeleteFileW((ResumeState::PathFor(installer) + L".tmp").c_str());
  }
  ::DeleteFileW(ProgressFilePathIn(workDir).c_str());
}

void DeleteStaleProgressFile(const std::wstring& path) {
  if (FileExists(path)) ::DeleteFileW(path.c_str());
}

void CreateProductFolder(const std::wstring& productFolder) { Base::CreateFolderTree(productFolder); }

bool KillSilentInstallProcess() {
  DWORD pid = 0;
  if (!FindProcess(kHelperProcessName, pid)) return false;
  LOG_INFO("KillSilentInstallProcess");
  KillProcess(pid);
  return true;
}

bool StartProductProcess(const std::wstring& productPath, bool runAsAdmin) {
  DWORD attributes = ::GetFileAttributesW(productPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // The shell would put up its own error box, outside our window, for a missing program.
    LOG_INFOW(L"ERR:StartProduct missing %ls", productPath.c_str());
    return false;
  }
  // The scheduler and the desktop shell take the request and say nothing when the file then fails
  // to start, so a file that is no program is found out here.
  DWORD binaryType = 0;
  if (!::GetBinaryTypeW(productPath.c_str(), &binaryType)) {
    LOG_INFOW(L"ERR:StartProduct not a program: %ls", productPath.c_str());
    return false;
  }
  const LaunchRoute route = LaunchProduct(productPath, runAsAdmin);
  if (route == kLaunchRoute_None) {
    LOG_INFOW(L"ERR:StartProduct no way to start %ls", productPath.c_str());
    return false;
  }
  LOG_INFO("StartProduct by %s", RouteName(route));
  return true;
}
