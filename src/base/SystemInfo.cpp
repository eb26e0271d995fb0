#include "base/SystemInfo.h"

#include <shlobj.h>

#include <cwchar>
#include <vector>

#include "base/Scoped.h"
#include "base/ModulePath.h"

namespace {

constexpr DWORD kProductNameBytes = 2048;
constexpr unsigned long long kBytesPerMB = 1048576;

using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

bool HasTranslationTable(const std::vector<BYTE>& block) {
  void* table = nullptr;
  UINT length = 0;
  return ::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &table, &length) && table && length > 0;
}

std::wstring FormatFixedVersion(const VS_FIXEDFILEINFO& info) {
  return std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(info.dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionLS));
}

}  // namespace

std::wstring GetWindowsProductName() {
  Scoped::RegCloseKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS)
    return {};
  wchar_t name[kProductNameBytes / sizeof(wchar_t)] = {};
  DWORD size = kProductNameBytes;
  if (::RegQueryValueExW(key.get(), L"ProductName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) !=
      ERROR_SUCCESS)
    return {};
  // A value that fills the buffer arrives without its terminator.
  return std::wstring(name, ::wcsnlen(name, sizeof(name) / sizeof(name[0])));
}

bool IsArchitecture64(WORD processorArchitecture) {
  return processorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 || processorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsWindows64() {
  // Looked up at run time: the call is missing before Windows XP.
  auto getNativeSystemInfo = reinterpret_cast<GetNativeSystemInfoFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo")));
  if (!getNativeSystemInfo) return false;
  SYSTEM_INFO info = {};
  getNativeSystemInfo(&info);
  return IsArchitecture64(info.wProcessorArchitecture);
}

std::wstring GetFileVersion(const std::wstring& path) {
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return {};
  // Room for the converted copy some system versions append behind the block.
  std::vector<BYTE> block(static_cast<size_t>(size) * 2);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size * 2, block.data())) return {};
  if (!HasTranslationTable(block)) return {};
  void* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", &fixed, &length) || !fixed || length < sizeof(VS_FIXEDFILEINFO)) return {};
  return FormatFixedVersion(*static_cast<const VS_FIXEDFILEINFO*>(fixed));
}

int BytesToMB(unsigned long long bytes) { return static_cast<int>(static_cast<unsigned>(bytes / kBytesPerMB)); }

bool GetDiskFreeMB(const std::wstring& path, int& freeMB) {
  ULARGE_INTEGER available = {}, total = {}, totalFree = {};
  if (!::GetDiskFreeSpaceExW(path.c_str(), &available, &total, &totalFree)) return false;
  freeMB = BytesToMB(totalFree.QuadPart);
  return true;
}

std::wstring GetProgramFilesDir() {
  wchar_t folder[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) folder[0] = L'\0';
  return std::wstring(folder) + L"\\";
}

std::wstring GetWorkDir() {
  return GetProgramFilesDir() + L"pelarin_down\\" + Base::ProgramBaseName(Base::ModulePath()) + L"\\";
}

namespace {

bool ReadTokenUser(std::vector<BYTE>& buffer) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  Scoped::CloseHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  buffer.resize(size);
  return ::GetTokenInformation(token.get(), ::TokenUser, buffer.data(), size, &size) != FALSE;
}

}  // namespace

bool IsServiceAccount() {
  std::vector<BYTE> buffer;
  if (!ReadTokenUser(buffer)) return false;
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  return ::IsWellKnownSid(user, WinLocalSystemSid) || ::IsWellKnownSid(user, WinLocalServiceSid) ||
         ::IsWellKnownSid(user, WinNetworkServiceSid);
}
