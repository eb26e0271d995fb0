// Takes the instance mutex the way the program's entry does, then stays for the milliseconds given as
// its argument. Exit code -1 when another copy holds the mutex, 0 otherwise.
#include <windows.h>

#include <cwchar>

#include "install/SingleInstance.h"

int wmain(int argc, wchar_t** argv) {
  Scoped::CloseHandle mutex = AcquireInstanceMutex();
  if (!mutex) return -1;
  ::Sleep(argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : 0);
  return 0;
}
