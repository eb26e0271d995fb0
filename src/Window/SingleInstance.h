#pragma once

// One running copy per program file name: a named mutex in the session's own namespace, named after
// the program file without its folder and its last extension.

#include <string>

#include "tool/ScopedWin.h"

// "Install.beta" for any folder's Install.beta.exe; the whole file name when it has no dot.
std::wstring InstanceMutexName(const std::wstring& modulePath);

// Takes the instance mutex for the running program. Empty when it cannot be created or another copy
// already holds it; the caller keeps the handle open until the process ends.
Scoped::CloseHandle AcquireInstanceMutex();
