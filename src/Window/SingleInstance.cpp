#include "Window/SingleInstance.h"

#include <windows.h>

std::wstring InstanceMutexName(const std::wstring& modulePath) {
  size_t slash = modulePath.rfind(L'\\');
  std::wstring name = slash == std::wstring::npos ? modulePath : modulePath.substr(slash + 1);
  size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

Scoped::CloseHandle AcquireInstanceMutex() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  Scoped::CloseHandle mutex(::CreateMutexW(nullptr, FALSE, InstanceMutexName(path).c_str()));
  if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
  return mutex;
}
