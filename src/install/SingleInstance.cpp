#include "install/SingleInstance.h"
#include "base/ModulePath.h"

#include <windows.h>

Scoped::CloseHandle AcquireInstanceMutex() {
  const std::wstring name = Base::ProgramBaseName(Base::ModulePath());
  Scoped::CloseHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
  if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
  return mutex;
}
