#include "E2eSupport.h"

#include <shlobj.h>

#include "TestServers.h"
#include "tool/ProcessHelper.h"
#include "tool/ScopedWin.h"
#include "tool/SystemInfo.h"

namespace E2e {

namespace {

const wchar_t kProgramName[] = L"e2e-setup";
const wchar_t kServerPrefix[] = L"https://localhost/";

std::wstring Backslashes(std::wstring path) {
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

}  // namespace

std::wstring BuildFile(const std::wstring& name) {
  return Backslashes(L"Z:" + TestSupport::Wide(SETUP_BINARY_DIR) + L"/" + name);
}

std::wstring WorkDir() { return GetProgramFilesDir() + L"pelarin_down\\" + kProgramName + L"\\"; }
std::string Log() { return TestSupport::ReadFileBytes(WorkDir() + L"Log\\pelarin_down.log"); }
std::wstring ProductDir() { return GetProgramFilesDir() + L"Brenmark Solvetta\\"; }

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool InOrder(const std::string& text, std::initializer_list<const char*> parts) {
  size_t at = 0;
  for (const char* part : parts) {
    at = text.find(part, at);
    if (at == std::string::npos) return false;
  }
  return true;
}

int CountOf(const std::string& text, const char* part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool WaitForLog(const char* part, DWORD timeoutMs) {
  return WaitFor([&] { return Contains(Log(), part); }, timeoutMs);
}

std::wstring DownloadUrl() {
  wchar_t url[512] = {};
  ::GetPrivateProfileStringW(L"URL", IsWindows64() ? L"STR_DOWN_URL_X64" : L"STR_DOWN_URL", L"", url, 512,
                             (WorkDir() + L"language\\English\\UrlInfo.ini").c_str());
  return url;
}

std::wstring ServedInstallerPath() {
  const std::wstring url = DownloadUrl();
  if (url.rfind(kServerPrefix, 0) != 0) return std::wstring();
  return Backslashes(TestServers::WebRoot() + url.substr(wcslen(kServerPrefix)));
}

bool ServeSampleInstaller() {
  const std::wstring target = ServedInstallerPath();
  if (target.empty()) return false;
  ::CreateDirectoryW(target.substr(0, target.rfind(L'\\')).c_str(), nullptr);
  return ::CopyFileW(BuildFile(L"tests/fixtures/SampleInstaller.exe").c_str(), target.c_str(), FALSE) != FALSE;
}

void SetServerSwitch(const wchar_t* name, const std::string& content) {
  const std::wstring path = TestServers::WebRoot() + name;
  if (content.empty()) {
    ::DeleteFileW(path.c_str());
  } else {
    TestSupport::WriteFileBytes(path, content);
  }
}

std::wstring PackText(const wchar_t* key) {
  wchar_t text[512] = {};
  ::GetPrivateProfileStringW(L"LANSTR", key, L"", text, 512, (WorkDir() + L"language\\English\\text.ini").c_str());
  return text;
}

std::wstring AnswerBox(HWND owner, int answer, DWORD timeoutMs) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = TestSupport::FindShownDialog(owner)) != nullptr; }, timeoutMs)) return L"(no box)";
  const std::wstring text = TestSupport::WindowText(::GetDlgItem(box, 0xFFFF));
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
  return text;
}

namespace {

// A copy of a text in another process's memory, released with the object.
class RemoteText {
 public:
  RemoteText(DWORD pid, const std::wstring& text)
      : process_(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid)) {
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    if (process_) address_ = ::VirtualAllocEx(process_.get(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    if (address_ && !::WriteProcessMemory(process_.get(), address_, text.c_str(), bytes, nullptr)) Free();
  }
  ~RemoteText() { Free(); }
  RemoteText(const RemoteText&) = delete;
  RemoteText& operator=(const RemoteText&) = delete;
  void* address() const { return address_; }

 private:
  void Free() {
    if (address_) ::VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    address_ = nullptr;
  }
  Scoped::CloseHandle process_;
  void* address_ = nullptr;
};

}  // namespace

bool ChooseFolder(HWND owner, const std::wstring& folder) {
  HWND chooser = nullptr;
  if (!WaitFor([&] { return (chooser = TestSupport::FindShownDialog(owner)) != nullptr; }, 30000)) return false;
  // The chooser reads the path in its own process, so the text goes there first.
  RemoteText path(TestSupport::WindowProcess(chooser), folder);
  if (!path.address()) return false;
  ::SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.address()));
  const bool offered = ::IsWindowEnabled(::GetDlgItem(chooser, IDOK)) != FALSE;
  if (offered) ::PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return offered;
}

bool SmallDriveFreeMB(int& freeMB) {
  ULARGE_INTEGER available = {}, total = {}, free = {};
  if (!::GetDiskFreeSpaceExW(SETUP_SMALL_DRIVE L"\\", &available, &total, &free)) return false;
  freeMB = static_cast<int>(free.QuadPart >> 20);
  return total.QuadPart < (64ull << 20);
}

DWORD RunningProcess(const wchar_t* imageName) {
  DWORD pid = 0;
  return FindProcess(imageName, pid) ? pid : 0;
}

void EndProcesses(const wchar_t* imageName) {
  for (int i = 0; i < 16; ++i) {
    const DWORD pid = RunningProcess(imageName);
    if (pid == 0) return;
    KillProcess(pid);
    ::Sleep(100);
  }
}

Installer::Installer() : folder_(L"e2e"), path_(folder_ / (std::wstring(kProgramName) + L".exe")) {
  TestSupport::RemoveTree(WorkDir());
  ::CopyFileW(BuildFile(L"setup-loopback.exe").c_str(), path_.c_str(), FALSE);
  process_ = std::make_unique<TestSupport::InstallerProcess>(path_);
}

Installer::~Installer() {
  process_.reset();  // ends a copy a failed test left running before its work folder goes
  TestSupport::RemoveTree(WorkDir());
}

HWND Installer::WaitForWindow() { return window_ = process_->WaitForWindow(kTimeoutMs); }

void Installer::Click(POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  ::PostMessageW(window_, WM_MOUSEMOVE, 0, where);
  ::PostMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, where);
  ::PostMessageW(window_, WM_LBUTTONUP, 0, where);
}

int Installer::WaitForExit() { return process_->WaitForExit(kTimeoutMs); }

}  // namespace E2e
