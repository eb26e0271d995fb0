// Plays the downloaded installer: takes a while, then writes the command line it received (UTF-16)
// to the file named by its /progress="..." argument.
#include <windows.h>

#include <string>

#include "tool/ScopedWin.h"

int wmain() {
  std::wstring commandLine = ::GetCommandLineW();
  const std::wstring marker = L"/progress=\"";
  size_t start = commandLine.find(marker);
  if (start == std::wstring::npos) return 2;
  start += marker.size();
  size_t end = commandLine.find(L'"', start);
  if (end == std::wstring::npos) return 3;
  ::Sleep(700);
  Scoped::CloseFile file(::CreateFileW(commandLine.substr(start, end - start).c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, 0, nullptr));
  if (!file) return 4;
  DWORD written = 0;
  DWORD bytes = static_cast<DWORD>(commandLine.size() * sizeof(wchar_t));
  return ::WriteFile(file.get(), commandLine.data(), bytes, &written, nullptr) && written == bytes ? 0 : 5;
}
