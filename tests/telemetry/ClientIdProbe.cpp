// Writes GetClientId() of a fresh process into the file named by its argument.

#include <windows.h>

#include "telemetry/ClientId.h"
#include "base/Scoped.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  std::wstring id = GetClientId();
  Scoped::CloseFile file(::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), id.data(), static_cast<DWORD>(id.size() * sizeof(wchar_t)), &written, nullptr)
             ? 0
             : 1;
}
