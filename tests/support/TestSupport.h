#pragma once

// Small helpers the test suites share: scratch folders, whole-file reads and writes, child processes,
// message boxes.

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

#include "base/Scoped.h"

namespace TestSupport {

// A fresh, empty folder under %TEMP% (ends with a backslash), removed with everything in it when
// the object goes away.
class ScratchDir {
 public:
  explicit ScratchDir(const wchar_t* tag = L"t");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + name; }

 private:
  std::wstring path_;
};

// Environment variables of this process (which the programs it starts inherit) set, or removed for a
// null value, for the lifetime of the object; then put back as they were.
class EnvironmentScope {
 public:
  explicit EnvironmentScope(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values);
  ~EnvironmentScope();
  EnvironmentScope(const EnvironmentScope&) = delete;
  EnvironmentScope& operator=(const EnvironmentScope&) = delete;

 private:
  struct Saved {
    std::wstring name, value;
    bool existed;
  };
  std::vector<Saved> saved_;
};

bool RemoveTree(const std::wstring& path);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);
// Whether the parts appear in the text in this order, each after the end of the one before.
bool InOrder(const std::string& text, const std::vector<std::string>& parts);
long long FileSize(const std::wstring& path);

// The free room in whole MiB of the tests' small drive (a root such as "S:\\", made by
// tools/small-drive.sh); false, with the reason, when that drive is missing or not small.
bool SmallDriveFreeMB(const std::wstring& root, int& freeMB, std::string& why);

// Folder of the running test executable, with a trailing backslash.
std::wstring ExeDir();

// Starts a command line; the process handle, empty when it could not start.
Scoped::CloseHandle StartProcess(const std::wstring& commandLine);

// Runs a command line, waits up to timeoutMs and returns its exit code (or -1000 on failure to start,
// -1001 on time-out, after which the process is ended).
int RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 60000);

// The first top-level window for which `match` holds; null when there is none.
HWND FindTopWindow(const std::function<bool(HWND)>& match);
// The process that created the window.
DWORD WindowProcess(HWND hwnd);
std::wstring WindowClass(HWND hwnd);
// The first shown dialog (a message box, class "#32770") that `owner` owns; null when there is none.
HWND FindShownDialog(HWND owner);
std::wstring WindowText(HWND hwnd);

std::string Utf8(const std::wstring& wide);
std::wstring Wide(const std::string& utf8);

#ifdef SETUP_BINARY_DIR
// A file of the build tree as Wine sees it (the Unix root is drive Z:); name uses forward slashes.
inline std::wstring BuildFile(const std::wstring& name) {
  std::wstring path = L"Z:" + Wide(SETUP_BINARY_DIR) + L"/" + name;
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}
#endif

}  // namespace TestSupport
