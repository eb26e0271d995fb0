// Stays alive for the milliseconds given as its argument (30 s without one), then exits with 7, so a
// test can tell a natural end from a forced one.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  DWORD wait = argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : 30000;
  ::Sleep(wait);
  return 7;
}
