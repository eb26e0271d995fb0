#include "E2eSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include "TestServers.h"
#include "install/ProcessHelper.h"
#include "base/Scoped.h"
#include "base/SystemInfo.h"

namespace E2e {

namespace {

const wchar_t* const kServerPrefixes[] = {L"https://localhost/", L"https://payload.corp.test/"};

std::wstring Backslashes(std::wstring path) {
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

}  // namespace

std::wstring WorkDirOf(const wchar_t* programName) {
  return GetProgramFilesDir() + L"pelarin_down\\" + programName + L"\\";
}
std::wstring WorkDir() { return WorkDirOf(kProgramName); }
std::string LogOf(const wchar_t* programName) {
  return TestSupport::ReadFileBytes(WorkDirOf(programName) + L"Log\\pelarin_down.log");
}
std::string Log() { return LogOf(kProgramName); }
std::wstring ProductDir() { return GetProgramFilesDir() + L"Brenmark Solvetta\\"; }

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

int CountOf(const std::string& text, const char* part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool WaitForLog(const char* part, DWORD timeoutMs) {
  return WaitFor([&] { return Contains(Log(), part); }, timeoutMs);
}

namespace {

// A file of the unpacked English pack: with another interface language it comes out of the program's
// resources just after the window appears, with the rest of the pack.
std::wstring EnglishPackFile(const wchar_t* programName, const wchar_t* name) {
  const std::wstring path = WorkDirOf(programName) + L"language\\English\\" + name;
  WaitFor([&] { return TestSupport::IsFile(path); }, 10000);
  return path;
}

}  // namespace

std::wstring DownloadUrl(const wchar_t* programName) {
  const std::wstring ini = EnglishPackFile(programName, L"UrlInfo.ini");
  wchar_t url[512] = {};
  // A run in another language unpacks the English folder after its window paints: the file may be
  // there and still empty.
  WaitFor(
      [&] {
        return ::GetPrivateProfileStringW(L"URL", IsWindows64() ? L"STR_DOWN_URL_X64" : L"STR_DOWN_URL", L"", url, 512,
                                          ini.c_str()) > 0;
      },
      10000);
  return url;
}

std::wstring ServedInstallerPath(const wchar_t* programName) {
  const std::wstring url = DownloadUrl(programName);
  for (const wchar_t* prefix : kServerPrefixes) {
    if (url.rfind(prefix, 0) == 0) return Backslashes(TestServers::WebRoot() + url.substr(wcslen(prefix)));
  }
  return std::wstring();
}

namespace {

// The sample installer copied to `target` on the server, its folder made first.
bool ServeSampleInstallerAt(const std::wstring& target) {
  if (target.empty()) return false;
  ::CreateDirectoryW(target.substr(0, target.rfind(L'\\')).c_str(), nullptr);
  return ::CopyFileW(BuildFile(L"tests/fixtures/SampleInstaller.exe").c_str(), target.c_str(), FALSE) != FALSE;
}

}  // namespace

bool ServeSampleInstaller() { return ServeSampleInstallerAt(ServedInstallerPath()); }

const std::wstring& ServedInstallerAhead() {
  static const std::wstring served = [] {
    Installer probe;
    if (!probe.WaitForWindow()) return std::wstring();
    std::wstring path = ServedInstallerPath();
    ::PostMessageW(probe.window(), WM_CLOSE, 1000, 0);  // the program's own close: no question
    probe.WaitForExit();
    return path;
  }();
  return served;
}

bool ServeSampleInstallerAhead() { return ServeSampleInstallerAt(ServedInstallerAhead()); }

std::wstring PackText(const wchar_t* key, const wchar_t* programName) {
  wchar_t text[512] = {};
  ::GetPrivateProfileStringW(L"LANSTR", key, L"", text, 512, EnglishPackFile(programName, L"text.ini").c_str());
  return text;
}

std::wstring ShownText(const wchar_t* key) {
  std::wstring text = PackText(key);
  const size_t at = text.find(L"PRODUCT");
  return at == std::wstring::npos ? text : text.replace(at, 7, L"Brenmark Solvetta");
}

std::wstring AnswerBox(HWND owner, int answer, DWORD timeoutMs) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = TestSupport::FindShownDialog(owner)) != nullptr; }, timeoutMs)) return L"(no box)";
  const std::wstring text = TestSupport::WindowText(::GetDlgItem(box, 0xFFFF));
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
  return text;
}

namespace {

// A block of another process's memory, released with the object: what a message to one of its
// windows points to must lie there.
class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, SIZE_T bytes)
      : process_(process),
        address_(static_cast<char*>(::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE))) {}
  ~RemoteMemory() {
    if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  char* address() const { return address_; }
  bool Write(const void* data, SIZE_T bytes, SIZE_T offset = 0) const {
    return address_ && ::WriteProcessMemory(process_, address_ + offset, data, bytes, nullptr);
  }
  bool Read(void* data, SIZE_T bytes, SIZE_T offset = 0) const {
    return address_ && ::ReadProcessMemory(process_, address_ + offset, data, bytes, nullptr);
  }

 private:
  HANDLE process_;
  char* address_;
};

// The text of the item the chooser's folder tree has selected.
std::wstring SelectedItemText(HWND chooser, HANDLE process) {
  HWND tree = ::FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
  const LPARAM item = ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
  if (!tree || !item) return std::wstring();
  wchar_t text[MAX_PATH] = {};
  RemoteMemory block(process, sizeof(TVITEMW) + sizeof(text));
  TVITEMW request = {};
  request.mask = TVIF_TEXT;
  request.hItem = reinterpret_cast<HTREEITEM>(item);
  request.pszText = reinterpret_cast<LPWSTR>(block.address() + sizeof(TVITEMW));
  request.cchTextMax = MAX_PATH;
  if (!block.Write(&request, sizeof(request)) || !block.Write(text, sizeof(text), sizeof(TVITEMW)))
    return std::wstring();
  ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.address()));
  block.Read(text, sizeof(text) - sizeof(wchar_t), sizeof(TVITEMW));
  return text;
}

}  // namespace

bool ChooseFolder(HWND owner, const std::wstring& folder, const std::wstring& itemText) {
  HWND chooser = nullptr;
  if (!WaitFor([&] { return (chooser = TestSupport::FindShownDialog(owner)) != nullptr; }, 30000)) return false;
  Scoped::CloseHandle process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                                            TestSupport::WindowProcess(chooser)));
  // The chooser reads the path in its own process, so the text goes there first.
  RemoteMemory path(process.get(), (folder.size() + 1) * sizeof(wchar_t));
  if (!path.Write(folder.c_str(), (folder.size() + 1) * sizeof(wchar_t))) return false;
  // A chooser that has only just appeared may still be filling its tree; the selection is asked
  // for until the tree shows it.
  const bool selected = WaitFor(
      [&] {
        ::SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.address()));
        return SelectedItemText(chooser, process.get()).find(itemText) != std::wstring::npos;
      },
      10000);
  const bool offered = ::IsWindowEnabled(::GetDlgItem(chooser, IDOK)) != FALSE;
  if (!selected || !offered) {
    ::PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return false;
  }
  ::PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return true;
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

void CleanProduct::Clean() {
  EndProcesses(kSampleInstallerImage);
  EndProcesses(kHelperImage);
  EndProcesses(kProductImage);
  TestSupport::RemoveTree(ProductDir());
}

RunningProduct::RunningProduct() {
  const std::wstring exe = folder_ / kProductImage;
  ::CopyFileW(BuildFile(L"tests/fixtures/SampleProduct.exe").c_str(), exe.c_str(), FALSE);
  process_ = TestSupport::StartProcess(L"\"" + exe + L"\" /stay");
}

RunningProduct::~RunningProduct() {
  if (Running()) ::TerminateProcess(process_.get(), 1);
}

Installer::Installer(const wchar_t* programName, const wchar_t* build, const std::wstring& arguments)
    : folder_(L"e2e"), path_(folder_ / (std::wstring(programName) + L".exe")), workDir_(WorkDirOf(programName)) {
  TestSupport::RemoveTree(workDir_);
  ::CopyFileW(BuildFile(build).c_str(), path_.c_str(), FALSE);
  process_ = std::make_unique<TestSupport::InstallerProcess>(path_, arguments);
}

Installer::~Installer() {
  process_.reset();  // ends a copy a failed test left running before its work folder goes
  TestSupport::RemoveTree(workDir_);
}

HWND Installer::WaitForWindow() { return window_ = process_->WaitForWindow(kTimeoutMs); }

void Installer::Click(POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  ::PostMessageW(window_, WM_MOUSEMOVE, 0, where);
  ::PostMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, where);
  ::PostMessageW(window_, WM_LBUTTONUP, 0, where);
}

int Installer::WaitForExit() { return process_->WaitForExit(kTimeoutMs); }

int Installer::WaitForExitUnseen(bool& sawWindow) { return process_->WaitForExitWatching(kTimeoutMs, sawWindow); }

}  // namespace E2e
