#include "TestSupport.h"

#include <shellapi.h>

#include <atomic>
#include <vector>

#include "base/Scoped.h"

namespace TestSupport {

namespace {
std::atomic<int> g_scratchCounter{0};
}

ScratchDir::ScratchDir(const wchar_t* tag) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp) + L"setup-test-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++g_scratchCounter) + L"\\";
  RemoveTree(path_);
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

bool RemoveTree(const std::wstring& path) {
  std::wstring from = path;
  while (!from.empty() && from.back() == L'\\') from.pop_back();
  if (::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  from.push_back(L'\0');  // double zero terminator
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  return ::SHFileOperationW(&op) == 0;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  Scoped::CloseFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
  if (!file) return false;
  bytes.clear();
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  return true;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  ReadFileBytes(path, bytes);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  Scoped::CloseFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring ExeDir() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

Scoped::CloseHandle StartProcess(const std::wstring& commandLine) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return Scoped::CloseHandle();
  Scoped::CloseHandle thread(info.hThread);
  return Scoped::CloseHandle(info.hProcess);
}

int RunProcess(const std::wstring& commandLine, DWORD timeoutMs) {
  Scoped::CloseHandle process = StartProcess(commandLine);
  if (!process) return -1000;
  if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return -1001;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  int size =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(size, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], size);
  return out;
}

namespace {

BOOL CALLBACK MatchTopWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<std::pair<const std::function<bool(HWND)>*, HWND>*>(param);
  if (!(*search->first)(hwnd)) return TRUE;
  search->second = hwnd;
  return FALSE;
}

}  // namespace

HWND FindTopWindow(const std::function<bool(HWND)>& match) {
  std::pair<const std::function<bool(HWND)>*, HWND> search(&match, nullptr);
  ::EnumWindows(&MatchTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

DWORD WindowProcess(HWND hwnd) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(hwnd, &process);
  return process;
}

std::wstring WindowClass(HWND hwnd) {
  wchar_t name[64] = {};
  ::GetClassNameW(hwnd, name, 64);
  return name;
}

HWND FindShownDialog(HWND owner) {
  return FindTopWindow([owner](HWND hwnd) {
    return WindowClass(hwnd) == L"#32770" && ::GetWindow(hwnd, GW_OWNER) == owner && ::IsWindowVisible(hwnd);
  });
}

bool SmallDriveFreeMB(const std::wstring& root, int& freeMB, std::string& why) {
  ULARGE_INTEGER available = {}, total = {}, free = {};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) {
    why = "no drive " + Utf8(root) + " (error " + std::to_string(::GetLastError()) +
          "): tools/small-drive.sh could not mount it on this host";
    return false;
  }
  if (total.QuadPart >= (64ull << 20)) {
    why = Utf8(root) + " holds " + std::to_string(total.QuadPart >> 20) + " MiB, not the small drive";
    return false;
  }
  freeMB = static_cast<int>(free.QuadPart >> 20);
  return true;
}

std::wstring WindowText(HWND hwnd) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(hwnd, text, 1024);
  return text;
}

bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    at = text.find(part, at);
    if (at == std::string::npos) return false;
    at += part.size();
  }
  return true;
}

EnvironmentScope::EnvironmentScope(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
  for (const auto& value : values) {
    wchar_t buffer[32768] = {};
    const DWORD length = ::GetEnvironmentVariableW(value.first, buffer, 32768);
    saved_.push_back({value.first, std::wstring(buffer, length < 32768 ? length : 0), length > 0});
    ::SetEnvironmentVariableW(value.first, value.second);
  }
}

EnvironmentScope::~EnvironmentScope() {
  for (const Saved& saved : saved_)
    ::SetEnvironmentVariableW(saved.name.c_str(), saved.existed ? saved.value.c_str() : nullptr);
}

}  // namespace TestSupport
